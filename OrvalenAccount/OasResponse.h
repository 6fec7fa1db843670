#pragma once

#include "OrvalenAccount/LibVersionPolicy.h"
#include "OrvalenAccount/OrvalenAccountID.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// The identity service's answer to the session exchange and the session refresh.
struct OasResponse {
    bool ok = false;
    QString oas; // the session token: the bearer token of every authenticated call
    std::optional<QString> sessionToken;
    std::optional<QString> refreshToken;
    std::optional<qint64> expiresIn;
    QDateTime expiresAt;
    OrvalenAccountID orvalenAccountId;
    QString email;
    QString appSlug;
    std::optional<QString> platform;
    std::optional<QString> appDataToken;
    std::optional<QDateTime> appDataTokenExpiresAt;
    std::optional<LibVersionPolicy> libVersionPolicy; // key "orvalen_lib_version"

    // snake_case keys. A missing required key, a wrong JSON type, a bad date or a
    // malformed policy fails the whole answer: throws OrvalenJSON::DecodingError.
    static OasResponse fromJson(const QJsonObject &object);
    // Every required field and each present optional one.
    QJsonObject toJson() const;

    bool operator==(const OasResponse &) const = default;
};
