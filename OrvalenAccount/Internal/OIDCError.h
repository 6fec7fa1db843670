#pragma once

#include <QByteArray>
#include <QString>

#include <exception>
#include <optional>

// Errors of the OpenID Connect layer: which part failed (the domain) and how
// (the code), with a description fit to show a person. Descriptions are fixed
// texts: they never repeat an address, an authorization code, a state or anything
// else the authority or the redirect put in front of us.
inline const QString OIDGeneralErrorDomain = QStringLiteral("dev.orvalen.oidc.general");
// Errors the authority reported through the redirect's "error" parameter.
inline const QString OIDOAuthAuthorizationErrorDomain = QStringLiteral("dev.orvalen.oidc.oauth_authorization");

namespace OIDCGeneralErrorCode {
inline constexpr int userCanceledAuthorizationFlow = -3; // the person (or a cancel on their behalf) ended the flow
inline constexpr int networkError = -10;                 // the authority could not be reached
inline constexpr int serverError = -11;                  // the authority answered with a non-success status
inline constexpr int invalidDiscoveryDocument = -12;     // unreadable, or without a usable authorization endpoint
inline constexpr int browserOpenError = -13;             // no browser took the authorization request
inline constexpr int stateMismatch = -14;                // the redirect answers another request
inline constexpr int randomSourceFailure = -15;          // no secure random bytes for state, nonce or verifier
inline constexpr int invalidRequest = -16;               // a request that cannot be sent (e.g. a relative redirect URI)
inline constexpr int invalidResponse = -17;              // a redirect that repeats "state" or "code"
} // namespace OIDCGeneralErrorCode

// Codes of OIDOAuthAuthorizationErrorDomain: the error words of RFC 6749 §4.1.2.1.
namespace OIDCOAuthErrorCode {
inline constexpr int other = 0;
inline constexpr int invalidRequest = 1;
inline constexpr int unauthorizedClient = 2;
inline constexpr int accessDenied = 3;
inline constexpr int unsupportedResponseType = 4;
inline constexpr int invalidScope = 5;
inline constexpr int serverError = 6;
inline constexpr int temporarilyUnavailable = 7;
} // namespace OIDCOAuthErrorCode

class OIDCError final : public std::exception {
public:
    OIDCError(QString domain, int code, QString localizedDescription);

    // The general-domain error with its fixed description.
    static OIDCError general(int code);
    // The authority's "error" word as an error of OIDOAuthAuthorizationErrorDomain;
    // the word itself is kept for logs, never put into the description.
    static OIDCError fromOAuthErrorWord(const QString &word);

    const QString &domain() const { return m_domain; }
    int code() const { return m_code; }
    const QString &localizedDescription() const { return m_description; }
    // The authority's error word, for an error of OIDOAuthAuthorizationErrorDomain.
    const std::optional<QString> &oauthError() const { return m_oauthError; }

    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_domain;
    int m_code = 0;
    QString m_description;
    std::optional<QString> m_oauthError;
    QByteArray m_what;
};
