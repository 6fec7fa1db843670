#include "Vantle/Models/LedgerModel.h"

#include "Platform/RecordingSystemLog.h"
#include "Vantle/Utilities/LogCenter.h"
#include "tools/fakes/FakeLedgerService.h"
#include "support/CountingNetwork.h"
#include "support/TaskRunner.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

using Fakes::FakeLedgerService;
using Fakes::ScriptedAnswer;
using TestSupport::runTask;
using TestSupport::waitUntil;

namespace {

VantCategory category(const QString &name, CategoryKind kind, qint64 position, bool archived = false)
{
    VantCategory c;
    c.id = QStringLiteral("id_") + name;
    c.name = name;
    c.kind = kind;
    c.position = position;
    c.archived = archived;
    return c;
}

QStringList names(const QList<VantCategory> &categories)
{
    QStringList out;
    for (const VantCategory &c : categories)
        out.append(c.name);
    return out;
}

class LedgerModelTest : public ::testing::Test {
protected:
    std::unique_ptr<LedgerModel> makeModel()
    {
        auto api = std::make_shared<VantleAPI>(
            m_service.ledgerURL(), []() { return std::optional<QString>(QStringLiteral("oas_t")); }, &m_network);
        return std::make_unique<LedgerModel>(api);
    }

    TestSupport::CountingNetwork m_network;
    FakeLedgerService m_service;
};

TEST_F(LedgerModelTest, VisibleCategoriesAreTrackableOnesByPosition)
{
    auto model = makeModel();
    model->setCategories({
        category(QStringLiteral("Reading"), CategoryKind::yours, 4),
        category(QStringLiteral("Sleep"), CategoryKind::sleep, 0),
        category(QStringLiteral("Work"), CategoryKind::committed, 1),
        category(QStringLiteral("Old"), CategoryKind::committed, 2, true),
        category(QStringLiteral("Gap"), CategoryKind::unaccounted, 3),
        category(QStringLiteral("People"), CategoryKind::committed, 3),
        category(QStringLiteral("Music"), CategoryKind::yours, 4),
    });
    // Equal positions keep the service's order.
    EXPECT_EQ(names(model->visibleCategories()),
              (QStringList{QStringLiteral("Work"), QStringLiteral("People"), QStringLiteral("Reading"),
                           QStringLiteral("Music")}));

    model->setCategories({
        category(QStringLiteral("Sleep"), CategoryKind::sleep, 0),
        category(QStringLiteral("Old"), CategoryKind::yours, 1, true),
    });
    EXPECT_TRUE(model->visibleCategories().isEmpty());
}

TEST_F(LedgerModelTest, RefreshLoadsTheCategoriesAndNotifiesOnlyOnChange)
{
    m_service.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
    auto model = makeModel();
    QSignalSpy categories(model.get(), &LedgerModel::categoriesChanged);
    QSignalSpy loaded(model.get(), &LedgerModel::didLoadCategoriesChanged);

    runTask(model->refresh());
    EXPECT_EQ(names(model->categories()), QStringList{QStringLiteral("Work")});
    EXPECT_TRUE(model->didLoadCategories());
    runTask(model->refresh());
    EXPECT_EQ(categories.count(), 1);
    EXPECT_EQ(loaded.count(), 1);

    const auto request = m_service.requests().first();
    EXPECT_EQ(request.path, QStringLiteral("/api/v1/categories"));
    EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer oas_t"));
}

TEST_F(LedgerModelTest, AFailedRefreshChangesNothing)
{
    auto model = makeModel();
    model->setCategories({category(QStringLiteral("Work"), CategoryKind::committed, 0)});
    QSignalSpy categories(model.get(), &LedgerModel::categoriesChanged);
    m_service.failNext(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath), 500, {});
    m_service.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath),
                      ScriptedAnswer::json(200, "{\"categories\":{}}"));

    EXPECT_NO_THROW(runTask(model->refresh()));
    EXPECT_NO_THROW(runTask(model->refresh()));
    EXPECT_EQ(categories.count(), 0);
    EXPECT_FALSE(model->didLoadCategories());
    EXPECT_EQ(m_service.requests().size(), 2);
}

// The ledger writes its warnings through the application's log, like every component:
// redacted, into the ring and the files, never straight onto the terminal.
TEST_F(LedgerModelTest, ItsWarningsTakeTheApplicationsLog)
{
    static QStringList printed;
    printed.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) {
        printed.append(m);
    });
    // Lines of earlier tests may still be on their way: they go where they were meant to.
    ASSERT_TRUE(LogCenter::shared().drain());
    auto journal = std::make_shared<RecordingSystemLog>();
    SystemLog::setSink(journal);
    auto model = makeModel();
    m_service.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath),
                      ScriptedAnswer::json(503, R"({"error":"token=abc123 expired"})"));
    m_service.enqueue(QStringLiteral("POST"), QString::fromLatin1(FakeLedgerService::auditPath),
                      ScriptedAnswer::json(201, "not json"));
    runTask(model->refresh());
    runTask(model->api().postAudit(VantJSONValue(), VantJSONValue(), 8, 7, QStringLiteral("UTC"), {}));
    ASSERT_TRUE(LogCenter::shared().drain());
    qInstallMessageHandler(previous);
    SystemLog::setSink(nullptr);

    QStringList warnings;
    for (const RecordingSystemLog::Record &record : journal->records()) {
        if (record.entry.category == QLatin1String("ledger") && record.entry.level == SystemLogLevel::warn)
            warnings.append(record.entry.message);
    }
    EXPECT_EQ(warnings, (QStringList{QStringLiteral("refresh_failed error=503 token=<redacted> expired"),
                                     QStringLiteral("audit_record_unreadable reason=not_an_object bytes=8")}));
    for (const QString &line : std::as_const(printed)) {
        EXPECT_FALSE(line.contains(QStringLiteral("refresh_failed")) || line.contains(QStringLiteral("audit_record")))
            << "on the terminal: " << line.toStdString();
    }
}

TEST_F(LedgerModelTest, AnOlderAnswerDoesNotOverwriteANewerOne)
{
    auto model = makeModel();
    ScriptedAnswer slow = ScriptedAnswer::json(200, R"({"categories":[]})");
    slow.delay = std::chrono::milliseconds(300);
    m_service.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath), slow);
    m_service.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);

    QCoro::Task<void> older = model->refresh();
    ASSERT_TRUE(waitUntil([this] { return m_service.requests().size() == 1; }));
    runTask(model->refresh());
    runTask(std::move(older));
    EXPECT_EQ(names(model->categories()), QStringList{QStringLiteral("Work")});
}

TEST_F(LedgerModelTest, TheModelMayDieDuringARefresh)
{
    ScriptedAnswer slow = ScriptedAnswer::json(200, R"({"categories":[]})");
    slow.delay = std::chrono::milliseconds(100);
    m_service.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath), slow);
    auto model = makeModel();
    QCoro::Task<void> running = model->refresh();
    model.reset();
    EXPECT_NO_THROW(runTask(std::move(running)));
}

// The ledger follows the signed-in state: what a person sees after signing in, out, and
// in again. Each row is a sequence of setActive calls; the categories the service holds
// stay the same throughout.
TEST_F(LedgerModelTest, ActivityLoadsClearsAndNeverRefetchesForNothing)
{
    struct Row {
        const char *name;
        QList<bool> calls;
        int requests;
        bool loaded;
    };
    const Row rows[] = {
        {"sign-in loads once", {true}, 1, true},
        {"a repeated sign-in does not refetch", {true, true}, 1, true},
        {"sign-out clears", {true, false}, 1, false},
        {"a sign-out while signed out sends nothing", {false}, 0, false},
        {"signing in again loads again", {true, false, true}, 2, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeLedgerService service;
        service.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
        auto api = std::make_shared<VantleAPI>(
            service.ledgerURL(), []() { return std::optional<QString>(QStringLiteral("oas_t")); }, &m_network);
        LedgerModel model(api);
        for (bool active : row.calls) {
            model.setActive(active);
            if (active) {
                ASSERT_TRUE(waitUntil([&model] { return model.didLoadCategories(); }));
            }
        }
        TestSupport::spinFor(std::chrono::milliseconds(50));
        EXPECT_EQ(service.requests().size(), row.requests);
        EXPECT_EQ(model.didLoadCategories(), row.loaded);
        EXPECT_EQ(model.categories().isEmpty(), !row.loaded);
        EXPECT_EQ(model.isActive(), row.calls.last());
    }
}

// An answer that was on its way when the person signed out belongs to the session that
// ended: it must not bring the old ledger back, also not after a sign-in as someone else;
// nor, when it is a failure, mark the cleared ledger failed (the next account would meet the
// offline card) or plan a retry.
TEST_F(LedgerModelTest, AnAnswerInFlightAcrossASignOutIsDropped)
{
    struct Row {
        const char *name;
        int status;
        bool signInAgain;
        QStringList expected;
    };
    const Row rows[] = {
        {"signed out", 200, false, {}},
        {"signed in again meanwhile", 200, true, {QStringLiteral("Fresh")}},
        {"a failure, signed out", 503, false, {}},
        {"a failure, signed in again meanwhile", 503, true, {QStringLiteral("Fresh")}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeLedgerService service;
        ScriptedAnswer slow = ScriptedAnswer::json(
            row.status, row.status == 200
                            ? R"({"categories":[{"id":"c1","name":"Stale","kind":"committed","position":0,"archived":false}]})"
                            : R"({"error":"unavailable"})");
        slow.delay = std::chrono::milliseconds(300);
        service.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath), slow);
        service.addCategory(QStringLiteral("Fresh"), QStringLiteral("committed"), 0);
        auto api = std::make_shared<VantleAPI>(
            service.ledgerURL(), []() { return std::optional<QString>(QStringLiteral("oas_t")); }, &m_network);
        LedgerModel model(api);
        QSignalSpy failed(&model, &LedgerModel::lastRefreshFailedChanged);
        const int sentBefore = m_network.started();

        model.setActive(true);
        ASSERT_TRUE(waitUntil([&service] { return service.requests().size() == 1; }));
        model.setActive(false);
        if (row.signInAgain)
            model.setActive(true);
        // Every answer has arrived, the slow one included, whichever came last.
        const int sent = row.signInAgain ? 2 : 1;
        ASSERT_TRUE(waitUntil([&] {
            return m_network.started() == sentBefore + sent && m_network.idle()
                && model.didLoadCategories() == row.signInAgain;
        }));
        EXPECT_EQ(names(model.categories()), row.expected);
        EXPECT_EQ(model.didLoadCategories(), row.signInAgain);
        EXPECT_EQ(failed.count(), 0) << "the cleared ledger was marked failed";
        EXPECT_FALSE(model.isRetryPlanned());
    }
}

// One request at a time, whoever asks: while one is out, the person's Retry, the Hour
// Audit's refresh after its submission and the planned retry add no second one; a refresh
// that is awaited is served by one more request after the one out.
TEST_F(LedgerModelTest, OneRequestIsOutAtATimeWhoeverAsks)
{
    using std::chrono::hours;
    const QString path = QString::fromLatin1(FakeLedgerService::categoriesPath);
    struct Row {
        const char *name;
        QString asks; // in one turn: 'R' the person's Retry, 'A' a refresh() awaited
        int sent;     // requests after the failure that planned the retry
    };
    const Row rows[] = {
        {"the person's Retry", QStringLiteral("R"), 1},
        {"a refresh awaited", QStringLiteral("A"), 1},
        {"Retry pressed twice", QStringLiteral("RR"), 1},
        {"Retry, then a refresh awaited while it is out", QStringLiteral("RA"), 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeLedgerService service;
        TestSupport::CountingNetwork network;
        auto model = std::make_unique<LedgerModel>(std::make_shared<VantleAPI>(
            service.ledgerURL(), []() { return std::optional<QString>(QStringLiteral("oas_t")); }, &network));
        model->setFirstRetryDelay(std::chrono::milliseconds(20));
        service.failNext(QStringLiteral("GET"), path, 503, {});
        model->setActive(true);
        ASSERT_TRUE(waitUntil([&] { return model->isRetryPlanned() && !model->isRefreshing(); }));
        // The retry planned comes due while the next request is out (its answer is slow);
        // every later one, and the periodic refresh, are an hour away.
        model->setFirstRetryDelay(hours(1));
        model->setRefreshInterval(hours(1));
        ScriptedAnswer slow = ScriptedAnswer::json(503, R"({"error":"unavailable"})");
        slow.delay = std::chrono::milliseconds(300);
        service.enqueue(QStringLiteral("GET"), path, slow);
        std::optional<QCoro::Task<void>> awaited;
        for (const QChar ask : row.asks) {
            if (ask == QLatin1Char('A'))
                awaited.emplace(model->refresh());
            else
                model->retryNow();
        }
        EXPECT_FALSE(model->isRetryPlanned()) << "the planned retry would go out beside it";
        if (awaited)
            runTask(std::move(*awaited));
        ASSERT_TRUE(waitUntil([&] { return network.idle() && !model->isRefreshing(); }));
        EXPECT_EQ(network.started(), 1 + row.sent);
        EXPECT_EQ(network.mostAtOnce(), 1);
        EXPECT_EQ(model->didLoadCategories(), row.sent == 2) << "the awaited refresh took the older answer";
    }
}

TEST_F(LedgerModelTest, WhileActiveTheLedgerIsRefreshedPeriodicallyAndNotAfterwards)
{
    auto model = makeModel();
    model->setRefreshInterval(std::chrono::milliseconds(50));
    model->setActive(true);
    ASSERT_TRUE(waitUntil([&model] { return model->didLoadCategories(); }));
    EXPECT_TRUE(model->categories().isEmpty());

    // A category made elsewhere (another device) shows up without any action here.
    m_service.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
    ASSERT_TRUE(waitUntil([&model] { return !model->categories().isEmpty(); }));

    model->setActive(false);
    const int sent = m_network.started();
    TestSupport::spinFor(std::chrono::milliseconds(300));
    EXPECT_EQ(m_network.started(), sent);
    EXPECT_TRUE(model->categories().isEmpty());
}

// While refreshes fail the ledger tries again on its own, waiting twice as long each time up
// to the refresh interval; an answer ends the retries, and so does signing out.
TEST_F(LedgerModelTest, FailedRefreshesAreRetriedLessAndLessOften)
{
    using std::chrono::minutes;
    const QString path = QString::fromLatin1(FakeLedgerService::categoriesPath);
    auto model = makeModel();
    model->setFirstRetryDelay(minutes(1));
    model->setRefreshInterval(minutes(5));
    QSignalSpy failed(model.get(), &LedgerModel::lastRefreshFailedChanged);
    for (int i = 0; i < 5; ++i)
        m_service.failNext(QStringLiteral("GET"), path, 503, {});
    model->setActive(true);
    ASSERT_TRUE(waitUntil([&model] { return model->lastRefreshFailed() && !model->isRefreshing(); }));
    // The retries here are the test's own: the planned ones are minutes away.
    const std::chrono::milliseconds planned[] = {minutes(1), minutes(2), minutes(4), minutes(5), minutes(5)};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(model->isRetryPlanned());
        EXPECT_EQ(model->plannedRetryDelay(), planned[i]);
        EXPECT_FALSE(model->didLoadCategories());
        runTask(model->refresh());
    }
    EXPECT_TRUE(model->didLoadCategories());
    EXPECT_FALSE(model->lastRefreshFailed());
    EXPECT_FALSE(model->isRetryPlanned());
    EXPECT_EQ(failed.count(), 2); // on at the first failure, off at the answer

    // Failing again starts from the first wait; signed out, nothing is planned or shown failed.
    m_service.failNext(QStringLiteral("GET"), path, 503, {});
    runTask(model->refresh());
    EXPECT_EQ(model->plannedRetryDelay(), minutes(1));
    model->setActive(false);
    EXPECT_FALSE(model->isRetryPlanned());
    EXPECT_FALSE(model->lastRefreshFailed());
    m_service.failNext(QStringLiteral("GET"), path, 503, {});
    runTask(model->refresh());
    EXPECT_FALSE(model->isRetryPlanned());
}

// A planned retry is the only next request: the periodic refresh does not hurry a failing
// service, nor push the retry further out.
TEST_F(LedgerModelTest, WhileARetryIsPlannedThePeriodicRefreshWaits)
{
    auto model = makeModel();
    model->setFirstRetryDelay(std::chrono::minutes(1));
    model->setRefreshInterval(std::chrono::minutes(1));
    m_service.failNext(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath), 503, {});
    model->setActive(true);
    ASSERT_TRUE(waitUntil([&model] { return model->isRetryPlanned() && !model->isRefreshing(); }));
    // The periodic refresh now comes far sooner than the retry planned a minute out.
    model->setRefreshInterval(std::chrono::milliseconds(10));
    const int sent = m_network.started();
    TestSupport::spinFor(std::chrono::milliseconds(300));
    EXPECT_EQ(m_network.started(), sent);
    EXPECT_TRUE(model->isRetryPlanned());
    EXPECT_TRUE(model->lastRefreshFailed());
}

// Another session's ledger is marked not loaded before its categories go: an empty, loaded
// ledger means a person without categories, and would bring the Hour Audit for an instant.
TEST_F(LedgerModelTest, AClearNeverLeavesALoadedEmptyLedger)
{
    auto model = makeModel();
    m_service.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
    model->setActive(true);
    ASSERT_TRUE(waitUntil([&model] { return model->didLoadCategories(); }));
    bool sawLoadedEmpty = false;
    QObject::connect(model.get(), &LedgerModel::categoriesChanged, model.get(), [&] {
        sawLoadedEmpty = sawLoadedEmpty || (model->didLoadCategories() && model->visibleCategories().isEmpty());
    });
    model->setActive(false);
    EXPECT_FALSE(sawLoadedEmpty);
    EXPECT_TRUE(model->categories().isEmpty());
}

} // namespace

