#pragma once

#include "Platform/SystemLog.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// One log line as the sinks keep it, after redaction.
struct LogRecord {
    qint64 timeMs = 0; // milliseconds since 1970, UTC
    SystemLogLevel level = SystemLogLevel::info;
    QString subsystem;
    QString category;
    QString message;

    // "debug", "info", "warn", "error".
    static QString levelName(SystemLogLevel level);
    // The level of a name; anything but "debug", "warn" and "error" reads as info.
    static SystemLogLevel parseLevel(const QString &name);

    // The time as RFC 3339 UTC with milliseconds ("2024-05-01T09:30:00.125Z").
    QString timeText() const;
    // One JSON object on one line, newline included:
    // {"time":…,"level":…,"subsystem":…,"category":…,"message":…}. Control characters,
    // newlines among them, are escaped, and an unpaired surrogate becomes U+FFFD, so the
    // line always parses and never spans two lines.
    QByteArray toJsonLine() const;
    QJsonObject toJson() const;
};
