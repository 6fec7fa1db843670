#include "Platform/QtActivationPolicy.h"

#include <QGuiApplication>
#include <QWindow>

QtActivationPolicy::QtActivationPolicy(QObject *parent) : ActivationPolicy(parent) {}

void QtActivationPolicy::setPolicy(Policy policy)
{
    if (m_policy == policy)
        return;
    m_policy = policy;
    // Tray only means the application outlives its windows. Going back to regular leaves
    // that alone: the tray icon is still there, and a window closing must not end the
    // application the person reaches through it.
    if (policy == Policy::accessory)
        QGuiApplication::setQuitOnLastWindowClosed(false);
    Q_EMIT policyChanged(policy);
}

void QtActivationPolicy::activateIgnoringOtherApps()
{
    QWindow *target = QGuiApplication::focusWindow();
    if (!target) {
        // The most recently created visible ordinary window is the one just opened.
        const auto windows = QGuiApplication::topLevelWindows();
        for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
            QWindow *window = *it;
            const Qt::WindowType type = window->type();
            if (window->isVisible() && (type == Qt::Window || type == Qt::Dialog)) {
                target = window;
                break;
            }
        }
    }
    if (!target)
        return;
    target->raise();
    target->requestActivate();
}
