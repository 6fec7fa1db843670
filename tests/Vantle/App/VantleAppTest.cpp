#include "Vantle/App/VantleApp.h"

#include "../Services/AccountServiceHarness.h"
#include "OrvalenAccount/Internal/OIDCExternalUserAgentSession.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "support/TaskRunner.h"

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

} // namespace
