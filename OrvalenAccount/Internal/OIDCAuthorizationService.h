#pragma once

#include "OrvalenAccount/Internal/OIDCExternalUserAgentSession.h"
#include "OrvalenAccount/Internal/OIDCServiceConfiguration.h"

#include <QCoro/QCoroTask>
#include <QUrl>

#include <chrono>
#include <memory>

class QNetworkAccessManager;

// Discovery and presentation of authorization requests.
namespace OIDCAuthorizationService {

inline constexpr std::chrono::seconds discoveryTimeout{30};

// GETs the issuer's "/.well-known/openid-configuration" through `network` (the
// shared manager when null) and reads it; throws OIDCError: networkError (no answer),
// serverError (a non-2xx answer), invalidDiscoveryDocument.
QCoro::Task<OIDCServiceConfiguration> discoverServiceConfigurationForIssuer(QUrl issuer,
                                                                            QNetworkAccessManager *network);

// Opens the request in `agent` and returns the session that waits for the
// redirect. The callback never runs before this returns.
std::shared_ptr<OIDCExternalUserAgentSession> presentAuthorizationRequest(OIDCAuthorizationRequest request,
                                                                          std::shared_ptr<OIDCExternalUserAgent> agent,
                                                                          OIDCAuthorizationCallback callback);

} // namespace OIDCAuthorizationService
