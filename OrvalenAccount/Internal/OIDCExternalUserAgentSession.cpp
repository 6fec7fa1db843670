#include "OrvalenAccount/Internal/OIDCExternalUserAgentSession.h"

#include "OrvalenAccount/Internal/OIDCExternalUserAgent.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QUrlQuery>

#include <utility>

OIDCExternalUserAgentSession::OIDCExternalUserAgentSession(OIDCAuthorizationRequest request,
                                                           std::shared_ptr<OIDCExternalUserAgent> agent,
                                                           OIDCAuthorizationCallback callback)
    : m_request(std::move(request)), m_agent(std::move(agent)), m_callback(std::move(callback))
{
}

// A session dropped while open ends silently: whoever dropped it no longer
// waits for it, and a callback run from a destructor could reach a half-gone owner.
OIDCExternalUserAgentSession::~OIDCExternalUserAgentSession() = default;

void OIDCExternalUserAgentSession::present()
{
    if (m_agent && m_agent->presentExternalUserAgentRequest(m_request.externalUserAgentRequestURL()))
        return;
    // Report on a later turn of the event loop: whoever presented has not yet
    // stored this session, and must not find an ended one registered afterwards.
    std::weak_ptr<OIDCExternalUserAgentSession> weak = weak_from_this();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak]() {
            if (auto session = weak.lock())
                session->finish(std::nullopt, OIDCError::general(OIDCGeneralErrorCode::browserOpenError));
        },
        Qt::QueuedConnection);
}

bool OIDCExternalUserAgentSession::matchesRedirect(const QUrl &url, const QUrl &redirect)
{
    if (!url.isValid() || !redirect.isValid())
        return false;
    return url.scheme().compare(redirect.scheme(), Qt::CaseInsensitive) == 0
        && url.host().compare(redirect.host(), Qt::CaseInsensitive) == 0
        && url.port(-1) == redirect.port(-1)
        && url.path(QUrl::FullyEncoded) == redirect.path(QUrl::FullyEncoded);
}

bool OIDCExternalUserAgentSession::resumeExternalUserAgentFlowWithURL(const QUrl &url)
{
    if (m_finished || !matchesRedirect(url, m_request.redirectURL()))
        return false;

    const QUrlQuery query(url);
    // RFC 6749 §4.1.2 gives each of these once; with two, which one the check below
    // saw and which one is used could differ.
    if (query.allQueryItemValues(QStringLiteral("state")).size() > 1
        || query.allQueryItemValues(QStringLiteral("code")).size() > 1) {
        finish(std::nullopt, OIDCError::general(OIDCGeneralErrorCode::invalidResponse));
        return true;
    }
    // The state ties this redirect to this request (RFC 6749 §10.12): without the
    // match nothing else in the URL is believed, not even an error.
    const QString state = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
    if (!query.hasQueryItem(QStringLiteral("state")) || state != m_request.state()) {
        finish(std::nullopt, OIDCError::general(OIDCGeneralErrorCode::stateMismatch));
        return true;
    }
    if (query.hasQueryItem(QStringLiteral("error"))) {
        finish(std::nullopt,
               OIDCError::fromOAuthErrorWord(query.queryItemValue(QStringLiteral("error"), QUrl::FullyDecoded)));
        return true;
    }

    OIDCAuthorizationResponse response;
    response.state = state;
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("code"))
            response.authorizationCode = value;
        else if (key != QLatin1String("state"))
            response.additionalParameters.insert(key, value);
    }
    finish(std::move(response), std::nullopt);
    return true;
}

void OIDCExternalUserAgentSession::cancel()
{
    finish(std::nullopt, OIDCError::general(OIDCGeneralErrorCode::userCanceledAuthorizationFlow));
}

void OIDCExternalUserAgentSession::finish(std::optional<OIDCAuthorizationResponse> response,
                                          std::optional<OIDCError> error)
{
    if (m_finished)
        return;
    m_finished = true;
    // The callback may drop the last other reference to this session.
    const std::shared_ptr<OIDCExternalUserAgentSession> keepAlive = weak_from_this().lock();
    if (m_agent)
        m_agent->dismissExternalUserAgent();
    OIDCAuthorizationCallback callback = std::exchange(m_callback, nullptr);
    if (!callback)
        return;
    try {
        callback(std::move(response), std::move(error));
    } catch (...) {
        // The callback's owner reports its own failures; none may reach the event loop.
    }
}
