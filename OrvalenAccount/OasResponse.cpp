#include "OrvalenAccount/OasResponse.h"

#include "OrvalenAccount/OrvalenJSON.h"

OasResponse OasResponse::fromJson(const QJsonObject &object)
{
    using namespace OrvalenJSON;
    OasResponse response;
    response.ok = requireBool(object, "ok");
    response.oas = requireString(object, "oas");
    response.sessionToken = optionalString(object, "session_token");
    response.refreshToken = optionalString(object, "refresh_token");
    response.expiresIn = optionalInt(object, "expires_in");
    response.expiresAt = requireDate(object, "expires_at");
    response.orvalenAccountId = OrvalenAccountID(requireString(object, "orvalen_account_id"));
    response.email = requireString(object, "email");
    response.appSlug = requireString(object, "app_slug");
    response.platform = optionalString(object, "platform");
    response.appDataToken = optionalString(object, "app_data_token");
    response.appDataTokenExpiresAt = optionalDate(object, "app_data_token_expires_at");
    if (const auto policy = optionalObject(object, "orvalen_lib_version"))
        response.libVersionPolicy = LibVersionPolicy::fromJson(*policy);
    return response;
}

QJsonObject OasResponse::toJson() const
{
    QJsonObject object{
        {QStringLiteral("ok"), ok},
        {QStringLiteral("oas"), oas},
        {QStringLiteral("expires_at"), OrvalenJSON::encodeDate(expiresAt)},
        {QStringLiteral("orvalen_account_id"), orvalenAccountId.toJson()},
        {QStringLiteral("email"), email},
        {QStringLiteral("app_slug"), appSlug},
    };
    if (sessionToken)
        object.insert(QStringLiteral("session_token"), *sessionToken);
    if (refreshToken)
        object.insert(QStringLiteral("refresh_token"), *refreshToken);
    if (expiresIn)
        object.insert(QStringLiteral("expires_in"), *expiresIn);
    if (platform)
        object.insert(QStringLiteral("platform"), *platform);
    if (appDataToken)
        object.insert(QStringLiteral("app_data_token"), *appDataToken);
    if (appDataTokenExpiresAt)
        object.insert(QStringLiteral("app_data_token_expires_at"), OrvalenJSON::encodeDate(*appDataTokenExpiresAt));
    if (libVersionPolicy)
        object.insert(QStringLiteral("orvalen_lib_version"), libVersionPolicy->toJson());
    return object;
}
