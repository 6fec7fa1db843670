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
    // The address of a page's link whose id is "back", as the page wrote it; empty without one.
    QByteArray backLink() const;

    // `body` goes as a form when `contentType` is empty and the method is POST.
    static HttpFetch run(const QString &method, const QUrl &url, const QByteArray &body = {},
                         const QByteArray &bearer = {}, const QByteArray &contentType = {});
};
