#pragma once

#include <QUrl>

// Something outside the application that shows the authorization page to the
// person and later comes back through the redirect URI (RFC 8252 §4.1).
class OIDCExternalUserAgent {
public:
    virtual ~OIDCExternalUserAgent() = default;
    // Shows the page; false when it could not be shown at all.
    virtual bool presentExternalUserAgentRequest(const QUrl &requestURL) = 0;
    // The flow is over (answered or cancelled): take the page away where that is possible.
    virtual void dismissExternalUserAgent() {}
};
