#pragma once

#include "OrvalenAccount/OAuthDriver.h"
#include "Vantle/Services/Analytics.h"

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

class AccountService;
class QLabel;
class QPushButton;
class SettingsAlert;
class SettingsSection;
class SettingsSheet;
class SettingsSwitch;
class UpdaterService;

// The settings window: a fixed 440 x 500 window, always dark, holding one grouped form of
// six sections in order ("Account", "General", "Privacy & Support", "Updates",
// "Help & Diagnostics", and the footer links). Every control hands its action to the
// service or the preference that owns it; the window keeps only what it shows.
//
// The application creates it once at start-up with its long-lived objects (none owned; each
// must outlive the window) and shows it whenever the person opens the settings. Closing it
// only hides it, so it can be shown again as it was; a sign-out from anywhere closes it.
// When a sign-in begun here succeeds, the window emits openMainWindowRequested(): the
// receiver shows the main window (the one with id "main") and raises it; the window then
// asks the desktop to bring the application forward and stays open itself.
//
// GUI thread only.
class SettingsView final : public QWidget {
    Q_OBJECT
public:
    using ProviderHint = OAuthDriver::ProviderHint;

    static constexpr int windowWidth = 440;
    static constexpr int windowHeight = 500;
    static inline const QString showMeetingsKey = QStringLiteral("vantle.showMeetings");
    // How long the copy button reads "Copied".
    static constexpr std::chrono::milliseconds copiedResetDelay{1500};

    // Where the window's analytics events and diagnostics log lines go; empty members take
    // the application's (Analytics::track, the "diagnostics" log).
    struct Environment {
        std::function<void(const QString &event, const Analytics::Properties &properties)> track;
        // `level` is "info" or "warn".
        std::function<void(const QString &level, const QString &message)> log;
    };

    SettingsView(AccountService *accountService, UpdaterService *updater, QWidget *parent = nullptr);
    SettingsView(AccountService *accountService, UpdaterService *updater, Environment environment,
                 QWidget *parent = nullptr);
    ~SettingsView() override;

    // The application's version as the "Version" row shows it.
    static QString versionLabel();

    // Runs an interactive sign-in in the background and returns at once.
    void startSignInFromSettings(ProviderHint provider);
    // Signs out, clears the account's local data and relaunches the application; a second
    // call while one runs does nothing.
    void resetAndClearLocalData();
    // Registers or unregisters the login item; on failure the toggle follows the real status.
    void setLaunchAtLogin(bool enabled);

    // What the window shows right now (for its owner and its tests).
    bool launchAtLoginEnabled() const { return m_launchAtLoginEnabled; }
    bool analyticsEnabled() const { return m_analyticsEnabled; }
    bool isResetting() const { return m_isResetting; }
    bool isSettingsVisible() const { return m_isSettingsVisible; }
    bool showAlert() const { return m_showAlert; }
    QString alertTitle() const { return m_alertTitle; }
    QString alertMessage() const { return m_alertMessage; }

Q_SIGNALS:
    // A sign-in begun here succeeded: show the main window.
    void openMainWindowRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildForm();
    void buildAccountSection(SettingsSection *section);
    void buildGeneralSection(SettingsSection *section);
    void buildPrivacySection(SettingsSection *section);
    void buildUpdatesSection(SettingsSection *section);
    void buildHelpSection(SettingsSection *section);
    void buildFooter(SettingsSection *section);
    QPushButton *accountManagementLink(const QString &title);

    // Follow the services and the preferences.
    void syncAccountRows();
    void syncUpdateRows();
    void preferenceChanged(const QString &key);

    // State whose change has an action, as a toggle's change handler would run it.
    void setLaunchAtLoginEnabled(bool value);
    void setAnalyticsEnabled(bool value);
    void setIsResetting(bool value);
    void setShowAlert(bool value);
    void setShowResetConfirm(bool value);

    // The stored preferences and their bindings.
    bool betaUpdatesEnabled() const;
    void setBetaUpdatesBinding(bool value);

    void cancelPendingSignIn();
    void track(const QString &event, const Analytics::Properties &properties = {}) const;
    void log(const QString &level, const QString &message) const;

    static QCoro::Task<void> runSignIn(QPointer<SettingsView> self, QPointer<AccountService> service,
                                       ProviderHint provider);
    static QCoro::Task<void> runReset(QPointer<AccountService> service);

    QPointer<AccountService> m_accountService;
    QPointer<UpdaterService> m_updater;
    Environment m_environment;

    // ---- state ----
    bool m_launchAtLoginEnabled = false;
    bool m_analyticsEnabled = true;
    QString m_alertTitle;
    QString m_alertMessage;
    bool m_showAlert = false;
    bool m_showResetConfirm = false;
    bool m_isResetting = false;
    bool m_isSettingsVisible = false;

    // ---- widgets ----
    // Account
    QWidget *m_signOutRow = nullptr;
    QLabel *m_accountName = nullptr;
    QLabel *m_accountID = nullptr;
    QList<QWidget *> m_signedInRows;
    QList<QWidget *> m_signedOutRows;
    QPushButton *m_resetButton = nullptr;
    // General
    SettingsSwitch *m_launchAtLoginSwitch = nullptr;
    // Privacy & Support
    SettingsSwitch *m_analyticsSwitch = nullptr;
    // Updates
    QPushButton *m_checkForUpdatesButton = nullptr;
    QLabel *m_updateStatus = nullptr;
    SettingsSwitch *m_betaSwitch = nullptr;

    QPointer<SettingsAlert> m_alert;
    QPointer<SettingsAlert> m_resetConfirm;
};
