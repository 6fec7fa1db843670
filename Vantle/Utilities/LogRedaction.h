#pragma once

#include <QString>

// What must never reach a log: every line passes through here before any sink sees it.
namespace LogRedaction {

// Never destroyed: a log writer left behind at exit may still redact while the program's
// statics are torn down.
inline const QString &marker = *new const QString(QStringLiteral("<redacted>"));
inline const QString &emailMarker = *new const QString(QStringLiteral("<email>"));
inline const QString &truncationSuffix = *new const QString(QStringLiteral(" \u2026 [truncated]"));

// The line with secrets replaced: authorization headers and fields (only a known scheme
// stays readable, and of a Digest credential the user and realm), bearer and other
// credentials (also after an encoded blank), cookies, session and refresh tokens (by name,
// "oas_…"/"rt_…" by shape, and as key=value, "key":"value" or JSON-escaped pairs, a quoted
// value whole), DPoP proofs and other JWTs, authorization codes
// (named, or in a form body) and PKCE verifiers, passwords and API keys, the query and
// fragment of every URL, and e-mail addresses in any script. Error codes, endpoints
// without their query and support codes stay readable. Redacting a redacted line changes
// nothing. Never fails.
QString redact(const QString &line);

// At most `maxLength` UTF-16 units of `line`, cut cleanly: never inside a surrogate pair,
// at a space when one lies near the end, followed by " … [truncated]". A line that fits
// comes back unchanged. Cut after redacting: a cut can leave half a secret no rule knows.
QString cut(const QString &line, qsizetype maxLength);
// The same, marked as cut also when it fits: for a line that was cut short before.
QString markedCut(const QString &line, qsizetype maxLength);

} // namespace LogRedaction
