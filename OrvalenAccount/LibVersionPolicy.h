#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// The identity service's statement of which account-layer versions it still accepts.
// Its JSON keys are the field names themselves (camelCase).
struct LibVersionPolicy {
    std::optional<QString> minVersion;
    std::optional<QString> currentVersion;
    std::optional<QString> replacement;
    std::optional<QString> reason;
    std::optional<QDateTime> expires;

    // Every field optional; a wrong JSON type or a bad date throws OrvalenJSON::DecodingError.
    static LibVersionPolicy fromJson(const QJsonObject &object);
    // Absent fields are not written.
    QJsonObject toJson() const;

    bool operator==(const LibVersionPolicy &) const = default;
};
