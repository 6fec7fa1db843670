#include "HttpFetch.h"

#include "support/TaskRunner.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

#include <memory>

QJsonObject HttpFetch::json() const
{
    return QJsonDocument::fromJson(body).object();
}

QByteArray HttpFetch::backLink() const
{
    static const QRegularExpression link(QStringLiteral(R"re(<a [^>]*id="back" href="([^"]*)")re"));
    const QRegularExpressionMatch match = link.match(QString::fromUtf8(body));
    if (!match.hasMatch())
        return {};
    QString href = match.captured(1);
    href.replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return href.toUtf8();
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
