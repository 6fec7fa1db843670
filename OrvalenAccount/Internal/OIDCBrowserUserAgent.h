#pragma once

#include "OrvalenAccount/Internal/OIDCExternalUserAgent.h"

// The person's default browser, reached through the application's URL opener.
// A browser tab cannot be closed from here, so dismissing does nothing.
class OIDCBrowserUserAgent final : public OIDCExternalUserAgent {
public:
    bool presentExternalUserAgentRequest(const QUrl &requestURL) override;
};
