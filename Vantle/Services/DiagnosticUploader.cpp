#include "Vantle/Services/DiagnosticUploader.h"

#include "OrvalenAccount/Internal/HTTPTransport.h"
#include "OrvalenAccount/KeychainStorage.h"
#include "Platform/Preferences.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Models/LedgerModel.h"
#include "Vantle/Services/DiagnosticReport.h"
#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/DiagnosticLogger.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/LogCenter.h"
#include "VantleKit/VantleAPI.h"

#include <QCoro/QCoroFuture>
#include <QJsonDocument>
#include <QPointer>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <stdexcept>
#include <utility>

namespace {
// Clears the in-flight mark however the upload ends.
struct UploadMark {
    QPointer<DiagnosticUploader> uploader;
    bool *flag;
    ~UploadMark()
    {
        if (uploader)
            *flag = false;
    }
};

QJsonObject provided(const DiagnosticUploader::SummaryProvider &provider)
{
    if (!provider)
        return QJsonObject{{QStringLiteral("available"), false}};
    try {
        return provider();
    } catch (...) {
        return QJsonObject{{QStringLiteral("available"), false}, {QStringLiteral("failed"), true}};
    }
}
} // namespace

DiagnosticUploader &DiagnosticUploader::shared()
{
    static auto *instance = new DiagnosticUploader;
    return *instance;
}

DiagnosticUploader::DiagnosticUploader(QObject *parent) : QObject(parent) {}

bool DiagnosticUploader::isDiagnosticsEnabled()
{
    return Preferences::standard().boolValue(enabledKey, true);
}

std::optional<QString> DiagnosticUploader::parseError(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    for (const QString &key : {QStringLiteral("error"), QStringLiteral("message")}) {
        const QJsonValue value = object.value(key);
        if (value.isString())
            return value.toString();
    }
    return std::nullopt;
}

QJsonObject DiagnosticUploader::ledgerSummary(const LedgerModel &model)
{
    return QJsonObject{
        {QStringLiteral("available"), true},
        {QStringLiteral("categories_loaded"), model.didLoadCategories()},
        {QStringLiteral("categories"), static_cast<qint64>(model.categories().size())},
        {QStringLiteral("visible_categories"), static_cast<qint64>(model.visibleCategories().size())},
    };
}

QJsonObject DiagnosticUploader::accountSummary(const AccountService &account)
{
    const QString state = account.isAuthenticated()    ? QStringLiteral("signed_in")
                          : account.isAuthenticating() ? QStringLiteral("signing_in")
                                                       : QStringLiteral("signed_out");
    QJsonObject summary{{QStringLiteral("available"), true}, {QStringLiteral("state"), state}};
    if (!account.orvalenAccountID().isEmpty())
        summary.insert(QStringLiteral("account_id"), account.orvalenAccountID());
    return summary;
}

std::optional<QString> DiagnosticUploader::storedSessionToken()
{
    const KeychainStorage storage(QStringLiteral("vantle"));
    return VantleAPI::storedSessionToken(storage);
}

QByteArray DiagnosticUploader::multipartBody(const QByteArray &report, const QByteArray &boundary)
{
    QByteArray body;
    const auto field = [&](const char *name, const QByteArray &value) {
        body += "--" + boundary + "\r\n";
        body += QByteArray("Content-Disposition: form-data; name=\"") + name + "\"\r\n\r\n";
        body += value + "\r\n";
    };
    field("app_slug", "vantle");
    field("kind", "manual");
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"report\"; filename=\"" + reportFileName.toUtf8() + "\"\r\n";
    body += "Content-Type: application/zip\r\n\r\n";
    body += report;
    body += "\r\n--" + boundary + "--\r\n";
    return body;
}

QJsonObject DiagnosticUploader::reportSummary() const
{
    QJsonObject summary = DiagnosticReport::systemSummary();
    QJsonObject account{{QStringLiteral("session_stored"), true}};
    const QJsonObject fromProvider = provided(m_accountSummary);
    for (auto it = fromProvider.begin(); it != fromProvider.end(); ++it)
        account.insert(it.key(), it.value());
    summary.insert(QStringLiteral("account"), account);
    summary.insert(QStringLiteral("ledger"), provided(m_ledgerSummary));
    summary.insert(QStringLiteral("diagnostics"),
                   QJsonObject{{QStringLiteral("verbose"), DiagnosticLogger::isVerboseActive()},
                               {QStringLiteral("automatic_reports"), isDiagnosticsEnabled()}});
    return DiagnosticReport::redacted(summary);
}

QCoro::Task<QString> DiagnosticUploader::uploadManualAsync()
{
    if (m_uploading)
        throw DiagnosticError::inFlight();
    m_uploading = true;
    const UploadMark mark{QPointer<DiagnosticUploader>(this), &m_uploading};

    const std::optional<QString> token = m_sessionToken ? m_sessionToken() : storedSessionToken();
    if (!token || token->isEmpty())
        throw DiagnosticError::notSignedIn();

    QUrl url = m_identityURL ? m_identityURL() : Constants::Auth::identityURL();
    url.setPath(url.path() + path);
    QNetworkAccessManager *const network = m_network;
    LogCenter *const center = m_logCenter ? m_logCenter : &LogCenter::shared();

    // Reading the log files and zipping them stays off the GUI thread.
    const auto build = [contents = DiagnosticReport::Contents{reportSummary(), {}, {}}, center]() mutable {
        center->drain(std::chrono::seconds(2));
        contents.ring = center->ring().toJsonLines();
        contents.logFiles = center->logFiles();
        return DiagnosticReport::build(contents);
    };
    QFuture<std::optional<QByteArray>> building = QtConcurrent::run(build);
    const std::optional<QByteArray> report = co_await building;
    if (!report)
        throw std::runtime_error("the diagnostic report could not be built");
    Log(QStringLiteral("diagnostics"))
        .emit(QStringLiteral("info"), QStringLiteral("diagnostic_report_built bytes=%1").arg(report->size()));

    const QByteArray boundary = "vantle-" + QUuid::createUuid().toString(QUuid::Id128).toLatin1();
    HTTPRequest request;
    request.method = QStringLiteral("POST");
    request.url = url;
    request.headers = {
        qMakePair(QByteArray("Content-Type"), "multipart/form-data; boundary=" + boundary),
        qMakePair(QByteArray("Accept"), QByteArray("application/json")),
        qMakePair(QByteArray("Authorization"), "Bearer " + token->toUtf8()),
    };
    request.body = multipartBody(*report, boundary);
    request.timeout = requestTimeout;

    HTTPResponse response;
    try {
        response = co_await HTTPTransport::send(network, std::move(request));
    } catch (...) {
        throw DiagnosticError::transport();
    }

    if (response.isSuccess()) {
        const QJsonDocument document = QJsonDocument::fromJson(response.body);
        const QJsonValue code = document.isObject() ? document.object().value(QStringLiteral("code")) : QJsonValue();
        if (!code.isString() || code.toString().trimmed().isEmpty())
            throw DiagnosticError::malformedResponse();
        co_return code.toString().trimmed();
    }
    // The stored session is no longer good: the way forward is signing in again.
    if (response.status == 401)
        throw DiagnosticError::notSignedIn();
    // An empty or blank text is no message to show.
    if (const std::optional<QString> message = parseError(response.body); message && !message->trimmed().isEmpty())
        throw DiagnosticError::server(*message);
    throw DiagnosticError::malformedResponse();
}
