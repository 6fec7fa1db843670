#include "HourAuditFixture.h"

#include "VantleKit/Audit/Views/AuditPrimaryButton.h"

#include <QSignalSpy>

namespace {

using Fakes::ScriptedAnswer;
using TestSupport::runTask;
using TestSupport::spinFor;
using TestSupport::waitUntil;

constexpr std::chrono::milliseconds kPoll{25};

class HourAuditPollTest : public HourAuditFixture {
protected:
    // A GET of the categories answered late with `categories`.
    void slowAnswer(const QJsonArray &categories, std::chrono::milliseconds delay)
    {
        ScriptedAnswer answer = ScriptedAnswer::json(
            200, QJsonDocument(QJsonObject{{QStringLiteral("categories"), categories}}).toJson(QJsonDocument::Compact));
        answer.delay = delay;
        m_service.enqueue(QStringLiteral("GET"), QString::fromLatin1(categoriesPath), answer);
    }
    QJsonArray oneCategory(const QString &name = QStringLiteral("Work"))
    {
        return QJsonArray{QJsonObject{{"id", "c1"}, {"name", name}, {"kind", "committed"}, {"position", 0}, {"archived", false}}};
    }
};

TEST_F(HourAuditPollTest, ACategoryMadeElsewhereEndsTheAuditWithinTwoPolls)
{
    build(kPoll);
    QSignalSpy done(m_view.data(), &HourAuditView::done);
    ASSERT_TRUE(waitUntil([&] { return gets() >= 2; }));
    EXPECT_TRUE(m_view->isPolling());
    const int before = gets();
    m_service.addCategory(QStringLiteral("Guitar"), QStringLiteral("yours"), 0);
    ASSERT_TRUE(waitUntil([&] { return done.size() == 1; }));
    EXPECT_LE(gets() - before, 2);
    EXPECT_EQ(visibleNames(), QStringList{"Guitar"});
    EXPECT_FALSE(m_view->isPolling());
    const int after = m_network.started();
    spinFor(kPoll * 6);
    EXPECT_EQ(m_network.started(), after);
    EXPECT_EQ(done.size(), 1);
}

TEST_F(HourAuditPollTest, CategoriesNotOfferedForTrackingDoNotEndIt)
{
    struct Case {
        const char *name;
        const char *kind;
        bool archived;
    };
    const Case cases[] = {
        {"archived", "committed", true},
        {"sleep", "sleep", false},
        {"unaccounted", "unaccounted", false},
    };
    for (const Case &c : cases) {
        m_service.setCategories({});
        m_service.clearRequests();
        m_service.addCategory(QStringLiteral("Hidden"), QString::fromLatin1(c.kind), 0, c.archived);
        build(kPoll);
        ASSERT_TRUE(waitUntil([&] { return gets() >= 4; })) << c.name;
        EXPECT_FALSE(m_view->isDone()) << c.name;
        EXPECT_TRUE(m_view->isPolling()) << c.name;
        EXPECT_EQ(m_ledger->categories().size(), 1) << c.name;
        EXPECT_TRUE(m_ledger->didLoadCategories()) << c.name;
        TearDown();
    }
}

TEST_F(HourAuditPollTest, AFailingServiceIsPolledOnQuietly)
{
    build(kPoll, QUrl(QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort())));
    spinFor(kPoll * 8);
    EXPECT_TRUE(m_view->isPolling());
    EXPECT_TRUE(m_ledger->didLoadCategories());
    EXPECT_TRUE(m_ledger->categories().isEmpty());
}

TEST_F(HourAuditPollTest, AClearStopsThePollForGood)
{
    build(kPoll);
    ASSERT_TRUE(waitUntil([&] { return gets() >= 1; }));
    m_ledger->setDidLoadCategories(false);
    ASSERT_TRUE(waitUntil([&] { return !m_view->isPolling(); }));
    const int after = m_network.started();
    m_view->hide();
    m_view->show();
    spinFor(kPoll * 6);
    EXPECT_EQ(m_network.started(), after);
    EXPECT_FALSE(m_view->isPolling());
}

TEST_F(HourAuditPollTest, AnAnswerInFlightAcrossAClearIsDropped)
{
    slowAnswer(oneCategory(), std::chrono::milliseconds(200));
    build(kPoll);
    ASSERT_TRUE(waitUntil([&] { return gets() == 1; }));
    m_ledger->setCategories({});
    m_ledger->setDidLoadCategories(false);
    // The slow answer has arrived; a poll that went on would have sent again by the time a
    // few more of its intervals have passed.
    ASSERT_TRUE(waitUntil([&] { return m_network.idle(); }));
    spinFor(kPoll * 4);
    EXPECT_TRUE(m_ledger->categories().isEmpty());
    EXPECT_FALSE(m_ledger->didLoadCategories());
    EXPECT_FALSE(m_view->isDone());
    EXPECT_EQ(m_network.started(), 1);
}

TEST_F(HourAuditPollTest, ASlowPollNeverUndoesASubmission)
{
    AuditDriver::Motion still(true);
    // The poll's fetch starts first and answers last, with the list from before the audit.
    slowAnswer({}, std::chrono::milliseconds(400));
    build(kPoll);
    ASSERT_TRUE(waitUntil([&] { return gets() == 1; }));
    readyToSubmit();
    ASSERT_TRUE(click("audit.yours.submit"));
    ASSERT_TRUE(waitUntil([&] { return m_view->isDone(); }));
    const QStringList created = visibleNames();
    ASSERT_EQ(created.size(), 4);
    ASSERT_TRUE(waitUntil([&] { return m_network.idle(); })) << "the slow answer arrives too";
    EXPECT_EQ(visibleNames(), created);
}

TEST_F(HourAuditPollTest, ASubmissionWhoseRefreshFailedEndsWithTheNextPoll)
{
    build(kPoll);
    // Out of sight while it submits, so the poll takes no part until the view shows again
    // (a fetch it sent before is let finish first).
    m_view->hide();
    ASSERT_TRUE(waitUntil([&] { return m_network.idle(); }));
    readyToSubmit();
    m_service.failNext(QStringLiteral("GET"), QString::fromLatin1(categoriesPath), 500, QStringLiteral("busy"));
    const int before = gets();
    runTask(store().submit());
    ASSERT_EQ(posts(), 1);
    ASSERT_EQ(gets(), before + 1);
    EXPECT_FALSE(m_view->isDone());
    EXPECT_TRUE(store().isSubmitting());
    EXPECT_EQ(store().submitError(), std::nullopt);
    auto *submit = find<AuditPrimaryButton>("audit.yours.submit");
    EXPECT_EQ(submit->text(), "Starting…");
    EXPECT_FALSE(submit->isEnabled());
    runTask(store().submit());
    EXPECT_EQ(posts(), 1);

    m_view->show();
    ASSERT_TRUE(waitUntil([&] { return m_view->isDone(); }));
    EXPECT_EQ(visibleNames().size(), 4);
    EXPECT_EQ(posts(), 1);
}

TEST_F(HourAuditPollTest, TheLedgerKeepsFetchesInOrder)
{
    // The poll's fetches and the ledger's own refreshes share one order: whatever finishes
    // last, the list of the fetch that started last stays, and nothing started before a
    // clear lands after it.
    build();
    m_service.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
    const QList<VantCategory> older{VantCategory{}};

    const std::uint64_t early = m_ledger->beginCategoriesFetch();
    runTask(m_ledger->refresh());
    ASSERT_EQ(visibleNames(), QStringList{"Work"});
    EXPECT_FALSE(m_ledger->applyFetchedCategories(early, older));
    EXPECT_EQ(visibleNames(), QStringList{"Work"});

    const std::uint64_t late = m_ledger->beginCategoriesFetch();
    m_service.setCategories({});
    runTask(m_ledger->refresh());
    EXPECT_TRUE(m_ledger->categories().isEmpty());
    m_service.addCategory(QStringLiteral("Rest"), QStringLiteral("yours"), 0);
    QCoro::Task<void> refresh = m_ledger->refresh();
    EXPECT_FALSE(m_ledger->applyFetchedCategories(late, older));
    runTask(std::move(refresh));
    EXPECT_EQ(visibleNames(), QStringList{"Rest"});

    const std::uint64_t beforeClear = m_ledger->beginCategoriesFetch();
    m_ledger->setCategories({});
    m_ledger->setDidLoadCategories(false);
    EXPECT_FALSE(m_ledger->applyFetchedCategories(beforeClear, older));
    EXPECT_FALSE(m_ledger->didLoadCategories());
    EXPECT_TRUE(m_ledger->applyFetchedCategories(m_ledger->beginCategoriesFetch(), older));
    EXPECT_TRUE(m_ledger->didLoadCategories());
}

TEST_F(HourAuditPollTest, TheViewMayGoWhileItsPollWaits)
{
    slowAnswer(oneCategory(), std::chrono::milliseconds(200));
    build(kPoll);
    ASSERT_TRUE(waitUntil([&] { return gets() == 1; }));
    // As whatever shows it does: deleteLater (run here without an event loop of its own).
    m_view->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(m_view.isNull());
    ASSERT_TRUE(waitUntil([&] { return m_network.idle(); }));
    spinFor(kPoll * 4);
    // The fetch of a view that is gone writes nothing, and nothing fetches again.
    EXPECT_TRUE(m_ledger->categories().isEmpty());
    EXPECT_EQ(m_network.started(), 1);
}

TEST_F(HourAuditPollTest, AHiddenViewDoesNotPoll)
{
    build(kPoll);
    ASSERT_TRUE(waitUntil([&] { return gets() >= 1; }));
    m_view->hide();
    EXPECT_FALSE(m_view->isPolling());
    // Counted where requests start: one sent just before the hide may reach the service any
    // time later, however long the test waits.
    const int hidden = m_network.started();
    spinFor(kPoll * 6);
    EXPECT_EQ(m_network.started(), hidden) << "no fetch while hidden";
    m_view->show();
    EXPECT_TRUE(m_view->isPolling());
    ASSERT_TRUE(waitUntil([&] { return m_network.started() > hidden; }));
}

} // namespace
