#include "Vantle/Shell/LoadingView.h"

#include "Vantle/Utilities/Theme.h"

#include <QPainter>
#include <QTimerEvent>

#include <cmath>
#include <numbers>

namespace {

constexpr qreal outerRadius = 14;
constexpr qreal innerRadius = 7;
constexpr qreal strokeWidth = 3;

} // namespace

LoadingView::LoadingView(QWidget *parent) : QWidget(parent)
{
    setObjectName(identifier);
    setAccessibleName(QStringLiteral("Loading…"));
}

void LoadingView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(QRectF(rect()).center());
    QColor color = Theme::muted;
    for (int i = 0; i < spokes; ++i) {
        // The brightest spoke is the current step; those behind it fade out.
        const int behind = (m_step - i + spokes) % spokes;
        color.setAlphaF(1.0 - 0.8 * behind / (spokes - 1));
        painter.setPen(QPen(color, strokeWidth, Qt::SolidLine, Qt::RoundCap));
        const qreal angle = 2 * std::numbers::pi * i / spokes - std::numbers::pi / 2;
        const QPointF direction(std::cos(angle), std::sin(angle));
        painter.drawLine(direction * innerRadius, direction * outerRadius);
    }
}

void LoadingView::showEvent(QShowEvent *)
{
    m_timer.start(stepMs, Qt::CoarseTimer, this);
}

void LoadingView::hideEvent(QHideEvent *)
{
    // Hidden (the window closed into the tray, say), it must not wake the process.
    m_timer.stop();
}

void LoadingView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_step = (m_step + 1) % spokes;
    update();
}
