#pragma once

#include "tools/fakes/FakeService.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

namespace Fakes {

// A loopback OpenID Connect authority: the discovery document at
// "/.well-known/openid-configuration" and an authorization endpoint at
// "/authorize" that records its parameters and sends the browser back to the
// redirect URI with a code (or with "error=access_denied" when the person says no).
class FakeAuthority final : public FakeService {
    Q_OBJECT
public:
    static inline const QString discoveryPath = QStringLiteral("/.well-known/openid-configuration");
    static inline const QString authorizePath = QStringLiteral("/authorize");
    // The one redirect URI registered for the client.
    static inline const QString registeredRedirect = QStringLiteral("vantle://auth/callback");
    // The authorization endpoint's own query parameter standing for the person's
    // "Don't allow" on the sign-in page; FakeBrowser adds it to deny.
    static inline const QString denyParameter = QStringLiteral("fake_decision");

    explicit FakeAuthority(QObject *parent = nullptr);

    QUrl issuer() const { return baseUrl(); }
    QUrl authorizationEndpoint() const { return url(authorizePath); }

    // The code the next authorization hands out; a "+" and a "/" in it test the
    // encoding on the way back.
    void setCode(const QString &code) { m_code = code; }
    QString code() const { return m_code; }
    // Answer every authorization with "error=access_denied".
    void setDenyAll(bool deny) { m_denyAll = deny; }

    // The parameters of each authorization request, decoded as a web server
    // decodes a query ("+" is a space, percent escapes are bytes).
    QList<QMap<QString, QString>> authorizations() const { return m_authorizations; }
    QMap<QString, QString> lastAuthorization() const
    {
        return m_authorizations.isEmpty() ? QMap<QString, QString>{} : m_authorizations.last();
    }

    // Checks a code exchange as the authority's token endpoint would (RFC 7636): the code
    // was handed out and not redeemed yet, the S256 of the verifier is the request's
    // challenge, and the redirect URI is the request's. Empty when all hold, else why not.
    // A code is redeemed once, whatever the outcome.
    QString redeem(const QString &code, const QString &codeVerifier, const QString &redirectUri);

    // Form-style decoding of a raw (encoded) query.
    static QMap<QString, QString> decodeQuery(const QByteArray &encodedQuery);

protected:
    bool handleSpecial(const RecordedRequest &request, ScriptedAnswer &answer) override;

private:
    // What the last authorization handed its code out for.
    struct Grant {
        QString codeChallenge;
        QString codeChallengeMethod;
        QString redirectUri;
    };

    QMap<QString, Grant> m_grants;
    QString m_code = QStringLiteral("c0de+A/b");
    bool m_denyAll = false;
    QList<QMap<QString, QString>> m_authorizations;
};

} // namespace Fakes
