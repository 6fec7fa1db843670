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

void PaintedButton::takeKeyboardFocus()
{
    if (hasFocus()) {
        m_keyboardFocus = true;
        update();
        return;
    }
    // In an active window the focus comes at once, by Tab; in another one it comes with the
    // window.
    m_keyboardFocusOnReturn = true;
    setFocus(Qt::TabFocusReason);
}

namespace {
// The focus goes or comes with the window (or a popup over it): not the person moving it.
bool withTheWindow(Qt::FocusReason reason)
{
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
}
} // namespace

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
    m_keyboardFocus = withTheWindow(event->reason()) ? m_keyboardFocusOnReturn
                                                     : ButtonKeys::isFromKeyboard(event->reason());
    m_keyboardFocusOnReturn = false;
    update();
    QAbstractButton::focusInEvent(event);
}

void PaintedButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocusOnReturn = withTheWindow(event->reason()) && m_keyboardFocus;
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
