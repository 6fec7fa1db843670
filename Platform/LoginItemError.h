#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Registering or unregistering the login item failed; the message says which file or
// folder and why.
class LoginItemError final : public std::exception {
public:
    explicit LoginItemError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
