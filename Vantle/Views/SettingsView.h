#pragma once

#include "OrvalenAccount/OAuthDriver.h"
#include "Platform/CalendarAuthorization.h"
#include "Vantle/Views/SettingsEnvironment.h"
#include "Vantle/Views/SettingsGeneralSection.h"
#include "Vantle/Views/SettingsHelpSection.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <chrono>
#include <optional>

class AccountService;
class MeetingsService;
class SettingsAccountSection;
class SettingsAlert;
class SettingsPrivacySection;
class UpdaterService;

// The settings window: a fixed 440 x 500 window, always dark, holding one grouped form of
// six sections in order ("Account", "General", "Privacy & Support", "Updates",
// "Help & Diagnostics", and the footer links), each a widget of its own. Every control
// hands its action to the service or the preference that owns it; the window keeps only
// what it shows.
//
// The application creates it once at start-up with its long-lived objects (the account
// service, the updater and the meetings service; none owned, each should outlive the window)
// and shows it whenever the person opens the settings. Each time it appears its switches
// start again from what is stored. Closing it hides it with whatever it shows (a sheet, an
// alert); a sign-out from anywhere closes it. When a sign-in begun here succeeds, the window
// asks the desktop to bring the application forward and then emits
// openMainWindowRequested(): the receiver shows the main window (the one with id "main")
// and raises it; the window stays open itself.
//
// GUI thread only.
class SettingsView final : public QWidget {
    Q_OBJECT
public:
    using ProviderHint = OAuthDriver::ProviderHint;
    using Environment = SettingsEnvironment;

    static constexpr int windowWidth = 440;
    static constexpr int windowHeight = 500;
    static inline const QString showMeetingsKey = SettingsGeneralSection::showMeetingsKey;
    static inline const QString diagnosticFailureFallback = SettingsHelpSection::diagnosticFailureFallback;
    static constexpr std::chrono::milliseconds copiedResetDelay = SettingsHelpSection::copiedResetDelay;

    SettingsView(AccountService *accountService, UpdaterService *updater, MeetingsService *meetings,
                 QWidget *parent = nullptr);
    // `environment`: where events, lines and reports go, and the relaunch after a reset
    // (its alert is the window's own).
    SettingsView(AccountService *accountService, UpdaterService *updater, MeetingsService *meetings,
                 Environment environment, QWidget *parent = nullptr);
    ~SettingsView() override;

    // The application's version as the "Version" row shows it.
    static QString versionLabel();
    // The line under "Show today's meetings" for the switch and the calendar access.
    static QString calendarFootnote(bool showMeetings, CalendarAuthorization authorization);

    // Runs an interactive sign-in in the background and returns at once.
    void startSignInFromSettings(ProviderHint provider);
    // Signs out, clears the account's local data and relaunches the application; a second
    // call while one runs does nothing.
    void resetAndClearLocalData();
    // Registers or unregisters the login item; on failure the toggle follows the real status.
    void setLaunchAtLogin(bool enabled);
    // Sends one diagnostic report in the background; the result shows in a sheet while the
    // window is open. Does nothing while one is being sent.
    void sendDiagnosticReport();

    // What the window shows right now (for its owner and its tests).
    bool launchAtLoginEnabled() const;
    bool analyticsEnabled() const;
    bool isResetting() const;
    bool isSettingsVisible() const { return m_isSettingsVisible; }
    bool showAlert() const { return m_showAlert; }
    QString alertTitle() const { return m_alertTitle; }
    QString alertMessage() const { return m_alertMessage; }
    bool diagnosticsEnabled() const { return m_help->diagnosticsEnabled(); }
    bool verboseDiagnosticsEnabled() const { return m_help->verboseDiagnosticsEnabled(); }
    bool isSendingDiagnostic() const { return m_help->isSendingDiagnostic(); }
    std::optional<QString> diagnosticResultCode() const { return m_help->diagnosticResultCode(); }
    std::optional<QString> diagnosticErrorMessage() const { return m_help->diagnosticErrorMessage(); }
    bool showDiagnosticSuccess() const { return m_help->showDiagnosticSuccess(); }
    bool showDiagnosticError() const { return m_help->showDiagnosticError(); }
    bool showOptOutNote() const { return m_help->showOptOutNote(); }
    bool diagnosticCodeCopied() const { return m_help->diagnosticCodeCopied(); }

Q_SIGNALS:
    // A sign-in begun here succeeded: show the main window.
    void openMainWindowRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildForm(AccountService *accountService, UpdaterService *updater, MeetingsService *meetings);
    void installKeyboard();
    // The window's one alert: a failed sign-in, or a login entry that is not ours.
    void presentAlert(const QString &title, const QString &message);
    void setShowAlert(bool value);

    QPointer<AccountService> m_accountService;
    Environment m_environment;

    QString m_alertTitle;
    QString m_alertMessage;
    bool m_showAlert = false;
    bool m_isSettingsVisible = false;

    SettingsAccountSection *m_account = nullptr;
    SettingsGeneralSection *m_general = nullptr;
    SettingsPrivacySection *m_privacy = nullptr;
    SettingsHelpSection *m_help = nullptr;
    QPointer<SettingsAlert> m_alert;
};
