#include "VantleKit/VantJSON.h"

#include "OrvalenAccount/OrvalenJSON.h"

namespace VantJSON {

namespace {
// The account layer's readers hold the one copy of the record rules (absent,
// null, wrong type, whole numbers, strict dates); this reader only turns their
// failure into a flag.
template <typename Read>
auto attempt(bool &ok, Read read) -> decltype(read())
{
    if (!ok)
        return {};
    try {
        return read();
    } catch (const OrvalenJSON::DecodingError &) {
        ok = false;
        return {};
    }
}
} // namespace

std::optional<QString> Reader::optionalString(const QString &key)
{
    const QByteArray k = key.toUtf8();
    return attempt(m_ok, [&] { return OrvalenJSON::optionalString(m_object, k.constData()); });
}

QString Reader::requiredString(const QString &key)
{
    const QByteArray k = key.toUtf8();
    return attempt(m_ok, [&] { return OrvalenJSON::requireString(m_object, k.constData()); });
}

std::optional<double> Reader::optionalNumber(const QString &key)
{
    const QByteArray k = key.toUtf8();
    return attempt(m_ok, [&] { return OrvalenJSON::optionalNumber(m_object, k.constData()); });
}

double Reader::requiredNumber(const QString &key)
{
    const QByteArray k = key.toUtf8();
    return attempt(m_ok, [&] { return OrvalenJSON::requireNumber(m_object, k.constData()); });
}

std::optional<qint64> Reader::optionalInteger(const QString &key)
{
    const QByteArray k = key.toUtf8();
    return attempt(m_ok, [&] { return OrvalenJSON::optionalInt(m_object, k.constData()); });
}

qint64 Reader::requiredInteger(const QString &key)
{
    const QByteArray k = key.toUtf8();
    return attempt(m_ok, [&] { return OrvalenJSON::requireInt(m_object, k.constData()); });
}

std::optional<bool> Reader::optionalBool(const QString &key)
{
    const QByteArray k = key.toUtf8();
    return attempt(m_ok, [&] { return OrvalenJSON::optionalBool(m_object, k.constData()); });
}

bool Reader::requiredBool(const QString &key)
{
    const QByteArray k = key.toUtf8();
    return attempt(m_ok, [&] { return OrvalenJSON::requireBool(m_object, k.constData()); });
}

std::optional<QDateTime> Reader::optionalDate(const QString &key)
{
    const QByteArray k = key.toUtf8();
    return attempt(m_ok, [&] { return OrvalenJSON::optionalDate(m_object, k.constData()); });
}

QDateTime Reader::requiredDate(const QString &key)
{
    const QByteArray k = key.toUtf8();
    return attempt(m_ok, [&] { return OrvalenJSON::requireDate(m_object, k.constData()); });
}

std::optional<VantJSONValue> Reader::optionalValue(const QString &key)
{
    const QJsonValue value = m_object.value(key);
    if (value.isNull() || value.isUndefined())
        return std::nullopt;
    return VantJSONValue::fromJson(value);
}

} // namespace VantJSON
