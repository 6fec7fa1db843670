#include "Vantle/Utilities/LogRedaction.h"

#include <QRegularExpression>

#include <string_view>

namespace LogRedaction {

namespace {
// The characters that end a token in a log line.
#define VANTLE_TOKEN_END "\\s\"'<>"

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

QList<Rule> makeRules()
{
    const auto re = [](const char *pattern, QRegularExpression::PatternOptions options = {}) {
        QRegularExpression expression(QString::fromLatin1(pattern), options);
        expression.optimize();
        return expression;
    };
    const QString m = marker;
    return {
        // The query and fragment of an absolute URL: codes, states and tokens travel there.
        {re("\\b([A-Za-z][A-Za-z0-9+.\\-]*://[^?#" VANTLE_TOKEN_END "]*)[?#][^" VANTLE_TOKEN_END "]*"),
         QStringLiteral("\\1?") + m, hasScheme},
        // The query of a path given alone ("/api/x?code=…").
        {re("(?<![^\\s=:\"'(\\[,])(/[^?#" VANTLE_TOKEN_END "]*)\\?[^" VANTLE_TOKEN_END "]+"),
         QStringLiteral("\\1?") + m, hasQuestion},
        // JWTs: DPoP proofs, ID tokens; also one cut short after its first part.
        {re("\\beyJ[A-Za-z0-9_\\-]+(?:\\.[A-Za-z0-9_\\-]*)+"), m, hasJwt},
        // Credentials after an authorization scheme.
        {re("\\b(bearer)\\s+[A-Za-z0-9\\-._~+/]+=*", QRegularExpression::CaseInsensitiveOption),
         QStringLiteral("\\1 ") + m, hasAuthScheme},
        {re("\\b(dpop|basic)\\s+[A-Za-z0-9\\-._~+/]{16,}=*", QRegularExpression::CaseInsensitiveOption),
         QStringLiteral("\\1 ") + m, hasAuthScheme},
        // Named secrets as key=value, key: value or "key":"value".
        {re("(\\b(?:oas|session_?token|x-orvalen-app-session|access_?token|refresh_?token|id_?token|token"
            "|dpop|authorization|auth_?code|authorization_?code|code_?verifier|client_?secret|secret"
            "|password|passwd|api_?key|private_?key)\\b[\"']?\\s*[:=]\\s*[\"']?)"
            "(?!<|bearer\\b|dpop\\b|basic\\b)[^\\s\"'&,;}\\])]+",
            QRegularExpression::CaseInsensitiveOption),
         QStringLiteral("\\1") + m, hasSecretName},
        // Session and refresh tokens by their shape, wherever they stand.
        {re("\\b(?:oas|rt)_[A-Za-z0-9_\\-.~+/=]+"), m, hasTokenShape},
        {re("[A-Za-z0-9._%+\\-]+@[A-Za-z0-9\\-]+(?:\\.[A-Za-z0-9\\-]+)*"), emailMarker, hasAt},
    };
}
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
    static const QString suffix = QStringLiteral(" \u2026 [truncated]");
    qsizetype keep = std::max<qsizetype>(0, maxLength - suffix.size());
    if (keep > 0 && line.at(keep - 1).isHighSurrogate())
        --keep;
    // A cut through the middle of a word could leave half a secret that no rule
    // recognises any more; a nearby space avoids that.
    const qsizetype space = keep > 0 ? line.lastIndexOf(QLatin1Char(' '), keep - 1) : -1;
    if (space >= 0 && keep - space <= 256)
        keep = space;
    return line.left(keep) + suffix;
}

} // namespace LogRedaction
