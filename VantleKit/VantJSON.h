#pragma once

#include "Platform/RawEnum.h"
#include "VantleKit/VantJSONValue.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// Reading and writing the ledger's records. A missing or null optional member reads as
// absent and an absent value is not written; unknown members are ignored; a member of the
// wrong type, or a required member that is missing, fails the whole record.
namespace VantJSON {

class Reader final {
public:
    explicit Reader(QJsonObject object)
        : m_object(std::move(object))
    {
    }

    // False once any read failed; stays false.
    bool ok() const { return m_ok; }

    std::optional<QString> optionalString(const QString &key);
    QString requiredString(const QString &key);

    std::optional<double> optionalNumber(const QString &key);
    double requiredNumber(const QString &key);

    // Whole numbers: a JSON number with no fractional part inside the 64-bit range.
    std::optional<qint64> optionalInteger(const QString &key);
    qint64 requiredInteger(const QString &key);

    std::optional<bool> optionalBool(const QString &key);
    bool requiredBool(const QString &key);

    // A strict RFC 3339 date-time text, read in UTC; any other text fails the record.
    std::optional<QDateTime> optionalDate(const QString &key);
    QDateTime requiredDate(const QString &key);

    // Any JSON value; absent when the member is missing or null.
    std::optional<VantJSONValue> optionalValue(const QString &key);

    // A text that must be one of the enum's raw values.
    template <typename E>
    E requiredRaw(const QString &key, E placeholder)
    {
        const QString raw = requiredString(key);
        if (!m_ok)
            return placeholder;
        const std::optional<E> value = fromRaw<E>(raw);
        if (!value) {
            m_ok = false;
            return placeholder;
        }
        return *value;
    }

private:
    QJsonObject m_object;
    bool m_ok = true;
};

// Writes `value` under `key` only when present.
template <typename T>
void insertIfPresent(QJsonObject &object, const QString &key, const std::optional<T> &value)
{
    if (value)
        object.insert(key, *value);
}

} // namespace VantJSON
