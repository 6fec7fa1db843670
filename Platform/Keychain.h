#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// The keychain: generic-password items (service + account, + access group when set)
// and key items (application tag), with the status numbers callers already know.
// A query names one identity exactly: one without an access group does not match an
// item that has one, and a key item never matches a password query.
namespace KeychainStatus {
constexpr std::int32_t success = 0;
constexpr std::int32_t itemNotFound = -25300;
constexpr std::int32_t duplicateItem = -25299;
// No Secret Service answers on the session bus (no daemon, no D-Bus session).
constexpr std::int32_t notAvailable = -25291;
// The keyring holding the item is locked and could not be unlocked without a prompt.
constexpr std::int32_t interactionNotAllowed = -25308;
// The user dismissed the unlock prompt.
constexpr std::int32_t userCanceled = -128;
// The request was malformed (empty service, empty tag).
constexpr std::int32_t param = -50;
// The Secret Service failed in a way none of the above describes.
constexpr std::int32_t internalComponent = -2070;

// A short English description of a status, for logs and error details.
QString describe(std::int32_t status);
} // namespace KeychainStatus

struct KeychainItemQuery {
    enum class Kind { genericPassword, key };

    Kind kind = Kind::genericPassword;
    QString service;                    // generic password
    QString account;                    // generic password
    std::optional<QString> accessGroup; // generic password; part of the identity only when set
    QByteArray applicationTag;          // key item

    static KeychainItemQuery genericPassword(QString service, QString account,
                                             std::optional<QString> accessGroup = std::nullopt);
    static KeychainItemQuery key(QByteArray applicationTag);
};

// One keychain. Every call is synchronous and returns a status of KeychainStatus.
class KeychainBackend {
public:
    virtual ~KeychainBackend() = default;

    // Replaces the data of the item the query names; itemNotFound when there is none.
    virtual std::int32_t update(const KeychainItemQuery &query, const QByteArray &data) = 0;
    // Adds an item; duplicateItem when one with the same identity exists.
    virtual std::int32_t add(const KeychainItemQuery &query, const QByteArray &data) = 0;
    // Reads one item's data into `data`; itemNotFound when there is none.
    virtual std::int32_t copyMatching(const KeychainItemQuery &query, QByteArray *data) = 0;
    // Deletes the matching items; itemNotFound when there was none.
    virtual std::int32_t remove(const KeychainItemQuery &query) = 0;

    // What copyMatching() gives for each of `queries`, in their order. A keychain that can
    // ask for several items at once does so; by default they are read one by one.
    struct Read {
        std::int32_t status = KeychainStatus::itemNotFound;
        QByteArray data;
    };
    virtual QList<Read> copyEach(const QList<KeychainItemQuery> &queries);
};

namespace Keychain {
// The process-wide keychain: the Secret Service's default collection, through libsecret.
std::shared_ptr<KeychainBackend> system();
// Reaches the Secret Service and opens the system keychain's session now, on the calling
// thread (the first call otherwise does it). Reads nothing.
void open();
// Reads these items of the system keychain now, on the calling thread; the next read of
// each through system() is answered from memory (see PrefetchedKeychain).
void prefetch(const QList<KeychainItemQuery> &queries);
// Forgets what prefetch() read and was not asked for: later reads ask the keychain.
void forgetPrefetched();
} // namespace Keychain
