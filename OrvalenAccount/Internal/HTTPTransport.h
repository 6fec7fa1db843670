#pragma once

#include "OrvalenAccount/Internal/CancellationToken.h"
#include "OrvalenAccount/Internal/HTTPResponse.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <chrono>
#include <exception>
#include <optional>

class QNetworkAccessManager;

// One request for the HTTP transport; headers are sent in this order.
struct HTTPRequest {
    QUrl url;
    QString method = QStringLiteral("GET");
    QList<QPair<QByteArray, QByteArray>> headers;
    std::optional<QByteArray> body;
    std::chrono::milliseconds timeout{60000};
    // Same-origin redirects are followed with the same headers. A request whose headers
    // are bound to its URL (a DPoP proof names it) turns this off and gets the 3xx.
    bool followRedirects = true;

    // The first header of that name, compared without regard to case.
    std::optional<QByteArray> header(QByteArrayView name) const;
};

// A reply that finished without error but carried no HTTP status (a non-HTTP URL).
class NonHTTPResponseError final : public std::exception {
public:
    const char *what() const noexcept override { return "the answer is not an HTTP response"; }
};

// Requests over the shared QNetworkAccessManager. An answer with any HTTP status,
// 4xx and 5xx included, is returned: Qt flags those as errors, but they are answers.
namespace HTTPTransport {
// The process-wide manager of this thread, used when the caller has none.
QNetworkAccessManager *sharedManager();

// Sends the request on `manager` (the shared one when null). Throws
// OrvalenTransportError when no whole answer arrived (no connection, timeout, TLS,
// a body cut short after the status, cancellation through `cancel`),
// NonHTTPResponseError for a non-HTTP reply.
QCoro::Task<HTTPResponse> send(QNetworkAccessManager *manager, HTTPRequest request, CancellationToken cancel = {});
} // namespace HTTPTransport
