#pragma once

#include "tools/fakes/FakeService.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

#include <optional>

namespace Fakes {

// A loopback OpenID Connect authority: the discovery document at
// "/.well-known/openid-configuration" and an authorization endpoint at
// "/authorize" that records its parameters and sends the browser back to the
// redirect URI with a code (or with "error=access_denied" when the person says no).
//
// With the sign-in page on (the local stack's authority), "/authorize" shows a form
// instead, where a person in a real browser chooses a provider and types an e-mail
// address. Posting it answers a page that hands the browser back to the application
// (at once, and by a link with the id "back" should that not happen) with a fresh
// single-use code that redeem() turns into that address, and says the person can go
// back to the application: the tab is not left on the filled form.
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

    void setSignInPage(bool shown) { m_signInPage = shown; }

    // Checks a code exchange as the authority's token endpoint would (RFC 7636): the code
    // was handed out less than ten minutes ago and not redeemed yet, the request carried an
    // S256 challenge that the verifier's hash matches, and the redirect URI is the
    // request's. A code is redeemed once, whatever the outcome.
    struct Redemption {
        QString refusal; // empty when the code is good
        QString email;   // the address typed on the sign-in page; empty for a scripted code
    };
    Redemption redeem(const QString &code, const QString &codeVerifier, const QString &redirectUri);
    static constexpr qint64 codeLifetimeSeconds = 600;

    // The parameters of each authorization request, decoded as a web server
    // decodes a query ("+" is a space, percent escapes are bytes).
    QList<QMap<QString, QString>> authorizations() const { return m_authorizations; }
    QMap<QString, QString> lastAuthorization() const
    {
        return m_authorizations.isEmpty() ? QMap<QString, QString>{} : m_authorizations.last();
    }

    // Form-style decoding of a raw (encoded) query.
    static QMap<QString, QString> decodeQuery(const QByteArray &encodedQuery);

protected:
    bool handleSpecial(const RecordedRequest &request, ScriptedAnswer &answer) override;

private:
    struct IssuedCode {
        QString email;
        QDateTime issuedAt;
        QString challenge;
        QString challengeMethod;
        QString redirectUri;
    };
    void issue(const QString &code, const QMap<QString, QString> &request, const QString &email);
    ScriptedAnswer backPage(const QMap<QString, QString> &parameters, const QByteArray &result, bool allowed) const;
    ScriptedAnswer signInPage(const QMap<QString, QString> &parameters, const QString &email,
                              const QString &problem) const;
    ScriptedAnswer decide(const QMap<QString, QString> &form);

    QString m_code = QStringLiteral("c0de+A/b");
    bool m_denyAll = false;
    bool m_signInPage = false;
    QList<QMap<QString, QString>> m_authorizations;
    QHash<QString, IssuedCode> m_issuedCodes;
};

} // namespace Fakes
