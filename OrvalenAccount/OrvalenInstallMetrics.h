#pragma once

#include "Platform/Keychain.h"

#include <QString>

#include <memory>

// This installation's identifier per app slug, kept in the account layer's keychain
// service ("com.orvalen.account." + slug) as the item "orvalen_install_id".
namespace OrvalenInstallMetrics {

inline const QString installIDKey = QStringLiteral("orvalen_install_id");

// The stored identifier; on first use a new UUID string is stored and returned. When the
// keychain cannot be read (locked, no Secret Service) a new identifier is returned for this
// call without touching what may be stored. Never fails.
QString installID(const QString &appSlug);
QString installID(const QString &appSlug, const std::shared_ptr<KeychainBackend> &keychain);

// The keychain installID(appSlug) and OrvalenConfig::withAutoInstallID() use: the system
// keychain unless replaced (tests give an in-memory one; null restores the system one).
std::shared_ptr<KeychainBackend> keychain();
void setKeychain(std::shared_ptr<KeychainBackend> keychain);

} // namespace OrvalenInstallMetrics
