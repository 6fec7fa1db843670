#include "Vantle/Onboarding/VantleLogo.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <string>

#include <gtest/gtest.h>

TEST(VantleLogoTest, TheIconDrawsTheLogoAtEverySizeAsked)
{
    struct Case {
        int size;
        qreal ratio;
        QIcon::Mode mode;
    };
    const Case cases[] = {
        {32, 1.0, QIcon::Normal},  {32, 2.0, QIcon::Normal},  {56, 1.0, QIcon::Normal},
        {56, 2.0, QIcon::Normal},  {128, 1.0, QIcon::Normal}, {256, 1.0, QIcon::Normal},
        {20, 1.5, QIcon::Normal},  {64, 1.0, QIcon::Disabled}, {64, 1.0, QIcon::Selected},
    };
    const QIcon icon = VantleLogo::icon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(icon.availableSizes().isEmpty()) << "the window manager and the tray pick among them";
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + "@" + std::to_string(c.ratio) + " mode " + std::to_string(c.mode));
        const QPixmap pixmap = icon.pixmap(QSize(c.size, c.size), c.ratio, c.mode);
        const int device = int(std::ceil(c.size * c.ratio));
        ASSERT_FALSE(pixmap.isNull());
        EXPECT_NEAR(pixmap.width(), device, 1);
        EXPECT_EQ(pixmap.width(), pixmap.height());
        EXPECT_DOUBLE_EQ(pixmap.devicePixelRatio(), c.ratio);
        // Drawn, not blank: the middle of the logo is opaque.
        const QImage image = pixmap.toImage();
        EXPECT_EQ(image.pixelColor(image.rect().center()).alpha(), 255);
    }
}

// The logo drawn in the views is the icon the desktop shows: the shapes of its SVG file.
TEST(VantleLogoTest, TheDrawnLogoIsTheIconFile)
{
    QSvgRenderer svg(QStringLiteral(VANTLE_LOGO_SVG));
    ASSERT_TRUE(svg.isValid());
    for (const int size : {32, 64, 256}) {
        SCOPED_TRACE(size);
        QImage file(size, size, QImage::Format_ARGB32_Premultiplied);
        file.fill(Qt::transparent);
        {
            QPainter painter(&file);
            painter.setRenderHint(QPainter::Antialiasing);
            svg.render(&painter, QRectF(0, 0, size, size));
        }
        const QImage drawn = VantleLogo::pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        ASSERT_EQ(drawn.size(), file.size());
        // Edges may round apart by a pixel; no shape may be missing, moved or recoloured,
        // and the corners stay see-through.
        int apart = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const QRgb a = file.pixel(x, y), b = drawn.pixel(x, y);
                const int difference = std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b))
                    + std::abs(qBlue(a) - qBlue(b)) + std::abs(qAlpha(a) - qAlpha(b));
                apart += difference > 60 ? 1 : 0;
            }
        }
        EXPECT_LE(apart, size * size / 100);
    }
}
