#include "Vantle/App/VantleApp.h"

#include "../Services/AccountServiceHarness.h"
#include "OrvalenAccount/Internal/OIDCExternalUserAgentSession.h"
#include "OrvalenAccount/OrvalenInstallMetrics.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Shell/MainWindow.h"
#include "Vantle/Utilities/DiagnosticLogger.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeService.h"

#include <QDateTime>

#include <QUrlQuery>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

TEST(VantleAppTest, FirstOpenedOncePerInstallRelaunchedEveryTime)
{
    InMemoryPreferences preferences;
    QStringList tracked;
    const auto track = [&tracked](const QString &event) { tracked.append(event); };
    const QList<QStringList> launches = {
        {QStringLiteral("app_first_opened"), QStringLiteral("app_relaunched")},
        {QStringLiteral("app_relaunched")},
        {QStringLiteral("app_relaunched")},
    };
    for (const QStringList &expected : launches) {
        tracked.clear();
        VantleApp::trackLaunch(preferences, track);
        EXPECT_EQ(tracked, expected);
    }
}

TEST(VantleAppTest, VerboseLoggingTurnedOnBeforeTheLaunchKeepsDebugLines)
{
    const QByteArray closed = QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort()).toUtf8();
    const char *const addresses[] = {"VANTLE_AUTHORITY_URL", "VANTLE_IDENTITY_URL", "VANTLE_LEDGER_URL",
                                     "VANTLE_CONTACTS_URL", "VANTLE_ANALYTICS_URL"};
    for (const char *name : addresses)
        qputenv(name, closed);
    auto keychain = std::make_shared<InMemoryKeychain>();
    KeychainHelper::setKeychain(keychain);
    OrvalenInstallMetrics::setKeychain(keychain);
    // A fresh process: the log has not read the switch yet.
    Preferences::setStandard(std::make_shared<InMemoryPreferences>());
    DiagnosticLogger::watch();
    // Turned on a minute before this launch, in the stored preferences.
    auto stored = std::make_shared<InMemoryPreferences>();
    stored->setValue(DiagnosticLogger::enabledKey, true);
    stored->setValue(DiagnosticLogger::enabledAtKey,
                     static_cast<double>(QDateTime::currentSecsSinceEpoch() - 60));
    Preferences::setStandard(stored);
    ASSERT_FALSE(DiagnosticLogger::verboseActiveNow());
    {
        VantleApp app(nullptr);
        ASSERT_TRUE(TestSupport::waitUntil([&] { return app.accountService() != nullptr; }));
        EXPECT_TRUE(DiagnosticLogger::verboseActiveNow());
        // Behind the first screen, never left out: the tray's icon and the window's.
        ASSERT_TRUE(TestSupport::waitUntil([&] { return app.tray() != nullptr; }));
        EXPECT_FALSE(app.mainWindow()->windowIcon().isNull());
        TestSupport::spinFor(std::chrono::milliseconds(50));
    }
    Preferences::setStandard(nullptr);
    DiagnosticLogger::watch();
    OrvalenInstallMetrics::setKeychain(nullptr);
    KeychainHelper::setKeychain(nullptr);
    for (const char *name : addresses)
        qunsetenv(name);
}

} // namespace
