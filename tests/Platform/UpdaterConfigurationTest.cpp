#include "Platform/UpdaterConfiguration.h"

#include <gtest/gtest.h>

#include <QtGlobal>

namespace {

struct Env {
    const char *feed; // nullptr: unset
    const char *key;
};

void apply(const char *name, const char *value)
{
    if (value)
        qputenv(name, value);
    else
        qunsetenv(name);
}

TEST(UpdaterConfiguration, EnvironmentOverridesTheBuildOnlyWithUsableValues)
{
    apply("VANTLE_UPDATE_FEED_URL", nullptr);
    apply("VANTLE_UPDATE_PUBLIC_KEY", nullptr);
    const QVariantMap built = UpdaterConfiguration::infoDictionary();
    const QString builtFeed = built.value(UpdaterConfiguration::feedURLKey).toString();
    const QString builtKey = built.value(UpdaterConfiguration::publicKeyKey).toString();

    const struct {
        const char *name;
        Env env;
        QString feed;
        QString key;
    } cases[] = {
        {"nothing set", {nullptr, nullptr}, builtFeed, builtKey},
        {"loopback feed and test key", {"http://127.0.0.1:4107/updates/feed.xml", "dGVzdA=="},
         QStringLiteral("http://127.0.0.1:4107/updates/feed.xml"), QStringLiteral("dGVzdA==")},
        // A typo must not send a test run to the real feed, nor blank out the key.
        {"feed not an address", {"127.0.0.1:4107/feed.xml", nullptr}, builtFeed, builtKey},
        {"feed of another scheme", {"file:///tmp/feed.xml", nullptr}, builtFeed, builtKey},
        {"blank values", {"  ", " \n"}, builtFeed, builtKey},
        // The key is handed on as written: the placeholder rule applies to it downstream.
        {"placeholder key", {nullptr, "REPLACE_ME"}, builtFeed, QStringLiteral("REPLACE_ME")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        apply("VANTLE_UPDATE_FEED_URL", c.env.feed);
        apply("VANTLE_UPDATE_PUBLIC_KEY", c.env.key);
        const QVariantMap info = UpdaterConfiguration::infoDictionary();
        EXPECT_EQ(info.value(UpdaterConfiguration::feedURLKey).toString(), c.feed);
        EXPECT_EQ(info.value(UpdaterConfiguration::publicKeyKey).toString(), c.key);
        EXPECT_EQ(info.value(UpdaterConfiguration::feedURLKey).typeId(), QMetaType::QString);
    }
    apply("VANTLE_UPDATE_FEED_URL", nullptr);
    apply("VANTLE_UPDATE_PUBLIC_KEY", nullptr);
}

} // namespace
