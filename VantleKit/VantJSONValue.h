#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// One plain JSON value: null, bool, number, string, array or object. The audit's answers
// travel in it, and its import reads them back.
class VantJSONValue final {
public:
    enum class Kind { null, boolean, number, string, array, object };
    using Array = QList<VantJSONValue>;
    using Object = QMap<QString, VantJSONValue>;

    VantJSONValue() = default; // null

    static VantJSONValue null();
    static VantJSONValue boolean(bool value);
    static VantJSONValue number(double value);
    static VantJSONValue string(const QString &value);
    static VantJSONValue array(const Array &elements);
    static VantJSONValue object(const Object &members);

    Kind kind() const;
    bool isNull() const { return kind() == Kind::null; }

    // Each yields nothing when the value is of another kind.
    std::optional<bool> boolValue() const;
    std::optional<double> numberValue() const;
    std::optional<QString> stringValue() const;
    std::optional<Array> arrayValue() const;
    std::optional<Object> objectValue() const;
    // The member `key` of an object; nothing when this is no object or has no such member.
    std::optional<VantJSONValue> member(const QString &key) const;

    QJsonValue toJson() const { return m_value; }
    // Nothing for an undefined value (a missing member).
    static std::optional<VantJSONValue> fromJson(const QJsonValue &json);

    // One JSON text of any kind, including a bare number or string; nothing when the text
    // is not exactly one JSON value.
    static std::optional<VantJSONValue> decode(const QByteArray &utf8);
    QByteArray encode() const;

    // Numbers compare by value, objects as maps (member order never matters).
    friend bool operator==(const VantJSONValue &a, const VantJSONValue &b);

private:
    explicit VantJSONValue(const QJsonValue &value)
        : m_value(value)
    {
    }

    QJsonValue m_value = QJsonValue(QJsonValue::Null);
};
