#include "VantleKit/VantleAPI.h"

#include "VantleKit/Audit/AuditMath.h"
#include "VantleKit/Audit/AuditState.h"

#include "OrvalenAccount/InMemoryStorage.h"
#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/StoredSession.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/RecordingSystemLog.h"

#include "tools/fakes/FakeLedgerService.h"
#include "support/TaskRunner.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>

#include <gtest/gtest.h>

#include <memory>

using Fakes::FakeLedgerService;
using Fakes::FakeService;
using Fakes::ScriptedAnswer;
using TestSupport::runTask;

namespace {

struct TokenBox {
    std::optional<QString> token = QStringLiteral("oas_token_1");
};

class LedgerClientTest : public ::testing::Test {
protected:
    std::unique_ptr<VantleAPI> makeClient(const QUrl &base)
    {
        auto box = m_token;
        return std::make_unique<VantleAPI>(base, [box]() { return box->token; }, &m_network);
    }
    std::unique_ptr<VantleAPI> makeClient() { return makeClient(m_service.ledgerURL()); }

    AuditSubmission initialSubmission()
    {
        AuditState state = AuditState::initial();
        state.enterDash();
        state.yoursSetName(0, QStringLiteral("Reading"));
        return AuditMath::buildSubmitBody(state, QStringLiteral("Europe/Berlin"));
    }

    QCoro::Task<std::optional<VantAuditRecord>> post(VantleAPI &api, const AuditSubmission &s)
    {
        return api.postAudit(s.answers, s.derived, s.sleepHours, s.wakeTime, s.timezone, s.categories);
    }

    QNetworkAccessManager m_network;
    FakeLedgerService m_service;
    std::shared_ptr<TokenBox> m_token = std::make_shared<TokenBox>();
};

TEST_F(LedgerClientTest, BaseAddressGetsTheApiPrefix)
{
    const struct {
        const char *base;
        const char *expected;
    } cases[] = {
        {"https://vantle.example.dev", "https://vantle.example.dev/api/v1"},
        {"https://vantle.example.dev/", "https://vantle.example.dev/api/v1"},
        {"https://example.dev/ledger/", "https://example.dev/ledger/api/v1"},
        {"http://127.0.0.1:8123", "http://127.0.0.1:8123/api/v1"},
    };
    for (const auto &c : cases) {
        VantleAPI api(QUrl(QString::fromLatin1(c.base)), VantleAPI::SessionTokenReader{}, &m_network);
        EXPECT_EQ(api.baseURL().toString().toStdString(), c.expected) << c.base;
    }
}

TEST_F(LedgerClientTest, CategoriesAreFetchedWithTheBearerToken)
{
    m_service.setAcceptedToken(QStringLiteral("oas_token_1"));
    const QString id = m_service.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
    m_service.addCategory(QStringLiteral("Sleep"), QStringLiteral("sleep"), 1, true);
    auto api = makeClient();

    const QList<VantCategory> categories = runTask(api->categories());

    ASSERT_EQ(categories.size(), 2);
    EXPECT_EQ(categories[0].id, id);
    EXPECT_EQ(categories[0].name, QStringLiteral("Work"));
    EXPECT_EQ(categories[0].kind, CategoryKind::committed);
    EXPECT_EQ(categories[1].kind, CategoryKind::sleep);
    EXPECT_TRUE(categories[1].archived);
    ASSERT_EQ(m_service.requests().size(), 1);
    const auto request = m_service.requests().first();
    EXPECT_EQ(request.method, QStringLiteral("GET"));
    EXPECT_EQ(request.path, QStringLiteral("/api/v1/categories"));
    EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer oas_token_1"));
}

TEST_F(LedgerClientTest, TheSessionIsReadAfreshForEveryRequest)
{
    auto api = makeClient();
    runTask(api->categories());
    m_token->token = QStringLiteral("oas_token_2");
    runTask(api->categories());

    const auto requests = m_service.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].header("Authorization"), QByteArray("Bearer oas_token_1"));
    EXPECT_EQ(requests[1].header("Authorization"), QByteArray("Bearer oas_token_2"));
}

StoredSession storedSession(const QString &token)
{
    return StoredSession{token,
                         QStringLiteral("refresh_1"),
                         QDateTime(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC),
                         OrvalenAccount{OrvalenAccountID(QStringLiteral("oa_1")), QStringLiteral("a@example.com"),
                                        std::nullopt},
                         QStringLiteral("vantle"),
                         QDateTime(QDate(2026, 12, 6), QTime(10, 0), Qt::UTC)};
}

TEST_F(LedgerClientTest, TheTokenIsTheStoredSessionsOfTheVantleKeychainItem)
{
    auto keychain = std::make_shared<InMemoryKeychain>();
    auto storage = std::make_shared<KeychainStorage>(QStringLiteral("vantle"), std::nullopt, keychain);
    VantleAPI api(m_service.ledgerURL(), storage, &m_network);

    // Written the way the account layer writes it, read by the client on each request.
    KeychainStorage(QStringLiteral("vantle"), std::nullopt, keychain)
        .setJSON(storedSession(QStringLiteral("oas_keychain_1")), QStringLiteral("orvalen_session"));
    runTask(api.categories());
    storage->setJSON(storedSession(QStringLiteral("oas_keychain_2")), KeychainStorage::Keys::session);
    runTask(api.categories());
    const auto requests = m_service.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].header("Authorization"), QByteArray("Bearer oas_keychain_1"));
    EXPECT_EQ(requests[1].header("Authorization"), QByteArray("Bearer oas_keychain_2"));

    // Signed out: the item is gone, and nothing more is sent.
    storage->deleteData(KeychainStorage::Keys::session);
    try {
        runTask(api.categories());
        ADD_FAILURE() << "categories() succeeded after sign-out";
    } catch (const VantAPIError &error) {
        EXPECT_EQ(error.code(), QStringLiteral("sign_in_required"));
    }
    EXPECT_EQ(m_service.requests().size(), 2);
}

TEST_F(LedgerClientTest, AnUnreadableSessionIsNoSession)
{
    const QByteArray items[] = {
        "not json",
        R"({"oas":"x"})",
        R"([1,2])",
    };
    for (const QByteArray &item : items) {
        auto storage = std::make_shared<InMemoryStorage>();
        storage->setData(item, KeychainStorage::Keys::session);
        EXPECT_EQ(VantleAPI::storedSessionToken(*storage), std::nullopt) << item.constData();
        VantleAPI api(m_service.ledgerURL(), storage, &m_network);
        EXPECT_THROW(runTask(api.categories()), VantAPIError);
    }
    VantleAPI noStorage(m_service.ledgerURL(), std::shared_ptr<const OrvalenAccountDataStorage>(), &m_network);
    EXPECT_THROW(runTask(noStorage.categories()), VantAPIError);
    EXPECT_TRUE(m_service.requests().isEmpty());
}

TEST_F(LedgerClientTest, NoStoredSessionIsSignInRequiredAndSendsNothing)
{
    for (const std::optional<QString> &token : {std::optional<QString>(), std::optional<QString>(QString())}) {
        m_token->token = token;
        auto api = makeClient();
        try {
            runTask(api->categories());
            ADD_FAILURE() << "categories() succeeded without a session";
        } catch (const VantAPIError &error) {
            EXPECT_EQ(error.code(), QStringLiteral("sign_in_required"));
        }
        try {
            runTask(post(*api, initialSubmission()));
            ADD_FAILURE() << "postAudit() succeeded without a session";
        } catch (const VantAPIError &error) {
            EXPECT_EQ(error.code(), QStringLiteral("sign_in_required"));
        }
    }
    EXPECT_TRUE(m_service.requests().isEmpty());
}

TEST_F(LedgerClientTest, AnAuditCreatesItsCategories)
{
    auto api = makeClient();
    const AuditSubmission submission = initialSubmission();

    const std::optional<VantAuditRecord> record = runTask(post(*api, submission));
    EXPECT_TRUE(record.has_value());

    ASSERT_EQ(m_service.audits().size(), 1);
    const QJsonObject body = m_service.audits().first();
    EXPECT_EQ(body.keys().size(), 6);
    EXPECT_EQ(body.value(QStringLiteral("sleep_hours")).toDouble(), 8.0);
    EXPECT_EQ(body.value(QStringLiteral("wake_time")).toDouble(), 6.5);
    EXPECT_EQ(body.value(QStringLiteral("timezone")).toString(), QStringLiteral("Europe/Berlin"));
    const auto request = m_service.requestsTo(QString::fromLatin1(FakeLedgerService::auditPath)).first();
    EXPECT_EQ(request.method, QStringLiteral("POST"));
    EXPECT_EQ(request.header("Content-Type"), QByteArray("application/json"));
    EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer oas_token_1"));

    const QList<VantCategory> categories = runTask(api->categories());
    ASSERT_EQ(categories.size(), submission.categories.size());
    for (qsizetype i = 0; i < categories.size(); ++i) {
        EXPECT_EQ(categories[i].name, submission.categories[i].name);
        EXPECT_EQ(categories[i].kind, submission.categories[i].kind);
        EXPECT_EQ(categories[i].position, submission.categories[i].position);
        EXPECT_EQ(categories[i].weeklyBudgetHalfHours, submission.categories[i].weeklyBudgetHalfHours);
        EXPECT_EQ(categories[i].color, submission.categories[i].color);
        EXPECT_FALSE(categories[i].archived);
    }
}

TEST_F(LedgerClientTest, ErrorAnswersMapToTheServiceCode)
{
    const struct {
        int status;
        QByteArray body;
        const char *code;
    } cases[] = {
        {400, R"({"error":"invalid_audit"})", "invalid_audit"},
        {401, R"({"error":"session_expired","message":"x"})", "session_expired"},
        {409, R"({"error":"audit_exists"})", "audit_exists"},
        {500, "", "http_500"},
        {502, "<html>bad gateway</html>", "http_502"},
        {404, R"({"error":""})", "http_404"},
        {503, R"({"error":5})", "http_503"},
        {422, R"(["error"])", "http_422"},
    };
    auto api = makeClient();
    for (const auto &c : cases) {
        m_service.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath),
                          ScriptedAnswer::json(c.status, c.body));
        try {
            runTask(api->categories());
            ADD_FAILURE() << "no error for status " << c.status;
        } catch (const VantAPIError &error) {
            EXPECT_EQ(error.status(), c.status);
            EXPECT_EQ(error.code().toStdString(), c.code) << c.status;
        }
    }
}

TEST_F(LedgerClientTest, ARefusedTokenIsTheServicesUnauthorized)
{
    m_service.setAcceptedToken(QStringLiteral("oas_other"));
    auto api = makeClient();
    try {
        runTask(api->categories());
        ADD_FAILURE() << "a refused token was accepted";
    } catch (const VantAPIError &error) {
        EXPECT_EQ(error.status(), 401);
        EXPECT_EQ(error.code(), QStringLiteral("unauthorized"));
    }
}

// Collects the warnings the ledger client writes to the system log while it lives (the
// application routes them into its own log).
class WarningCapture final {
public:
    WarningCapture() { SystemLog::setSink(m_journal); }
    ~WarningCapture() { SystemLog::setSink(nullptr); }
    QStringList lines() const
    {
        QStringList out;
        for (const RecordingSystemLog::Record &record : m_journal->records()) {
            if (record.entry.level == SystemLogLevel::warn && record.entry.category == QLatin1String("ledger"))
                out.append(record.entry.message);
        }
        return out;
    }

private:
    std::shared_ptr<RecordingSystemLog> m_journal = std::make_shared<RecordingSystemLog>();
};

// A 2xx answer means the service created the categories: whatever the body holds, the
// submission succeeded and must not be offered again. A record that does not read is
// only worth a warning.
TEST_F(LedgerClientTest, AnyTwoHundredToAnAuditIsSuccess)
{
    const struct {
        int status;
        QByteArray body;
        bool record;
        bool warns;
    } cases[] = {
        {201, R"({"audit":{"id":"au_1","timezone":"UTC"}})", true, false},
        {200, R"({"audit":null})", false, false},
        {202, R"({})", false, false},
        {200, "", false, true},
        {204, "", false, true},
        {201, "not json", false, true},
        {201, "[]", false, true},
        {201, R"({"audit":"yes"})", false, true},
        {201, R"({"audit":{"created_at":"yesterday"}})", false, true},
        {201, R"({"audit":[1]})", false, true},
    };
    auto api = makeClient();
    for (const auto &c : cases) {
        m_service.enqueue(QStringLiteral("POST"), QString::fromLatin1(FakeLedgerService::auditPath),
                          ScriptedAnswer::json(c.status, c.body));
        WarningCapture warnings;
        std::optional<VantAuditRecord> record;
        EXPECT_NO_THROW(record = runTask(post(*api, initialSubmission()))) << c.body.constData();
        EXPECT_EQ(record.has_value(), c.record) << c.body.constData();
        EXPECT_EQ(warnings.lines().size(), c.warns ? 1 : 0) << c.body.constData();
        if (c.warns && !warnings.lines().isEmpty()) {
            EXPECT_TRUE(warnings.lines().first().startsWith(QStringLiteral("audit_record_unreadable")));
        }
    }
    EXPECT_EQ(m_service.requestsTo(QString::fromLatin1(FakeLedgerService::auditPath)).size(),
              qsizetype(std::size(cases)));
}

// The category list stays strict: the poll must never take a broken answer for "none".
TEST_F(LedgerClientTest, MalformedCategoryListsAreDecodingErrors)
{
    const QByteArray bodies[] = {
        "",
        "not json",
        "[]",
        R"({})",
        R"({"categories":5})",
        R"({"categories":[{"bogus":1}]})",
        R"({"categories":[7]})",
        R"({"categories":[{"id":"c1","name":"Work","kind":"sideways","position":0,"archived":false}]})",
    };
    auto api = makeClient();
    for (const QByteArray &body : bodies) {
        m_service.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath),
                          ScriptedAnswer::json(200, body));
        EXPECT_THROW(runTask(api->categories()), VantDecodingError) << body.constData();
    }
}

TEST_F(LedgerClientTest, NoAnswerIsATransportError)
{
    {
        auto api = makeClient(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(FakeService::closedPort())));
        EXPECT_THROW(runTask(api->categories()), VantTransportError);
    }
    // A service that hangs up before answering. Qt's HTTP layer sends a request once more
    // on a fresh connection when the first one closes before any answer, so every attempt
    // is dropped here.
    ScriptedAnswer dropped;
    dropped.dropConnection = true;
    m_service.on(QStringLiteral("POST"), QString::fromLatin1(FakeLedgerService::auditPath), dropped);
    auto api = makeClient();
    EXPECT_THROW(runTask(post(*api, initialSubmission())), VantTransportError);
    EXPECT_TRUE(m_service.audits().isEmpty());
}

TEST_F(LedgerClientTest, ARequestOutlivesItsClient)
{
    ScriptedAnswer slow = ScriptedAnswer::json(200, R"({"categories":[]})");
    slow.delay = std::chrono::milliseconds(150);
    m_service.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath), slow);
    auto api = makeClient();
    QCoro::Task<QList<VantCategory>> task = api->categories();
    api.reset();
    EXPECT_TRUE(runTask(std::move(task)).isEmpty());
}

TEST(FakeLedgerServiceRules, RefusesBodiesTheServiceWouldRefuse)
{
    const QByteArray category = R"({"name":"Work","kind":"committed","position":0,"weekly_budget_half_hours":95})";
    auto body = [](const QByteArray &categories, const QByteArray &extra = {}) {
        return QByteArray(R"({"answers":{},"derived":{},"sleep_hours":8,"wake_time":6.5,"timezone":"UTC",)")
            + extra + R"("categories":[)" + categories + "]}";
    };
    EXPECT_FALSE(FakeLedgerService::auditBodyProblem(body(category)).has_value());
    const QByteArray refused[] = {
        R"({"answers":{},"derived":{},"sleep_hours":8,"wake_time":6.5,"timezone":"UTC"})",
        R"({"answers":[],"derived":{},"sleep_hours":8,"wake_time":6.5,"timezone":"UTC","categories":[]})",
        R"({"answers":{},"derived":{},"sleep_hours":"8","wake_time":6.5,"timezone":"UTC","categories":[]})",
        body(R"({"name":"  ","kind":"committed","position":0,"weekly_budget_half_hours":1})"),
        body(R"({"name":"Sleep","kind":"sleep","position":0,"weekly_budget_half_hours":1})"),
        body(R"({"name":"W","kind":"committed","position":0.5,"weekly_budget_half_hours":1})"),
        body(R"({"name":"W","kind":"committed","position":0,"weekly_budget_half_hours":-1})"),
        body(R"({"name":"W","kind":"committed","position":0,"weekly_budget_half_hours":1,"color":null})"),
        body(R"({"name":"W","kind":"committed","position":0,"weekly_budget_half_hours":1,"color":"red"})"),
        body(category + "," + category),
    };
    for (const QByteArray &b : refused)
        EXPECT_TRUE(FakeLedgerService::auditBodyProblem(b).has_value()) << b.constData();
}

} // namespace

namespace {

// A service that answers every request with a redirect to another origin must not
// get the session token carried over to that origin.
TEST_F(LedgerClientTest, TheTokenNeverFollowsARedirectToAnotherHost)
{
    FakeService elsewhere;
    elsewhere.on(QStringLiteral("GET"), QStringLiteral("/api/v1/categories"),
                 ScriptedAnswer::json(200, R"({"categories":[]})"));
    ScriptedAnswer redirect;
    redirect.status = 307;
    QUrl target = elsewhere.url(QStringLiteral("/api/v1/categories"));
    target.setHost(QStringLiteral("localhost"));
    redirect.headers.append(qMakePair(QByteArray("Location"), target.toEncoded()));
    m_service.enqueue(QStringLiteral("GET"), QStringLiteral("/api/v1/categories"), redirect);
    auto api = makeClient();

    EXPECT_ANY_THROW(runTask(api->categories()));
    TestSupport::spinFor(std::chrono::milliseconds(100));
    EXPECT_TRUE(elsewhere.requests().isEmpty());
}

} // namespace
