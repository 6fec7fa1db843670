#include "AuditButton.h"

#include "Platform/ButtonKeys.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

AuditButton::AuditButton(QWidget *parent)
    : PaintedButton(parent)
{
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void AuditButton::strokeFocusRing(QPainter &painter, const QPainterPath &ring, const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, 2));
    painter.drawPath(ring);
    painter.restore();
}

bool AuditButton::event(QEvent *event)
{
    // Claimed before shortcuts are looked up, so the screen's default action does not take it.
    if (event->type() == QEvent::ShortcutOverride && hasKeyboardFocus() && takesReturn()
        && ButtonKeys::isActivation(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    return PaintedButton::event(event);
}
