#include "OrvalenAccount/UI/OrvalenKeys.h"

#include <QKeyEvent>

namespace OrvalenKeys {

bool isActivation(const QKeyEvent *event)
{
    if (!event || event->isAutoRepeat())
        return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    return modifiers == Qt::NoModifier && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter);
}

} // namespace OrvalenKeys
