#include "Platform/Deployment.h"

#include <gtest/gtest.h>

#include <QtGlobal>

namespace {

struct EnvCase {
    const char *value; // nullptr: unset
    const char *fallback;
    const char *expected;
};

TEST(Deployment, ResolvesEnvironmentOverFallback)
{
    const EnvCase cases[] = {
        {nullptr, "https://id.example.test", "https://id.example.test"},
        {"http://127.0.0.1:4100", "https://id.example.test", "http://127.0.0.1:4100"},
        {"http://127.0.0.1:4100/", "https://id.example.test", "http://127.0.0.1:4100"},
        {"  http://127.0.0.1:4100/base/ ", "https://x.test", "http://127.0.0.1:4100/base"},
        // Not an absolute http(s) address: ignored rather than half-used.
        {"127.0.0.1:4100", "https://id.example.test", "https://id.example.test"},
        {"file:///etc/passwd", "https://id.example.test", "https://id.example.test"},
        {"", "https://id.example.test/", "https://id.example.test"},
    };
    for (const auto &c : cases) {
        if (c.value)
            qputenv("VANTLE_TEST_DEPLOYMENT_URL", c.value);
        else
            qunsetenv("VANTLE_TEST_DEPLOYMENT_URL");
        EXPECT_EQ(Deployment::resolve("VANTLE_TEST_DEPLOYMENT_URL", c.fallback).toString().toStdString(),
                  c.expected)
            << (c.value ? c.value : "(unset)");
    }
    qunsetenv("VANTLE_TEST_DEPLOYMENT_URL");
}

TEST(Deployment, VersionDefaultsWhenBuildSetsNone)
{
    EXPECT_FALSE(Deployment::buildVersion().isEmpty());
}

} // namespace
