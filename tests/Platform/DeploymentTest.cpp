#include "Platform/Deployment.h"
#include "Platform/LoginItem.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <optional>

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

// Launch at login writes an entry that starts the launcher of the run that started the
// application, so a start at login finds the same services; anything but a program that is
// there to run leaves the application's own executable in the entry.
TEST(Deployment, LaunchAtLoginStartsTheLauncherTheRunNamed)
{
    QTemporaryDir folder;
    const QString launcher = folder.filePath(QStringLiteral("vantle-local"));
    const QString plain = folder.filePath(QStringLiteral("notes"));
    for (const QString &path : {launcher, plain}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
    }
    QFile::setPermissions(launcher, QFile::permissions(launcher) | QFileDevice::ExeOwner);
    const QString own = QCoreApplication::applicationFilePath();
    struct Case {
        const char *name;
        std::optional<QString> value; // nothing: unset
        QString expected;
    };
    const Case cases[] = {
        {"unset", std::nullopt, own},
        {"empty", QString(), own},
        {"the launcher", launcher, launcher},
        {"a relative path", QDir::current().relativeFilePath(launcher), own},
        {"missing", folder.filePath(QStringLiteral("gone")), own},
        {"a folder", folder.path(), own},
        {"not executable", plain, own},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.value)
            qputenv("VANTLE_LAUNCHER", c.value->toLocal8Bit());
        else
            qunsetenv("VANTLE_LAUNCHER");
        EXPECT_EQ(Deployment::launcher(own), c.expected);
        EXPECT_TRUE(QString::fromUtf8(LoginItem::mainApp().entryText()).contains(QStringLiteral("\nExec=%1\n").arg(c.expected)));
    }
    qunsetenv("VANTLE_LAUNCHER");
}

TEST(Deployment, VersionDefaultsWhenBuildSetsNone)
{
    EXPECT_FALSE(Deployment::buildVersion().isEmpty());
}

} // namespace
