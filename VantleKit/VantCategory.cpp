#include "VantleKit/VantCategory.h"

#include "VantleKit/VantJSON.h"

QJsonObject VantCategory::toJson() const
{
    QJsonObject json{
        {QStringLiteral("id"), id},
        {QStringLiteral("name"), name},
        {QStringLiteral("kind"), toRaw(kind)},
        {QStringLiteral("position"), position},
        {QStringLiteral("archived"), archived},
    };
    VantJSON::insertIfPresent(json, QStringLiteral("color"), color);
    VantJSON::insertIfPresent(json, QStringLiteral("icon"), icon);
    VantJSON::insertIfPresent(json, QStringLiteral("weekly_budget_half_hours"), weeklyBudgetHalfHours);
    return json;
}

std::optional<VantCategory> VantCategory::fromJson(const QJsonObject &json)
{
    VantJSON::Reader reader(json);
    VantCategory category;
    category.id = reader.requiredString(QStringLiteral("id"));
    category.name = reader.requiredString(QStringLiteral("name"));
    category.kind = reader.requiredRaw(QStringLiteral("kind"), CategoryKind::committed);
    category.color = reader.optionalString(QStringLiteral("color"));
    category.icon = reader.optionalString(QStringLiteral("icon"));
    category.weeklyBudgetHalfHours = reader.optionalInteger(QStringLiteral("weekly_budget_half_hours"));
    category.position = reader.requiredInteger(QStringLiteral("position"));
    category.archived = reader.requiredBool(QStringLiteral("archived"));
    if (!reader.ok())
        return std::nullopt;
    return category;
}
