#include "Vantle/Onboarding/VantleLogo.h"

#include <QPainter>
#include <QSvgRenderer>

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

QIcon VantleLogo::icon()
{
    QIcon icon;
    for (const int size : {32, 56, 64, 128}) {
        for (const qreal ratio : {1.0, 2.0})
            icon.addPixmap(pixmap(size, ratio));
    }
    return icon;
}
