#pragma once

#include "Platform/Keychain.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

// A keychain that lives in memory, for tests. It keeps the item identities of the real
// one (service + account + access group when set; key items by tag, apart from passwords)
// and lets a test force the status of any operation.
class InMemoryKeychain final : public KeychainBackend {
public:
    enum class Op { update, add, copyMatching, remove };

    std::int32_t update(const KeychainItemQuery &query, const QByteArray &data) override;
    std::int32_t add(const KeychainItemQuery &query, const QByteArray &data) override;
    std::int32_t copyMatching(const KeychainItemQuery &query, QByteArray *data) override;
    std::int32_t remove(const KeychainItemQuery &query) override;

    // The next call of `op` returns `status` without touching the items; several calls
    // queue up, each used by one call, before a status set by failAlways.
    void failNext(Op op, std::int32_t status);
    // Every call of `op` returns `status` without touching the items; nullopt clears it.
    void failAlways(Op op, std::optional<std::int32_t> status);
    // Calls of `op` so far, forced failures included.
    int callCount(Op op) const;
    // Items stored, passwords and keys together.
    int itemCount() const;

private:
    // kind, service, account, access group (absent and empty differ), tag
    using Identity = std::tuple<int, QString, QString, std::optional<QString>, QByteArray>;

    struct Forced {
        std::deque<std::int32_t> next;
        std::optional<std::int32_t> always;
        int calls = 0;
    };

    static std::optional<Identity> identityOf(const KeychainItemQuery &query);
    // Counts the call and yields the forced status, if any. Caller holds m_mutex.
    std::optional<std::int32_t> begin(Op op);

    mutable std::mutex m_mutex;
    std::map<Identity, QByteArray> m_items;
    std::array<Forced, 4> m_forced;
};
