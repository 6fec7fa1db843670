#pragma once

#include <QMap>
#include <QString>

#include <optional>

// What the redirect carried back for an accepted authorization request.
struct OIDCAuthorizationResponse {
    std::optional<QString> authorizationCode;
    std::optional<QString> state;
    // Every other query parameter of the redirect, decoded.
    QMap<QString, QString> additionalParameters;
};
