#include "Platform/InMemoryKeychain.h"

namespace {
std::size_t indexOf(InMemoryKeychain::Op op)
{
    return static_cast<std::size_t>(op);
}
} // namespace

std::optional<InMemoryKeychain::Identity> InMemoryKeychain::identityOf(const KeychainItemQuery &query)
{
    switch (query.kind) {
    case KeychainItemQuery::Kind::genericPassword:
        if (query.service.isEmpty())
            return std::nullopt;
        return Identity{0, query.service, query.account, query.accessGroup, QByteArray()};
    case KeychainItemQuery::Kind::key:
        if (query.applicationTag.isEmpty())
            return std::nullopt;
        return Identity{1, QString(), QString(), std::nullopt, query.applicationTag};
    }
    return std::nullopt;
}

std::optional<std::int32_t> InMemoryKeychain::begin(Op op)
{
    Forced &forced = m_forced[indexOf(op)];
    ++forced.calls;
    if (!forced.next.empty()) {
        const std::int32_t status = forced.next.front();
        forced.next.pop_front();
        return status;
    }
    return forced.always;
}

std::int32_t InMemoryKeychain::update(const KeychainItemQuery &query, const QByteArray &data)
{
    const std::lock_guard lock(m_mutex);
    if (const auto forced = begin(Op::update))
        return *forced;
    const auto identity = identityOf(query);
    if (!identity)
        return KeychainStatus::param;
    const auto it = m_items.find(*identity);
    if (it == m_items.end())
        return KeychainStatus::itemNotFound;
    it->second = data;
    return KeychainStatus::success;
}

std::int32_t InMemoryKeychain::add(const KeychainItemQuery &query, const QByteArray &data)
{
    const std::lock_guard lock(m_mutex);
    if (const auto forced = begin(Op::add))
        return *forced;
    const auto identity = identityOf(query);
    if (!identity)
        return KeychainStatus::param;
    if (!m_items.emplace(*identity, data).second)
        return KeychainStatus::duplicateItem;
    return KeychainStatus::success;
}

std::int32_t InMemoryKeychain::copyMatching(const KeychainItemQuery &query, QByteArray *data)
{
    const std::lock_guard lock(m_mutex);
    if (const auto forced = begin(Op::copyMatching))
        return *forced;
    const auto identity = identityOf(query);
    if (!identity)
        return KeychainStatus::param;
    const auto it = m_items.find(*identity);
    if (it == m_items.end())
        return KeychainStatus::itemNotFound;
    if (data)
        *data = it->second;
    return KeychainStatus::success;
}

std::int32_t InMemoryKeychain::remove(const KeychainItemQuery &query)
{
    const std::lock_guard lock(m_mutex);
    if (const auto forced = begin(Op::remove))
        return *forced;
    const auto identity = identityOf(query);
    if (!identity)
        return KeychainStatus::param;
    return m_items.erase(*identity) > 0 ? KeychainStatus::success : KeychainStatus::itemNotFound;
}

void InMemoryKeychain::failNext(Op op, std::int32_t status)
{
    const std::lock_guard lock(m_mutex);
    m_forced[indexOf(op)].next.push_back(status);
}

void InMemoryKeychain::failAlways(Op op, std::optional<std::int32_t> status)
{
    const std::lock_guard lock(m_mutex);
    m_forced[indexOf(op)].always = status;
}

int InMemoryKeychain::callCount(Op op) const
{
    const std::lock_guard lock(m_mutex);
    return m_forced[indexOf(op)].calls;
}

int InMemoryKeychain::itemCount() const
{
    const std::lock_guard lock(m_mutex);
    return static_cast<int>(m_items.size());
}
