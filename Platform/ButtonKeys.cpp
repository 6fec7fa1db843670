#include "Platform/ButtonKeys.h"

#include <QKeyEvent>

namespace ButtonKeys {

bool isActivation(const QKeyEvent *event)
{
    if (!event || event->isAutoRepeat())
        return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    return modifiers == Qt::NoModifier && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter);
}

bool isFromKeyboard(Qt::FocusReason reason)
{
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
}

} // namespace ButtonKeys
