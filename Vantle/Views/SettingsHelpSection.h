#pragma once

#include "Vantle/Views/SettingsEnvironment.h"
#include "Vantle/Views/SettingsSection.h"

#include <QCoro/QCoroTask>
#include <QPointer>

#include <chrono>
#include <optional>

class AccountService;
class DiagnosticUploader;
class QPushButton;
class QTimer;
class SettingsSheet;

// The settings window's "Help & Diagnostics" section: automatic error reports with their
// one-time note before they go off, the manual diagnostic report with its two sheets (the
// support code, or why it was not sent), automatic diagnostics and verbose logging.
class SettingsHelpSection final : public SettingsSection {
    Q_OBJECT
public:
    static inline const QString diagnosticFailureFallback = QStringLiteral("Something went wrong. Please try again.");
    // How long the copy button reads "Copied".
    static constexpr std::chrono::milliseconds copiedResetDelay{1500};

    // `accountService` is not owned and should outlive the section. The environment's
    // `log`, `track` and `uploader` must be set.
    SettingsHelpSection(AccountService *accountService, SettingsEnvironment environment, QWidget *parent = nullptr);

    // Sends one diagnostic report in the background; the result shows in a sheet while the
    // window is open. Does nothing while one is being sent.
    void sendDiagnosticReport();

    // The window appears: the switches show what is stored now (the verbose period may
    // have lapsed meanwhile).
    void windowShown();
    // The window goes: nothing of it stays on screen, and a result that arrives later shows
    // no sheet.
    void windowHidden();

    bool diagnosticsEnabled() const { return m_diagnosticsEnabled; }
    bool verboseDiagnosticsEnabled() const { return m_verboseDiagnosticsEnabled; }
    bool isSendingDiagnostic() const { return m_isSendingDiagnostic; }
    std::optional<QString> diagnosticResultCode() const { return m_diagnosticResultCode; }
    std::optional<QString> diagnosticErrorMessage() const { return m_diagnosticErrorMessage; }
    bool showDiagnosticSuccess() const { return m_showDiagnosticSuccess; }
    bool showDiagnosticError() const { return m_showDiagnosticError; }
    bool showOptOutNote() const { return m_showOptOutNote; }
    bool diagnosticCodeCopied() const { return m_diagnosticCodeCopied; }

private:
    void syncSendRows();
    void syncErrorTelemetryToggle();
    void setErrorTelemetryBinding(bool value);
    void turnOffErrorReportsAnyway();
    void keepSendingErrorReports();
    void setShowOptOutNote(bool value);
    void setDiagnosticsEnabled(bool value);
    void setVerboseDiagnosticsEnabled(bool value);
    void setIsSendingDiagnostic(bool value);
    void setShowDiagnosticSuccess(bool value);
    void setShowDiagnosticError(bool value);
    void setDiagnosticCodeCopied(bool value);
    void copyDiagnosticCode();
    void drawSendProgress();

    // The sheets, made when first shown.
    SettingsSheet *diagnosticSuccessSheet();
    SettingsSheet *diagnosticErrorSheet();
    SettingsSheet *errorTelemetryOptOutSheet();

    using LogSink = std::function<void(const QString &level, const QString &message)>;
    static QCoro::Task<void> runDiagnosticReport(QPointer<SettingsHelpSection> self,
                                                 QPointer<DiagnosticUploader> uploader, LogSink log);

    QPointer<AccountService> m_accountService;
    SettingsEnvironment m_environment;

    bool m_showOptOutNote = false;
    bool m_diagnosticsEnabled = true;
    bool m_verboseDiagnosticsEnabled = false;
    bool m_isSendingDiagnostic = false;
    std::optional<QString> m_diagnosticResultCode;
    std::optional<QString> m_diagnosticErrorMessage;
    bool m_showDiagnosticSuccess = false;
    bool m_showDiagnosticError = false;
    bool m_diagnosticCodeCopied = false;
    bool m_windowVisible = false;

    SettingsSwitch *m_errorTelemetrySwitch = nullptr;
    QPushButton *m_sendReportButton = nullptr;
    QWidget *m_sendReportRow = nullptr;
    QWidget *m_signInToSendRow = nullptr;
    SettingsSwitch *m_diagnosticsSwitch = nullptr;
    SettingsSwitch *m_verboseSwitch = nullptr;
    QTimer *m_sendProgress = nullptr;
    int m_sendProgressFrame = 0;

    SettingsSheet *m_successSheet = nullptr;
    SettingsSheet *m_errorSheet = nullptr;
    SettingsSheet *m_optOutSheet = nullptr;
};
