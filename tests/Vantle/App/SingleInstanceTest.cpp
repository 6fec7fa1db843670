// The running instance's lock and socket: where they live, who may reach them, and what a
// start does when no private folder can be had.

#include "Platform/Preferences.h"
#include "Vantle/App/AppDelegate.h"
#include "Vantle/App/SingleInstance.h"
#include "Vantle/Shell/InstanceLock.h"
#include "support/TaskRunner.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

using TestSupport::runTask;
using TestSupport::waitUntil;
using Role = AppDelegate::LaunchRole;
using Kind = InstanceLock::Folder::Kind;

namespace {

// The bits of `path`'s mode that let others in (0 when none).
mode_t othersMayEnter(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return 07777;
    return info.st_mode & (S_IRWXG | S_IRWXO);
}

// Sets environment variables for one scope.
class ScopedEnv final {
public:
    ScopedEnv(std::initializer_list<std::pair<const char *, std::optional<QByteArray>>> values)
    {
        for (const auto &[name, value] : values) {
            m_saved.append({name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }
    ~ScopedEnv()
    {
        for (const auto &[name, value] : m_saved) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }

private:
    QList<std::pair<const char *, std::optional<QByteArray>>> m_saved;
};

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { Preferences::setStandard(std::make_shared<InMemoryPreferences>()); }
    void TearDown() override { Preferences::setStandard(nullptr); }
    QTemporaryDir m_runtime;
};

} // namespace

TEST_F(SingleInstanceTest, TheLockAndTheSocketAreThisUsersAlone)
{
    AppDelegate first(m_runtime.path());
    ASSERT_EQ(runTask(first.launch({})), Role::primary);
    SingleInstance probe(m_runtime.path());
    ASSERT_TRUE(QFile::exists(probe.socketPath()));
    EXPECT_EQ(othersMayEnter(probe.socketPath()), 0u) << "no other local user may hand links to this instance";
    EXPECT_EQ(othersMayEnter(m_runtime.path()), 0u);
}

TEST_F(SingleInstanceTest, WithoutAPrivateFolderEachStartRunsOnItsOwn)
{
    const QString tmp = QDir::tempPath();
    const struct {
        const char *name;
        QString directory;
    } cases[] = {
        {"no folder at all", QString()},
        {"a relative folder", QStringLiteral("relative/runtime")},
        // No lock can be made there: the start runs unguarded instead of waiting for an
        // instance that cannot exist.
        {"a folder no lock can be made in", QStringLiteral("/proc/vantle-no-such-folder")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir working;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(working.path());
        const bool socketBefore = QFile::exists(QDir(tmp).filePath(QStringLiteral("vantle.socket")));
        {
            AppDelegate first(c.directory);
            EXPECT_EQ(runTask(first.launch({})), Role::primary);
            AppDelegate second(c.directory);
            EXPECT_EQ(runTask(second.launch({QStringLiteral("vantle://auth/callback?code=c&state=s")})), Role::primary)
                << "nothing to forward to";
        }
        EXPECT_EQ(QDir(working.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{})
            << "nothing in the working folder";
        EXPECT_EQ(QFile::exists(QDir(tmp).filePath(QStringLiteral("vantle.socket"))), socketBefore)
            << "no socket in the shared temporary folder";
        QDir::setCurrent(previous);
    }
}

TEST_F(SingleInstanceTest, TheFolderIsTheRuntimeOneElseAPrivateOneOfThisUser)
{
    const QString fallback = QStringLiteral("vantle-%1").arg(::geteuid());
    const struct {
        const char *name;
        bool runtimeFolder; // XDG_RUNTIME_DIR names a private folder
        std::function<void(const QString &tmp)> arrange;
        Kind kind;
    } cases[] = {
        {"the runtime folder", true, [](const QString &) {}, Kind::runtime},
        {"no runtime folder: a private one is made", false, [](const QString &) {}, Kind::privateTemp},
        {"no runtime folder, ours left open to others: narrowed", false,
         [&](const QString &tmp) {
             QDir(tmp).mkdir(fallback);
             ::chmod(QFile::encodeName(QDir(tmp).filePath(fallback)).constData(), 0777);
         },
         Kind::privateTemp},
        {"no runtime folder, a link in the way", false,
         [&](const QString &tmp) {
             QDir(tmp).mkdir(QStringLiteral("elsewhere"));
             QFile::link(QDir(tmp).filePath(QStringLiteral("elsewhere")), QDir(tmp).filePath(fallback));
         },
         Kind::none},
        {"no runtime folder, a file in the way", false,
         [&](const QString &tmp) {
             QFile file(QDir(tmp).filePath(fallback));
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         },
         Kind::none},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir runtime;
        QTemporaryDir tmp;
        c.arrange(tmp.path());
        ScopedEnv env({{"XDG_RUNTIME_DIR", c.runtimeFolder ? std::optional(runtime.path().toUtf8()) : std::nullopt},
                       {"TMPDIR", tmp.path().toUtf8()}});
        // Qt's own fallback for a missing runtime folder is "runtime-<user>" in the temporary
        // folder: a file there, for every name the user may go by, keeps Qt from using it.
        for (const QString &user : {qEnvironmentVariable("USER"), qEnvironmentVariable("LOGNAME"),
                                    QStringLiteral("root")}) {
            QFile block(QDir(tmp.path()).filePath(QStringLiteral("runtime-") + user));
            if (!user.isEmpty() && block.open(QIODevice::WriteOnly))
                block.close();
        }
        const InstanceLock::Folder folder = InstanceLock::defaultFolder();
        EXPECT_EQ(folder.kind, c.kind) << folder.path.toStdString();
        switch (c.kind) {
        case Kind::runtime:
            EXPECT_EQ(folder.path, runtime.path());
            break;
        case Kind::privateTemp:
            EXPECT_EQ(folder.path, QDir(tmp.path()).filePath(fallback));
            EXPECT_EQ(othersMayEnter(folder.path), 0u);
            break;
        case Kind::none:
            EXPECT_TRUE(folder.path.isEmpty());
            break;
        }
    }
}

TEST_F(SingleInstanceTest, ALiveInstancesLockIsNeverStaleHoweverOld)
{
    // A lock file the kernel does not hold (a file system without locks, say): only whether
    // its process lives decides, never its age.
    QProcess finished;
    finished.start(QStringLiteral("/bin/true"));
    ASSERT_TRUE(finished.waitForStarted());
    const qint64 deadPid = finished.processId();
    ASSERT_TRUE(finished.waitForFinished());
    const struct {
        const char *name;
        qint64 pid;
        InstanceLock::Claim claim;
    } cases[] = {
        {"a live process's lock, an hour old", QCoreApplication::applicationPid(), InstanceLock::Claim::taken},
        {"a dead process's lock", deadPid, InstanceLock::Claim::primary},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir runtime;
        const QString path = InstanceLock::lockPath(runtime.path());
        QByteArray contents;
        {
            QLockFile own(path);
            ASSERT_TRUE(own.tryLock(0));
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            contents = file.readAll();
        }
        QList<QByteArray> lines = contents.split('\n');
        lines[0] = QByteArray::number(c.pid);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(lines.join('\n'));
        ASSERT_TRUE(file.flush());
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        file.close();

        std::unique_ptr<QLockFile> lock = InstanceLock::make(runtime.path());
        EXPECT_EQ(InstanceLock::tryClaim(*lock), c.claim);
    }
}

TEST_F(SingleInstanceTest, AnInstanceThatCouldNotListenTriesAgain)
{
    // Something in the way of the socket, which a plain removal does not clear.
    const QString blocked = QDir(m_runtime.path()).filePath(QStringLiteral("vantle.socket"));
    ASSERT_TRUE(QDir().mkpath(blocked + QStringLiteral("/inside")));
    SingleInstance instance(m_runtime.path());
    instance.setListenRetryInterval(std::chrono::milliseconds(20));
    QStringList received;
    QObject::connect(&instance, &SingleInstance::argumentsReceived,
                     [&received](const QStringList &arguments) { received += arguments; });
    ASSERT_EQ(instance.tryClaim(), SingleInstance::Claim::primary);
    EXPECT_FALSE(instance.isListening());

    ASSERT_TRUE(QDir(blocked).removeRecursively());
    ASSERT_TRUE(waitUntil([&] { return instance.isListening(); }));
    const QString link = QStringLiteral("vantle://auth/callback?code=c&state=s");
    EXPECT_TRUE(runTask(SingleInstance::forward(instance.socketPath(), {link}, std::chrono::seconds(5))));
    ASSERT_TRUE(waitUntil([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, QStringList{link});
}

TEST_F(SingleInstanceTest, APeerThatNeverFinishesItsMessageIsDroppedAndOthersAreServed)
{
    SingleInstance instance(m_runtime.path());
    instance.setReadTimeout(std::chrono::milliseconds(200));
    QStringList received;
    QObject::connect(&instance, &SingleInstance::argumentsReceived,
                     [&received](const QStringList &arguments) { received += arguments; });
    ASSERT_EQ(instance.tryClaim(), SingleInstance::Claim::primary);

    // Silent, a header alone, half a message: each holds its connection open.
    const QList<QByteArray> stalled = {QByteArray(), QByteArray("\0\0\0\x20", 4), QByteArray("\0\0\0\x20[\"vant", 10)};
    std::vector<std::unique_ptr<QLocalSocket>> peers;
    for (const QByteArray &bytes : stalled) {
        auto peer = std::make_unique<QLocalSocket>();
        peer->connectToServer(instance.socketPath());
        ASSERT_EQ(peer->state(), QLocalSocket::ConnectedState);
        peer->write(bytes);
        peer->flush();
        peers.push_back(std::move(peer));
    }
    const QString link = QStringLiteral("vantle://auth/callback?code=c&state=s");
    EXPECT_TRUE(runTask(SingleInstance::forward(instance.socketPath(), {link}, std::chrono::seconds(5))))
        << "a later start is served while the others wait";
    ASSERT_TRUE(waitUntil([&] { return received == QStringList{link}; }));
    for (const auto &peer : peers) {
        ASSERT_TRUE(waitUntil([&] { return peer->state() == QLocalSocket::UnconnectedState; }));
        EXPECT_EQ(peer->readAll(), QByteArray()) << "never acknowledged";
    }
    EXPECT_EQ(received, QStringList{link});
}
