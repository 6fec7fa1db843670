#include "Vantle/Utilities/LogRedaction.h"

#include <QRegularExpression>

namespace LogRedaction {

namespace {
// The characters that end a token in a log line.
#define VANTLE_TOKEN_END "\\s\"'<>"

struct Rule {
    QRegularExpression pattern;
    QString replacement;
    bool (*applies)(const QString &line);
};

bool hasScheme(const QString &line) { return line.contains(QLatin1String("://")); }
bool hasQuestion(const QString &line) { return line.contains(QLatin1Char('?')); }
bool hasJwt(const QString &line) { return line.contains(QLatin1String("eyJ")); }
bool hasScheme2(const QString &line)
{
    return line.contains(QLatin1String("bearer"), Qt::CaseInsensitive)
        || line.contains(QLatin1String("dpop"), Qt::CaseInsensitive)
        || line.contains(QLatin1String("basic"), Qt::CaseInsensitive);
}
bool hasPair(const QString &line) { return line.contains(QLatin1Char('=')) || line.contains(QLatin1Char(':')); }
bool hasTokenShape(const QString &line)
{
    return line.contains(QLatin1String("oas_")) || line.contains(QLatin1String("rt_"));
}
bool hasAt(const QString &line) { return line.contains(QLatin1Char('@')); }

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
         QStringLiteral("\\1 ") + m, hasScheme2},
        {re("\\b(dpop|basic)\\s+[A-Za-z0-9\\-._~+/]{16,}=*", QRegularExpression::CaseInsensitiveOption),
         QStringLiteral("\\1 ") + m, hasScheme2},
        // Named secrets as key=value, key: value or "key":"value".
        {re("(\\b(?:oas|session_?token|x-orvalen-app-session|access_?token|refresh_?token|id_?token|token"
            "|dpop|authorization|auth_?code|authorization_?code|code_?verifier|client_?secret|secret"
            "|password|passwd|api_?key|private_?key)\\b[\"']?\\s*[:=]\\s*[\"']?)"
            "(?!<|bearer\\b|dpop\\b|basic\\b)[^\\s\"'&,;}\\])]+",
            QRegularExpression::CaseInsensitiveOption),
         QStringLiteral("\\1") + m, hasPair},
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
        QString out = line;
        for (const Rule &rule : rules) {
            if (rule.applies(out))
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
