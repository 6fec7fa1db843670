#include "VantleKit/Audit/AuditStore.h"

#include "VantleKit/Audit/AuditMath.h"
#include "VantleKit/VantAPIError.h"

#include "support/TaskRunner.h"

#include <QCoro/QCoroSignal>
#include <QPointer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>

using TestSupport::runTask;
using TestSupport::waitUntil;

namespace {

// Holds a submission until the test opens it, then ends it as the test decided.
class Gate final : public QObject {
    Q_OBJECT
public:
    enum class Outcome { succeed, apiError, otherError };
    Outcome outcome = Outcome::succeed;
    QString code;
    bool waiting = false;
    bool finished = false;

    void open() { Q_EMIT opened(); }
Q_SIGNALS:
    void opened();
};

struct HandlerLog {
    int calls = 0;
    QList<AuditSubmission> received;
    int completions = 0;
};

QCoro::Task<void> gatedHandler(QPointer<Gate> gate, AuditSubmission)
{
    gate->waiting = true;
    co_await qCoro(gate.data(), &Gate::opened);
    gate->finished = true;
    if (gate->outcome == Gate::Outcome::apiError)
        throw VantAPIError(400, gate->code);
    if (gate->outcome == Gate::Outcome::otherError)
        throw std::runtime_error("socket closed");
}

QCoro::Task<void> immediateHandler(int outcome, QString code, AuditSubmission)
{
    if (outcome == 1)
        throw VantAPIError(422, code);
    if (outcome == 2)
        throw std::runtime_error("offline");
    co_return;
}

// A state whose "yours" step can be submitted: the dashboard of the initial answers with
// one named row of one hour.
AuditState submittableState()
{
    AuditState state = AuditState::initial();
    state.enterDash();
    state.screen = AuditScreen::yours;
    state.yoursSetName(0, QStringLiteral("Reading"));
    return state;
}

class AuditStoreTest : public ::testing::Test {
protected:
    std::unique_ptr<AuditStore> gatedStore(AuditState state = submittableState())
    {
        auto log = m_log;
        QPointer<Gate> gate = &m_gate;
        return std::make_unique<AuditStore>(
            std::move(state), QStringLiteral("America/New_York"),
            [log, gate](AuditSubmission submission) {
                ++log->calls;
                log->received.append(submission);
                return gatedHandler(gate, std::move(submission));
            },
            [log]() { ++log->completions; });
    }

    std::unique_ptr<AuditStore> immediateStore(int outcome, QString code = {})
    {
        auto log = m_log;
        return std::make_unique<AuditStore>(
            submittableState(), QStringLiteral("UTC"),
            [log, outcome, code](AuditSubmission submission) {
                ++log->calls;
                return immediateHandler(outcome, code, std::move(submission));
            },
            [log]() { ++log->completions; });
    }

    Gate m_gate;
    std::shared_ptr<HandlerLog> m_log = std::make_shared<HandlerLog>();
};

TEST_F(AuditStoreTest, QuestionNumbersFollowTheScreens)
{
    auto store = gatedStore(AuditState::initial());
    const std::pair<AuditScreen, std::optional<int>> cases[] = {
        {AuditScreen::sleep, 1}, {AuditScreen::work, 2},        {AuditScreen::upkeep, 3},
        {AuditScreen::family, 4}, {AuditScreen::dash, std::nullopt}, {AuditScreen::yours, std::nullopt},
    };
    for (const auto &[screen, number] : cases) {
        store->show(screen);
        EXPECT_EQ(store->questionNumber(), number) << toRaw(screen).toStdString();
    }
}

TEST_F(AuditStoreTest, ShowChangesOnlyTheScreen)
{
    auto store = gatedStore(AuditState::initial());
    AuditState expected = store->state();
    store->show(AuditScreen::yours);
    expected.screen = AuditScreen::yours;
    EXPECT_EQ(store->state(), expected);
    EXPECT_EQ(store->state().revealNonce, 0);
    EXPECT_EQ(store->state().v.work, 0.0);
}

TEST_F(AuditStoreTest, EveryIntentNotifiesEvenWithoutAChange)
{
    auto store = gatedStore(AuditState::initial());
    QSignalSpy spy(store.get(), &AuditStore::stateChanged);
    store->toggleDay(7);      // a bad index
    store->yoursRemove(0);    // the last row stays
    store->tuneSleep(1);
    store->enterDash();
    EXPECT_EQ(spy.count(), 4);
    EXPECT_EQ(store->state().s.sleep, 8.5);
    EXPECT_EQ(store->state().revealNonce, 1);

    // A plain write notifies only when the value changes.
    store->setState(store->state());
    EXPECT_EQ(spy.count(), 4);
    QSignalSpy submitting(store.get(), &AuditStore::isSubmittingChanged);
    QSignalSpy error(store.get(), &AuditStore::submitErrorChanged);
    store->setIsSubmitting(false);
    store->setSubmitError(std::nullopt);
    store->setSubmitError(QStringLiteral("x"));
    store->setSubmitError(QStringLiteral("x"));
    EXPECT_EQ(submitting.count(), 0);
    EXPECT_EQ(error.count(), 1);
}

// Every intent of the store, each from a state where every field holds something of its
// own: the expected state is written field by field, so an intent that calls the wrong
// mutator, writes a neighbouring field or forgets a side effect shows as a difference.
// Each intent is also exactly one change that observers hear of.
TEST_F(AuditStoreTest, EveryIntentWritesItsOwnFields)
{
    AuditState start = AuditState::initial();
    start.enterDash();
    start.tune(TuneCat::work, 1);
    start.screen = AuditScreen::work;
    start.acts = {{QStringLiteral("Gym"), 3, 1, 0.5}};
    start.yoursCats = {{QStringLiteral("Piano"), 2}, {QStringLiteral("Walks"), 1}};
    ASSERT_EQ(start.v, (PerTune<double>{48, 14, 15}));
    ASSERT_EQ(start.revealNonce, 1);

    const QString initialDays = QStringLiteral("truetruetruetruetruefalsefalse");
    ImportedAudit imported;
    imported.s = start.s;
    imported.s.wfh = true;
    imported.s.familyWk = 10;
    imported.acts = {{QStringLiteral("Swim"), 1, 1, 0}};
    imported.yoursCats = QList<YoursCategoryDraft>{{QStringLiteral("Chess"), 3}};

    using Edit = std::function<void(AuditState &)>;
    using Intent = std::function<void(AuditStore &)>;
    const Edit none = [](AuditState &) {};
    const Edit penciled = [](AuditState &s) { s.s.workPenciled = true; };
    const struct {
        const char *intent;
        Edit prepare;
        Intent call;
        Edit expect;
    } cases[] = {
        {"show", none, [](AuditStore &st) { st.show(AuditScreen::family); },
         [](AuditState &s) { s.screen = AuditScreen::family; }},
        {"pickSleep", none, [](AuditStore &st) { st.pickSleep(7); }, [](AuditState &s) { s.s.sleep = 7; }},
        {"pickWake", none, [](AuditStore &st) { st.pickWake(7.5); }, [](AuditState &s) { s.s.wake = 7.5; }},
        {"tuneSleep down", none, [](AuditStore &st) { st.tuneSleep(-1); }, [](AuditState &s) { s.s.sleep = 7.5; }},
        {"tuneSleep up", none, [](AuditStore &st) { st.tuneSleep(1); }, [](AuditState &s) { s.s.sleep = 8.5; }},
        {"toggleDay", penciled, [](AuditStore &st) { st.toggleDay(5); },
         [](AuditState &s) { s.s.days[5] = true, s.s.workPenciled = false; }},
        {"pickLeave", penciled, [](AuditStore &st) { st.pickLeave(9); },
         [](AuditState &s) { s.s.leave = 9, s.s.workPenciled = false; }},
        {"pickBack", penciled, [](AuditStore &st) { st.pickBack(18); },
         [](AuditState &s) { s.s.back = 18, s.s.workPenciled = false; }},
        {"pickWfhHours", penciled, [](AuditStore &st) { st.pickWfhHours(6); },
         [](AuditState &s) { s.s.wfhHours = 6, s.s.workPenciled = false; }},
        {"toggleWfh", penciled, [](AuditStore &st) { st.toggleWfh(); },
         [](AuditState &s) { s.s.wfh = true, s.s.workPenciled = false; }},
        {"pencilIn", none, [](AuditStore &st) { st.pencilIn(); },
         [](AuditState &s) { s.s.workPenciled = true, s.screen = AuditScreen::upkeep; }},
        {"pickUpkeep", none, [](AuditStore &st) { st.pickUpkeep(3); }, [](AuditState &s) { s.s.upkeepDay = 3; }},
        {"pickFamily", none, [](AuditStore &st) { st.pickFamily(25); }, [](AuditState &s) { s.s.familyWk = 25; }},
        {"enterDash, answers unchanged", none, [](AuditStore &st) { st.enterDash(); },
         [](AuditState &s) { s.screen = AuditScreen::dash, s.revealNonce = 2; }},
        {"enterDash, family and pencil changed",
         [](AuditState &s) { s.s.familyWk = 25, s.s.workPenciled = true; },
         [](AuditStore &st) { st.enterDash(); },
         [&](AuditState &s) {
             s.v = {45, 14, 25};
             s.tuned.work = false;
             s.keys = {QStringLiteral("true|false|8.0|8.0|17.5|") + initialDays, QStringLiteral("2.0"),
                       QStringLiteral("25.0")};
             s.screen = AuditScreen::dash;
             s.revealNonce = 2;
         }},
        {"tune upkeep up", none, [](AuditStore &st) { st.tune(TuneCat::upkeep, 1); },
         [](AuditState &s) { s.v.upkeep = 14.5, s.tuned.upkeep = true; }},
        {"tune family down", none, [](AuditStore &st) { st.tune(TuneCat::family, -1); },
         [](AuditState &s) { s.v.family = 14.5, s.tuned.family = true; }},
        {"tune work down", none, [](AuditStore &st) { st.tune(TuneCat::work, -1); },
         [](AuditState &s) { s.v.work = 47.5; }},
        {"stepDraft times", none, [](AuditStore &st) { st.stepDraft(DraftKey::addTimes, 1); },
         [](AuditState &s) { s.draft.addTimes = 3; }},
        {"stepDraft length", none, [](AuditStore &st) { st.stepDraft(DraftKey::addLen, -1); },
         [](AuditState &s) { s.draft.addLen = 0.5; }},
        {"stepDraft lead time", none, [](AuditStore &st) { st.stepDraft(DraftKey::addOver, 1); },
         [](AuditState &s) { s.draft.addOver = 1; }},
        {"addActivity", none, [](AuditStore &st) { st.addActivity({QStringLiteral("Run"), 2, 0.5, 0}); },
         [](AuditState &s) { s.acts.append({QStringLiteral("Run"), 2, 0.5, 0}); }},
        {"removeActivity", none, [](AuditStore &st) { st.removeActivity(0); }, [](AuditState &s) { s.acts.clear(); }},
        {"yoursAdd", none, [](AuditStore &st) { st.yoursAdd(); },
         [](AuditState &s) { s.yoursCats.append({QString(), 1}); }},
        {"yoursRemove", none, [](AuditStore &st) { st.yoursRemove(0); },
         [](AuditState &s) { s.yoursCats = {{QStringLiteral("Walks"), 1}}; }},
        {"yoursSetName", none, [](AuditStore &st) { st.yoursSetName(1, QStringLiteral(" Long walks ")); },
         [](AuditState &s) { s.yoursCats[1].name = QStringLiteral(" Long walks "); }},
        {"yoursStepHours", none, [](AuditStore &st) { st.yoursStepHours(0, -1); },
         [](AuditState &s) { s.yoursCats[0].hours = 1.5; }},
        {"hydrate", none, [&](AuditStore &st) { st.hydrate(imported); },
         [&](AuditState &s) {
             s.s = imported.s;
             s.acts = imported.acts;
             s.yoursCats = *imported.yoursCats;
             s.v = {40, 14, 10};
             s.tuned.work = false;
             s.keys = {QStringLiteral("false|true|8.0|8.0|17.5|") + initialDays, QStringLiteral("2.0"),
                       QStringLiteral("10.0")};
             s.screen = AuditScreen::dash;
             s.revealNonce = 2;
         }},
    };
    QStringList called;
    for (const auto &c : cases) {
        AuditState before = start;
        c.prepare(before);
        AuditState expected = before;
        c.expect(expected);
        auto store = gatedStore(before);
        QSignalSpy changed(store.get(), &AuditStore::stateChanged);
        c.call(*store);
        EXPECT_EQ(store->state(), expected) << c.intent;
        EXPECT_EQ(changed.size(), 1) << c.intent;
        EXPECT_FALSE(store->isSubmitting()) << c.intent;
        EXPECT_EQ(store->submitError(), std::nullopt) << c.intent;
        called.append(QString::fromLatin1(c.intent).section(QLatin1Char(' '), 0, 0).remove(QLatin1Char(',')));
    }
    called.removeDuplicates();
    EXPECT_EQ(called.size(), 22) << called.join(QLatin1Char(' ')).toStdString();
}

TEST_F(AuditStoreTest, DerivedNumbersOfTheInitialDashboard)
{
    auto store = gatedStore(AuditState::initial());
    store->enterDash();
    EXPECT_DOUBLE_EQ(store->committed(), 76.5);
    EXPECT_DOUBLE_EQ(store->weeklyWaking(), 112.0);
    EXPECT_DOUBLE_EQ(store->yoursHours(), 35.5);
}

TEST_F(AuditStoreTest, YoursValidation)
{
    // Initial dashboard: 35.5 hours of the user's own.
    struct Row {
        const char *name;
        double hours;
    };
    const struct {
        const char *label;
        QList<Row> rows;
        YoursValidation expected;
    } cases[] = {
        {"one named row", {{"Reading", 1}}, {1, false, false, true, 34.5}},
        {"exactly all hours", {{"Reading", 30}, {"Music", 5.5}}, {35.5, false, false, true, 0}},
        {"half an hour over", {{"Reading", 36}}, {36, true, false, false, -0.5}},
        {"blank name", {{"Reading", 1}, {" \t\n ", 1}}, {2, false, true, false, 33.5}},
        {"empty name", {{"", 1}}, {1, false, true, false, 34.5}},
        {"no rows", {}, {0, false, false, false, 35.5}},
    };
    for (const auto &c : cases) {
        AuditState state = AuditState::initial();
        state.enterDash();
        state.yoursCats.clear();
        for (const Row &row : c.rows)
            state.yoursCats.append(YoursCategoryDraft{QString::fromUtf8(row.name), row.hours});
        auto store = gatedStore(state);
        EXPECT_EQ(store->yoursValidation(), c.expected) << c.label;
    }
}

TEST_F(AuditStoreTest, AnInvalidStepIsNotSubmitted)
{
    AuditState blank = submittableState();
    blank.yoursSetName(0, QStringLiteral("   "));
    AuditState over = submittableState();
    over.yoursCats[0].hours = 40;
    AuditState none = submittableState();
    none.yoursCats.clear();
    for (const AuditState &state : {blank, over, none}) {
        auto store = gatedStore(state);
        store->setSubmitError(QStringLiteral("earlier_error"));
        runTask(store->submit());
        EXPECT_FALSE(store->isSubmitting());
        EXPECT_EQ(store->submitError(), QStringLiteral("earlier_error"));
    }
    EXPECT_EQ(m_log->calls, 0);
}

// Numbers no screen can produce, as an import or a direct write of the state brings them:
// none may reach the service, where a NaN would arrive as null and a negative row as a
// negative budget. Most of them slip past the over-capacity check (NaN compares false).
TEST_F(AuditStoreTest, NumbersOutOfRangeAreNeverSubmitted)
{
    using Change = std::function<void(AuditState &)>;
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char *label;
        Change change;
        bool valid;
    } cases[] = {
        {"in range", [](AuditState &) {}, true},
        {"a row of exactly half an hour", [](AuditState &s) { s.yoursCats[0].hours = 0.5; }, true},
        {"exactly all remaining hours", [](AuditState &s) { s.yoursCats[0].hours = 35.5; }, true},
        {"a row of NaN hours", [](AuditState &s) { s.yoursCats[0].hours = nan; }, false},
        {"a row of infinite hours", [](AuditState &s) { s.yoursCats[0].hours = -inf; }, false},
        {"rows of 100 and -80", [](AuditState &s) {
             s.yoursCats = {{QStringLiteral("Piano"), 100}, {QStringLiteral("Walks"), -80}};
         }, false},
        {"a row of a quarter hour", [](AuditState &s) { s.yoursCats[0].hours = 0.25; }, false},
        {"a row of no hours", [](AuditState &s) { s.yoursCats[0].hours = 0; }, false},
        {"a NaN week", [](AuditState &s) { s.s.sleep = nan; }, false},
        {"a night longer than a day", [](AuditState &s) {
             s.s.sleep = 30;
             s.yoursCats[0].hours = -200;
         }, false},
        {"negative sleep", [](AuditState &s) { s.s.sleep = -1; }, false},
        {"a NaN work value", [](AuditState &s) { s.v.work = nan; }, false},
        {"a negative family value", [](AuditState &s) { s.v.family = -80; }, false},
        {"an infinite upkeep value", [](AuditState &s) { s.v.upkeep = inf; }, false},
        {"an activity done -1 times", [](AuditState &s) { s.acts = {{QStringLiteral("Gym"), -1, 1, 0}}; }, false},
        {"an activity of NaN length", [](AuditState &s) { s.acts = {{QStringLiteral("Gym"), 1, nan, 0}}; }, false},
        {"an activity of negative lead time", [](AuditState &s) { s.acts = {{QStringLiteral("Gym"), 1, 1, -0.5}}; }, false},
        {"an activity too large to add up", [](AuditState &s) { s.acts = {{QStringLiteral("Gym"), 1e200, 1e200, 0}}; }, false},
        {"wake past midnight", [](AuditState &s) { s.s.wake = 25; }, false},
        {"leave before midnight", [](AuditState &s) { s.s.leave = -1; }, false},
        {"back NaN", [](AuditState &s) { s.s.back = nan; }, false},
        {"30 hours from home a day", [](AuditState &s) { s.s.wfhHours = 30; }, false},
        {"negative upkeep a day", [](AuditState &s) { s.s.upkeepDay = -2; }, false},
        {"more than a week with people", [](AuditState &s) { s.s.familyWk = 169; }, false},
    };
    for (const auto &c : cases) {
        AuditState state = submittableState();
        c.change(state);
        auto store = gatedStore(state);
        const YoursValidation validation = store->yoursValidation();
        EXPECT_EQ(validation.valid, c.valid) << c.label;
        EXPECT_EQ(validation.outOfRange, !c.valid) << c.label;
        QCoro::Task<void> running = store->submit();
        EXPECT_EQ(store->isSubmitting(), c.valid) << c.label;
        m_gate.open();
        runTask(std::move(running));
    }
    EXPECT_EQ(m_log->calls, 3);
    for (const AuditSubmission &sent : m_log->received) {
        for (const VantAuditCategoryInput &category : sent.categories)
            EXPECT_GE(category.weeklyBudgetHalfHours, 0);
    }
}

TEST_F(AuditStoreTest, AnImportOfNegativeRowsCannotBeSubmitted)
{
    ImportedAudit imported;
    imported.s = AuditState::initial().s;
    imported.yoursCats = QList<YoursCategoryDraft>{{QStringLiteral("Piano"), 100}, {QStringLiteral("Walks"), -80}};
    auto store = gatedStore(AuditState::initial());
    store->hydrate(imported);
    EXPECT_FALSE(store->yoursValidation().over);
    EXPECT_FALSE(store->yoursValidation().valid);
    QCoro::Task<void> running = store->submit();
    EXPECT_FALSE(store->isSubmitting());
    EXPECT_EQ(m_log->calls, 0);
    m_gate.open();
    runTask(std::move(running));
}

TEST_F(AuditStoreTest, TwoQuickSubmitsReachTheHandlerOnce)
{
    auto store = gatedStore();
    QCoro::Task<void> first = store->submit();
    QCoro::Task<void> second = store->submit();
    EXPECT_TRUE(second.isReady());
    EXPECT_TRUE(store->isSubmitting());
    EXPECT_EQ(m_log->calls, 1);
    m_gate.open();
    runTask(std::move(first));
    EXPECT_EQ(m_log->calls, 1);
    EXPECT_EQ(m_log->completions, 1);
}

TEST_F(AuditStoreTest, ASuccessfulSubmissionCannotBeRepeated)
{
    auto store = gatedStore();
    QCoro::Task<void> running = store->submit();
    m_gate.open();
    runTask(std::move(running));
    EXPECT_TRUE(store->isSubmitting());
    EXPECT_EQ(store->submitError(), std::nullopt);
    EXPECT_EQ(m_log->completions, 1);
    runTask(store->submit());
    EXPECT_EQ(m_log->calls, 1);
    EXPECT_EQ(m_log->completions, 1);
}

TEST_F(AuditStoreTest, TheSubmissionIsTheStateWhenSubmitted)
{
    auto store = gatedStore();
    const AuditSubmission expected = AuditMath::buildSubmitBody(store->state(), QStringLiteral("America/New_York"));
    QCoro::Task<void> running = store->submit();
    store->yoursSetName(0, QStringLiteral("Changed meanwhile"));
    store->pickSleep(6);
    m_gate.open();
    runTask(std::move(running));
    ASSERT_EQ(m_log->received.size(), 1);
    EXPECT_EQ(m_log->received.first(), expected);
    EXPECT_EQ(m_log->received.first().timezone, QStringLiteral("America/New_York"));
}

TEST_F(AuditStoreTest, FailuresBecomeTheSubmitError)
{
    const struct {
        int outcome;
        const char *code;
        const char *expected;
    } cases[] = {
        {1, "invalid_audit", "invalid_audit"},
        {1, "sign_in_required", "sign_in_required"},
        {2, "", "network_error"},
    };
    for (const auto &c : cases) {
        auto store = immediateStore(c.outcome, QString::fromLatin1(c.code));
        QSignalSpy submitting(store.get(), &AuditStore::isSubmittingChanged);
        runTask(store->submit());
        EXPECT_EQ(store->submitError(), QString::fromLatin1(c.expected));
        EXPECT_FALSE(store->isSubmitting());
        EXPECT_EQ(submitting.count(), 2);
        EXPECT_EQ(m_log->completions, 0);
    }
}

TEST_F(AuditStoreTest, ARetryClearsTheErrorAndSubmitsAgain)
{
    m_gate.outcome = Gate::Outcome::apiError;
    m_gate.code = QStringLiteral("rate_limited");
    auto store = gatedStore();
    QCoro::Task<void> first = store->submit();
    m_gate.open();
    runTask(std::move(first));
    EXPECT_EQ(store->submitError(), QStringLiteral("rate_limited"));

    m_gate.outcome = Gate::Outcome::succeed;
    QCoro::Task<void> second = store->submit();
    EXPECT_TRUE(store->isSubmitting());
    EXPECT_EQ(store->submitError(), std::nullopt);
    m_gate.open();
    runTask(std::move(second));
    EXPECT_EQ(m_log->calls, 2);
    EXPECT_EQ(m_log->completions, 1);
}

// The view that owns the store can go away while the handler is suspended (a successful
// submission refreshes the ledger, which replaces the audit). The submission must end
// without touching the dead store; AddressSanitizer reports any access.
TEST_F(AuditStoreTest, TheStoreMayDieDuringASubmission)
{
    for (Gate::Outcome outcome : {Gate::Outcome::succeed, Gate::Outcome::apiError, Gate::Outcome::otherError}) {
        m_gate.outcome = outcome;
        m_gate.code = QStringLiteral("invalid_audit");
        m_gate.waiting = m_gate.finished = false;
        auto store = gatedStore();
        QCoro::Task<void> running = store->submit();
        ASSERT_TRUE(m_gate.waiting);
        store.reset();
        m_gate.open();
        runTask(std::move(running));
        EXPECT_TRUE(m_gate.finished);
    }
    EXPECT_EQ(m_log->completions, 0);
}

TEST_F(AuditStoreTest, AHandlerThatCapturesOutlivesItsStore)
{
    auto log = m_log;
    QPointer<Gate> gate = &m_gate;
    auto store = std::make_unique<AuditStore>(
        submittableState(), QStringLiteral("UTC"),
        // A lambda coroutine keeps its captures in the closure, which lives in the store's
        // handler; the store must keep the closure alive while the handler runs.
        [log, gate](AuditSubmission) -> QCoro::Task<void> {
            co_await qCoro(gate.data(), &Gate::opened);
            ++log->calls;
            gate->finished = true;
        },
        []() {});
    QCoro::Task<void> running = store->submit();
    store.reset();
    m_gate.open();
    runTask(std::move(running));
    EXPECT_TRUE(m_gate.finished);
    EXPECT_EQ(m_log->calls, 1);
}

TEST_F(AuditStoreTest, ADetachedSubmissionSurvivesItsStore)
{
    auto store = gatedStore();
    // As a button would start it: nobody keeps the task.
    (void)store->submit();
    store.reset();
    m_gate.open();
    EXPECT_TRUE(waitUntil([this] { return m_gate.finished; }));
}

} // namespace

#include "AuditStoreTest.moc"
