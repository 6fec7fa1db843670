#include "Vantle/Services/OrvalenAccountBridge.h"

#include "OrvalenAccount/Internal/HTTPTransport.h"
#include "OrvalenAccount/StoredSession.h"
#include "Vantle/Services/Analytics.h"
#include "Vantle/Utilities/Constants.h"

OrvalenAccountBridge::OrvalenAccountBridge(QObject *parent)
    : OrvalenAccountBridge(OrvalenAccountManager::Environment{}, parent)
{
}

OrvalenAccountBridge::OrvalenAccountBridge(OrvalenAccountManager::Environment environment, QObject *parent)
    : QObject(parent), m_manager(new OrvalenAccountManager(makeConfig(), std::move(environment), this))
{
}

OrvalenConfig OrvalenAccountBridge::makeConfig()
{
    OrvalenConfig config;
    config.authorityURL = Constants::Auth::authorityURL();
    config.identityURL = Constants::Auth::identityURL();
    config.appSlug = appSlug;
    config.clientID = QStringLiteral("vantle");
    config.clientVersion = Constants::version();
    config.libVersion = OrvalenAccountLibrary::libVersion;
    config.redirectURI = Constants::Auth::redirectURI();
    config.preferredScheme = AuthScheme::systemBrowser;
    config.keychainAccessGroup = std::nullopt;
    config.scopes = {QStringLiteral("orvalen.account")};
    config.urlSession = HTTPTransport::sharedManager();
    config.installID = Analytics::anonymousDistinctID();
    return config;
}

std::optional<OrvalenAccountBridge::Session> OrvalenAccountBridge::currentSession() const
{
    const OrvalenAccountState state = m_manager->state();
    const OrvalenAccount *account = state.account();
    if (!account)
        return std::nullopt;
    // The token is the stored session's, which the manager keeps in memory; who is signed
    // in comes from the published state.
    const std::optional<StoredSession> stored = m_manager->storedSession();
    if (!stored)
        return std::nullopt;
    return Session{stored->oas, account->orvalenAccountId.raw, account->emailPrimary};
}

void OrvalenAccountBridge::setDidJustRestore(bool value)
{
    if (m_didJustRestore == value)
        return;
    m_didJustRestore = value;
    Q_EMIT didJustRestoreChanged(value);
}
