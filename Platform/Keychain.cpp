#include "Platform/Keychain.h"

#include "Platform/PrefetchedKeychain.h"
#include "Platform/SecretServiceKeychain.h"

#include <utility>

QString KeychainStatus::describe(std::int32_t status)
{
    switch (status) {
    case success:
        return QStringLiteral("No error");
    case itemNotFound:
        return QStringLiteral("The item could not be found in the keychain");
    case duplicateItem:
        return QStringLiteral("The item already exists in the keychain");
    case notAvailable:
        return QStringLiteral("No keychain is available: no Secret Service is running on the session bus");
    case interactionNotAllowed:
        return QStringLiteral("The keyring is locked and cannot be unlocked without asking the user");
    case userCanceled:
        return QStringLiteral("The user dismissed the keyring unlock prompt");
    case param:
        return QStringLiteral("The keychain request is malformed");
    case internalComponent:
        return QStringLiteral("The Secret Service failed");
    default:
        return QStringLiteral("Unknown keychain status %1").arg(status);
    }
}

KeychainItemQuery KeychainItemQuery::genericPassword(QString service, QString account,
                                                     std::optional<QString> accessGroup)
{
    KeychainItemQuery query;
    query.kind = Kind::genericPassword;
    query.service = std::move(service);
    query.account = std::move(account);
    query.accessGroup = std::move(accessGroup);
    return query;
}

KeychainItemQuery KeychainItemQuery::key(QByteArray applicationTag)
{
    KeychainItemQuery query;
    query.kind = Kind::key;
    query.applicationTag = std::move(applicationTag);
    return query;
}

QList<KeychainBackend::Read> KeychainBackend::copyEach(const QList<KeychainItemQuery> &queries)
{
    QList<Read> reads;
    reads.reserve(queries.size());
    for (const KeychainItemQuery &query : queries) {
        Read read;
        read.status = copyMatching(query, &read.data);
        reads.append(std::move(read));
    }
    return reads;
}

namespace {

const std::shared_ptr<SecretServiceKeychain> &secretService()
{
    // Created on first use, so a process that never touches the keychain never talks
    // to the Secret Service.
    static const auto service = std::make_shared<SecretServiceKeychain>();
    return service;
}

const std::shared_ptr<PrefetchedKeychain> &systemKeychain()
{
    static const auto keychain = std::make_shared<PrefetchedKeychain>(secretService());
    return keychain;
}

} // namespace

std::shared_ptr<KeychainBackend> Keychain::system()
{
    return systemKeychain();
}

void Keychain::open()
{
    secretService()->open();
}

void Keychain::prefetch(const QList<KeychainItemQuery> &queries)
{
    systemKeychain()->prefetch(queries);
}

void Keychain::forgetPrefetched()
{
    systemKeychain()->forgetPrefetched();
}
