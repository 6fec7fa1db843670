#include "AuditHover.h"

#include <QEvent>
#include <QWidget>

AuditHover::AuditHover(QWidget *target)
    : QObject(target)
{
    target->installEventFilter(this);
}

bool AuditHover::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Enter:
        setHovered(true);
        break;
    case QEvent::Leave:
    case QEvent::Hide:
        setHovered(false);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void AuditHover::setHovered(bool hovered)
{
    if (m_hovered == hovered)
        return;
    m_hovered = hovered;
    Q_EMIT hoveredChanged(hovered);
}
