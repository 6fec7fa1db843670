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
// Not at what a rule put there; any other value may start with "<".
#define VANTLE_NOT_MARKER "(?!<redacted>|<email>)"
// What a credential is made of: base64 (standard and URL-safe) with its padding, the
// other characters of RFC 6750's token68, and percent escapes.
#define VANTLE_TOKEN_CHARS "A-Za-z0-9\\-._~+/=%"
// Between a scheme and its credential: blanks, or a blank as a URL or a form encodes it.
#define VANTLE_SCHEME_GAP "(?:\\s+|%20|\\+)"
// A quote, JSON-escaped once or more too.
#define VANTLE_QUOTE "\\\\*[\"']"
// A name's end up to its value: an optional quote, ":" or "=".
#define VANTLE_KEY_END "(?:" VANTLE_QUOTE ")?\\s*[:=]\\s*+(?:" VANTLE_QUOTE ")?"
// What ends a named value: blanks, quotes, backslashes, separators and closing brackets.
#define VANTLE_VALUE_END "\\s\"'\\\\&,;}\\])"
// The names whose value is a secret.
#define VANTLE_SECRET_NAMES                                                                          \
    "oas|session_?token|x-orvalen-app-session|access_?token|refresh_?token|id_?token|token|dpop"     \
    "|auth_?code|authorization_?code|code_?verifier|client_?secret|secret|password|passwd"           \
    "|(?:x-)?api[_\\-]?key|private_?key"
// Where a key of any rule below begins: a name of a secret, an authorization or a cookie,
// up to its ":" or "=".
#define VANTLE_KEY_NAME "\\b(?:" VANTLE_SECRET_NAMES "|(?:proxy-)?authorization|(?:set-)?cookie)\\b"
#define VANTLE_NEXT_KEY VANTLE_KEY_NAME "(?:" VANTLE_QUOTE ")?\\s*[:=]"
// Where what follows is no longer part of the value before it: the next key, a scheme word
// with its credential after a blank, or a URL (a scheme of letters: a credential holding
// "+" or "." before "://" is no scheme). A value that ran on into them would leave behind
// what their own rules take out ("a=x:token=\"…\"", "a=x(token: …", "a=x=https://…#code=…").
#define VANTLE_NEXT "(?:" VANTLE_NEXT_KEY "|\\b(?:bearer|dpop|basic)\\s|\\b[A-Za-z]+://)"
#define VANTLE_VALUE_CHAR "(?:(?!" VANTLE_NEXT ")[^" VANTLE_VALUE_END "])"
// A named value. It never starts at what a rule put there, nor at the next key (the value
// is empty, and the gap before it reached the next key) or at a URL with a query; after a
// blank, not at a path with a query either: the query rules take those out whole.
#define VANTLE_VALUE                                                                                 \
    VANTLE_NOT_MARKER "(?!" VANTLE_NEXT_KEY "|[A-Za-z][A-Za-z0-9+.\\-]*://(?:" VANTLE_MARKERS "|[^?#" VANTLE_TOKEN_END \
    "])*[?#])(?:(?<!\\s)|(?!/(?:" VANTLE_MARKERS "|[^?#:" VANTLE_TOKEN_END "])*\\?))[^" VANTLE_VALUE_END "]"     \
    VANTLE_VALUE_CHAR "*"
// The value after a scheme word: whatever it starts with, it is the credential.
#define VANTLE_SCHEME_VALUE VANTLE_NOT_MARKER "(?!" VANTLE_NEXT_KEY ")[^" VANTLE_VALUE_END "]" VANTLE_VALUE_CHAR "*"
// One character of a credential after a scheme where no name stands before it.
#define VANTLE_CREDENTIAL_CHAR "(?:(?!" VANTLE_NEXT ")[" VANTLE_TOKEN_CHARS "])"
// A "key=value" field of a log line, which a credential never looks like: its "=" is
// padding at the end.
#define VANTLE_FIELD "(?-i:[a-z][a-z0-9_]*=[^=\\s])"
// A character of a query: it ends where a token does, and before the backslashes that
// escape a quote, which would otherwise end the quoted text around it somewhere else.
#define VANTLE_QUERY_CHAR "(?!\\\\+[\"'])[^" VANTLE_TOKEN_END "]"
// The authorization schemes that stay readable before their credential. Any other word
// there may be the credential itself, and goes with it.
#define VANTLE_KNOWN_SCHEMES                                                                         \
    "bearer|basic|dpop|token|digest|negotiate|ntlm|oauth|hoba|mutual|gnap|vapid|privatetoken"       \
    "|concealed|scram-sha-1|scram-sha-256|aws4-hmac-sha256"
// The parameters of a Digest credential: a list of them after the scheme is no credential
// of its own; the Digest rule takes out those that are.
#define VANTLE_DIGEST_PARAM "(?:username\\*?|realm|uri|response|algorithm|c?nonce|opaque|qop|nc|userhash)\\s*="
// A quoted value after its opening quote (group 2 the quote's backslashes, 3 the quote),
// up to its closing quote: escaped quotes and backslashes inside included, at the depth of
// escaping the opening quote had. Each level of escaping doubles the backslashes of the one
// inside it and adds one, so the closing quote has as many as the opening one, after any
// number of escaped backslashes (each 2n + 2 of them at depth n).
#define VANTLE_CLOSER "\\2\\3"
#define VANTLE_ESCAPED_BACKSLASH "(?:\\2\\2\\\\\\\\)"
#define VANTLE_QUOTED_CONTENT                                                                        \
    "(?:(?!\\3|" VANTLE_NEXT_KEY ")[^\\\\\\r\\n]|\\\\++(?!\\3)"                                         \
    "|(?!" VANTLE_ESCAPED_BACKSLASH "*+" VANTLE_CLOSER ")\\\\++\\3"                                           \
    "|(?=" VANTLE_ESCAPED_BACKSLASH "*+" VANTLE_CLOSER ")" VANTLE_ESCAPED_BACKSLASH "++)++(?=" VANTLE_CLOSER ")"

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
bool hasDigest(const QString &lower) { return has(lower, u"digest"); }
bool hasQuote(const QString &lower)
{
    return std::any_of(lower.cbegin(), lower.cend(), [](QChar c) { return c == u'"' || c == u'\''; });
}
bool hasQuotedSecret(const QString &lower) { return hasQuote(lower) && hasSecretName(lower); }
bool hasQuotedCredential(const QString &lower)
{
    return hasQuote(lower) && (hasAuthorization(lower) || hasAuthScheme(lower));
}

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
        // Cookies, whole: their names say nothing of which value is a session. A cookie
        // stops only at a quote or a line's end, so it leaves a key whose name or value is
        // quoted, or whose value is on the next line, to that key's own rule.
        {re("(\\b(?:set-)?cookie\\b" VANTLE_KEY_END ")" VANTLE_NOT_MARKER "(?:(?!" VANTLE_KEY_NAME "(?:" VANTLE_QUOTE
            "|\\s*[:=][ \\t]*+(?:" VANTLE_QUOTE "|[\\r\\n])))[^\\r\\n\"'\\\\])+",
            anyCase),
         QStringLiteral("\\1") + m, hasCookie},
        // A quoted credential after its scheme, whole.
        {re("((?:\\b(?:proxy-)?authorization\\b" VANTLE_KEY_END "(?:" VANTLE_KNOWN_SCHEMES ")|(?:\\b|(?<=%20))"
            "(?:bearer|dpop|basic))" VANTLE_SCHEME_GAP "(\\\\*)([\"']))" VANTLE_QUOTED_CONTENT,
            anyCase),
         QStringLiteral("\\1") + m, hasQuotedCredential},
        // An authorization header or field, also inside a query or a form body. A known
        // scheme ("Bearer", "Token", "DPoP" ...) stays readable; any other first word may be
        // the credential, and goes with the word after it unless that is a field of its own.
        // That word starts as a credential does and runs on as a value does: the credential
        // of a scheme unknown here need not be token68 ("AWS <key id>:<signature>"). A
        // credential may be quoted; the parameters of a Digest one are left to its own rule.
        {re("(\\b(?:proxy-)?authorization\\b" VANTLE_KEY_END ")"
            "(?:(?!" VANTLE_NEXT_KEY ")(?|(digest" VANTLE_SCHEME_GAP "(?:" VANTLE_QUOTE ")?)(?!" VANTLE_DIGEST_PARAM ")"
            "|((?!digest)(?:" VANTLE_KNOWN_SCHEMES ")" VANTLE_SCHEME_GAP "(?:" VANTLE_QUOTE ")?))" VANTLE_SCHEME_VALUE
            "|(?!(?:" VANTLE_KNOWN_SCHEMES ")" VANTLE_SCHEME_GAP ")" VANTLE_VALUE
            "(?:[ \\t]+(?!" VANTLE_FIELD "|(?:" VANTLE_KNOWN_SCHEMES ")" VANTLE_SCHEME_GAP ")" VANTLE_CREDENTIAL_CHAR
            VANTLE_VALUE_CHAR "*)?)",
            anyCase),
         QStringLiteral("\\1\\2") + m, hasAuthorization},
        // Credentials after an authorization scheme, wherever they stand (also after a blank
        // a URL encodes).
        {re("(?:\\b|(?<=%20))(bearer)(" VANTLE_SCHEME_GAP ")" VANTLE_CREDENTIAL_CHAR "+", anyCase),
         QStringLiteral("\\1\\2") + m, hasAuthScheme},
        {re("(?:\\b|(?<=%20))(dpop|basic)(" VANTLE_SCHEME_GAP ")" VANTLE_CREDENTIAL_CHAR "{16,}", anyCase),
         QStringLiteral("\\1\\2") + m, hasAuthScheme},
        // The credentials among a Digest header's parameters (its hash and nonces), one at a
        // time, each match going on from where the one before ended; the user and the realm
        // stay readable.
        {re("((?:\\bdigest" VANTLE_SCHEME_GAP "|\\G(?!^)\\s*,\\s*)"
            "(?:[A-Za-z][A-Za-z0-9_\\-]*\\*?\\s*=\\s*(?:\"(?:[^\"\\\\\\r\\n]|\\\\.)*\"|[^\\s,\"]*)\\s*,\\s*)*?"
            "\\b(?:response|c?nonce)\\s*=\\s*)(?|(\")(?:[^\"\\\\\\r\\n]|\\\\.)++(\"?)|()(?:(?!" VANTLE_NEXT_KEY
            ")[^\\s,\"\\\\])++())",
            anyCase),
         QStringLiteral("\\1\\2") + m + QStringLiteral("\\3"), hasDigest},
        // JWTs: DPoP proofs, ID tokens; also one cut short after its first part.
        {re("\\beyJ[A-Za-z0-9_\\-]+(?:\\.[A-Za-z0-9_\\-]*)+"), m, hasJwt},
        // Named secrets with a quoted value ("key":"value", \"key\":\"value\", key='value'):
        // the whole value, blanks and escaped quotes included.
        {re("(\\b(?:" VANTLE_SECRET_NAMES ")\\b(?:" VANTLE_QUOTE ")?\\s*[:=]\\s*+(\\\\*)([\"']))" VANTLE_QUOTED_CONTENT,
            anyCase),
         QStringLiteral("\\1") + m, hasQuotedSecret},
        // Named secrets as key=value or key: value, and a quoted one that never closes. A
        // scheme word stays readable only as a word of its own ("token: Bearer …"); glued
        // to the rest ("basic-horse…", "dpop.abc…") it is part of the secret.
        {re("(\\b(?:" VANTLE_SECRET_NAMES ")\\b" VANTLE_KEY_END ")"
            "(?:((?:bearer|dpop|basic)\\s+(?:" VANTLE_QUOTE ")?)" VANTLE_SCHEME_VALUE "|(?!(?:bearer|dpop|basic)\\s)"
            VANTLE_VALUE ")",
            anyCase),
         QStringLiteral("\\1\\2") + m, hasSecretName},
        // The code of a form body, a query or a fragment ("…&code=…"); a code that stands
        // alone is a support or error code and stays, and so does an empty one, before the
        // "?<redacted>" the query rule leaves of a fragment.
        {re("([&?#](?:device_|user_)?code=)(?![?]?(?:" VANTLE_MARKERS "))(?:(?!" VANTLE_NEXT ")[^" VANTLE_VALUE_END
            "#])+",
            anyCase),
         QStringLiteral("\\1") + m, hasCodeField},
        // E-mail addresses in any script; before the token shapes, which would otherwise
        // take "rt_…" out of the middle of one and leave the rest of the address.
        {re("[\\p{L}\\p{M}\\p{N}._%+\\-]+@[\\p{L}\\p{M}\\p{N}\\-]+(?:\\.[\\p{L}\\p{M}\\p{N}\\-]+)*"), emailMarker,
         hasAt},
        // Session and refresh tokens by their shape, wherever they stand.
        {re("\\b(?:oas|rt)_[" VANTLE_TOKEN_CHARS "_]+"), m, hasTokenShape},
        // The query and fragment of an absolute URL: codes, states and tokens travel there.
        // What the rules above left in it stays inside it, its scheme too.
        {re("((?:\\b[A-Za-z][A-Za-z0-9+.\\-]*|" VANTLE_MARKERS ")://(?:" VANTLE_MARKERS "|[^?#" VANTLE_TOKEN_END
            "])*)[?#](?:" VANTLE_MARKERS "|" VANTLE_QUERY_CHAR ")*"),
         QStringLiteral("\\1?") + m, hasScheme},
        // The query of a path given alone ("/api/x?code=…").
        {re("(?<![^\\s=:\"'(\\[,])(/(?:" VANTLE_MARKERS "|[^?#" VANTLE_TOKEN_END "])*)\\?(?:" VANTLE_MARKERS
            "|" VANTLE_QUERY_CHAR ")+"),
         QStringLiteral("\\1?") + m, hasQuestion},
    };
}
#undef VANTLE_QUOTED_CONTENT
#undef VANTLE_ESCAPED_BACKSLASH
#undef VANTLE_CLOSER
#undef VANTLE_DIGEST_PARAM
#undef VANTLE_KNOWN_SCHEMES
#undef VANTLE_QUERY_CHAR
#undef VANTLE_FIELD
#undef VANTLE_CREDENTIAL_CHAR
#undef VANTLE_VALUE_CHAR
#undef VANTLE_VALUE
#undef VANTLE_SCHEME_VALUE
#undef VANTLE_NEXT
#undef VANTLE_NEXT_KEY
#undef VANTLE_KEY_NAME
#undef VANTLE_SECRET_NAMES
#undef VANTLE_MARKERS
#undef VANTLE_KEY_END
#undef VANTLE_QUOTE
#undef VANTLE_NOT_MARKER
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
        // Rules meet in one line: what one takes out can change where another's value ends,
        // or whether it applies at all (a key that cut a quoted value short is gone once its
        // own value is). So the rules run again until they change nothing, which makes a
        // redacted line redact to itself. A line with no secret takes one pass, nearly every
        // other two.
        for (int pass = 0; pass < 4; ++pass) {
            const QString before = out;
            for (const Rule &rule : rules) {
                if (rule.applies(lower))
                    out.replace(rule.pattern, rule.replacement);
            }
            if (out == before)
                return out;
        }
        // Never seen: rules that went on changing the line leave none of it.
        return marker;
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
