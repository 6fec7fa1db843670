#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <optional>

// One HTTP answer as the identity client sees it, whether it came over the wire or
// was made up by the throttle when it refused to send.
struct HTTPResponse {
    int status = 0;
    QUrl url;
    QByteArray httpVersion = QByteArrayLiteral("HTTP/1.1");
    QList<QPair<QByteArray, QByteArray>> headers; // in the order received
    QByteArray body;

    // The first header of that name, compared without regard to case.
    std::optional<QString> header(QByteArrayView name) const;
    bool isSuccess() const { return status >= 200 && status <= 299; }
};
