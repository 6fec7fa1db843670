#include "Platform/Preferences.h"
#include "Platform/RecordingActivationPolicy.h"
#include "Vantle/Services/UpdaterService.h"
#include "support/ScriptedUpdaterUser.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeUpdateFeed.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>

namespace {

using namespace std::chrono_literals;
using Fakes::FakeUpdateFeed;
using Release = FakeUpdateFeed::Release;
using Signing = FakeUpdateFeed::Signing;
using Policy = ActivationPolicy::Policy;
using TestSupport::ScriptedUpdaterUser;

const QString feedKey = QStringLiteral("SUFeedURL");
const QString keyKey = QStringLiteral("SUPublicEDKey");

Release release(const char *version, const char *channel = "", Signing signing = Signing::testKey)
{
    Release r;
    r.version = QString::fromLatin1(version);
    r.channel = QString::fromLatin1(channel);
    r.signing = signing;
    return r;
}

// Sets or clears an environment variable for one scope.
class ScopedEnv final {
public:
    ScopedEnv(const char *name, const char *value) : m_name(name)
    {
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv() { qunsetenv(m_name); }

private:
    const char *m_name;
};

struct Harness {
    FakeUpdateFeed feed;
    RecordingActivationPolicy activation{Policy::accessory};
    InMemoryPreferences preferences;
    ScriptedUpdaterUser *user = nullptr; // owned by the service's controller, once there is one
    ScriptedUpdaterUser::Behaviour behaviour = ScriptedUpdaterUser::Behaviour::later;
    std::unique_ptr<UpdaterService> service;
    // The updater's own: a test about a feed that never answers shortens it.
    std::chrono::milliseconds feedTimeout = Updater::Settings{}.feedTimeout;

    QVariantMap usableInfo() const
    {
        return {{feedKey, feed.feedURL().toString()}, {keyKey, FakeUpdateFeed::publicKey()}};
    }

    void build(std::optional<QVariantMap> info = std::nullopt,
               const std::function<void(UpdaterService::Environment &)> &adjust = {})
    {
        UpdaterService::Environment environment;
        environment.infoDictionary = info ? *info : usableInfo();
        environment.currentVersion = QStringLiteral("1.0.0");
        environment.activation = &activation;
        environment.preferences = &preferences;
        environment.makeUserDriver = [this]() -> std::unique_ptr<UpdaterUserDriver> {
            auto driver = std::make_unique<ScriptedUpdaterUser>(behaviour);
            user = driver.get();
            return driver;
        };
        environment.updaterSettings.firstScheduledCheck = 1h;
        environment.updaterSettings.feedTimeout = feedTimeout;
        environment.forcedCheckDelay = 0ms;
        if (adjust)
            adjust(environment);
        service = std::make_unique<UpdaterService>(environment);
    }

    bool waitUntilCanCheck()
    {
        return TestSupport::waitUntil([&]() { return service->canCheckForUpdates(); });
    }
    // A check through the service, to the end of its cycle.
    bool check()
    {
        const qsizetype before = user ? user->shown().size() : 0;
        service->checkForUpdates();
        return TestSupport::waitUntil([&]() {
            return user && user->shown().size() > before && service->canCheckForUpdates();
        });
    }
};

TEST(UpdaterService, CreatesTheUpdaterOnlyForAUsableConfiguration)
{
    const QString key = FakeUpdateFeed::publicKey();
    const struct {
        const char *name;
        std::function<void(QVariantMap &)> edit;
        bool controller; // the updater is created
        bool canCheck;   // and runs
    } cases[] = {
        {"usable", [](QVariantMap &) {}, true, true},
        {"blanks around both", [&](QVariantMap &m) {
             m[feedKey] = QStringLiteral("  ") + m[feedKey].toString() + QStringLiteral("\n");
             m[keyKey] = QStringLiteral("\t") + key + QStringLiteral(" ");
         }, true, true},
        {"placeholder key", [](QVariantMap &m) { m[keyKey] = QStringLiteral("REPLACE_WITH_BASE64_ED25519_PUBLIC_KEY"); },
         false, false},
        {"placeholder key after blanks", [](QVariantMap &m) { m[keyKey] = QStringLiteral("  \nREPLACE_x"); }, false,
         false},
        {"feed of blanks", [](QVariantMap &m) { m[feedKey] = QStringLiteral(" \t\n"); }, false, false},
        {"feed missing", [](QVariantMap &m) { m.remove(feedKey); }, false, false},
        {"key missing", [](QVariantMap &m) { m.remove(keyKey); }, false, false},
        {"key empty", [](QVariantMap &m) { m[keyKey] = QString(); }, false, false},
        {"feed a number", [](QVariantMap &m) { m[feedKey] = 42; }, false, false},
        {"key a list", [&](QVariantMap &m) { m[keyKey] = QVariantList{key}; }, false, false},
        {"key as bytes", [&](QVariantMap &m) { m[keyKey] = key.toLatin1(); }, false, false},
        // Past the service's test, the updater's own start refuses what it cannot use.
        {"placeholder in lower case", [](QVariantMap &m) { m[keyKey] = QStringLiteral("replace_me"); }, true, false},
        {"feed not an address", [](QVariantMap &m) { m[feedKey] = QStringLiteral("feed.xml"); }, true, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        QVariantMap info = h.usableInfo();
        c.edit(info);
        h.build(info);
        QSignalSpy changes(h.service.get(), &UpdaterService::canCheckForUpdatesChanged);
        EXPECT_EQ(h.user != nullptr, c.controller);
        if (c.canCheck) {
            EXPECT_FALSE(h.service->canCheckForUpdates()) << "the mirror arrives on a later turn";
            ASSERT_TRUE(h.waitUntilCanCheck());
            EXPECT_EQ(changes.count(), 1);
            continue;
        }
        h.service->checkForUpdates();
        TestSupport::spinFor(50ms);
        EXPECT_FALSE(h.service->canCheckForUpdates());
        EXPECT_EQ(changes.count(), 0);
        EXPECT_EQ(h.feed.fetchCount(), 0);
        if (!c.controller) {
            EXPECT_TRUE(h.activation.calls().isEmpty()) << "no controller: the policy is left alone";
            EXPECT_FALSE(h.service->statusMessage().has_value());
        }
    }
}

TEST(UpdaterService, ForcesACheckOnLaunchOnlyForExactlyOne)
{
    const struct {
        const char *value; // nullptr: unset
        const char *key;   // nullptr: the feed's own
        bool checks;
    } cases[] = {
        {"1", nullptr, true},      {"true", nullptr, false}, {"01", nullptr, false}, {" 1", nullptr, false},
        {"1 ", nullptr, false},    {"", nullptr, false},     {nullptr, nullptr, false},
        // No usable configuration, or an updater that cannot start with it: no cycle, and the
        // activation policy is never left changed.
        {"1", "REPLACE_ME", false}, {"1", "not an Ed25519 key", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        SCOPED_TRACE(c.key ? c.key : "(the feed's key)");
        ScopedEnv env(UpdaterService::forceCheckVariable, c.value);
        Harness h;
        h.feed.setReleases({release("1.0")});
        QVariantMap info = h.usableInfo();
        if (c.key)
            info[keyKey] = QString::fromLatin1(c.key);
        h.build(info);
        if (c.checks) {
            ASSERT_TRUE(TestSupport::waitUntil([&]() { return h.user->shown().size() == 1; }));
            ASSERT_TRUE(h.waitUntilCanCheck());
            EXPECT_EQ(h.user->shown()[0].check, UpdateCheck::userInitiated);
            EXPECT_EQ(h.activation.calls(),
                      (QStringList{"policy regular", "activate", "policy accessory"}));
        } else {
            TestSupport::spinFor(100ms);
            EXPECT_EQ(h.feed.fetchCount(), 0);
            EXPECT_TRUE(h.activation.calls().isEmpty());
        }
    }
}

TEST(UpdaterService, ForcedCheckIsDroppedWhenTheServiceIsGone)
{
    ScopedEnv env(UpdaterService::forceCheckVariable, "1");
    Harness h;
    h.build(std::nullopt, [](UpdaterService::Environment &e) { e.forcedCheckDelay = 20ms; });
    h.service.reset();
    TestSupport::spinFor(100ms);
    EXPECT_EQ(h.feed.fetchCount(), 0);
    EXPECT_TRUE(h.activation.calls().isEmpty());
}

TEST(UpdaterService, BetaReleasesAreOfferedExactlyWhileThePersonOptedIn)
{
    Harness h;
    h.feed.setReleases({release("1.1"), release("1.3", "beta"), release("1.4", "nightly")});
    h.build();
    ASSERT_TRUE(h.waitUntilCanCheck());
    const struct {
        std::optional<QVariant> stored; // nothing: key absent
        const char *offered;
    } steps[] = {
        {std::nullopt, "1.1"},
        {QVariant(true), "1.3"},
        {QVariant(false), "1.1"},
        {QVariant(QStringLiteral("true")), "1.3"}, // as the INI store hands it back
        {QVariant(QStringLiteral("yes")), "1.1"},  // not a Bool: off
    };
    for (const auto &step : steps) {
        if (step.stored)
            h.preferences.setValue(UpdaterService::betaEnabledKey, *step.stored);
        else
            h.preferences.remove(UpdaterService::betaEnabledKey);
        ASSERT_TRUE(h.check());
        EXPECT_EQ(h.user->shown().constLast().offer.version, QString::fromLatin1(step.offered));
        const QSet<QString> expected = QString::fromLatin1(step.offered) == QStringLiteral("1.3")
            ? QSet<QString>{QStringLiteral("beta")}
            : QSet<QString>{};
        Updater unrelated({}, nullptr, nullptr); // the question ignores which updater asks
        EXPECT_EQ(h.service->allowedChannels(unrelated), expected);
    }
}

TEST(UpdaterService, BadFeedsEndWithTheirMessageAndTheServiceStaysUsable)
{
    const struct {
        const char *name;
        std::function<void(FakeUpdateFeed &)> arrange;
        const char *message; // statusMessage afterwards, nullptr for none
        bool silent = false; // the feed never answers: the check gives up
    } cases[] = {
        {"not XML", [](FakeUpdateFeed &f) { f.setRawFeed("<html>oops"); }, nullptr},
        {"no items", [](FakeUpdateFeed &f) { f.setReleases({}); }, nullptr},
        {"bad signature", [](FakeUpdateFeed &f) { f.setReleases({release("1.2", "", Signing::damaged)}); }, nullptr},
        {"version not a version", [](FakeUpdateFeed &f) { f.setReleases({release("1.2.x")}); }, nullptr},
        {"nothing newer", [](FakeUpdateFeed &f) { f.setReleases({release("1.0.0")}); }, nullptr},
        {"never answers",
         [](FakeUpdateFeed &f) {
             Fakes::ScriptedAnswer slow;
             slow.delay = 1h;
             f.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeUpdateFeed::feedPath), slow);
         },
         "Update check failed: The update server did not answer in time.", true},
        {"server error",
         [](FakeUpdateFeed &f) {
             f.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeUpdateFeed::feedPath),
                       Fakes::ScriptedAnswer::json(404, "{}"));
         },
         "Update check failed: The update server answered with status 404."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        c.arrange(h.feed);
        // Long enough for the good feed afterwards, however busy the machine.
        if (c.silent)
            h.feedTimeout = 3s;
        h.build();
        ASSERT_TRUE(h.waitUntilCanCheck());
        ASSERT_TRUE(h.check());
        if (c.message)
            EXPECT_EQ(h.service->statusMessage().value_or(QStringLiteral("(none)")), QString::fromUtf8(c.message));
        else
            EXPECT_FALSE(h.service->statusMessage().has_value());
        EXPECT_NE(h.user->shown().constLast().kind, QStringLiteral("offer"));
        EXPECT_EQ(h.activation.policy(), Policy::accessory);
        // Usable again: the next check runs and offers a good release.
        h.feed.clearRawFeed();
        h.feed.setReleases({release("1.1")});
        ASSERT_TRUE(h.check());
        EXPECT_EQ(h.user->shown().constLast().kind, QStringLiteral("offer"));
    }
}

TEST(UpdaterService, AFailureMessageStaysUntilAnotherFailureReplacesIt)
{
    Harness h;
    h.build();
    ASSERT_TRUE(h.waitUntilCanCheck());
    QSignalSpy changes(h.service.get(), &UpdaterService::statusMessageChanged);
    const auto failWith = [&](int status) {
        h.feed.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeUpdateFeed::feedPath),
                       Fakes::ScriptedAnswer::json(status, "{}"));
    };
    const QString first = QStringLiteral("Update check failed: The update server answered with status 500.");
    const QString second = QStringLiteral("Update check failed: The update server answered with status 502.");
    const struct {
        const char *name;
        std::function<void()> arrange;
        QString message;
        int notifications;
    } steps[] = {
        {"failure", [&]() { failWith(500); }, first, 1},
        {"success with an offer", [&]() { h.feed.setReleases({release("1.1")}); }, first, 1},
        {"success, nothing newer", [&]() { h.feed.setReleases({release("0.9")}); }, first, 1},
        {"the updater's own error", [&]() { h.feed.setRawFeed("garbage"); }, first, 1},
        {"same failure again", [&]() { h.feed.clearRawFeed(); failWith(500); }, first, 1},
        {"another failure", [&]() { failWith(502); }, second, 2},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.name);
        step.arrange();
        ASSERT_TRUE(h.check());
        EXPECT_EQ(h.service->statusMessage().value_or(QString()), step.message);
        EXPECT_EQ(h.service->statusMessageText(), step.message);
        EXPECT_EQ(changes.count(), step.notifications);
    }
}

TEST(UpdaterService, PutsBackThePolicyFromBeforeTheFirstOfSeveralChecks)
{
    for (const Policy before : {Policy::accessory, Policy::regular}) {
        SCOPED_TRACE(before == Policy::accessory ? "accessory" : "regular");
        Harness h;
        h.activation.setPolicy(before);
        h.activation.clearCalls();
        h.feed.setReleases({release("1.1")});
        h.behaviour = ScriptedUpdaterUser::Behaviour::hold;
        h.build();
        ASSERT_TRUE(h.waitUntilCanCheck());

        h.service->checkForUpdates();
        ASSERT_TRUE(TestSupport::waitUntil([&]() { return h.user->isHolding(); }));
        EXPECT_EQ(h.activation.policy(), Policy::regular);
        h.service->checkForUpdates(); // a second time, before the cycle ends
        EXPECT_EQ(h.activation.policy(), Policy::regular);
        h.user->answerHeld(UpdaterUserDriver::Choice::later);
        ASSERT_TRUE(h.waitUntilCanCheck());

        EXPECT_EQ(h.activation.policy(), before);
        EXPECT_EQ(h.activation.calls(),
                  (QStringList{"policy regular", "activate", "policy regular", "activate",
                               before == Policy::accessory ? "policy accessory" : "policy regular"}));
        EXPECT_EQ(h.feed.fetchCount(), 1);

        // A later cycle stores the policy afresh.
        h.activation.setPolicy(Policy::accessory);
        h.user->setBehaviour(ScriptedUpdaterUser::Behaviour::later);
        ASSERT_TRUE(h.check());
        EXPECT_EQ(h.activation.policy(), Policy::accessory);
    }
}

TEST(UpdaterService, AScheduledCycleLeavesThePolicyAloneButReportsItsFailure)
{
    Harness h;
    h.feed.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeUpdateFeed::feedPath),
                   Fakes::ScriptedAnswer::json(500, "{}"));
    h.build(std::nullopt, [](UpdaterService::Environment &e) { e.updaterSettings.firstScheduledCheck = 0ms; });
    ASSERT_TRUE(TestSupport::waitUntil([&]() { return h.service->statusMessage().has_value(); }));
    EXPECT_EQ(*h.service->statusMessage(),
              QStringLiteral("Update check failed: The update server answered with status 500."));
    EXPECT_TRUE(h.activation.calls().isEmpty());
    EXPECT_TRUE(h.user->shown().isEmpty()) << "a scheduled failure opens no window";
}

} // namespace
