#include "OrvalenAccount/StoredSession.h"

#include "OrvalenAccount/OrvalenJSON.h"

#include <QJsonDocument>

#include <stdexcept>

StoredSession StoredSession::fromJson(const QJsonObject &object)
{
    StoredSession session;
    session.oas = OrvalenJSON::requireString(object, "oas");
    session.refreshToken = OrvalenJSON::optionalString(object, "refreshToken");
    session.expiresAt = OrvalenJSON::requireDate(object, "expiresAt");
    session.account = OrvalenAccount::fromJson(OrvalenJSON::requireObject(object, "account"));
    session.appSlug = OrvalenJSON::requireString(object, "appSlug");
    session.issuedAt = OrvalenJSON::requireDate(object, "issuedAt");
    return session;
}

QJsonObject StoredSession::toJson() const
{
    // An invalid date would be written as text no reader accepts, and the write would
    // replace a readable session with one nobody can read.
    if (!OrvalenJSON::isEncodableDate(expiresAt) || !OrvalenJSON::isEncodableDate(issuedAt))
        throw std::invalid_argument("StoredSession: expiresAt and issuedAt must be valid dates of the years 0001 to 9999");
    QJsonObject object;
    object.insert(QStringLiteral("oas"), oas);
    if (refreshToken)
        object.insert(QStringLiteral("refreshToken"), *refreshToken);
    object.insert(QStringLiteral("expiresAt"), OrvalenJSON::encodeDate(expiresAt));
    object.insert(QStringLiteral("account"), account.toJson());
    object.insert(QStringLiteral("appSlug"), appSlug);
    object.insert(QStringLiteral("issuedAt"), OrvalenJSON::encodeDate(issuedAt));
    return object;
}

QByteArray StoredSession::toJsonBytes() const
{
    // QJsonObject sorts its keys; each member is written on its own to keep the order.
    const QJsonObject object = toJson();
    QByteArray out("{");
    for (const char *key : {"oas", "refreshToken", "expiresAt", "account", "appSlug", "issuedAt"}) {
        const QString name = QString::fromLatin1(key);
        if (!object.contains(name))
            continue;
        const QByteArray member = OrvalenJSON::serialize(QJsonObject{{name, object.value(name)}});
        if (out.size() > 1)
            out.append(',');
        out.append(member.mid(1, member.size() - 2));
    }
    out.append('}');
    return out;
}

StoredSession StoredSession::from(const OasResponse &answer, const QDateTime &issuedAt)
{
    StoredSession session;
    session.oas = answer.oas;
    session.refreshToken = answer.refreshToken;
    session.expiresAt = answer.expiresAt;
    session.account = OrvalenAccount{answer.orvalenAccountId, answer.email, std::nullopt};
    session.appSlug = answer.appSlug;
    session.issuedAt = issuedAt;
    return session;
}
