#include "OrvalenAccount/LibVersionPolicy.h"

#include "OrvalenAccount/OrvalenJSON.h"

LibVersionPolicy LibVersionPolicy::fromJson(const QJsonObject &object)
{
    LibVersionPolicy policy;
    policy.minVersion = OrvalenJSON::optionalString(object, "minVersion");
    policy.currentVersion = OrvalenJSON::optionalString(object, "currentVersion");
    policy.replacement = OrvalenJSON::optionalString(object, "replacement");
    policy.reason = OrvalenJSON::optionalString(object, "reason");
    policy.expires = OrvalenJSON::optionalDate(object, "expires");
    return policy;
}

QJsonObject LibVersionPolicy::toJson() const
{
    QJsonObject object;
    if (minVersion)
        object.insert(QStringLiteral("minVersion"), *minVersion);
    if (currentVersion)
        object.insert(QStringLiteral("currentVersion"), *currentVersion);
    if (replacement)
        object.insert(QStringLiteral("replacement"), *replacement);
    if (reason)
        object.insert(QStringLiteral("reason"), *reason);
    if (expires)
        object.insert(QStringLiteral("expires"), OrvalenJSON::encodeDate(*expires));
    return object;
}
