#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QString>

#include <exception>

// A request that never got an answer: what the HTTP transport throws when the
// send itself fails (no connection, timeout, cancellation, TLS). Carries the
// platform error's domain and code for the log fields of a transport failure.
class OrvalenTransportError final : public std::exception {
public:
    QString domain;
    int code = 0;
    bool isURLError = false; // a URL-loading (network) error: its code is logged as "url_error"
    QString description;

    OrvalenTransportError(QString errorDomain, int errorCode, bool urlError, QString text)
        : domain(std::move(errorDomain)), code(errorCode), isURLError(urlError), description(std::move(text)),
          m_what(description.toUtf8())
    {
    }

    static OrvalenTransportError fromNetworkError(QNetworkReply::NetworkError error, QString description)
    {
        return OrvalenTransportError(QStringLiteral("QNetworkReply::NetworkError"), static_cast<int>(error), true,
                                     std::move(description));
    }

    const char *what() const noexcept override { return m_what.constData(); }

private:
    QByteArray m_what;
};
