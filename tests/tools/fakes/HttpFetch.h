#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>

// One HTTP exchange as a browser or client makes it, redirects not followed.
struct HttpFetch {
    int status = 0; // 0: no answer arrived
    QByteArray location;
    QByteArray contentType;
    QByteArray body;

    QJsonObject json() const;

    // `body` goes as a form when `contentType` is empty and the method is POST.
    static HttpFetch run(const QString &method, const QUrl &url, const QByteArray &body = {},
                         const QByteArray &bearer = {}, const QByteArray &contentType = {});
};
