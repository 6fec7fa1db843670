#include "Vantle/Views/SettingsHelpSection.h"

#include "Platform/Preferences.h"
#include "Platform/UrlOpener.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/DiagnosticError.h"
#include "Vantle/Services/DiagnosticUploader.h"
#include "Vantle/Services/ErrorTelemetryConsent.h"
#include "Vantle/Services/GeoProbeClient.h"
#include "Vantle/Utilities/DiagnosticLogger.h"
#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/SettingsLinks.h"
#include "Vantle/Views/SettingsSheet.h"
#include "Vantle/Views/SettingsSwitch.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <utility>

SettingsHelpSection::SettingsHelpSection(AccountService *accountService, SettingsEnvironment environment,
                                         QWidget *parent)
    : SettingsSection(QStringLiteral("Help & Diagnostics"), parent), m_accountService(accountService),
      m_environment(std::move(environment)), m_diagnosticsEnabled(DiagnosticUploader::isDiagnosticsEnabled()),
      m_verboseDiagnosticsEnabled(DiagnosticLogger::isVerboseActive())
{
    m_errorTelemetrySwitch = addToggle(QStringLiteral("Send anonymous error reports automatically"));
    connect(m_errorTelemetrySwitch, &SettingsSwitch::clicked, this, &SettingsHelpSection::setErrorTelemetryBinding);
    syncErrorTelemetryToggle();
    addFootnote(QStringLiteral(
        "When something goes wrong, a brief technical summary is sent automatically to help us fix it faster. It "
        "includes only error types, app version, and OS version — never your time entries, your account details, or "
        "any personal information."));

    auto *learnMore = new QPushButton(QStringLiteral("Learn what's included in these reports"));
    learnMore->setObjectName(QStringLiteral("footnoteLink"));
    learnMore->setAutoDefault(false);
    learnMore->setCursor(Qt::PointingHandCursor);
    connect(learnMore, &QPushButton::clicked, this, []() { UrlOpener::open(SettingsLinks::errorReportsPrivacy()); });
    auto *learnMoreRow = new QWidget;
    auto *learnMoreLayout = new QHBoxLayout(learnMoreRow);
    learnMoreLayout->setContentsMargins(0, 0, 0, 0);
    learnMoreLayout->addWidget(learnMore);
    learnMoreLayout->addStretch(1);
    addRow(learnMoreRow);

    m_sendReportButton = addButton(QStringLiteral("Send Diagnostic Report"));
    m_sendReportButton->setObjectName(QStringLiteral("sendReportButton"));
    connect(m_sendReportButton, &QPushButton::clicked, this, &SettingsHelpSection::sendDiagnosticReport);
    m_sendReportRow = rowOf(m_sendReportButton);
    m_signInToSendRow = rowOf(addFootnote(QStringLiteral("Sign in to send a diagnostic report.")));
    m_sendProgress = new QTimer(this);
    m_sendProgress->setInterval(80);
    connect(m_sendProgress, &QTimer::timeout, this, &SettingsHelpSection::drawSendProgress);

    m_diagnosticsSwitch = addToggle(QStringLiteral("Send anonymous diagnostic reports when something goes wrong"));
    m_diagnosticsSwitch->setChecked(m_diagnosticsEnabled);
    connect(m_diagnosticsSwitch, &SettingsSwitch::clicked, this, &SettingsHelpSection::setDiagnosticsEnabled);
    addFootnote(QStringLiteral(
        "Includes app version and OS version, plus recent app logs when available. Never includes your time entries."));

    m_verboseSwitch = addToggle(QStringLiteral("Verbose diagnostics"));
    m_verboseSwitch->setChecked(m_verboseDiagnosticsEnabled);
    connect(m_verboseSwitch, &SettingsSwitch::clicked, this, &SettingsHelpSection::setVerboseDiagnosticsEnabled);
    addFootnote(QStringLiteral("Captures additional detail for up to 24 hours. Disable once you've sent your "
                               "report. Turns off automatically."));

    if (m_accountService)
        connect(m_accountService, &AccountService::isAuthenticatedChanged, this, &SettingsHelpSection::syncSendRows);
    connect(&Preferences::standard(), &Preferences::valueChanged, this, [this](const QString &key) {
        if (key == ErrorTelemetryConsent::Keys::enabled || key == ErrorTelemetryConsent::Keys::optOutShown ||
            key == ErrorTelemetryConsent::Keys::euOptInShown || key == GeoProbeClient::cachedIsEUKey)
            syncErrorTelemetryToggle();
    });
    syncSendRows();
}

void SettingsHelpSection::syncSendRows()
{
    // Only a signed-in person can send a report.
    const bool signedIn = m_accountService && m_accountService->isAuthenticated();
    m_sendReportRow->setVisible(signedIn);
    m_signInToSendRow->setVisible(!signedIn);
}

void SettingsHelpSection::windowShown()
{
    m_windowVisible = true;
    // Start values, not changes: no change handler runs.
    m_diagnosticsEnabled = DiagnosticUploader::isDiagnosticsEnabled();
    m_diagnosticsSwitch->setChecked(m_diagnosticsEnabled);
    m_verboseDiagnosticsEnabled = DiagnosticLogger::isVerboseActive();
    m_verboseSwitch->setChecked(m_verboseDiagnosticsEnabled);
    syncErrorTelemetryToggle();
}

void SettingsHelpSection::windowHidden()
{
    m_windowVisible = false;
    // A sheet left open would outlive the window it belongs to: "Try again" could then send
    // a report for someone who signed out.
    setShowDiagnosticSuccess(false);
    setShowDiagnosticError(false);
    setShowOptOutNote(false);
}

// ---- automatic diagnostics and verbose logging --------------------------------------------

void SettingsHelpSection::setDiagnosticsEnabled(bool value)
{
    m_diagnosticsSwitch->setChecked(value);
    if (m_diagnosticsEnabled == value)
        return;
    m_diagnosticsEnabled = value;
    Preferences::standard().setValue(DiagnosticUploader::enabledKey, value);
}

void SettingsHelpSection::setVerboseDiagnosticsEnabled(bool value)
{
    m_verboseSwitch->setChecked(value);
    if (m_verboseDiagnosticsEnabled == value)
        return;
    m_verboseDiagnosticsEnabled = value;
    DiagnosticLogger::setVerbose(value);
}

// ---- error reports and their one-time note ------------------------------------------------

void SettingsHelpSection::syncErrorTelemetryToggle()
{
    m_errorTelemetrySwitch->setChecked(ErrorTelemetryConsent::isEnabled());
}

void SettingsHelpSection::setErrorTelemetryBinding(bool value)
{
    if (!value && ErrorTelemetryConsent::shouldShowOptOutNote()) {
        // Reports stay on while the note asks; the toggle keeps showing on.
        setShowOptOutNote(true);
    } else if (!value) {
        ErrorTelemetryConsent::setEnabled(false);
        ErrorTelemetryConsent::markOptOutNoteShown();
    } else {
        ErrorTelemetryConsent::setEnabled(true);
    }
    syncErrorTelemetryToggle();
}

void SettingsHelpSection::turnOffErrorReportsAnyway()
{
    ErrorTelemetryConsent::setEnabled(false);
    ErrorTelemetryConsent::markOptOutNoteShown();
    setShowOptOutNote(false);
}

void SettingsHelpSection::keepSendingErrorReports()
{
    ErrorTelemetryConsent::markOptOutNoteShown();
    setShowOptOutNote(false);
}

void SettingsHelpSection::setShowOptOutNote(bool value)
{
    if (m_showOptOutNote == value)
        return;
    m_showOptOutNote = value;
    SettingsSheet *sheet = errorTelemetryOptOutSheet();
    if (value)
        sheet->open();
    else
        sheet->reject();
}

SettingsSheet *SettingsHelpSection::errorTelemetryOptOutSheet()
{
    if (m_optOutSheet)
        return m_optOutSheet;
    m_optOutSheet = new SettingsSheet(
        QStringLiteral("Help us fix issues faster"),
        QStringLiteral("Anonymous error reports help us fix issues before they affect more people. Reports never "
                       "include your time entries or personal information."),
        QStringLiteral("Turn off anyway"), QStringLiteral("Keep sending"), this);
    connect(m_optOutSheet->secondaryButton(), &QPushButton::clicked, this,
            &SettingsHelpSection::turnOffErrorReportsAnyway);
    connect(m_optOutSheet->primaryButton(), &QPushButton::clicked, this,
            &SettingsHelpSection::keepSendingErrorReports);
    // Dismissed any other way, the note is still due next time.
    connect(m_optOutSheet, &QDialog::finished, this, [this]() { setShowOptOutNote(false); });
    return m_optOutSheet;
}

// ---- the manual diagnostic report ---------------------------------------------------------

void SettingsHelpSection::sendDiagnosticReport()
{
    if (m_isSendingDiagnostic)
        return;
    setIsSendingDiagnostic(true);
    // The line is written even when the window is gone by the time the upload ends.
    QCoro::Task<void> sending =
        runDiagnosticReport(QPointer<SettingsHelpSection>(this), m_environment.uploader, m_environment.log);
    Q_UNUSED(sending) // runs on by itself
}

QCoro::Task<void> SettingsHelpSection::runDiagnosticReport(QPointer<SettingsHelpSection> self,
                                                           QPointer<DiagnosticUploader> uploader, LogSink log)
{
    std::optional<QString> code;
    // What the person reads: the upload's own texts; nothing (the sheet's general sentence)
    // for a failure of ours, whose detail goes to the log alone.
    std::optional<QString> shown;
    QString logged;
    try {
        if (!uploader)
            throw DiagnosticError::transport();
        QCoro::Task<QString> uploading = uploader->uploadManualAsync();
        code = co_await std::move(uploading);
    } catch (const DiagnosticError &error) {
        shown = error.message();
        logged = error.message();
    } catch (const std::exception &error) {
        logged = QString::fromUtf8(error.what());
    } catch (...) {
        logged = QStringLiteral("unknown error");
    }

    if (code) {
        log(QStringLiteral("info"), QStringLiteral("manual diagnostic upload succeeded code=") + *code);
        // A window closed meanwhile shows nothing.
        if (self && self->m_windowVisible) {
            self->m_diagnosticResultCode = *code;
            self->setShowDiagnosticSuccess(true);
        }
    } else {
        log(QStringLiteral("warn"), QStringLiteral("manual diagnostic upload failed: ") + logged);
        if (self && self->m_windowVisible) {
            self->m_diagnosticErrorMessage = shown;
            self->setShowDiagnosticError(true);
        }
    }
    // The sheet is asked for before the button goes back to idle.
    if (self) {
        QMetaObject::invokeMethod(
            self.data(),
            [self]() {
                if (self)
                    self->setIsSendingDiagnostic(false);
            },
            Qt::QueuedConnection);
    }
}

void SettingsHelpSection::setIsSendingDiagnostic(bool value)
{
    m_isSendingDiagnostic = value;
    m_sendReportButton->setEnabled(!value);
    m_sendReportButton->setText(value ? QStringLiteral("Sending…") : QStringLiteral("Send Diagnostic Report"));
    if (value) {
        m_sendProgressFrame = 0;
        drawSendProgress();
        m_sendProgress->start();
    } else {
        m_sendProgress->stop();
        m_sendReportButton->setIcon(QIcon());
    }
}

void SettingsHelpSection::drawSendProgress()
{
    // A small indeterminate spinner: a short arc turning round.
    const qreal ratio = devicePixelRatioF();
    const int side = 12;
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Theme::border.lighter(160), 1.6));
    painter.drawEllipse(QRectF(1.5, 1.5, side - 3, side - 3));
    QPen arc(Theme::text, 1.6);
    arc.setCapStyle(Qt::RoundCap);
    painter.setPen(arc);
    painter.drawArc(QRectF(1.5, 1.5, side - 3, side - 3), -m_sendProgressFrame * 30 * 16, 100 * 16);
    painter.end();
    m_sendReportButton->setIconSize(QSize(side, side));
    m_sendReportButton->setIcon(QIcon(pixmap));
    m_sendProgressFrame = (m_sendProgressFrame + 1) % 12;
}

void SettingsHelpSection::setShowDiagnosticSuccess(bool value)
{
    if (m_showDiagnosticSuccess == value)
        return;
    m_showDiagnosticSuccess = value;
    SettingsSheet *sheet = diagnosticSuccessSheet();
    if (value) {
        setDiagnosticCodeCopied(false);
        sheet->setCode(m_diagnosticResultCode.value_or(QString()));
        sheet->open();
    } else {
        sheet->reject();
    }
}

void SettingsHelpSection::setShowDiagnosticError(bool value)
{
    if (m_showDiagnosticError == value)
        return;
    m_showDiagnosticError = value;
    SettingsSheet *sheet = diagnosticErrorSheet();
    if (value) {
        sheet->setBodyText(m_diagnosticErrorMessage.value_or(diagnosticFailureFallback));
        sheet->open();
    } else {
        sheet->reject();
    }
}

SettingsSheet *SettingsHelpSection::diagnosticSuccessSheet()
{
    if (m_successSheet)
        return m_successSheet;
    m_successSheet = new SettingsSheet(QStringLiteral("Diagnostic report sent"),
                                       QStringLiteral("Share this code with support so we can find your report:"),
                                       QStringLiteral("Done"), QStringLiteral("Copy code"), this);
    connect(m_successSheet->secondaryButton(), &QPushButton::clicked, this,
            [this]() { setShowDiagnosticSuccess(false); });
    connect(m_successSheet->primaryButton(), &QPushButton::clicked, this, &SettingsHelpSection::copyDiagnosticCode);
    connect(m_successSheet, &QDialog::finished, this, [this]() { setShowDiagnosticSuccess(false); });
    return m_successSheet;
}

SettingsSheet *SettingsHelpSection::diagnosticErrorSheet()
{
    if (m_errorSheet)
        return m_errorSheet;
    m_errorSheet = new SettingsSheet(QStringLiteral("Couldn't send diagnostic report"), diagnosticFailureFallback,
                                     QStringLiteral("Done"), QStringLiteral("Try again"), this);
    connect(m_errorSheet->secondaryButton(), &QPushButton::clicked, this, [this]() { setShowDiagnosticError(false); });
    connect(m_errorSheet->primaryButton(), &QPushButton::clicked, this, [this]() {
        setShowDiagnosticError(false);
        sendDiagnosticReport();
    });
    connect(m_errorSheet, &QDialog::finished, this, [this]() { setShowDiagnosticError(false); });
    return m_errorSheet;
}

void SettingsHelpSection::copyDiagnosticCode()
{
    if (!m_diagnosticResultCode)
        return;
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(*m_diagnosticResultCode);
    setDiagnosticCodeCopied(true);
    QTimer::singleShot(copiedResetDelay, this, [this]() { setDiagnosticCodeCopied(false); });
}

void SettingsHelpSection::setDiagnosticCodeCopied(bool value)
{
    m_diagnosticCodeCopied = value;
    if (m_successSheet)
        m_successSheet->primaryButton()->setText(value ? QStringLiteral("Copied") : QStringLiteral("Copy code"));
}
