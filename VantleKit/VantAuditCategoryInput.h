#pragma once

#include "VantleKit/CategoryKind.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// One category of an audit submission; the service creates it with its weekly budget.
struct VantAuditCategoryInput {
    QString name;
    CategoryKind kind = CategoryKind::committed;
    std::optional<QString> color; // "#" and six hexadecimal digits
    std::optional<QString> icon;
    qint64 weeklyBudgetHalfHours = 0;
    qint64 position = 0; // from 0

    // "color" and "icon" are left out when absent.
    QJsonObject toJson() const;
    static std::optional<VantAuditCategoryInput> fromJson(const QJsonObject &json);

    bool operator==(const VantAuditCategoryInput &) const = default;
};
