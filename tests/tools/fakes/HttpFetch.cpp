#include "HttpFetch.h"

#include "support/TaskRunner.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <memory>

QJsonObject HttpFetch::json() const
{
    return QJsonDocument::fromJson(body).object();
}

HttpFetch HttpFetch::run(const QString &method, const QUrl &url, const QByteArray &body, const QByteArray &bearer,
                         const QByteArray &contentType)
{
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!bearer.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + bearer);
    if (method == QLatin1String("POST"))
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          contentType.isEmpty() ? QByteArray("application/x-www-form-urlencoded") : contentType);
    std::unique_ptr<QNetworkReply> reply(network.sendCustomRequest(request, method.toLatin1(), body));
    TestSupport::waitUntil([&reply]() { return reply->isFinished(); });
    HttpFetch out;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    out.status = status.isValid() ? status.toInt() : 0;
    out.location = reply->rawHeader("Location");
    out.contentType = reply->rawHeader("Content-Type");
    out.body = reply->readAll();
    return out;
}
