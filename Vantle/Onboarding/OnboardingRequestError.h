#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// A first-run request that did not succeed: no answer (no connection, the time limit,
// any transport failure), an answer outside 200 to 299, or an answer that could not be
// read. The description is for log lines, never for the person.
class OnboardingRequestError final : public std::exception {
public:
    enum class Kind { transport, timedOut, badStatus, undecodable, badRequest };

    OnboardingRequestError(Kind kind, QString description)
        : m_kind(kind)
        , m_description(std::move(description))
        , m_what(m_description.toUtf8())
    {
    }

    Kind kind() const { return m_kind; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    Kind m_kind;
    QString m_description;
    QByteArray m_what;
};
