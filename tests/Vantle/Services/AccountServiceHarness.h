#pragma once

#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/StoredSession.h"
#include "Platform/Keychain.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/OrvalenAccountBridge.h"
#include "tools/fakes/FakeAuthority.h"
#include "tools/fakes/FakeBrowser.h"
#include "tools/fakes/FakeIdentityService.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

// The application's account objects (device service, bridge, account service) over the
// loopback sign-in services and a browser that follows the authority back into the
// manager. Every event, identify call and log line of the service goes, in order, into
// one journal: "track <event>", "identify <id> (mirrored: <service id>)", "<level> <message>".
class AccountServiceHarness final {
public:
    // `keychain` null: the real keyring, for the application's items and the account layer's.
    explicit AccountServiceHarness(std::shared_ptr<KeychainBackend> keychain);
    ~AccountServiceHarness();

    // Builds a bridge and a service as the application would at a launch; attach() restores.
    void launch();
    void attach() { service->attach(bridge.get()); }
    // Waits until the launch restore has finished.
    bool waitForLaunchRestore();

    // The account layer's store of this application.
    KeychainStorage storage() const;
    std::optional<StoredSession> stored() const;
    // A session the fake identity service knows, stored as a sign-in would.
    StoredSession storeLiveSession(qint64 secondsToExpiry, const QString &accountID, const QString &email);
    // A session exchange answer with a fresh session the fake knows, sent after `delay`;
    // `email` stands in for the account's own address when given.
    Fakes::ScriptedAnswer exchangeAnswer(std::chrono::milliseconds delay, std::optional<QString> email = std::nullopt);

    // The properties the service tracked last for `event`; empty when none.
    Analytics::Properties eventProperties(const QString &event) const;
    QStringList journalOf(const QString &prefix) const;

    Fakes::FakeAuthority authority;
    Fakes::FakeIdentityService identity;
    std::shared_ptr<KeychainBackend> keychain;
    QTemporaryDir folder;
    std::unique_ptr<DeviceService> device;
    std::unique_ptr<OrvalenAccountBridge> bridge;
    std::unique_ptr<AccountService> service;
    std::unique_ptr<Fakes::FakeBrowser> browser;
    QStringList journal;
    QList<QPair<QString, Analytics::Properties>> events;

private:
    QByteArray m_previousAuthority;
    QByteArray m_previousIdentity;
    bool m_hadAuthority = false;
    bool m_hadIdentity = false;
};
