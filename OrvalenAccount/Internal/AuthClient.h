#pragma once

#include "OrvalenAccount/Internal/CancellationToken.h"
#include "OrvalenAccount/Internal/HTTPResponse.h"
#include "OrvalenAccount/Internal/HTTPTransport.h"
#include "OrvalenAccount/Internal/IdentityRequestClass.h"
#include "OrvalenAccount/Internal/IdentityThrottle.h"
#include "OrvalenAccount/Internal/TokenRefresher.h"
#include "OrvalenAccount/OasResponse.h"
#include "OrvalenAccount/OrvalenConfig.h"
#include "OrvalenAccount/OrvalenDeprecationNotice.h"
#include "OrvalenAccount/StoredSession.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class DPoPSigner;

// The account layer's client of the identity service. Every request is framed here
// (fixed headers, bearer token, DPoP proof), sent through the one throttle, and its
// answer checked for deprecation notices and mapped to OrvalenError. Lives on the
// GUI thread and is always held in a shared_ptr: a running request keeps it alive.
class AuthClient final : public std::enable_shared_from_this<AuthClient> {
    struct Tag {};

public:
    // The error body of an answer; a body that is not an object with a string "error" has none.
    struct ErrorPayload {
        std::optional<QString> error;
        static ErrorPayload decode(const QByteArray &body);
    };
    struct RefreshBody {
        QString app_slug;
        QString refresh_token;
        std::optional<QString> client_version;
        QJsonObject toJson() const;
    };
    struct AppleAuthcodeBody {
        QString app_slug;
        QString authorization_code;
        std::optional<QString> identity_token;
        std::optional<QString> install_id;
        QJsonObject toJson() const;
    };
    struct AppleAuthcodeResponse {
        bool ok = false;
        std::optional<QString> orvalen_account_id;
        std::optional<QString> email;
        std::optional<QString> oas;
        std::optional<QString> refresh_token;
        std::optional<QDateTime> expires_at;
        std::optional<bool> is_new_user;
        // Throws OrvalenJSON::DecodingError.
        static AppleAuthcodeResponse fromJson(const QJsonObject &object);
    };
    struct EmptyResponse {
        bool ok = false;
        static EmptyResponse fromJson(const QJsonObject &object);
    };
    // The body of the session code exchange, which the account manager posts itself.
    struct ExchangeBody {
        QString app_slug;
        QString code;
        std::optional<QString> code_verifier;
        std::optional<QString> redirect_uri;
        std::optional<QString> client_version;
        std::optional<QString> install_id;
        QJsonObject toJson() const;
    };

    static inline const QString refreshPath = QStringLiteral("/api/app-sessions/refresh");
    static inline const QString revokePath = QStringLiteral("/api/sessions/revoke");
    static inline const QString appleAuthcodePath = QStringLiteral("/api/integrations/apple/authcode");
    static inline const QString exchangePath = QStringLiteral("/api/app-sessions/exchange");

    // A session closer to its end than this is refreshed before a request.
    static constexpr qint64 proactiveRefreshWindowSeconds = 172800;

    // Without a throttle the client makes its own with the default options, the
    // configuration's logger, the system clock and the default sleep.
    static std::shared_ptr<AuthClient> create(OrvalenConfig config, std::shared_ptr<DPoPSigner> dpopSigner,
                                              std::shared_ptr<IdentityThrottle> throttle = nullptr);
    AuthClient(Tag, OrvalenConfig config, std::shared_ptr<DPoPSigner> dpopSigner,
               std::shared_ptr<IdentityThrottle> throttle);

    // Hooks, set once by the account manager right after creating the client.
    std::function<void(const QList<OrvalenDeprecationNotice> &)> onDeprecationNotice;
    std::function<std::optional<StoredSession>()> currentSessionProvider;
    std::function<void(const QString &usedRefreshToken, const OasResponse &)> onSessionRefreshed;

    // One request through the throttle: the answer, real or the throttle's refusal.
    // Throws networkUnavailable (no answer), malformedResponse("response"),
    // CancellationError, or what the throttle throws.
    QCoro::Task<HTTPResponse> perform(QUrl url, QString method, std::optional<QByteArray> bodyData,
                                      std::optional<QString> oas, QString endpoint, IdentityRequestClass requestClass,
                                      CancellationToken cancel = {});

    // `path` against the identity URL, with a refresh before it when the stored
    // session is about to expire and one refresh and repeat after a 401. Runs the
    // deprecation check; the caller applies mapStatusError to the answer.
    QCoro::Task<HTTPResponse> performWithAuthRecovery(QString path, QString method, std::optional<QByteArray> bodyData,
                                                      std::optional<QString> oas, bool allowAuthRecovery,
                                                      IdentityRequestClass requestClass, CancellationToken cancel = {});

    // Returns for 2xx; else throws clientKilled (426), sessionExpired (401) or serverError.
    void mapStatusError(const HTTPResponse &http, const QString &endpoint) const;
    // Hands the answer's notices to the hook; throws clientKilled for a 426 and
    // requiresUpgrade when a client notice asks for a newer version than ours.
    void handleDeprecationHeaders(const HTTPResponse &response, const QString &endpoint) const;

    // Session endpoints.
    QCoro::Task<OasResponse> refresh(QString refreshToken);
    // The refresh through the single-flight refresher, with onSessionRefreshed.
    QCoro::Task<OasResponse> refreshSerialized(QString refreshToken);
    QCoro::Task<void> revokeSession(QString oas);
    QCoro::Task<AppleAuthcodeResponse> exchangeAppleAuthCode(QString authorizationCode,
                                                             std::optional<QString> identityToken,
                                                             std::optional<QString> installID);

    // The request the send step puts on the wire (a fresh DPoP proof each time).
    HTTPRequest buildRequest(const QUrl &url, const QString &method, const std::optional<QByteArray> &bodyData,
                             const std::optional<QString> &oas) const;
    // `path` resolved against the identity URL; nothing when no absolute URL results.
    std::optional<QUrl> resolve(const QString &path) const;

    const OrvalenConfig &config() const { return m_config; }
    const std::shared_ptr<IdentityThrottle> &throttle() const { return m_throttle; }
    const std::shared_ptr<TokenRefresher> &tokenRefresher() const { return m_tokenRefresher; }

private:
    static QCoro::Task<HTTPResponse> sendStep(std::shared_ptr<AuthClient> client, QUrl url, QString method,
                                              std::optional<QByteArray> bodyData, std::optional<QString> oas,
                                              QString endpoint, CancellationToken cancel);
    static QCoro::Task<OasResponse> refreshFor(std::weak_ptr<AuthClient> client, QString refreshToken);
    // perform(), with CancellationError turned into networkUnavailable.
    QCoro::Task<HTTPResponse> performOrUnavailable(QUrl url, QString method, std::optional<QByteArray> bodyData,
                                                   std::optional<QString> oas, QString endpoint,
                                                   IdentityRequestClass requestClass, CancellationToken cancel);
    // A refresh whose failure is dropped: the new session token, or nothing.
    QCoro::Task<std::optional<QString>> tryRefresh(QString refreshToken);
    void log(OrvalenLogLevel level, const QString &event, const OrvalenLogFields &fields) const;

    OrvalenConfig m_config;
    std::shared_ptr<DPoPSigner> m_dpopSigner;
    std::shared_ptr<IdentityThrottle> m_throttle;
    std::shared_ptr<TokenRefresher> m_tokenRefresher;
};
