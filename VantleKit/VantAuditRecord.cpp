#include "VantleKit/VantAuditRecord.h"

#include "OrvalenAccount/OrvalenJSON.h"
#include "VantleKit/VantJSON.h"

QJsonObject VantAuditRecord::toJson() const
{
    QJsonObject json;
    VantJSON::insertIfPresent(json, QStringLiteral("id"), id);
    if (answers)
        json.insert(QStringLiteral("answers"), answers->toJson());
    if (derived)
        json.insert(QStringLiteral("derived"), derived->toJson());
    VantJSON::insertIfPresent(json, QStringLiteral("sleep_hours"), sleepHours);
    VantJSON::insertIfPresent(json, QStringLiteral("wake_time"), wakeTime);
    VantJSON::insertIfPresent(json, QStringLiteral("timezone"), timezone);
    if (createdAt)
        json.insert(QStringLiteral("created_at"), OrvalenJSON::encodeDate(*createdAt));
    return json;
}

std::optional<VantAuditRecord> VantAuditRecord::fromJson(const QJsonObject &json)
{
    VantJSON::Reader reader(json);
    VantAuditRecord record;
    record.id = reader.optionalString(QStringLiteral("id"));
    record.answers = reader.optionalValue(QStringLiteral("answers"));
    record.derived = reader.optionalValue(QStringLiteral("derived"));
    record.sleepHours = reader.optionalNumber(QStringLiteral("sleep_hours"));
    record.wakeTime = reader.optionalNumber(QStringLiteral("wake_time"));
    record.timezone = reader.optionalString(QStringLiteral("timezone"));
    record.createdAt = reader.optionalDate(QStringLiteral("created_at"));
    if (!reader.ok())
        return std::nullopt;
    return record;
}
