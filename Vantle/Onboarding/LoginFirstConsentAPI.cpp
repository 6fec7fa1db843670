#include "Vantle/Onboarding/LoginFirstConsentAPI.h"

#include "OrvalenAccount/Internal/CancellationToken.h"
#include "OrvalenAccount/Internal/HTTPTransport.h"
#include "Vantle/Onboarding/OnboardingRequestError.h"

#include <QCoro/QCoroSignal>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

namespace LoginFirstConsentAPI {

QNetworkAccessManager *sharedNetwork()
{
    return HTTPTransport::sharedManager();
}

QCoro::Task<Answer> send(QNetworkAccessManager *network, QNetworkRequest request, QByteArray method, QByteArray body,
                         std::chrono::milliseconds timeout)
{
    if (!network)
        network = sharedNetwork();
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    // The token must not follow a redirect to another host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    QPointer<QNetworkReply> reply = method == "GET" ? network->get(request)
                                                    : network->sendCustomRequest(request, method, body);
    if (!reply->isFinished()) {
        // Woken when the reply ends or goes away with its manager; the waker lives in this
        // frame, so a wake always arrives.
        CancellationState waker;
        QObject::connect(reply, &QNetworkReply::finished, &waker, &CancellationState::cancel);
        QObject::connect(reply, &QObject::destroyed, &waker, &CancellationState::cancel);
        co_await qCoro(&waker, &CancellationState::cancelled);
    }
    if (!reply)
        throw OnboardingRequestError(OnboardingRequestError::Kind::transport, QStringLiteral("The request was cancelled."));
    reply->deleteLater();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        // Qt reports its own time limit as a cancellation nobody asked for.
        if (reply->error() == QNetworkReply::OperationCanceledError || reply->error() == QNetworkReply::TimeoutError)
            throw OnboardingRequestError(OnboardingRequestError::Kind::timedOut, QStringLiteral("The request timed out."));
        throw OnboardingRequestError(OnboardingRequestError::Kind::transport, reply->errorString());
    }
    co_return Answer{status.toInt(), reply->readAll()};
}

QCoro::Task<void> postJSON(QNetworkAccessManager *network, QUrl url, QJsonObject body, QString sessionToken,
                           std::optional<QString> dpopProof, std::chrono::milliseconds timeout)
{
    if (!url.isValid() || url.isRelative())
        throw OnboardingRequestError(OnboardingRequestError::Kind::badRequest, QStringLiteral("The address is not valid."));
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("Content-Type", "application/json");
    request.setRawHeader("Authorization", "Bearer " + sessionToken.toUtf8());
    if (dpopProof)
        request.setRawHeader("DPoP", dpopProof->toUtf8());
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    const Answer answer = co_await send(network, request, QByteArrayLiteral("POST"), json, timeout);
    if (!answer.isSuccess()) {
        throw OnboardingRequestError(OnboardingRequestError::Kind::badStatus,
                                     QStringLiteral("The server answered with status %1.").arg(answer.status));
    }
}

} // namespace LoginFirstConsentAPI
