#include "OrvalenAccount/OrvalenAccountState.h"

const OrvalenAccount *OrvalenAccountState::account() const
{
    const SignedIn *signedIn = as<SignedIn>();
    return signedIn ? &signedIn->account : nullptr;
}

QString OrvalenAccountState::description() const
{
    if (const auto *signingIn = as<SigningIn>())
        return signingIn->pending ? QStringLiteral("signingIn(pending)") : QStringLiteral("signingIn");
    if (const auto *signedIn = as<SignedIn>())
        return QStringLiteral("signedIn(") + signedIn->account.orvalenAccountId.raw + QLatin1Char(')');
    if (const auto *failed = as<Failed>())
        return QStringLiteral("failed(") + failed->error.message() + QLatin1Char(')');
    return QStringLiteral("signedOut");
}
