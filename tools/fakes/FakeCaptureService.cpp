#include "tools/fakes/FakeCaptureService.h"

#include <QJsonDocument>

namespace Fakes {

namespace {
bool nonEmptyString(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    return value.isString() && !value.toString().isEmpty();
}
} // namespace

FakeCaptureService::FakeCaptureService(QObject *parent) : FakeService(parent)
{
    on(QStringLiteral("POST"), capturePath, [this](const RecordedRequest &request) { return capture(request); });
}

QStringList FakeCaptureService::eventNames() const
{
    QStringList names;
    for (const QJsonObject &event : m_events)
        names.append(event.value(QStringLiteral("event")).toString());
    return names;
}

ScriptedAnswer FakeCaptureService::capture(const RecordedRequest &request)
{
    const QJsonDocument document = request.json();
    const QJsonObject body = document.object();
    const QJsonValue properties = body.value(QStringLiteral("properties"));
    if (!document.isObject() || !nonEmptyString(body, QStringLiteral("api_key"))
        || !nonEmptyString(body, QStringLiteral("event")) || !nonEmptyString(body, QStringLiteral("distinct_id"))
        || !(properties.isUndefined() || properties.isObject())) {
        return ScriptedAnswer::json(400, R"({"error":"invalid_payload"})");
    }
    if (!m_acceptedKey.isEmpty() && body.value(QStringLiteral("api_key")).toString() != m_acceptedKey)
        return ScriptedAnswer::json(401, R"({"error":"invalid_api_key"})");
    m_events.append(body);
    return ScriptedAnswer::json(200, R"({"status":1})");
}

} // namespace Fakes
