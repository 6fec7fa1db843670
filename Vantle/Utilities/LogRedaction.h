#pragma once

#include <QString>

// What must never reach a log: every line passes through here before any sink sees it.
namespace LogRedaction {

inline const QString marker = QStringLiteral("<redacted>");
inline const QString emailMarker = QStringLiteral("<email>");

// The line with secrets replaced: bearer and other authorization credentials, session
// and refresh tokens (by name, "oas_…"/"rt_…" by shape, and as key=value or "key":"value"
// pairs), DPoP proofs and other JWTs, authorization codes and PKCE verifiers, passwords
// and keys, the query and fragment of every URL, and e-mail addresses. Error codes,
// endpoints without their query and support codes stay readable. Never fails.
QString redact(const QString &line);

// At most `maxLength` UTF-16 units of `line`, cut cleanly: never inside a surrogate pair,
// at a space when one lies near the end, followed by " … [truncated]". A line that fits
// comes back unchanged.
QString cut(const QString &line, qsizetype maxLength);

} // namespace LogRedaction
