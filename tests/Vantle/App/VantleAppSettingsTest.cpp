// The application's settings window: one window, over the application's own services,
// that brings the main window back after a sign-in begun in it.

#include "Vantle/App/VantleApp.h"

#include "OrvalenAccount/OrvalenInstallMetrics.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "Vantle/Shell/MainWindow.h"
#include "Vantle/Views/SettingsView.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeService.h"

#include <gtest/gtest.h>

TEST(VantleAppSettings, OneSettingsWindowThatBringsTheMainWindowBack)
{
    // Nothing leaves the machine: every service address is a closed loopback port.
    const QByteArray closed = QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort()).toUtf8();
    const char *const addresses[] = {"VANTLE_AUTHORITY_URL", "VANTLE_IDENTITY_URL", "VANTLE_LEDGER_URL",
                                     "VANTLE_CONTACTS_URL", "VANTLE_ANALYTICS_URL"};
    for (const char *name : addresses)
        qputenv(name, closed);
    auto keychain = std::make_shared<InMemoryKeychain>();
    KeychainHelper::setKeychain(keychain);
    OrvalenInstallMetrics::setKeychain(keychain);
    Preferences::setStandard(std::make_shared<InMemoryPreferences>());
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
    Preferences::setStandard(nullptr);
    OrvalenInstallMetrics::setKeychain(nullptr);
    KeychainHelper::setKeychain(nullptr);
    for (const char *name : addresses)
        qunsetenv(name);
}
