#include "OrvalenAccount/Internal/OIDCAuthorizationRequest.h"
#include "OrvalenAccount/Internal/OIDCError.h"
#include "OrvalenAccount/Internal/OIDCServiceConfiguration.h"
#include "OrvalenAccount/OAuthDriver.h"
#include "tools/fakes/FakeAuthority.h"
#include "tools/fakes/FakeBrowser.h"
#include "support/TaskRunner.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>

#include <memory>

using namespace std::chrono_literals;
using Fakes::FakeAuthority;
using Fakes::FakeBrowser;
using Hint = OAuthDriver::ProviderHint;

namespace {

struct LogLine {
    OrvalenLogLevel level;
    QString event;
    OrvalenLogFields fields;
};

struct Outcome {
    std::optional<OAuthAuthorizationResult> result;
    std::optional<OrvalenError> error;
    bool done = false;
};

// Runs a sign-in to its end without blocking the test, so that a second one can start meanwhile.
QCoro::Task<void> collect(QCoro::Task<OAuthAuthorizationResult> task, std::shared_ptr<Outcome> out)
{
    try {
        out->result = co_await std::move(task);
    } catch (const OrvalenError &error) {
        out->error = error;
    }
    out->done = true;
}

OrvalenConfig makeConfig(const QUrl &authority, QNetworkAccessManager *network, OrvalenLogger logger)
{
    OrvalenConfig config;
    config.authorityURL = authority;
    config.identityURL = QUrl(QStringLiteral("http://127.0.0.1:9"));
    config.appSlug = QStringLiteral("vantle");
    config.clientID = QStringLiteral("vantle");
    config.clientVersion = QStringLiteral("1.4.0+build 7");
    config.libVersion = QStringLiteral("0.11.5");
    config.redirectURI = QUrl(QStringLiteral("vantle://auth/callback"));
    config.scopes = {QStringLiteral("orvalen.account"), QStringLiteral("openid")};
    config.urlSession = network;
    config.logger = std::move(logger);
    return config;
}

class OAuthDriverTest : public ::testing::Test {
protected:
    OAuthDriverTest()
        : driver(makeConfig(authority.issuer(), &network,
                            [this](OrvalenLogLevel level, const QString &event, const OrvalenLogFields &fields) {
                                logs.append({level, event, fields});
                            })),
          browser([this](const QUrl &url) { return driver.resume(url); })
    {
    }

    // Whatever a person is shown must not echo a secret of the flow or an address.
    void expectNothingSecretIn(const QString &text)
    {
        EXPECT_FALSE(text.contains(authority.code())) << text.toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("127.0.0.1"))) << text.toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("vantle://"))) << text.toStdString();
        for (const auto &parameters : authority.authorizations())
            EXPECT_FALSE(text.contains(parameters.value(QStringLiteral("state")))) << text.toStdString();
    }

    std::shared_ptr<Outcome> start(QCoro::Task<OAuthAuthorizationResult> task)
    {
        auto out = std::make_shared<Outcome>();
        m_running.push_back(collect(std::move(task), out));
        return out;
    }

    // The browser flows' time limits that still run.
    QList<QTimer *> runningTimeLimits() const
    {
        QList<QTimer *> running;
        for (QTimer *limit : driver.findChildren<QTimer *>(QLatin1String(OAuthDriver::browserTimeLimitName),
                                                           Qt::FindDirectChildrenOnly)) {
            if (limit->isActive())
                running.append(limit);
        }
        return running;
    }

    FakeAuthority authority;
    QNetworkAccessManager network;
    QList<LogLine> logs;
    OAuthDriver driver;
    FakeBrowser browser;

private:
    std::vector<QCoro::Task<void>> m_running;
};

TEST_F(OAuthDriverTest, BrowserFlowYieldsTheCodeAndTheVerifierOfTheRecordedChallenge)
{
    const OAuthAuthorizationResult result = TestSupport::runTask(driver.authorizeViaSystemBrowser(Hint::google));

    ASSERT_EQ(authority.authorizations().size(), 1);
    const auto sent = authority.lastAuthorization();
    EXPECT_EQ(result.authorizationCode, QStringLiteral("c0de+A/b"));
    ASSERT_TRUE(result.codeVerifier);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Za-z0-9._~-]{43,128}$")).match(*result.codeVerifier).hasMatch());
    EXPECT_EQ(OIDCAuthorizationRequest::codeChallengeS256(*result.codeVerifier), sent.value(QStringLiteral("code_challenge")));
    EXPECT_EQ(sent.value(QStringLiteral("code_challenge_method")), QStringLiteral("S256"));
    EXPECT_EQ(result.state, sent.value(QStringLiteral("state")));
    EXPECT_EQ(sent.value(QStringLiteral("response_type")), QStringLiteral("code"));
    EXPECT_EQ(sent.value(QStringLiteral("client_id")), QStringLiteral("vantle"));
    EXPECT_EQ(sent.value(QStringLiteral("scope")), QStringLiteral("orvalen.account openid"));
    EXPECT_EQ(sent.value(QStringLiteral("redirect_uri")), QStringLiteral("vantle://auth/callback"));
    EXPECT_GE(sent.value(QStringLiteral("nonce")).size(), 22);
    EXPECT_NE(sent.value(QStringLiteral("nonce")), sent.value(QStringLiteral("state")));

    EXPECT_EQ(browser.resumeAnswers(), QList<bool>{true});
    EXPECT_EQ(driver.currentSession(), nullptr);
    EXPECT_EQ(authority.countOf(QStringLiteral("GET"), FakeAuthority::discoveryPath), 1);
    EXPECT_TRUE(logs.isEmpty());
    // The flow is over: nothing more to resume or cancel.
    EXPECT_FALSE(driver.resume(browser.returnedUrls().value(0)));
    EXPECT_FALSE(driver.cancelInFlight());
}

TEST_F(OAuthDriverTest, ParametersPerProviderHint)
{
    const struct {
        std::optional<Hint> hint;
        std::optional<QString> provider;
        std::optional<QString> prompt;
    } cases[] = {
        {std::nullopt, std::nullopt, std::nullopt},
        {Hint::apple, QStringLiteral("apple"), std::nullopt},
        {Hint::google, QStringLiteral("google"), QStringLiteral("select_account")},
        {Hint::email, QStringLiteral("email"), std::nullopt},
    };
    const QSet<QString> protocolKeys{QStringLiteral("response_type"), QStringLiteral("client_id"),
                                     QStringLiteral("redirect_uri"), QStringLiteral("scope"),
                                     QStringLiteral("state"), QStringLiteral("nonce"),
                                     QStringLiteral("code_challenge"), QStringLiteral("code_challenge_method")};
    for (const auto &c : cases) {
        TestSupport::runTask(driver.authorizeViaSystemBrowser(c.hint));
        const auto sent = authority.lastAuthorization();
        QSet<QString> expectedKeys = protocolKeys;
        expectedKeys += {QStringLiteral("orvalen_app_slug"), QStringLiteral("orvalen_client_version"),
                         QStringLiteral("orvalen_lib_version")};
        if (c.provider)
            expectedKeys.insert(QStringLiteral("provider"));
        if (c.prompt)
            expectedKeys.insert(QStringLiteral("prompt"));
        const auto keys = sent.keys();
        EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()), expectedKeys);
        EXPECT_EQ(sent.value(QStringLiteral("orvalen_app_slug")), QStringLiteral("vantle"));
        // "+" must arrive as "+", not as the space a web server makes of a bare "+".
        EXPECT_EQ(sent.value(QStringLiteral("orvalen_client_version")), QStringLiteral("1.4.0+build 7"));
        EXPECT_EQ(sent.value(QStringLiteral("orvalen_lib_version")), QStringLiteral("0.11.5"));
        EXPECT_EQ(sent.value(QStringLiteral("provider"), QString()), c.provider.value_or(QString()));
        EXPECT_EQ(sent.value(QStringLiteral("prompt"), QString()), c.prompt.value_or(QString()));
    }
}

TEST_F(OAuthDriverTest, ProviderHintRawValues)
{
    for (const auto &[hint, raw] : {std::pair{Hint::apple, "apple"}, std::pair{Hint::google, "google"},
                                    std::pair{Hint::email, "email"}}) {
        EXPECT_EQ(toRaw(hint), QLatin1String(raw));
        EXPECT_EQ(fromRaw<Hint>(QLatin1String(raw)), hint);
    }
    for (const char *other : {"Google", " apple", "", "passkey"})
        EXPECT_EQ(fromRaw<Hint>(QLatin1String(other)), std::nullopt) << other;
}

// How each kind of unhappy redirect ends, and what is shown and logged.
TEST_F(OAuthDriverTest, UnhappyRedirectsEndAsExpected)
{
    const struct {
        const char *name;
        FakeBrowser::Mode mode;
        OrvalenError expected;
        bool taken;
        OrvalenLogLevel level;
        const char *logClass;
        QString domain;
        int code;
    } cases[] = {
        {"wrong state", FakeBrowser::Mode::tamperState,
         OrvalenError::authorizationFailed(QStringLiteral("The sign-in response did not match this sign-in.")), true,
         OrvalenLogLevel::warning, "auth", OIDGeneralErrorDomain, OIDCGeneralErrorCode::stateMismatch},
        {"error redirect", FakeBrowser::Mode::returnError,
         OrvalenError::authorizationFailed(QStringLiteral("Access was denied.")), true, OrvalenLogLevel::warning,
         "auth", OIDOAuthAuthorizationErrorDomain, OIDCOAuthErrorCode::accessDenied},
        // Not addressed to us: refused, and the flow waits on until its time limit.
        {"foreign redirect", FakeBrowser::Mode::foreignRedirect, OrvalenError::authorizationCancelled(), false,
         OrvalenLogLevel::info, "cancelled", OIDGeneralErrorDomain, OIDCGeneralErrorCode::userCanceledAuthorizationFlow},
        {"time-out", FakeBrowser::Mode::ignore, OrvalenError::authorizationCancelled(), false, OrvalenLogLevel::info,
         "cancelled", OIDGeneralErrorDomain, OIDCGeneralErrorCode::userCanceledAuthorizationFlow},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        logs.clear();
        browser.setMode(c.mode);
        // Only the time-out waits for a short limit; a redirect must never race one.
        const bool timesOut = c.mode == FakeBrowser::Mode::ignore;
        driver.setBrowserTimeout(timesOut ? 300ms : OAuthDriver::defaultBrowserTimeout);
        const int answersBefore = browser.resumeAnswers().size();
        auto out = start(driver.authorizeViaSystemBrowser(Hint::email));
        if (c.mode == FakeBrowser::Mode::foreignRedirect) {
            // Refused, the flow waits on; its limit falls only after the refusal.
            ASSERT_TRUE(TestSupport::waitUntil([&] { return browser.resumeAnswers().size() > answersBefore; }));
            EXPECT_FALSE(out->done);
            const QList<QTimer *> limits = runningTimeLimits();
            ASSERT_EQ(limits.size(), 1);
            limits.first()->start(0);
        }
        ASSERT_TRUE(TestSupport::waitUntil([&] { return out->done; }));
        ASSERT_TRUE(out->error) << "the sign-in succeeded";
        EXPECT_EQ(*out->error, c.expected) << out->error->message().toStdString();
        expectNothingSecretIn(out->error->message());
        const QList<bool> answers = browser.resumeAnswers().mid(answersBefore);
        if (c.mode == FakeBrowser::Mode::ignore)
            EXPECT_TRUE(answers.isEmpty());
        else
            EXPECT_EQ(answers, QList<bool>{c.taken});
        EXPECT_EQ(driver.currentSession(), nullptr);
        ASSERT_EQ(logs.size(), 1);
        EXPECT_EQ(logs[0].level, c.level);
        EXPECT_EQ(logs[0].event, QStringLiteral("oauth_authorize_failed"));
        const OrvalenLogFields expectedFields{{QStringLiteral("class"), QLatin1String(c.logClass)},
                                              {QStringLiteral("provider"), QStringLiteral("email")},
                                              {QStringLiteral("error_domain"), c.domain},
                                              {QStringLiteral("error_code"), QString::number(c.code)}};
        EXPECT_EQ(logs[0].fields, expectedFields);
    }
}

TEST_F(OAuthDriverTest, TimeLimitIsThreeHundredSecondsByDefault)
{
    EXPECT_EQ(driver.browserTimeout(), 300s);
}

TEST_F(OAuthDriverTest, AnAnswerBeforeTheTimeLimitStopsIt)
{
    TestSupport::runTask(driver.authorizeViaSystemBrowser(std::nullopt));
    EXPECT_TRUE(runningTimeLimits().isEmpty()) << "the answered flow's limit still runs";
    // A second flow left open is still pending, its own limit the only one running.
    browser.setMode(FakeBrowser::Mode::ignore);
    auto second = start(driver.authorizeViaSystemBrowser(std::nullopt));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return browser.openedUrls().size() == 2; }));
    EXPECT_EQ(runningTimeLimits().size(), 1);
    EXPECT_FALSE(second->done);
    EXPECT_NE(driver.currentSession(), nullptr);
    EXPECT_TRUE(driver.cancelInFlight());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return second->done; }));
    EXPECT_EQ(second->error, OrvalenError::authorizationCancelled());
    EXPECT_TRUE(runningTimeLimits().isEmpty()) << "the cancelled flow's limit still runs";
}

TEST_F(OAuthDriverTest, SecondSignInCancelsTheFirstAndKeepsItsOwnSession)
{
    browser.setMode(FakeBrowser::Mode::ignore);
    auto first = start(driver.authorizeViaSystemBrowser(Hint::apple));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return driver.currentSession() != nullptr; }));
    const auto firstSession = driver.currentSession();

    auto second = start(driver.authorizeViaSystemBrowser(Hint::google));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return first->done; }));
    EXPECT_EQ(first->error, OrvalenError::authorizationCancelled());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return browser.openedUrls().size() == 2; }));
    ASSERT_NE(driver.currentSession(), nullptr);
    EXPECT_NE(driver.currentSession(), firstSession);

    // The first flow's limit ended with it: none of its can fall on the second one, which
    // still waits for its redirect.
    EXPECT_EQ(runningTimeLimits().size(), 1);
    EXPECT_FALSE(second->done);

    // The person finishes the second sign-in in the browser.
    browser.setMode(FakeBrowser::Mode::follow);
    browser.openUrl(browser.openedUrls().last());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return second->done; }));
    ASSERT_TRUE(second->result) << second->error->message().toStdString();
    EXPECT_EQ(second->result->state, authority.lastAuthorization().value(QStringLiteral("state")));
    EXPECT_EQ(authority.lastAuthorization().value(QStringLiteral("provider")), QStringLiteral("google"));
    EXPECT_EQ(driver.currentSession(), nullptr);
}

// An in-app flow takes the place of a browser flow: the browser flow's end, its
// limit and its callback must then leave the in-app flow alone.
TEST_F(OAuthDriverTest, AnOlderFlowEndsWithoutTouchingTheNewerOne)
{
    browser.setMode(FakeBrowser::Mode::ignore);
    auto older = start(driver.authorizeViaSystemBrowser(Hint::apple));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return browser.openedUrls().size() == 1; }));
    auto newer = start(driver.authorize(nullptr, Hint::email));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return browser.openedUrls().size() == 2; }));
    const auto newerSession = driver.currentSession();
    ASSERT_NE(newerSession, nullptr);

    ASSERT_TRUE(TestSupport::waitUntil([&] { return older->done; }));
    EXPECT_EQ(older->error, OrvalenError::authorizationCancelled());
    EXPECT_TRUE(runningTimeLimits().isEmpty()) << "the older flow's limit outlives it";
    EXPECT_FALSE(newer->done);
    EXPECT_EQ(driver.currentSession(), newerSession);

    browser.setMode(FakeBrowser::Mode::follow);
    browser.openUrl(browser.openedUrls().last());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return newer->done; }));
    ASSERT_TRUE(newer->result);
    EXPECT_EQ(newer->result->state, authority.lastAuthorization().value(QStringLiteral("state")));
    EXPECT_EQ(driver.currentSession(), nullptr);
}

// A replaced flow can no longer receive its redirect (resume reaches only the newest
// one), so its waiting call must still come to an end rather than wait forever.
TEST_F(OAuthDriverTest, AReplacedInAppFlowStillEnds)
{
    browser.setMode(FakeBrowser::Mode::ignore);
    auto older = start(driver.authorize(nullptr, Hint::apple));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return browser.openedUrls().size() == 1; }));
    auto newer = start(driver.authorize(nullptr, Hint::email));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return browser.openedUrls().size() == 2; }));
    const auto newerSession = driver.currentSession();
    ASSERT_NE(newerSession, nullptr);

    ASSERT_TRUE(TestSupport::waitUntil([&] { return older->done; }));
    EXPECT_EQ(older->error, OrvalenError::authorizationCancelled());
    EXPECT_FALSE(newer->done);
    EXPECT_EQ(driver.currentSession(), newerSession);

    browser.setMode(FakeBrowser::Mode::follow);
    browser.openUrl(browser.openedUrls().last());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return newer->done; }));
    ASSERT_TRUE(newer->result);
    EXPECT_EQ(newer->result->state, authority.lastAuthorization().value(QStringLiteral("state")));
    EXPECT_EQ(driver.currentSession(), nullptr);
}

TEST_F(OAuthDriverTest, ARedirectOfTheCancelledFlowDoesNotEndTheNewOne)
{
    browser.setMode(FakeBrowser::Mode::ignore);
    auto first = start(driver.authorizeViaSystemBrowser(std::nullopt));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return browser.openedUrls().size() == 1; }));
    auto second = start(driver.authorizeViaSystemBrowser(std::nullopt));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return browser.openedUrls().size() == 2; }));
    // The replaced flow's caller resumes on a later turn than the new page opens.
    ASSERT_TRUE(TestSupport::waitUntil([&] { return first->done; }));

    // The old tab completes after all: the state is not the new flow's.
    browser.setMode(FakeBrowser::Mode::follow);
    browser.openUrl(browser.openedUrls().first());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return second->done; }));
    EXPECT_EQ(second->error,
              OrvalenError::authorizationFailed(QStringLiteral("The sign-in response did not match this sign-in.")));
}

TEST_F(OAuthDriverTest, ResumeAndCancelWithNothingPending)
{
    EXPECT_FALSE(driver.resume(QUrl(QStringLiteral("vantle://auth/callback?code=x&state=y"))));
    EXPECT_FALSE(driver.cancelInFlight());
    EXPECT_EQ(driver.currentSession(), nullptr);
    EXPECT_TRUE(logs.isEmpty());
    EXPECT_TRUE(authority.requests().isEmpty());
}

TEST_F(OAuthDriverTest, CancelInFlightEndsTheFlowAsCancelled)
{
    browser.setMode(FakeBrowser::Mode::ignore);
    auto flow = start(driver.authorizeViaSystemBrowser(Hint::apple));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return driver.currentSession() != nullptr; }));
    EXPECT_TRUE(driver.cancelInFlight());
    EXPECT_EQ(driver.currentSession(), nullptr);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow->done; }));
    EXPECT_EQ(flow->error, OrvalenError::authorizationCancelled());
    EXPECT_EQ(flow->error->message(), QStringLiteral("Sign-in was cancelled."));
    EXPECT_FALSE(driver.cancelInFlight());
}

TEST_F(OAuthDriverTest, InAppFlowHasNoTimeLimit)
{
    driver.setBrowserTimeout(50ms);
    browser.setMode(FakeBrowser::Mode::ignore);
    auto flow = start(driver.authorize(nullptr, Hint::email));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return browser.openedUrls().size() == 1; }));
    TestSupport::spinFor(300ms);
    EXPECT_FALSE(flow->done);

    browser.setMode(FakeBrowser::Mode::follow);
    browser.openUrl(browser.openedUrls().first());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow->done; }));
    ASSERT_TRUE(flow->result);
    EXPECT_EQ(flow->result->authorizationCode, authority.code());
    EXPECT_EQ(driver.currentSession(), nullptr);
}

TEST_F(OAuthDriverTest, AnswerWithoutACodeIsAnEmptyResponse)
{
    authority.setCode(QString());
    try {
        TestSupport::runTask(driver.authorizeViaSystemBrowser(Hint::google));
        ADD_FAILURE() << "the sign-in succeeded";
    } catch (const OrvalenError &error) {
        EXPECT_EQ(error, OrvalenError::authorizationFailed(QStringLiteral("empty_response")));
    }
    ASSERT_EQ(logs.size(), 1);
    EXPECT_EQ(logs[0].level, OrvalenLogLevel::warning);
    const OrvalenLogFields expected{{QStringLiteral("class"), QStringLiteral("auth")},
                                    {QStringLiteral("provider"), QStringLiteral("google")}};
    EXPECT_EQ(logs[0].fields, expected);
}

// A configuration that names no network manager works for identity requests through
// the shared one; the sign-in must do the same, not fail discovery.
TEST_F(OAuthDriverTest, TheDefaultConfigurationSignsIn)
{
    OAuthDriver local(makeConfig(authority.issuer(), nullptr, {}));
    FakeBrowser localBrowser([&local](const QUrl &url) { return local.resume(url); });
    const OAuthAuthorizationResult result = TestSupport::runTask(local.authorizeViaSystemBrowser(Hint::email));
    EXPECT_EQ(result.authorizationCode, QStringLiteral("c0de+A/b"));
    EXPECT_EQ(authority.countOf(QStringLiteral("GET"), FakeAuthority::discoveryPath), 1);
    EXPECT_EQ(authority.lastAuthorization().value(QStringLiteral("provider")), QStringLiteral("email"));
}

TEST_F(OAuthDriverTest, DiscoveryFailures)
{
    const struct {
        const char *name;
        std::optional<Fakes::ScriptedAnswer> answer; // none: nothing listens
        QString reason;
        int code;
    } cases[] = {
        {"unreachable", std::nullopt, QStringLiteral("Couldn't reach the sign-in service."), OIDCGeneralErrorCode::networkError},
        {"server error", Fakes::ScriptedAnswer::json(500, R"({"error":"boom"})"),
         QStringLiteral("The sign-in service is not answering correctly."), OIDCGeneralErrorCode::serverError},
        {"not json", Fakes::ScriptedAnswer::json(200, "<html>"),
         QStringLiteral("The sign-in service's configuration is not usable."), OIDCGeneralErrorCode::invalidDiscoveryDocument},
        {"no endpoint", Fakes::ScriptedAnswer::json(200, R"({"issuer":"x"})"),
         QStringLiteral("The sign-in service's configuration is not usable."), OIDCGeneralErrorCode::invalidDiscoveryDocument},
        {"relative endpoint", Fakes::ScriptedAnswer::json(200, R"({"authorization_endpoint":"/authorize"})"),
         QStringLiteral("The sign-in service's configuration is not usable."), OIDCGeneralErrorCode::invalidDiscoveryDocument},
        {"not a web address", Fakes::ScriptedAnswer::json(200, R"({"authorization_endpoint":"file:///etc/passwd"})"),
         QStringLiteral("The sign-in service's configuration is not usable."), OIDCGeneralErrorCode::invalidDiscoveryDocument},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        logs.clear();
        QUrl issuer = authority.issuer();
        if (c.answer)
            authority.enqueue(QStringLiteral("GET"), FakeAuthority::discoveryPath, *c.answer);
        else
            issuer.setPort(Fakes::FakeService::closedPort());
        OAuthDriver local(makeConfig(issuer, &network, [this](OrvalenLogLevel level, const QString &event,
                                                              const OrvalenLogFields &fields) {
            logs.append({level, event, fields});
        }));
        try {
            TestSupport::runTask(local.authorizeViaSystemBrowser(Hint::google));
            ADD_FAILURE() << "the sign-in succeeded";
        } catch (const OrvalenError &error) {
            EXPECT_EQ(error, OrvalenError::authorizationFailed(c.reason));
            expectNothingSecretIn(error.message());
        }
        ASSERT_EQ(logs.size(), 1);
        EXPECT_EQ(logs[0].level, OrvalenLogLevel::warning);
        EXPECT_EQ(logs[0].event, QStringLiteral("oauth_discovery_failed"));
        const OrvalenLogFields expected{{QStringLiteral("class"), QStringLiteral("transport")},
                                        {QStringLiteral("error_domain"), OIDGeneralErrorDomain},
                                        {QStringLiteral("error_code"), QString::number(c.code)}};
        EXPECT_EQ(logs[0].fields, expected);
    }
    EXPECT_TRUE(browser.openedUrls().isEmpty());
    EXPECT_TRUE(authority.authorizations().isEmpty());
}

TEST(OAuthDriverMap, OnlyTheGeneralDomainsUserCancelIsACancel)
{
    EXPECT_EQ(OAuthDriver::map(OIDCError::general(OIDCGeneralErrorCode::userCanceledAuthorizationFlow)),
              OrvalenError::authorizationCancelled());
    EXPECT_EQ(OAuthDriver::map(OIDCError(QStringLiteral("elsewhere"), -3, QStringLiteral("Nope."))),
              OrvalenError::authorizationFailed(QStringLiteral("Nope.")));
    EXPECT_EQ(OAuthDriver::map(OIDCError(OIDOAuthAuthorizationErrorDomain, -3, QStringLiteral("Nope."))),
              OrvalenError::authorizationFailed(QStringLiteral("Nope.")));
    EXPECT_EQ(OAuthDriver::map(OIDCError::general(OIDCGeneralErrorCode::stateMismatch)),
              OrvalenError::authorizationFailed(QStringLiteral("The sign-in response did not match this sign-in.")));
}

TEST(OAuthDriverFields, ClassProviderAndErrorWithSign)
{
    const OIDCError error = OIDCError::general(OIDCGeneralErrorCode::userCanceledAuthorizationFlow);
    const OrvalenLogFields withAll{{QStringLiteral("class"), QStringLiteral("cancelled")},
                                   {QStringLiteral("provider"), QStringLiteral("apple")},
                                   {QStringLiteral("error_domain"), OIDGeneralErrorDomain},
                                   {QStringLiteral("error_code"), QStringLiteral("-3")}};
    EXPECT_EQ(OAuthDriver::oauthFailureFields(&error, QStringLiteral("cancelled"), Hint::apple), withAll);
    const OrvalenLogFields bare{{QStringLiteral("class"), QStringLiteral("transport")}};
    EXPECT_EQ(OAuthDriver::oauthFailureFields(nullptr, QStringLiteral("transport"), std::nullopt), bare);
}

TEST(OAuthDriverLifetime, DroppingTheDriverEndsItsPendingFlowAsCancelled)
{
    FakeAuthority authority;
    QNetworkAccessManager network;
    auto driver = std::make_unique<OAuthDriver>(makeConfig(authority.issuer(), &network, {}));
    FakeBrowser browser([](const QUrl &) { return false; });
    browser.setMode(FakeBrowser::Mode::ignore);
    auto out = std::make_shared<Outcome>();
    auto running = collect(driver->authorizeViaSystemBrowser(std::nullopt), out);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return driver->currentSession() != nullptr; }));
    driver.reset();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return out->done; }));
    EXPECT_EQ(out->error, OrvalenError::authorizationCancelled());
}

} // namespace
