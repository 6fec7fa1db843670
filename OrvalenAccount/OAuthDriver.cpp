#include "OrvalenAccount/OAuthDriver.h"

#include "OrvalenAccount/Internal/OIDCAuthorizationRequest.h"
#include "OrvalenAccount/Internal/OIDCAuthorizationService.h"
#include "OrvalenAccount/Internal/OIDCBrowserUserAgent.h"
#include "OrvalenAccount/Internal/OIDCError.h"
#include "OrvalenAccount/Internal/OIDCExternalUserAgentSession.h"
#include "OrvalenAccount/Internal/OneShotContinuation.h"

#include <QPointer>
#include <QTimer>

#include <utility>

namespace {
void logEvent(const OrvalenLogger &logger, OrvalenLogLevel level, const QString &event,
              const OrvalenLogFields &fields)
{
    if (!logger)
        return;
    try {
        logger(level, event, fields);
    } catch (...) {
        // A failing log sink must not end a sign-in.
    }
}
} // namespace

QString toRaw(OAuthDriver::ProviderHint hint)
{
    switch (hint) {
    case OAuthDriver::ProviderHint::apple: return QStringLiteral("apple");
    case OAuthDriver::ProviderHint::google: return QStringLiteral("google");
    case OAuthDriver::ProviderHint::email: return QStringLiteral("email");
    }
    return {};
}

template <>
std::optional<OAuthDriver::ProviderHint> fromRaw<OAuthDriver::ProviderHint>(const QString &raw)
{
    for (auto hint : {OAuthDriver::ProviderHint::apple, OAuthDriver::ProviderHint::google,
                      OAuthDriver::ProviderHint::email}) {
        if (toRaw(hint) == raw)
            return hint;
    }
    return std::nullopt;
}

OAuthDriver::OAuthDriver(OrvalenConfig config, QObject *parent)
    : QObject(parent), m_config(std::move(config)), m_logger(m_config.logger)
{
}

OAuthDriver::~OAuthDriver()
{
    // Taken out first, so that the session's callback finds nothing of its own to clear.
    if (auto session = std::exchange(m_currentSession, nullptr))
        session->cancel();
}

QCoro::Task<OIDCServiceConfiguration> OAuthDriver::discoverConfiguration()
{
    const QUrl issuer = m_config.authorityURL;
    QNetworkAccessManager *network = m_config.urlSession;
    const OrvalenLogger logger = m_logger;
    try {
        co_return co_await OIDCAuthorizationService::discoverServiceConfigurationForIssuer(issuer, network);
    } catch (const OIDCError &error) {
        logEvent(logger, OrvalenLogLevel::warning, QStringLiteral("oauth_discovery_failed"),
                 oauthFailureFields(&error, QStringLiteral("transport"), std::nullopt));
        throw map(error);
    }
}

QMap<QString, QString> OAuthDriver::authorizationAdditionalParameters(const OrvalenConfig &config,
                                                                      std::optional<ProviderHint> provider)
{
    QMap<QString, QString> parameters{
        {QStringLiteral("orvalen_app_slug"), config.appSlug},
        {QStringLiteral("orvalen_client_version"), config.clientVersion},
        {QStringLiteral("orvalen_lib_version"), config.libVersion},
    };
    if (provider) {
        parameters.insert(QStringLiteral("provider"), toRaw(*provider));
        if (*provider == ProviderHint::google)
            parameters.insert(QStringLiteral("prompt"), QStringLiteral("select_account"));
    }
    return parameters;
}

OIDCAuthorizationRequest OAuthDriver::makeAuthRequest(const OIDCServiceConfiguration &configuration,
                                                      std::optional<ProviderHint> provider) const
{
    return OIDCAuthorizationRequest(configuration, m_config.clientID, m_config.scopes, m_config.redirectURI,
                                    QStringLiteral("code"), authorizationAdditionalParameters(m_config, provider));
}

OrvalenError OAuthDriver::map(const OIDCError &error)
{
    if (error.domain() == OIDGeneralErrorDomain && error.code() == OIDCGeneralErrorCode::userCanceledAuthorizationFlow)
        return OrvalenError::authorizationCancelled();
    return OrvalenError::authorizationFailed(error.localizedDescription());
}

OrvalenLogFields OAuthDriver::oauthFailureFields(const OIDCError *error, const QString &classification,
                                                 std::optional<ProviderHint> provider)
{
    OrvalenLogFields fields{{QStringLiteral("class"), classification}};
    if (provider)
        fields.insert(QStringLiteral("provider"), toRaw(*provider));
    if (error) {
        fields.insert(QStringLiteral("error_domain"), error->domain());
        fields.insert(QStringLiteral("error_code"), QString::number(error->code()));
    }
    return fields;
}

QCoro::Task<OAuthAuthorizationResult> OAuthDriver::authorize(QWindow *window, std::optional<ProviderHint> provider)
{
    Q_UNUSED(window) // nothing to attach a web view to; the browser shows the page
    return run(Presentation::inApp, provider);
}

QCoro::Task<OAuthAuthorizationResult> OAuthDriver::authorizeViaSystemBrowser(std::optional<ProviderHint> provider)
{
    return run(Presentation::systemBrowser, provider);
}

QCoro::Task<OAuthAuthorizationResult> OAuthDriver::run(Presentation presentation, std::optional<ProviderHint> provider)
{
    QPointer<OAuthDriver> self(this);
    const quint64 discoveryEpoch = m_discoveryEpoch;
    const OIDCServiceConfiguration configuration = co_await discoverConfiguration();
    if (!self)
        throw OrvalenError::authorizationCancelled();
    if (m_discoveryEpoch != discoveryEpoch) {
        logEvent(m_logger, OrvalenLogLevel::info, QStringLiteral("oauth_authorize_failed"),
                 oauthFailureFields(nullptr, QStringLiteral("cancelled"), provider));
        throw OrvalenError::authorizationCancelled();
    }

    std::optional<OIDCAuthorizationRequest> request;
    try {
        request.emplace(makeAuthRequest(configuration, provider));
    } catch (const OIDCError &error) {
        logEvent(m_logger, OrvalenLogLevel::warning, QStringLiteral("oauth_authorize_failed"),
                 oauthFailureFields(&error, QStringLiteral("auth"), provider));
        throw map(error);
    }

    if (presentation == Presentation::systemBrowser && m_currentSession) {
        // A new sign-in takes over from an abandoned one. The cancel reaches the older
        // flow's callback at once, which clears the session it registered.
        m_currentSession->cancel();
        if (m_currentSession)
            throw OrvalenError::authorizationFailed(QStringLiteral("sign_in_already_in_progress"));
    }

    OneShotContinuation<OAuthAuthorizationResult> cont;
    // Filled once the session exists; the callback never runs before that.
    auto mine = std::make_shared<const OIDCExternalUserAgentSession *>(nullptr);
    QPointer<QTimer> timeLimit;
    if (presentation == Presentation::systemBrowser) {
        timeLimit = new QTimer(this);
        timeLimit->setObjectName(QLatin1String(browserTimeLimitName));
        timeLimit->setSingleShot(true);
        timeLimit->setInterval(m_browserTimeout);
    }

    const OIDCAuthorizationRequest sent = *request;
    const OrvalenLogger logger = m_logger;
    auto callback = [self, mine, timeLimit, cont, sent, provider, logger](
                        std::optional<OIDCAuthorizationResponse> response, std::optional<OIDCError> error) mutable {
        if (timeLimit) {
            timeLimit->stop();
            timeLimit->deleteLater();
        }
        // Only this flow's own session: a newer flow may have registered its own meanwhile.
        if (self && self->m_currentSession.get() == *mine)
            self->m_currentSession.reset();
        finishAuthorize(cont, sent, response, error, provider, logger);
    };

    std::shared_ptr<OIDCExternalUserAgentSession> session = OIDCAuthorizationService::presentAuthorizationRequest(
        std::move(*request), std::make_shared<OIDCBrowserUserAgent>(), std::move(callback));
    *mine = session.get();
    const std::shared_ptr<OIDCExternalUserAgentSession> replaced = std::exchange(m_currentSession, session);
    if (replaced) {
        // Only an in-app flow gets here with a flow still pending. The replaced flow can
        // no longer be reached by a redirect (resume goes to the newest one), and with
        // its last reference gone it would end silently, leaving its caller waiting for
        // good: end it as cancelled. Its callback leaves the newer session in place.
        replaced->cancel();
    }

    if (timeLimit) {
        // The limit ends this flow only, even when a later flow has taken its place as
        // the current session; it holds the session so that such a flow still ends.
        // The callback deletes the timer, which lets go of the session.
        connect(timeLimit.data(), &QTimer::timeout, this, [session]() { session->cancel(); });
        timeLimit->start();
    }

    session.reset();
    co_return co_await cont;
}

void OAuthDriver::finishAuthorize(OneShotContinuation<OAuthAuthorizationResult> &cont,
                                  const OIDCAuthorizationRequest &request,
                                  const std::optional<OIDCAuthorizationResponse> &response,
                                  const std::optional<OIDCError> &error, std::optional<ProviderHint> provider,
                                  const OrvalenLogger &logger)
{
    if (error) {
        const OrvalenError mapped = map(*error);
        const bool cancelled = mapped.is<OrvalenError::AuthorizationCancelled>();
        logEvent(logger, cancelled ? OrvalenLogLevel::info : OrvalenLogLevel::warning,
                 QStringLiteral("oauth_authorize_failed"),
                 oauthFailureFields(&*error, cancelled ? QStringLiteral("cancelled") : QStringLiteral("auth"), provider));
        cont.resumeThrowing(mapped);
        return;
    }
    if (!response || !response->authorizationCode || response->authorizationCode->isEmpty()) {
        logEvent(logger, OrvalenLogLevel::warning, QStringLiteral("oauth_authorize_failed"),
                 oauthFailureFields(nullptr, QStringLiteral("auth"), provider));
        cont.resumeThrowing(OrvalenError::authorizationFailed(QStringLiteral("empty_response")));
        return;
    }
    cont.resume(OAuthAuthorizationResult{*response->authorizationCode, request.codeVerifier(), response->state});
}

bool OAuthDriver::resume(const QUrl &url)
{
    // Held for the call: a taken URL ends the flow, whose callback clears m_currentSession.
    const std::shared_ptr<OIDCExternalUserAgentSession> session = m_currentSession;
    if (!session)
        return false;
    return session->resumeExternalUserAgentFlowWithURL(url);
}

bool OAuthDriver::cancelInFlight()
{
    const std::shared_ptr<OIDCExternalUserAgentSession> session = m_currentSession;
    if (!session)
        return false;
    session->cancel();
    return true;
}
