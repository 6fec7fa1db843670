#pragma once

#include "Platform/Keychain.h"

#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <mutex>

// A keychain that can read some items ahead of time, on any thread, and answer the next
// read of each from memory, once; every other call goes to the keychain it wraps.
//
// An answer from memory is always what the keychain held when nothing in this process has
// changed it since: a write or deletion of an item forgets what was read ahead for it, and
// a read ahead that overlaps a write of the item through this object (begun before it,
// or still under way) is not kept. Only what an item holds, or that there is none, is
// kept: a failure (a locked keyring, no Secret Service) may be over by the time the item
// is asked for, so that read asks the keychain again.
//
// Start-up reads the items the first screen needs on a thread of its own while the main
// window is being built: the GUI thread then finds them here instead of waiting for the
// Secret Service. Any thread; a read waits while a read ahead is under way.
class PrefetchedKeychain final : public KeychainBackend {
public:
    explicit PrefetchedKeychain(std::shared_ptr<KeychainBackend> keychain);

    // Reads the items from the wrapped keychain now, all at once where it can, and keeps
    // the answers.
    void prefetch(const QList<KeychainItemQuery> &queries);
    // Forgets every answer not asked for yet: from now on every read asks the keychain.
    void forgetPrefetched();

    std::int32_t update(const KeychainItemQuery &query, const QByteArray &data) override;
    std::int32_t add(const KeychainItemQuery &query, const QByteArray &data) override;
    std::int32_t copyMatching(const KeychainItemQuery &query, QByteArray *data) override;
    std::int32_t remove(const KeychainItemQuery &query) override;

private:
    static QString identity(const KeychainItemQuery &query);
    template <typename Write>
    std::int32_t write(const KeychainItemQuery &query, Write write);

    std::shared_ptr<KeychainBackend> m_keychain;
    std::mutex m_mutex;
    std::map<QString, Read> m_answers;
    // Writes under way, by item: a read ahead meanwhile may hold the item's old data.
    std::map<QString, int> m_writing;
};
