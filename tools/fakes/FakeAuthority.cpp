#include "tools/fakes/FakeAuthority.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Fakes {

FakeAuthority::FakeAuthority(QObject *parent) : FakeService(parent)
{
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
    on(QStringLiteral("GET"), discoveryPath,
       ScriptedAnswer::json(200, QJsonDocument(document).toJson(QJsonDocument::Compact)));
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

QString FakeAuthority::redeem(const QString &code, const QString &codeVerifier, const QString &redirectUri)
{
    if (!m_grants.contains(code))
        return QStringLiteral("unknown or already redeemed code");
    const Grant grant = m_grants.take(code);
    if (grant.codeChallengeMethod != QLatin1String("S256"))
        return QStringLiteral("challenge method is not S256");
    const QByteArray computed = QCryptographicHash::hash(codeVerifier.toLatin1(), QCryptographicHash::Sha256)
                                    .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    if (codeVerifier.isEmpty() || QString::fromLatin1(computed) != grant.codeChallenge)
        return QStringLiteral("code verifier does not match the challenge");
    if (redirectUri != grant.redirectUri)
        return QStringLiteral("redirect URI differs from the authorization request's");
    return {};
}

bool FakeAuthority::handleSpecial(const RecordedRequest &request, ScriptedAnswer &answer)
{
    if (request.method != QLatin1String("GET") || request.path != authorizePath)
        return false;
    const QMap<QString, QString> parameters = decodeQuery(request.query.query(QUrl::FullyEncoded).toLatin1());
    m_authorizations.append(parameters);

    const QString redirect = parameters.value(QStringLiteral("redirect_uri"));
    if (redirect != registeredRedirect || parameters.value(QStringLiteral("response_type")) != QLatin1String("code")) {
        answer = ScriptedAnswer::json(400, R"({"error":"invalid_request"})");
        return true;
    }

    QByteArray location = redirect.toUtf8() + '?';
    if (m_denyAll || parameters.value(denyParameter) == QLatin1String("deny"))
        location += "error=access_denied";
    else {
        location += "code=" + QUrl::toPercentEncoding(m_code);
        m_grants.insert(m_code, Grant{parameters.value(QStringLiteral("code_challenge")),
                                      parameters.value(QStringLiteral("code_challenge_method")), redirect});
    }
    if (parameters.contains(QStringLiteral("state")))
        location += "&state=" + QUrl::toPercentEncoding(parameters.value(QStringLiteral("state")));

    answer = ScriptedAnswer{};
    answer.status = 302;
    answer.headers.append(qMakePair(QByteArray("Location"), location));
    return true;
}

} // namespace Fakes
