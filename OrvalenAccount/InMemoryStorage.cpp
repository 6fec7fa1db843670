#include "OrvalenAccount/InMemoryStorage.h"

void InMemoryStorage::setData(const QByteArray &data, const QString &key)
{
    const std::lock_guard guard(m_lock);
    m_store.insert(key, data);
}

std::optional<QByteArray> InMemoryStorage::getData(const QString &key) const
{
    const std::lock_guard guard(m_lock);
    const auto it = m_store.constFind(key);
    if (it == m_store.cend())
        return std::nullopt;
    return *it;
}

void InMemoryStorage::deleteData(const QString &key)
{
    const std::lock_guard guard(m_lock);
    m_store.remove(key);
}
