#include "tools/fakes/FakeAuthority.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>

namespace Fakes {

namespace {

// The page's own form fields; every other field carries the authorization request.
const QString emailField = QStringLiteral("signin_email");
const QString providerField = QStringLiteral("signin_provider");
const QString decisionField = QStringLiteral("signin_decision");

struct ProviderChoice {
    const char *value;
    const char *label;
};
constexpr ProviderChoice providerChoices[] = {{"apple", "Apple"}, {"google", "Google"}, {"email", "E-mail"}};

bool isValidRequest(const QMap<QString, QString> &parameters)
{
    return parameters.value(QStringLiteral("redirect_uri")) == FakeAuthority::registeredRedirect
        && parameters.value(QStringLiteral("response_type")) == QLatin1String("code");
}

// The registered redirect with `result` ("code=..." or "error=...") and the request's state.
QByteArray redirectLocation(const QMap<QString, QString> &parameters, const QByteArray &result)
{
    QByteArray location = FakeAuthority::registeredRedirect.toUtf8() + '?' + result;
    if (parameters.contains(QStringLiteral("state")))
        location += "&state=" + QUrl::toPercentEncoding(parameters.value(QStringLiteral("state")));
    return location;
}

ScriptedAnswer redirectAnswer(int status, const QByteArray &location)
{
    ScriptedAnswer answer;
    answer.status = status;
    answer.headers.append(qMakePair(QByteArray("Location"), location));
    return answer;
}

ScriptedAnswer htmlAnswer(int status, const QString &html)
{
    ScriptedAnswer answer;
    answer.status = status;
    answer.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html; charset=utf-8")));
    answer.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-store")));
    answer.body = html.toUtf8();
    return answer;
}

bool looksLikeEmail(const QString &text)
{
    static const QRegularExpression shape(QStringLiteral(R"(^[^@\s"<>]+@[^@\s"<>]+\.[^@\s"<>.]+$)"));
    return text.size() <= 254 && shape.match(text).hasMatch();
}

const char *pageStyle = R"(
body { font: 15px/1.45 system-ui, sans-serif; background: #121214; color: #f5f5f5; margin: 0; }
main { max-width: 380px; margin: 10vh auto; background: #202024; border: 1px solid #2c2c33;
       border-radius: 12px; padding: 28px 32px; }
h1 { font-size: 22px; margin: 0 0 6px; }
p.lead { color: #9b9ba4; margin: 0 0 20px; }
fieldset { border: 0; padding: 0; margin: 0 0 18px; display: flex; gap: 8px; }
legend { color: #9b9ba4; margin-bottom: 8px; }
fieldset label { flex: 1; border: 1px solid #2c2c33; border-radius: 8px; padding: 8px; text-align: center; cursor: pointer; }
fieldset input { margin-right: 6px; }
label.field { display: block; color: #9b9ba4; margin-bottom: 6px; }
input[type=email] { box-sizing: border-box; width: 100%; padding: 10px; border-radius: 8px; font: inherit;
                    border: 1px solid #2c2c33; background: #121214; color: #f5f5f5; }
p.error { color: #ff8a80; margin: 8px 0 0; }
.actions { display: flex; gap: 10px; margin-top: 22px; }
button { flex: 1; padding: 10px; border-radius: 8px; border: 0; font: inherit; cursor: pointer; }
button.primary { background: #f0a32a; color: #121214; font-weight: 600; }
button.secondary { background: #2c2c33; color: #f5f5f5; }
a.primary { flex: 1; padding: 10px; border-radius: 8px; text-align: center; text-decoration: none;
            background: #f0a32a; color: #121214; font-weight: 600; }
)";

} // namespace

FakeAuthority::FakeAuthority(QObject *parent) : FakeService(parent)
{
    // Made at each request: the address is the one served now, also after a move.
    on(QStringLiteral("GET"), discoveryPath, [this](const RecordedRequest &) {
        const QString base = baseUrl().toString();
        const QJsonObject document{
            {QStringLiteral("issuer"), base},
            {QStringLiteral("authorization_endpoint"), base + authorizePath},
            {QStringLiteral("token_endpoint"), base + QStringLiteral("/token")},
            {QStringLiteral("jwks_uri"), base + QStringLiteral("/jwks")},
            {QStringLiteral("end_session_endpoint"), base + QStringLiteral("/logout")},
            {QStringLiteral("response_types_supported"), QJsonArray{QStringLiteral("code")}},
            {QStringLiteral("code_challenge_methods_supported"), QJsonArray{QStringLiteral("S256")}},
        };
        return ScriptedAnswer::json(200, QJsonDocument(document).toJson(QJsonDocument::Compact));
    });
}

QMap<QString, QString> FakeAuthority::decodeQuery(const QByteArray &encodedQuery)
{
    QMap<QString, QString> out;
    for (const QByteArray &pair : encodedQuery.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf('=');
        QByteArray key = eq < 0 ? pair : pair.left(eq);
        QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        key.replace('+', ' ');
        value.replace('+', ' ');
        out.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(key)),
                   QString::fromUtf8(QByteArray::fromPercentEncoding(value)));
    }
    return out;
}

FakeAuthority::Redemption FakeAuthority::redeem(const QString &code, const QString &codeVerifier,
                                               const QString &redirectUri)
{
    const auto found = m_issuedCodes.constFind(code);
    if (found == m_issuedCodes.constEnd())
        return {QStringLiteral("unknown or already redeemed code"), {}};
    const IssuedCode issued = found.value();
    m_issuedCodes.erase(found);
    if (issued.issuedAt.secsTo(QDateTime::currentDateTimeUtc()) > codeLifetimeSeconds)
        return {QStringLiteral("code expired"), {}};
    if (issued.challengeMethod != QLatin1String("S256"))
        return {QStringLiteral("challenge method is not S256"), {}};
    const QByteArray computed = QCryptographicHash::hash(codeVerifier.toLatin1(), QCryptographicHash::Sha256)
                                    .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    if (codeVerifier.isEmpty() || QString::fromLatin1(computed) != issued.challenge)
        return {QStringLiteral("code verifier does not match the challenge"), {}};
    if (redirectUri != issued.redirectUri)
        return {QStringLiteral("redirect URI differs from the authorization request's"), {}};
    return {{}, issued.email};
}

void FakeAuthority::issue(const QString &code, const QMap<QString, QString> &request, const QString &email)
{
    m_issuedCodes.insert(code, IssuedCode{email, QDateTime::currentDateTimeUtc(),
                                          request.value(QStringLiteral("code_challenge")),
                                          request.value(QStringLiteral("code_challenge_method")),
                                          request.value(QStringLiteral("redirect_uri"))});
}

ScriptedAnswer FakeAuthority::signInPage(const QMap<QString, QString> &parameters, const QString &email,
                                         const QString &problem) const
{
    QString hidden;
    for (auto it = parameters.constBegin(); it != parameters.constEnd(); ++it) {
        if (it.key().startsWith(QLatin1String("signin_")))
            continue;
        hidden += QStringLiteral("<input type=\"hidden\" name=\"%1\" value=\"%2\">\n")
                      .arg(it.key().toHtmlEscaped(), it.value().toHtmlEscaped());
    }
    QString chosen = parameters.value(providerField, parameters.value(QStringLiteral("provider")));
    if (std::none_of(std::begin(providerChoices), std::end(providerChoices),
                     [&chosen](const ProviderChoice &c) { return chosen == QLatin1String(c.value); }))
        chosen = QStringLiteral("email");
    QString providers;
    for (const ProviderChoice &choice : providerChoices) {
        const QString value = QString::fromLatin1(choice.value);
        providers += QStringLiteral("<label><input type=\"radio\" name=\"%1\" value=\"%2\"%3>%4</label>\n")
                         .arg(providerField, value, value == chosen ? QStringLiteral(" checked") : QString(),
                              QString::fromLatin1(choice.label));
    }
    const QString app = parameters.value(QStringLiteral("orvalen_app_slug"), QStringLiteral("the application"));
    const QString error =
        problem.isEmpty() ? QString() : QStringLiteral("<p class=\"error\" role=\"alert\">%1</p>\n").arg(problem.toHtmlEscaped());

    const QString html = QStringLiteral(
        "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>Sign in (local test authority)</title>\n<style>%1</style>\n</head>\n<body>\n<main>\n"
        "<h1>Sign in</h1>\n"
        "<p class=\"lead\">to continue to %2. This is the local test authority: there is no password, "
        "and each e-mail address is an account of its own.</p>\n"
        "<form method=\"post\" action=\"%3\">\n%4"
        "<fieldset>\n<legend>Provider</legend>\n%5</fieldset>\n"
        "<label class=\"field\" for=\"email\">E-mail address</label>\n"
        "<input id=\"email\" name=\"%6\" type=\"email\" autocomplete=\"email\" required autofocus value=\"%7\">\n"
        "%8<div class=\"actions\">\n"
        "<button class=\"primary\" type=\"submit\" name=\"%9\" value=\"allow\">Continue</button>\n"
        "<button class=\"secondary\" type=\"submit\" name=\"%9\" value=\"deny\" formnovalidate>Cancel</button>\n"
        "</div>\n</form>\n</main>\n</body>\n</html>\n")
                             .arg(QString::fromLatin1(pageStyle), app.toHtmlEscaped(), authorizePath, hidden,
                                  providers, emailField, email.toHtmlEscaped(), error, decisionField);
    return htmlAnswer(problem.isEmpty() ? 200 : 422, html);
}

ScriptedAnswer FakeAuthority::backPage(const QMap<QString, QString> &parameters, const QByteArray &result,
                                       bool allowed) const
{
    const QString app = parameters.value(QStringLiteral("orvalen_app_slug"), QStringLiteral("the application"));
    const QString link = QString::fromUtf8(redirectLocation(parameters, result)).toHtmlEscaped();
    const QString title = allowed ? QStringLiteral("You\u2019re signed in") : QStringLiteral("Sign-in cancelled");
    const QString html = QStringLiteral(
        "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<meta http-equiv=\"refresh\" content=\"0; url=%1\">\n"
        "<title>%2 (local test authority)</title>\n<style>%3</style>\n</head>\n<body>\n<main>\n"
        "<h1>%2</h1>\n<p class=\"lead\">You can go back to %4 now. If %4 did not open, use the link below; "
        "this tab can be closed.</p>\n"
        "<div class=\"actions\"><a class=\"primary\" id=\"back\" href=\"%1\">Open %4</a></div>\n"
        "</main>\n</body>\n</html>\n")
                             .arg(link, title, QString::fromLatin1(pageStyle), app.toHtmlEscaped());
    return htmlAnswer(200, html);
}

ScriptedAnswer FakeAuthority::decide(const QMap<QString, QString> &form)
{
    if (!isValidRequest(form))
        return ScriptedAnswer::json(400, R"({"error":"invalid_request"})");
    if (form.value(decisionField) == QLatin1String("deny"))
        return backPage(form, "error=access_denied", false);

    const QString email = form.value(emailField).trimmed();
    if (!looksLikeEmail(email))
        return signInPage(form, email, QStringLiteral("Type an e-mail address such as someone@example.com."));

    QByteArray random(24, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(random.data()), 6);
    const QString code = QString::fromLatin1(random.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    issue(code, form, email);
    return backPage(form, "code=" + QUrl::toPercentEncoding(code), true);
}

bool FakeAuthority::handleSpecial(const RecordedRequest &request, ScriptedAnswer &answer)
{
    if (request.path != authorizePath)
        return false;
    if (request.method == QLatin1String("POST") && m_signInPage) {
        answer = decide(decodeQuery(request.body));
        return true;
    }
    if (request.method != QLatin1String("GET"))
        return false;
    const QMap<QString, QString> parameters = decodeQuery(request.query.query(QUrl::FullyEncoded).toLatin1());
    m_authorizations.append(parameters);

    if (!isValidRequest(parameters)) {
        answer = ScriptedAnswer::json(400, R"({"error":"invalid_request"})");
        return true;
    }
    if (m_signInPage) {
        answer = signInPage(parameters, {}, {});
        return true;
    }
    if (m_denyAll || parameters.value(denyParameter) == QLatin1String("deny"))
        answer = redirectAnswer(302, redirectLocation(parameters, "error=access_denied"));
    else {
        issue(m_code, parameters, {});
        answer = redirectAnswer(302, redirectLocation(parameters, "code=" + QUrl::toPercentEncoding(m_code)));
    }
    return true;
}

} // namespace Fakes
