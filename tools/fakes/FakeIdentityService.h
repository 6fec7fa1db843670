#pragma once

#include "tools/fakes/FakeService.h"

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QPointer>
#include <QStringList>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

namespace Fakes {

class FakeAuthority;

// The outcome of checking one DPoP proof the fake received.
struct DPoPCheck {
    QString method;
    QString path;
    bool valid = false;
    QString failure; // why it failed; empty when valid
    QString jwkThumbprintInput; // the canonical JWK text (crv, kty, x, y) of the proof's key
};

// The identity service on loopback: the session exchange, refresh, revoke and Apple
// code exchange with working default answers that tests may replace per route
// (enqueue/on of FakeService win over the defaults only when queued; a route's
// standing answer can be replaced with on()). Every request carrying a "DPoP"
// header has its proof checked: ES256 signature against the proof's own JWK, "typ",
// "alg", "htm", "htu" (this service's URL of the path), "iat" within five minutes,
// a fresh "jti", and "ath" against the bearer token when one is sent.
//
// Sessions belong to accounts. Without a code redeemer every exchange signs in the one
// fixed account below; with one (the local stack wires the authority's), the code
// names the e-mail address the person typed and each address gets its own account.
class FakeIdentityService : public FakeService {
    Q_OBJECT
public:
    static inline const QString exchangePath = QStringLiteral("/api/app-sessions/exchange");
    static inline const QString refreshPath = QStringLiteral("/api/app-sessions/refresh");
    static inline const QString revokePath = QStringLiteral("/api/sessions/revoke");
    static inline const QString appleAuthcodePath = QStringLiteral("/api/integrations/apple/authcode");
    // Consent records: a live session's bearer token and a body with "kind" ("terms" or
    // "privacy"), "version", "surface" and "verbatim_text"; 200 {"ok": true}, 400 for
    // another body, 401 for a token that is not a live session.
    static inline const QString consentsPath = QStringLiteral("/api/account/consents");
    static inline const QString accountId = QStringLiteral("oa_01890a5d-ac96-774b-bcce-b302099a8057");
    static inline const QString email = QStringLiteral("someone@example.test");

    struct Account {
        QString id;
        QString email;
    };
    explicit FakeIdentityService(QObject *parent = nullptr);

    // The account of an e-mail address, made on first use.
    Account accountFor(const QString &email);
    // The account a live, unexpired session token belongs to.
    std::optional<QString> accountOfSession(const QString &oas) const;

    // Added to every default answer of the four session routes (empty: none).
    void setDeprecationHeader(const QByteArray &value) { m_deprecation = value; }
    // With an authority, the session exchange redeems the code there and refuses (400
    // "invalid_grant") a code, verifier or redirect URI that does not match the
    // authorization request; a code issued for a typed e-mail address signs in that
    // address's own account.
    void setAuthority(FakeAuthority *authority);
    // Why each refused exchange was refused, in order.
    QStringList exchangeRefusals() const { return m_exchangeRefusals; }

    // Lifetime of the sessions the default answers issue.
    void setSessionLifetime(qint64 seconds) { m_lifetimeSeconds = seconds; }

    // A fresh session as the service would issue it: its tokens become known to the fake.
    QJsonObject issueSession(const QString &appSlug);
    QJsonObject issueSession(const QString &appSlug, const Account &account);
    bool isLiveSessionToken(const QString &oas) const { return m_liveSessions.contains(oas); }
    bool isUsedRefreshToken(const QString &token) const { return m_usedRefreshTokens.contains(token); }
    QSet<QString> revokedSessions() const { return m_revoked; }

    // Every accepted consent body with the account it was recorded for, in order.
    struct Consent {
        QString accountId;
        QJsonObject body;
    };
    QList<Consent> consents() const { return m_consents; }

    QList<DPoPCheck> dpopChecks() const { return m_checks; }
    QList<DPoPCheck> dpopFailures() const;

    // The answer with an "Orvalen-Deprecation" header added.
    static ScriptedAnswer withDeprecation(ScriptedAnswer answer, const QByteArray &value);

    // Checks one proof as this service would for (method, url, bearer token).
    static DPoPCheck verifyProof(const QByteArray &proof, const QString &method, const QUrl &url,
                                 const std::optional<QByteArray> &bearer, const QDateTime &now);

    // Accounts, live sessions and refresh tokens, used and revoked tokens.
    QJsonObject saveState() const override;
    void restoreState(const QJsonObject &state) override;

    // "oa_" and a new lower-case version-7 UUID.
    static QString newAccountId();

protected:
    bool handleSpecial(const RecordedRequest &request, ScriptedAnswer &answer) override;

private:
    struct SessionRecord {
        QString accountId;
        QDateTime expiresAt;
    };
    struct RefreshRecord {
        QString accountId;
        QString email;
    };

    ScriptedAnswer decorate(ScriptedAnswer answer) const;
    ScriptedAnswer exchange(const RecordedRequest &request);
    ScriptedAnswer refresh(const RecordedRequest &request);
    ScriptedAnswer revoke(const RecordedRequest &request);
    ScriptedAnswer appleAuthcode(const RecordedRequest &request);
    ScriptedAnswer consent(const RecordedRequest &request);

    QByteArray m_deprecation;
    QPointer<FakeAuthority> m_authority;
    QStringList m_exchangeRefusals;
    qint64 m_lifetimeSeconds = 30 * 24 * 3600;
    int m_issued = 0;
    QHash<QString, QString> m_accounts; // e-mail -> account id
    QHash<QString, SessionRecord> m_liveSessions;
    QHash<QString, RefreshRecord> m_liveRefreshTokens;
    QSet<QString> m_usedRefreshTokens;
    QSet<QString> m_revoked;
    QSet<QByteArray> m_seenJtis;
    QList<DPoPCheck> m_checks;
    QList<Consent> m_consents;
};

} // namespace Fakes
