#pragma once

#include "Platform/Keychain.h"

#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <mutex>

// A keychain that can read some items ahead of time, on any thread, and answer the next
// read of each from memory, once; every other call goes to the keychain it wraps. A write
// or deletion of an item forgets what was read ahead for it, so an answer from memory is
// always what the keychain held when nothing in this process has changed it since.
//
// Start-up reads the items the first screen needs on a thread of its own while the main
// window is being built: the GUI thread then finds them here instead of waiting for the
// Secret Service. Any thread; calls are serialised.
class PrefetchedKeychain final : public KeychainBackend {
public:
    explicit PrefetchedKeychain(std::shared_ptr<KeychainBackend> keychain);

    // Reads each item from the wrapped keychain now and keeps the answer (status and data).
    void prefetch(const QList<KeychainItemQuery> &queries);
    // Forgets every answer not asked for yet: from now on every read asks the keychain.
    void forgetPrefetched();

    std::int32_t update(const KeychainItemQuery &query, const QByteArray &data) override;
    std::int32_t add(const KeychainItemQuery &query, const QByteArray &data) override;
    std::int32_t copyMatching(const KeychainItemQuery &query, QByteArray *data) override;
    std::int32_t remove(const KeychainItemQuery &query) override;

private:
    struct Answer {
        std::int32_t status = KeychainStatus::itemNotFound;
        QByteArray data;
    };
    static QString identity(const KeychainItemQuery &query);
    void forget(const KeychainItemQuery &query);

    std::shared_ptr<KeychainBackend> m_keychain;
    std::mutex m_mutex;
    std::map<QString, Answer> m_answers;
};
