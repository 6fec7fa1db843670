#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>
#include <stdexcept>

// The account layer's JSON coding: the strict date format shared by every record
// and the typed readers each record's fromJson is built from. Every function is
// pure and keeps no state, so any thread may call it.
//
// Reading rules shared by the records: a missing required key, a null required
// value or a value of the wrong JSON type throws DecodingError; a missing or null
// optional key reads as absent; unknown keys are ignored.
namespace OrvalenJSON {

class DecodingError : public std::runtime_error {
public:
    explicit DecodingError(const QString &description);
    QString description() const { return m_description; }

private:
    QString m_description;
};

// "yyyy-MM-ddTHH:mm:ss.zzzZ", always in UTC with three fractional digits.
QString encodeDate(const QDateTime &date);
// Whether encodeDate writes text that decodeDate reads back: a valid instant whose
// year in UTC is 0001 to 9999.
bool isEncodableDate(const QDateTime &date);
// An RFC 3339 internet date-time: "T" between date and time, seconds required,
// an optional fraction (one or more digits, kept to the millisecond), and "Z" or
// a "+hh:mm" / "-hh:mm" offset. Anything else throws
// DecodingError("Bad ISO 8601 date: " + text). The result is in UTC.
QDateTime decodeDate(const QString &text);

// The body as a JSON object; throws DecodingError when it is not JSON or not an object.
QJsonObject parseObject(const QByteArray &body);
// Compact UTF-8 JSON of the object.
QByteArray serialize(const QJsonObject &object);

QString requireString(const QJsonObject &object, const char *key);
std::optional<QString> optionalString(const QJsonObject &object, const char *key);
bool requireBool(const QJsonObject &object, const char *key);
std::optional<bool> optionalBool(const QJsonObject &object, const char *key);
// Whole numbers only: 3.5 or 1e300 is a wrong type, not a rounded value.
double requireNumber(const QJsonObject &object, const char *key);
std::optional<double> optionalNumber(const QJsonObject &object, const char *key);
qint64 requireInt(const QJsonObject &object, const char *key);
std::optional<qint64> optionalInt(const QJsonObject &object, const char *key);
QDateTime requireDate(const QJsonObject &object, const char *key);
std::optional<QDateTime> optionalDate(const QJsonObject &object, const char *key);
QJsonObject requireObject(const QJsonObject &object, const char *key);
std::optional<QJsonObject> optionalObject(const QJsonObject &object, const char *key);
QJsonArray requireArray(const QJsonObject &object, const char *key);
std::optional<QJsonArray> optionalArray(const QJsonObject &object, const char *key);

} // namespace OrvalenJSON
