#include "Vantle/Views/ButtonReturnKey.h"

#include "Platform/ButtonKeys.h"

#include <QAbstractButton>
#include <QKeyEvent>

ButtonReturnKey::ButtonReturnKey(QAbstractButton *button) : QObject(button) {}

void ButtonReturnKey::install(QAbstractButton *button)
{
    if (!button || button->findChild<ButtonReturnKey *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    button->installEventFilter(new ButtonReturnKey(button));
}

bool ButtonReturnKey::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto *button = qobject_cast<QAbstractButton *>(watched);
    if (!button || !button->isEnabled() || !ButtonKeys::isActivation(static_cast<QKeyEvent *>(event)))
        return false;
    button->animateClick();
    return true;
}
