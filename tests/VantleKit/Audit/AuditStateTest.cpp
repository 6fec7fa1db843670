#include "VantleKit/Audit/AuditMath.h"
#include "VantleKit/Audit/AuditPresets.h"
#include "VantleKit/Audit/AuditState.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

TEST(AuditState, InitialStateEntersTheDashboard)
{
    AuditState state = AuditState::initial();
    state.enterDash();
    EXPECT_EQ(state.v.work, 47.5);
    EXPECT_EQ(state.v.upkeep, 14);
    EXPECT_EQ(state.v.family, 15);
    EXPECT_EQ(AuditMath::committed(state), 76.5);
    EXPECT_EQ(AuditMath::weeklyWaking(state.s), 112);
    EXPECT_EQ(AuditMath::yoursHours(state), 35.5);
    EXPECT_EQ(state.revealNonce, 1);
    EXPECT_EQ(state.screen, AuditScreen::dash);
    EXPECT_EQ(state.tuned, (PerTune<bool>{false, false, false}));
    EXPECT_EQ(state.keys.work, QStringLiteral("false|false|8.0|8.0|17.5|truetruetruetruetruefalsefalse"));
    EXPECT_EQ(state.keys.upkeep, QStringLiteral("2.0"));
    EXPECT_EQ(state.keys.family, QStringLiteral("15.0"));
    state.enterDash();
    EXPECT_EQ(state.revealNonce, 2);
}

TEST(AuditState, UpkeepIsSevenDaysRoundedFamilyIsTaken)
{
    const struct {
        double upkeepDay;
        double familyWk;
        double upkeep;
        double family;
    } cases[] = {
        {1.5, 5, 10.5, 5}, {4, 30, 28, 30}, {1.1, 12.3, 7.5, 12.3}, {0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        AuditState state = AuditState::initial();
        state.pickUpkeep(c.upkeepDay);
        state.pickFamily(c.familyWk);
        state.enterDash();
        EXPECT_EQ(state.v.upkeep, c.upkeep) << c.upkeepDay;
        EXPECT_EQ(state.v.family, c.family) << c.familyWk;
    }
}

// Each case tunes one value on the dashboard, goes back, changes an answer and re-enters.
TEST(AuditState, TunedValuesSurviveUnrelatedChangesOnly)
{
    using Change = std::function<void(AuditState &)>;
    const struct {
        const char *label;
        TuneCat cat;
        Change change;
        bool keepsTuned;
        double rederived; // the value when not kept
    } cases[] = {
        {"work, family answer changed", TuneCat::work, [](AuditState &s) { s.pickFamily(20); }, true, 0},
        {"work, sleep changed", TuneCat::work, [](AuditState &s) { s.pickSleep(7); }, true, 0},
        {"work, upkeep changed", TuneCat::work, [](AuditState &s) { s.pickUpkeep(3); }, true, 0},
        {"work, nothing changed", TuneCat::work, [](AuditState &) {}, true, 0},
        {"work, a workday toggled", TuneCat::work, [](AuditState &s) { s.toggleDay(4); }, false, 38},
        {"work, toggled twice (same answers)", TuneCat::work,
         [](AuditState &s) { s.toggleDay(4), s.toggleDay(4); }, true, 0},
        {"work, leave changed", TuneCat::work, [](AuditState &s) { s.pickLeave(9); }, false, 42.5},
        {"work, back changed", TuneCat::work, [](AuditState &s) { s.pickBack(18); }, false, 50},
        {"work, from home", TuneCat::work, [](AuditState &s) { s.toggleWfh(); }, false, 40},
        {"work, home hours (not from home)", TuneCat::work, [](AuditState &s) { s.pickWfhHours(6); }, false, 47.5},
        {"work, penciled in", TuneCat::work, [](AuditState &s) { s.pencilIn(); }, false, 45},
        {"upkeep, work changed", TuneCat::upkeep, [](AuditState &s) { s.pickBack(18); }, true, 0},
        {"upkeep, upkeep changed", TuneCat::upkeep, [](AuditState &s) { s.pickUpkeep(1); }, false, 7},
        {"family, family changed", TuneCat::family, [](AuditState &s) { s.pickFamily(25); }, false, 25},
        {"family, upkeep changed", TuneCat::family, [](AuditState &s) { s.pickUpkeep(1); }, true, 0},
    };
    for (const auto &c : cases) {
        AuditState state = AuditState::initial();
        state.enterDash();
        const PerTune<double> before = state.v;
        state.tune(c.cat, 1);
        state.tune(c.cat, 1);
        const double tunedValue = before[c.cat] + 1;
        state.screen = AuditScreen::family;
        c.change(state);
        state.enterDash();
        if (c.keepsTuned) {
            EXPECT_EQ(state.v[c.cat], tunedValue) << c.label;
            EXPECT_TRUE(state.tuned[c.cat]) << c.label;
        } else {
            EXPECT_EQ(state.v[c.cat], c.rederived) << c.label;
            EXPECT_FALSE(state.tuned[c.cat]) << c.label;
        }
        // Tuning one value never touches the other two's tuned marks.
        for (const TuneCat other : allTuneCats) {
            if (other != c.cat) {
                EXPECT_FALSE(state.tuned[other]) << c.label;
            }
        }
    }
}

TEST(AuditState, TuneToFiftyThenChangeFamilyKeepsWork)
{
    AuditState state = AuditState::initial();
    state.enterDash();
    for (int i = 0; i < 5; ++i)
        state.tune(TuneCat::work, 1);
    ASSERT_EQ(state.v.work, 50);
    state.pickFamily(25);
    state.enterDash();
    EXPECT_EQ(state.v.work, 50);
    EXPECT_TRUE(state.tuned.work);
    EXPECT_EQ(state.v.family, 25);
    state.toggleDay(0);
    state.enterDash();
    EXPECT_EQ(state.v.work, 38);
    EXPECT_FALSE(state.tuned.work);
}

TEST(AuditState, TuneNeverGoesBelowZero)
{
    const struct {
        double start;
        int dir;
        double expected;
    } cases[] = {
        {0.25, -1, 0}, {0, -1, 0}, {0.5, -1, 0}, {10, -1, 9.5}, {10, 1, 10.5}, {10, 0, 10.5}, {10, -2, 10.5},
        {10, 7, 10.5},
    };
    for (const auto &c : cases) {
        for (const TuneCat cat : allTuneCats) {
            AuditState state = AuditState::initial();
            state.v[cat] = c.start;
            state.tune(cat, c.dir);
            EXPECT_EQ(state.v[cat], c.expected) << c.start << " dir " << c.dir;
            EXPECT_TRUE(state.tuned[cat]);
        }
    }
}

TEST(AuditState, SleepStepsStayBetweenFourAndEleven)
{
    const struct {
        double start;
        int dir;
        double expected;
    } cases[] = {
        {8, -1, 7.5}, {8, 1, 8.5}, {8, 0, 8.5}, {8, -2, 8.5}, {4, -1, 4}, {4.5, -1, 4},
        {11, 1, 11},  {10.5, 1, 11}, {11, -1, 10.5}, {4, 1, 4.5},
    };
    for (const auto &c : cases) {
        AuditState state = AuditState::initial();
        state.s.sleep = c.start;
        const AuditState before = state;
        state.tuneSleep(c.dir);
        EXPECT_EQ(state.s.sleep, c.expected) << c.start << " dir " << c.dir;
        state.s.sleep = before.s.sleep;
        EXPECT_EQ(state, before);
    }
}

TEST(AuditState, WorkAnswersClearThePencil)
{
    using Change = std::function<void(AuditState &)>;
    const struct {
        const char *label;
        Change change;
        bool penciledAfter;
    } cases[] = {
        {"toggle day 0", [](AuditState &s) { s.toggleDay(0); }, false},
        {"toggle day 6", [](AuditState &s) { s.toggleDay(6); }, false},
        {"toggle day 7", [](AuditState &s) { s.toggleDay(7); }, true},
        {"toggle day -1", [](AuditState &s) { s.toggleDay(-1); }, true},
        {"leave", [](AuditState &s) { s.pickLeave(7); }, false},
        {"back", [](AuditState &s) { s.pickBack(19); }, false},
        {"home hours", [](AuditState &s) { s.pickWfhHours(9); }, false},
        {"from home", [](AuditState &s) { s.toggleWfh(); }, false},
        {"sleep", [](AuditState &s) { s.pickSleep(7); }, true},
        {"wake", [](AuditState &s) { s.pickWake(7); }, true},
        {"upkeep", [](AuditState &s) { s.pickUpkeep(1); }, true},
        {"family", [](AuditState &s) { s.pickFamily(5); }, true},
    };
    for (const auto &c : cases) {
        AuditState state = AuditState::initial();
        state.screen = AuditScreen::work;
        state.pencilIn();
        EXPECT_EQ(state.screen, AuditScreen::upkeep);
        ASSERT_TRUE(state.s.workPenciled);
        const AuditState before = state;
        c.change(state);
        EXPECT_EQ(state.s.workPenciled, c.penciledAfter) << c.label;
        if (c.penciledAfter && QString::fromLatin1(c.label).startsWith(QLatin1String("toggle"))) {
            EXPECT_EQ(state, before) << c.label; // a bad index changes nothing at all
        }
        EXPECT_EQ(state.screen, AuditScreen::upkeep) << c.label;
    }
    AuditState state = AuditState::initial();
    state.toggleDay(5);
    EXPECT_EQ(state.s.days, (QList<bool>{true, true, true, true, true, true, false}));
    state.toggleWfh();
    EXPECT_TRUE(state.s.wfh);
}

TEST(AuditState, DraftSteppersStayInRange)
{
    const struct {
        DraftKey key;
        double start;
        int dir;
        double expected;
    } cases[] = {
        {DraftKey::addTimes, 7, 1, 7},     {DraftKey::addTimes, 1, -1, 1},   {DraftKey::addTimes, 2, 1, 3},
        {DraftKey::addTimes, 2, 3, 5},     {DraftKey::addTimes, 2, 100, 7},  {DraftKey::addTimes, 2, 0, 2},
        {DraftKey::addLen, 0.5, -1, 0.5},  {DraftKey::addLen, 4, 1, 4},      {DraftKey::addLen, 1, 2, 2},
        {DraftKey::addLen, 1, -1, 0.5},    {DraftKey::addOver, 0, -1, 0},    {DraftKey::addOver, 2, 1, 2},
        {DraftKey::addOver, 0.5, 1, 1},    {DraftKey::addOver, 0.5, -9, 0},
    };
    for (const auto &c : cases) {
        AuditState state = AuditState::initial();
        state.draft[c.key] = c.start;
        const DraftValues others = state.draft;
        state.stepDraft(c.key, c.dir);
        EXPECT_EQ(state.draft[c.key], c.expected) << int(c.key) << " " << c.start << " dir " << c.dir;
        DraftValues expected = others;
        expected[c.key] = c.expected;
        EXPECT_EQ(state.draft, expected);
    }
    const auto range = AuditPresets::draftStepper(DraftKey::addLen);
    EXPECT_EQ(range.min, 0.5);
    EXPECT_EQ(range.max, 4);
    EXPECT_EQ(range.step, 0.5);
}

TEST(AuditState, ActivitiesAddAndRemoveByValidIndex)
{
    AuditState state = AuditState::initial();
    const AuditActivity gym{QStringLiteral("Gym"), 3, 1, 0.5};
    const AuditActivity run{QStringLiteral("  Run "), 2, 0.5, 0};
    state.addActivity(gym);
    state.addActivity(run);
    state.addActivity(gym);
    EXPECT_EQ(state.acts, (QList<AuditActivity>{gym, run, gym}));
    for (const int bad : {-1, 3, 100}) {
        state.removeActivity(bad);
        EXPECT_EQ(state.acts.size(), 3) << bad;
    }
    state.removeActivity(0);
    EXPECT_EQ(state.acts, (QList<AuditActivity>{run, gym}));
    EXPECT_EQ(state.acts.first().name, QStringLiteral("  Run "));
    state.removeActivity(1);
    state.removeActivity(0);
    EXPECT_TRUE(state.acts.isEmpty());
    state.removeActivity(0);
    EXPECT_TRUE(state.acts.isEmpty());
}

TEST(AuditState, YoursRowsStayBetweenOneAndFive)
{
    AuditState state = AuditState::initial();
    state.yoursRemove(0);
    EXPECT_EQ(state.yoursCats.size(), 1);
    for (int i = 0; i < 7; ++i)
        state.yoursAdd();
    ASSERT_EQ(state.yoursCats.size(), AuditPresets::maxYoursCategories);
    for (const YoursCategoryDraft &row : state.yoursCats)
        EXPECT_EQ(row, (YoursCategoryDraft{QString(), 1}));

    const QString untrimmed = QStringLiteral("  Piano\n");
    state.yoursSetName(2, untrimmed);
    EXPECT_EQ(state.yoursCats[2].name, untrimmed);
    const AuditState before = state;
    state.yoursSetName(5, QStringLiteral("x"));
    state.yoursSetName(-1, QStringLiteral("x"));
    state.yoursStepHours(5, 1);
    state.yoursStepHours(-1, 1);
    state.yoursRemove(5);
    state.yoursRemove(-1);
    EXPECT_EQ(state, before);

    state.yoursRemove(0);
    EXPECT_EQ(state.yoursCats.size(), 4);
    EXPECT_EQ(state.yoursCats[1].name, untrimmed);
    while (state.yoursCats.size() > 1)
        state.yoursRemove(state.yoursCats.size() - 1);
    state.yoursRemove(0);
    EXPECT_EQ(state.yoursCats.size(), 1);
    EXPECT_EQ(state.yoursCats[0].name, QString());
}

TEST(AuditState, YoursHoursNeverBelowHalf)
{
    const struct {
        double start;
        int dir;
        double expected;
    } cases[] = {
        {1, -1, 0.5}, {0.5, -1, 0.5}, {1, 1, 1.5}, {1, 2, 2}, {3, -4, 1}, {3, -100, 0.5}, {1, 0, 1},
    };
    for (const auto &c : cases) {
        AuditState state = AuditState::initial();
        state.yoursCats[0].hours = c.start;
        state.yoursStepHours(0, c.dir);
        EXPECT_EQ(state.yoursCats[0].hours, c.expected) << c.start << " dir " << c.dir;
    }
}

TEST(AuditState, ScreenRawValues)
{
    const char *raws[] = {"sleep", "work", "upkeep", "family", "dash", "yours"};
    for (std::size_t i = 0; i < allAuditScreens.size(); ++i) {
        EXPECT_EQ(toRaw(allAuditScreens[i]), QString::fromLatin1(raws[i]));
        EXPECT_EQ(fromRaw<AuditScreen>(QString::fromLatin1(raws[i])), allAuditScreens[i]);
    }
    for (const char *bad : {"", "Sleep", " dash", "dashboard", "quiz"})
        EXPECT_FALSE(fromRaw<AuditScreen>(QString::fromLatin1(bad)).has_value()) << bad;
}

} // namespace
