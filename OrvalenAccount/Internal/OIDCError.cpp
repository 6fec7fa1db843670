#include "OrvalenAccount/Internal/OIDCError.h"

#include <array>
#include <utility>

namespace {
QString generalDescription(int code)
{
    namespace C = OIDCGeneralErrorCode;
    switch (code) {
    case C::userCanceledAuthorizationFlow: return QStringLiteral("The sign-in was cancelled.");
    case C::networkError: return QStringLiteral("Couldn't reach the sign-in service.");
    case C::serverError: return QStringLiteral("The sign-in service is not answering correctly.");
    case C::invalidDiscoveryDocument: return QStringLiteral("The sign-in service's configuration is not usable.");
    case C::browserOpenError: return QStringLiteral("Couldn't open the web browser.");
    case C::stateMismatch: return QStringLiteral("The sign-in response did not match this sign-in.");
    case C::randomSourceFailure: return QStringLiteral("Couldn't prepare a secure sign-in request.");
    case C::invalidRequest: return QStringLiteral("The sign-in request could not be made.");
    case C::invalidResponse: return QStringLiteral("The sign-in response was not valid.");
    default: return QStringLiteral("The sign-in did not complete.");
    }
}

struct OAuthWord {
    const char *word;
    int code;
    const char *description;
};

constexpr std::array<OAuthWord, 7> oauthWords{{
    {"invalid_request", OIDCOAuthErrorCode::invalidRequest, "The sign-in service did not accept the request."},
    {"unauthorized_client", OIDCOAuthErrorCode::unauthorizedClient, "This application may not sign in this way."},
    {"access_denied", OIDCOAuthErrorCode::accessDenied, "Access was denied."},
    {"unsupported_response_type", OIDCOAuthErrorCode::unsupportedResponseType, "The sign-in service does not support this request."},
    {"invalid_scope", OIDCOAuthErrorCode::invalidScope, "The requested access is not available."},
    {"server_error", OIDCOAuthErrorCode::serverError, "The sign-in service had a problem. Try again later."},
    {"temporarily_unavailable", OIDCOAuthErrorCode::temporarilyUnavailable, "The sign-in service is busy. Try again later."},
}};
} // namespace

OIDCError::OIDCError(QString domain, int code, QString localizedDescription)
    : m_domain(std::move(domain)), m_code(code), m_description(std::move(localizedDescription)),
      m_what(m_description.toUtf8())
{
}

OIDCError OIDCError::general(int code)
{
    return OIDCError(OIDGeneralErrorDomain, code, generalDescription(code));
}

OIDCError OIDCError::fromOAuthErrorWord(const QString &word)
{
    for (const auto &entry : oauthWords) {
        if (word == QLatin1String(entry.word)) {
            OIDCError error(OIDOAuthAuthorizationErrorDomain, entry.code, QString::fromUtf8(entry.description));
            error.m_oauthError = word;
            return error;
        }
    }
    OIDCError error(OIDOAuthAuthorizationErrorDomain, OIDCOAuthErrorCode::other,
                    QStringLiteral("The sign-in service reported an error."));
    error.m_oauthError = word;
    return error;
}
