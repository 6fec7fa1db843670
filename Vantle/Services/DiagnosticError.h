#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Why a manual diagnostic report was not sent; message() is the text the user sees.
class DiagnosticError final : public std::exception {
public:
    enum class Kind { notSignedIn, inFlight, transport, malformedResponse, server };

    static DiagnosticError notSignedIn() { return DiagnosticError(Kind::notSignedIn, {}); }
    static DiagnosticError inFlight() { return DiagnosticError(Kind::inFlight, {}); }
    static DiagnosticError transport() { return DiagnosticError(Kind::transport, {}); }
    static DiagnosticError malformedResponse() { return DiagnosticError(Kind::malformedResponse, {}); }
    // The server's own message, shown as it is.
    static DiagnosticError server(QString message) { return DiagnosticError(Kind::server, std::move(message)); }

    Kind kind() const { return m_kind; }
    QString message() const;
    const char *what() const noexcept override { return m_what.constData(); }

    bool operator==(const DiagnosticError &other) const
    {
        return m_kind == other.m_kind && m_serverMessage == other.m_serverMessage;
    }

private:
    DiagnosticError(Kind kind, QString serverMessage);

    Kind m_kind;
    QString m_serverMessage;
    QByteArray m_what;
};
