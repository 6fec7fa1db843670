// The application's settings window: one window, over the application's own services,
// that brings the main window back after a sign-in begun in it.

#include "Vantle/App/VantleApp.h"

#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/OrvalenInstallMetrics.h"
#include "OrvalenAccount/StoredSession.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/DiagnosticUploader.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "Vantle/Shell/MainWindow.h"
#include "Vantle/Views/SettingsView.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeDiagnosticsService.h"
#include "tools/fakes/FakeService.h"

#include <QJsonObject>
#include <QScopeGuard>

#include <gtest/gtest.h>

namespace {

// The application over its real objects, where nothing leaves the machine: every service
// address is a closed loopback port, the keychain and the preferences live in memory.
class VantleAppSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QByteArray closed =
            QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort()).toUtf8();
        for (const char *name : addresses)
            qputenv(name, closed);
        KeychainHelper::setKeychain(m_keychain);
        OrvalenInstallMetrics::setKeychain(m_keychain);
        Preferences::setStandard(std::make_shared<InMemoryPreferences>());
    }
    void TearDown() override
    {
        Preferences::setStandard(nullptr);
        OrvalenInstallMetrics::setKeychain(nullptr);
        KeychainHelper::setKeychain(nullptr);
        for (const char *name : addresses)
            qunsetenv(name);
    }

    static constexpr const char *addresses[] = {"VANTLE_AUTHORITY_URL", "VANTLE_IDENTITY_URL", "VANTLE_LEDGER_URL",
                                                "VANTLE_CONTACTS_URL", "VANTLE_ANALYTICS_URL"};
    std::shared_ptr<InMemoryKeychain> m_keychain = std::make_shared<InMemoryKeychain>();
};

} // namespace

TEST_F(VantleAppSettings, OneSettingsWindowThatBringsTheMainWindowBack)
{
    {
        VantleApp app(nullptr);
        // Before the services exist, asking for the settings brings the main window forward.
        app.openSettings();
        EXPECT_EQ(app.settingsWindow(), nullptr);
        ASSERT_TRUE(TestSupport::waitUntil([&] { return app.accountService() != nullptr; }));

        app.openSettings();
        SettingsView *settings = app.settingsWindow();
        ASSERT_TRUE(settings);
        EXPECT_TRUE(settings->isVisible());
        settings->close();
        app.openSettings();
        EXPECT_EQ(app.settingsWindow(), settings) << "the same window, shown again";
        EXPECT_TRUE(settings->isVisible());

        app.mainWindow()->hide();
        Q_EMIT settings->openMainWindowRequested();
        EXPECT_TRUE(app.mainWindow()->isVisible());
        EXPECT_TRUE(settings->isVisible()) << "the settings stay open";
        TestSupport::spinFor(std::chrono::milliseconds(50));
    }
}

// A diagnostic report says where the account and the ledger stand, as the application
// hands them to the uploader it uses.
TEST_F(VantleAppSettings, TheApplicationsReportTellsOfTheAccountAndTheLedger)
{
    {
        VantleApp app(nullptr);
        ASSERT_TRUE(TestSupport::waitUntil([&] { return app.accountService() != nullptr; }));
        ASSERT_TRUE(TestSupport::waitUntil([&] { return app.accountService()->didCompleteLaunchRestore(); }));
        const QJsonObject summary = DiagnosticUploader::shared().reportSummary();
        const QJsonObject account = summary.value(QStringLiteral("account")).toObject();
        EXPECT_TRUE(account.value(QStringLiteral("available")).toBool());
        EXPECT_EQ(account.value(QStringLiteral("state")).toString(), QStringLiteral("signed_out"));
        const QJsonObject ledger = summary.value(QStringLiteral("ledger")).toObject();
        EXPECT_TRUE(ledger.value(QStringLiteral("available")).toBool());
        EXPECT_EQ(ledger.value(QStringLiteral("categories")).toInt(-1), 0);
        EXPECT_FALSE(ledger.value(QStringLiteral("categories_loaded")).toBool());
    }
    // The application gone, nothing is reported from it.
    EXPECT_FALSE(DiagnosticUploader::shared().reportSummary().value(QStringLiteral("ledger")).toObject()
                     .value(QStringLiteral("available")).toBool());
}

// A report presents the session token the account manager keeps in memory: a click on
// Send never waits for the keychain to answer.
TEST_F(VantleAppSettings, TheApplicationsReportPresentsTheSessionTokenHeldInMemory)
{
    // The account layer's item of the application, in the keyring the application reads.
    KeychainStorage storage(QStringLiteral("vantle"));
    const auto removeItem = qScopeGuard([&storage] { storage.deleteData(KeychainStorage::Keys::session); });
    const auto session = [](const QString &token) {
        return StoredSession{token, std::nullopt, QDateTime::currentDateTimeUtc().addSecs(3600),
                             OrvalenAccount{OrvalenAccountID(QStringLiteral("oa_report")),
                                            QStringLiteral("r@example.test"), std::nullopt},
                             QStringLiteral("vantle"), QDateTime::currentDateTimeUtc()};
    };
    Fakes::FakeDiagnosticsService service;
    service.setAcceptedToken(QStringLiteral("oas_in_memory"));
    storage.setJSON(session(QStringLiteral("oas_in_memory")), KeychainStorage::Keys::session);
    {
        VantleApp app(nullptr);
        ASSERT_TRUE(TestSupport::waitUntil([&] { return app.accountService() != nullptr; }));
        ASSERT_TRUE(TestSupport::waitUntil([&] { return app.accountService()->didCompleteLaunchRestore(); }));
        ASSERT_TRUE(app.accountService()->isAuthenticated());
        // The item changes behind the application's back: a report that read it again
        // would present this token, which the service refuses.
        storage.setJSON(session(QStringLiteral("oas_in_keychain")), KeychainStorage::Keys::session);
        DiagnosticUploader::shared().setIdentityURL([&service] { return service.identityURL(); });
        std::optional<QString> code;
        EXPECT_NO_THROW(code = TestSupport::runTask(DiagnosticUploader::shared().uploadManualAsync()));
        DiagnosticUploader::shared().setIdentityURL({});
        ASSERT_EQ(service.uploads().size(), 1);
        EXPECT_EQ(code, service.uploads().at(0).code);
    }
}
