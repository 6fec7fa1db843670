#pragma once

#include "VantleKit/VantAuditCategoryInput.h"
#include "VantleKit/VantJSONValue.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// What one audit sends to the ledger service, which creates the categories from it.
struct AuditSubmission {
    VantJSONValue answers; // an object
    VantJSONValue derived; // an object
    double sleepHours = 0;
    double wakeTime = 0;
    QString timezone;
    QList<VantAuditCategoryInput> categories; // in position order

    // The body of POST "/audit": "answers", "derived", "sleep_hours", "wake_time",
    // "timezone" and "categories", all always present.
    static QJsonObject requestBody(const VantJSONValue &answers, const VantJSONValue &derived,
                                   double sleepHours, double wakeTime, const QString &timezone,
                                   const QList<VantAuditCategoryInput> &categories);
    QJsonObject requestBody() const;

    bool operator==(const AuditSubmission &) const = default;
};
