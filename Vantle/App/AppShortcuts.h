#pragma once

#include <QObject>

#include <functional>

// The keys that work the same in every window of the application: Ctrl+Q quits it, Ctrl+W
// closes the window that has the focus (the main window goes to the tray where there is
// one). A window's own shortcut for the same key goes first.
class AppShortcuts final : public QObject {
    Q_OBJECT
public:
    // Watches the application's key presses from now on; `quit` is what Ctrl+Q calls.
    explicit AppShortcuts(std::function<void()> quit, QObject *parent = nullptr);
    ~AppShortcuts() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> m_quit;
};
