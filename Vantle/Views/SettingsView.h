#pragma once

#include "OrvalenAccount/OAuthDriver.h"
#include "Platform/CalendarAuthorization.h"
#include "Vantle/Services/Analytics.h"

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

class AccountService;
class DiagnosticUploader;
class Log;
class MeetingsService;
class OrvalenProviderButtons;
class QLabel;
class QPushButton;
class QTimer;
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
// The application creates it once at start-up with its long-lived objects (the account
// service, the updater and the meetings service; none owned, each should outlive the window)
// and shows it whenever the person opens the settings. Closing it
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
    static inline const QString diagnosticFailureFallback = QStringLiteral("Something went wrong. Please try again.");
    // How long the copy button reads "Copied".
    static constexpr std::chrono::milliseconds copiedResetDelay{1500};

    // Where the window's analytics events, diagnostics log lines and diagnostic reports go;
    // empty members take the application's (Analytics::track, the "diagnostics" log,
    // DiagnosticUploader::shared()).
    struct Environment {
        std::function<void(const QString &event, const Analytics::Properties &properties)> track;
        // `level` is "info" or "warn".
        std::function<void(const QString &level, const QString &message)> log;
        DiagnosticUploader *uploader = nullptr;
    };

    SettingsView(AccountService *accountService, UpdaterService *updater, MeetingsService *meetings,
                 QWidget *parent = nullptr);
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
    bool launchAtLoginEnabled() const { return m_launchAtLoginEnabled; }
    bool analyticsEnabled() const { return m_analyticsEnabled; }
    bool isResetting() const { return m_isResetting; }
    bool isSettingsVisible() const { return m_isSettingsVisible; }
    bool showAlert() const { return m_showAlert; }
    QString alertTitle() const { return m_alertTitle; }
    QString alertMessage() const { return m_alertMessage; }
    bool diagnosticsEnabled() const { return m_diagnosticsEnabled; }
    bool verboseDiagnosticsEnabled() const { return m_verboseDiagnosticsEnabled; }
    bool isSendingDiagnostic() const { return m_isSendingDiagnostic; }
    std::optional<QString> diagnosticResultCode() const { return m_diagnosticResultCode; }
    std::optional<QString> diagnosticErrorMessage() const { return m_diagnosticErrorMessage; }
    bool showDiagnosticSuccess() const { return m_showDiagnosticSuccess; }
    bool showDiagnosticError() const { return m_showDiagnosticError; }
    bool showOptOutNote() const { return m_showOptOutNote; }
    bool diagnosticCodeCopied() const { return m_diagnosticCodeCopied; }

Q_SIGNALS:
    // A sign-in begun here succeeded: show the main window.
    void openMainWindowRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildForm();
    void installKeyboard();
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
    void syncCalendarFootnote();
    void syncErrorTelemetryToggle();
    void preferenceChanged(const QString &key);

    // State whose change has an action, as a toggle's change handler would run it.
    void setLaunchAtLoginEnabled(bool value);
    void setAnalyticsEnabled(bool value);
    void setDiagnosticsEnabled(bool value);
    void setVerboseDiagnosticsEnabled(bool value);
    void setIsResetting(bool value);
    void setShowAlert(bool value);
    void setShowResetConfirm(bool value);
    void setIsSendingDiagnostic(bool value);
    void setShowDiagnosticSuccess(bool value);
    void setShowDiagnosticError(bool value);
    void setShowOptOutNote(bool value);
    void setDiagnosticCodeCopied(bool value);

    // The stored preferences and their bindings.
    bool betaUpdatesEnabled() const;
    void setBetaUpdatesBinding(bool value);
    bool showMeetings() const;
    void setShowMeetingsBinding(bool value);
    void setErrorTelemetryBinding(bool value);

    // The sheets, made when first shown.
    SettingsSheet *diagnosticSuccessSheet();
    SettingsSheet *diagnosticErrorSheet();
    SettingsSheet *errorTelemetryOptOutSheet();
    void copyDiagnosticCode();
    void turnOffErrorReportsAnyway();
    void keepSendingErrorReports();
    void drawSendProgress();

    void cancelPendingSignIn();
    void track(const QString &event, const Analytics::Properties &properties = {}) const;
    // The window's log: category "diagnostics".
    static const Log &diagnosticsLog();

    static QCoro::Task<void> runSignIn(QPointer<SettingsView> self, QPointer<AccountService> service,
                                       ProviderHint provider);
    static QCoro::Task<void> runReset(QPointer<AccountService> service);
    using LogSink = std::function<void(const QString &level, const QString &message)>;
    static QCoro::Task<void> runDiagnosticReport(QPointer<SettingsView> self, QPointer<DiagnosticUploader> uploader,
                                                 LogSink log);

    QPointer<AccountService> m_accountService;
    QPointer<UpdaterService> m_updater;
    QPointer<MeetingsService> m_meetings;
    Environment m_environment;

    // ---- state ----
    bool m_launchAtLoginEnabled = false;
    bool m_analyticsEnabled = true;
    QString m_alertTitle;
    QString m_alertMessage;
    bool m_showAlert = false;
    bool m_showResetConfirm = false;
    bool m_isResetting = false;
    bool m_showOptOutNote = false;
    bool m_diagnosticsEnabled = true;
    bool m_verboseDiagnosticsEnabled = false;
    bool m_isSendingDiagnostic = false;
    std::optional<QString> m_diagnosticResultCode;
    std::optional<QString> m_diagnosticErrorMessage;
    bool m_showDiagnosticSuccess = false;
    bool m_showDiagnosticError = false;
    bool m_diagnosticCodeCopied = false;
    bool m_isSettingsVisible = false;

    // ---- widgets ----
    // Account
    QWidget *m_signOutRow = nullptr;
    QLabel *m_accountName = nullptr;
    QLabel *m_accountID = nullptr;
    QList<QWidget *> m_signedInRows;
    QList<QWidget *> m_signedOutRows;
    OrvalenProviderButtons *m_providerButtons = nullptr;
    QPushButton *m_resetButton = nullptr;
    // General
    SettingsSwitch *m_launchAtLoginSwitch = nullptr;
    SettingsSwitch *m_showMeetingsSwitch = nullptr;
    QLabel *m_calendarFootnote = nullptr;
    // Privacy & Support
    SettingsSwitch *m_analyticsSwitch = nullptr;
    // Updates
    QPushButton *m_checkForUpdatesButton = nullptr;
    QLabel *m_updateStatus = nullptr;
    SettingsSwitch *m_betaSwitch = nullptr;
    // Help & Diagnostics
    SettingsSwitch *m_errorTelemetrySwitch = nullptr;
    QPushButton *m_sendReportButton = nullptr;
    QWidget *m_sendReportRow = nullptr;
    QWidget *m_signInToSendRow = nullptr;
    SettingsSwitch *m_diagnosticsSwitch = nullptr;
    SettingsSwitch *m_verboseSwitch = nullptr;
    QTimer *m_sendProgress = nullptr;
    int m_sendProgressFrame = 0;

    QPointer<SettingsAlert> m_alert;
    QPointer<SettingsAlert> m_resetConfirm;
    SettingsSheet *m_successSheet = nullptr;
    SettingsSheet *m_errorSheet = nullptr;
    SettingsSheet *m_optOutSheet = nullptr;
};
