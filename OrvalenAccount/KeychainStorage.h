#pragma once

#include "OrvalenAccount/OrvalenAccountDataStorage.h"
#include "Platform/Keychain.h"

#include <QString>

#include <memory>
#include <optional>

// The account layer's generic-password items of one app slug: service
// "com.orvalen.account." + slug, account = the key. Immutable; any thread may use it.
// Nothing is cached: every read sees the keychain's current item.
class KeychainStorage final : public OrvalenAccountDataStorage {
public:
    // The item names the account layer declares.
    struct Keys {
        static inline const QString session = QStringLiteral("orvalen_session");
        // Reserved: nothing writes these two; the local-data reset deletes them.
        static inline const QString dpopJwkThumbprint = QStringLiteral("orvalen_dpop_jkt");
        static inline const QString oidcAuthState = QStringLiteral("orvalen_oidc_authstate");
    };

    static QString serviceFor(const QString &appSlug);

    // `keychain` null: Keychain::system().
    explicit KeychainStorage(const QString &appSlug, std::optional<QString> accessGroup = std::nullopt,
                             std::shared_ptr<KeychainBackend> keychain = nullptr);

    const QString &service() const { return m_service; }
    const std::optional<QString> &accessGroup() const { return m_accessGroup; }

    // Update in place, else add. Throws OrvalenError::keychainFailure with the failing status;
    // a failed write leaves the previous item as it was.
    void setData(const QByteArray &data, const QString &key) override;
    // Nothing for a missing item and for every other failure.
    std::optional<QByteArray> getData(const QString &key) const override;
    // A missing item counts as done; any other failure is dropped.
    void deleteData(const QString &key) override;
    // Deletes the item and returns the keychain's status: success, itemNotFound, or the
    // failure that left the item in place.
    std::int32_t deleteItem(const QString &key);

private:
    KeychainItemQuery baseQuery(const QString &account) const;
    // Throws OrvalenError::keychainFailure for any status but success, a missing item included.
    QByteArray get(const QString &account) const;

    QString m_service;
    std::optional<QString> m_accessGroup;
    std::shared_ptr<KeychainBackend> m_keychain;
};
