#include "OrvalenAccount/Internal/OIDCBrowserUserAgent.h"

#include "Platform/UrlOpener.h"

bool OIDCBrowserUserAgent::presentExternalUserAgentRequest(const QUrl &requestURL)
{
    return UrlOpener::open(requestURL);
}
