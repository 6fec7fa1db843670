#include "VantleKit/VantAuditCategoryInput.h"

#include "VantleKit/VantJSON.h"

QJsonObject VantAuditCategoryInput::toJson() const
{
    QJsonObject json{
        {QStringLiteral("name"), name},
        {QStringLiteral("kind"), toRaw(kind)},
        {QStringLiteral("position"), position},
        {QStringLiteral("weekly_budget_half_hours"), weeklyBudgetHalfHours},
    };
    VantJSON::insertIfPresent(json, QStringLiteral("color"), color);
    VantJSON::insertIfPresent(json, QStringLiteral("icon"), icon);
    return json;
}

std::optional<VantAuditCategoryInput> VantAuditCategoryInput::fromJson(const QJsonObject &json)
{
    VantJSON::Reader reader(json);
    VantAuditCategoryInput input;
    input.name = reader.requiredString(QStringLiteral("name"));
    input.kind = reader.requiredRaw(QStringLiteral("kind"), CategoryKind::committed);
    input.color = reader.optionalString(QStringLiteral("color"));
    input.icon = reader.optionalString(QStringLiteral("icon"));
    input.position = reader.requiredInteger(QStringLiteral("position"));
    input.weeklyBudgetHalfHours = reader.requiredInteger(QStringLiteral("weekly_budget_half_hours"));
    if (!reader.ok())
        return std::nullopt;
    return input;
}
