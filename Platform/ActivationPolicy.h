#pragma once

#include <QObject>

#include <memory>

// How the application presents itself to the desktop.
//
// Qt has no application-wide policy on Linux: a window is in the task switcher exactly
// while it is a visible ordinary top-level window, and a tray icon lives on its own. So
// the policy is application state that the shell follows (its signal tells it when):
//   regular    the application is in the task switcher with a window: its windows are
//              shown as ordinary top-level windows and may take the focus;
//   accessory  tray only: the application shows no ordinary window of its own accord
//              and closing its last window leaves it running in the tray.
// Changing the policy never hides or closes a window the person has open.
// Activating brings the application's frontmost visible window forward and asks the
// window manager for the focus (QWindow::raise and requestActivate), which is what
// "ignoring other applications" can mean on X11 and Wayland.
// Confined to the GUI thread.
class ActivationPolicy : public QObject {
    Q_OBJECT
public:
    enum class Policy {
        regular,
        accessory,
    };
    Q_ENUM(Policy)

    ~ActivationPolicy() override;

    virtual Policy policy() const = 0;
    // Emits policyChanged when the policy changes.
    virtual void setPolicy(Policy policy) = 0;
    virtual void activateIgnoringOtherApps() = 0;

    // The process-wide layer: the Qt one unless replaced.
    static ActivationPolicy &shared();
    // Replaces the process-wide layer (tests give a recording one); null restores Qt's.
    static void setShared(std::shared_ptr<ActivationPolicy> layer);

Q_SIGNALS:
    void policyChanged(ActivationPolicy::Policy policy);

protected:
    explicit ActivationPolicy(QObject *parent = nullptr);
};
