// The application's settings window: one window, over the application's own services,
// that brings the main window back after a sign-in begun in it.

#include "Vantle/App/VantleApp.h"

#include "OrvalenAccount/OrvalenInstallMetrics.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/DiagnosticUploader.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "Vantle/Shell/MainWindow.h"
#include "Vantle/Views/SettingsView.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeService.h"

#include <QJsonObject>

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
