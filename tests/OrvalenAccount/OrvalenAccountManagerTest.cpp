#include "OrvalenAccount/AppleIDAuthorizer.h"
#include "OrvalenAccount/Internal/AuthClient.h"
#include "OrvalenAccount/Internal/OIDCAuthorizationRequest.h"
#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/OrvalenAccountManager.h"
#include "OrvalenAccount/OrvalenInstallMetrics.h"
#include "OrvalenAccount/OrvalenJSON.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Platform/RecordingSystemLog.h"
#include "support/AccountPrinters.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeAuthority.h"
#include "tools/fakes/FakeBrowser.h"
#include "tools/fakes/FakeIdentityService.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <functional>

#include <memory>
#include <vector>

using namespace std::chrono_literals;
using Fakes::FakeAuthority;
using Fakes::FakeBrowser;
using Fakes::FakeIdentityService;
using Fakes::ScriptedAnswer;
using State = OrvalenAccountState;
using Hint = OAuthDriver::ProviderHint;

namespace {

const QString kInstallID = QStringLiteral("dev_0f6c1d2e-aaaa-4bbb-8ccc-0123456789ab");
const QString kPost = QStringLiteral("POST");

struct LogLine {
    OrvalenLogLevel level;
    QString event;
    OrvalenLogFields fields;
};

struct Outcome {
    std::optional<OrvalenAccount> account;
    std::optional<OrvalenError> error;
    bool done = false;
};

QCoro::Task<void> collect(QCoro::Task<OrvalenAccount> task, std::shared_ptr<Outcome> out)
{
    try {
        out->account = co_await std::move(task);
    } catch (const OrvalenError &error) {
        out->error = error;
    }
    out->done = true;
}

// The sign-in services on loopback, a person's browser that follows the authority's
// redirect back into the manager, and a manager over an in-memory keychain.
class Harness {
public:
    explicit Harness(std::optional<QString> installID = kInstallID, AuthScheme scheme = AuthScheme::systemBrowser,
                     std::shared_ptr<AppleIDAuthorizer> appleAuthorizer = nullptr)
        : browser([this](const QUrl &url) { return manager && manager->resume(url); })
    {
        identity.setAuthority(&authority);
        OrvalenConfig config;
        config.authorityURL = authority.issuer();
        config.identityURL = identity.baseUrl();
        config.appSlug = QStringLiteral("vantle");
        config.clientID = QStringLiteral("vantle");
        config.clientVersion = QStringLiteral("1.4.0");
        config.libVersion = OrvalenAccountLibrary::libVersion;
        config.redirectURI = QUrl(QStringLiteral("vantle://auth/callback"));
        config.scopes = {QStringLiteral("orvalen.account")};
        // A manager of the test's own, so that nothing it sends outlives the test.
        config.urlSession = &network;
        config.logger = [this](OrvalenLogLevel level, const QString &event, const OrvalenLogFields &fields) {
            logs.append({level, event, fields});
        };
        config.installID = installID;
        config.preferredScheme = scheme;
        OrvalenAccountManager::Environment environment;
        environment.keychain = keychain;
        environment.dpop.keychain = keychain;
        environment.appleAuthorizer = std::move(appleAuthorizer);
        environment.preferences = preferences;
        manager = std::make_unique<OrvalenAccountManager>(config, environment);
        subscription.emplace(manager->onStateChange([this](const State &state) { published.append(state); }));
        QObject::connect(manager.get(), &OrvalenAccountManager::stateChanged,
                         [this](const State &) { ++stateNotifications; });
    }

    std::shared_ptr<Outcome> start(QCoro::Task<OrvalenAccount> task)
    {
        auto out = std::make_shared<Outcome>();
        m_running.push_back(collect(std::move(task), out));
        return out;
    }

    Outcome signIn(std::optional<Hint> hint = std::nullopt, std::optional<QString> installID = std::nullopt)
    {
        auto out = start(manager->signInViaSystemBrowser(hint, installID));
        EXPECT_TRUE(TestSupport::waitUntil([&] { return out->done; }));
        return *out;
    }

    std::optional<StoredSession> stored() const
    {
        return manager->storage().getJSON<StoredSession>(KeychainStorage::Keys::session);
    }

    void store(const StoredSession &session) { manager->storage().setJSON(session, KeychainStorage::Keys::session); }

    // A session the fake identity service knows, stored as a sign-in would have stored it.
    StoredSession storeLiveSession(qint64 secondsToExpiry)
    {
        const QJsonObject issued = identity.issueSession(QStringLiteral("vantle"));
        StoredSession session;
        session.oas = issued.value(QStringLiteral("oas")).toString();
        session.refreshToken = issued.value(QStringLiteral("refresh_token")).toString();
        session.expiresAt = QDateTime::currentDateTimeUtc().addSecs(secondsToExpiry);
        session.account = OrvalenAccount{OrvalenAccountID(FakeIdentityService::accountId), FakeIdentityService::email,
                                         std::nullopt};
        session.appSlug = QStringLiteral("vantle");
        session.issuedAt = QDateTime::currentDateTimeUtc().addSecs(-60);
        store(session);
        return session;
    }

    // Whether the browser half of an ended sign-in has finished too: its last step logs this,
    // late answers included.
    bool authorizationEnded() const { return logText().contains(QStringLiteral("oauth_authorize_failed")); }

    // Every log line as text, to look for secrets in.
    QString logText() const
    {
        QString text;
        for (const LogLine &line : logs) {
            text += line.event;
            for (auto it = line.fields.constBegin(); it != line.fields.constEnd(); ++it)
                text += QLatin1Char(' ') + it.key() + QLatin1Char('=') + it.value();
            text += QLatin1Char('\n');
        }
        return text;
    }

    QJsonObject lastExchangeBody() const
    {
        const auto requests = identity.requestsTo(FakeIdentityService::exchangePath);
        return requests.isEmpty() ? QJsonObject() : requests.last().json().object();
    }

    FakeAuthority authority;
    FakeIdentityService identity;
    QNetworkAccessManager network;
    std::shared_ptr<InMemoryKeychain> keychain = std::make_shared<InMemoryKeychain>();
    std::shared_ptr<InMemoryPreferences> preferences = std::make_shared<InMemoryPreferences>();
    QList<LogLine> logs;
    QList<State> published;
    int stateNotifications = 0;
    std::unique_ptr<OrvalenAccountManager> manager;
    std::optional<OrvalenAccountStateSubscription> subscription;
    FakeBrowser browser;

private:
    std::vector<QCoro::Task<void>> m_running;
};

OrvalenAccount fakeAccount()
{
    return OrvalenAccount{OrvalenAccountID(FakeIdentityService::accountId), FakeIdentityService::email, std::nullopt};
}

ScriptedAnswer dropped()
{
    ScriptedAnswer answer;
    answer.dropConnection = true;
    return answer;
}

// Queues the answer for the next request to the path. A dropped connection is queued
// twice: Qt sends a request again, once, when a kept-alive connection closes unanswered.
void answerNext(Fakes::FakeService &service, const QString &path, const ScriptedAnswer &answer)
{
    service.enqueue(kPost, path, answer);
    if (answer.dropConnection)
        service.enqueue(kPost, path, answer);
}

// A locked keyring: without a prompt it refuses every call on its items, reads, updates,
// adds and deletes alike ("interaction not allowed").
void setLocked(InMemoryKeychain &keychain, bool locked)
{
    using Op = InMemoryKeychain::Op;
    for (const Op op : {Op::update, Op::add, Op::copyMatching, Op::remove})
        keychain.failAlways(op, locked ? std::optional(KeychainStatus::interactionNotAllowed) : std::nullopt);
}

// The system log's lines of the account layer's "session" category.
QStringList sessionLogLines(const RecordingSystemLog &log)
{
    QStringList lines;
    for (const RecordingSystemLog::Record &record : log.records()) {
        if (record.entry.category == QLatin1String("session"))
            lines.append(record.entry.message);
    }
    return lines;
}

StoredSession previousSession()
{
    StoredSession session;
    session.oas = QStringLiteral("oas_previous");
    session.refreshToken = QStringLiteral("rt_previous");
    session.expiresAt = QDateTime::currentDateTimeUtc().addDays(3);
    session.account = OrvalenAccount{OrvalenAccountID(QStringLiteral("oa_previous")), QStringLiteral("old@example.test"),
                                     std::nullopt};
    session.appSlug = QStringLiteral("vantle");
    session.issuedAt = QDateTime::currentDateTimeUtc().addDays(-1);
    return session;
}

// The identity service's answer to a refresh: the session rotated.
OasResponse rotatedSession()
{
    OasResponse r;
    r.ok = true;
    r.oas = QStringLiteral("oas_rotated");
    r.refreshToken = QStringLiteral("rt_rotated");
    r.expiresAt = QDateTime::currentDateTimeUtc().addDays(30);
    r.orvalenAccountId = OrvalenAccountID(FakeIdentityService::accountId);
    r.email = FakeIdentityService::email;
    r.appSlug = QStringLiteral("vantle");
    return r;
}

TEST(OrvalenAccountManager, BrowserSignInExchangesTheVerifiedCodeAndStoresTheSession)
{
    Harness h;
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const Outcome out = h.signIn(Hint::google);
    const QDateTime after = QDateTime::currentDateTimeUtc();

    ASSERT_FALSE(out.error) << out.error->message().toStdString();
    EXPECT_EQ(out.account, fakeAccount());
    EXPECT_EQ(h.published, (QList<State>{State::signedOut(), State::signingIn(true), State::signedIn(fakeAccount())}));
    EXPECT_EQ(h.manager->state(), State::signedIn(fakeAccount()));
    // The identity service redeemed the code with the verifier of the challenge the browser carried.
    EXPECT_TRUE(h.identity.exchangeRefusals().isEmpty()) << h.identity.exchangeRefusals().join(u',').toStdString();
    EXPECT_EQ(h.identity.countOf(kPost, FakeIdentityService::exchangePath), 1);
    const QJsonObject body = h.lastExchangeBody();
    EXPECT_EQ(body.value(QStringLiteral("app_slug")).toString(), QStringLiteral("vantle"));
    EXPECT_EQ(body.value(QStringLiteral("code")).toString(), h.authority.code());
    EXPECT_EQ(body.value(QStringLiteral("redirect_uri")).toString(), QStringLiteral("vantle://auth/callback"));
    EXPECT_EQ(body.value(QStringLiteral("client_version")).toString(), QStringLiteral("1.4.0"));
    EXPECT_EQ(body.value(QStringLiteral("install_id")).toString(), kInstallID);
    EXPECT_EQ(h.authority.lastAuthorization().value(QStringLiteral("provider")), QStringLiteral("google"));

    const std::optional<StoredSession> stored = h.stored();
    ASSERT_TRUE(stored);
    EXPECT_TRUE(h.identity.isLiveSessionToken(stored->oas));
    EXPECT_TRUE(stored->refreshToken);
    EXPECT_EQ(stored->account, fakeAccount());
    EXPECT_EQ(stored->appSlug, QStringLiteral("vantle"));
    EXPECT_GE(stored->issuedAt, before);
    EXPECT_LE(stored->issuedAt, after);
    EXPECT_FALSE(h.manager->isOffline());
    EXPECT_FALSE(h.logText().contains(stored->oas));
}

TEST(OrvalenAccountManager, SignInTakesTheRoadOfTheConfiguredScheme)
{
    for (const AuthScheme scheme : AuthSchemes::allCases) {
        Harness h(kInstallID, scheme);
        QList<State> atOpen;
        h.browser.setResumeHandler([&h, &atOpen](const QUrl &url) {
            atOpen = h.published;
            return h.manager->resume(url);
        });
        if (scheme != AuthScheme::systemBrowser) {
            h.browser.setMode(FakeBrowser::Mode::ignore);
            // A time limit the in-app road must not apply.
            h.manager->oauthDriver().setBrowserTimeout(1ms);
        }
        auto out = h.start(h.manager->signIn(nullptr, Hint::email, std::nullopt));
        const std::string name = toRaw(scheme).toStdString();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return h.browser.openedUrls().size() == 1; })) << name;
        if (scheme != AuthScheme::systemBrowser) {
            TestSupport::spinFor(30ms);
            EXPECT_FALSE(out->done) << name << ": the in-app road has no time limit";
            EXPECT_TRUE(h.manager->cancelSignIn()) << name;
            ASSERT_TRUE(TestSupport::waitUntil([&] { return out->done; })) << name;
            EXPECT_EQ(out->error, OrvalenError::authorizationCancelled()) << name;
            continue;
        }
        ASSERT_TRUE(TestSupport::waitUntil([&] { return out->done; })) << name;
        EXPECT_EQ(out->account, fakeAccount()) << name;
        // One signingIn, published before the browser came back.
        EXPECT_EQ(atOpen, (QList<State>{State::signedOut(), State::signingIn(true)})) << name;
    }
}

TEST(OrvalenAccountManager, InstallIdentifierOfTheExchange)
{
    auto installs = std::make_shared<InMemoryKeychain>();
    OrvalenInstallMetrics::setKeychain(installs);
    const QString automatic = OrvalenInstallMetrics::installID(QStringLiteral("vantle"));
    const struct {
        const char *name;
        std::optional<QString> configured;
        std::optional<QString> argument;
        QString sent;
    } cases[] = {
        {"the argument wins", kInstallID, QStringLiteral("dev_argument"), QStringLiteral("dev_argument")},
        {"else the configuration's", kInstallID, std::nullopt, kInstallID},
        {"else this installation's own", std::nullopt, std::nullopt, automatic},
    };
    for (const auto &c : cases) {
        Harness h(c.configured);
        const Outcome out = h.signIn(std::nullopt, c.argument);
        EXPECT_FALSE(out.error) << c.name;
        EXPECT_EQ(h.lastExchangeBody().value(QStringLiteral("install_id")).toString(), c.sent) << c.name;
    }
    OrvalenInstallMetrics::setKeychain(nullptr);
}

TEST(OrvalenAccountManager, FailedExchangePublishesTheErrorAndKeepsThePreviousSession)
{
    struct Case {
        const char *name;
        std::optional<ScriptedAnswer> answer;
        std::optional<std::int32_t> keychainWriteStatus;
        OrvalenError expected;
        QString logEvent; // expected among the log lines; empty: none required
    };
    const Case cases[] = {
        {"401", ScriptedAnswer::json(401, R"({"error":"expired"})"), std::nullopt, OrvalenError::sessionExpired(),
         QStringLiteral("request_auth_failed")},
        {"426", ScriptedAnswer::json(426, "{}"), std::nullopt, OrvalenError::clientKilled(), QStringLiteral("client_killed")},
        {"426 naming a replacement",
         FakeIdentityService::withDeprecation(ScriptedAnswer::json(426, "{}"),
                                              "endpoint; replacement=https://id.example.test/v2/exchange"),
         std::nullopt, OrvalenError::clientKilled(QUrl(QStringLiteral("https://id.example.test/v2/exchange"))),
         QStringLiteral("client_killed")},
        {"500 with a code", ScriptedAnswer::json(500, R"({"error":"exchange_down"})"), std::nullopt,
         OrvalenError::serverError(500, QStringLiteral("exchange_down")), QStringLiteral("request_server_failed")},
        {"not JSON", ScriptedAnswer::json(200, "<html>"), std::nullopt,
         OrvalenError::malformedResponse(QStringLiteral("OasResponse")), QStringLiteral("request_decode_failed")},
        {"a field missing", ScriptedAnswer::json(200, R"({"ok":true,"oas":"oas_x","orvalen_account_id":"oa_x","email":"a@b","app_slug":"vantle"})"),
         std::nullopt, OrvalenError::malformedResponse(QStringLiteral("OasResponse")), QStringLiteral("request_decode_failed")},
        {"connection dropped", dropped(), std::nullopt, OrvalenError::networkUnavailable(),
         QStringLiteral("request_transport_failed")},
        {"keyring locked when storing", std::nullopt, KeychainStatus::interactionNotAllowed,
         OrvalenError::keychainFailure(KeychainStatus::interactionNotAllowed), QString()},
    };
    for (const Case &c : cases) {
        Harness h;
        const StoredSession previous = previousSession();
        h.store(previous);
        if (c.answer)
            answerNext(h.identity, FakeIdentityService::exchangePath, *c.answer);
        if (c.keychainWriteStatus)
            h.keychain->failNext(InMemoryKeychain::Op::update, *c.keychainWriteStatus);

        const Outcome out = h.signIn();

        ASSERT_TRUE(out.error) << c.name;
        EXPECT_EQ(*out.error, c.expected) << c.name << ": " << out.error->message().toStdString();
        EXPECT_EQ(h.manager->state(), State::failed(c.expected)) << c.name;
        EXPECT_EQ(h.published.last(), State::failed(c.expected)) << c.name;
        EXPECT_EQ(h.stored(), previous) << c.name;
        if (!c.logEvent.isEmpty()) {
            EXPECT_TRUE(h.logText().contains(c.logEvent)) << c.name << "\n" << h.logText().toStdString();
        }
        // Nothing the flow carried reaches a log line.
        EXPECT_FALSE(h.logText().contains(h.authority.code())) << c.name;
        EXPECT_FALSE(h.logText().contains(QStringLiteral("oas_"))) << c.name;
        const QString verifier = h.lastExchangeBody().value(QStringLiteral("code_verifier")).toString();
        EXPECT_TRUE(verifier.isEmpty() || !h.logText().contains(verifier)) << c.name;
    }
}

TEST(OrvalenAccountManager, CancelEndsThePendingSignInAtEveryStep)
{
    enum class Step { none, discovery, browser, timeLimit };
    const struct {
        const char *name;
        Step step;
        bool cancelAnswer;
    } cases[] = {
        {"nothing pending", Step::none, false},
        {"authority still being discovered", Step::discovery, true},
        {"browser page open", Step::browser, true},
        {"browser left open past the time limit", Step::timeLimit, false},
    };
    for (const auto &c : cases) {
        Harness h;
        if (c.step == Step::none) {
            EXPECT_FALSE(h.manager->cancelSignIn()) << c.name;
            EXPECT_FALSE(h.manager->resume(QUrl(QStringLiteral("vantle://auth/callback?code=x&state=y")))) << c.name;
            EXPECT_EQ(h.published, QList<State>{State::signedOut()}) << c.name;
            continue;
        }
        const StoredSession previous = previousSession();
        h.store(previous);
        h.browser.setMode(FakeBrowser::Mode::ignore);
        std::optional<bool> cancelAnswer;
        // While the authority's document is on its way: answered only after the cancel.
        if (c.step == Step::discovery)
            h.authority.beforeAnswering(FakeAuthority::discoveryPath, [&] { cancelAnswer = h.manager->cancelSignIn(); });
        if (c.step == Step::timeLimit)
            h.manager->oauthDriver().setBrowserTimeout(50ms);
        auto out = h.start(h.manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
        if (c.step == Step::browser) {
            ASSERT_TRUE(TestSupport::waitUntil([&] { return h.browser.openedUrls().size() == 1; })) << c.name;
            cancelAnswer = h.manager->cancelSignIn();
        }

        ASSERT_TRUE(TestSupport::waitUntil([&] { return out->done; })) << c.name;
        if (c.step != Step::timeLimit) {
            EXPECT_EQ(cancelAnswer, c.cancelAnswer) << c.name;
        }
        ASSERT_TRUE(out->error) << c.name;
        EXPECT_EQ(*out->error, OrvalenError::authorizationCancelled()) << c.name;
        EXPECT_EQ(h.published.last(), State::failed(OrvalenError::authorizationCancelled())) << c.name;
        // Late answers of the abandoned flow open nothing and store nothing.
        ASSERT_TRUE(TestSupport::waitUntil([&] { return h.authorizationEnded(); })) << c.name;
        EXPECT_EQ(h.browser.openedUrls().size(), c.step == Step::discovery ? 0 : 1) << c.name;
        EXPECT_EQ(h.identity.countOf(kPost, FakeIdentityService::exchangePath), 0) << c.name;
        EXPECT_EQ(h.stored(), previous) << c.name;
        EXPECT_FALSE(h.manager->isSignInPending()) << c.name;
        EXPECT_FALSE(h.manager->cancelSignIn()) << c.name;
    }
}

TEST(OrvalenAccountManager, CancelDoesNotUndoASignInWhoseCodeIsBack)
{
    enum class When { exchangeUnderWay, signedInBeingPublished };
    const struct {
        const char *name;
        When when;
    } cases[] = {
        {"while the code is exchanged", When::exchangeUnderWay},
        {"from a handler hearing signedIn", When::signedInBeingPublished},
    };
    for (const auto &c : cases) {
        Harness h;
        std::optional<bool> cancelAnswer;
        std::optional<OrvalenAccountStateSubscription> canceller;
        if (c.when == When::exchangeUnderWay) {
            // While the exchange is on its way: answered only after the cancel.
            h.identity.beforeAnswering(FakeIdentityService::exchangePath,
                                       [&h, &cancelAnswer] { cancelAnswer = h.manager->cancelSignIn(); });
        } else {
            canceller.emplace(h.manager->onStateChange([&h, &cancelAnswer](const State &state) {
                if (state.is<State::SignedIn>() && !cancelAnswer)
                    cancelAnswer = h.manager->cancelSignIn();
            }));
        }
        auto out = h.start(h.manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
        ASSERT_TRUE(TestSupport::waitUntil([&] { return out->done; })) << c.name;

        EXPECT_EQ(cancelAnswer, false) << c.name;
        EXPECT_FALSE(out->error) << c.name << ": " << (out->error ? out->error->message().toStdString() : "");
        EXPECT_EQ(out->account, fakeAccount()) << c.name;
        EXPECT_EQ(h.manager->state(), State::signedIn(fakeAccount())) << c.name;
        EXPECT_EQ(h.published.last(), State::signedIn(fakeAccount())) << c.name;
        const std::optional<StoredSession> stored = h.stored();
        EXPECT_EQ(stored ? std::optional<OrvalenAccount>(stored->account) : std::nullopt, fakeAccount()) << c.name;
    }
}

TEST(OrvalenAccountManager, ASecondSignInSupersedesThePendingOne)
{
    const struct {
        const char *name;
        bool firstInDiscovery;
    } cases[] = {{"first still discovering", true}, {"first waiting in the browser", false}};
    for (const auto &c : cases) {
        Harness h;
        h.browser.setMode(FakeBrowser::Mode::ignore);
        std::shared_ptr<Outcome> second;
        const auto startSecond = [&h, &second] {
            h.browser.setMode(FakeBrowser::Mode::follow);
            second = h.start(h.manager->signInViaSystemBrowser(Hint::google, std::nullopt));
        };
        // While the first one's document is on its way: answered only after the second began.
        if (c.firstInDiscovery)
            h.authority.beforeAnswering(FakeAuthority::discoveryPath, startSecond);
        auto first = h.start(h.manager->signInViaSystemBrowser(Hint::email, std::nullopt));
        if (!c.firstInDiscovery) {
            ASSERT_TRUE(TestSupport::waitUntil([&] { return h.browser.openedUrls().size() == 1; }));
            startSecond();
        }
        // Both ended, and the first one's late discovery answer with them.
        ASSERT_TRUE(TestSupport::waitUntil([&] { return first->done && second && second->done && h.authorizationEnded(); }))
            << c.name;

        ASSERT_TRUE(first->error) << c.name;
        EXPECT_EQ(*first->error, OrvalenError::authorizationCancelled()) << c.name;
        EXPECT_EQ(second->account, fakeAccount()) << c.name;
        // The first never publishes: not its cancel, and nothing after the second.
        EXPECT_EQ(h.published, (QList<State>{State::signedOut(), State::signingIn(true), State::signingIn(true),
                                              State::signedIn(fakeAccount())}))
            << c.name;
        // Two equal states in a row: every handler hears both, observers one change.
        EXPECT_EQ(h.stateNotifications, 2) << c.name;
        EXPECT_EQ(h.identity.countOf(kPost, FakeIdentityService::exchangePath), 1) << c.name;
        EXPECT_EQ(h.browser.openedUrls().size(), c.firstInDiscovery ? 1 : 2) << c.name;
        EXPECT_EQ(h.authority.lastAuthorization().value(QStringLiteral("provider")), QStringLiteral("google")) << c.name;
    }
}

TEST(OrvalenAccountManager, SignOutDuringASignInEndsItAndLeavesNothingStored)
{
    Harness h;
    h.browser.setMode(FakeBrowser::Mode::ignore);
    auto pending = h.start(h.manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return h.browser.openedUrls().size() == 1; }));

    TestSupport::runTask(h.manager->signOut());

    ASSERT_TRUE(TestSupport::waitUntil([&] { return pending->done; }));
    EXPECT_EQ(pending->error, OrvalenError::authorizationCancelled());
    EXPECT_EQ(h.manager->state(), State::signedOut());
    EXPECT_FALSE(h.stored());
    EXPECT_FALSE(h.manager->resume(QUrl(QStringLiteral("vantle://auth/callback?code=x&state=y"))));
}

TEST(OrvalenAccountManager, LaunchRestore)
{
    enum class Item { kept, replaced, deleted, none };
    struct Case {
        const char *name;
        std::function<std::optional<StoredSession>(Harness &)> prepare;
        bool forceRefresh;
        std::optional<ScriptedAnswer> refreshAnswer;
        bool signedIn;
        bool offline;
        Item item;
    };
    const auto live = [](qint64 seconds) {
        return [seconds](Harness &h) { return std::optional<StoredSession>(h.storeLiveSession(seconds)); };
    };
    const auto expiredWithout = [](Harness &h) {
        StoredSession session = h.storeLiveSession(-10);
        session.refreshToken.reset();
        h.store(session);
        return std::optional<StoredSession>(session);
    };
    const auto fromTheFuture = [](Harness &h) {
        // The clock was set back after the sign-in: the session still counts.
        StoredSession session = h.storeLiveSession(3600);
        session.issuedAt = QDateTime::currentDateTimeUtc().addDays(2);
        h.store(session);
        return std::optional<StoredSession>(session);
    };
    const auto corrupt = [](Harness &h) {
        h.manager->storage().setData("{\"oas\":\"oas_x\",\"expiresAt\":", KeychainStorage::Keys::session);
        return std::optional<StoredSession>();
    };
    const auto otherSlug = [](Harness &h) {
        KeychainStorage other(QStringLiteral("othertool"), std::nullopt, h.keychain);
        StoredSession session = previousSession();
        session.appSlug = QStringLiteral("othertool");
        other.setJSON(session, KeychainStorage::Keys::session);
        return std::optional<StoredSession>();
    };
    const auto nothing = [](Harness &) { return std::optional<StoredSession>(); };

    const Case cases[] = {
        {"valid", live(3600), false, std::nullopt, true, false, Item::kept},
        {"issued in the future, still valid", fromTheFuture, false, std::nullopt, true, false, Item::kept},
        // The forced check is of the expiry: a valid session is not spent early.
        {"valid, expiry check forced", live(3600), true, std::nullopt, true, false, Item::kept},
        {"expired, expiry check forced", live(-10), true, std::nullopt, true, false, Item::replaced},
        {"expired, refreshed", live(-10), false, std::nullopt, true, false, Item::replaced},
        {"expired, refresh 401", live(-10), false, ScriptedAnswer::json(401, R"({"error":"revoked"})"), false, false, Item::deleted},
        {"expired, refresh invalid_grant", live(-10), false, ScriptedAnswer::json(400, R"({"error":"invalid_grant"})"), false, false, Item::deleted},
        {"expired, refresh 400 other", live(-10), false, ScriptedAnswer::json(400, R"({"error":"bad_request"})"), true, true, Item::kept},
        {"expired, refresh 503", live(-10), false, ScriptedAnswer::json(503, "{}"), true, true, Item::kept},
        {"expired, refresh 426", live(-10), false, ScriptedAnswer::json(426, "{}"), true, true, Item::kept},
        {"expired, offline", live(-10), false, dropped(), true, true, Item::kept},
        {"expired, refresh answer unreadable", live(-10), false, ScriptedAnswer::json(200, "{}"), true, true, Item::kept},
        {"expired without refresh token", expiredWithout, false, std::nullopt, false, false, Item::deleted},
        {"corrupt item", corrupt, false, std::nullopt, false, false, Item::none},
        {"another application's session", otherSlug, false, std::nullopt, false, false, Item::none},
        {"nothing stored", nothing, false, std::nullopt, false, false, Item::none},
    };
    for (const Case &c : cases) {
        Harness h;
        const std::optional<StoredSession> before = c.prepare(h);
        const std::optional<QByteArray> rawBefore = h.manager->storage().getData(KeychainStorage::Keys::session);
        if (c.refreshAnswer)
            answerNext(h.identity, FakeIdentityService::refreshPath, *c.refreshAnswer);

        const std::optional<OrvalenAccount> restored = TestSupport::runTask(h.manager->restore(c.forceRefresh));

        EXPECT_EQ(restored.has_value(), c.signedIn) << c.name;
        EXPECT_EQ(h.manager->state(), c.signedIn ? State::signedIn(fakeAccount()) : State::signedOut()) << c.name;
        EXPECT_EQ(h.manager->isOffline(), c.offline) << c.name;
        const std::optional<StoredSession> after = h.stored();
        switch (c.item) {
        case Item::kept:
            EXPECT_EQ(after, before) << c.name;
            if (!c.offline) {
                EXPECT_EQ(h.identity.countOf(kPost, FakeIdentityService::refreshPath), 0) << c.name;
            }
            break;
        case Item::replaced:
            ASSERT_TRUE(after) << c.name;
            EXPECT_NE(after->oas, before->oas) << c.name;
            EXPECT_TRUE(h.identity.isLiveSessionToken(after->oas)) << c.name;
            EXPECT_GT(after->expiresAt, QDateTime::currentDateTimeUtc()) << c.name;
            break;
        case Item::deleted:
            EXPECT_FALSE(h.manager->storage().getData(KeychainStorage::Keys::session)) << c.name;
            break;
        case Item::none:
            EXPECT_EQ(h.manager->storage().getData(KeychainStorage::Keys::session), rawBefore) << c.name;
            break;
        }
    }
}

TEST(OrvalenAccountManager, ReverifyOnLaunchAbsorbsAFailedStore)
{
    Harness h;
    h.storeLiveSession(-10);
    // The refresh works, storing its session does not.
    h.keychain->failAlways(InMemoryKeychain::Op::update, KeychainStatus::interactionNotAllowed);
    const OrvalenAccountManager::LaunchVerification verification = TestSupport::runTask(h.manager->reverifyOnLaunch());
    h.keychain->failAlways(InMemoryKeychain::Op::update, std::nullopt);
    EXPECT_FALSE(verification.isSignedIn);
    EXPECT_EQ(h.manager->state(), State::signedOut());
}

TEST(OrvalenAccountManager, RefreshedSessionIsStoredOnlyOverTheSessionItRefreshed)
{
    const OasResponse answer = rotatedSession();
    const struct {
        const char *name;
        std::optional<std::optional<QString>> storedRefreshToken; // outer absent: nothing stored
        bool written;
    } cases[] = {
        {"the refreshed one", std::optional<QString>(QStringLiteral("rt_previous")), true},
        {"another one by now", std::optional<QString>(QStringLiteral("rt_newer")), false},
        {"one without refresh token", std::optional<QString>(), false},
        {"nothing stored", std::nullopt, false},
    };
    for (const auto &c : cases) {
        Harness h;
        std::optional<StoredSession> before;
        if (c.storedRefreshToken) {
            before = previousSession();
            before->refreshToken = *c.storedRefreshToken;
            h.store(*before);
        }
        h.manager->authClient()->onSessionRefreshed(QStringLiteral("rt_previous"), answer);
        const std::optional<StoredSession> after = h.stored();
        if (c.written) {
            ASSERT_TRUE(after) << c.name;
            EXPECT_EQ(after->oas, QStringLiteral("oas_rotated")) << c.name;
            EXPECT_EQ(after->refreshToken, QStringLiteral("rt_rotated")) << c.name;
        } else {
            EXPECT_EQ(after, before) << c.name;
        }
    }
}

// The session is read from the keychain once, at the launch; from then on every reader
// (the identity client, the ledger's token, the analytics mirror) gets the copy in memory,
// and that copy follows each of the manager's own writes.
TEST(OrvalenAccountManager, TheStoredSessionIsKeptInMemoryThroughItsChanges)
{
    Harness h;
    const StoredSession launched = h.storeLiveSession(3600);
    const auto rotated = [&h]() {
        h.manager->authClient()->onSessionRefreshed(*h.manager->storedSession()->refreshToken, rotatedSession());
    };
    const struct {
        const char *name;
        std::function<void()> step;
        std::optional<QString> token; // empty: a new session the fake issued
        bool stored;
    } steps[] = {
        {"launch", [&h] { TestSupport::runTask(h.manager->restore(false)); }, launched.oas, true},
        {"refresh", rotated, QStringLiteral("oas_rotated"), true},
        {"sign-out", [&h] { TestSupport::runTask(h.manager->signOut()); }, std::nullopt, false},
        {"sign-in", [&h] { ASSERT_FALSE(h.signIn().error); }, std::nullopt, true},
    };
    int launchReads = 0;
    for (const auto &s : steps) {
        const int readsBefore = h.keychain->callCount(InMemoryKeychain::Op::copyMatching);
        s.step();
        if (launchReads == 0)
            launchReads = h.keychain->callCount(InMemoryKeychain::Op::copyMatching) - readsBefore;
        else
            EXPECT_EQ(h.keychain->callCount(InMemoryKeychain::Op::copyMatching), readsBefore) << s.name;
        // Asked as often as requests and events would: never the keychain.
        const int readsAfterStep = h.keychain->callCount(InMemoryKeychain::Op::copyMatching);
        std::optional<StoredSession> memory;
        for (int i = 0; i < 20; ++i) {
            memory = h.manager->storedSession();
            EXPECT_EQ(h.manager->authClient()->currentSessionProvider(), memory) << s.name;
        }
        EXPECT_EQ(h.keychain->callCount(InMemoryKeychain::Op::copyMatching), readsAfterStep) << s.name;
        EXPECT_EQ(memory, h.stored()) << s.name;
        EXPECT_EQ(memory.has_value(), s.stored) << s.name;
        if (memory && s.token) {
            EXPECT_EQ(memory->oas, *s.token) << s.name;
        }
    }
    EXPECT_EQ(launchReads, 1) << "the launch reads the session item once";
}

TEST(OrvalenAccountManager, SignOutEndsSignedOutWhateverTheRevokeDoes)
{
    const struct {
        const char *name;
        bool sessionStored;
        std::optional<ScriptedAnswer> revokeAnswer;
        int revokesSent;
    } cases[] = {
        {"revoked", true, std::nullopt, 1},
        {"revoke refused", true, ScriptedAnswer::json(500, R"({"error":"down"})"), 1},
        {"revoke dropped", true, dropped(), 1},
        {"nothing stored", false, std::nullopt, 0},
    };
    for (const auto &c : cases) {
        Harness h;
        std::optional<StoredSession> session;
        if (c.sessionStored) {
            session = h.storeLiveSession(3600);
            TestSupport::runTask(h.manager->restore(false));
            ASSERT_EQ(h.manager->state(), State::signedIn(fakeAccount())) << c.name;
        }
        if (c.revokeAnswer)
            answerNext(h.identity, FakeIdentityService::revokePath, *c.revokeAnswer);

        TestSupport::runTask(h.manager->signOut());

        EXPECT_EQ(h.manager->state(), State::signedOut()) << c.name;
        EXPECT_FALSE(h.manager->storage().getData(KeychainStorage::Keys::session)) << c.name;
        const auto revokes = h.identity.requestsTo(FakeIdentityService::revokePath);
        ASSERT_EQ(revokes.isEmpty(), c.revokesSent == 0) << c.name;
        if (revokes.isEmpty())
            continue;
        EXPECT_EQ(revokes.first().header("Authorization"), "Bearer " + session->oas.toUtf8()) << c.name;
        ASSERT_FALSE(h.identity.dpopChecks().isEmpty()) << c.name;
        EXPECT_TRUE(h.identity.dpopChecks().first().valid) << h.identity.dpopChecks().first().failure.toStdString();
        if (!c.revokeAnswer) {
            EXPECT_TRUE(h.identity.revokedSessions().contains(session->oas)) << c.name;
        }
    }
}

TEST(OrvalenAccountManager, DeprecationNoticesOfAnAnswer)
{
    const struct {
        const char *name;
        QByteArray header;
        bool notice;
        std::optional<LibVersionPolicy> policy;
    } cases[] = {
        {"client notice", "client; min-version=1.2.0; current=2.0.0; reason=old", true,
         LibVersionPolicy{QStringLiteral("1.2.0"), QStringLiteral("2.0.0"), std::nullopt, QStringLiteral("old"), std::nullopt}},
        {"endpoint notice", "endpoint; replacement=https://id.example.test/v2", true, std::nullopt},
        {"none", "", false, std::nullopt},
    };
    for (const auto &c : cases) {
        Harness h;
        h.identity.setDeprecationHeader(c.header);
        const Outcome out = h.signIn();
        EXPECT_FALSE(out.error) << c.name; // a notice changes no state
        // Notices are applied on a later turn, queued while the answer was read: run it.
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(h.manager->lastDeprecationNotice().has_value(), c.notice) << c.name;
        EXPECT_EQ(h.manager->libVersionPolicy(), c.policy) << c.name;
        EXPECT_EQ(h.manager->state(), State::signedIn(fakeAccount())) << c.name;
    }
}

TEST(OrvalenAccountManager, HandlersAreHeldByTheirSubscription)
{
    Harness h;
    QList<State> kept;
    int selfCancelling = 0;
    auto keep = h.manager->onStateChange([&](const State &s) { kept.append(s); });
    std::optional<OrvalenAccountStateSubscription> once;
    once.emplace(h.manager->onStateChange([&](const State &) {
        // Cancelling itself from inside a transition must neither deadlock nor stop the others.
        if (++selfCancelling == 2)
            once.reset();
    }));
    int releasedCalls = 0;
    {
        auto released = h.manager->onStateChange([&](const State &) { ++releasedCalls; });
        Q_UNUSED(released)
    }
    h.storeLiveSession(3600);
    TestSupport::runTask(h.manager->restore(false));
    TestSupport::runTask(h.manager->signOut());
    EXPECT_EQ(kept, (QList<State>{State::signedOut(), State::signedIn(fakeAccount()), State::signedOut()}));
    EXPECT_EQ(selfCancelling, 2);
    EXPECT_EQ(releasedCalls, 1); // the call at registration only
}

TEST(OrvalenAccountManager, DPoPProofsForTheApplication)
{
    Harness h;
    const QUrl url(QStringLiteral("https://id.example.test/api/account/consents"));
    const std::optional<QString> first = h.manager->generateDPoPProof(url, kPost, QStringLiteral("oas_token"));
    const std::optional<QString> second = h.manager->generateDPoPProof(url, kPost, QStringLiteral("oas_token"));
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    const Fakes::DPoPCheck check = FakeIdentityService::verifyProof(first->toUtf8(), kPost, url, QByteArray("oas_token"),
                                                                    QDateTime::currentDateTimeUtc());
    EXPECT_TRUE(check.valid) << check.failure.toStdString();
    EXPECT_EQ(h.manager->dpopThumbprint(), h.manager->dpopSigner()->jktThumbprint());
}

// ---- Sign in with Apple ------------------------------------------------------------------

class ScriptedAppleAuthorizer final : public AppleIDAuthorizer {
public:
    void performRequests(const AppleIDAuthorizationRequest &, std::weak_ptr<AppleIDAuthorizationDelegate> delegate,
                         std::weak_ptr<AppleIDPresentationContextProvider>) override
    {
        ++requests;
        QTimer::singleShot(0, [delegate, credential = credential]() {
            if (const auto listener = delegate.lock())
                listener->authorizationControllerDidCompleteWithAuthorization({credential});
        });
    }
    AppleIDCredential credential{QByteArray("apple.code"), QByteArray("apple.idtoken"), QStringLiteral("001.user"),
                                 std::nullopt, std::nullopt, std::nullopt};
    int requests = 0;
};

TEST(OrvalenAccountManager, SignInWithAppleStoresOnlyACompleteAnswer)
{
    const QString expires = OrvalenJSON::encodeDate(QDateTime::currentDateTimeUtc().addDays(30));
    const auto answer = [&](const QStringList &leaveOut, std::optional<bool> isNew) {
        QJsonObject object{{QStringLiteral("ok"), true},
                           {QStringLiteral("orvalen_account_id"), FakeIdentityService::accountId},
                           {QStringLiteral("email"), FakeIdentityService::email},
                           {QStringLiteral("oas"), QStringLiteral("oas_apple")},
                           {QStringLiteral("refresh_token"), QStringLiteral("rt_apple")},
                           {QStringLiteral("expires_at"), expires}};
        if (isNew)
            object.insert(QStringLiteral("is_new_user"), *isNew);
        for (const QString &key : leaveOut)
            object.remove(key);
        return ScriptedAnswer::json(200, QJsonDocument(object).toJson(QJsonDocument::Compact));
    };
    const struct {
        const char *name;
        ScriptedAnswer answer;
        std::optional<bool> isNewUser;
        bool succeeds;
    } cases[] = {
        {"new user", answer({}, true), true, true},
        {"returning user", answer({}, false), false, true},
        {"not said", answer({}, std::nullopt), std::nullopt, true},
        {"no expiry", answer({QStringLiteral("expires_at")}, true), std::nullopt, false},
        {"no session token", answer({QStringLiteral("oas")}, true), std::nullopt, false},
        {"no account", answer({QStringLiteral("orvalen_account_id")}, true), std::nullopt, false},
        {"no e-mail", answer({QStringLiteral("email")}, true), std::nullopt, false},
    };
    for (const auto &c : cases) {
        Harness h;
        auto authorizer = std::make_shared<ScriptedAppleAuthorizer>();
        OrvalenConfig config = h.manager->config();
        OrvalenAccountManager::Environment environment;
        environment.keychain = h.keychain;
        environment.dpop.keychain = h.keychain;
        environment.appleAuthorizer = authorizer;
        OrvalenAccountManager manager(config, environment);
        h.identity.enqueue(kPost, FakeIdentityService::appleAuthcodePath, c.answer);

        auto out = h.start(manager.signInWithApple(nullptr, std::nullopt));
        ASSERT_TRUE(TestSupport::waitUntil([&] { return out->done; })) << c.name;

        const QJsonObject sent = h.identity.requestsTo(FakeIdentityService::appleAuthcodePath).value(0).json().object();
        EXPECT_EQ(sent.value(QStringLiteral("authorization_code")).toString(), QStringLiteral("apple.code")) << c.name;
        EXPECT_EQ(sent.value(QStringLiteral("install_id")).toString(), kInstallID) << c.name;
        EXPECT_EQ(manager.lastAppleSignInIsNewUser(), c.isNewUser) << c.name;
        const auto stored = manager.storage().getJSON<StoredSession>(KeychainStorage::Keys::session);
        if (c.succeeds) {
            EXPECT_EQ(out->account, fakeAccount()) << c.name;
            EXPECT_EQ(manager.state(), State::signedIn(fakeAccount())) << c.name;
            ASSERT_TRUE(stored) << c.name;
            EXPECT_EQ(stored->oas, QStringLiteral("oas_apple")) << c.name;
            EXPECT_EQ(stored->appSlug, QStringLiteral("vantle")) << c.name;
        } else {
            const OrvalenError expected = OrvalenError::authorizationFailed(QStringLiteral("apple_authcode_unavailable"));
            EXPECT_EQ(out->error, expected) << c.name;
            EXPECT_EQ(manager.state(), State::failed(expected)) << c.name;
            EXPECT_FALSE(stored) << c.name;
        }
    }
}

TEST(OrvalenAccountManager, ASignInEndedAsItStartsOpensNothing)
{
    // A handler hearing signingIn ends the sign-in before its road has begun.
    enum class Road { browser, apple };
    const struct {
        const char *name;
        Road road;
    } cases[] = {{"browser, cancelled", Road::browser}, {"Apple, signed out", Road::apple}};
    for (const auto &c : cases) {
        Harness h;
        auto authorizer = std::make_shared<ScriptedAppleAuthorizer>();
        OrvalenAccountManager::Environment environment;
        environment.keychain = h.keychain;
        environment.dpop.keychain = h.keychain;
        environment.appleAuthorizer = authorizer;
        OrvalenAccountManager apple(h.manager->config(), environment);
        OrvalenAccountManager &manager = c.road == Road::apple ? apple : *h.manager;

        bool ended = false;
        std::vector<QCoro::Task<void>> signingOut;
        const OrvalenAccountStateSubscription ender = manager.onStateChange([&](const State &state) {
            if (!state.is<State::SigningIn>() || ended)
                return;
            ended = true;
            if (c.road == Road::browser)
                EXPECT_TRUE(manager.cancelSignIn()) << c.name;
            else
                signingOut.push_back(manager.signOut());
        });
        auto out = h.start(c.road == Road::apple ? manager.signInWithApple(nullptr, std::nullopt)
                                                 : manager.signInViaSystemBrowser(std::nullopt, std::nullopt));
        ASSERT_TRUE(TestSupport::waitUntil([&] { return out->done; })) << c.name;
        TestSupport::spinFor(200ms); // whatever the ended sign-in might still start

        EXPECT_EQ(out->error, OrvalenError::authorizationCancelled()) << c.name;
        EXPECT_EQ(h.authority.countOf(QStringLiteral("GET"), FakeAuthority::discoveryPath), 0) << c.name;
        EXPECT_TRUE(h.browser.openedUrls().isEmpty()) << c.name;
        EXPECT_EQ(authorizer->requests, 0) << c.name;
        EXPECT_EQ(manager.state(), c.road == Road::browser ? State::failed(OrvalenError::authorizationCancelled())
                                                           : State::signedOut())
            << c.name;
        EXPECT_FALSE(manager.isSignInPending()) << c.name;
    }
}


// ---- late answers, failed deletes, overtaken sign-outs, nested handlers --------------------

// A working session answer of the identity service, sent after `delay`.
ScriptedAnswer sessionAnswer(FakeIdentityService &identity, std::chrono::milliseconds delay)
{
    ScriptedAnswer answer = ScriptedAnswer::json(
        200, QJsonDocument(identity.issueSession(QStringLiteral("vantle"))).toJson(QJsonDocument::Compact));
    answer.delay = delay;
    return answer;
}

QCoro::Task<void> finish(QCoro::Task<void> task, std::shared_ptr<bool> done)
{
    co_await std::move(task);
    *done = true;
}

TEST(OrvalenAccountManager, ALateAnswerNeverSignsAPersonBackIn)
{
    enum class Late { launchRefresh, codeExchange };
    enum class Meanwhile { signOut, signIn };
    const struct {
        const char *name;
        Late late;
        Meanwhile meanwhile;
    } cases[] = {
        {"sign-out during the launch refresh", Late::launchRefresh, Meanwhile::signOut},
        {"sign-in during the launch refresh", Late::launchRefresh, Meanwhile::signIn},
        {"sign-out during the code exchange", Late::codeExchange, Meanwhile::signOut},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        const QString latePath =
            c.late == Late::launchRefresh ? FakeIdentityService::refreshPath : FakeIdentityService::exchangePath;
        h.identity.enqueue(kPost, latePath, sessionAnswer(h.identity, 400ms));
        int lateAnswers = 0;
        QObject::connect(&h.network, &QNetworkAccessManager::finished, [&](QNetworkReply *reply) {
            lateAnswers += reply->url().path() == latePath;
        });
        std::optional<QCoro::Task<std::optional<OrvalenAccount>>> restoring;
        if (c.late == Late::launchRefresh) {
            h.storeLiveSession(-10);
            restoring.emplace(h.manager->restore(true));
        } else {
            h.start(h.manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
        }
        ASSERT_TRUE(TestSupport::waitUntil([&] { return h.identity.countOf(kPost, latePath) == 1; }));

        std::shared_ptr<Outcome> meanwhile;
        if (c.meanwhile == Meanwhile::signOut)
            TestSupport::runTask(h.manager->signOut());
        else
            meanwhile = h.start(h.manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
        ASSERT_TRUE(TestSupport::waitUntil([&] { return !meanwhile || meanwhile->done; }));
        const qsizetype publishedBefore = h.published.size();
        if (restoring) {
            EXPECT_EQ(TestSupport::runTask(std::move(*restoring)), std::nullopt);
        }
        ASSERT_TRUE(TestSupport::waitUntil([&] { return lateAnswers == 1; }));
        TestSupport::spinFor(50ms); // whatever the late answer might still set off

        if (c.meanwhile == Meanwhile::signOut) {
            EXPECT_EQ(h.manager->state(), State::signedOut());
            EXPECT_FALSE(h.manager->storage().getData(KeychainStorage::Keys::session));
            EXPECT_EQ(h.published.size(), publishedBefore) << "published after the sign-out";
        } else {
            // The sign-in decides, whichever answer came first: its session, published once.
            EXPECT_EQ(meanwhile->account, fakeAccount());
            EXPECT_EQ(h.published.count(State::signedIn(fakeAccount())), 1);
            EXPECT_EQ(h.manager->state(), State::signedIn(fakeAccount()));
        }
    }
}

// The keyring refuses the delete of a sign-out (it locked between the read and the delete):
// the sign-out still ends signed out, and no later launch brings the session back, nor asks
// the identity service about it. Whatever the keyring kept goes at the first launch that can
// delete it; outside the keychain only a digest of the token was ever written.
TEST(OrvalenAccountManager, ASessionSignedOutOfNeverComesBack)
{
    using Op = InMemoryKeychain::Op;
    const struct {
        const char *name;
        void (*refuse)(InMemoryKeychain &);
        const char *logged; // the outcome the log line names; nothing when deleted
    } cases[] = {
        {"one delete refused", [](InMemoryKeychain &k) { k.failNext(Op::remove, KeychainStatus::interactionNotAllowed); },
         nullptr},
        {"every delete refused",
         [](InMemoryKeychain &k) { k.failAlways(Op::remove, KeychainStatus::interactionNotAllowed); }, "overwritten"},
        {"keyring locked", [](InMemoryKeychain &k) { setLocked(k, true); }, "left in place"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto log = std::make_shared<RecordingSystemLog>();
        SystemLog::setSink(log);
        Harness h;
        const StoredSession session = h.storeLiveSession(3600);
        TestSupport::runTask(h.manager->restore(false));
        c.refuse(*h.keychain);

        TestSupport::runTask(h.manager->signOut());
        EXPECT_EQ(h.manager->state(), State::signedOut());
        const QStringList remembered = h.preferences->stringListValue(OrvalenAccountManager::signedOutSessionsKey);
        EXPECT_EQ(remembered.size(), c.logged ? 1 : 0);
        EXPECT_FALSE(remembered.join(u' ').contains(session.oas)) << "a token in the preferences";

        // Launches over the same keychain: one while it is still as it was, one unlocked.
        for (const bool unlocked : {false, true}) {
            if (unlocked)
                setLocked(*h.keychain, false);
            OrvalenAccountManager::Environment environment;
            environment.keychain = h.keychain;
            environment.dpop.keychain = h.keychain;
            environment.preferences = h.preferences;
            OrvalenAccountManager next(h.manager->config(), environment);
            EXPECT_FALSE(TestSupport::runTask(next.reverifyOnLaunch()).isSignedIn) << "unlocked: " << unlocked;
            EXPECT_EQ(next.state(), State::signedOut());
            EXPECT_FALSE(next.storedSession());
        }
        EXPECT_FALSE(h.manager->storage().getData(KeychainStorage::Keys::session)) << "the keyring kept an item";
        EXPECT_FALSE(h.preferences->contains(OrvalenAccountManager::signedOutSessionsKey));
        EXPECT_EQ(h.identity.countOf(kPost, FakeIdentityService::refreshPath), 0);
        const QStringList lines = sessionLogLines(*log).filter(QStringLiteral("session delete after sign-out failed"));
        EXPECT_EQ(lines.size(), c.logged ? 1 : 0) << lines.join(u'\n').toStdString();
        EXPECT_TRUE(!c.logged || lines.value(0).endsWith(QLatin1String(c.logged))) << lines.value(0).toStdString();
        SystemLog::setSink(nullptr);
    }
}

// A refresh the keyring will not store has still spent the token it replaced: every request
// from then on presents the new one, and a sign-out revokes that one at the service.
TEST(OrvalenAccountManager, ARefreshTheKeyringWillNotStoreIsTheSessionPresented)
{
    auto log = std::make_shared<RecordingSystemLog>();
    SystemLog::setSink(log);
    Harness h;
    const StoredSession launched = h.storeLiveSession(3600);
    TestSupport::runTask(h.manager->restore(false));
    setLocked(*h.keychain, true);
    const OasResponse refreshed =
        TestSupport::runTask(h.manager->authClient()->refreshSerialized(*launched.refreshToken));
    setLocked(*h.keychain, false);

    ASSERT_NE(refreshed.oas, launched.oas);
    ASSERT_TRUE(h.manager->storedSession());
    EXPECT_EQ(h.manager->storedSession()->oas, refreshed.oas);
    EXPECT_EQ(h.manager->storedSession()->refreshToken, refreshed.refreshToken);
    EXPECT_EQ(h.manager->authClient()->currentSessionProvider(), h.manager->storedSession());
    EXPECT_EQ(h.stored()->oas, launched.oas) << "the keychain kept what it held";
    EXPECT_EQ(sessionLogLines(*log).filter(QStringLiteral("session persist after refresh failed")).size(), 1);

    TestSupport::runTask(h.manager->signOut());
    EXPECT_TRUE(h.identity.revokedSessions().contains(refreshed.oas));
    EXPECT_FALSE(h.stored());
    SystemLog::setSink(nullptr);
}

// Signed out while a sign-in began that then fails or is cancelled: whoever follows the
// state hears that the account signed out of is gone, and that a sign-in runs meanwhile.
TEST(OrvalenAccountManager, ASignOutOvertakenByASignInStillPublishesSignedOut)
{
    Harness h;
    h.storeLiveSession(3600);
    TestSupport::runTask(h.manager->restore(false));
    ScriptedAnswer slowRevoke = ScriptedAnswer::json(200, R"({"ok":true})");
    slowRevoke.delay = 300ms;
    h.identity.enqueue(kPost, FakeIdentityService::revokePath, slowRevoke);
    h.browser.setMode(FakeBrowser::Mode::ignore);

    auto signedOut = std::make_shared<bool>(false);
    QCoro::Task<void> signingOut = finish(h.manager->signOut(), signedOut);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return h.identity.countOf(kPost, FakeIdentityService::revokePath) == 1; }));
    auto signIn = h.start(h.manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return *signedOut; }));
    EXPECT_EQ(h.manager->state(), State::signingIn(true)) << "the sign-in still runs";
    EXPECT_FALSE(h.stored());

    ASSERT_TRUE(TestSupport::waitUntil([&] { return h.browser.openedUrls().size() == 1; }));
    EXPECT_TRUE(h.manager->cancelSignIn());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return signIn->done; }));
    const qsizetype from = h.published.indexOf(State::signingIn(true));
    EXPECT_EQ(h.published.mid(from), (QList<State>{State::signingIn(true), State::signedOut(), State::signingIn(true),
                                                   State::failed(OrvalenError::authorizationCancelled())}));
}

// A handler that cancels or signs out from inside a notification: every handler, called
// before or after it, ends on the state the manager is in.
TEST(OrvalenAccountManager, EveryHandlerEndsOnTheCurrentState)
{
    enum class Act { cancel, signOut };
    const struct {
        const char *name;
        Act act;
        State expected;
        bool bySlot; // a slot on stateChanged acts, before any handler hears of the change
    } cases[] = {
        {"cancel on signingIn", Act::cancel, State::failed(OrvalenError::authorizationCancelled()), false},
        {"sign-out on signingIn", Act::signOut, State::signedOut(), false},
        {"cancel from a slot on stateChanged", Act::cancel, State::failed(OrvalenError::authorizationCancelled()),
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.browser.setMode(FakeBrowser::Mode::ignore);
        std::vector<QCoro::Task<void>> signingOut;
        bool acted = false;
        QList<State> last(8, State::signedOut());
        const auto act = [&](const State &state) {
            if (acted || !state.is<State::SigningIn>())
                return;
            acted = true;
            if (c.act == Act::cancel)
                h.manager->cancelSignIn();
            else
                signingOut.push_back(h.manager->signOut());
        };
        QObject slotOwner;
        if (c.bySlot)
            QObject::connect(h.manager.get(), &OrvalenAccountManager::stateChanged, &slotOwner, act);
        std::vector<OrvalenAccountStateSubscription> handlers;
        for (int i = 0; i < 8; ++i) {
            handlers.push_back(h.manager->onStateChange([&, i](const State &state) {
                last[i] = state;
                // The first to hear signingIn acts: the others come after it.
                if (!c.bySlot)
                    act(state);
            }));
        }
        auto out = h.start(h.manager->signInViaSystemBrowser(std::nullopt, std::nullopt));
        ASSERT_TRUE(TestSupport::waitUntil([&] { return out->done; }));
        EXPECT_EQ(h.manager->state(), c.expected);
        EXPECT_EQ(last, QList<State>(8, c.expected));
        EXPECT_EQ(h.published.last(), c.expected);
    }
}

TEST(OrvalenAccountManager, SignInWithAppleIsOnlineAgain)
{
    Harness h(kInstallID, AuthScheme::systemBrowser, std::make_shared<ScriptedAppleAuthorizer>());
    OrvalenAccountManager &manager = *h.manager;
    // Restored while the identity service was down: offline.
    h.storeLiveSession(-10);
    answerNext(h.identity, FakeIdentityService::refreshPath, ScriptedAnswer::json(503, "{}"));
    TestSupport::runTask(manager.restore(false));
    ASSERT_TRUE(manager.isOffline());
    h.identity.enqueue(kPost, FakeIdentityService::appleAuthcodePath, sessionAnswer(h.identity, 0ms));
    auto out = h.start(manager.signInWithApple(nullptr, std::nullopt));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return out->done; }));
    EXPECT_EQ(out->account, fakeAccount());
    EXPECT_FALSE(manager.isOffline());
}

} // namespace
