#include "Vantle/Utilities/LogRecord.h"

#include <QDateTime>

#include <chrono>
#include <cstdio>

namespace {
void appendEscaped(QString &out, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    out.append(QLatin1Char('"'));
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            out.append(c);
            out.append(text.at(++i));
            continue;
        }
        if (c.isSurrogate()) {
            out.append(QChar(0xFFFD));
            continue;
        }
        switch (u) {
        case u'"': out.append(QLatin1String("\\\"")); continue;
        case u'\\': out.append(QLatin1String("\\\\")); continue;
        case u'\n': out.append(QLatin1String("\\n")); continue;
        case u'\r': out.append(QLatin1String("\\r")); continue;
        case u'\t': out.append(QLatin1String("\\t")); continue;
        default: break;
        }
        if (u < 0x20 || u == 0x7F) {
            out.append(QLatin1String("\\u00"));
            out.append(QLatin1Char(hex[(u >> 4) & 0xF]));
            out.append(QLatin1Char(hex[u & 0xF]));
            continue;
        }
        out.append(c);
    }
    out.append(QLatin1Char('"'));
}
} // namespace

QString LogRecord::levelName(SystemLogLevel level)
{
    switch (level) {
    case SystemLogLevel::debug: return QStringLiteral("debug");
    case SystemLogLevel::info: return QStringLiteral("info");
    case SystemLogLevel::warn: return QStringLiteral("warn");
    case SystemLogLevel::error: return QStringLiteral("error");
    }
    return QStringLiteral("info");
}

SystemLogLevel LogRecord::parseLevel(const QString &name)
{
    if (name == QLatin1String("debug"))
        return SystemLogLevel::debug;
    if (name == QLatin1String("warn"))
        return SystemLogLevel::warn;
    if (name == QLatin1String("error"))
        return SystemLogLevel::error;
    return SystemLogLevel::info;
}

QString LogRecord::timeText() const
{
    // By hand: QDateTime's formatting costs more than the rest of the line together.
    using namespace std::chrono;
    const sys_time<milliseconds> time{milliseconds(timeMs)};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> clock{time - day};
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                                     static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                                     static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                                     static_cast<int>(clock.seconds().count()),
                                     static_cast<int>(clock.subseconds().count()));
    return QString::fromLatin1(text, length);
}

QByteArray LogRecord::toJsonLine() const
{
    QString line;
    line.reserve(96 + subsystem.size() + category.size() + message.size());
    line.append(QLatin1String("{\"time\":\""));
    line.append(timeText());
    line.append(QLatin1String("\",\"level\":\""));
    line.append(levelName(level));
    line.append(QLatin1String("\",\"subsystem\":"));
    appendEscaped(line, subsystem);
    line.append(QLatin1String(",\"category\":"));
    appendEscaped(line, category);
    line.append(QLatin1String(",\"message\":"));
    appendEscaped(line, message);
    line.append(QLatin1String("}\n"));
    return line.toUtf8();
}

QJsonObject LogRecord::toJson() const
{
    return QJsonObject{
        {QStringLiteral("time"), timeText()},
        {QStringLiteral("level"), levelName(level)},
        {QStringLiteral("subsystem"), subsystem},
        {QStringLiteral("category"), category},
        {QStringLiteral("message"), message},
    };
}
