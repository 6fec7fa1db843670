#pragma once

#include "Vantle/Services/DiagnosticError.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class AccountService;
class LedgerModel;
class LogCenter;
class QNetworkAccessManager;

// Sends a diagnostic report when the user asks for one: the log files, the log ring and a
// summary of the application, the system, the account and the ledger, zipped, posted as
// multipart/form-data to the identity service's "/diagnostics" with the stored session
// token. The answer's short support code is what the user gives to support.
// GUI thread; one upload at a time.
class DiagnosticUploader final : public QObject {
    Q_OBJECT
public:
    using SessionTokenReader = std::function<std::optional<QString>()>;
    using SummaryProvider = std::function<QJsonObject()>;

    static inline const QString path = QStringLiteral("/diagnostics");
    static inline const QString enabledKey = QStringLiteral("vantle.diagnosticsEnabled");
    static inline const QString reportFileName = QStringLiteral("vantle-diagnostics.zip");
    static constexpr std::chrono::seconds requestTimeout{60};

    // The application's uploader.
    static DiagnosticUploader &shared();

    explicit DiagnosticUploader(QObject *parent = nullptr);

    // Builds and sends one report; returns the support code. Throws DiagnosticError:
    // inFlight while another upload runs, notSignedIn without a stored session (or when
    // the service no longer accepts it), transport when no answer came, server with the
    // service's own message, malformedResponse for any other answer.
    QCoro::Task<QString> uploadManualAsync();
    bool isUploading() const { return m_uploading; }

    // The user-defaults Bool "vantle.diagnosticsEnabled"; true when the key is absent.
    static bool isDiagnosticsEnabled();
    // The JSON object's "error" text, else its "message" text (either may be empty); nothing
    // when the body is not a JSON object or holds neither as a text.
    static std::optional<QString> parseError(const QByteArray &body);

    // Set at start-up by the owners of the account state and the ledger: what the report
    // says of each (the account's state and identifier, never a token; the number of
    // categories). Called on the GUI thread when a report is built.
    void setAccountSummaryProvider(SummaryProvider provider) { m_accountSummary = std::move(provider); }
    void setLedgerSummaryProvider(SummaryProvider provider) { m_ledgerSummary = std::move(provider); }
    // What a ledger summary provider can hand in: the categories loaded and visible.
    static QJsonObject ledgerSummary(const LedgerModel &model);
    // What an account summary provider can hand in: the sign-in state and the account's
    // identifier.
    static QJsonObject accountSummary(const AccountService &account);
    // The summary.json the next report carries (the system, the account, the ledger, the
    // diagnostics switches), redacted.
    QJsonObject reportSummary() const;

    // The token of the session stored by the account layer for the app slug "vantle".
    static std::optional<QString> storedSessionToken();

    // The session token (default: storedSessionToken); the application hands in the copy
    // the account manager keeps in memory.
    void setSessionTokenReader(SessionTokenReader reader) { m_sessionToken = std::move(reader); }
    // Tests: the service address (default: the identity service's), the log to report
    // (default: the shared one) and the network manager (null: the shared one).
    void setIdentityURL(std::function<QUrl()> identityURL) { m_identityURL = std::move(identityURL); }
    void setLogCenter(LogCenter *center) { m_logCenter = center; }
    void setNetwork(QNetworkAccessManager *network) { m_network = network; }

    // The multipart/form-data body carrying `report`, and its content type.
    static QByteArray multipartBody(const QByteArray &report, const QByteArray &boundary);

private:

    bool m_uploading = false;
    SummaryProvider m_accountSummary;
    SummaryProvider m_ledgerSummary;
    std::function<QUrl()> m_identityURL;
    SessionTokenReader m_sessionToken;
    LogCenter *m_logCenter = nullptr;
    QNetworkAccessManager *m_network = nullptr;
};
