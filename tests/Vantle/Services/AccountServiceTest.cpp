#include "AccountServiceHarness.h"

#include "OrvalenAccount/OrvalenAccountManager.h"
#include "Platform/InMemoryKeychain.h"
#include "Vantle/Services/AccountServiceError.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "support/AccountPrinters.h"
#include "support/TaskRunner.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWidget>
#include <QWindow>

#include <memory>
#include <vector>

using namespace std::chrono_literals;
using Fakes::FakeBrowser;
using Fakes::FakeIdentityService;
using Fakes::ScriptedAnswer;
using Hint = OAuthDriver::ProviderHint;

namespace {

const QString kPost = QStringLiteral("POST");
const QString kAccount = FakeIdentityService::accountId;

struct Result {
    std::optional<SignInResult> value;
};

QCoro::Task<void> collect(QCoro::Task<SignInResult> task, std::shared_ptr<Result> out)
{
    out->value = co_await std::move(task);
}

// Runs sign-ins to their end without blocking the test.
class Runner {
public:
    std::shared_ptr<Result> start(QCoro::Task<SignInResult> task)
    {
        auto out = std::make_shared<Result>();
        m_running.push_back(collect(std::move(task), out));
        return out;
    }

private:
    std::vector<QCoro::Task<void>> m_running;
};

// A visible window: the application's main window, as far as sign-in is concerned.
struct MainWindow {
    MainWindow() { window.show(); }
    QWindow window;
};

// Publishes a signed-in account through the manager, as a launch restore does.
void signInAs(AccountServiceHarness &h, const QString &id, const QString &email)
{
    h.storeLiveSession(3600, id, email);
    TestSupport::runTask(h.bridge->manager()->restore(false));
}

TEST(AccountService, DisplayNameAndAnalyticsContextFollowTheMirroredAccount)
{
    const struct {
        const char *name;
        std::optional<QString> id; // absent: signed out
        QString email;
        bool authenticated;
        QString display;
    } cases[] = {
        {"signed out", std::nullopt, QString(), false, QStringLiteral("Not signed in")},
        {"e-mail shown", kAccount, QStringLiteral("ada@example.test"), true, QStringLiteral("ada@example.test")},
        {"13 characters, whole", QStringLiteral("oa_0123456789"), QString(), true, QStringLiteral("oa_0123456789")},
        {"14 characters, cut", QStringLiteral("oa_01234567890"), QString(), true, QStringLiteral("oa_012345...7890")},
        {"long identifier, cut", kAccount, QString(), true, QStringLiteral("oa_01890a...8057")},
        {"not an account identifier", QStringLiteral("user_1234567890ab"), QString(), false, QStringLiteral("user_1234...90ab")},
    };
    for (const auto &c : cases) {
        AccountServiceHarness h(std::make_shared<InMemoryKeychain>());
        h.attach();
        ASSERT_TRUE(h.waitForLaunchRestore());
        if (c.id)
            signInAs(h, *c.id, c.email);

        EXPECT_EQ(h.service->isAuthenticated(), c.authenticated) << c.name;
        EXPECT_EQ(h.service->accountDisplayName().toStdString(), c.display.toStdString()) << c.name;
        EXPECT_EQ(h.service->accountDisplayName().size(), c.display.size()) << c.name;
        const Analytics::Properties context = h.service->analyticsContext();
        EXPECT_EQ(context.value(QStringLiteral("auth_state")).toString(),
                  c.authenticated ? QStringLiteral("signed_in") : QStringLiteral("signed_out"))
            << c.name;
        EXPECT_EQ(context.value(QStringLiteral("orvalen_account_id")).toString(), c.id.value_or(QString())) << c.name;
        EXPECT_EQ(context.value(QStringLiteral("platform")).toString(), QStringLiteral("linux")) << c.name;
        EXPECT_EQ(context.size(), 5) << c.name;
    }
}

TEST(AccountService, ObserversHearOnlyChanges)
{
    AccountServiceHarness h(std::make_shared<InMemoryKeychain>());
    int ids = 0, authenticated = 0, names = 0;
    QObject::connect(h.service.get(), &AccountService::orvalenAccountIDChanged, [&] { ++ids; });
    QObject::connect(h.service.get(), &AccountService::isAuthenticatedChanged, [&] { ++authenticated; });
    QObject::connect(h.service.get(), &AccountService::accountDisplayNameChanged, [&] { ++names; });
    h.attach();
    ASSERT_TRUE(h.waitForLaunchRestore());
    EXPECT_EQ(ids + authenticated + names, 0); // signed out mirrored onto signed out

    signInAs(h, kAccount, QStringLiteral("ada@example.test"));
    TestSupport::runTask(h.bridge->manager()->restore(false)); // the same account again
    EXPECT_EQ(ids, 1);
    EXPECT_EQ(authenticated, 1);
    EXPECT_EQ(names, 1);

    TestSupport::runTask(h.bridge->manager()->signOut());
    EXPECT_EQ(ids, 2);
    EXPECT_EQ(authenticated, 2);
    EXPECT_EQ(names, 2);
    EXPECT_EQ(h.service->accountDisplayName(), AccountService::notSignedInText);
}

TEST(AccountService, BeginSignInOutcomes)
{
    struct Case {
        const char *name;
        std::optional<Hint> hint;
        std::optional<ScriptedAnswer> exchangeAnswer;
        bool cancel;
        SignInResult expected;
        QStringList journal; // what the service tracked, identified and logged, in order
        QString authFailedError;
    };
    const QString started = QStringLiteral("track auth_started");
    const Case cases[] = {
        {"success", Hint::google, std::nullopt, false, SignInResult::success(),
         {started, QStringLiteral("identify %1 (mirrored: %1)").arg(kAccount), QStringLiteral("track auth_completed"),
          QStringLiteral("track sign_in_completed")},
         QString()},
        {"cancelled", Hint::email, std::nullopt, true, SignInResult::cancelled(),
         {started, QStringLiteral("track auth_failed"), QStringLiteral("info sign_in_cancelled provider=email")},
         QStringLiteral("cancelled")},
        {"session expired", std::nullopt, ScriptedAnswer::json(401, "{}"),
         false, SignInResult::failed(QStringLiteral("Sign-in didn't complete. Please try again.")),
         {started, QStringLiteral("error sign_in_failed error=Your session expired. Please sign in again."),
          QStringLiteral("track auth_failed")},
         QStringLiteral("sessionExpired")},
        {"server error", Hint::apple, ScriptedAnswer::json(500, R"({"error":"exchange_down"})"), false,
         SignInResult::failed(QStringLiteral("Server error (500 \u2014 exchange_down).")),
         {started, QStringLiteral("error sign_in_failed error=Server error (500 \u2014 exchange_down)."),
          QStringLiteral("track auth_failed")},
         QStringLiteral("serverError(status: 500, code: \"exchange_down\")")},
        {"unreadable answer", Hint::google, ScriptedAnswer::json(200, "[]"), false,
         SignInResult::failed(QStringLiteral("Couldn't read the server response (OasResponse).")),
         {started, QStringLiteral("error sign_in_failed error=Couldn't read the server response (OasResponse)."),
          QStringLiteral("track auth_failed")},
         QStringLiteral("malformedResponse(field: \"OasResponse\")")},
    };
    for (const Case &c : cases) {
        AccountServiceHarness h(std::make_shared<InMemoryKeychain>());
        MainWindow window;
        Runner runner;
        h.attach();
        ASSERT_TRUE(h.waitForLaunchRestore());
        if (c.exchangeAnswer)
            h.identity.enqueue(kPost, FakeIdentityService::exchangePath, *c.exchangeAnswer);
        if (c.cancel)
            h.browser->setMode(FakeBrowser::Mode::ignore);

        auto out = runner.start(h.service->beginSignIn(c.hint));
        EXPECT_TRUE(h.service->isAuthenticating()) << c.name;
        if (c.cancel) {
            ASSERT_TRUE(TestSupport::waitUntil([&] { return h.browser->openedUrls().size() == 1; })) << c.name;
            EXPECT_TRUE(h.bridge->manager()->cancelSignIn()) << c.name;
        }
        ASSERT_TRUE(TestSupport::waitUntil([&] { return out->value.has_value(); })) << c.name;

        EXPECT_EQ(out->value->kind(), c.expected.kind()) << c.name;
        EXPECT_EQ(out->value->message().toStdString(), c.expected.message().toStdString()) << c.name;
        EXPECT_EQ(h.journal.join(u'\n').toStdString(), c.journal.join(u'\n').toStdString()) << c.name;
        EXPECT_FALSE(h.service->isAuthenticating()) << c.name;
        EXPECT_EQ(h.service->lastSignInWasNewUser(), c.expected.kind() == SignInResult::Kind::success) << c.name;
        const QString hint = c.hint ? toRaw(*c.hint) : QStringLiteral("none");
        EXPECT_EQ(h.eventProperties(QStringLiteral("auth_started")),
                  (Analytics::Properties{{QStringLiteral("source"), QStringLiteral("orvalen_account")},
                                         {QStringLiteral("auth_transport"), QStringLiteral("system_browser")},
                                         {QStringLiteral("provider_hint"), hint}}))
            << c.name;
        if (c.expected.kind() == SignInResult::Kind::success) {
            EXPECT_EQ(h.eventProperties(QStringLiteral("auth_completed")), h.eventProperties(QStringLiteral("auth_started")))
                << c.name;
            EXPECT_EQ(h.eventProperties(QStringLiteral("sign_in_completed")),
                      (Analytics::Properties{{QStringLiteral("method"), QStringLiteral("orvalen_account")}}))
                << c.name;
        }
        if (!c.authFailedError.isEmpty()) {
            EXPECT_EQ(h.eventProperties(QStringLiteral("auth_failed")),
                      (Analytics::Properties{{QStringLiteral("error"), c.authFailedError},
                                             {QStringLiteral("auth_transport"), QStringLiteral("system_browser")},
                                             {QStringLiteral("provider_hint"), hint}}))
                << c.name;
        }
        // No token, code or verifier reaches a log line or an event.
        const QString all = h.journal.join(u'\n') + QJsonDocument::fromVariant(QVariant(h.service->analyticsContext())).toJson();
        EXPECT_FALSE(all.contains(QStringLiteral("oas_"))) << c.name;
        EXPECT_FALSE(all.contains(h.authority.code())) << c.name;
    }
}

TEST(AccountService, BeginSignInNeedsAWindowAndABridge)
{
    ASSERT_TRUE(QGuiApplication::topLevelWindows().isEmpty());
    const struct {
        const char *name;
        bool window;
        bool attached;
    } cases[] = {{"no window", false, true}, {"no bridge", true, false}};
    for (const auto &c : cases) {
        AccountServiceHarness h(std::make_shared<InMemoryKeychain>());
        std::optional<MainWindow> window;
        if (c.window)
            window.emplace();
        if (c.attached) {
            h.attach();
            ASSERT_TRUE(h.waitForLaunchRestore());
        }
        h.journal.clear();
        int busyChanges = 0;
        QObject::connect(h.service.get(), &AccountService::isAuthenticatingChanged, [&] { ++busyChanges; });

        const SignInResult result = TestSupport::runTask(h.service->beginSignIn(Hint::google));

        EXPECT_EQ(result, SignInResult::failed(AccountServiceError::unavailableText())) << c.name;
        EXPECT_EQ(result.message().toStdString(),
                  "vantle account services are temporarily unavailable. Please try again in a minute.");
        EXPECT_TRUE(h.journal.isEmpty()) << c.name;
        EXPECT_EQ(busyChanges, 0) << c.name;
        EXPECT_TRUE(h.browser->openedUrls().isEmpty()) << c.name;
    }
}

TEST(AccountService, ASupersededSignInLeavesTheBusyFlagToTheNewerOne)
{
    AccountServiceHarness h(std::make_shared<InMemoryKeychain>());
    MainWindow window;
    Runner runner;
    h.attach();
    ASSERT_TRUE(h.waitForLaunchRestore());
    h.browser->setMode(FakeBrowser::Mode::ignore);

    auto first = runner.start(h.service->beginSignIn(Hint::google));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return h.browser->openedUrls().size() == 1; }));
    auto second = runner.start(h.service->beginSignIn(Hint::email));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return first->value.has_value(); }));

    EXPECT_EQ(*first->value, SignInResult::cancelled());
    EXPECT_TRUE(h.service->isAuthenticating()); // the second one still runs
    ASSERT_TRUE(TestSupport::waitUntil([&] { return h.browser->openedUrls().size() == 2; }));
    h.bridge->manager()->cancelSignIn();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return second->value.has_value(); }));
    EXPECT_EQ(*second->value, SignInResult::cancelled());
    EXPECT_FALSE(h.service->isAuthenticating());
}

TEST(AccountService, MirroredEvents)
{
    struct Case {
        const char *name;
        bool signedIn;
        Analytics::Properties properties;
        QString distinctID; // "device": "dev_" + the device identifier
    };
    const Case cases[] = {
        {"signed out", false,
         {{QStringLiteral("screen"), QStringLiteral("settings")},
          {QStringLiteral("app"), QStringLiteral("other")},
          {QStringLiteral("platform"), QStringLiteral("mac")},
          {QStringLiteral("install_id"), QStringLiteral("mine")},
          {QStringLiteral("auth_state"), QStringLiteral("event's own")},
          {QStringLiteral("count"), 3}},
         QStringLiteral("device")},
        {"signed out, the event's own distinct id", false,
         {{QStringLiteral("distinct_id"), QStringLiteral("dev_from_event")}}, QStringLiteral("dev_from_event")},
        {"signed out, a distinct id that is no text", false, {{QStringLiteral("distinct_id"), 42}}, QStringLiteral("device")},
        {"signed in", true, {{QStringLiteral("screen"), QStringLiteral("main")}}, kAccount},
    };
    for (const Case &c : cases) {
        AccountServiceHarness h(std::make_shared<InMemoryKeychain>());
        h.identity.on(kPost, AccountService::appEventsPath, ScriptedAnswer::json(200, R"({"ok":true})"));
        h.attach();
        ASSERT_TRUE(h.waitForLaunchRestore());
        std::optional<StoredSession> session;
        if (c.signedIn) {
            session = h.storeLiveSession(3600, kAccount, FakeIdentityService::email);
            TestSupport::runTask(h.bridge->manager()->restore(false));
        }

        // An event the wire cannot carry goes nowhere; the next one still goes.
        h.service->mirrorAppEvent(QStringLiteral("dropped"), {{QStringLiteral("when"), QDateTime::currentDateTimeUtc()}});
        h.service->mirrorAppEvent(QStringLiteral("settings_opened"), c.properties);
        ASSERT_TRUE(TestSupport::waitUntil([&] { return h.identity.countOf(kPost, AccountService::appEventsPath) >= 1; }))
            << c.name;
        TestSupport::spinFor(50ms);
        const auto requests = h.identity.requestsTo(AccountService::appEventsPath);
        ASSERT_EQ(requests.size(), 1) << c.name;
        const Fakes::RecordedRequest &request = requests.first();
        const QJsonObject body = request.json().object();
        const QJsonObject properties = body.value(QStringLiteral("properties")).toObject();
        const QString deviceID = h.device->currentDeviceId();
        const QString distinct = c.distinctID == QLatin1String("device") ? QStringLiteral("dev_") + deviceID : c.distinctID;

        EXPECT_EQ(body.value(QStringLiteral("event")).toString(), QStringLiteral("settings_opened")) << c.name;
        EXPECT_EQ(body.value(QStringLiteral("distinct_id")).toString(), distinct) << c.name;
        EXPECT_EQ(body.value(QStringLiteral("platform")).toString(), QStringLiteral("linux")) << c.name;
        EXPECT_EQ(body.value(QStringLiteral("app_slug")).toString(), QStringLiteral("vantle")) << c.name;
        EXPECT_EQ(body.value(QStringLiteral("install_id")).toString(), QStringLiteral("dev_install-of-this-test")) << c.name;
        EXPECT_EQ(body.value(QStringLiteral("app_version")).toString(), h.device->appVersion()) << c.name;
        EXPECT_EQ(body.value(QStringLiteral("install_channel")).toString(), QStringLiteral("direct")) << c.name;
        EXPECT_EQ(body.value(QStringLiteral("delivery_channel")).toString(), QStringLiteral("update_feed")) << c.name;
        EXPECT_EQ(properties.value(QStringLiteral("delivery_channel")).toString(), QStringLiteral("update_feed")) << c.name;
        EXPECT_EQ(properties.value(QStringLiteral("install_channel")).toString(), QStringLiteral("direct")) << c.name;
        EXPECT_EQ(properties.value(QStringLiteral("app_slug")).toString(), QStringLiteral("vantle")) << c.name;
        EXPECT_EQ(properties.value(QStringLiteral("app_version")).toString(), h.device->appVersion()) << c.name;
        EXPECT_EQ(properties.value(QStringLiteral("app")).toString(), QStringLiteral("vantle")) << c.name;
        EXPECT_EQ(properties.value(QStringLiteral("platform")).toString(), QStringLiteral("linux")) << c.name;
        EXPECT_EQ(properties.value(QStringLiteral("install_id")).toString(), QStringLiteral("dev_install-of-this-test")) << c.name;
        EXPECT_EQ(properties.value(QStringLiteral("device_id")).toString(), deviceID) << c.name;
        EXPECT_EQ(properties.value(QStringLiteral("version")).toString(), h.device->appVersion()) << c.name;
        for (auto it = c.properties.constBegin(); it != c.properties.constEnd(); ++it) {
            static const QStringList fixed{QStringLiteral("app"), QStringLiteral("platform"), QStringLiteral("install_id")};
            if (!fixed.contains(it.key())) {
                EXPECT_EQ(properties.value(it.key()).toVariant(), it.value()) << c.name << " " << it.key().toStdString();
            }
        }
        if (c.signedIn) {
            EXPECT_EQ(request.header("Authorization"), "Bearer " + session->oas.toUtf8()) << c.name;
            EXPECT_EQ(request.header("X-Orvalen-App-Session"), session->oas.toUtf8()) << c.name;
            EXPECT_EQ(body.value(QStringLiteral("orvalen_account_id")).toString(), kAccount) << c.name;
            EXPECT_EQ(properties.value(QStringLiteral("orvalen_account_id")).toString(), kAccount) << c.name;
            EXPECT_EQ(properties.value(QStringLiteral("auth_state")).toString(), QStringLiteral("signed_in")) << c.name;
        } else {
            EXPECT_FALSE(request.hasHeader("Authorization")) << c.name;
            EXPECT_FALSE(request.hasHeader("X-Orvalen-App-Session")) << c.name;
            EXPECT_FALSE(body.contains(QStringLiteral("orvalen_account_id"))) << c.name;
            EXPECT_TRUE(properties.contains(QStringLiteral("orvalen_account_id"))) << c.name;
            EXPECT_EQ(properties.value(QStringLiteral("orvalen_account_id")).toString(), QString()) << c.name;
        }
    }
}

TEST(AccountService, PostJSONOutcomes)
{
    Fakes::FakeService server;
    const QString path = QStringLiteral("/post");
    const QVariantMap good{{QStringLiteral("a"), 1}};
    enum class Outcome { body, custom, unavailable };
    struct Case {
        const char *name;
        QString url; // empty: the server's address
        QVariantMap body;
        std::optional<ScriptedAnswer> answer;
        Outcome outcome;
        QString text;
        bool sent;
    };
    const Case cases[] = {
        {"accepted", QString(), good, ScriptedAnswer::json(201, R"({"ok":true})"), Outcome::body, QStringLiteral(R"({"ok":true})"), true},
        {"refused with an error", QString(), good, ScriptedAnswer::json(400, R"({"error":"bad_event","message":"m"})"), Outcome::custom, QStringLiteral("bad_event"), true},
        {"refused with a message", QString(), good, ScriptedAnswer::json(500, R"({"message":"try later"})"), Outcome::custom, QStringLiteral("try later"), true},
        {"refused with an empty error", QString(), good, ScriptedAnswer::json(403, R"({"error":""})"), Outcome::unavailable, QString(), true},
        {"refused with a page", QString(), good, ScriptedAnswer::json(502, "<html>bad gateway</html>"), Outcome::unavailable, QString(), true},
        {"no address", QStringLiteral("not an address"), good, std::nullopt, Outcome::unavailable, QString(), false},
        {"a body JSON cannot carry", QString(), {{QStringLiteral("when"), QUrl(QStringLiteral("https://x.test"))}}, std::nullopt, Outcome::unavailable, QString(), false},
        {"nobody listening", QStringLiteral("http://127.0.0.1:%1/post").arg(Fakes::FakeService::closedPort()), good, std::nullopt, Outcome::custom, QString(), false},
    };
    for (const Case &c : cases) {
        server.clearRequests();
        if (c.answer)
            server.enqueue(kPost, path, *c.answer);
        const QString url = c.url.isEmpty() ? server.url(path).toString() : c.url;
        std::optional<QByteArray> body;
        std::optional<AccountServiceError> error;
        try {
            body = TestSupport::runTask(AccountService::postJSON(url, c.body, QString()));
        } catch (const AccountServiceError &e) {
            error = e;
        }
        switch (c.outcome) {
        case Outcome::body:
            ASSERT_TRUE(body) << c.name;
            EXPECT_EQ(*body, c.text.toUtf8()) << c.name;
            break;
        case Outcome::custom:
            ASSERT_TRUE(error) << c.name;
            EXPECT_EQ(error->kind(), AccountServiceError::Kind::custom) << c.name;
            if (c.text.isEmpty()) {
                EXPECT_FALSE(error->description().isEmpty()) << c.name;
            } else {
                EXPECT_EQ(error->description().toStdString(), c.text.toStdString()) << c.name;
            }
            break;
        case Outcome::unavailable:
            ASSERT_TRUE(error) << c.name;
            EXPECT_EQ(*error, AccountServiceError::unavailable()) << c.name;
            break;
        }
        EXPECT_EQ(server.requests().size(), c.sent ? 1 : 0) << c.name;
        if (c.sent) {
            const Fakes::RecordedRequest request = server.requests().first();
            EXPECT_EQ(request.header("Content-Type"), "application/json") << c.name;
            EXPECT_EQ(request.header("Accept"), "application/json") << c.name;
            // An empty token is no token.
            EXPECT_FALSE(request.hasHeader("Authorization")) << c.name;
            EXPECT_EQ(request.json().object().value(QStringLiteral("a")).toInt(), 1) << c.name;
        }
    }
}

TEST(AccountService, ResetDeletesExactlyTheAccountLayersThreeItems)
{
    for (const bool attached : {true, false}) {
        auto keychain = std::make_shared<InMemoryKeychain>();
        AccountServiceHarness h(keychain);
        std::optional<StoredSession> session;
        if (attached) {
            h.attach();
            ASSERT_TRUE(h.waitForLaunchRestore());
            session = h.storeLiveSession(3600, kAccount, FakeIdentityService::email);
            TestSupport::runTask(h.bridge->manager()->restore(false));
            ASSERT_TRUE(h.service->isAuthenticated());
        } else {
            h.storeLiveSession(3600, kAccount, FakeIdentityService::email);
        }
        KeychainStorage storage = h.storage();
        storage.setData("{}", KeychainStorage::Keys::oidcAuthState);
        storage.setData("jkt", KeychainStorage::Keys::dpopJwkThumbprint);
        storage.setData("install", QStringLiteral("orvalen_install_id"));
        KeychainStorage other(QStringLiteral("othertool"), std::nullopt, keychain);
        other.setData("theirs", KeychainStorage::Keys::session);
        KeychainHelper::save(QStringLiteral("[\"oa_x\"]"), QStringLiteral("vantle.welcome.acknowledgedOaIds"));
        const int itemsBefore = keychain->itemCount();

        TestSupport::runTask(h.service->resetAndClearLocalData());

        EXPECT_FALSE(storage.getData(KeychainStorage::Keys::session)) << attached;
        EXPECT_FALSE(storage.getData(KeychainStorage::Keys::oidcAuthState)) << attached;
        EXPECT_FALSE(storage.getData(KeychainStorage::Keys::dpopJwkThumbprint)) << attached;
        EXPECT_EQ(keychain->itemCount(), itemsBefore - 3) << attached;
        EXPECT_EQ(storage.getData(QStringLiteral("orvalen_install_id")), QByteArray("install")) << attached;
        EXPECT_EQ(other.getData(KeychainStorage::Keys::session), QByteArray("theirs")) << attached;
        EXPECT_TRUE(KeychainHelper::load(QStringLiteral("vantle.welcome.acknowledgedOaIds"))) << attached;
        EXPECT_EQ(h.events.value(0).first, QStringLiteral("settings_reset_local_data")) << attached;
        EXPECT_EQ(h.events.value(0).second,
                  (Analytics::Properties{{QStringLiteral("app_slug"), QStringLiteral("vantle")}}))
            << attached;
        EXPECT_EQ(h.identity.countOf(kPost, FakeIdentityService::revokePath), attached ? 1 : 0) << attached;
        if (attached) {
            EXPECT_TRUE(h.identity.revokedSessions().contains(session->oas));
            EXPECT_FALSE(h.service->isAuthenticated());
            EXPECT_EQ(h.bridge->manager()->state(), OrvalenAccountState::signedOut());
            EXPECT_FALSE(h.bridge->manager()->storedSession()) << "no token left in memory for the ledger";
        }
    }
}

TEST(AccountService, BridgeSessionPairsTheStoredTokenWithThePublishedAccount)
{
    AccountServiceHarness h(std::make_shared<InMemoryKeychain>());
    OrvalenAccountManager *manager = h.bridge->manager();
    Runner runner;
    const StoredSession earlier = h.storeLiveSession(3600, QStringLiteral("oa_earlier"), QStringLiteral("e@example.test"));
    EXPECT_FALSE(h.bridge->currentSession()) << "signed out";

    TestSupport::runTask(manager->restore(false));
    EXPECT_EQ(h.bridge->currentSession(),
              (OrvalenAccountBridge::Session{earlier.oas, QStringLiteral("oa_earlier"), QStringLiteral("e@example.test")}));

    // The token comes from the manager's copy of the item, not from the keychain: only
    // the manager writes the item, and every read of it would be a round trip to the
    // Secret Service on the GUI thread.
    h.storage().deleteData(KeychainStorage::Keys::session);
    EXPECT_EQ(h.bridge->currentSession(),
              (OrvalenAccountBridge::Session{earlier.oas, QStringLiteral("oa_earlier"), QStringLiteral("e@example.test")}))
        << "signed in, item gone behind the manager's back";

    h.storeLiveSession(3600, QStringLiteral("oa_earlier"), QStringLiteral("e@example.test"));
    h.browser->setMode(FakeBrowser::Mode::ignore);
    auto pending = std::make_shared<bool>(false);
    std::vector<QCoro::Task<void>> keep;
    keep.push_back([](QCoro::Task<OrvalenAccount> t, std::shared_ptr<bool> done) -> QCoro::Task<void> {
        try {
            co_await std::move(t);
        } catch (...) {
        }
        *done = true;
    }(manager->signInViaSystemBrowser(std::nullopt, std::nullopt), pending));
    EXPECT_FALSE(h.bridge->currentSession()) << "signing in";
    manager->cancelSignIn();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return *pending; }));
    EXPECT_FALSE(h.bridge->currentSession()) << "failed";

    // A sign-in as another account: its token with its identifier.
    h.browser->setMode(FakeBrowser::Mode::follow);
    TestSupport::runTask(manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
    const std::optional<StoredSession> now = h.stored();
    ASSERT_TRUE(now);
    EXPECT_EQ(h.bridge->currentSession(),
              (OrvalenAccountBridge::Session{now->oas, kAccount, FakeIdentityService::email}));
}

TEST(OrvalenAccountManagerWindows, AuthReturnBringsTheChosenWindowForward)
{
    enum class Start { shown, hidden, minimized };
    const struct {
        const char *name;
        Start start;
        bool passed; // given explicitly, else found as the only visible window
    } cases[] = {
        {"behind another window", Start::shown, true},
        {"closed to the tray", Start::hidden, true},
        {"minimized", Start::minimized, true},
        {"none given: the visible one", Start::shown, false},
    };
    for (const auto &c : cases) {
        QWidget main;
        main.setWindowTitle(QStringLiteral("Vantle"));
        main.show();
        QWidget other;
        if (c.passed) {
            other.show();
            other.activateWindow();
            ASSERT_TRUE(TestSupport::waitUntil([&] { return other.isActiveWindow(); })) << c.name;
        }
        if (c.start == Start::hidden)
            main.hide();
        if (c.start == Start::minimized)
            main.showMinimized();

        OrvalenAccountManager::activateForAuthReturn(c.passed ? main.windowHandle() : nullptr);

        EXPECT_TRUE(TestSupport::waitUntil([&] { return main.isActiveWindow(); })) << c.name;
        EXPECT_TRUE(main.isVisible()) << c.name;
        EXPECT_FALSE(main.isMinimized()) << c.name;
    }
}

} // namespace
