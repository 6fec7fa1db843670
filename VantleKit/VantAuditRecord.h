#pragma once

#include "VantleKit/VantJSONValue.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// The audit as the ledger service stored it. Every member is optional: the application
// only receives it back from a submission and relies on none of it, so a sparse answer
// must not turn a successful submission into a failed one.
struct VantAuditRecord {
    std::optional<QString> id;
    std::optional<VantJSONValue> answers;
    std::optional<VantJSONValue> derived;
    std::optional<double> sleepHours;
    std::optional<double> wakeTime;
    std::optional<QString> timezone;
    std::optional<QDateTime> createdAt; // UTC

    QJsonObject toJson() const;
    // Nothing when a member has the wrong type (a date that is no RFC 3339 text included).
    static std::optional<VantAuditRecord> fromJson(const QJsonObject &json);

    bool operator==(const VantAuditRecord &) const = default;
};
