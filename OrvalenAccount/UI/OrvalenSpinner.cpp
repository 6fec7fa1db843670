#include "OrvalenAccount/UI/OrvalenSpinner.h"

#include <QPainter>
#include <QTimer>

OrvalenSpinner::OrvalenSpinner(QColor color, int diameter, QWidget *parent)
    : QWidget(parent)
    , m_color(color)
    , m_diameter(diameter)
    , m_timer(new QTimer(this))
{
    setFixedSize(diameter, diameter);
    m_timer->setInterval(16);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 8) % 360;
        update();
    });
}

void OrvalenSpinner::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void OrvalenSpinner::showEvent(QShowEvent *event)
{
    m_timer->start();
    QWidget::showEvent(event);
}

void OrvalenSpinner::hideEvent(QHideEvent *event)
{
    m_timer->stop();
    QWidget::hideEvent(event);
}

void OrvalenSpinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal pen = std::max<qreal>(1.5, m_diameter / 8.0);
    const QRectF box = QRectF(rect()).adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
    QColor track = m_color;
    track.setAlphaF(0.25f);
    painter.setPen(QPen(track, pen));
    painter.drawEllipse(box);
    painter.setPen(QPen(m_color, pen, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(box, -m_angle * 16, 100 * 16);
}
