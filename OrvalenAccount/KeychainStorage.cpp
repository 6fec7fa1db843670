#include "OrvalenAccount/KeychainStorage.h"

#include "OrvalenAccount/OrvalenError.h"

QString KeychainStorage::serviceFor(const QString &appSlug)
{
    return QStringLiteral("com.orvalen.account.") + appSlug;
}

KeychainStorage::KeychainStorage(const QString &appSlug, std::optional<QString> accessGroup,
                                 std::shared_ptr<KeychainBackend> keychain)
    : m_service(serviceFor(appSlug))
    , m_accessGroup(std::move(accessGroup))
    , m_keychain(keychain ? std::move(keychain) : Keychain::system())
{
}

KeychainItemQuery KeychainStorage::baseQuery(const QString &account) const
{
    return KeychainItemQuery::genericPassword(m_service, account, m_accessGroup);
}

void KeychainStorage::setData(const QByteArray &data, const QString &key)
{
    const KeychainItemQuery query = baseQuery(key);
    const std::int32_t updated = m_keychain->update(query, data);
    if (updated == KeychainStatus::success)
        return;
    if (updated != KeychainStatus::itemNotFound)
        throw OrvalenError::keychainFailure(updated);
    // Two writers racing on a missing item both get here; the second add's duplicate
    // status is reported like any other failure.
    const std::int32_t added = m_keychain->add(query, data);
    if (added != KeychainStatus::success)
        throw OrvalenError::keychainFailure(added);
}

QByteArray KeychainStorage::get(const QString &account) const
{
    QByteArray data;
    const std::int32_t status = m_keychain->copyMatching(baseQuery(account), &data);
    if (status != KeychainStatus::success)
        throw OrvalenError::keychainFailure(status);
    return data;
}

std::optional<QByteArray> KeychainStorage::getData(const QString &key) const
{
    try {
        return get(key);
    } catch (const OrvalenError &) {
        return std::nullopt;
    }
}

void KeychainStorage::deleteData(const QString &key)
{
    // Success and a missing item are both done; anything else leaves the item where it
    // is, which the caller (the reset) accepts; a session ends through the account manager,
    // which makes sure it never comes back.
    deleteItem(key);
}

std::int32_t KeychainStorage::deleteItem(const QString &key)
{
    return m_keychain->remove(baseQuery(key));
}
