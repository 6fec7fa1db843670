#pragma once

#include "OrvalenAccount/OrvalenAccountDataStorage.h"

#include <QHash>

#include <mutex>

// Storage that keeps nothing across launches; one lock serialises every access.
class InMemoryStorage final : public OrvalenAccountDataStorage {
public:
    InMemoryStorage() = default;

    // Never fails.
    void setData(const QByteArray &data, const QString &key) override;
    std::optional<QByteArray> getData(const QString &key) const override;
    void deleteData(const QString &key) override;

private:
    mutable std::mutex m_lock;
    QHash<QString, QByteArray> m_store;
};
