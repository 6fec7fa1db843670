#include "OrvalenAccount/OrvalenAccount.h"

#include "OrvalenAccount/OrvalenJSON.h"

#include <QJsonArray>

OrvalenAccount OrvalenAccount::fromJson(const QJsonObject &object)
{
    OrvalenAccount account;
    account.orvalenAccountId = OrvalenAccountID(OrvalenJSON::requireString(object, "orvalen_account_id"));
    account.emailPrimary = OrvalenJSON::requireString(object, "email_primary");
    if (const auto list = OrvalenJSON::optionalArray(object, "providers")) {
        QList<OrvalenProvider> providers;
        providers.reserve(list->size());
        for (const QJsonValue &item : *list) {
            if (!item.isString())
                throw OrvalenJSON::DecodingError(QStringLiteral("Wrong type in \"providers\": expected string"));
            const auto provider = fromRaw<OrvalenProvider>(item.toString());
            if (!provider)
                throw OrvalenJSON::DecodingError(QStringLiteral("Unknown provider \"%1\"").arg(item.toString()));
            providers.append(*provider);
        }
        account.providers = providers;
    }
    return account;
}

QJsonObject OrvalenAccount::toJson() const
{
    QJsonObject object{
        {QStringLiteral("orvalen_account_id"), orvalenAccountId.toJson()},
        {QStringLiteral("email_primary"), emailPrimary},
    };
    if (providers) {
        QJsonArray list;
        for (const OrvalenProvider provider : *providers)
            list.append(toRaw(provider));
        object.insert(QStringLiteral("providers"), list);
    }
    return object;
}

size_t qHash(const OrvalenAccount &account, size_t seed) noexcept
{
    seed = qHashMulti(seed, account.orvalenAccountId, account.emailPrimary, account.providers.has_value());
    if (account.providers)
        seed = qHashRange(account.providers->cbegin(), account.providers->cend(), seed);
    return seed;
}
