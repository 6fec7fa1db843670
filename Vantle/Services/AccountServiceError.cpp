#include "Vantle/Services/AccountServiceError.h"

AccountServiceError::AccountServiceError(Kind kind, QString text)
    : m_kind(kind), m_text(std::move(text)), m_what(description().toUtf8())
{
}

QString AccountServiceError::unavailableText()
{
    return QStringLiteral("vantle account services are temporarily unavailable. Please try again in a minute.");
}

QString AccountServiceError::description() const
{
    return m_kind == Kind::custom ? m_text : unavailableText();
}
