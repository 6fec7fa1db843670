#include "OrvalenAccount/Internal/OIDCAuthorizationRequest.h"

#include "OrvalenAccount/Internal/OIDCError.h"
#include "OrvalenAccount/SecureRandom.h"

#include <QCryptographicHash>

#include <utility>

namespace {
QString randomToken()
{
    QByteArray bytes(32, Qt::Uninitialized);
    if (!SecureRandom::systemSource(reinterpret_cast<unsigned char *>(bytes.data()), static_cast<std::size_t>(bytes.size())))
        throw OIDCError::general(OIDCGeneralErrorCode::randomSourceFailure);
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString encoded(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}
} // namespace

OIDCAuthorizationRequest::OIDCAuthorizationRequest(OIDCServiceConfiguration configuration, QString clientID,
                                                   QStringList scopes, QUrl redirectURL, QString responseType,
                                                   QMap<QString, QString> additionalParameters)
    : m_configuration(std::move(configuration)), m_clientID(std::move(clientID)), m_scopes(std::move(scopes)),
      m_redirectURL(std::move(redirectURL)), m_responseType(std::move(responseType)),
      m_state(randomToken()), m_nonce(randomToken()), m_codeVerifier(generateCodeVerifier()),
      m_codeChallenge(codeChallengeS256(m_codeVerifier)), m_additionalParameters(std::move(additionalParameters))
{
    // A redirect without a scheme could never be matched on the way back: the flow
    // would only ever end by its time limit.
    if (!m_redirectURL.isValid() || m_redirectURL.isRelative())
        throw OIDCError::general(OIDCGeneralErrorCode::invalidRequest);
}

const QStringList &OIDCAuthorizationRequest::protocolParameterNames()
{
    static const QStringList keys{
        QStringLiteral("response_type"), QStringLiteral("client_id"), QStringLiteral("redirect_uri"),
        QStringLiteral("scope"), QStringLiteral("state"), QStringLiteral("nonce"),
        QStringLiteral("code_challenge"), QStringLiteral("code_challenge_method")};
    return keys;
}

QString OIDCAuthorizationRequest::generateCodeVerifier()
{
    return randomToken();
}

QString OIDCAuthorizationRequest::codeChallengeS256(const QString &verifier)
{
    const QByteArray digest = QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QUrl OIDCAuthorizationRequest::externalUserAgentRequestURL() const
{
    QList<std::pair<QString, QString>> items{
        {QStringLiteral("response_type"), m_responseType},
        {QStringLiteral("client_id"), m_clientID},
        {QStringLiteral("redirect_uri"), m_redirectURL.toString(QUrl::FullyEncoded)},
    };
    if (!m_scopes.isEmpty())
        items.append({QStringLiteral("scope"), m_scopes.join(QLatin1Char(' '))});
    items.append({QStringLiteral("state"), m_state});
    items.append({QStringLiteral("nonce"), m_nonce});
    items.append({QStringLiteral("code_challenge"), m_codeChallenge});
    items.append({QStringLiteral("code_challenge_method"), codeChallengeMethod()});
    // An additional parameter may not replace or repeat one the protocol owns:
    // a second "state" or "redirect_uri" would leave it to the authority which one counts.
    for (auto it = m_additionalParameters.cbegin(); it != m_additionalParameters.cend(); ++it) {
        if (!protocolParameterNames().contains(it.key()))
            items.append({it.key(), it.value()});
    }

    QString query = m_configuration.authorizationEndpoint.query(QUrl::FullyEncoded);
    for (const auto &[key, value] : items) {
        if (!query.isEmpty())
            query += QLatin1Char('&');
        query += encoded(key) + QLatin1Char('=') + encoded(value);
    }
    QUrl url = m_configuration.authorizationEndpoint;
    url.setQuery(query, QUrl::StrictMode);
    return url;
}
