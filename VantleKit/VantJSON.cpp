#include "VantleKit/VantJSON.h"

#include "OrvalenAccount/OrvalenJSON.h"

#include <cmath>

namespace VantJSON {

QJsonValue Reader::member(const QString &key, QJsonValue::Type type, bool required)
{
    const QJsonValue value = m_object.value(key);
    if (value.isUndefined() || value.isNull()) {
        if (required)
            m_ok = false;
        return QJsonValue(QJsonValue::Undefined);
    }
    if (value.type() != type) {
        m_ok = false;
        return QJsonValue(QJsonValue::Undefined);
    }
    return value;
}

std::optional<QString> Reader::optionalString(const QString &key)
{
    const QJsonValue value = member(key, QJsonValue::String, false);
    if (value.isUndefined())
        return std::nullopt;
    return value.toString();
}

QString Reader::requiredString(const QString &key)
{
    return member(key, QJsonValue::String, true).toString();
}

std::optional<double> Reader::optionalNumber(const QString &key)
{
    const QJsonValue value = member(key, QJsonValue::Double, false);
    if (value.isUndefined())
        return std::nullopt;
    return value.toDouble();
}

double Reader::requiredNumber(const QString &key)
{
    return member(key, QJsonValue::Double, true).toDouble();
}

std::optional<qint64> Reader::optionalInteger(const QString &key)
{
    const QJsonValue value = member(key, QJsonValue::Double, false);
    if (value.isUndefined())
        return std::nullopt;
    const double number = value.toDouble();
    // 2^63 is exactly representable; anything at or above it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(number) || std::trunc(number) != number || number >= limit || number < -limit) {
        m_ok = false;
        return std::nullopt;
    }
    // Integers the reader kept exact come back exact; others through the double.
    return value.toInteger(static_cast<qint64>(number));
}

qint64 Reader::requiredInteger(const QString &key)
{
    const std::optional<qint64> value = optionalInteger(key);
    if (!value) {
        m_ok = false;
        return 0;
    }
    return *value;
}

std::optional<bool> Reader::optionalBool(const QString &key)
{
    const QJsonValue value = member(key, QJsonValue::Bool, false);
    if (value.isUndefined())
        return std::nullopt;
    return value.toBool();
}

bool Reader::requiredBool(const QString &key)
{
    return member(key, QJsonValue::Bool, true).toBool();
}

std::optional<QDateTime> Reader::optionalDate(const QString &key)
{
    const std::optional<QString> text = optionalString(key);
    if (!text)
        return std::nullopt;
    try {
        return OrvalenJSON::decodeDate(*text);
    } catch (const OrvalenJSON::DecodingError &) {
        m_ok = false;
        return std::nullopt;
    }
}

QDateTime Reader::requiredDate(const QString &key)
{
    const std::optional<QDateTime> date = optionalDate(key);
    if (!date) {
        m_ok = false;
        return QDateTime();
    }
    return *date;
}

std::optional<VantJSONValue> Reader::optionalValue(const QString &key)
{
    const QJsonValue value = m_object.value(key);
    if (value.isNull())
        return std::nullopt;
    return VantJSONValue::fromJson(value);
}

} // namespace VantJSON
