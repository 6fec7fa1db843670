#include "OrvalenAccount/Internal/OIDCAuthorizationService.h"

#include "OrvalenAccount/Internal/HTTPTransport.h"
#include "OrvalenAccount/Internal/OIDCError.h"

#include <QCoro/QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include <memory>

namespace OIDCAuthorizationService {

QCoro::Task<OIDCServiceConfiguration> discoverServiceConfigurationForIssuer(QUrl issuer,
                                                                            QNetworkAccessManager *network)
{
    if (!issuer.isValid() || issuer.isRelative())
        throw OIDCError::general(OIDCGeneralErrorCode::networkError);
    // The same rule as for identity requests: no manager given means the shared one.
    if (!network)
        network = HTTPTransport::sharedManager();

    QNetworkRequest request(OIDCServiceConfiguration::discoveryURL(issuer));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(static_cast<int>(std::chrono::milliseconds(discoveryTimeout).count()));
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(network->get(request),
                                                                    [](QNetworkReply *r) { r->deleteLater(); });
    co_await qCoro(reply.get()).waitForFinished();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        throw OIDCError::general(OIDCGeneralErrorCode::networkError);
    const int code = status.toInt();
    if (code < 200 || code > 299)
        throw OIDCError::general(OIDCGeneralErrorCode::serverError);
    co_return OIDCServiceConfiguration::fromDiscoveryDocument(reply->readAll());
}

std::shared_ptr<OIDCExternalUserAgentSession> presentAuthorizationRequest(OIDCAuthorizationRequest request,
                                                                          std::shared_ptr<OIDCExternalUserAgent> agent,
                                                                          OIDCAuthorizationCallback callback)
{
    auto session = std::make_shared<OIDCExternalUserAgentSession>(std::move(request), std::move(agent),
                                                                  std::move(callback));
    session->present();
    return session;
}

} // namespace OIDCAuthorizationService
