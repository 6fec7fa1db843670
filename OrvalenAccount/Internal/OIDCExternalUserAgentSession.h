#pragma once

#include "OrvalenAccount/Internal/OIDCAuthorizationRequest.h"
#include "OrvalenAccount/Internal/OIDCAuthorizationResponse.h"
#include "OrvalenAccount/Internal/OIDCError.h"

#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class OIDCExternalUserAgent;

// The outcome of one flow: a response, or an error (never both, never neither).
using OIDCAuthorizationCallback =
    std::function<void(std::optional<OIDCAuthorizationResponse> response, std::optional<OIDCError> error)>;

// One authorization request in flight in an external user agent. It ends exactly
// once, through resume with the matching redirect, or through cancel; its callback
// runs then, synchronously, and never again. Made by OIDCAuthorizationService.
class OIDCExternalUserAgentSession final : public std::enable_shared_from_this<OIDCExternalUserAgentSession> {
public:
    OIDCExternalUserAgentSession(OIDCAuthorizationRequest request, std::shared_ptr<OIDCExternalUserAgent> agent,
                                 OIDCAuthorizationCallback callback);
    ~OIDCExternalUserAgentSession();

    OIDCExternalUserAgentSession(const OIDCExternalUserAgentSession &) = delete;
    OIDCExternalUserAgentSession &operator=(const OIDCExternalUserAgentSession &) = delete;

    // True when `url` is addressed to the request's redirect URI (same scheme,
    // host, port and path) and the flow was still open: the flow then ends with
    // the response, with the authority's error, or with a state mismatch. Any
    // other URL is left alone (false) and the flow stays open.
    bool resumeExternalUserAgentFlowWithURL(const QUrl &url);
    // Ends an open flow with the user-cancelled error (-3); nothing once it ended.
    void cancel();

    bool isFinished() const { return m_finished; }
    const OIDCAuthorizationRequest &request() const { return m_request; }

    // True when `url` is addressed to `redirect`: scheme and host compared without
    // regard to case, port and path exactly.
    static bool matchesRedirect(const QUrl &url, const QUrl &redirect);

    // Opens the request in the agent; called once, by OIDCAuthorizationService.
    void present();

private:
    void finish(std::optional<OIDCAuthorizationResponse> response, std::optional<OIDCError> error);

    OIDCAuthorizationRequest m_request;
    std::shared_ptr<OIDCExternalUserAgent> m_agent;
    OIDCAuthorizationCallback m_callback;
    bool m_finished = false;
};
