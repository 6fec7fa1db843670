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
    // Held throughout: a write that comes meanwhile waits, and then forgets what was read.
    const std::lock_guard lock(m_mutex);
    for (const KeychainItemQuery &query : queries) {
        Answer answer;
        answer.status = m_keychain->copyMatching(query, &answer.data);
        m_answers[identity(query)] = std::move(answer);
    }
}

void PrefetchedKeychain::forgetPrefetched()
{
    const std::lock_guard lock(m_mutex);
    m_answers.clear();
}

void PrefetchedKeychain::forget(const KeychainItemQuery &query)
{
    const std::lock_guard lock(m_mutex);
    m_answers.erase(identity(query));
}

std::int32_t PrefetchedKeychain::update(const KeychainItemQuery &query, const QByteArray &data)
{
    forget(query);
    return m_keychain->update(query, data);
}

std::int32_t PrefetchedKeychain::add(const KeychainItemQuery &query, const QByteArray &data)
{
    forget(query);
    return m_keychain->add(query, data);
}

std::int32_t PrefetchedKeychain::copyMatching(const KeychainItemQuery &query, QByteArray *data)
{
    {
        const std::lock_guard lock(m_mutex);
        if (const auto found = m_answers.find(identity(query)); found != m_answers.end()) {
            const Answer answer = std::move(found->second);
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
    forget(query);
    return m_keychain->remove(query);
}
