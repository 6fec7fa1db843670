#pragma once

#include "OrvalenAccount/Internal/OIDCServiceConfiguration.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

// One authorization-code request (RFC 6749 §4.1.1 with PKCE, RFC 7636). The
// constructor draws the state, the nonce and the code verifier from the kernel's
// secure random source and derives the S256 challenge. Throws OIDCError:
// randomSourceFailure when no random bytes are to be had, invalidRequest for a
// redirect URL that is not absolute.
class OIDCAuthorizationRequest final {
public:
    OIDCAuthorizationRequest(OIDCServiceConfiguration configuration, QString clientID, QStringList scopes,
                             QUrl redirectURL, QString responseType, QMap<QString, QString> additionalParameters);

    const OIDCServiceConfiguration &configuration() const { return m_configuration; }
    const QString &clientID() const { return m_clientID; }
    const QStringList &scopes() const { return m_scopes; }
    const QUrl &redirectURL() const { return m_redirectURL; }
    const QString &responseType() const { return m_responseType; }
    const QString &state() const { return m_state; }
    const QString &nonce() const { return m_nonce; }
    const QString &codeVerifier() const { return m_codeVerifier; }
    const QString &codeChallenge() const { return m_codeChallenge; }
    static QString codeChallengeMethod() { return QStringLiteral("S256"); }
    const QMap<QString, QString> &additionalParameters() const { return m_additionalParameters; }

    // The names of the parameters the protocol gives the request itself (response type,
    // client, redirect, scope, state, nonce, the PKCE challenge and its method): nobody
    // else may add one of them, nor may the endpoint's own query carry one.
    static const QStringList &protocolParameterNames();

    // The address the browser opens: the authorization endpoint with the request's
    // parameters appended to whatever query it already has. Every value is
    // percent-encoded here, so "+" reaches the authority as "+", not as a space.
    QUrl externalUserAgentRequestURL() const;

    // 32 random bytes as base64url without padding: 43 characters, all of them
    // unreserved in the sense of RFC 3986 (as RFC 7636 §4.1 asks of a verifier).
    static QString generateCodeVerifier();
    // BASE64URL(SHA-256(ASCII(verifier))), RFC 7636 §4.2.
    static QString codeChallengeS256(const QString &verifier);

private:
    OIDCServiceConfiguration m_configuration;
    QString m_clientID;
    QStringList m_scopes;
    QUrl m_redirectURL;
    QString m_responseType;
    QString m_state;
    QString m_nonce;
    QString m_codeVerifier;
    QString m_codeChallenge;
    QMap<QString, QString> m_additionalParameters;
};
