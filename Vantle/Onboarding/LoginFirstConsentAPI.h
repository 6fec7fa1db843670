#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkAccessManager;

// The first-run gate's plain requests (the reachability probe, the contacts lookup and
// capture, the consent records): over the shared network manager, each with its own time
// limit, never through the account layer's identity client.
namespace LoginFirstConsentAPI {

struct Answer {
    int status = 0;
    QByteArray body;
    bool isSuccess() const { return status >= 200 && status <= 299; }
};

// The network manager first-run requests go through when none is given.
QNetworkAccessManager *sharedNetwork();

// Sends `request` and returns whatever answer arrives, any status. Throws
// OnboardingRequestError (transport or timedOut) when none arrives within `timeout`.
QCoro::Task<Answer> send(QNetworkAccessManager *network, QNetworkRequest request, QByteArray method,
                         QByteArray body, std::chrono::milliseconds timeout);

// POSTs the body as JSON without any locally cached data, with "Accept" and
// "Content-Type" application/json, "Authorization: Bearer <token>" and, when given,
// "DPoP". Returns for a status of 200 to 299; throws OnboardingRequestError otherwise.
// The answer's body is not read.
QCoro::Task<void> postJSON(QNetworkAccessManager *network, QUrl url, QJsonObject body, QString sessionToken,
                           std::optional<QString> dpopProof, std::chrono::milliseconds timeout);

} // namespace LoginFirstConsentAPI
