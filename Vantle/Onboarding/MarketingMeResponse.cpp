#include "Vantle/Onboarding/MarketingMeResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

std::optional<MarketingMeResponse> MarketingMeResponse::fromJson(const QByteArray &body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue lists = document.object().value(QStringLiteral("lists"));
    if (!lists.isArray())
        return std::nullopt;
    MarketingMeResponse response;
    for (const QJsonValue &entry : lists.toArray()) {
        const QJsonValue slug = entry.toObject().value(QStringLiteral("list_slug"));
        const QJsonValue state = entry.toObject().value(QStringLiteral("state"));
        if (!entry.isObject() || !slug.isString() || !state.isString())
            return std::nullopt;
        response.lists.append(MarketingListState{slug.toString(), state.toString()});
    }
    return response;
}
