#include "Vantle/Onboarding/VantleLogo.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <cmath>

void VantleLogo::paint(QPainter &painter, const QRectF &target)
{
    // In the SVG's own units: a 256-unit square.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(target.topLeft());
    painter.scale(target.width() / 256.0, target.height() / 256.0);
    // The tile and its hairline edge.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x12, 0x12, 0x14));
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 56, 56);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x2C, 0x2C, 0x33), 1));
    painter.drawRoundedRect(QRectF(8.5, 8.5, 239, 239), 55.5, 55.5);
    // The week as a dial: the muted ring is the hours spoken for, the accent arc (from twelve
    // to four o'clock) the hours that are yours.
    const QRectF dial(52, 52, 152, 152);
    painter.setPen(QPen(QColor(0x3A, 0x3A, 0x43), 24));
    painter.drawEllipse(dial);
    painter.setPen(QPen(QColor(0xF0, 0xA3, 0x2A), 24, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(dial, 90 * 16, -120 * 16);
    // The "v".
    painter.setPen(QPen(QColor(0xF5, 0xF5, 0xF5), 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF v[] = {{100, 104}, {128, 160}, {156, 104}};
    painter.drawPolyline(v, 3);
    painter.restore();
}

QPixmap VantleLogo::pixmap(int size, qreal devicePixelRatio)
{
    if (size <= 0)
        return {};
    const int device = int(std::ceil(size * devicePixelRatio));
    QPixmap image(device, device);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        paint(painter, QRectF(0, 0, device, device));
    }
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

namespace {

// Draws the logo when a size is asked for and keeps nothing: the window, the tray and the
// sign-in screen each ask for one or two sizes, once.
class LogoIconEngine final : public QIconEngine {
public:
    QIconEngine *clone() const override { return new LogoIconEngine; }
    QString key() const override { return QStringLiteral("VantleLogo"); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int side : VantleLogo::iconSizes)
            sizes.append(QSize(side, side));
        return sizes;
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        QPixmap image = VantleLogo::pixmap(std::min(size.width(), size.height()));
        if (mode == QIcon::Normal || image.isNull())
            return image;
        QStyleOption option;
        option.palette = QGuiApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, image, &option);
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const int side = std::min(rect.width(), rect.height());
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap image = pixmap(QSize(side, side) * ratio, mode, state);
        image.setDevicePixelRatio(ratio);
        painter->drawPixmap(QRectF(rect.center() - QPointF(side, side) / 2, QSizeF(side, side)), image,
                            QRectF(image.rect()));
    }
};

} // namespace

QIcon VantleLogo::icon()
{
    return QIcon(new LogoIconEngine);
}
