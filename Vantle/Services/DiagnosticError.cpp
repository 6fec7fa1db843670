#include "Vantle/Services/DiagnosticError.h"

#include <utility>

DiagnosticError::DiagnosticError(Kind kind, QString serverMessage)
    : m_kind(kind), m_serverMessage(std::move(serverMessage))
{
    m_what = message().toUtf8();
}

QString DiagnosticError::message() const
{
    switch (m_kind) {
    case Kind::notSignedIn: return QStringLiteral("Sign in to vantle before sending a report.");
    case Kind::inFlight: return QStringLiteral("A diagnostic report is already being sent.");
    case Kind::transport:
        return QStringLiteral("Couldn't reach the diagnostics server. Check your network and try again.");
    case Kind::malformedResponse: return QStringLiteral("The diagnostics server returned an unexpected response.");
    case Kind::server: return m_serverMessage;
    }
    return m_serverMessage;
}
