#include "OrvalenAccount/Internal/OrvalenDeprecationParser.h"

#include "OrvalenAccount/OrvalenJSON.h"

#include <QMap>
#include <QRegularExpression>
#include <QTimeZone>

namespace OrvalenDeprecationParser {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString trimmed(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// An absolute URL, or a reference the URL parser accepts as it stands.
std::optional<QUrl> urlFrom(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace

QStringList splitTopLevelCommas(const QString &value)
{
    return value.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

QList<OrvalenDeprecationNotice> parse(const QString &headerValue)
{
    QList<OrvalenDeprecationNotice> notices;
    for (const QString &entry : splitTopLevelCommas(headerValue)) {
        if (std::optional<OrvalenDeprecationNotice> notice = parseSingle(trimmed(entry)))
            notices.append(std::move(*notice));
    }
    return notices;
}

std::optional<OrvalenDeprecationNotice> parseSingle(const QString &entry)
{
    QStringList pieces;
    for (const QString &piece : entry.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString t = trimmed(piece);
        if (!t.isEmpty())
            pieces.append(t);
    }
    if (pieces.isEmpty())
        return std::nullopt;

    const QString kind = pieces.first().toLower();
    QMap<QString, QString> parameters;
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        QString piece = pieces.at(i);
        // "=" characters at the very start name no key; the split is at the first one after text.
        qsizetype start = 0;
        while (start < piece.size() && piece.at(start) == QLatin1Char('='))
            ++start;
        const qsizetype eq = piece.indexOf(QLatin1Char('='), start);
        if (eq < 0)
            continue;
        const QString key = trimmed(piece.mid(start, eq - start)).toLower();
        const QString rawValue = piece.mid(eq + 1);
        if (key.isEmpty() || rawValue.isEmpty())
            continue;
        parameters.insert(key, trimmed(rawValue));
    }

    const auto value = [&parameters](const char *key) -> std::optional<QString> {
        const auto it = parameters.constFind(QString::fromLatin1(key));
        if (it == parameters.cend())
            return std::nullopt;
        return *it;
    };

    if (kind == QLatin1String("endpoint")) {
        std::optional<QUrl> replacement;
        if (const auto text = value("replacement"))
            replacement = urlFrom(*text);
        std::optional<QDateTime> expires;
        if (const auto text = value("expires"))
            expires = parseISO8601(*text);
        return OrvalenDeprecationNotice::endpoint(replacement, expires, value("reason"));
    }
    if (kind == QLatin1String("client")) {
        const std::optional<QString> minVersion = value("min-version");
        if (!minVersion)
            return std::nullopt;
        return OrvalenDeprecationNotice::client(*minVersion, value("current"), value("reason"));
    }
    return std::nullopt;
}

std::optional<QDateTime> parseISO8601(const QString &text)
{
    // Anchored to the whole text: "$" alone would also match before a final newline.
    static const QRegularExpression internet(QRegularExpression::anchoredPattern(QStringLiteral(
        "([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})(Z|([+-])([0-9]{2}):([0-9]{2}))")));
    static const QRegularExpression plainDate(
        QRegularExpression::anchoredPattern(QStringLiteral("([0-9]{4})-([0-9]{2})-([0-9]{2})")));

    if (const QRegularExpressionMatch m = internet.match(text); m.hasMatch()) {
        const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        const int h = m.captured(4).toInt();
        const int min = m.captured(5).toInt();
        const int s = m.captured(6).toInt();
        int offsetSeconds = 0;
        bool offsetOk = true;
        if (m.captured(7) != QLatin1String("Z")) {
            const int oh = m.captured(9).toInt();
            const int om = m.captured(10).toInt();
            offsetOk = oh <= 23 && om <= 59;
            offsetSeconds = (oh * 3600 + om * 60) * (m.captured(8) == QLatin1String("-") ? -1 : 1);
        }
        // The offset is applied by hand: a time zone of Qt's own ends at +-14:00 and
        // beyond that would quietly read as UTC. The instant must stay within the years
        // every date reader of the account layer accepts.
        if (date.isValid() && QTime::isValid(h, min, s) && offsetOk) {
            const QDateTime instant = QDateTime(date, QTime(h, min, s), QTimeZone::utc()).addSecs(-offsetSeconds);
            if (OrvalenJSON::isEncodableDate(instant))
                return instant;
        }
    }
    if (const QRegularExpressionMatch m = plainDate.match(text); m.hasMatch()) {
        const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (date.isValid())
            return QDateTime(date, QTime(0, 0), QTimeZone::utc());
    }
    return std::nullopt;
}

QList<OrvalenDeprecationNotice> notices(const HTTPResponse &response)
{
    const std::optional<QString> value = response.header(headerName);
    if (!value)
        return {};
    return parse(*value);
}

} // namespace OrvalenDeprecationParser
