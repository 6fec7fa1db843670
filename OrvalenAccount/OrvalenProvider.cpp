#include "OrvalenAccount/OrvalenProvider.h"

QString toRaw(OrvalenProvider provider)
{
    switch (provider) {
    case OrvalenProvider::password:
        return QStringLiteral("password");
    case OrvalenProvider::emailLink:
        return QStringLiteral("email-link");
    case OrvalenProvider::google:
        return QStringLiteral("google.com");
    case OrvalenProvider::apple:
        return QStringLiteral("apple.com");
    case OrvalenProvider::passkey:
        return QStringLiteral("passkey");
    }
    return {};
}

template <>
std::optional<OrvalenProvider> fromRaw<OrvalenProvider>(const QString &raw)
{
    for (const OrvalenProvider provider : OrvalenProviders::allCases) {
        if (toRaw(provider) == raw)
            return provider;
    }
    return std::nullopt;
}
