#include "tools/fakes/FakeErrorEventsService.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace Fakes {

FakeErrorEventsService::FakeErrorEventsService(QObject *parent) : FakeService(parent)
{
    on(QStringLiteral("POST"), eventsPath, [this](const RecordedRequest &request) {
        if (const auto problem = batchProblem(request.body)) {
            const QJsonObject error{{QStringLiteral("error"), QStringLiteral("invalid_payload")},
                                    {QStringLiteral("message"), *problem}};
            return ScriptedAnswer::json(400, QJsonDocument(error).toJson(QJsonDocument::Compact));
        }
        const QJsonObject batch = request.json().object();
        m_batches.append(batch);
        const QJsonObject answer{
            {QStringLiteral("accepted"), batch.value(QStringLiteral("events")).toArray().size()}};
        return ScriptedAnswer::json(202, QJsonDocument(answer).toJson(QJsonDocument::Compact));
    });
}

QList<QJsonObject> FakeErrorEventsService::events() const
{
    QList<QJsonObject> out;
    for (const QJsonObject &batch : m_batches) {
        for (const QJsonValue &event : batch.value(QStringLiteral("events")).toArray())
            out.append(event.toObject());
    }
    return out;
}

std::optional<QString> FakeErrorEventsService::batchProblem(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return QStringLiteral("the body must be a JSON object");
    const QJsonObject batch = document.object();
    for (const char *key : {"app_slug", "platform", "app_version", "os_version", "install_id"}) {
        if (!batch.value(QLatin1String(key)).isString())
            return QStringLiteral("%1 must be a string").arg(QLatin1String(key));
    }
    if (!batch.value(QStringLiteral("dropped")).isDouble())
        return QStringLiteral("dropped must be a number");
    const QJsonValue events = batch.value(QStringLiteral("events"));
    if (!events.isArray() || events.toArray().isEmpty())
        return QStringLiteral("events must be a non-empty array");
    int index = 0;
    for (const QJsonValue &value : events.toArray()) {
        const QJsonObject event = value.toObject();
        for (const char *key : {"time", "level", "subsystem", "category", "message"}) {
            if (!event.value(QLatin1String(key)).isString())
                return QStringLiteral("events[%1].%2 must be a string").arg(index).arg(QLatin1String(key));
        }
        const QString level = event.value(QStringLiteral("level")).toString();
        if (level != QLatin1String("warn") && level != QLatin1String("error"))
            return QStringLiteral("events[%1].level must be \"warn\" or \"error\"").arg(index);
        ++index;
    }
    return std::nullopt;
}

} // namespace Fakes
