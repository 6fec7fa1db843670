#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Registering or unregistering the login item failed; the message says which file or
// folder and why.
class LoginItemError final : public std::exception {
public:
    enum class Kind {
        failed,   // the file or its folder could not be written or removed
        conflict, // another program's entry of the same name is in the way
    };

    explicit LoginItemError(QString message, Kind kind = Kind::failed)
        : m_kind(kind), m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {
    }

    Kind kind() const { return m_kind; }
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    Kind m_kind;
    QString m_message;
    QByteArray m_utf8;
};
