#pragma once

#include "Platform/Keychain.h"
#include "Vantle/Shell/AppLaunch.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>

#include <functional>
#include <memory>

class AccountService;
class AppDelegate;
class AppTray;
class DeviceService;
class LedgerModel;
class MainWindow;
class MeetingsService;
class OrvalenAccountBridge;
class Preferences;
class QWidget;
class RootView;
class SettingsView;
class UpdaterService;

// The application: builds every long-lived object once, in the order the parts rely on,
// keeps them for the life of the process and hands them to the views that need them; then
// the main window, the tray icon where the desktop has a tray, and the delegate's link
// handling.
//
// Start-up order: the verbose-logging switch as stored; error telemetry and its region
// probe; the device service; the account service; the update service; the account bridge
// (with the account manager); the ledger; the meetings service; the analytics hooks (the
// account service supplies every event's account properties and receives the events it
// mirrors), the anonymous identifier unless analytics is off, "app_first_opened" once per
// install and "app_relaunched" on every launch; last, the account service attaches to the
// bridge, which restores the stored session in the background. The window's icon and the
// tray follow once the first screen has been painted.
class VantleApp final : public QObject {
    Q_OBJECT
public:
    static inline const QString firstOpenedKey = QStringLiteral("vantle.analytics.firstOpenedTracked");
    // How long the objects wait for the window's first paint before they are built anyway.
    static constexpr std::chrono::milliseconds startDeadline = AppLaunch::startDeadline;

    // `delegate`: the running instance's delegate; its links go to the account manager.
    // Shows the main window with its loading view at once; the objects are built when it
    // has painted (started() then).
    explicit VantleApp(AppDelegate *delegate, QObject *parent = nullptr);
    // Takes the main window the executable already put on screen with its loading view
    // (shown, or hidden again by then: it is left as it is); the objects are built as soon
    // as it has painted.
    VantleApp(AppDelegate *delegate, std::unique_ptr<MainWindow> window, QObject *parent = nullptr);
    ~VantleApp() override;

    // The keychain items start-up reads before the first screen can show: start-up reads
    // them ahead on a thread of its own while the main window is being built.
    static QList<KeychainItemQuery> launchKeychainReads();

    // What the root view asks of the gate it shows: whether a sign-in that gate started
    // still runs (the gate then routes the person on itself when it ends).
    static bool gateIsSigningIn(QWidget *gate);

    // Tracks "app_first_opened" when this install never did, then "app_relaunched".
    static void trackLaunch(Preferences &preferences, const std::function<void(const QString &event)> &track);

    // Shows the main window and brings it forward.
    void openMainWindow();
    // Shows the settings window and brings it forward; it is made on first use and kept,
    // hidden, when closed. Before start-up has built the services there is nothing to set:
    // the main window comes forward instead.
    void openSettings();

    MainWindow *mainWindow() const { return m_window.get(); }
    SettingsView *settingsWindow() const { return m_settings.get(); }
    RootView *rootView() const;
    AccountService *accountService() const { return m_account; }
    OrvalenAccountBridge *bridge() const { return m_bridge; }
    LedgerModel *ledger() const { return m_ledger; }
    MeetingsService *meetings() const { return m_meetings; }
    UpdaterService *updater() const { return m_updater; }
    AppTray *tray() const { return m_tray.get(); }

Q_SIGNALS:
    void started();

private:
    void start();
    // The rest of start-up, once the first screen is on screen: the window's icon, the tray.
    void finishStart();
    void buildWindow();
    void buildTray();

    QPointer<AppDelegate> m_delegate;
    DeviceService *m_device = nullptr;
    AccountService *m_account = nullptr;
    UpdaterService *m_updater = nullptr;
    OrvalenAccountBridge *m_bridge = nullptr;
    LedgerModel *m_ledger = nullptr;
    MeetingsService *m_meetings = nullptr;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<AppTray> m_tray;
    std::unique_ptr<SettingsView> m_settings;
    bool m_started = false;
    bool m_finished = false;
};
