#include "Platform/PrefetchedKeychain.h"

#include <utility>

PrefetchedKeychain::PrefetchedKeychain(std::shared_ptr<KeychainBackend> keychain) : m_keychain(std::move(keychain)) {}

QString PrefetchedKeychain::identity(const KeychainItemQuery &query)
{
    // Fields joined by a character none of them holds: two queries share an identity only
    // when they name the same item.
    const QChar separator(0);
    if (query.kind == KeychainItemQuery::Kind::key)
        return QStringLiteral("key") + separator + QString::fromLatin1(query.applicationTag.toBase64());
    return QStringLiteral("password") + separator + query.service + separator + query.account + separator
        + (query.accessGroup ? QStringLiteral("1") + *query.accessGroup : QStringLiteral("0"));
}

void PrefetchedKeychain::prefetch(const QList<KeychainItemQuery> &queries)
{
    // Held throughout: a read of these items waits for the answers instead of asking the
    // keychain too, and a write that comes meanwhile waits, then forgets what was read.
    const std::lock_guard lock(m_mutex);
    const QList<Read> reads = m_keychain->copyEach(queries);
    for (qsizetype i = 0; i < queries.size() && i < reads.size(); ++i) {
        const QString id = identity(queries.at(i));
        // A write of the item was under way: the keychain may have answered before it.
        if (m_writing.count(id))
            continue;
        const Read &read = reads.at(i);
        if (read.status == KeychainStatus::success || read.status == KeychainStatus::itemNotFound)
            m_answers[id] = read;
        else
            m_answers.erase(id);
    }
}

void PrefetchedKeychain::forgetPrefetched()
{
    const std::lock_guard lock(m_mutex);
    m_answers.clear();
}

template <typename Write>
std::int32_t PrefetchedKeychain::write(const KeychainItemQuery &query, Write write)
{
    const QString id = identity(query);
    {
        const std::lock_guard lock(m_mutex);
        ++m_writing[id];
        m_answers.erase(id);
    }
    const std::int32_t status = write();
    const std::lock_guard lock(m_mutex);
    if (--m_writing[id] == 0)
        m_writing.erase(id);
    return status;
}

std::int32_t PrefetchedKeychain::update(const KeychainItemQuery &query, const QByteArray &data)
{
    return write(query, [&]() { return m_keychain->update(query, data); });
}

std::int32_t PrefetchedKeychain::add(const KeychainItemQuery &query, const QByteArray &data)
{
    return write(query, [&]() { return m_keychain->add(query, data); });
}

std::int32_t PrefetchedKeychain::copyMatching(const KeychainItemQuery &query, QByteArray *data)
{
    {
        const std::lock_guard lock(m_mutex);
        if (const auto found = m_answers.find(identity(query)); found != m_answers.end()) {
            const Read answer = std::move(found->second);
            m_answers.erase(found);
            if (data && answer.status == KeychainStatus::success)
                *data = answer.data;
            return answer.status;
        }
    }
    return m_keychain->copyMatching(query, data);
}

std::int32_t PrefetchedKeychain::remove(const KeychainItemQuery &query)
{
    return write(query, [&]() { return m_keychain->remove(query); });
}
