#include "OrvalenAccount/OrvalenJSON.h"

#include <QDate>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTime>

namespace OrvalenJSON {

DecodingError::DecodingError(const QString &description)
    : std::runtime_error(description.toStdString()), m_description(description)
{
}

namespace {

// Reads fixed-width ASCII digits; QChar::isDigit would also take other scripts' digits.
class DateReader {
public:
    explicit DateReader(const QString &text) : m_text(text) {}

    bool digits(int count, int *value)
    {
        int result = 0;
        for (int i = 0; i < count; ++i) {
            if (m_pos >= m_text.size())
                return false;
            const char16_t c = m_text.at(m_pos).unicode();
            if (c < u'0' || c > u'9')
                return false;
            result = result * 10 + (c - u'0');
            ++m_pos;
        }
        *value = result;
        return true;
    }

    bool literal(char16_t expected)
    {
        if (m_pos >= m_text.size() || m_text.at(m_pos).unicode() != expected)
            return false;
        ++m_pos;
        return true;
    }

    std::optional<char16_t> peek() const
    {
        if (m_pos >= m_text.size())
            return std::nullopt;
        return m_text.at(m_pos).unicode();
    }

    bool atDigit() const
    {
        const auto c = peek();
        return c && *c >= u'0' && *c <= u'9';
    }

    void advance() { ++m_pos; }
    bool atEnd() const { return m_pos == m_text.size(); }

private:
    const QString &m_text;
    qsizetype m_pos = 0;
};

std::optional<QDateTime> readDate(const QString &text)
{
    DateReader in(text);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!(in.digits(4, &year) && in.literal(u'-') && in.digits(2, &month) && in.literal(u'-')
          && in.digits(2, &day) && in.literal(u'T') && in.digits(2, &hour) && in.literal(u':')
          && in.digits(2, &minute) && in.literal(u':') && in.digits(2, &second)))
        return std::nullopt;

    int millisecond = 0;
    if (in.literal(u'.')) {
        if (!in.atDigit())
            return std::nullopt;
        // Precision beyond the millisecond is dropped, not rounded, so that a
        // fraction never carries into the next second.
        int scale = 100;
        while (in.atDigit()) {
            const int digit = in.peek().value() - u'0';
            millisecond += digit * scale;
            scale /= 10;
            in.advance();
        }
    }

    int offsetSeconds = 0;
    if (!in.literal(u'Z')) {
        int sign = 0;
        if (in.literal(u'+'))
            sign = 1;
        else if (in.literal(u'-'))
            sign = -1;
        else
            return std::nullopt;
        int offsetHours = 0, offsetMinutes = 0;
        if (!(in.digits(2, &offsetHours) && in.literal(u':') && in.digits(2, &offsetMinutes)))
            return std::nullopt;
        if (offsetHours > 23 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
    }
    if (!in.atEnd())
        return std::nullopt;

    // QDate and QTime reject out-of-range fields (month 13, 30 February, hour 24,
    // second 60; year 0000 does not exist in Qt's calendar).
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, millisecond);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    // An offset can carry the instant across the year 0001 or 9999: such an instant has
    // no four-digit year, so the writer could not write it back in a form read here.
    const QDateTime instant = QDateTime(date, time, Qt::UTC).addSecs(-offsetSeconds);
    if (!isEncodableDate(instant))
        return std::nullopt;
    return instant;
}

QString keyText(const char *key) { return QString::fromUtf8(key); }

[[noreturn]] void missing(const char *key)
{
    throw DecodingError(QStringLiteral("Missing value for key \"%1\"").arg(keyText(key)));
}

[[noreturn]] void wrongType(const char *key, const char *expected)
{
    throw DecodingError(
        QStringLiteral("Wrong type for key \"%1\": expected %2").arg(keyText(key), QString::fromLatin1(expected)));
}

// The value under key, or nothing when the key is missing or null.
std::optional<QJsonValue> present(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    return value;
}

QJsonValue required(const QJsonObject &object, const char *key)
{
    auto value = present(object, key);
    if (!value)
        missing(key);
    return *value;
}

QString asString(const QJsonValue &value, const char *key)
{
    if (!value.isString())
        wrongType(key, "string");
    return value.toString();
}

bool asBool(const QJsonValue &value, const char *key)
{
    if (!value.isBool())
        wrongType(key, "boolean");
    return value.toBool();
}

double asNumber(const QJsonValue &value, const char *key)
{
    if (!value.isDouble())
        wrongType(key, "number");
    return value.toDouble();
}

qint64 asInt(const QJsonValue &value, const char *key)
{
    if (!value.isDouble())
        wrongType(key, "integer");
    // toInteger answers its default for a fraction or an out-of-range number; two
    // different defaults tell that apart from a genuine value.
    const qint64 first = value.toInteger(0);
    if (first == 0 && value.toInteger(1) == 1)
        wrongType(key, "integer");
    return first;
}

QDateTime asDate(const QJsonValue &value, const char *key)
{
    return decodeDate(asString(value, key));
}

QJsonObject asObject(const QJsonValue &value, const char *key)
{
    if (!value.isObject())
        wrongType(key, "object");
    return value.toObject();
}

QJsonArray asArray(const QJsonValue &value, const char *key)
{
    if (!value.isArray())
        wrongType(key, "array");
    return value.toArray();
}

} // namespace

bool isEncodableDate(const QDateTime &date)
{
    if (!date.isValid())
        return false;
    const int year = date.toUTC().date().year();
    return year >= 1 && year <= 9999;
}

QString encodeDate(const QDateTime &date)
{
    const QDateTime utc = date.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", d.year(), d.month(), d.day(), t.hour(),
                             t.minute(), t.second(), t.msec());
}

QDateTime decodeDate(const QString &text)
{
    if (auto date = readDate(text))
        return *date;
    throw DecodingError(QStringLiteral("Bad ISO 8601 date: ") + text);
}

QJsonObject parseObject(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(QStringLiteral("Not valid JSON: ") + error.errorString());
    if (!document.isObject())
        throw DecodingError(QStringLiteral("Expected a JSON object"));
    return document.object();
}

QByteArray serialize(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString requireString(const QJsonObject &object, const char *key) { return asString(required(object, key), key); }

std::optional<QString> optionalString(const QJsonObject &object, const char *key)
{
    if (auto value = present(object, key))
        return asString(*value, key);
    return std::nullopt;
}

bool requireBool(const QJsonObject &object, const char *key) { return asBool(required(object, key), key); }

std::optional<bool> optionalBool(const QJsonObject &object, const char *key)
{
    if (auto value = present(object, key))
        return asBool(*value, key);
    return std::nullopt;
}

double requireNumber(const QJsonObject &object, const char *key) { return asNumber(required(object, key), key); }

std::optional<double> optionalNumber(const QJsonObject &object, const char *key)
{
    if (auto value = present(object, key))
        return asNumber(*value, key);
    return std::nullopt;
}

qint64 requireInt(const QJsonObject &object, const char *key) { return asInt(required(object, key), key); }

std::optional<qint64> optionalInt(const QJsonObject &object, const char *key)
{
    if (auto value = present(object, key))
        return asInt(*value, key);
    return std::nullopt;
}

QDateTime requireDate(const QJsonObject &object, const char *key) { return asDate(required(object, key), key); }

std::optional<QDateTime> optionalDate(const QJsonObject &object, const char *key)
{
    if (auto value = present(object, key))
        return asDate(*value, key);
    return std::nullopt;
}

QJsonObject requireObject(const QJsonObject &object, const char *key)
{
    return asObject(required(object, key), key);
}

std::optional<QJsonObject> optionalObject(const QJsonObject &object, const char *key)
{
    if (auto value = present(object, key))
        return asObject(*value, key);
    return std::nullopt;
}

QJsonArray requireArray(const QJsonObject &object, const char *key) { return asArray(required(object, key), key); }

std::optional<QJsonArray> optionalArray(const QJsonObject &object, const char *key)
{
    if (auto value = present(object, key))
        return asArray(*value, key);
    return std::nullopt;
}

} // namespace OrvalenJSON
