#pragma once

#include <QString>
#include <QVariantMap>

// The update configuration of this build, in the form of an information dictionary:
// "SUFeedURL" (the feed address) and "SUPublicEDKey" (base64 Ed25519 public key that
// signs the feed's releases). Both are fixed when the program is built (CMake cache
// values VANTLE_UPDATE_FEED_URL and VANTLE_UPDATE_PUBLIC_KEY) and can be overridden at
// run time by environment variables of the same names, so tests and the local stack can
// point the updater at a loopback feed signed with a test key. A build without a real
// key carries a placeholder beginning "REPLACE_", which turns updates off.
namespace UpdaterConfiguration {

inline const QString feedURLKey = QStringLiteral("SUFeedURL");
inline const QString publicKeyKey = QStringLiteral("SUPublicEDKey");

// Both keys, always present as strings (possibly empty).
QVariantMap infoDictionary();

} // namespace UpdaterConfiguration
