#pragma once

#include <QString>
#include <QUrl>

// The application's fixed addresses and version. Service addresses are deployment
// values (see Platform/Deployment.h): read on each call, so an override in the
// environment applies without a rebuild.
namespace Constants {

// The application's short version; "0.1.0" when the build sets none.
QString version();

namespace Auth {
QUrl authorityURL(); // the OAuth authority
QUrl identityURL();  // the identity service
QUrl redirectURI();  // "vantle://auth/callback"
} // namespace Auth

namespace API {
QUrl baseURL();  // the ledger service
QUrl auditURL(); // baseURL() + "/audit"
} // namespace API

} // namespace Constants
