#include "Platform/Updater.h"
#include "support/ScriptedUpdaterUser.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeBrowser.h"
#include "tools/fakes/FakeUpdateFeed.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace {

using namespace std::chrono_literals;
using Fakes::FakeUpdateFeed;
using Release = FakeUpdateFeed::Release;
using Signing = FakeUpdateFeed::Signing;
using Code = UpdaterError::Code;
using TestSupport::ScriptedUpdaterUser;

class RecordingDelegate final : public UpdaterDelegate {
public:
    struct Cycle {
        UpdateCheck check;
        std::optional<UpdaterError> error;
    };
    QSet<QString> channels;
    QList<Cycle> cycles;

    QSet<QString> allowedChannels(Updater &) override { return channels; }
    void didFinishUpdateCycle(Updater &, UpdateCheck check, const std::optional<UpdaterError> &error) override
    {
        cycles.append({check, error});
    }
};

struct Harness {
    FakeUpdateFeed feed;
    RecordingDelegate delegate;
    ScriptedUpdaterUser user;
    std::unique_ptr<Updater> updater;

    explicit Harness(const std::function<void(Updater::Settings &)> &adjust = {})
    {
        Updater::Settings settings;
        settings.feedURL = feed.feedURL();
        settings.publicKey = FakeUpdateFeed::publicKey();
        settings.currentVersion = QStringLiteral("1.0.0");
        settings.firstScheduledCheck = 1h; // no scheduled check unless a test asks for one
        if (adjust)
            adjust(settings);
        updater = std::make_unique<Updater>(settings, &user, &delegate);
    }

    bool waitForCycles(qsizetype count)
    {
        return TestSupport::waitUntil([&]() { return delegate.cycles.size() >= count; });
    }
    // A check the person asked for, to its end.
    bool check()
    {
        const qsizetype before = delegate.cycles.size();
        updater->checkForUpdates();
        return waitForCycles(before + 1);
    }
};

// A feed server that never finishes: it answers at once, then sends one byte of its body
// every 20 ms, for as long as the connection lasts.
class TricklingFeed final : public QObject {
public:
    TricklingFeed()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: 1000000\r\n\r\n");
                auto *drip = new QTimer(socket);
                drip->setInterval(20);
                connect(drip, &QTimer::timeout, socket, [socket]() { socket->write(" "); });
                drip->start();
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/feed.xml").arg(m_server.serverPort())); }

private:
    QTcpServer m_server;
};

Release release(const char *version, const char *channel = "", Signing signing = Signing::testKey)
{
    Release r;
    r.version = QString::fromLatin1(version);
    r.channel = QString::fromLatin1(channel);
    r.signing = signing;
    return r;
}

TEST(Updater, OffersTheNewestSignedReleaseOfAnAllowedChannelAndNothingElse)
{
    const struct {
        const char *name;
        QList<Release> releases;
        QSet<QString> allowed;
        const char *offered;   // version offered, or nullptr
        Code outcome;          // when nothing is offered
    } cases[] = {
        {"newer stable", {release("1.1.0"), release("1.2.0"), release("0.9")}, {}, "1.2.0", {}},
        {"same version is not newer", {release("1.0")}, {}, nullptr, Code::noUpdateFound},
        {"a release that adds a part", {release("1.0.0.1"), release("0.9")}, {}, "1.0.0.1", {}},
        {"only older", {release("0.9.9"), release("0.1")}, {}, nullptr, Code::noUpdateFound},
        {"beta not allowed", {release("1.1"), release("1.3", "beta")}, {}, "1.1", {}},
        {"beta allowed", {release("1.1"), release("1.3", "beta")}, {QStringLiteral("beta")}, "1.3", {}},
        {"stable newer than beta", {release("1.4"), release("1.3", "beta")}, {QStringLiteral("beta")}, "1.4", {}},
        {"unknown channel", {release("1.1"), release("2.0", "nightly")}, {QStringLiteral("beta")}, "1.1", {}},
        {"newest signed with another key", {release("1.1"), release("1.2", "", Signing::otherKey)}, {}, nullptr,
         Code::signatureInvalid},
        {"newest with a damaged signature", {release("1.2", "", Signing::damaged), release("1.1")}, {}, nullptr,
         Code::signatureInvalid},
        {"newest unsigned", {release("1.2", "", Signing::none)}, {}, nullptr, Code::signatureInvalid},
        {"bad signature on a channel not offered", {release("1.1"), release("1.3", "beta", Signing::otherKey)}, {},
         "1.1", {}},
        {"newer version text not a version", {release("1.1"), release("2.0 final")}, {}, "1.1", {}},
        {"no version text is a version", {release("latest"), release("v2"), release("")}, {}, nullptr,
         Code::noReadableVersion},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.feed.setReleases(c.releases);
        h.delegate.channels = c.allowed;
        ASSERT_FALSE(h.updater->start());
        ASSERT_TRUE(h.check());
        const auto shown = h.user.shown();
        ASSERT_EQ(shown.size(), 1);
        const auto &cycle = h.delegate.cycles.constLast();
        EXPECT_EQ(cycle.check, UpdateCheck::userInitiated);
        if (c.offered) {
            EXPECT_EQ(shown[0].kind, QStringLiteral("offer"));
            EXPECT_EQ(shown[0].offer.version, QString::fromLatin1(c.offered));
            EXPECT_EQ(shown[0].offer.currentVersion, QStringLiteral("1.0.0"));
            EXPECT_FALSE(cycle.error.has_value()) << "declining an offer ends the cycle normally";
        } else {
            EXPECT_EQ(shown[0].kind, c.outcome == Code::noUpdateFound ? QStringLiteral("up to date")
                                                                        : QStringLiteral("error"));
            ASSERT_TRUE(cycle.error.has_value());
            EXPECT_TRUE(cycle.error->is(c.outcome)) << cycle.error->localizedDescription().toStdString();
            EXPECT_EQ(shown[0].text, cycle.error->localizedDescription());
        }
        EXPECT_TRUE(h.updater->canCheckForUpdates());
    }
}

TEST(Updater, FeedsThatCannotBeReadEndTheCycleWithTheirOwnError)
{
    const quint16 closed = Fakes::FakeService::closedPort();
    TricklingFeed trickling;
    // A started updater of changed settings in the harness's place.
    const auto restart = [](Harness &h, const std::function<void(Updater::Settings &)> &adjust) {
        Updater::Settings s = h.updater->settings();
        adjust(s);
        h.updater = std::make_unique<Updater>(s, &h.user, &h.delegate);
        h.updater->start();
    };
    const struct {
        const char *name;
        std::function<void(Harness &)> arrange;
        QString domain;
        QString text;
    } cases[] = {
        {"not XML", [](Harness &h) { h.feed.setRawFeed("Service temporarily unavailable"); },
         UpdaterError::domainName, QStringLiteral("The update feed could not be read.")},
        {"no items", [](Harness &h) { h.feed.setReleases({}); }, UpdaterError::domainName,
         QStringLiteral("The update feed lists no releases.")},
        // The deadline is the subject of these two, and short; no other case may race it.
        {"never answers",
         [&restart](Harness &h) {
             Fakes::ScriptedAnswer slow;
             slow.delay = 30s;
             h.feed.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeUpdateFeed::feedPath), slow);
             restart(h, [](Updater::Settings &s) { s.feedTimeout = 300ms; });
         },
         UpdaterError::networkDomain, QStringLiteral("The update server did not answer in time.")},
        // Bytes keep coming, never the whole feed: the deadline still ends the check.
        {"trickles for ever",
         [&restart, &trickling](Harness &h) {
             restart(h, [&trickling](Updater::Settings &s) {
                 s.feedURL = trickling.url();
                 s.feedTimeout = 300ms;
             });
         },
         UpdaterError::networkDomain, QStringLiteral("The update server did not answer in time.")},
        {"server error",
         [](Harness &h) {
             h.feed.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeUpdateFeed::feedPath),
                            Fakes::ScriptedAnswer::json(503, "{}"));
         },
         UpdaterError::networkDomain, QStringLiteral("The update server answered with status 503.")},
        {"nobody listening",
         [&restart, closed](Harness &h) {
             restart(h, [closed](Updater::Settings &s) {
                 s.feedURL = QUrl(QStringLiteral("http://127.0.0.1:%1/feed.xml").arg(closed));
             });
         },
         UpdaterError::networkDomain, QStringLiteral("Couldn't reach the update server.")},
        {"too large",
         [](Harness &h) { h.feed.setRawFeed(QByteArray(64 * 1024, ' ') + "<rss/>"); },
         UpdaterError::domainName, QStringLiteral("The update feed is too large to read.")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h([](Updater::Settings &s) { s.maximumFeedSize = 16 * 1024; });
        h.feed.setReleases({release("1.1")});
        ASSERT_FALSE(h.updater->start());
        c.arrange(h);
        ASSERT_TRUE(h.check());
        const auto &error = h.delegate.cycles.constLast().error;
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->domain(), c.domain);
        EXPECT_EQ(error->localizedDescription(), c.text);
        // The person asked, so the person is told.
        ASSERT_EQ(h.user.shown().size(), 1);
        EXPECT_EQ(h.user.shown()[0].text, c.text);
        EXPECT_TRUE(h.updater->canCheckForUpdates());
    }
}

// A beta build's own version is a pre-release: it checks like any build, and the release
// it was a beta of is newer.
TEST(Updater, APreReleaseBuildChecksAndIsOfferedWhatIsNewer)
{
    const struct {
        const char *current;
        QList<Release> releases;
        const char *offered; // nullptr: up to date
    } cases[] = {
        {"1.5.0-beta.1", {release("1.5.0-beta.1", "beta"), release("1.4.2")}, nullptr},
        {"1.5.0-beta.1", {release("1.5.0-beta.2", "beta"), release("1.4.2")}, "1.5.0-beta.2"},
        {"1.5.0-beta.1", {release("1.5.0"), release("1.5.0-rc.1", "beta")}, "1.5.0"},
        {"1.5.0", {release("1.5.0-rc.1", "beta"), release("1.5.0")}, nullptr},
        {"1.5.0+build.7", {release("1.5.1-alpha", "beta")}, "1.5.1-alpha"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.current);
        Harness h([&c](Updater::Settings &s) { s.currentVersion = QString::fromLatin1(c.current); });
        h.feed.setReleases(c.releases);
        h.delegate.channels = {QStringLiteral("beta")};
        ASSERT_FALSE(h.updater->start()) << "the updater starts";
        EXPECT_TRUE(h.updater->canCheckForUpdates());
        ASSERT_TRUE(h.check());
        ASSERT_EQ(h.user.shown().size(), 1);
        const auto shown = h.user.shown().first();
        if (c.offered) {
            EXPECT_EQ(shown.kind, QStringLiteral("offer"));
            EXPECT_EQ(shown.offer.version, QString::fromLatin1(c.offered));
        } else {
            EXPECT_EQ(shown.kind, QStringLiteral("up to date"));
        }
    }
}

TEST(Updater, TheOfferOpensTheDownloadPageOnlyWhenTaken)
{
    Fakes::FakeBrowser browser([](const QUrl &) { return false; });
    browser.setMode(Fakes::FakeBrowser::Mode::ignore);
    for (const auto behaviour : {ScriptedUpdaterUser::Behaviour::download, ScriptedUpdaterUser::Behaviour::later}) {
        Harness h;
        Release r = release("1.5.0");
        r.shortVersion = QStringLiteral("1.5");
        r.releaseNotes = QStringLiteral("https://vantle.test/notes/1.5");
        h.feed.setReleases({r});
        h.user.setBehaviour(behaviour);
        ASSERT_FALSE(h.updater->start());
        const auto before = browser.openedUrls().size();
        ASSERT_TRUE(h.check());
        const auto offer = h.user.shown().value(0).offer;
        EXPECT_EQ(offer.version, QStringLiteral("1.5"));
        EXPECT_EQ(offer.releaseNotes, QUrl(QStringLiteral("https://vantle.test/notes/1.5")));
        EXPECT_EQ(offer.downloadPage, h.feed.url(QStringLiteral("/download/1.5.0")));
        EXPECT_FALSE(h.delegate.cycles.constLast().error.has_value());
        if (behaviour == ScriptedUpdaterUser::Behaviour::download)
            EXPECT_EQ(browser.openedUrls().mid(before), QList<QUrl>{offer.downloadPage});
        else
            EXPECT_EQ(browser.openedUrls().size(), before);
        // Nothing is fetched from the download page: the browser's business.
        EXPECT_EQ(h.feed.countOf(QStringLiteral("GET"), QStringLiteral("/download/1.5.0")), 0);
    }
}

TEST(Updater, ADownloadPageNoBrowserTakesIsReportedToThePerson)
{
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        GTEST_SKIP() << "only the offscreen platform has no browser at all";
    Harness h;
    h.feed.setReleases({release("1.1")});
    h.user.setBehaviour(ScriptedUpdaterUser::Behaviour::download);
    ASSERT_FALSE(h.updater->start());
    ASSERT_TRUE(h.check());
    const auto shown = h.user.shown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[1].kind, QStringLiteral("error"));
    EXPECT_TRUE(shown[1].text.contains(h.feed.url(QStringLiteral("/download/1.1")).toString()));
    ASSERT_TRUE(h.delegate.cycles.constLast().error.has_value());
    EXPECT_TRUE(h.delegate.cycles.constLast().error->is(Code::downloadPageNotOpened));
}

TEST(Updater, ScheduledChecksOfferQuietlyAndReportNothingElseToThePerson)
{
    const struct {
        const char *name;
        QList<Release> releases;
        bool failing;
        const char *shown; // kind shown to the person, or nullptr
    } cases[] = {
        {"newer release", {release("1.2")}, false, "offer"},
        {"nothing newer", {release("1.0")}, false, nullptr},
        {"bad signature", {release("1.2", "", Signing::otherKey)}, false, nullptr},
        {"server error", {}, true, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h([](Updater::Settings &s) {
            s.firstScheduledCheck = 0ms;
            s.checkInterval = 1h;
        });
        h.feed.setReleases(c.releases);
        if (c.failing)
            h.feed.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeUpdateFeed::feedPath),
                           Fakes::ScriptedAnswer::json(500, "{}"));
        ASSERT_FALSE(h.updater->start());
        ASSERT_TRUE(h.waitForCycles(1));
        EXPECT_EQ(h.delegate.cycles[0].check, UpdateCheck::background);
        if (c.shown) {
            ASSERT_EQ(h.user.shown().size(), 1);
            EXPECT_EQ(h.user.shown()[0].kind, QString::fromLatin1(c.shown));
            EXPECT_EQ(h.user.shown()[0].check, UpdateCheck::background);
        } else {
            EXPECT_TRUE(h.user.shown().isEmpty());
        }
        // Only a declined offer ends without an error.
        EXPECT_EQ(h.delegate.cycles[0].error.has_value(), c.shown == nullptr);
        // The next scheduled check waits for the interval.
        TestSupport::spinFor(50ms);
        EXPECT_EQ(h.feed.fetchCount(), 1);
    }
}

TEST(Updater, OneCycleAtATimeAndAWaitingPersonGetsTheAnswer)
{
    Harness h([](Updater::Settings &s) { s.firstScheduledCheck = 0ms; });
    h.feed.setReleases({release("1.0")});
    h.user.setBehaviour(ScriptedUpdaterUser::Behaviour::hold);
    // The scheduled check is fetching; the person asks meanwhile, twice, before the feed answers.
    std::optional<bool> canCheckWhileFetching;
    h.feed.beforeAnswering(QString::fromLatin1(FakeUpdateFeed::feedPath), [&h, &canCheckWhileFetching] {
        canCheckWhileFetching = h.updater->canCheckForUpdates();
        h.updater->checkForUpdates();
        h.updater->checkForUpdates();
    });

    QList<bool> canCheck;
    QObject::connect(h.updater.get(), &Updater::canCheckForUpdatesChanged, [&](bool v) { canCheck.append(v); });
    EXPECT_FALSE(h.updater->canCheckForUpdates()) << "not before start";
    h.updater->checkForUpdates();
    EXPECT_EQ(h.feed.fetchCount(), 0) << "a check before start does nothing";
    ASSERT_FALSE(h.updater->start());

    ASSERT_TRUE(TestSupport::waitUntil([&]() { return h.user.isHolding(); }));
    EXPECT_EQ(canCheckWhileFetching, false);
    EXPECT_EQ(h.user.shown().value(0).kind, QStringLiteral("up to date")) << "the person asked, so is told";
    h.updater->checkForUpdates(); // while the outcome is on screen
    h.user.answerHeld(UpdaterUserDriver::Choice::later);
    ASSERT_TRUE(h.waitForCycles(1));
    TestSupport::spinFor(50ms);
    EXPECT_EQ(h.feed.fetchCount(), 1);
    EXPECT_EQ(h.delegate.cycles.size(), 1);
    EXPECT_EQ(h.delegate.cycles[0].check, UpdateCheck::userInitiated);
    EXPECT_EQ(canCheck, (QList<bool>{true, false, true}));
}

TEST(Updater, ABuildWithoutAUsableConfigurationNeverChecks)
{
    const struct {
        const char *name;
        std::function<void(Updater::Settings &)> adjust;
        Code code;
    } cases[] = {
        {"feed not http", [](Updater::Settings &s) { s.feedURL = QUrl(QStringLiteral("ftp://x.test/feed")); },
         Code::feedAddressInvalid},
        {"feed relative", [](Updater::Settings &s) { s.feedURL = QUrl(QStringLiteral("/feed.xml")); },
         Code::feedAddressInvalid},
        {"key placeholder", [](Updater::Settings &s) { s.publicKey = QStringLiteral("REPLACE_ME"); },
         Code::publicKeyInvalid},
        {"key too short", [](Updater::Settings &s) { s.publicKey = QStringLiteral("AAAA"); }, Code::publicKeyInvalid},
        {"version not a version", [](Updater::Settings &s) { s.currentVersion = QStringLiteral("v1.0.0"); },
         Code::currentVersionInvalid},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h([&](Updater::Settings &s) {
            c.adjust(s);
            s.firstScheduledCheck = 0ms;
        });
        const auto error = h.updater->start();
        ASSERT_TRUE(error.has_value());
        EXPECT_TRUE(error->is(c.code));
        h.updater->checkForUpdates();
        TestSupport::spinFor(50ms);
        EXPECT_FALSE(h.updater->canCheckForUpdates());
        EXPECT_EQ(h.feed.fetchCount(), 0);
        EXPECT_TRUE(h.delegate.cycles.isEmpty());
    }
}

TEST(Updater, GoingAwayWithAnOfferOnScreenClosesItWithoutEndingTheCycle)
{
    Harness h;
    h.feed.setReleases({release("1.1")});
    h.user.setBehaviour(ScriptedUpdaterUser::Behaviour::hold);
    ASSERT_FALSE(h.updater->start());
    h.updater->checkForUpdates();
    ASSERT_TRUE(TestSupport::waitUntil([&]() { return h.user.isHolding(); }));
    h.updater.reset();
    EXPECT_EQ(h.user.dismissals(), 1);
    EXPECT_FALSE(h.user.isHolding());
    EXPECT_TRUE(h.delegate.cycles.isEmpty());
}

// The manager is the application's and lives on: a reply an updater left to it when it
// went away mid-check would stay until the program ends.
TEST(Updater, GoingAwayMidCheckFreesTheReply)
{
    QNetworkAccessManager network;
    TricklingFeed trickling; // never finishes
    Harness h([&](Updater::Settings &s) {
        s.feedURL = trickling.url();
        s.network = &network;
    });
    ASSERT_FALSE(h.updater->start());
    h.updater->checkForUpdates();
    QPointer<QNetworkReply> reply = network.findChild<QNetworkReply *>();
    ASSERT_TRUE(reply);
    // The feed's answer has begun and keeps coming.
    ASSERT_TRUE(TestSupport::waitUntil(
        [&]() { return reply && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid(); }));
    h.updater.reset();
    EXPECT_TRUE(TestSupport::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return reply.isNull();
    }));
    EXPECT_TRUE(h.delegate.cycles.isEmpty());
}

} // namespace
