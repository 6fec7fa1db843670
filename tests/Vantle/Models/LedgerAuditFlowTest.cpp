// The Hour Audit's submission end to end: the store, the ledger client and the ledger
// model against the fake ledger service, over real loopback sockets.
#include "Vantle/Models/LedgerModel.h"

#include "VantleKit/Audit/AuditStore.h"

#include "OrvalenAccount/InMemoryStorage.h"
#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/StoredSession.h"

#include "tools/fakes/FakeLedgerService.h"
#include "support/TaskRunner.h"

#include <QNetworkAccessManager>
#include <QPointer>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using Fakes::FakeLedgerService;
using Fakes::FakeService;
using Fakes::ScriptedAnswer;
using TestSupport::runTask;
using TestSupport::waitUntil;

namespace {

// What the audit's host does with a submission: send it, then reload the ledger.
QCoro::Task<void> sendAudit(QPointer<LedgerModel> ledger, AuditSubmission submission)
{
    if (!ledger)
        throw std::runtime_error("the ledger is gone");
    co_await ledger->api().postAudit(submission.answers, submission.derived, submission.sleepHours,
                                     submission.wakeTime, submission.timezone, submission.categories);
    if (ledger)
        co_await ledger->refresh();
}

AuditState submittableState()
{
    AuditState state = AuditState::initial();
    state.enterDash();
    state.screen = AuditScreen::yours;
    state.yoursSetName(0, QStringLiteral("  Reading\n"));
    return state;
}

class LedgerAuditFlowTest : public ::testing::Test {
protected:
    void build(const QUrl &ledgerURL)
    {
        auto api = std::make_shared<VantleAPI>(ledgerURL, m_storage, &m_network);
        m_ledger = std::make_unique<LedgerModel>(api);
        QPointer<LedgerModel> ledger = m_ledger.get();
        m_store = std::make_unique<AuditStore>(
            submittableState(), QStringLiteral("Europe/Lisbon"),
            [ledger](AuditSubmission submission) { return sendAudit(ledger, std::move(submission)); },
            []() {});
    }
    void build() { build(m_service.ledgerURL()); }

    QNetworkAccessManager m_network;
    FakeLedgerService m_service;
    void SetUp() override
    {
        m_storage->setJSON(StoredSession{QStringLiteral("oas_flow"), std::nullopt,
                                         QDateTime::currentDateTimeUtc().addSecs(3600),
                                         OrvalenAccount{OrvalenAccountID(QStringLiteral("oa_1")),
                                                        QStringLiteral("a@example.com"), std::nullopt},
                                         QStringLiteral("vantle"), QDateTime::currentDateTimeUtc()},
                           KeychainStorage::Keys::session);
    }

    std::shared_ptr<InMemoryStorage> m_storage = std::make_shared<InMemoryStorage>();
    std::unique_ptr<LedgerModel> m_ledger;
    std::unique_ptr<AuditStore> m_store;
};

TEST_F(LedgerAuditFlowTest, ASubmissionCreatesTheCategoriesAndEndsTheAudit)
{
    build();
    EXPECT_TRUE(m_ledger->visibleCategories().isEmpty());

    runTask(m_store->submit());

    EXPECT_EQ(m_store->submitError(), std::nullopt);
    EXPECT_TRUE(m_store->isSubmitting());
    EXPECT_EQ(m_service.countOf(QStringLiteral("POST"), QString::fromLatin1(FakeLedgerService::auditPath)), 1);
    EXPECT_EQ(m_service.requests().first().header("Authorization"), QByteArray("Bearer oas_flow"));
    EXPECT_TRUE(m_ledger->didLoadCategories());
    QStringList visible;
    for (const VantCategory &c : m_ledger->visibleCategories())
        visible.append(c.name);
    EXPECT_EQ(visible, (QStringList{QStringLiteral("Work"), QStringLiteral("Upkeep"), QStringLiteral("People"),
                                    QStringLiteral("Reading")}));
    const QList<VantCategory> categories = m_ledger->visibleCategories();
    EXPECT_EQ(categories[0].weeklyBudgetHalfHours, 95);
    EXPECT_EQ(categories[3].kind, CategoryKind::yours);
    EXPECT_EQ(categories[3].weeklyBudgetHalfHours, 2);
}

TEST_F(LedgerAuditFlowTest, FailuresReachTheSubmitError)
{
    const struct {
        const char *label;
        int status;
        const char *code;
        const char *expected;
    } cases[] = {
        {"service code", 409, "audit_exists", "audit_exists"},
        {"bad request", 400, "invalid_audit", "invalid_audit"},
        {"no code", 500, "", "http_500"},
    };
    for (const auto &c : cases) {
        build();
        m_service.clearRequests();
        m_service.failNext(QStringLiteral("POST"), QString::fromLatin1(FakeLedgerService::auditPath), c.status,
                           QString::fromLatin1(c.code));
        runTask(m_store->submit());
        EXPECT_EQ(m_store->submitError(), QString::fromLatin1(c.expected)) << c.label;
        EXPECT_FALSE(m_store->isSubmitting()) << c.label;
        // A failed submission does not reload the ledger.
        EXPECT_EQ(m_service.countOf(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath)), 0);
        EXPECT_FALSE(m_ledger->didLoadCategories());
    }
}

TEST_F(LedgerAuditFlowTest, ADeadServiceIsANetworkError)
{
    build(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(FakeService::closedPort())));
    runTask(m_store->submit());
    EXPECT_EQ(m_store->submitError(), QStringLiteral("network_error"));
    EXPECT_FALSE(m_store->isSubmitting());
}

TEST_F(LedgerAuditFlowTest, AServiceThatHangsUpIsANetworkError)
{
    build();
    // Every attempt is dropped: Qt's HTTP layer sends a request once more when the
    // connection closes before any answer.
    ScriptedAnswer dropped;
    dropped.dropConnection = true;
    m_service.on(QStringLiteral("POST"), QString::fromLatin1(FakeLedgerService::auditPath), dropped);
    runTask(m_store->submit());
    EXPECT_EQ(m_store->submitError(), QStringLiteral("network_error"));
}

TEST_F(LedgerAuditFlowTest, NoSessionIsSignInRequiredWithoutARequest)
{
    m_storage->deleteData(KeychainStorage::Keys::session);
    build();
    runTask(m_store->submit());
    EXPECT_EQ(m_store->submitError(), QStringLiteral("sign_in_required"));
    EXPECT_FALSE(m_store->isSubmitting());
    EXPECT_TRUE(m_service.requests().isEmpty());
}

TEST_F(LedgerAuditFlowTest, TwoQuickSubmitsReachTheServiceOnce)
{
    build();
    QCoro::Task<void> first = m_store->submit();
    QCoro::Task<void> second = m_store->submit();
    runTask(std::move(second));
    runTask(std::move(first));
    EXPECT_EQ(m_service.countOf(QStringLiteral("POST"), QString::fromLatin1(FakeLedgerService::auditPath)), 1);
    EXPECT_EQ(m_service.audits().size(), 1);
}

TEST_F(LedgerAuditFlowTest, TheStoreMayGoAwayWhileTheServiceAnswers)
{
    build();
    ScriptedAnswer slow;
    slow.status = 201;
    slow.body = R"({"audit":null})";
    slow.delay = std::chrono::milliseconds(150);
    m_service.enqueue(QStringLiteral("POST"), QString::fromLatin1(FakeLedgerService::auditPath), slow);
    QCoro::Task<void> running = m_store->submit();
    ASSERT_TRUE(waitUntil([this] { return !m_service.requests().isEmpty(); }));
    m_store.reset();
    runTask(std::move(running));
    // The submission went on to reload the ledger, which outlives the store.
    EXPECT_TRUE(m_ledger->didLoadCategories());
}

} // namespace
