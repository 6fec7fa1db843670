#pragma once

#include "VantleKit/CategoryKind.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// A category of the ledger as the service returns it.
struct VantCategory {
    QString id;
    QString name;
    CategoryKind kind = CategoryKind::committed;
    std::optional<QString> color; // "#" and six hexadecimal digits
    std::optional<QString> icon;
    std::optional<qint64> weeklyBudgetHalfHours;
    qint64 position = 0;
    bool archived = false;

    QJsonObject toJson() const;
    // Nothing when a required member is missing or any member has the wrong type
    // (an unknown kind included).
    static std::optional<VantCategory> fromJson(const QJsonObject &json);

    bool operator==(const VantCategory &) const = default;
};
