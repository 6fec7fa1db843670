#include "Vantle/Shell/InstanceLock.h"
#include "Vantle/Shell/ModuleLoader.h"
#include "support/TaskRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// What the loading thread asked of the module, in order.
std::mutex callsMutex;
std::vector<std::string> calls;

std::vector<std::string> recorded(bool clear = false)
{
    const std::lock_guard lock(callsMutex);
    return clear ? std::exchange(calls, {}) : calls;
}

QObject *fakeStart(AppLaunch *, int *)
{
    return nullptr;
}

ModuleLoader::Module fakeModule()
{
    ModuleLoader::Module module;
    module.entry = &fakeStart;
    module.connect = []() { const std::lock_guard lock(callsMutex); calls.emplace_back("connect"); };
    module.prepare = []() { const std::lock_guard lock(callsMutex); calls.emplace_back("prepare"); };
    return module;
}

// Only the running instance reaches the keyring, and it reads ahead only once its
// application object exists; a start that hands over, or ends undecided, reaches nothing.
TEST(ModuleLoaderTest, OnlyTheRunningInstanceReachesTheKeyring)
{
    using Calls = std::vector<std::string>;
    const struct {
        const char *name;
        std::function<void(ModuleLoader &)> steps;
        Calls calls;
    } cases[] = {
        {"hands over", [](ModuleLoader &l) { l.decide(false); EXPECT_EQ(l.entry(nullptr), &fakeStart); }, {}},
        {"ends undecided", [](ModuleLoader &l) { l.finish(); }, {}},
        {"running instance",
         [](ModuleLoader &l) {
             l.decide(true);
             // Connected before the application object exists, read ahead only after.
             ASSERT_TRUE(TestSupport::waitUntil([]() { return !recorded().empty(); }));
             EXPECT_EQ(recorded(), Calls{"connect"});
             l.applicationCreated();
             EXPECT_EQ(l.entry(nullptr), &fakeStart);
             EXPECT_EQ(recorded(), (Calls{"connect", "prepare"})) << "the entry waits for the reading ahead";
         },
         {"connect", "prepare"}},
        {"running instance whose event loop ended before its application object was made",
         [](ModuleLoader &l) {
             l.decide(true);
             ASSERT_TRUE(TestSupport::waitUntil([]() { return !recorded().empty(); }));
             l.finish();
         },
         {"connect"}},
        {"decided twice", [](ModuleLoader &l) { l.decide(false); l.decide(true); l.applicationCreated(); l.finish(); }, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        recorded(true);
        {
            ModuleLoader loader(&fakeModule);
            c.steps(loader);
        }
        EXPECT_EQ(recorded(), c.calls);
    }
}

// The executable itself, with a stand-in module: an event loop that ends before start-up
// ran destroys the application object only after the loading thread is over, and a start
// that hands over to a running instance never reaches the keyring.
TEST(ExecutableStartTest, TheLoadingThreadEndsBeforeTheApplicationAndOnlyTheRunningInstanceConnects)
{
    // The executable as installed, with the stand-in as its module.
    QTemporaryDir root;
    const QString program = root.filePath(QStringLiteral("bin/vantle"));
    const std::pair<const char *, QString> installed[] = {
        {VANTLE_EXECUTABLE, program},
        {VANTLE_SHELL_LIBRARY, root.filePath(QStringLiteral("lib/vantle/libvantle-shell.so"))},
        {VANTLE_FAKE_APP_MODULE, root.filePath(QStringLiteral("lib/vantle/vantle-app.so"))},
    };
    for (const auto &[from, to] : installed) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(to).path()));
        ASSERT_TRUE(QFile::copy(QString::fromUtf8(from), to));
    }
    const struct {
        const char *name;
        bool anotherInstance;
        const char *reported; // sorted
    } cases[] = {
        {"the running instance quits before start-up ran", false, "application-outlived-loading connect prepare"},
        {"another instance runs", true, "start"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir runtime; // private, as a runtime folder is
        std::unique_ptr<QLockFile> held;
        if (c.anotherInstance) {
            held = InstanceLock::make(runtime.path());
            ASSERT_EQ(InstanceLock::tryClaim(*held), InstanceLock::Claim::primary);
        }
        QStringList lines;
        for (int attempt = 0; attempt < 4; ++attempt) {
            const QString report = runtime.filePath(QStringLiteral("report-%1").arg(attempt));
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.insert(QStringLiteral("VANTLE_FAKE_MODULE_REPORT"), report);
            QProcess vantle;
            vantle.setProcessEnvironment(env);
            vantle.setProcessChannelMode(QProcess::ForwardedChannels);
            vantle.start(program, {});
            ASSERT_TRUE(vantle.waitForFinished(60000));
            EXPECT_EQ(vantle.exitStatus(), QProcess::NormalExit);
            QFile file(report);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            if (!lines.contains(QStringLiteral("inconclusive")))
                break;
        }
        lines.sort();
        EXPECT_EQ(lines.join(QLatin1Char(' ')).toStdString(), c.reported);
    }
}

// What the application module loads with it is loaded before the first screen: none of the
// libraries that screen does not use (libcrypto is loaded when a key is first used, the logo
// is drawn without the SVG renderer).
TEST(ApplicationModuleTest, NeedsNoLibraryTheFirstScreenDoesNotUse)
{
    const QString readelf = QStandardPaths::findExecutable(QStringLiteral("readelf"));
    if (readelf.isEmpty())
        GTEST_SKIP() << "readelf is missing";
    QProcess process;
    process.start(readelf, {QStringLiteral("-d"), QStringLiteral(VANTLE_APP_MODULE)});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString dynamic = QString::fromUtf8(process.readAllStandardOutput());
    QStringList needed;
    for (const auto &match : QRegularExpression(QStringLiteral("\\(NEEDED\\).*\\[(.+)\\]")).globalMatch(dynamic))
        needed << match.captured(1);
    ASSERT_TRUE(needed.contains(QStringLiteral("libvantle-shell.so"))) << dynamic.toStdString();
    for (const QString &library : needed) {
        EXPECT_FALSE(library.startsWith(QLatin1String("libcrypto")) || library.startsWith(QLatin1String("libssl"))
                     || library.startsWith(QLatin1String("libQt6Svg")))
            << library.toStdString();
    }
}

} // namespace
