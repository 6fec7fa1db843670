#include "VantleKit/VantJSONValue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool sameJson(const QJsonValue &a, const QJsonValue &b)
{
    if (a.type() != b.type())
        return false;
    switch (a.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return true;
    case QJsonValue::Bool:
        return a.toBool() == b.toBool();
    case QJsonValue::Double:
        return a.toDouble() == b.toDouble();
    case QJsonValue::String:
        return a.toString() == b.toString();
    case QJsonValue::Array: {
        const QJsonArray x = a.toArray();
        const QJsonArray y = b.toArray();
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i) {
            if (!sameJson(x.at(i), y.at(i)))
                return false;
        }
        return true;
    }
    case QJsonValue::Object: {
        const QJsonObject x = a.toObject();
        const QJsonObject y = b.toObject();
        if (x.size() != y.size())
            return false;
        for (auto it = x.constBegin(); it != x.constEnd(); ++it) {
            const auto other = y.constFind(it.key());
            if (other == y.constEnd() || !sameJson(it.value(), other.value()))
                return false;
        }
        return true;
    }
    }
    return false;
}

} // namespace

VantJSONValue VantJSONValue::null()
{
    return VantJSONValue();
}

VantJSONValue VantJSONValue::boolean(bool value)
{
    return VantJSONValue(QJsonValue(value));
}

VantJSONValue VantJSONValue::number(double value)
{
    return VantJSONValue(QJsonValue(value));
}

VantJSONValue VantJSONValue::string(const QString &value)
{
    return VantJSONValue(QJsonValue(value));
}

VantJSONValue VantJSONValue::array(const Array &elements)
{
    QJsonArray json;
    for (const VantJSONValue &element : elements)
        json.append(element.m_value);
    return VantJSONValue(QJsonValue(json));
}

VantJSONValue VantJSONValue::object(const Object &members)
{
    QJsonObject json;
    for (auto it = members.constBegin(); it != members.constEnd(); ++it)
        json.insert(it.key(), it.value().m_value);
    return VantJSONValue(QJsonValue(json));
}

VantJSONValue::Kind VantJSONValue::kind() const
{
    switch (m_value.type()) {
    case QJsonValue::Bool:
        return Kind::boolean;
    case QJsonValue::Double:
        return Kind::number;
    case QJsonValue::String:
        return Kind::string;
    case QJsonValue::Array:
        return Kind::array;
    case QJsonValue::Object:
        return Kind::object;
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return Kind::null;
}

std::optional<bool> VantJSONValue::boolValue() const
{
    if (!m_value.isBool())
        return std::nullopt;
    return m_value.toBool();
}

std::optional<double> VantJSONValue::numberValue() const
{
    if (!m_value.isDouble())
        return std::nullopt;
    return m_value.toDouble();
}

std::optional<QString> VantJSONValue::stringValue() const
{
    if (!m_value.isString())
        return std::nullopt;
    return m_value.toString();
}

std::optional<VantJSONValue::Array> VantJSONValue::arrayValue() const
{
    if (!m_value.isArray())
        return std::nullopt;
    const QJsonArray json = m_value.toArray();
    Array out;
    out.reserve(json.size());
    for (const QJsonValue &element : json)
        out.append(VantJSONValue(element));
    return out;
}

std::optional<VantJSONValue::Object> VantJSONValue::objectValue() const
{
    if (!m_value.isObject())
        return std::nullopt;
    const QJsonObject json = m_value.toObject();
    Object out;
    for (auto it = json.constBegin(); it != json.constEnd(); ++it)
        out.insert(it.key(), VantJSONValue(it.value()));
    return out;
}

std::optional<VantJSONValue> VantJSONValue::member(const QString &key) const
{
    if (!m_value.isObject())
        return std::nullopt;
    const QJsonObject json = m_value.toObject();
    const auto it = json.constFind(key);
    if (it == json.constEnd())
        return std::nullopt;
    return VantJSONValue(it.value());
}

std::optional<VantJSONValue> VantJSONValue::fromJson(const QJsonValue &json)
{
    if (json.isUndefined())
        return std::nullopt;
    return VantJSONValue(json);
}

std::optional<VantJSONValue> VantJSONValue::decode(const QByteArray &utf8)
{
    // The document reader takes only arrays and objects at the top, so the text is read as
    // the one element of an array: "[" text "]" parses to exactly one element only when
    // the text is exactly one value.
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson("[" + utf8 + "]", &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    const QJsonArray wrapper = document.array();
    if (wrapper.size() != 1)
        return std::nullopt;
    return VantJSONValue(wrapper.at(0));
}

QByteArray VantJSONValue::encode() const
{
    QJsonArray wrapper;
    wrapper.append(m_value);
    QByteArray text = QJsonDocument(wrapper).toJson(QJsonDocument::Compact);
    // Strip the wrapper's brackets.
    return text.mid(1, text.size() - 2);
}

bool operator==(const VantJSONValue &a, const VantJSONValue &b)
{
    return sameJson(a.m_value, b.m_value);
}
