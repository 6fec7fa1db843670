#include "Platform/Preferences.h"
#include "Vantle/App/AppDelegate.h"
#include "Vantle/Shell/InstanceLock.h"
#include "support/TaskRunner.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>

using TestSupport::runTask;
using TestSupport::spinFor;
using TestSupport::waitUntil;
using Role = AppDelegate::LaunchRole;
using Outcome = AppDelegate::UrlOutcome;

namespace {

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_runtime.isValid());
        m_preferences = std::make_shared<InMemoryPreferences>();
        Preferences::setStandard(m_preferences);
    }
    void TearDown() override { Preferences::setStandard(nullptr); }

    QString runtime() const { return m_runtime.path(); }

    // A running instance in another process, holding the lock and socket in `runtime()`.
    std::unique_ptr<QProcess> startHolder()
    {
        auto holder = std::make_unique<QProcess>();
        holder->start(QStringLiteral(VANTLE_INSTANCE_HOLDER), {runtime()});
        EXPECT_TRUE(holder->waitForStarted());
        EXPECT_TRUE(waitUntil([&holder]() { return holder->readAllStandardOutput().contains("held"); }));
        return holder;
    }

    QTemporaryDir m_runtime;
    std::shared_ptr<InMemoryPreferences> m_preferences;
};

struct Recorder {
    QList<QUrl> urls;
    int activations = 0;
    void attach(AppDelegate &delegate, bool answer = true)
    {
        delegate.setUrlHandler([this, answer](const QUrl &url) {
            urls.append(url);
            return answer;
        });
        delegate.setActivationHandler([this]() { ++activations; });
    }
};

} // namespace

TEST_F(AppDelegateTest, LaterStartsHandTheirLinksToTheRunningInstance)
{
    const QString link = QStringLiteral("vantle://auth/callback?code=c0de%2BA%2Fb&state=st%C3%A9");
    const QString other = QStringLiteral("vantle://auth/callback?error=access_denied&state=s2");
    struct Case {
        const char *name;
        QStringList arguments;
        QStringList expectedLinks;
        int expectedActivations;
    };
    const Case cases[] = {
        {"a sign-in link", {link}, {link}, 1},
        {"no arguments: show the window", {}, {}, 1},
        {"a flag beside the link", {QStringLiteral("--verbose"), link}, {link}, 1},
        {"two links, in order", {link, other}, {link, other}, 2},
    };
    AppDelegate first(runtime());
    ASSERT_EQ(runTask(first.launch({})), Role::primary);
    EXPECT_EQ(AppDelegate::shared(), &first);
    Recorder recorder;
    recorder.attach(first);

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        recorder = Recorder{};
        recorder.attach(first);
        AppDelegate later(runtime());
        EXPECT_EQ(runTask(later.launch(c.arguments)), Role::forwarded);
        ASSERT_TRUE(waitUntil([&]() { return recorder.activations == c.expectedActivations; }));
        QStringList got;
        for (const QUrl &url : recorder.urls)
            got.append(url.toString(QUrl::FullyEncoded));
        EXPECT_EQ(got, c.expectedLinks);
        EXPECT_EQ(AppDelegate::shared(), &first);
    }
    // The code arrives as the authority sent it, "+" and "/" included.
    EXPECT_EQ(QUrlQuery(QUrl(link)).queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded), QStringLiteral("c0de+A/b"));
}

TEST_F(AppDelegateTest, LockAndSocketOfACrashedInstanceAreTakenOver)
{
    auto holder = startHolder();
    holder->kill(); // SIGKILL: nothing is cleaned up
    ASSERT_TRUE(holder->waitForFinished());
    ASSERT_TRUE(QFile::exists(runtime() + QStringLiteral("/vantle.lock")));
    ASSERT_TRUE(QFile::exists(runtime() + QStringLiteral("/vantle.socket")));

    AppDelegate next(runtime());
    ASSERT_EQ(runTask(next.launch({})), Role::primary);
    Recorder recorder;
    recorder.attach(next);

    // The socket it listens on is a fresh one that later starts reach.
    AppDelegate later(runtime());
    EXPECT_EQ(runTask(later.launch({QStringLiteral("vantle://auth/callback?code=c&state=s")})), Role::forwarded);
    ASSERT_TRUE(waitUntil([&]() { return recorder.urls.size() == 1; }));
}

TEST_F(AppDelegateTest, ALiveInstanceKeepsItsLockHoweverOldAndGetsTheLink)
{
    auto holder = startHolder();
    // A lock that has been held for an hour is still the live instance's.
    QFile lock(runtime() + QStringLiteral("/vantle.lock"));
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    lock.close();

    const QString link = QStringLiteral("vantle://auth/callback?code=c&state=s");
    AppDelegate later(runtime());
    EXPECT_EQ(runTask(later.launch({link})), Role::forwarded);
    EXPECT_NE(AppDelegate::shared(), &later);
    QByteArray output;
    ASSERT_TRUE(waitUntil([&]() {
        output += holder->readAllStandardOutput();
        return output.contains("received");
    }));
    EXPECT_TRUE(output.contains(QJsonDocument(QJsonArray{link}).toJson(QJsonDocument::Compact)));
    holder->kill();
    holder->waitForFinished();
}

TEST_F(AppDelegateTest, OnlyCompleteSignInLinksReachTheHandler)
{
    struct Case {
        const char *link;
        Outcome outcome;
        bool reachesHandler;
        bool activates;
    };
    // The handler stands in for the account layer with a sign-in pending under the
    // state "s1": it takes its own link and no other.
    const Case cases[] = {
        {"vantle://auth/callback?code=abc&state=s1", Outcome::taken, true, true},
        {"vantle://auth-callback?code=abc&state=s1", Outcome::taken, true, true},
        {"vantle://signed-in?code=abc&state=s1", Outcome::taken, true, true},
        {"VANTLE://AUTH/callback?code=abc&state=s1", Outcome::taken, true, true},
        {"vantle://auth/callback?error=access_denied&state=s1", Outcome::taken, true, true},
        {"vantle://auth/callback?code=abc&state=foreign", Outcome::notTaken, true, true},
        {"vantle://auth/callback?state=s1", Outcome::refused, false, true},
        {"vantle://auth/callback?code=&state=s1", Outcome::refused, false, true},
        {"vantle://auth/callback?code=abc", Outcome::refused, false, true},
        {"vantle://signed-in", Outcome::refused, false, true},
        {"vantle://settings/account?code=abc&state=s1", Outcome::refused, false, false},
        {"vantle:auth?code=abc&state=s1", Outcome::refused, false, false},
        {"https://auth/callback?code=abc&state=s1", Outcome::refused, false, false},
    };
    AppDelegate delegate(runtime());
    QList<QUrl> reached;
    int activations = 0;
    delegate.setUrlHandler([&reached](const QUrl &url) {
        reached.append(url);
        return QUrlQuery(url).queryItemValue(QStringLiteral("state")) == QLatin1String("s1");
    });
    delegate.setActivationHandler([&activations]() { ++activations; });
    for (const Case &c : cases) {
        SCOPED_TRACE(c.link);
        reached.clear();
        activations = 0;
        EXPECT_EQ(delegate.openUrl(QUrl(QString::fromLatin1(c.link))), c.outcome);
        EXPECT_EQ(reached.size(), c.reachesHandler ? 1 : 0);
        EXPECT_EQ(activations, c.activates ? 1 : 0);
    }
}

TEST_F(AppDelegateTest, LinksArrivingBeforeTheHandlerAreKeptInOrder)
{
    AppDelegate delegate(runtime());
    QStringList sent;
    for (int i = 0; i < AppDelegate::maxQueuedUrls + 2; ++i) {
        sent.append(QStringLiteral("vantle://auth/callback?code=c%1&state=s").arg(i));
        EXPECT_EQ(delegate.openUrl(QUrl(sent.last())), Outcome::queued);
    }
    EXPECT_EQ(delegate.openUrl(QUrl(QStringLiteral("vantle://elsewhere?code=c&state=s"))), Outcome::refused);
    QStringList delivered;
    delegate.setUrlHandler([&delivered](const QUrl &url) {
        delivered.append(url.toString());
        return false;
    });
    // The newest are kept: the oldest links are the ones least likely to be current.
    EXPECT_EQ(delivered, sent.mid(2));
    // Delivered once: a later handler does not see them again.
    delivered.clear();
    delegate.setUrlHandler([&delivered](const QUrl &url) {
        delivered.append(url.toString());
        return false;
    });
    EXPECT_TRUE(delivered.isEmpty());
}

TEST_F(AppDelegateTest, MalformedMessagesAreDroppedAndTheNextStartIsServed)
{
    const auto framed = [](const QByteArray &payload, quint32 length) {
        QByteArray out(4, Qt::Uninitialized);
        qToBigEndian<quint32>(length, out.data());
        return out + payload;
    };
    struct Case {
        const char *name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"longer than allowed", framed("[]", SingleInstance::maxMessageBytes + 1)},
        {"not JSON", framed("not json", 8)},
        {"not an array of strings", framed("[1,2]", 5)},
        {"an object", framed(R"({"a":"b"})", 9)},
    };
    AppDelegate running(runtime());
    ASSERT_EQ(runTask(running.launch({})), Role::primary);
    Recorder recorder;
    recorder.attach(running);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QLocalSocket socket;
        socket.connectToServer(runtime() + QStringLiteral("/vantle.socket"));
        ASSERT_EQ(socket.state(), QLocalSocket::ConnectedState);
        socket.write(c.bytes);
        ASSERT_TRUE(waitUntil([&socket]() { return socket.state() == QLocalSocket::UnconnectedState; }));
        EXPECT_EQ(socket.readAll(), QByteArray()); // no acknowledgement
        EXPECT_EQ(recorder.activations, 0);
    }
    AppDelegate later(runtime());
    EXPECT_EQ(runTask(later.launch({QStringLiteral("vantle://auth/callback?code=c&state=s")})), Role::forwarded);
    EXPECT_TRUE(waitUntil([&]() { return recorder.urls.size() == 1; }));
}

TEST_F(AppDelegateTest, RelaunchMarksItselfBeforeStartingTheNewInstance)
{
    QTemporaryDir scratch;
    const QString settings = scratch.filePath(QStringLiteral("vantle.conf"));
    const QString marker = scratch.filePath(QStringLiteral("started-after-mark"));
    const QString script = scratch.filePath(QStringLiteral("new-instance.sh"));
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        // The new instance reads the mark from the settings file, so it must be on disk
        // by the time the new instance starts.
        file.write(QStringLiteral("#!/bin/sh\ngrep -q 'vantle.resetRelaunchPending=true' '%1' && touch '%2'\n")
                       .arg(settings, marker)
                       .toUtf8());
    }
    QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    struct Case {
        const char *name;
        QString program;
        bool quits;
    };
    const Case cases[] = {
        {"the new instance starts", script, true},
        {"it cannot be started", scratch.filePath(QStringLiteral("missing/vantle")), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto stored = std::make_shared<SettingsPreferences>(settings);
        Preferences::setStandard(stored);
        QFile::remove(marker);
        AppDelegate delegate(runtime());
        int quits = 0;
        delegate.setQuitHandler([&quits]() { ++quits; });
        delegate.setRelaunchProgram(c.program);
        delegate.relaunchForReset();
        EXPECT_EQ(quits, c.quits ? 1 : 0);
        // Left for the new instance to find; taken back when there is none.
        EXPECT_EQ(stored->boolValue(AppDelegate::resetRelaunchPendingKey), c.quits);
        if (c.quits) {
            EXPECT_TRUE(waitUntil([&marker]() { return QFile::exists(marker); }));
        }
        Preferences::setStandard(nullptr);
    }
}

TEST_F(AppDelegateTest, ARelaunchedStartWaitsForTheOldInstanceToLetGo)
{
    struct Case {
        const char *name;
        bool relaunched;
        Role expected;
    };
    const Case cases[] = {
        {"relaunched after a reset", true, Role::primary},
        {"an ordinary second start", false, Role::forwarded},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto old = std::make_unique<AppDelegate>(runtime());
        ASSERT_EQ(runTask(old->launch({})), Role::primary);
        if (c.relaunched)
            m_preferences->setValue(AppDelegate::resetRelaunchPendingKey, true);
        // After a reset the old instance quits a moment after starting its successor, which
        // waits for it; an ordinary second start finds the first one running (it must not
        // quit while the link is being handed over, however long that takes).
        if (c.relaunched)
            QTimer::singleShot(300, [&old]() { old.reset(); });

        AppDelegate next(runtime());
        EXPECT_EQ(runTask(next.launch({})), c.expected);
        EXPECT_FALSE(m_preferences->contains(AppDelegate::resetRelaunchPendingKey));
        if (!c.relaunched)
            old.reset();
        ASSERT_TRUE(waitUntil([&old]() { return !old; }));
    }
}

TEST_F(AppDelegateTest, TheExecutablesLockPassesToTheApplicationAndNoLinkStartsASecondInstance)
{
    // The executable claims the lock and puts up its window; the application, loaded after
    // the first paint, takes the lock over. A link opened in between waits for it; one
    // opened afterwards reaches it at once.
    const QString early = QStringLiteral("vantle://auth/callback?code=early&state=s1");
    const QString late = QStringLiteral("vantle://auth/callback?code=late&state=s2");
    std::unique_ptr<QLockFile> lock = InstanceLock::make(runtime());
    ASSERT_EQ(InstanceLock::tryClaim(*lock), InstanceLock::Claim::primary);

    AppDelegate duringPaint(runtime());
    QCoro::Task<Role> duringPaintLaunch = duringPaint.launch({early});
    spinFor(std::chrono::milliseconds(300));

    AppDelegate first(runtime());
    Recorder recorder;
    recorder.attach(first);
    first.adoptInstanceLock(std::move(lock));
    ASSERT_EQ(runTask(first.launch({})), Role::primary);
    EXPECT_EQ(AppDelegate::shared(), &first);
    EXPECT_EQ(runTask(std::move(duringPaintLaunch)), Role::forwarded);

    AppDelegate later(runtime());
    EXPECT_EQ(runTask(later.launch({late})), Role::forwarded);
    ASSERT_TRUE(waitUntil([&]() { return recorder.urls.size() == 2; }));
    EXPECT_EQ(recorder.urls, (QList<QUrl>{QUrl(early), QUrl(late)}));
    EXPECT_EQ(AppDelegate::shared(), &first);
}

TEST_F(AppDelegateTest, OnlyAHeldLockOfTheSameFolderIsTakenOver)
{
    struct Case {
        const char *name;
        bool held;
        bool sameFolder;
    };
    const Case cases[] = {
        {"held, same folder", true, true},
        {"not held", false, true},
        {"held, another folder", true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir other;
        std::unique_ptr<QLockFile> lock = InstanceLock::make(c.sameFolder ? runtime() : other.path());
        if (c.held) {
            ASSERT_EQ(InstanceLock::tryClaim(*lock), InstanceLock::Claim::primary);
        }
        {
            AppDelegate delegate(runtime());
            delegate.adoptInstanceLock(std::move(lock));
            // Whatever was handed over, this folder ends up with exactly one running instance.
            ASSERT_EQ(runTask(delegate.launch({})), Role::primary);
            AppDelegate second(runtime());
            EXPECT_EQ(runTask(second.launch({})), Role::forwarded);
        }
        // Gone with the delegate: the next start is the running instance again.
        AppDelegate next(runtime());
        EXPECT_EQ(runTask(next.launch({})), Role::primary);
    }
}
