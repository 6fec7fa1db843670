#pragma once

#include "OrvalenAccount/OrvalenJSON.h"

#include <QByteArray>
#include <QString>

#include <exception>
#include <optional>

// Where the account layer keeps what must survive a relaunch, by key.
class OrvalenAccountDataStorage {
public:
    virtual ~OrvalenAccountDataStorage() = default;

    // Stores the bytes under the key, replacing what was there. Throws on failure.
    virtual void setData(const QByteArray &data, const QString &key) = 0;
    // The stored bytes, or nothing (also when they cannot be read).
    virtual std::optional<QByteArray> getData(const QString &key) const = 0;
    // Removes the entry; reports no failure.
    virtual void deleteData(const QString &key) = 0;

    // The value as one JSON object (T::toJson(), or T::toJsonBytes() when T fixes its
    // own member order), stored as setData does. An encoding error propagates.
    template <typename T>
    void setJSON(const T &value, const QString &key)
    {
        QByteArray bytes;
        if constexpr (requires { value.toJsonBytes(); })
            bytes = value.toJsonBytes();
        else
            bytes = OrvalenJSON::serialize(value.toJson());
        setData(bytes, key);
    }

    // The value read as getData does and decoded with T::fromJson(QJsonObject); any read
    // or decode failure gives nothing.
    template <typename T>
    std::optional<T> getJSON(const QString &key) const
    {
        const std::optional<QByteArray> bytes = getData(key);
        if (!bytes)
            return std::nullopt;
        try {
            return T::fromJson(OrvalenJSON::parseObject(*bytes));
        } catch (const std::exception &) {
            return std::nullopt;
        }
    }

protected:
    OrvalenAccountDataStorage() = default;
    OrvalenAccountDataStorage(const OrvalenAccountDataStorage &) = default;
    OrvalenAccountDataStorage &operator=(const OrvalenAccountDataStorage &) = default;
};
