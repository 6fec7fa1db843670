#pragma once

#include "OrvalenAccount/OrvalenConfig.h"
#include "OrvalenAccount/OrvalenError.h"
#include "Platform/RawEnum.h"

#include <QCoro/QCoroTask>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

class OIDCAuthorizationRequest;
class OIDCError;
class OIDCExternalUserAgentSession;
struct OIDCAuthorizationResponse;
struct OIDCServiceConfiguration;
template <typename T>
class OneShotContinuation;
class QWindow;

// What a finished authorization hands to the account manager, which exchanges
// the code itself.
struct OAuthAuthorizationResult {
    QString authorizationCode;
    std::optional<QString> codeVerifier;
    std::optional<QString> state;
    bool operator==(const OAuthAuthorizationResult &) const = default;
};

// Runs the interactive half of the authorization-code flow with PKCE against the
// OpenID Connect authority: discovery, the request with the account layer's
// parameters, presentation in the browser, and the wait for the redirect.
// Lives on the GUI thread, as long as the account manager that owns it.
class OAuthDriver final : public QObject {
    Q_OBJECT
public:
    // The provider chosen on the sign-in screen, passed to the authority as a hint.
    enum class ProviderHint { apple, google, email };

    static constexpr std::chrono::milliseconds defaultBrowserTimeout = std::chrono::seconds(300);

    explicit OAuthDriver(OrvalenConfig config, QObject *parent = nullptr);
    // Cancels a pending flow, so that its waiting call ends as cancelled.
    ~OAuthDriver() override;

    // The in-app flow. There is no embedded web view here, so the request opens in
    // the browser as well; the in-app rules still hold: no time limit, and a new
    // request takes the place of a pending one. The replaced flow, which no redirect
    // can reach any more, ends as cancelled instead of waiting for good.
    // Throws OrvalenError.
    QCoro::Task<OAuthAuthorizationResult> authorize(QWindow *window, std::optional<ProviderHint> provider);
    // The browser flow: ends with the redirect handed to resume(), a cancel, or the
    // time limit (300 seconds unless set otherwise). A pending flow is cancelled
    // first. Throws OrvalenError.
    QCoro::Task<OAuthAuthorizationResult> authorizeViaSystemBrowser(std::optional<ProviderHint> provider);

    // Hands a redirect to the pending flow; false with none pending or when the
    // flow does not take the URL.
    bool resume(const QUrl &url);
    // Cancels the pending flow (its waiting call ends as cancelled); false with none.
    // The pending session is cleared by its own callback, not here.
    bool cancelInFlight();
    // Ends, as cancelled, every flow that is still discovering the authority's
    // configuration, before it opens anything. cancelInFlight() cannot reach such a
    // flow: it has no session yet. Flows started afterwards are not affected.
    void cancelDiscovery() { ++m_discoveryEpoch; }

    // The pending flow, if any.
    std::shared_ptr<OIDCExternalUserAgentSession> currentSession() const { return m_currentSession; }

    // The browser flow's time limit; tests shorten it.
    void setBrowserTimeout(std::chrono::milliseconds timeout) { m_browserTimeout = timeout; }
    std::chrono::milliseconds browserTimeout() const { return m_browserTimeout; }
    // Each pending browser flow's time limit is a timer of this name among the driver's
    // children: a test sees whether one still runs, and can let it fall after a step of
    // its own instead of racing it.
    static constexpr const char *browserTimeLimitName = "browserTimeLimit";

    // Building blocks, reachable for tests.
    QCoro::Task<OIDCServiceConfiguration> discoverConfiguration();
    OIDCAuthorizationRequest makeAuthRequest(const OIDCServiceConfiguration &configuration,
                                             std::optional<ProviderHint> provider) const;
    static QMap<QString, QString> authorizationAdditionalParameters(const OrvalenConfig &config,
                                                                    std::optional<ProviderHint> provider);
    static OrvalenError map(const OIDCError &error);
    static OrvalenLogFields oauthFailureFields(const OIDCError *error, const QString &classification,
                                               std::optional<ProviderHint> provider);

private:
    enum class Presentation { inApp, systemBrowser };
    QCoro::Task<OAuthAuthorizationResult> run(Presentation presentation, std::optional<ProviderHint> provider);
    static void finishAuthorize(OneShotContinuation<OAuthAuthorizationResult> &cont,
                                const OIDCAuthorizationRequest &request,
                                const std::optional<OIDCAuthorizationResponse> &response,
                                const std::optional<OIDCError> &error, std::optional<ProviderHint> provider,
                                const OrvalenLogger &logger);

    OrvalenConfig m_config;
    OrvalenLogger m_logger;
    std::shared_ptr<OIDCExternalUserAgentSession> m_currentSession;
    std::chrono::milliseconds m_browserTimeout = defaultBrowserTimeout;
    quint64 m_discoveryEpoch = 0;
};

QString toRaw(OAuthDriver::ProviderHint hint);
template <>
std::optional<OAuthDriver::ProviderHint> fromRaw<OAuthDriver::ProviderHint>(const QString &raw);
