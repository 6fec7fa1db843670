#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

#include <memory>

// The application's icon in the desktop's tray, where the desktop has a tray host: its
// menu opens the main window or the settings, or quits. Without a tray host there is no
// icon and the main window is the whole application (closing it quits).
class AppTray final : public QObject {
    Q_OBJECT
public:
    static inline const QString openText = QStringLiteral("Open Vantle");
    static inline const QString settingsText = QStringLiteral("Settings…");
    static inline const QString quitText = QStringLiteral("Quit Vantle");

    explicit AppTray(QIcon icon, QObject *parent = nullptr);
    ~AppTray() override;

    // Whether this desktop shows tray icons now.
    static bool isHostAvailable();

    // Shows the icon when a tray host exists; true when it is shown.
    bool show();
    bool isShown() const;
    QMenu *menu() const { return m_menu.get(); }

Q_SIGNALS:
    void openMainWindowRequested();
    void openSettingsRequested();
    void quitRequested();

private:
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
};
