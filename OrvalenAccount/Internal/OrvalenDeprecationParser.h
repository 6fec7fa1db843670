#pragma once

#include "OrvalenAccount/Internal/HTTPResponse.h"
#include "OrvalenAccount/OrvalenDeprecationNotice.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Reads the identity service's "Orvalen-Deprecation" header. Never fails: text it
// cannot read gives fewer notices.
//
// Grammar: entries separated by commas (every comma, quotes mean nothing here),
// each a kind ("endpoint" or "client", any case) followed by ";"-separated
// key=value parameters (keys in any case, values taken literally).
namespace OrvalenDeprecationParser {
inline const QByteArray headerName = QByteArrayLiteral("Orvalen-Deprecation");

QList<OrvalenDeprecationNotice> parse(const QString &headerValue);
std::optional<OrvalenDeprecationNotice> parseSingle(const QString &entry);
QStringList splitTopLevelCommas(const QString &value);
// RFC 3339 without fractional seconds ("2026-09-01T10:00:00Z", "...+02:00"), else a
// plain "yyyy-MM-dd" as midnight UTC, else nothing; an instant outside the years 0001 to
// 9999 in UTC is nothing too, as for every date the account layer reads.
std::optional<QDateTime> parseISO8601(const QString &text);

// The notices of an answer's header; empty when the header is absent.
QList<OrvalenDeprecationNotice> notices(const HTTPResponse &response);
} // namespace OrvalenDeprecationParser
