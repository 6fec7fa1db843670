#include "Vantle/Views/FocusRing.h"

#include "Vantle/Utilities/Theme.h"

#include <QAbstractButton>
#include <QPainter>
#include <QPaintEvent>

FocusRing::FocusRing(QAbstractButton *button, qreal radius, Fill fill)
    : QObject(button), m_radius(radius), m_fill(fill)
{
}

void FocusRing::install(QAbstractButton *button, qreal radius, Fill fill)
{
    if (!button)
        return;
    // One ring a button: a second install only changes how it looks.
    if (auto *ring = button->findChild<FocusRing *>(QString(), Qt::FindDirectChildrenOnly)) {
        ring->m_radius = radius;
        ring->m_fill = fill;
        button->update();
        return;
    }
    button->installEventFilter(new FocusRing(button, radius, fill));
}

bool FocusRing::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Paint)
        return false;
    auto *button = static_cast<QAbstractButton *>(watched);
    // The button paints itself first; the ring goes on top.
    static_cast<QObject *>(button)->event(event);
    if (button->hasFocus() && button->isEnabled()) {
        QPainter painter(button);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::NoBrush);
        const bool onAccent = m_fill == Fill::accent;
        const qreal inset = onAccent ? 3.0 : 1.0;
        painter.setPen(QPen(onAccent ? Theme::accentInk : Theme::accent, 2));
        const qreal radius = std::max<qreal>(0, m_radius - (inset - 1));
        painter.drawRoundedRect(QRectF(button->rect()).adjusted(inset, inset, -inset, -inset), radius, radius);
    }
    return true;
}
