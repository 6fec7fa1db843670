#include "Vantle/Utilities/LogRedaction.h"

#include <QRegularExpression>

#include <algorithm>
#include <string_view>

namespace LogRedaction {

namespace {
// The characters that end a token in a log line.
#define VANTLE_TOKEN_END "\\s\"'<>"
// What the rules put in place of what they take out.
#define VANTLE_MARKERS "<redacted>|<email>"
// What a credential is made of: base64 (standard and URL-safe) with its padding, the
// other characters of RFC 6750's token68, and percent escapes.
#define VANTLE_TOKEN_CHARS "A-Za-z0-9\\-._~+/=%"
// Between a scheme and its credential: blanks, or a blank as a URL or a form encodes it.
#define VANTLE_SCHEME_GAP "(?:\\s+|%20|\\+)"
// A name's end up to its value: an optional quote (JSON-escaped too), ":" or "=".
#define VANTLE_KEY_END "(?:\\\\?[\"'])?\\s*[:=]\\s*+(?:\\\\?[\"'])?"
// What ends a named value: blanks, quotes, backslashes, separators and closing brackets.
#define VANTLE_VALUE_END "\\s\"'\\\\&,;}\\])"

struct Rule {
    QRegularExpression pattern;
    QString replacement;
    // A cheap look at the lower-cased line: false when the pattern cannot match.
    bool (*applies)(const QString &lower);
};

// Qt 6.4's substring search costs far more than the standard library's on short lines.
bool has(const QString &lower, std::u16string_view needle)
{
    return std::u16string_view(reinterpret_cast<const char16_t *>(lower.utf16()), static_cast<std::size_t>(lower.size()))
               .find(needle)
        != std::u16string_view::npos;
}

bool hasScheme(const QString &lower) { return has(lower, u"://"); }
bool hasQuestion(const QString &lower) { return has(lower, u"?"); }
bool hasJwt(const QString &lower) { return has(lower, u"eyj"); }
bool hasAuthScheme(const QString &lower)
{
    return has(lower, u"bearer") || has(lower, u"dpop") || has(lower, u"basic");
}
// Nearly every line has a key=value pair, so the names themselves decide whether the
// expensive rule runs; each name of that rule contains one of these.
bool hasSecretName(const QString &lower)
{
    static constexpr std::u16string_view names[] = {
        u"oas", u"token", u"session", u"dpop", u"auth", u"code", u"secret", u"passw", u"key",
    };
    if (!has(lower, u"=") && !has(lower, u":"))
        return false;
    for (const std::u16string_view name : names) {
        if (has(lower, name))
            return true;
    }
    return false;
}
// "oas_" or "rt_" at the start of a word ("start_" does not count).
bool hasTokenShape(const QString &lower)
{
    const std::u16string_view text(reinterpret_cast<const char16_t *>(lower.utf16()),
                                   static_cast<std::size_t>(lower.size()));
    for (const std::u16string_view prefix : {std::u16string_view(u"oas_"), std::u16string_view(u"rt_")}) {
        for (std::size_t at = text.find(prefix); at != std::u16string_view::npos; at = text.find(prefix, at + 1)) {
            if (at == 0)
                return true;
            const QChar before(text[at - 1]);
            if (!before.isLetterOrNumber() && before != QLatin1Char('_'))
                return true;
        }
    }
    return false;
}
bool hasAt(const QString &lower) { return has(lower, u"@"); }
bool hasCookie(const QString &lower) { return has(lower, u"cookie"); }
bool hasAuthorization(const QString &lower) { return has(lower, u"authorization"); }
bool hasCodeField(const QString &lower) { return has(lower, u"code="); }

// Every rule takes out one shape of secret on its own, whatever ran before it: the specific
// shapes come first, the query rules, which take out whole queries, last. A rule never
// takes a marker for a secret, so a line redacted twice reads as redacted once.
QList<Rule> makeRules()
{
    const auto re = [](const char *pattern, QRegularExpression::PatternOptions options = {}) {
        QRegularExpression expression(QString::fromLatin1(pattern), options);
        expression.optimize();
        return expression;
    };
    constexpr auto anyCase = QRegularExpression::CaseInsensitiveOption;
    const QString m = marker;
    return {
        // Cookies, whole: their names say nothing of which value is a session.
        {re("(\\b(?:set-)?cookie\\b" VANTLE_KEY_END ")(?!<)[^\\r\\n\"'\\\\]+", anyCase), QStringLiteral("\\1") + m,
         hasCookie},
        // An authorization header or field with any scheme ("Bearer", "Token", "DPoP" ...),
        // also inside a query or a form body; the scheme stays readable.
        {re("(\\b(?:proxy-)?authorization\\b" VANTLE_KEY_END ")(?>([A-Za-z][A-Za-z0-9_\\-]*" VANTLE_SCHEME_GAP
            ")?)(?!<)[^" VANTLE_VALUE_END "]+",
            anyCase),
         QStringLiteral("\\1\\2") + m, hasAuthorization},
        // Credentials after an authorization scheme, wherever they stand.
        {re("\\b(bearer)(" VANTLE_SCHEME_GAP ")[" VANTLE_TOKEN_CHARS "]+", anyCase), QStringLiteral("\\1\\2") + m,
         hasAuthScheme},
        {re("\\b(dpop|basic)(" VANTLE_SCHEME_GAP ")[" VANTLE_TOKEN_CHARS "]{16,}", anyCase),
         QStringLiteral("\\1\\2") + m, hasAuthScheme},
        // JWTs: DPoP proofs, ID tokens; also one cut short after its first part.
        {re("\\beyJ[A-Za-z0-9_\\-]+(?:\\.[A-Za-z0-9_\\-]*)+"), m, hasJwt},
        // Named secrets as key=value, key: value, "key":"value" or \"key\":\"value\".
        {re("(\\b(?:oas|session_?token|x-orvalen-app-session|access_?token|refresh_?token|id_?token|token"
            "|dpop|auth_?code|authorization_?code|code_?verifier|client_?secret|secret"
            "|password|passwd|(?:x-)?api[_\\-]?key|private_?key)\\b" VANTLE_KEY_END ")"
            "(?!<|bearer\\b|dpop\\b|basic\\b)[^" VANTLE_VALUE_END "]+",
            anyCase),
         QStringLiteral("\\1") + m, hasSecretName},
        // The code of a form body or a query ("…&code=…"); a code that stands alone is a
        // support or error code and stays.
        {re("([&?](?:device_|user_)?code=)(?!<)[^" VANTLE_VALUE_END "#]+", anyCase), QStringLiteral("\\1") + m,
         hasCodeField},
        // Session and refresh tokens by their shape, wherever they stand.
        {re("\\b(?:oas|rt)_[" VANTLE_TOKEN_CHARS "_]+"), m, hasTokenShape},
        // E-mail addresses in any script.
        {re("[\\p{L}\\p{M}\\p{N}._%+\\-]+@[\\p{L}\\p{M}\\p{N}\\-]+(?:\\.[\\p{L}\\p{M}\\p{N}\\-]+)*"), emailMarker,
         hasAt},
        // The query and fragment of an absolute URL: codes, states and tokens travel there.
        // What the rules above left in it stays inside it.
        {re("\\b([A-Za-z][A-Za-z0-9+.\\-]*://(?:" VANTLE_MARKERS "|[^?#" VANTLE_TOKEN_END "])*)[?#](?:" VANTLE_MARKERS
            "|[^" VANTLE_TOKEN_END "])*"),
         QStringLiteral("\\1?") + m, hasScheme},
        // The query of a path given alone ("/api/x?code=…").
        {re("(?<![^\\s=:\"'(\\[,])(/(?:" VANTLE_MARKERS "|[^?#" VANTLE_TOKEN_END "])*)\\?(?:" VANTLE_MARKERS
            "|[^" VANTLE_TOKEN_END "])+"),
         QStringLiteral("\\1?") + m, hasQuestion},
    };
}
#undef VANTLE_MARKERS
#undef VANTLE_KEY_END
#undef VANTLE_SCHEME_GAP
#undef VANTLE_TOKEN_CHARS
#undef VANTLE_VALUE_END
#undef VANTLE_TOKEN_END
} // namespace

QString redact(const QString &line)
{
    try {
        // One set per thread: the log writer and a report builder may redact at once.
        static thread_local const QList<Rule> rules = makeRules();
        // Rules only ever take text out, so what the original line lacks, the line being
        // redacted lacks too.
        const QString lower = line.toLower();
        QString out = line;
        for (const Rule &rule : rules) {
            if (rule.applies(lower))
                out.replace(rule.pattern, rule.replacement);
        }
        return out;
    } catch (...) {
        // Better no line than a line with a secret in it.
        return marker;
    }
}

QString cut(const QString &line, qsizetype maxLength)
{
    if (line.size() <= maxLength)
        return line;
    return markedCut(line, maxLength);
}

QString markedCut(const QString &line, qsizetype maxLength)
{
    qsizetype keep = std::min(line.size(), std::max<qsizetype>(0, maxLength - truncationSuffix.size()));
    if (keep > 0 && keep < line.size() && line.at(keep - 1).isHighSurrogate())
        --keep;
    // A cut through the middle of a word could leave half a secret that no rule
    // recognises any more; a nearby space avoids that.
    const qsizetype space = keep > 0 && keep < line.size() ? line.lastIndexOf(QLatin1Char(' '), keep - 1) : -1;
    if (space >= 0 && keep - space <= 256)
        keep = space;
    return line.left(keep) + truncationSuffix;
}

} // namespace LogRedaction
