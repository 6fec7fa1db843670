#include "OrvalenAccount/Internal/HTTPTransport.h"

#include "OrvalenAccount/OrvalenTransportError.h"

#include <QCoro/QCoroSignal>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

std::optional<QByteArray> HTTPRequest::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

namespace HTTPTransport {

namespace {
// Qt's error texts may quote the request URL; the query could carry a code.
QString withoutQuery(QString text, const QUrl &url)
{
    if (url.hasQuery() || url.hasFragment()) {
        const QString bare = url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment).toString();
        text.replace(url.toString(), bare);
        text.replace(url.toString(QUrl::FullyEncoded), bare);
    }
    return text;
}
} // namespace

QNetworkAccessManager *sharedManager()
{
    static thread_local QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager();
    return manager;
}

QCoro::Task<HTTPResponse> send(QNetworkAccessManager *manager, HTTPRequest request, CancellationToken cancel)
{
    if (!manager)
        manager = sharedManager();
    if (cancel.isCancelled()) {
        throw OrvalenTransportError::fromNetworkError(QNetworkReply::OperationCanceledError,
                                                      QStringLiteral("Operation canceled"));
    }

    QNetworkRequest networkRequest(request.url);
    for (const auto &[name, value] : request.headers)
        networkRequest.setRawHeader(name, value);
    // Neither the bearer token nor the proof may follow a redirect to another host.
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                request.followRedirects ? QNetworkRequest::SameOriginRedirectPolicy
                                                        : QNetworkRequest::ManualRedirectPolicy);
    networkRequest.setTransferTimeout(static_cast<int>(request.timeout.count()));

    const bool plainGet = request.method.toUpper() == QLatin1String("GET") && !request.body;
    QPointer<QNetworkReply> reply = plainGet
        ? manager->get(networkRequest)
        : manager->sendCustomRequest(networkRequest, request.method.toLatin1(), request.body.value_or(QByteArray()));

    if (!reply->isFinished()) {
        // Woken by the reply's end, by its destruction with the manager, or by
        // cancellation; the waker lives in this frame, so a wake always arrives.
        CancellationState waker;
        QObject::connect(reply, &QNetworkReply::finished, &waker, &CancellationState::cancel);
        QObject::connect(reply, &QObject::destroyed, &waker, &CancellationState::cancel);
        if (CancellationState *notifier = cancel.notifier()) {
            QObject::connect(notifier, &CancellationState::cancelled, reply, &QNetworkReply::abort);
            QObject::connect(notifier, &CancellationState::cancelled, &waker, &CancellationState::cancel);
        }
        co_await qCoro(&waker, &CancellationState::cancelled);
    }

    if (!reply || !reply->isFinished()) {
        if (reply) {
            reply->abort();
            reply->deleteLater();
        }
        throw OrvalenTransportError::fromNetworkError(QNetworkReply::OperationCanceledError,
                                                      QStringLiteral("Operation canceled"));
    }
    reply->deleteLater();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Qt flags 4xx and 5xx answers as errors too, with codes above 100. The network
    // codes up to 99 mean the connection itself failed, even after the status line
    // (a body cut short, a stall, a cancel after the headers): that is no answer.
    const bool connectionFailed = reply->error() != QNetworkReply::NoError
        && reply->error() <= QNetworkReply::UnknownNetworkError;
    if (!status.isValid() || connectionFailed) {
        if (reply->error() != QNetworkReply::NoError)
            throw OrvalenTransportError::fromNetworkError(reply->error(),
                                                          withoutQuery(reply->errorString(), request.url));
        throw NonHTTPResponseError();
    }

    HTTPResponse response;
    response.status = status.toInt();
    response.url = reply->url();
    const int major = reply->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool() ? 2 : 1;
    response.httpVersion = major == 2 ? QByteArrayLiteral("HTTP/2") : QByteArrayLiteral("HTTP/1.1");
    for (const auto &pair : reply->rawHeaderPairs())
        response.headers.append(pair);
    response.body = reply->readAll();
    co_return response;
}

} // namespace HTTPTransport
