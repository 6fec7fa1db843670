#pragma once

#include "Platform/Keychain.h"

#include <cstdint>
#include <map>
#include <mutex>

// The keychain on the freedesktop Secret Service (gnome-keyring, KWallet ...), through
// libsecret. Items are created in the default collection and found in any collection.
//
// A generic password carries the attributes "service", "account" and, only when the
// query sets one, "access_group"; a query without an access group matches only items
// without one. A key item carries "application_tag" (the tag in base64). Passwords and
// keys use different schemas, so a key never answers a password query.
//
// It never shows a prompt: a locked item or keyring gives interactionNotAllowed instead
// of an unlock dialog, because callers run at start-up and from background tasks.
// Any thread may call it; calls are serialised.
class SecretServiceKeychain final : public KeychainBackend {
public:
    SecretServiceKeychain();
    ~SecretServiceKeychain() override;
    SecretServiceKeychain(const SecretServiceKeychain &) = delete;
    SecretServiceKeychain &operator=(const SecretServiceKeychain &) = delete;

    // Reaches the Secret Service and opens the session now, which the first call would
    // otherwise do; success, or the status that call would give.
    std::int32_t open();

    std::int32_t update(const KeychainItemQuery &query, const QByteArray &data) override;
    std::int32_t add(const KeychainItemQuery &query, const QByteArray &data) override;
    std::int32_t copyMatching(const KeychainItemQuery &query, QByteArray *data) override;
    std::int32_t remove(const KeychainItemQuery &query) override;
    // All the items in one exchange with the Secret Service: every search at once, then the
    // secrets of what was found (and the attributes that tell an item with an access group
    // apart) at once, instead of a search, an item and a secret after another for each. An
    // item this cannot answer plainly (a failure, an item gone meanwhile) is read as
    // copyMatching() reads it, which also reports the failure.
    QList<Read> copyEach(const QList<KeychainItemQuery> &queries) override;

    // A failure of libsecret or the bus, reduced to what decides the status: the GError's
    // domain and code, and whether it came while reaching the service (getting the bus,
    // opening the session) rather than from an operation on an item.
    struct Failure {
        enum class Domain { dbus, io, secret, promptRefused, other };
        Domain domain = Domain::other;
        int code = 0;
        bool connecting = false;
    };
    // The codes of GIO's and libsecret's error enums that the mapping tells apart
    // (checked against the real headers where they are used).
    struct Codes {
        static constexpr int dbusServiceUnknown = 2;
        static constexpr int dbusNameHasNoOwner = 3;
        static constexpr int dbusNoReply = 4;
        static constexpr int dbusNoServer = 11;
        static constexpr int dbusTimeout = 12;
        static constexpr int dbusDisconnected = 15;
        static constexpr int dbusTimedOut = 20;
        // The bus's failures to start an activatable service run from ExecFailed to NoMemory.
        static constexpr int dbusSpawnExecFailed = 23;
        static constexpr int dbusSpawnFileInvalid = 33;
        static constexpr int dbusSpawnNoMemory = 34;
        static constexpr int ioCancelled = 19;
        static constexpr int ioClosed = 18;
        static constexpr int ioConnectionRefused = 39;
        static constexpr int ioNotFound = 1;
        static constexpr int secretProtocol = 1;
        static constexpr int secretIsLocked = 2;
        static constexpr int secretNoSuchObject = 3;
        static constexpr int secretAlreadyExists = 4;
    };
    // The keychain status of a failure: no bus or no service -> notAvailable, locked or
    // a prompt we refused to show -> interactionNotAllowed, a dismissed prompt
    // -> userCanceled, anything else -> internalComponent.
    static std::int32_t statusFor(const Failure &failure);

    // The libsecret calls that can fail. For tests: failNext makes the next such call
    // fail as if libsecret had reported a GError of that domain and code, which then
    // takes the path a real one would (getSecret gives no data instead).
    enum class Call { openService, search, setSecret, defaultCollection, createItem, loadSecret, getSecret, deleteItem };
    void failNext(Call call, Failure::Domain domain, int code);

private:
    struct Private;
    std::mutex m_mutex;
    Private *d;
};
