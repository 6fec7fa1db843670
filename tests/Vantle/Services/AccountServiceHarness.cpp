#include "AccountServiceHarness.h"

#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/OrvalenInstallMetrics.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "support/TaskRunner.h"

#include <QFile>
#include <QJsonDocument>

AccountServiceHarness::AccountServiceHarness(std::shared_ptr<KeychainBackend> keychainBackend)
    : keychain(std::move(keychainBackend))
{
    identity.setAuthority(&authority);
    m_hadAuthority = qEnvironmentVariableIsSet("VANTLE_AUTHORITY_URL");
    m_hadIdentity = qEnvironmentVariableIsSet("VANTLE_IDENTITY_URL");
    m_previousAuthority = qgetenv("VANTLE_AUTHORITY_URL");
    m_previousIdentity = qgetenv("VANTLE_IDENTITY_URL");
    qputenv("VANTLE_AUTHORITY_URL", authority.issuer().toString().toUtf8());
    qputenv("VANTLE_IDENTITY_URL", identity.baseUrl().toString().toUtf8());
    KeychainHelper::setKeychain(keychain);
    OrvalenInstallMetrics::setKeychain(keychain);

    QFile machineId(folder.filePath(QStringLiteral("machine-id")));
    machineId.open(QIODevice::WriteOnly);
    machineId.write("3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    machineId.close();
    device = std::make_unique<DeviceService>(machineId.fileName());
    browser = std::make_unique<Fakes::FakeBrowser>(
        [this](const QUrl &url) { return bridge && bridge->manager()->resume(url); });
    launch();
}

AccountServiceHarness::~AccountServiceHarness()
{
    service.reset();
    bridge.reset();
    browser.reset();
    KeychainHelper::setKeychain(nullptr);
    OrvalenInstallMetrics::setKeychain(nullptr);
    if (m_hadAuthority)
        qputenv("VANTLE_AUTHORITY_URL", m_previousAuthority);
    else
        qunsetenv("VANTLE_AUTHORITY_URL");
    if (m_hadIdentity)
        qputenv("VANTLE_IDENTITY_URL", m_previousIdentity);
    else
        qunsetenv("VANTLE_IDENTITY_URL");
}

void AccountServiceHarness::launch()
{
    service.reset();
    bridge.reset();
    OrvalenAccountManager::Environment environment;
    environment.keychain = keychain;
    environment.dpop.keychain = keychain;
    bridge = std::make_unique<OrvalenAccountBridge>(environment);

    AccountService::Environment serviceEnvironment;
    serviceEnvironment.track = [this](const QString &event, const Analytics::Properties &properties) {
        journal.append(QStringLiteral("track ") + event);
        events.append({event, properties});
    };
    serviceEnvironment.identify = [this](const QString &id) {
        journal.append(QStringLiteral("identify %1 (mirrored: %2)").arg(id, service->orvalenAccountID()));
    };
    serviceEnvironment.log = [this](const QString &level, const QString &message) {
        journal.append(level + QLatin1Char(' ') + message);
    };
    serviceEnvironment.installID = [] { return QStringLiteral("dev_install-of-this-test"); };
    serviceEnvironment.keychain = keychain;
    service = std::make_unique<AccountService>(device.get(), serviceEnvironment);
}

bool AccountServiceHarness::waitForLaunchRestore()
{
    return TestSupport::waitUntil([this] { return service->didCompleteLaunchRestore(); });
}

KeychainStorage AccountServiceHarness::storage() const
{
    return KeychainStorage(QStringLiteral("vantle"), std::nullopt, keychain);
}

std::optional<StoredSession> AccountServiceHarness::stored() const
{
    return storage().getJSON<StoredSession>(KeychainStorage::Keys::session);
}

StoredSession AccountServiceHarness::storeLiveSession(qint64 secondsToExpiry, const QString &accountID,
                                                      const QString &email)
{
    const QJsonObject issued = identity.issueSession(QStringLiteral("vantle"));
    StoredSession session;
    session.oas = issued.value(QStringLiteral("oas")).toString();
    session.refreshToken = issued.value(QStringLiteral("refresh_token")).toString();
    session.expiresAt = QDateTime::currentDateTimeUtc().addSecs(secondsToExpiry);
    session.account = OrvalenAccount{OrvalenAccountID(accountID), email, std::nullopt};
    session.appSlug = QStringLiteral("vantle");
    session.issuedAt = QDateTime::currentDateTimeUtc().addSecs(-60);
    storage().setJSON(session, KeychainStorage::Keys::session);
    return session;
}

Fakes::ScriptedAnswer AccountServiceHarness::exchangeAnswer(std::chrono::milliseconds delay, std::optional<QString> email)
{
    QJsonObject session = identity.issueSession(QStringLiteral("vantle"));
    if (email)
        session.insert(QStringLiteral("email"), *email);
    Fakes::ScriptedAnswer answer =
        Fakes::ScriptedAnswer::json(200, QJsonDocument(session).toJson(QJsonDocument::Compact));
    answer.delay = delay;
    return answer;
}

Analytics::Properties AccountServiceHarness::eventProperties(const QString &event) const
{
    for (auto it = events.crbegin(); it != events.crend(); ++it) {
        if (it->first == event)
            return it->second;
    }
    return {};
}

QStringList AccountServiceHarness::journalOf(const QString &prefix) const
{
    QStringList out;
    for (const QString &line : journal) {
        if (line.startsWith(prefix))
            out.append(line);
    }
    return out;
}
