#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The ledger client's error: the answer's HTTP status and the service's error code
// ("sign_in_required" when no session is stored, else the answer's "error" value,
// else "http_" and the status).
class VantAPIError final : public std::exception {
public:
    VantAPIError(int status, QString code);

    int status() const { return m_status; }
    const QString &code() const { return m_code; }

    const char *what() const noexcept override { return m_what.constData(); }

    bool operator==(const VantAPIError &other) const
    {
        return m_status == other.m_status && m_code == other.m_code;
    }

private:
    int m_status = 0;
    QString m_code;
    QByteArray m_what;
};
