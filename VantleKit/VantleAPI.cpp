#include "VantleKit/VantleAPI.h"

#include "VantleKit/Audit/AuditSubmission.h"

#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/StoredSession.h"
#include "Platform/SystemLog.h"

#include <QCoro/QCoroNetworkReply>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

#include <utility>

VantTransportError::VantTransportError(QNetworkReply::NetworkError error, const QString &detail)
    : std::runtime_error(QStringLiteral("ledger service unreachable: %1").arg(detail).toStdString())
    , m_error(error)
{
}

VantDecodingError::VantDecodingError(const QString &detail)
    : std::runtime_error(QStringLiteral("unexpected answer from the ledger service: %1").arg(detail).toStdString())
{
}

struct VantleAPI::Context {
    QUrl baseURL;
    SessionTokenReader sessionToken;
    QPointer<QNetworkAccessManager> network;
};

namespace {

// The application's log, which this layer reaches through the system log's router.
void logWarning(const QString &message)
{
    SystemLog::write(SystemLogLevel::warn, QStringLiteral("dev.orvalen.vantle"), QStringLiteral("ledger"), message);
}

constexpr int signInRequiredStatus = 401;

QUrl withApiPrefix(QUrl base)
{
    QString path = base.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    base.setPath(path + QStringLiteral("/api/v1"));
    return base;
}

QUrl endpoint(const QUrl &baseURL, const QString &path)
{
    QUrl url = baseURL;
    url.setPath(baseURL.path() + path);
    return url;
}

// The service's error code: its "error" member when that is a non-empty text,
// else "http_" and the status.
QString errorCode(int status, const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isObject()) {
        const QJsonValue error = document.object().value(QStringLiteral("error"));
        if (error.isString() && !error.toString().isEmpty())
            return error.toString();
    }
    return QStringLiteral("http_%1").arg(status);
}

// Qt marks 4xx and 5xx answers as errors too; only the network and proxy ranges mean
// that no complete answer arrived.
bool isTransportFailure(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

struct ReplyDeleter {
    QPointer<QNetworkReply> reply;
    ~ReplyDeleter()
    {
        if (reply)
            reply->deleteLater();
    }
};

// One request: the body of a 2xx answer, else an exception.
QCoro::Task<QByteArray> sendRaw(std::shared_ptr<const VantleAPI::Context> context, QByteArray method,
                                QString path, std::optional<QByteArray> body)
{
    const std::optional<QString> token = context->sessionToken ? context->sessionToken() : std::nullopt;
    if (!token || token->isEmpty())
        throw VantAPIError(signInRequiredStatus, QStringLiteral("sign_in_required"));

    QNetworkAccessManager *network = context->network.data();
    if (!network)
        throw VantTransportError(QNetworkReply::OperationCanceledError, QStringLiteral("no network manager"));

    QNetworkRequest request(endpoint(context->baseURL, path));
    request.setRawHeader("Authorization", "Bearer " + token->toUtf8());
    request.setRawHeader("Accept", "application/json");
    // The bearer token must never follow a redirect to another host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(VantleAPI::requestTimeout).count()));
    if (body)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));

    ReplyDeleter guard{network->sendCustomRequest(request, method, body.value_or(QByteArray()))};
    QPointer<QNetworkReply> reply = guard.reply;
    co_await reply.data();
    if (!reply)
        throw VantTransportError(QNetworkReply::OperationCanceledError, QStringLiteral("request abandoned"));

    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusAttribute.isValid() || isTransportFailure(reply->error()))
        throw VantTransportError(reply->error(), reply->errorString());

    const int status = statusAttribute.toInt();
    QByteArray data = reply->readAll();
    if (status < 200 || status > 299)
        throw VantAPIError(status, errorCode(status, data));
    co_return data;
}

// The JSON object of a 2xx answer's body; a body of another form is a decoding error.
QCoro::Task<QJsonObject> send(std::shared_ptr<const VantleAPI::Context> context, QByteArray method,
                              QString path, std::optional<QByteArray> body)
{
    const QByteArray data = co_await sendRaw(context, method, path, std::move(body));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw VantDecodingError(QStringLiteral("%1 %2: %3").arg(QString::fromLatin1(method), path,
                                                                parseError.errorString()));
    if (!document.isObject())
        throw VantDecodingError(QStringLiteral("%1 %2: not a JSON object").arg(QString::fromLatin1(method), path));
    co_return document.object();
}

} // namespace

VantleAPI::VantleAPI(QUrl serviceBase, std::shared_ptr<const OrvalenAccountDataStorage> storage,
                     QNetworkAccessManager *network)
    : VantleAPI(
          std::move(serviceBase),
          [storage = std::move(storage)]() -> std::optional<QString> {
              return storage ? storedSessionToken(*storage) : std::nullopt;
          },
          network)
{
}

VantleAPI::VantleAPI(QUrl serviceBase, SessionTokenReader sessionToken, QNetworkAccessManager *network)
    : m_context(std::make_shared<const Context>(
          Context{withApiPrefix(std::move(serviceBase)), std::move(sessionToken), network}))
{
}

VantleAPI::~VantleAPI() = default;

std::optional<QString> VantleAPI::storedSessionToken(const OrvalenAccountDataStorage &storage)
{
    const std::optional<StoredSession> session = storage.getJSON<StoredSession>(KeychainStorage::Keys::session);
    if (!session)
        return std::nullopt;
    return session->oas;
}

QUrl VantleAPI::baseURL() const
{
    return m_context->baseURL;
}

QCoro::Task<QList<VantCategory>> VantleAPI::categories()
{
    // Only the shared context crosses the suspension, never `this`.
    auto context = m_context;
    const QJsonObject object = co_await send(context, QByteArrayLiteral("GET"), QStringLiteral("/categories"),
                                             std::nullopt);
    const QJsonValue list = object.value(QStringLiteral("categories"));
    if (!list.isArray())
        throw VantDecodingError(QStringLiteral("GET /categories: \"categories\" is not an array"));
    QList<VantCategory> categories;
    const QJsonArray array = list.toArray();
    categories.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonValue element = array.at(i);
        std::optional<VantCategory> category =
            element.isObject() ? VantCategory::fromJson(element.toObject()) : std::nullopt;
        if (!category)
            throw VantDecodingError(QStringLiteral("GET /categories: categories[%1] is not a category").arg(i));
        categories.append(std::move(*category));
    }
    co_return categories;
}

QCoro::Task<std::optional<VantAuditRecord>> VantleAPI::postAudit(VantJSONValue answers, VantJSONValue derived,
                                                                 double sleepHours, double wakeTime,
                                                                 QString timezone,
                                                                 QList<VantAuditCategoryInput> categories)
{
    auto context = m_context;
    const QJsonObject body =
        AuditSubmission::requestBody(answers, derived, sleepHours, wakeTime, timezone, categories);
    const QByteArray data = co_await sendRaw(context, QByteArrayLiteral("POST"), QStringLiteral("/audit"),
                                             QJsonDocument(body).toJson(QJsonDocument::Compact));
    // A 2xx means the service has created the categories. Nothing relies on the record it
    // sends back, so a body that does not read as one must not turn that success into a
    // failure: the user would be offered "Try again" and post the audit a second time.
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isObject()) {
        logWarning(QStringLiteral("audit_record_unreadable reason=not_an_object bytes=%1").arg(data.size()));
        co_return std::nullopt;
    }
    const QJsonValue audit = document.object().value(QStringLiteral("audit"));
    if (audit.isUndefined() || audit.isNull())
        co_return std::nullopt;
    std::optional<VantAuditRecord> record =
        audit.isObject() ? VantAuditRecord::fromJson(audit.toObject()) : std::nullopt;
    if (!record)
        logWarning(QStringLiteral("audit_record_unreadable reason=not_a_record"));
    co_return record;
}
