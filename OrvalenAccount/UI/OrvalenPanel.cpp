#include "OrvalenAccount/UI/OrvalenPanel.h"

#include <QPainter>
#include <QPainterPath>

OrvalenPanel::OrvalenPanel(QColor fill, QColor border, qreal radius, QWidget *parent)
    : QWidget(parent)
    , m_fill(fill)
    , m_border(border)
    , m_radius(radius)
{
}

void OrvalenPanel::setColors(const QColor &fill, const QColor &border)
{
    m_fill = fill;
    m_border = border;
    update();
}

void OrvalenPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), m_radius, m_radius);
    painter.fillPath(shape, m_fill);
    if (m_border.alpha() > 0) {
        painter.setPen(QPen(m_border, 1));
        painter.drawPath(shape);
    }
}
