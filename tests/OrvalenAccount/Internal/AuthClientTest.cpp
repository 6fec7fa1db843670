#include "OrvalenAccount/DPoPSigner.h"
#include "OrvalenAccount/Internal/AuthClient.h"
#include "OrvalenAccount/OrvalenError.h"
#include "OrvalenAccount/OrvalenJSON.h"
#include "Platform/InMemoryKeychain.h"
#include "tools/fakes/FakeIdentityService.h"
#include "support/TaskRunner.h"

#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <vector>

#include <gtest/gtest.h>

using Fakes::FakeIdentityService;
using Fakes::FakeService;
using Fakes::ScriptedAnswer;

namespace {

struct LogLine {
    OrvalenLogLevel level;
    QString event;
    OrvalenLogFields fields;
};

// What the account manager keeps: the stored session, rewritten by the refresh hook.
struct Keeper {
    std::optional<StoredSession> session;
    int providerCalls = 0;
    QList<QString> rotatedFrom;
    QList<QList<OrvalenDeprecationNotice>> notices;
};

StoredSession storedFrom(const QJsonObject &answer, qint64 expiresInSeconds)
{
    StoredSession s;
    s.oas = answer.value(QStringLiteral("oas")).toString();
    s.refreshToken = answer.value(QStringLiteral("refresh_token")).toString();
    s.expiresAt = QDateTime::currentDateTimeUtc().addSecs(expiresInSeconds);
    s.account.orvalenAccountId = OrvalenAccountID(answer.value(QStringLiteral("orvalen_account_id")).toString());
    s.account.emailPrimary = answer.value(QStringLiteral("email")).toString();
    s.appSlug = QStringLiteral("vantle");
    s.issuedAt = QDateTime::currentDateTimeUtc();
    return s;
}

std::shared_ptr<DPoPSigner> makeSigner(SecureRandom::Source random = {})
{
    DPoPSigner::Environment environment;
    environment.keychain = std::make_shared<InMemoryKeychain>();
    environment.random = std::move(random);
    return std::make_shared<DPoPSigner>(environment);
}

class AuthClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        config.identityURL = fake.baseUrl();
        config.appSlug = QStringLiteral("vantle");
        config.clientID = QStringLiteral("vantle-desktop");
        config.clientVersion = QStringLiteral("1.4.0");
        config.libVersion = QStringLiteral("9.9.9");
        config.urlSession = &manager;
        config.logger = [lines = log](OrvalenLogLevel level, const QString &event, const OrvalenLogFields &fields) {
            lines->append({level, event, fields});
        };
        client = makeClient(makeSigner());
    }

    void TearDown() override
    {
        for (const auto &failure : fake.dpopFailures())
            ADD_FAILURE() << "DPoP proof to " << failure.path.toStdString() << " failed: " << failure.failure.toStdString();
    }

    std::shared_ptr<AuthClient> makeClient(std::shared_ptr<DPoPSigner> signer)
    {
        auto c = AuthClient::create(config, std::move(signer));
        c->currentSessionProvider = [keeper = keeper] {
            ++keeper->providerCalls;
            return keeper->session;
        };
        c->onSessionRefreshed = [keeper = keeper](const QString &used, const OasResponse &r) {
            keeper->rotatedFrom.append(used);
            StoredSession s = *keeper->session;
            s.oas = r.oas;
            s.refreshToken = r.refreshToken;
            s.expiresAt = r.expiresAt;
            keeper->session = s;
        };
        c->onDeprecationNotice = [keeper = keeper](const QList<OrvalenDeprecationNotice> &n) {
            keeper->notices.append(n);
        };
        return c;
    }

    // Signs in at the fake: a live session whose stored expiry is `expiresIn` seconds away.
    QString signIn(qint64 expiresIn = 30 * 24 * 3600)
    {
        const QJsonObject answer = fake.issueSession(QStringLiteral("vantle"));
        keeper->session = storedFrom(answer, expiresIn);
        return keeper->session->oas;
    }

    HTTPResponse recover(const QString &path, std::optional<QString> oas)
    {
        return TestSupport::runTask(client->performWithAuthRecovery(path, QStringLiteral("POST"), QByteArray("{}"), oas,
                                                                    true, IdentityRequestClass::steady));
    }

    template <typename T>
    OrvalenError errorOf(QCoro::Task<T> task)
    {
        try {
            TestSupport::runTask(std::move(task));
        } catch (const OrvalenError &error) {
            return error;
        }
        ADD_FAILURE() << "expected an OrvalenError";
        return OrvalenError::notSignedIn();
    }

    QList<QString> events() const
    {
        QList<QString> out;
        for (const auto &line : *log)
            out.append(line.event);
        return out;
    }

    FakeIdentityService fake;
    QNetworkAccessManager manager;
    OrvalenConfig config;
    std::shared_ptr<QList<LogLine>> log = std::make_shared<QList<LogLine>>();
    std::shared_ptr<Keeper> keeper = std::make_shared<Keeper>();
    std::shared_ptr<AuthClient> client;
};

const QString kWhoami = QStringLiteral("/api/whoami");

ScriptedAnswer okAnswer()
{
    return ScriptedAnswer::json(200, R"({"ok":true})");
}

} // namespace

TEST_F(AuthClientTest, RequestFrameHeaders)
{
    const QUrl url = fake.url(kWhoami);
    auto failingSigner = makeSigner([](unsigned char *, std::size_t) { return false; });
    auto noProofClient = makeClient(failingSigner);
    auto unsignedClient = makeClient(nullptr);
    struct Case {
        const char *name;
        std::shared_ptr<AuthClient> client;
        std::optional<QString> oas;
        QList<QByteArray> names;
    };
    const QList<QByteArray> five = {"Content-Type", "Accept", "User-Agent", "Orvalen-Lib-Version",
                                    "Orvalen-Client-Version"};
    const Case cases[] = {
        {"token and signer", client, QStringLiteral("oas_t"), five + QList<QByteArray>{"Authorization", "DPoP"}},
        {"no token", client, std::nullopt, five},
        {"token, failing proof", noProofClient, QStringLiteral("oas_t"), five + QList<QByteArray>{"Authorization"}},
        {"token, no signer", unsignedClient, QStringLiteral("oas_t"), five + QList<QByteArray>{"Authorization"}},
    };
    for (const Case &c : cases) {
        const HTTPRequest request = c.client->buildRequest(url, QStringLiteral("POST"), std::nullopt, c.oas);
        QList<QByteArray> names;
        for (const auto &header : request.headers)
            names.append(header.first);
        EXPECT_EQ(names, c.names) << c.name;
        EXPECT_EQ(request.header("User-Agent"), QByteArray("OrvalenAccount/0.11.5 (1.4.0)")) << c.name;
        EXPECT_EQ(request.header("Orvalen-Lib-Version"), QByteArray("9.9.9")) << c.name;
        EXPECT_EQ(request.header("Orvalen-Client-Version"), QByteArray("1.4.0")) << c.name;
        EXPECT_EQ(request.header("Content-Type"), QByteArray("application/json")) << c.name;
        EXPECT_EQ(request.timeout, std::chrono::seconds(60)) << c.name;
        if (c.oas) {
            EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer oas_t")) << c.name;
        }
    }

    // Over the wire, the proof verifies against the request it came with.
    fake.on(QStringLiteral("POST"), kWhoami, okAnswer());
    EXPECT_EQ(TestSupport::runTask(client->perform(url, QStringLiteral("POST"), std::nullopt, QStringLiteral("oas_t"),
                                                   kWhoami, IdentityRequestClass::steady))
                  .status,
              200);
    ASSERT_EQ(fake.dpopChecks().size(), 1);
    EXPECT_TRUE(fake.requests().last().hasHeader("Content-Type"));
    EXPECT_TRUE(fake.requests().last().body.isEmpty());
}

TEST_F(AuthClientTest, StatusMapping)
{
    struct Case {
        int status;
        QByteArray body;
        OrvalenError expected;
        QString event;
        OrvalenLogLevel level;
        QString errorClass;
        std::optional<QString> code;
    };
    const Case cases[] = {
        {404, R"({"error":"no_such_thing"})", OrvalenError::serverError(404, QStringLiteral("no_such_thing")),
         QStringLiteral("request_server_failed"), OrvalenLogLevel::error, QStringLiteral("server"),
         QStringLiteral("no_such_thing")},
        {404, "<html>not json</html>", OrvalenError::serverError(404), QStringLiteral("request_server_failed"),
         OrvalenLogLevel::error, QStringLiteral("server"), std::nullopt},
        {500, R"({"error":42})", OrvalenError::serverError(500), QStringLiteral("request_server_failed"),
         OrvalenLogLevel::error, QStringLiteral("server"), std::nullopt},
        {500, R"(["error"])", OrvalenError::serverError(500), QStringLiteral("request_server_failed"),
         OrvalenLogLevel::error, QStringLiteral("server"), std::nullopt},
        {502, R"({"error":""})", OrvalenError::serverError(502, QString()), QStringLiteral("request_server_failed"),
         OrvalenLogLevel::error, QStringLiteral("server"), std::nullopt},
        {401, R"({"error":"expired"})", OrvalenError::sessionExpired(), QStringLiteral("request_auth_failed"),
         OrvalenLogLevel::warning, QStringLiteral("auth"), QStringLiteral("expired")},
        {426, "", OrvalenError::clientKilled(), QStringLiteral("client_killed"), OrvalenLogLevel::error,
         QStringLiteral("clientKilled"), std::nullopt},
        {429, R"({"error":"client_throttled","reason":"budget_exhausted"})",
         OrvalenError::serverError(429, QStringLiteral("client_throttled")), QStringLiteral("request_server_failed"),
         OrvalenLogLevel::error, QStringLiteral("server"), QStringLiteral("client_throttled")},
        {302, "", OrvalenError::serverError(302), QStringLiteral("request_server_failed"), OrvalenLogLevel::error,
         QStringLiteral("server"), std::nullopt},
    };
    for (const Case &c : cases) {
        log->clear();
        HTTPResponse response;
        response.status = c.status;
        response.body = c.body;
        try {
            client->mapStatusError(response, QStringLiteral("/api/thing?code=secret#frag"));
            ADD_FAILURE() << c.status << " passed";
        } catch (const OrvalenError &error) {
            EXPECT_EQ(error, c.expected) << c.status << ' ' << c.body.constData();
        }
        ASSERT_EQ(log->size(), 1);
        const LogLine &line = log->first();
        EXPECT_EQ(line.event, c.event);
        EXPECT_EQ(line.level, c.level);
        OrvalenLogFields expected{{QStringLiteral("endpoint"), QStringLiteral("/api/thing")},
                                  {QStringLiteral("status"), QString::number(c.status)},
                                  {QStringLiteral("class"), c.errorClass}};
        if (c.code)
            expected.insert(QStringLiteral("code"), *c.code);
        EXPECT_EQ(line.fields, expected) << c.status << ' ' << c.body.constData();
    }
    for (int status : {200, 201, 299}) {
        HTTPResponse response;
        response.status = status;
        EXPECT_NO_THROW(client->mapStatusError(response, kWhoami));
    }
}

TEST_F(AuthClientTest, DeprecationHeaderCheck)
{
    const QUrl v2(QStringLiteral("https://id.example.test/api/v2/whoami"));
    struct Case {
        const char *name;
        int status;
        QByteArray header; // empty: none
        std::optional<OrvalenError> expected;
        int hookCalls;
    };
    const Case cases[] = {
        {"client minimum above ours", 200, "client; min-version=1.5.0; current=2.0.0", OrvalenError::requiresUpgrade(QStringLiteral("1.5.0")), 1},
        {"client minimum at ours", 200, "client; min-version=1.4", std::nullopt, 1},
        {"endpoint notice only", 200, "endpoint; replacement=https://id.example.test/x", std::nullopt, 1},
        {"first qualifying client notice wins", 500, "client; min-version=1.0, client; min-version=2.0, client; min-version=3.0",
         OrvalenError::requiresUpgrade(QStringLiteral("2.0")), 1},
        {"426, second endpoint notice has the replacement", 426,
         "endpoint; reason=old, endpoint; replacement=https://id.example.test/api/v2/whoami, endpoint; replacement=https://other.test/",
         OrvalenError::clientKilled(v2), 1},
        {"426 with a client notice only", 426, "client; min-version=0.1", OrvalenError::clientKilled(), 1},
        {"426 without the header", 426, "", OrvalenError::clientKilled(), 0},
        {"426 with an unreadable header", 426, "deprecated; x=y", OrvalenError::clientKilled(), 0},
        {"200 without the header", 200, "", std::nullopt, 0},
    };
    for (const Case &c : cases) {
        keeper->notices.clear();
        log->clear();
        ScriptedAnswer answer = ScriptedAnswer::json(c.status, "{}");
        if (!c.header.isEmpty())
            answer = FakeIdentityService::withDeprecation(answer, c.header);
        fake.enqueue(QStringLiteral("POST"), kWhoami, answer);
        try {
            const HTTPResponse r = recover(kWhoami, std::nullopt);
            EXPECT_FALSE(c.expected) << c.name << ": passed with " << r.status;
        } catch (const OrvalenError &error) {
            ASSERT_TRUE(c.expected) << c.name << ": " << error.what();
            EXPECT_EQ(error, *c.expected) << c.name;
            ASSERT_FALSE(log->isEmpty()) << c.name;
            const QString wantClass = c.status == 426 ? QStringLiteral("clientKilled") : QStringLiteral("requiresUpgrade");
            EXPECT_EQ(log->last().fields.value(QStringLiteral("class")), wantClass) << c.name;
            EXPECT_EQ(log->last().fields.value(QStringLiteral("status")), QString::number(c.status)) << c.name;
        }
        EXPECT_EQ(keeper->notices.size(), c.hookCalls) << c.name;
    }
}

TEST_F(AuthClientTest, WithoutATokenThereIsNoRecovery)
{
    signIn(3600);
    fake.on(QStringLiteral("POST"), kWhoami, ScriptedAnswer::json(401, R"({"error":"unauthorized"})"));
    const HTTPResponse r = recover(kWhoami, std::nullopt);
    EXPECT_EQ(r.status, 401);
    EXPECT_EQ(keeper->providerCalls, 0);
    EXPECT_EQ(fake.countOf(QStringLiteral("POST"), FakeIdentityService::refreshPath), 0);
    EXPECT_EQ(fake.countOf(QStringLiteral("POST"), kWhoami), 1);
}

TEST_F(AuthClientTest, ProactiveRefreshWithinFortyEightHours)
{
    struct Case {
        qint64 expiresIn;
        bool refreshes;
    };
    const Case cases[] = {{47 * 3600, true}, {-60, true}, {49 * 3600, false}};
    for (const Case &c : cases) {
        fake.clearRequests();
        const QString old = signIn(c.expiresIn);
        const QString oldRefresh = *keeper->session->refreshToken;
        fake.on(QStringLiteral("POST"), kWhoami, okAnswer());
        EXPECT_EQ(recover(kWhoami, old).status, 200);
        EXPECT_EQ(fake.countOf(QStringLiteral("POST"), FakeIdentityService::refreshPath), c.refreshes ? 1 : 0)
            << c.expiresIn;
        const QByteArray sent = fake.requestsTo(kWhoami).last().header("Authorization");
        if (c.refreshes) {
            EXPECT_NE(keeper->session->oas, old);
            EXPECT_EQ(sent, "Bearer " + keeper->session->oas.toUtf8());
            EXPECT_EQ(keeper->rotatedFrom.last(), oldRefresh);
            // The refresh itself carries neither the bearer token nor a proof.
            const auto refreshRequest = fake.requestsTo(FakeIdentityService::refreshPath).first();
            EXPECT_FALSE(refreshRequest.hasHeader("Authorization"));
            EXPECT_FALSE(refreshRequest.hasHeader("DPoP"));
            EXPECT_EQ(refreshRequest.json().object(),
                      (QJsonObject{{QStringLiteral("app_slug"), QStringLiteral("vantle")},
                                   {QStringLiteral("refresh_token"), oldRefresh},
                                   {QStringLiteral("client_version"), QStringLiteral("1.4.0")}}));
        } else {
            EXPECT_EQ(sent, "Bearer " + old.toUtf8());
        }
    }
    EXPECT_GE(fake.dpopChecks().size(), 3);
}

TEST_F(AuthClientTest, UnauthorizedAnswerGetsOneRefreshAndOneRepeat)
{
    const QString old = signIn();
    fake.enqueue(QStringLiteral("POST"), kWhoami, ScriptedAnswer::json(401, R"({"error":"expired"})"));
    fake.enqueue(QStringLiteral("POST"), kWhoami, okAnswer());
    const HTTPResponse r = recover(kWhoami, old);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(fake.countOf(QStringLiteral("POST"), FakeIdentityService::refreshPath), 1);
    const auto sent = fake.requestsTo(kWhoami);
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].header("Authorization"), "Bearer " + old.toUtf8());
    EXPECT_EQ(sent[1].header("Authorization"), "Bearer " + keeper->session->oas.toUtf8());
    EXPECT_EQ(sent[1].body, QByteArray("{}"));
    EXPECT_EQ(fake.dpopChecks().size(), 2);

    // A second 401 is returned as it is, and maps to sessionExpired.
    fake.clearRequests();
    fake.on(QStringLiteral("POST"), kWhoami, ScriptedAnswer::json(401, "{}"));
    const HTTPResponse again = recover(kWhoami, keeper->session->oas);
    EXPECT_EQ(again.status, 401);
    EXPECT_EQ(fake.countOf(QStringLiteral("POST"), FakeIdentityService::refreshPath), 1);
    EXPECT_EQ(fake.countOf(QStringLiteral("POST"), kWhoami), 2);
    try {
        client->mapStatusError(again, kWhoami);
        ADD_FAILURE() << "a 401 passed";
    } catch (const OrvalenError &error) {
        EXPECT_EQ(error, OrvalenError::sessionExpired());
    }
}

TEST_F(AuthClientTest, UnauthorizedAnswerWhoseRefreshFailsIsReturned)
{
    const QString old = signIn();
    fake.on(QStringLiteral("POST"), kWhoami, ScriptedAnswer::json(401, R"({"error":"expired"})"));
    fake.enqueue(QStringLiteral("POST"), FakeIdentityService::refreshPath,
                 ScriptedAnswer::json(401, R"({"error":"invalid_refresh_token"})"));
    const HTTPResponse r = recover(kWhoami, old);
    EXPECT_EQ(r.status, 401);
    EXPECT_EQ(r.body, QByteArray(R"({"error":"expired"})"));
    EXPECT_EQ(fake.countOf(QStringLiteral("POST"), kWhoami), 1);
    EXPECT_EQ(keeper->session->oas, old);
    EXPECT_TRUE(keeper->rotatedFrom.isEmpty());
}

TEST_F(AuthClientTest, TenConcurrentCallsWithAnExpiringSessionSendOneRefresh)
{
    const QString old = signIn(3600);
    fake.on(QStringLiteral("POST"), kWhoami, okAnswer());
    // Slow the refresh down so that every call finds it running.
    fake.on(QStringLiteral("POST"), FakeIdentityService::refreshPath, [this](const Fakes::RecordedRequest &r) {
        const QJsonObject session = fake.issueSession(QStringLiteral("vantle"));
        Q_UNUSED(r);
        ScriptedAnswer a = ScriptedAnswer::json(200, QJsonDocument(session).toJson(QJsonDocument::Compact));
        a.delay = std::chrono::milliseconds(200);
        return a;
    });
    std::vector<QCoro::Task<HTTPResponse>> tasks;
    for (int i = 0; i < 10; ++i) {
        tasks.push_back(client->performWithAuthRecovery(kWhoami, QStringLiteral("POST"), QByteArray("{}"), old, true,
                                                     IdentityRequestClass::steady));
    }
    for (auto &task : tasks)
        EXPECT_EQ(TestSupport::runTask(std::move(task)).status, 200);
    EXPECT_EQ(fake.countOf(QStringLiteral("POST"), FakeIdentityService::refreshPath), 1);
    EXPECT_EQ(keeper->rotatedFrom.size(), 1);
    const auto sent = fake.requestsTo(kWhoami);
    ASSERT_EQ(sent.size(), 10);
    for (const auto &request : sent)
        EXPECT_EQ(request.header("Authorization"), "Bearer " + keeper->session->oas.toUtf8());
    EXPECT_EQ(fake.dpopChecks().size(), 10);
}

TEST_F(AuthClientTest, RefusedConnectionIsNetworkUnavailable)
{
    config.identityURL = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(FakeService::closedPort()));
    client = makeClient(makeSigner());
    const OrvalenError error = errorOf(client->performWithAuthRecovery(
        QStringLiteral("/api/whoami?code=abc"), QStringLiteral("POST"), std::nullopt, QStringLiteral("oas_secret"),
        true, IdentityRequestClass::steady));
    EXPECT_EQ(error, OrvalenError::networkUnavailable());
    ASSERT_EQ(events(), QList<QString>{QStringLiteral("request_transport_failed")});
    const OrvalenLogFields &fields = log->first().fields;
    EXPECT_EQ(log->first().level, OrvalenLogLevel::warning);
    EXPECT_EQ(fields.value(QStringLiteral("endpoint")), QStringLiteral("/api/whoami"));
    EXPECT_EQ(fields.value(QStringLiteral("class")), QStringLiteral("transport"));
    EXPECT_EQ(fields.value(QStringLiteral("error_code")),
              QString::number(static_cast<int>(QNetworkReply::ConnectionRefusedError)));
}

TEST_F(AuthClientTest, CancelledBeforeSendingIsNetworkUnavailable)
{
    fake.on(QStringLiteral("POST"), kWhoami, okAnswer());
    CancellationToken token = CancellationToken::make();
    token.cancel();
    const OrvalenError error = errorOf(client->performWithAuthRecovery(
        kWhoami, QStringLiteral("POST"), std::nullopt, std::nullopt, true, IdentityRequestClass::steady, token));
    EXPECT_EQ(error, OrvalenError::networkUnavailable());
    EXPECT_TRUE(fake.requests().isEmpty());
}

TEST_F(AuthClientTest, UnresolvablePathSendsNothing)
{
    config.identityURL = QUrl();
    client = makeClient(makeSigner());
    EXPECT_EQ(errorOf(client->performWithAuthRecovery(kWhoami, QStringLiteral("POST"), std::nullopt, std::nullopt,
                                                      true, IdentityRequestClass::steady)),
              OrvalenError::malformedResponse(QStringLiteral("url")));
    EXPECT_EQ(errorOf(client->refresh(QStringLiteral("rt"))), OrvalenError::malformedResponse(QStringLiteral("url")));
}

TEST_F(AuthClientTest, ThrottleRefusalMapsToClientThrottled)
{
    auto throttle = IdentityThrottle::create({.maxRequestsPerMinute = 1}, config.logger);
    client = AuthClient::create(config, makeSigner(), throttle);
    fake.on(QStringLiteral("POST"), kWhoami, okAnswer());
    EXPECT_EQ(recover(kWhoami, std::nullopt).status, 200);
    const HTTPResponse refused = recover(kWhoami, std::nullopt);
    EXPECT_EQ(refused.status, 429);
    try {
        client->mapStatusError(refused, kWhoami);
        ADD_FAILURE() << "refusal passed";
    } catch (const OrvalenError &error) {
        EXPECT_EQ(error, OrvalenError::serverError(429, QStringLiteral("client_throttled")));
        EXPECT_EQ(error.message(), QStringLiteral("Server error (429 \u2014 client_throttled)."));
    }
    EXPECT_EQ(fake.countOf(QStringLiteral("POST"), kWhoami), 1);
}

TEST_F(AuthClientTest, RefreshRevokeAndAppleExchange)
{
    // Refresh: a 2xx answer of the wrong shape.
    fake.enqueue(QStringLiteral("POST"), FakeIdentityService::refreshPath, ScriptedAnswer::json(200, R"({"ok":true})"));
    EXPECT_EQ(errorOf(client->refresh(QStringLiteral("rt_x"))), OrvalenError::malformedResponse(QStringLiteral("OasResponse")));
    EXPECT_EQ(log->last().event, QStringLiteral("request_decode_failed"));
    EXPECT_EQ(log->last().fields,
              (OrvalenLogFields{{QStringLiteral("endpoint"), FakeIdentityService::refreshPath},
                                {QStringLiteral("class"), QStringLiteral("decode")},
                                {QStringLiteral("field"), QStringLiteral("OasResponse")}}));
    EXPECT_EQ(errorOf(client->refresh(QStringLiteral("rt_unknown"))),
              OrvalenError::sessionExpired());

    // Revoke: bearer and proof, no body; {"ok": false} still completes.
    const QString oas = signIn();
    TestSupport::runTask(client->revokeSession(oas));
    const auto revoke = fake.requestsTo(FakeIdentityService::revokePath).last();
    EXPECT_EQ(revoke.header("Authorization"), "Bearer " + oas.toUtf8());
    EXPECT_TRUE(revoke.hasHeader("DPoP"));
    EXPECT_TRUE(revoke.body.isEmpty());
    EXPECT_TRUE(fake.revokedSessions().contains(oas));
    fake.enqueue(QStringLiteral("POST"), FakeIdentityService::revokePath, ScriptedAnswer::json(200, R"({"ok":false})"));
    EXPECT_NO_THROW(TestSupport::runTask(client->revokeSession(QStringLiteral("oas_any"))));
    fake.enqueue(QStringLiteral("POST"), FakeIdentityService::revokePath, ScriptedAnswer::json(200, ""));
    EXPECT_EQ(errorOf(client->revokeSession(QStringLiteral("oas_any"))),
              OrvalenError::malformedResponse(QStringLiteral("EmptyResponse")));

    // Apple code exchange: absent optionals are left out of the body.
    const auto apple = TestSupport::runTask(client->exchangeAppleAuthCode(QStringLiteral("c0de"), std::nullopt, std::nullopt));
    EXPECT_TRUE(apple.ok);
    EXPECT_TRUE(apple.oas && fake.isLiveSessionToken(*apple.oas));
    EXPECT_EQ(fake.requestsTo(FakeIdentityService::appleAuthcodePath).last().json().object(),
              (QJsonObject{{QStringLiteral("app_slug"), QStringLiteral("vantle")},
                           {QStringLiteral("authorization_code"), QStringLiteral("c0de")}}));
    config.installID = QStringLiteral("inst_cfg");
    client = makeClient(makeSigner());
    TestSupport::runTask(client->exchangeAppleAuthCode(QStringLiteral("c0de"), QStringLiteral("idt"), std::nullopt));
    EXPECT_EQ(fake.requestsTo(FakeIdentityService::appleAuthcodePath).last().json().object().value(QStringLiteral("install_id")),
              QStringLiteral("inst_cfg"));
    TestSupport::runTask(client->exchangeAppleAuthCode(QStringLiteral("c0de"), QStringLiteral("idt"), QStringLiteral("inst_arg")));
    EXPECT_EQ(fake.requestsTo(FakeIdentityService::appleAuthcodePath).last().json().object().value(QStringLiteral("install_id")),
              QStringLiteral("inst_arg"));
}

TEST_F(AuthClientTest, UpgradeRequiredOnTheSessionExchangeKillsTheClientWithItsReplacement)
{
    fake.enqueue(QStringLiteral("POST"), FakeIdentityService::exchangePath,
                 FakeIdentityService::withDeprecation(
                     ScriptedAnswer::json(426, R"({"error":"client_too_old"})"),
                     "endpoint; reason=gone, endpoint; replacement=https://id.example.test/api/v3/exchange; expires=2026-09-01"));
    AuthClient::ExchangeBody body{QStringLiteral("vantle"), QStringLiteral("code_1"), QStringLiteral("verifier"),
                                  QStringLiteral("vantle://auth/callback"), QStringLiteral("1.4.0"), std::nullopt};
    const OrvalenError error = errorOf(client->performWithAuthRecovery(
        FakeIdentityService::exchangePath, QStringLiteral("POST"), OrvalenJSON::serialize(body.toJson()), std::nullopt,
        true, IdentityRequestClass::steady));
    EXPECT_EQ(error, OrvalenError::clientKilled(QUrl(QStringLiteral("https://id.example.test/api/v3/exchange"))));
    ASSERT_EQ(keeper->notices.size(), 1);
    EXPECT_EQ(keeper->notices.first().size(), 2);
    EXPECT_EQ(log->last().event, QStringLiteral("client_killed"));
    EXPECT_EQ(log->last().level, OrvalenLogLevel::error);
}

TEST_F(AuthClientTest, NoSecretReachesALogFieldOrAnErrorMessage)
{
    const QString oas = signIn(3600);
    const QString refreshToken = *keeper->session->refreshToken;
    QStringList secrets = {oas, refreshToken, QStringLiteral("c0de_secret"), QStringLiteral("idtoken_secret")};
    QStringList messages;
    const auto collect = [&](auto task) {
        try {
            TestSupport::runTask(std::move(task));
        } catch (const std::exception &error) {
            messages.append(QString::fromUtf8(error.what()));
        }
    };
    // A failing refresh, an answer of the wrong shape, a 500, a 426, a transport failure.
    fake.on(QStringLiteral("POST"), FakeIdentityService::refreshPath, ScriptedAnswer::json(500, R"({"error":"boom"})"));
    fake.on(QStringLiteral("POST"), kWhoami, ScriptedAnswer::json(401, "{}"));
    collect(client->performWithAuthRecovery(kWhoami + QStringLiteral("?code=c0de_secret"), QStringLiteral("POST"),
                                            std::nullopt, oas, true, IdentityRequestClass::steady));
    collect(client->refresh(refreshToken));
    fake.on(QStringLiteral("POST"), FakeIdentityService::appleAuthcodePath, ScriptedAnswer::json(200, R"({"ok":"yes"})"));
    collect(client->exchangeAppleAuthCode(QStringLiteral("c0de_secret"), QStringLiteral("idtoken_secret"), std::nullopt));
    fake.on(QStringLiteral("POST"), FakeIdentityService::revokePath, ScriptedAnswer::json(426, "{}"));
    collect(client->revokeSession(oas));
    config.identityURL = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(FakeService::closedPort()));
    auto offline = makeClient(makeSigner());
    collect(offline->revokeSession(oas));
    collect(offline->refresh(refreshToken));

    for (const auto &request : fake.requests()) {
        if (request.hasHeader("DPoP"))
            secrets.append(QString::fromUtf8(request.header("DPoP")));
    }
    EXPECT_GE(messages.size(), 5);
    EXPECT_GE(log->size(), 5);
    for (const QString &secret : secrets) {
        for (const auto &line : *log) {
            for (auto it = line.fields.cbegin(); it != line.fields.cend(); ++it)
                EXPECT_FALSE(it.value().contains(secret)) << line.event.toStdString() << ' ' << it.key().toStdString();
            EXPECT_FALSE(line.event.contains(secret));
        }
        for (const QString &message : messages)
            EXPECT_FALSE(message.contains(secret)) << message.toStdString();
    }
}

// A redirect would carry the spent proof, naming the old URL, to the new one.
TEST_F(AuthClientTest, RedirectsOfIdentityRequestsAreAnswersNotFollowed)
{
    const QString moved = QStringLiteral("/api/whoami-moved");
    fake.on(QStringLiteral("POST"), moved, okAnswer());
    for (const int status : {301, 302, 303, 307, 308}) {
        SCOPED_TRACE(status);
        fake.clearRequests();
        ScriptedAnswer redirect = ScriptedAnswer::json(status, "{}");
        redirect.headers.append({QByteArrayLiteral("Location"), moved.toUtf8()});
        fake.enqueue(QStringLiteral("POST"), kWhoami, redirect);
        const HTTPResponse answer = recover(kWhoami, signIn());
        EXPECT_EQ(answer.status, status);
        EXPECT_EQ(fake.countOf(QStringLiteral("POST"), moved), 0);
        EXPECT_EQ(fake.requests().size(), 1);
        try {
            client->mapStatusError(answer, kWhoami);
            ADD_FAILURE() << "a redirect passed as success";
        } catch (const OrvalenError &error) {
            EXPECT_EQ(error, OrvalenError::serverError(status, std::nullopt));
        }
    }
}

// Cancelling is the caller's choice, not a sign that the service is failing: five
// cancels must not leave the next sign-in refused without being sent.
TEST_F(AuthClientTest, CancelledRequestsAreNoServiceFailures)
{
    auto throttle = IdentityThrottle::create({}, config.logger);
    client = AuthClient::create(config, makeSigner(), throttle);
    fake.on(QStringLiteral("POST"), QStringLiteral("/api/slow"), okAnswer());
    fake.on(QStringLiteral("POST"), kWhoami, okAnswer());
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        CancellationToken token = CancellationToken::make();
        // Cancelled while the request is under way: it is answered only afterwards.
        fake.beforeAnswering(QStringLiteral("/api/slow"), [token] { token.cancel(); });
        auto task = client->performWithAuthRecovery(QStringLiteral("/api/slow"), QStringLiteral("POST"), std::nullopt,
                                                    std::nullopt, true, IdentityRequestClass::steady, token);
        EXPECT_EQ(errorOf(std::move(task)), OrvalenError::networkUnavailable()); // the caller still sees its error
        EXPECT_EQ(fake.countOf(QStringLiteral("POST"), QStringLiteral("/api/slow")), i + 1);
    }
    EXPECT_EQ(throttle->consecutiveFailures(), 0);
    EXPECT_FALSE(throttle->circuitOpenUntil());
    EXPECT_EQ(recover(kWhoami, std::nullopt).status, 200);
    EXPECT_EQ(fake.countOf(QStringLiteral("POST"), kWhoami), 1);
}
