#include "Vantle/Onboarding/VantleLogo.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

QPixmap VantleLogo::pixmap(int size, qreal devicePixelRatio)
{
    QSvgRenderer renderer(resourcePath);
    if (!renderer.isValid() || size <= 0)
        return {};
    const int device = int(std::ceil(size * devicePixelRatio));
    QPixmap image(device, device);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, device, device));
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
