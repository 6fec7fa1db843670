#pragma once

#include "Platform/Keychain.h"

#include <QString>

#include <memory>
#include <optional>

// The application's own string items in the keychain: generic passwords of the service
// "dev.orvalen.vantle", one per key. The account layer keeps its items elsewhere.
namespace KeychainHelper {

inline const QString service = QStringLiteral("dev.orvalen.vantle");

// What a read found: the keychain's status (success, itemNotFound, or the failure: a locked
// keyring, no Secret Service) and, for success, the text, absent when it is not UTF-8.
struct Read {
    std::int32_t status = KeychainStatus::itemNotFound;
    std::optional<QString> text;
};
Read read(const QString &key);
// The stored text; nothing when there is no item, it cannot be read, or it is not UTF-8.
std::optional<QString> load(const QString &key);
// Stores the text's UTF-8 bytes: updates the item when it exists, adds it when none is
// found; any other status leaves the keychain as it was. True when the text is stored.
bool save(const QString &value, const QString &key);
// Deletes the item; true when it is gone (a missing item counts as gone).
bool remove(const QString &key);

// The keychain these use: the system one unless replaced (tests give an in-memory one;
// null restores the system one).
std::shared_ptr<KeychainBackend> keychain();
void setKeychain(std::shared_ptr<KeychainBackend> keychain);

} // namespace KeychainHelper
