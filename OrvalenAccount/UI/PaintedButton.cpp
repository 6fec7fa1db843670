#include "OrvalenAccount/UI/PaintedButton.h"

#include "Platform/ButtonKeys.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QKeyEvent>

void PaintedButton::handFocus(const QWidget *from, QWidget *to)
{
    const auto *button = qobject_cast<const PaintedButton *>(from);
    to->setFocus(button && button->hasKeyboardFocus() ? Qt::TabFocusReason : Qt::OtherFocusReason);
}

void PaintedButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void PaintedButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void PaintedButton::hideEvent(QHideEvent *event)
{
    m_hovered = false;
    QAbstractButton::hideEvent(event);
}

void PaintedButton::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = ButtonKeys::isFromKeyboard(event->reason());
    update();
    QAbstractButton::focusInEvent(event);
}

void PaintedButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    update();
    QAbstractButton::focusOutEvent(event);
}

void PaintedButton::keyPressEvent(QKeyEvent *event)
{
    if (m_keyboardFocus && ButtonKeys::isActivation(event)) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}
