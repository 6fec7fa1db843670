#include "Vantle/App/AppShortcuts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

AppShortcuts::AppShortcuts(std::function<void()> quit, QObject *parent)
    : QObject(parent), m_quit(std::move(quit))
{
    qApp->installEventFilter(this);
}

AppShortcuts::~AppShortcuts()
{
    qApp->removeEventFilter(this);
}

bool AppShortcuts::eventFilter(QObject *watched, QEvent *event)
{
    // A key press reaches here only when no shortcut took it, on its way to the focus.
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    // Named as well as looked up: not every platform theme binds them.
    const auto ctrl = [key](Qt::Key which) { return key->key() == which && key->modifiers() == Qt::ControlModifier; };
    if (key->matches(QKeySequence::Quit) || ctrl(Qt::Key_Q)) {
        if (m_quit)
            m_quit();
        return true;
    }
    if (key->matches(QKeySequence::Close) || ctrl(Qt::Key_W)) {
        if (QWidget *window = static_cast<QWidget *>(watched)->window())
            window->close();
        return true;
    }
    return false;
}
