#include "OrvalenAccount/Internal/AuthClient.h"

#include "OrvalenAccount/DPoPSigner.h"
#include "OrvalenAccount/Internal/OrvalenDeprecationParser.h"
#include "OrvalenAccount/Internal/Semver.h"
#include "OrvalenAccount/OrvalenError.h"
#include "OrvalenAccount/OrvalenJSON.h"
#include "OrvalenAccount/OrvalenRedaction.h"
#include "OrvalenAccount/OrvalenTransportError.h"

#include <QJsonDocument>

namespace {

void insertIfPresent(QJsonObject &object, const char *key, const std::optional<QString> &value)
{
    if (value)
        object.insert(QLatin1String(key), *value);
}

OrvalenLogFields requestFields(const QString &endpoint, int status, const QString &errorClass,
                               const std::optional<QString> &code = std::nullopt)
{
    OrvalenLogFields fields{
        {QStringLiteral("endpoint"), OrvalenRedaction::endpoint(endpoint)},
        {QStringLiteral("status"), QString::number(status)},
        {QStringLiteral("class"), errorClass},
    };
    if (code && !code->isEmpty())
        fields.insert(QStringLiteral("code"), *code);
    return fields;
}

} // namespace

// ---- bodies ---------------------------------------------------------------------

AuthClient::ErrorPayload AuthClient::ErrorPayload::decode(const QByteArray &body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonValue value = document.object().value(QStringLiteral("error"));
    if (!value.isString())
        return {};
    return {value.toString()};
}

QJsonObject AuthClient::RefreshBody::toJson() const
{
    QJsonObject object{{QStringLiteral("app_slug"), app_slug}, {QStringLiteral("refresh_token"), refresh_token}};
    insertIfPresent(object, "client_version", client_version);
    return object;
}

QJsonObject AuthClient::AppleAuthcodeBody::toJson() const
{
    QJsonObject object{{QStringLiteral("app_slug"), app_slug},
                       {QStringLiteral("authorization_code"), authorization_code}};
    insertIfPresent(object, "identity_token", identity_token);
    insertIfPresent(object, "install_id", install_id);
    return object;
}

AuthClient::AppleAuthcodeResponse AuthClient::AppleAuthcodeResponse::fromJson(const QJsonObject &object)
{
    AppleAuthcodeResponse r;
    r.ok = OrvalenJSON::requireBool(object, "ok");
    r.orvalen_account_id = OrvalenJSON::optionalString(object, "orvalen_account_id");
    r.email = OrvalenJSON::optionalString(object, "email");
    r.oas = OrvalenJSON::optionalString(object, "oas");
    r.refresh_token = OrvalenJSON::optionalString(object, "refresh_token");
    r.expires_at = OrvalenJSON::optionalDate(object, "expires_at");
    r.is_new_user = OrvalenJSON::optionalBool(object, "is_new_user");
    return r;
}

AuthClient::EmptyResponse AuthClient::EmptyResponse::fromJson(const QJsonObject &object)
{
    return {OrvalenJSON::requireBool(object, "ok")};
}

QJsonObject AuthClient::ExchangeBody::toJson() const
{
    QJsonObject object{{QStringLiteral("app_slug"), app_slug}, {QStringLiteral("code"), code}};
    insertIfPresent(object, "code_verifier", code_verifier);
    insertIfPresent(object, "redirect_uri", redirect_uri);
    insertIfPresent(object, "client_version", client_version);
    insertIfPresent(object, "install_id", install_id);
    return object;
}

// ---- client ---------------------------------------------------------------------

std::shared_ptr<AuthClient> AuthClient::create(OrvalenConfig config, std::shared_ptr<DPoPSigner> dpopSigner,
                                               std::shared_ptr<IdentityThrottle> throttle)
{
    return std::make_shared<AuthClient>(Tag{}, std::move(config), std::move(dpopSigner), std::move(throttle));
}

AuthClient::AuthClient(Tag, OrvalenConfig config, std::shared_ptr<DPoPSigner> dpopSigner,
                       std::shared_ptr<IdentityThrottle> throttle)
    : m_config(std::move(config)), m_dpopSigner(std::move(dpopSigner)), m_throttle(std::move(throttle)),
      m_tokenRefresher(TokenRefresher::create())
{
    if (!m_throttle)
        m_throttle = IdentityThrottle::create({}, m_config.logger);
}

void AuthClient::log(OrvalenLogLevel level, const QString &event, const OrvalenLogFields &fields) const
{
    m_config.log(level, event, fields);
}

std::optional<QUrl> AuthClient::resolve(const QString &path) const
{
    const QUrl relative(path);
    if (!relative.isValid() || !m_config.identityURL.isValid())
        return std::nullopt;
    const QUrl url = m_config.identityURL.resolved(relative);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return std::nullopt;
    return url;
}

HTTPRequest AuthClient::buildRequest(const QUrl &url, const QString &method, const std::optional<QByteArray> &bodyData,
                                     const std::optional<QString> &oas) const
{
    HTTPRequest request;
    request.url = url;
    request.method = method;
    request.timeout = std::chrono::seconds(60);
    // The proof names this URL and is good for one use: a redirect would carry it, spent
    // and naming the wrong address, to a server that must refuse it. The 3xx is the answer.
    request.followRedirects = false;
    request.headers = {
        {QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")},
        {QByteArrayLiteral("Accept"), QByteArrayLiteral("application/json")},
        {QByteArrayLiteral("User-Agent"), OrvalenAccountLibrary::versionLine(m_config.clientVersion).toUtf8()},
        {QByteArrayLiteral("Orvalen-Lib-Version"), m_config.libVersion.toUtf8()},
        {QByteArrayLiteral("Orvalen-Client-Version"), m_config.clientVersion.toUtf8()},
    };
    if (oas) {
        request.headers.append({QByteArrayLiteral("Authorization"), QByteArrayLiteral("Bearer ") + oas->toUtf8()});
        if (m_dpopSigner) {
            try {
                request.headers.append(
                    {QByteArrayLiteral("DPoP"), m_dpopSigner->generateProof(url, method, *oas).toUtf8()});
            } catch (...) {
                // The service decides what an unbound token may do; the request still goes.
            }
        }
    }
    request.body = bodyData;
    return request;
}

QCoro::Task<HTTPResponse> AuthClient::perform(QUrl url, QString method, std::optional<QByteArray> bodyData,
                                              std::optional<QString> oas, QString endpoint,
                                              IdentityRequestClass requestClass, CancellationToken cancel)
{
    const std::shared_ptr<AuthClient> self = shared_from_this();
    const std::shared_ptr<IdentityThrottle> throttle = m_throttle;
    // Named outside the co_await: GCC 12 destroys the captures of a lambda written
    // inside a co_await expression twice.
    IdentityThrottle::Send send = [self, url, method, bodyData, oas, endpoint, cancel] {
        return sendStep(self, url, method, bodyData, oas, endpoint, cancel);
    };
    QCoro::Task<HTTPResponse> running = throttle->run(url, method, requestClass, send, cancel);
    co_return co_await std::move(running);
}

QCoro::Task<HTTPResponse> AuthClient::sendStep(std::shared_ptr<AuthClient> client, QUrl url, QString method,
                                               std::optional<QByteArray> bodyData, std::optional<QString> oas,
                                               QString endpoint, CancellationToken cancel)
{
    const HTTPRequest request = client->buildRequest(url, method, bodyData, oas);
    std::optional<OrvalenTransportError> transportError;
    bool notHttp = false;
    HTTPResponse response;
    try {
        response = co_await HTTPTransport::send(client->m_config.urlSession, request, cancel);
    } catch (const OrvalenTransportError &error) {
        transportError = error;
    } catch (const NonHTTPResponseError &) {
        notHttp = true;
    }
    if (transportError) {
        client->log(OrvalenLogLevel::warning, QStringLiteral("request_transport_failed"),
                    OrvalenRedaction::transportFailure(endpoint, *transportError));
        throw OrvalenError::networkUnavailable();
    }
    if (notHttp) {
        client->log(OrvalenLogLevel::error, QStringLiteral("request_decode_failed"),
                    OrvalenRedaction::decodeFailure(endpoint, QStringLiteral("response")));
        throw OrvalenError::malformedResponse(QStringLiteral("response"));
    }
    co_return response;
}

QCoro::Task<HTTPResponse> AuthClient::performOrUnavailable(QUrl url, QString method, std::optional<QByteArray> bodyData,
                                                           std::optional<QString> oas, QString endpoint,
                                                           IdentityRequestClass requestClass, CancellationToken cancel)
{
    const std::shared_ptr<AuthClient> self = shared_from_this();
    bool cancelled = false;
    HTTPResponse response;
    try {
        response = co_await perform(url, method, bodyData, oas, endpoint, requestClass, cancel);
    } catch (const CancellationError &) {
        cancelled = true;
    }
    if (cancelled)
        throw OrvalenError::networkUnavailable();
    co_return response;
}

QCoro::Task<std::optional<QString>> AuthClient::tryRefresh(QString refreshToken)
{
    const std::shared_ptr<AuthClient> self = shared_from_this();
    try {
        const OasResponse refreshed = co_await refreshSerialized(refreshToken);
        co_return std::optional<QString>(refreshed.oas);
    } catch (...) {
        // A failed refresh leaves the request to go on with what it had.
    }
    co_return std::optional<QString>();
}

QCoro::Task<HTTPResponse> AuthClient::performWithAuthRecovery(QString path, QString method,
                                                              std::optional<QByteArray> bodyData,
                                                              std::optional<QString> oas, bool allowAuthRecovery,
                                                              IdentityRequestClass requestClass,
                                                              CancellationToken cancel)
{
    const std::shared_ptr<AuthClient> self = shared_from_this();
    const std::optional<QUrl> url = resolve(path);
    if (!url)
        throw OrvalenError::malformedResponse(QStringLiteral("url"));

    std::optional<QString> token = oas;

    if (allowAuthRecovery && oas && currentSessionProvider) {
        const std::optional<StoredSession> session = currentSessionProvider();
        if (session && session->refreshToken
            && QDateTime::currentDateTimeUtc().secsTo(session->expiresAt) < proactiveRefreshWindowSeconds) {
            if (std::optional<QString> fresh = co_await tryRefresh(*session->refreshToken))
                token = fresh;
        }
    }

    HTTPResponse first = co_await performOrUnavailable(*url, method, bodyData, token, path, requestClass, cancel);
    handleDeprecationHeaders(first, path);

    if (first.status == 401 && allowAuthRecovery && token && currentSessionProvider) {
        const std::optional<StoredSession> session = currentSessionProvider();
        if (session && session->refreshToken) {
            const std::optional<QString> fresh = co_await tryRefresh(*session->refreshToken);
            if (!fresh)
                co_return first;
            HTTPResponse second = co_await performOrUnavailable(*url, method, bodyData, fresh, path,
                                                                 IdentityRequestClass::authRecovery, cancel);
            handleDeprecationHeaders(second, path);
            co_return second;
        }
    }
    co_return first;
}

void AuthClient::mapStatusError(const HTTPResponse &http, const QString &endpoint) const
{
    if (http.isSuccess())
        return;
    const std::optional<QString> code = ErrorPayload::decode(http.body).error;
    if (http.status == 426) {
        log(OrvalenLogLevel::error, QStringLiteral("client_killed"),
            requestFields(endpoint, http.status, QStringLiteral("clientKilled"), code));
        throw OrvalenError::clientKilled();
    }
    if (http.status == 401) {
        log(OrvalenLogLevel::warning, QStringLiteral("request_auth_failed"),
            requestFields(endpoint, http.status, QStringLiteral("auth"), code));
        throw OrvalenError::sessionExpired();
    }
    log(OrvalenLogLevel::error, QStringLiteral("request_server_failed"),
        requestFields(endpoint, http.status, QStringLiteral("server"), code));
    throw OrvalenError::serverError(http.status, code);
}

void AuthClient::handleDeprecationHeaders(const HTTPResponse &response, const QString &endpoint) const
{
    const QList<OrvalenDeprecationNotice> notices = OrvalenDeprecationParser::notices(response);
    if (!notices.isEmpty()) {
        if (onDeprecationNotice)
            onDeprecationNotice(notices);
        if (response.status != 426) {
            for (const OrvalenDeprecationNotice &notice : notices) {
                const auto *client = notice.as<OrvalenDeprecationNotice::Client>();
                if (client && Semver::compare(m_config.clientVersion, client->minVersion) < 0) {
                    log(OrvalenLogLevel::warning, QStringLiteral("requires_upgrade"),
                        requestFields(endpoint, response.status, QStringLiteral("requiresUpgrade")));
                    throw OrvalenError::requiresUpgrade(client->minVersion);
                }
            }
            return;
        }
        std::optional<QUrl> replacement;
        for (const OrvalenDeprecationNotice &notice : notices) {
            const auto *endpointNotice = notice.as<OrvalenDeprecationNotice::Endpoint>();
            if (endpointNotice && endpointNotice->replacement) {
                replacement = endpointNotice->replacement;
                break;
            }
        }
        log(OrvalenLogLevel::error, QStringLiteral("client_killed"),
            requestFields(endpoint, 426, QStringLiteral("clientKilled")));
        throw OrvalenError::clientKilled(replacement);
    }
    if (response.status == 426) {
        log(OrvalenLogLevel::error, QStringLiteral("client_killed"),
            requestFields(endpoint, 426, QStringLiteral("clientKilled")));
        throw OrvalenError::clientKilled();
    }
}

// ---- session endpoints -------------------------------------------------------------

QCoro::Task<OasResponse> AuthClient::refreshFor(std::weak_ptr<AuthClient> client, QString refreshToken)
{
    const std::shared_ptr<AuthClient> strong = client.lock();
    if (!strong)
        throw OrvalenError::networkUnavailable();
    co_return co_await strong->refresh(refreshToken);
}

QCoro::Task<OasResponse> AuthClient::refreshSerialized(QString refreshToken)
{
    const std::shared_ptr<AuthClient> self = shared_from_this();
    const std::weak_ptr<AuthClient> weak = self;
    const std::shared_ptr<TokenRefresher> refresher = m_tokenRefresher;
    TokenRefresher::OnRotated onRotated;
    if (onSessionRefreshed)
        onRotated = onSessionRefreshed;
    TokenRefresher::Perform perform = [weak, refreshToken] { return refreshFor(weak, refreshToken); };
    QCoro::Task<OasResponse> running = refresher->refresh(refreshToken, perform, onRotated);
    co_return co_await std::move(running);
}

QCoro::Task<OasResponse> AuthClient::refresh(QString refreshToken)
{
    const std::shared_ptr<AuthClient> self = shared_from_this();
    const RefreshBody body{m_config.appSlug, refreshToken, m_config.clientVersion};
    const QByteArray bytes = OrvalenJSON::serialize(body.toJson());
    const std::optional<QUrl> url = resolve(refreshPath);
    if (!url)
        throw OrvalenError::malformedResponse(QStringLiteral("url"));

    const HTTPResponse response = co_await performOrUnavailable(*url, QStringLiteral("POST"), bytes, std::nullopt,
                                                                refreshPath, IdentityRequestClass::steady, {});
    handleDeprecationHeaders(response, refreshPath);
    mapStatusError(response, refreshPath);
    try {
        co_return OasResponse::fromJson(OrvalenJSON::parseObject(response.body));
    } catch (const OrvalenJSON::DecodingError &) {
    }
    log(OrvalenLogLevel::error, QStringLiteral("request_decode_failed"),
        OrvalenRedaction::decodeFailure(refreshPath, QStringLiteral("OasResponse")));
    throw OrvalenError::malformedResponse(QStringLiteral("OasResponse"));
}

QCoro::Task<void> AuthClient::revokeSession(QString oas)
{
    const std::shared_ptr<AuthClient> self = shared_from_this();
    const std::optional<QUrl> url = resolve(revokePath);
    if (!url)
        throw OrvalenError::malformedResponse(QStringLiteral("url"));
    const HTTPResponse response = co_await performOrUnavailable(*url, QStringLiteral("POST"), std::nullopt, oas,
                                                                revokePath, IdentityRequestClass::steady, {});
    handleDeprecationHeaders(response, revokePath);
    mapStatusError(response, revokePath);
    try {
        EmptyResponse::fromJson(OrvalenJSON::parseObject(response.body));
        co_return;
    } catch (const OrvalenJSON::DecodingError &) {
    }
    log(OrvalenLogLevel::error, QStringLiteral("request_decode_failed"),
        OrvalenRedaction::decodeFailure(revokePath, QStringLiteral("EmptyResponse")));
    throw OrvalenError::malformedResponse(QStringLiteral("EmptyResponse"));
}

QCoro::Task<AuthClient::AppleAuthcodeResponse> AuthClient::exchangeAppleAuthCode(QString authorizationCode,
                                                                                 std::optional<QString> identityToken,
                                                                                 std::optional<QString> installID)
{
    const std::shared_ptr<AuthClient> self = shared_from_this();
    AppleAuthcodeBody body;
    body.app_slug = m_config.appSlug;
    body.authorization_code = authorizationCode;
    body.identity_token = identityToken;
    body.install_id = installID ? installID : m_config.installID;
    const QByteArray bytes = OrvalenJSON::serialize(body.toJson());

    const HTTPResponse response = co_await performWithAuthRecovery(
        appleAuthcodePath, QStringLiteral("POST"), bytes, std::nullopt, true, IdentityRequestClass::steady);
    mapStatusError(response, appleAuthcodePath);
    try {
        co_return AppleAuthcodeResponse::fromJson(OrvalenJSON::parseObject(response.body));
    } catch (const OrvalenJSON::DecodingError &) {
    }
    log(OrvalenLogLevel::error, QStringLiteral("request_decode_failed"),
        OrvalenRedaction::decodeFailure(appleAuthcodePath, QStringLiteral("AppleAuthcodeResponse")));
    throw OrvalenError::malformedResponse(QStringLiteral("AppleAuthcodeResponse"));
}
