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
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using TestSupport::runTask;
using TestSupport::waitUntil;
using Role = AppDelegate::LaunchRole;
using Kind = InstanceLock::Folder::Kind;

namespace {

const QString signInLink = QStringLiteral("vantle://auth/callback?code=c&state=s");

// The bits of `path`'s mode that let others in (0 when none).
mode_t othersMayEnter(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return 07777;
    return info.st_mode & (S_IRWXG | S_IRWXO);
}

// A lock file at `path` naming `pid` as its holder, which no kernel lock holds (a lock
// left by another process, say).
void writeLock(const QString &path, qint64 pid)
{
    QByteArray contents;
    {
        QLockFile own(path);
        ASSERT_TRUE(own.tryLock(0));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        contents = file.readAll();
    }
    QList<QByteArray> lines = contents.split('\n');
    lines[0] = QByteArray::number(pid);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(lines.join('\n'));
    ASSERT_TRUE(file.flush());
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { Preferences::setStandard(std::make_shared<InMemoryPreferences>()); }
    void TearDown() override { Preferences::setStandard(nullptr); }
    QTemporaryDir m_runtime;
};

} // namespace

TEST_F(SingleInstanceTest, WithoutAPrivateFolderEachStartRunsOnItsOwn)
{
    const QString sharedSocket = QDir(QDir::tempPath()).filePath(QStringLiteral("vantle.socket"));
    const bool sharedSocketBefore = QFile::exists(sharedSocket);
    // An empty or relative folder would put the lock in the working folder and the socket
    // in the shared temporary one; where no lock can be made, a start runs unguarded
    // rather than wait for an instance that cannot exist.
    for (const QString &directory : {QString(), QStringLiteral("relative/runtime"),
                                     QStringLiteral("/proc/vantle-no-such-folder")}) {
        SCOPED_TRACE(directory.toStdString());
        QTemporaryDir working;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(working.path());
        {
            AppDelegate first(directory);
            EXPECT_EQ(runTask(first.launch({})), Role::primary);
            AppDelegate second(directory);
            EXPECT_EQ(runTask(second.launch({signInLink})), Role::primary) << "nothing to forward to";
        }
        QDir::setCurrent(previous);
        EXPECT_EQ(QDir(working.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{});
        EXPECT_EQ(QFile::exists(sharedSocket), sharedSocketBefore);
    }
}

TEST_F(SingleInstanceTest, TheFolderIsTheRuntimeOneElseAPrivateOneOfThisUser)
{
    const QString fallback = QStringLiteral("vantle-%1").arg(::geteuid());
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTmp = qgetenv("TMPDIR");
    // What the temporary folder holds at the start. Someone else could leave in a folder of
    // ours open to them a lock naming a live process, a socket listening for this user's
    // links, a link to a file of this user's elsewhere (`planted`). Folders in it are never
    // entered: one that is not empty stays, and so the folder is not used.
    enum Content { nothing, lock, planted, folderNotEmpty, linkInTheWay, fileInTheWay };
    const struct {
        const char *name;
        bool runtimeFolder; // XDG_RUNTIME_DIR names a private folder
        mode_t mode;        // of our folder there from before; 0: none
        Content content;
        Kind kind;
        bool lockKept;
    } cases[] = {
        {"the runtime folder", true, 0, nothing, Kind::runtime, false},
        {"none: a private one is made", false, 0, nothing, Kind::privateTemp, false},
        {"none, ours left open to others: narrowed", false, 0777, nothing, Kind::privateTemp, false},
        {"none, ours left open to the group alone: narrowed", false, 0770, nothing, Kind::privateTemp, false},
        {"none, ours left open with someone's lock, socket and link in it: emptied", false, 0777, planted,
         Kind::privateTemp, false},
        {"none, ours left open to the group with a lock in it: emptied", false, 0750, lock, Kind::privateTemp, false},
        {"none, ours and private with a live instance's lock: kept", false, 0700, lock, Kind::privateTemp, true},
        {"none, ours left open with a folder in it that is not empty", false, 0777, folderNotEmpty, Kind::none, false},
        {"none, a link in the way", false, 0, linkInTheWay, Kind::none, false},
        {"none, a file in the way", false, 0, fileInTheWay, Kind::none, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir runtime;
        QTemporaryDir tmpFolder;
        const QDir tmp(tmpFolder.path()), ours(tmp.filePath(fallback));
        const QString precious = tmp.filePath(QStringLiteral("precious"));
        if (c.mode) {
            tmp.mkdir(fallback);
            ::chmod(QFile::encodeName(ours.path()).constData(), c.mode);
        }
        if (c.content == lock || c.content == planted)
            writeLock(InstanceLock::lockPath(ours.path()), QCoreApplication::applicationPid());
        QLocalServer listening;
        if (c.content == planted) {
            listening.setSocketOptions(QLocalServer::WorldAccessOption);
            ASSERT_TRUE(listening.listen(ours.filePath(QStringLiteral("vantle.socket"))));
            QFile(precious).open(QIODevice::WriteOnly);
            QFile::link(precious, ours.filePath(QStringLiteral("link")));
        }
        if (c.content == folderNotEmpty)
            tmp.mkpath(fallback + QStringLiteral("/inside/deeper"));
        if (c.content == linkInTheWay) {
            tmp.mkdir(QStringLiteral("elsewhere"));
            QFile::link(tmp.filePath(QStringLiteral("elsewhere")), ours.path());
        }
        if (c.content == fileInTheWay)
            QFile(ours.path()).open(QIODevice::WriteOnly);
        if (c.runtimeFolder)
            qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        else
            qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", tmp.path().toUtf8());
        // Qt's own fallback is "runtime-<user>" in the temporary folder: a file there, for
        // every name the user may go by, keeps Qt from using it.
        for (const QString &user :
             {qEnvironmentVariable("USER"), qEnvironmentVariable("LOGNAME"), QStringLiteral("root")})
            QFile(tmp.filePath(QStringLiteral("runtime-") + user)).open(QIODevice::WriteOnly);

        const InstanceLock::Folder folder = InstanceLock::defaultFolder();
        EXPECT_EQ(folder.kind, c.kind) << folder.path.toStdString();
        const QString expected = c.kind == Kind::runtime       ? runtime.path()
                                 : c.kind == Kind::privateTemp ? tmp.filePath(fallback)
                                                               : QString();
        EXPECT_EQ(folder.path, expected);
        if (!expected.isEmpty()) {
            EXPECT_EQ(othersMayEnter(folder.path), 0u);
            EXPECT_EQ(QDir(folder.path).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                      c.lockKept ? QStringList{QStringLiteral("vantle.lock")} : QStringList{});
            // A lock left in a folder others could reach holds no start back.
            std::unique_ptr<QLockFile> held = InstanceLock::make(folder.path);
            EXPECT_EQ(InstanceLock::tryClaim(*held), c.lockKept ? InstanceLock::Claim::taken : InstanceLock::Claim::primary);
        }
        EXPECT_TRUE(c.content != planted || QFile::exists(precious)) << "a link is removed, never followed";
        // The next case's folders go where this test started, not into this one's.
        qputenv("TMPDIR", savedTmp);
    }
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    qputenv("TMPDIR", savedTmp);
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
        writeLock(InstanceLock::lockPath(runtime.path()), c.pid);

        std::unique_ptr<QLockFile> lock = InstanceLock::make(runtime.path());
        EXPECT_EQ(InstanceLock::tryClaim(*lock), c.claim);
    }
}

TEST_F(SingleInstanceTest, TheSocketServesThisUserAloneAndKeepsServing)
{
    // Something in the way of the socket, which a plain removal does not clear.
    const QString blocked = QDir(m_runtime.path()).filePath(QStringLiteral("vantle.socket"));
    ASSERT_TRUE(QDir().mkpath(blocked + QStringLiteral("/inside")));
    SingleInstance instance(m_runtime.path());
    instance.setListenRetryInterval(std::chrono::milliseconds(20));
    instance.setReadTimeout(std::chrono::milliseconds(200));
    QStringList received;
    QObject::connect(&instance, &SingleInstance::argumentsReceived,
                     [&received](const QStringList &arguments) { received += arguments; });
    ASSERT_EQ(instance.tryClaim(), SingleInstance::Claim::primary);
    EXPECT_FALSE(instance.isListening());

    // Once the way is clear it listens after all, on a socket no other local user may use.
    ASSERT_TRUE(QDir(blocked).removeRecursively());
    ASSERT_TRUE(waitUntil([&] { return instance.isListening(); }));
    EXPECT_EQ(othersMayEnter(instance.socketPath()), 0u);

    // Peers that never finish their message (silent, a header alone, half a message) are
    // dropped unanswered, and a later start is served meanwhile.
    std::vector<std::unique_ptr<QLocalSocket>> peers;
    for (const QByteArray &bytes : {QByteArray(), QByteArray("\0\0\0\x20", 4), QByteArray("\0\0\0\x20[\"vant", 10)}) {
        peers.push_back(std::make_unique<QLocalSocket>());
        peers.back()->connectToServer(instance.socketPath());
        ASSERT_EQ(peers.back()->state(), QLocalSocket::ConnectedState);
        peers.back()->write(bytes);
        peers.back()->flush();
    }
    EXPECT_TRUE(runTask(SingleInstance::forward(instance.socketPath(), {signInLink}, std::chrono::seconds(5))));
    ASSERT_TRUE(waitUntil([&] { return received == QStringList{signInLink}; }));
    for (const auto &peer : peers) {
        ASSERT_TRUE(waitUntil([&] { return peer->state() == QLocalSocket::UnconnectedState; }));
        EXPECT_EQ(peer->readAll(), QByteArray()) << "never acknowledged";
    }
}

// A socket that cannot be made is tried again less and less often: each wait twice the
// one before, up to 32 times the first, so a socket that never comes does not wake the
// process every few seconds for good.
TEST_F(SingleInstanceTest, ASocketThatCannotBeMadeIsTriedLessAndLessOften)
{
    const QString blocked = QDir(m_runtime.path()).filePath(QStringLiteral("vantle.socket"));
    ASSERT_TRUE(QDir().mkpath(blocked + QStringLiteral("/inside")));
    SingleInstance instance(m_runtime.path());
    ASSERT_EQ(instance.tryClaim(), SingleInstance::Claim::primary);
    std::vector<long long> planned; // in units of the first wait
    for (int attempt = 0; attempt < 8; ++attempt) {
        planned.push_back(instance.plannedListenRetry() / SingleInstance::listenRetryInterval);
        instance.retryListenNow();
    }
    EXPECT_EQ(planned, (std::vector<long long>{1, 2, 4, 8, 16, 32, 32, 32}));
    EXPECT_FALSE(instance.isListening());

    ASSERT_TRUE(QDir(blocked).removeRecursively());
    instance.retryListenNow();
    EXPECT_TRUE(instance.isListening());
    EXPECT_EQ(instance.plannedListenRetry(), std::chrono::milliseconds(0));
}
