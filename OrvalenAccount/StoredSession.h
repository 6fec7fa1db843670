#pragma once

#include "OrvalenAccount/OasResponse.h"
#include "OrvalenAccount/OrvalenAccount.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// The persisted session: one JSON object in the keychain item "orvalen_session",
// read by every part of the application that presents the session token.
struct StoredSession {
    QString oas;                          // the session token
    std::optional<QString> refreshToken;
    QDateTime expiresAt;                  // when oas stops being valid
    OrvalenAccount account;
    QString appSlug;                      // the slug of the configuration that stored it
    QDateTime issuedAt;                   // when it was stored

    // The session a code exchange or a refresh answered, stored at `issuedAt`.
    static StoredSession from(const OasResponse &answer, const QDateTime &issuedAt);

    // Keys "oas", "refreshToken", "expiresAt", "account", "appSlug", "issuedAt" (camel
    // case). A missing or null refreshToken reads as absent; every other key is required.
    // Throws OrvalenJSON::DecodingError.
    static StoredSession fromJson(const QJsonObject &object);
    // Throws std::invalid_argument when a date is invalid (nothing could read it back).
    QJsonObject toJson() const;
    // Compact JSON with the members in the order above; an absent refresh token is left out.
    QByteArray toJsonBytes() const;

    // True from expiresAt on (now >= expiresAt).
    bool isExpired(const QDateTime &now) const { return now >= expiresAt; }
    bool isExpired() const { return isExpired(QDateTime::currentDateTimeUtc()); }

    bool operator==(const StoredSession &) const = default;
};
