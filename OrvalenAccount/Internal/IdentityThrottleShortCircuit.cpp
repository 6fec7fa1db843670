#include "OrvalenAccount/Internal/IdentityThrottleShortCircuit.h"

#include <algorithm>
#include <cmath>

namespace IdentityThrottleShortCircuit {

HTTPResponse response(const QUrl &url, int status, const QString &reason, double retryAfter)
{
    double rounded = std::ceil(retryAfter);
    if (!(rounded >= 1))
        rounded = 1;
    rounded = std::min(rounded, 1.0e9);
    HTTPResponse answer;
    answer.status = status;
    answer.url = url;
    answer.httpVersion = QByteArrayLiteral("HTTP/1.1");
    answer.headers = {
        {QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")},
        {QByteArrayLiteral("Retry-After"), QByteArray::number(static_cast<qint64>(rounded))},
    };
    // The reason is one of our own fixed words, so it needs no escaping.
    answer.body = QByteArrayLiteral(R"({"error":"client_throttled","reason":")") + reason.toUtf8()
        + QByteArrayLiteral(R"("})");
    return answer;
}

} // namespace IdentityThrottleShortCircuit
