#include "Vantle/Utilities/Constants.h"

#include "Platform/Deployment.h"

namespace Constants {

QString version() { return Deployment::buildVersion(); }

namespace Auth {
QUrl authorityURL() { return Deployment::authorityURL(); }
QUrl identityURL() { return Deployment::identityURL(); }
QUrl redirectURI() { return QUrl(QStringLiteral("vantle://auth/callback")); }
} // namespace Auth

namespace API {
QUrl baseURL() { return Deployment::ledgerURL(); }

QUrl auditURL()
{
    // Deployment addresses carry no trailing slash, so the path can simply be extended.
    QUrl url = baseURL();
    url.setPath(url.path() + QStringLiteral("/audit"));
    return url;
}
} // namespace API

} // namespace Constants
