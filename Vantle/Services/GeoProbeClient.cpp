#include "Vantle/Services/GeoProbeClient.h"

#include "OrvalenAccount/Internal/HTTPTransport.h"
#include "Platform/Preferences.h"

#include <QJsonDocument>
#include <QJsonObject>

bool GeoProbeClient::cachedIsEU()
{
    return cachedAnswer().value_or(false);
}

std::optional<bool> GeoProbeClient::cachedAnswer()
{
    const Preferences &preferences = Preferences::standard();
    if (!preferences.contains(cachedIsEUKey))
        return std::nullopt;
    return preferences.boolValue(cachedIsEUKey);
}

std::optional<bool> GeoProbeClient::parseAnswer(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonValue isEU = document.object().value(QStringLiteral("is_eu"));
    if (!isEU.isBool())
        return std::nullopt;
    return isEU.toBool();
}

QCoro::Task<std::optional<bool>> GeoProbeClient::probe(QUrl identityURL, QNetworkAccessManager *network)
{
    try {
        HTTPRequest request;
        request.url = identityURL;
        request.url.setPath(identityURL.path() + path);
        request.headers.append(qMakePair(QByteArray("Accept"), QByteArray("application/json")));
        request.timeout = timeout;
        const HTTPResponse response = co_await HTTPTransport::send(network, std::move(request));
        if (!response.isSuccess())
            co_return std::nullopt;
        const std::optional<bool> answer = parseAnswer(response.body);
        if (answer)
            Preferences::standard().setValue(cachedIsEUKey, *answer);
        co_return answer;
    } catch (...) {
        co_return std::nullopt;
    }
}
