#include "AuditFlowFixture.h"

#include "VantleKit/Audit/Views/AuditAltButton.h"
#include "VantleKit/Audit/Views/AuditChipButton.h"
#include "VantleKit/Audit/Views/AuditChips.h"
#include "VantleKit/Audit/Views/AuditHelp.h"
#include "VantleKit/Audit/Views/AuditLabel.h"
#include "VantleKit/Audit/Views/AuditUpkeepScreen.h"
#include "VantleKit/Audit/Views/AuditWorkScreen.h"

#include "support/TaskRunner.h"

#include <gtest/gtest.h>

namespace {

using AuditDriver::Motion;

QStringList onChips(const AuditFlowWindow &w, const QString &chips)
{
    QStringList on;
    for (AuditChipButton *chip : w.find<AuditChips>(chips)->chips()) {
        if (chip->isOn())
            on.append(chip->option().label);
    }
    return on;
}

QString text(const AuditFlowWindow &w, const QString &name)
{
    return w.find<AuditLabel>(name)->text();
}

TEST(AuditQuestionScreens, SentencesFollowTheAnswers)
{
    struct Case {
        const char *name;
        std::function<void(AuditState &)> answers;
        const char *label; // object name of the sentence
        QString expected;
    };
    const Case cases[] = {
        {"the default night", [](AuditState &) {}, "audit.sleep.help",
         "Awake 6:30 AM to 10:30 PM. That's 112 waking hours a week. The same 112 everyone plans with."},
        {"a shorter night", [](AuditState &s) { s.s.sleep = 7.5; }, "audit.sleep.help",
         "Awake 6:30 AM to 11:00 PM. That's 115½ waking hours a week. Most plans assume 112; yours is 115½."},
        {"a day that ends past midnight", [](AuditState &s) { s.s.sleep = 6; s.s.wake = 8; }, "audit.sleep.help",
         "Awake 8:00 AM to 2:00 AM. That's 126 waking hours a week. Most plans assume 112; yours is 126."},
        {"door to door", [](AuditState &) {}, "audit.work.help",
         "That's 9½ hours door to door, 5 days a week: 47½ hours. The drive lives inside it."},
        {"no workdays", [](AuditState &s) { s.s.days.fill(false); }, "audit.work.help",
         "That's 9½ hours door to door, 0 days a week: 0 hours. The drive lives inside it."},
        {"back before leaving", [](AuditState &s) { s.s.leave = 9; s.s.back = 8; }, "audit.work.help",
         "That's 0 hours door to door, 5 days a week: 0 hours. The drive lives inside it."},
        {"from home", [](AuditState &s) { s.s.wfh = true; }, "audit.work.help",
         "That's 40 hours of work a week, 5 days at home."},
        {"from home, no days", [](AuditState &s) { s.s.wfh = true; s.s.days.fill(false); }, "audit.work.help",
         "That's 0 hours of work a week, 0 days at home."},
        {"penciled in wins", [](AuditState &s) { s.s.wfh = true; s.s.workPenciled = true; }, "audit.work.help",
         "Penciled in at 45 hours a week. Tune it on the dashboard."},
        {"upkeep", [](AuditState &) {}, "audit.upkeep.help", "That's 14 hours a week before anything fun happens."},
        {"upkeep and a half", [](AuditState &s) { s.s.upkeepDay = 1.5; }, "audit.upkeep.help",
         "That's 10½ hours a week before anything fun happens."},
    };
    for (const Case &c : cases) {
        AuditState state = AuditState::initial();
        c.answers(state);
        AuditFlowWindow w(state);
        EXPECT_EQ(text(w, QString::fromLatin1(c.label)), c.expected) << c.name;
    }
}

TEST(AuditQuestionScreens, ChipsShowTheAnswersAndPickThroughTheStore)
{
    AuditState state = AuditState::initial();
    state.s.sleep = 10; // reachable on the dashboard only: no chip of the question stands for it
    AuditFlowWindow w(state);
    EXPECT_EQ(onChips(w, "audit.sleep.sleepChips"), QStringList());
    EXPECT_EQ(onChips(w, "audit.sleep.wakeChips"), QStringList{"6:30 AM"});
    EXPECT_EQ(text(w, "audit.sleep.help").left(45), "Awake 6:30 AM to 8:30 PM. That's 98 waking ho");

    ASSERT_TRUE(w.click("audit.sleep.sleepChips.chip.1"));
    EXPECT_EQ(w.state().s.sleep, 6.5);
    EXPECT_EQ(onChips(w, "audit.sleep.sleepChips"), QStringList{"6½h"});

    w.store().show(AuditScreen::work);
    AuditDriver::settle();
    EXPECT_EQ(onChips(w, "audit.work.dayChips"), (QStringList{"Mon", "Tue", "Wed", "Thu", "Fri"}));
    ASSERT_TRUE(w.click("audit.work.dayChips.chip.6"));
    ASSERT_TRUE(w.click("audit.work.dayChips.chip.0"));
    EXPECT_EQ(onChips(w, "audit.work.dayChips"), (QStringList{"Tue", "Wed", "Thu", "Fri", "Sun"}));
}

TEST(AuditQuestionScreens, EveryControlMovesWhereItSays)
{
    Motion still(true);
    struct Case {
        AuditScreen from;
        const char *control;
        AuditScreen to;
    };
    const Case cases[] = {
        {AuditScreen::sleep, "audit.sleep.next", AuditScreen::work},
        {AuditScreen::work, "audit.work.back", AuditScreen::sleep},
        {AuditScreen::work, "audit.work.next", AuditScreen::upkeep},
        {AuditScreen::work, "audit.work.pencil", AuditScreen::upkeep},
        {AuditScreen::upkeep, "audit.upkeep.back", AuditScreen::work},
        {AuditScreen::upkeep, "audit.upkeep.next", AuditScreen::family},
        {AuditScreen::family, "audit.family.back", AuditScreen::upkeep},
        {AuditScreen::family, "audit.family.next", AuditScreen::dash},
    };
    for (const Case &c : cases) {
        AuditState state = AuditState::initial();
        state.screen = c.from;
        AuditFlowWindow w(state);
        ASSERT_TRUE(w.click(QString::fromLatin1(c.control))) << c.control;
        EXPECT_EQ(w.state().screen, c.to) << c.control;
        EXPECT_EQ(w.flow->shownScreen(), c.to) << c.control;
        EXPECT_EQ(w.state().s.workPenciled, qstrcmp(c.control, "audit.work.pencil") == 0) << c.control;
        EXPECT_EQ(w.state().revealNonce, c.to == AuditScreen::dash ? 1 : 0) << c.control;
        // The screen left is gone at once: a second click where it was reaches nothing of it.
        EXPECT_FALSE(w.find(QString::fromLatin1(c.control))->isVisible()) << c.control;
    }
}

TEST(AuditQuestionScreens, WorkingFromHomeSwapsTheTimesForHours)
{
    AuditState state = AuditState::initial();
    state.screen = AuditScreen::work;
    state.s.leave = 7;
    AuditFlowWindow w(state);
    ASSERT_TRUE(w.click("audit.work.wfh"));
    EXPECT_TRUE(w.state().s.wfh);
    EXPECT_FALSE(w.find("audit.work.leaveChips")->isVisible());
    EXPECT_FALSE(w.find("audit.work.backChips")->isVisible());
    EXPECT_TRUE(w.find("audit.work.wfhHoursChips")->isVisible());
    EXPECT_EQ(w.find<AuditAltButton>("audit.work.wfh")->text(), "I leave the house for work");
    ASSERT_TRUE(w.click("audit.work.wfh"));
    EXPECT_TRUE(w.find("audit.work.leaveChips")->isVisible());
    EXPECT_EQ(w.find<AuditAltButton>("audit.work.wfh")->text(), "I work from home");
    // The hidden answers were kept.
    EXPECT_EQ(w.state().s.leave, 7);
    EXPECT_EQ(onChips(w, "audit.work.leaveChips"), QStringList{"7:00 AM"});
}

TEST(AuditQuestionScreens, AnUpkeepPickMovesOnEvenAfterGoingBack)
{
    Motion still(true);
    AuditState state = AuditState::initial();
    state.screen = AuditScreen::upkeep;
    AuditFlowWindow w(state);
    QWidget *chip = w.find("audit.upkeep.upkeepChips.chip.4"); // 3h
    QWidget *back = w.find("audit.upkeep.back");
    AuditDriver::reveal(chip);
    AuditDriver::reveal(back);
    // The pick and the way back come before the 240 ms move can run, however slow the machine.
    ASSERT_TRUE(AuditDriver::clickNow(chip));
    EXPECT_EQ(w.state().s.upkeepDay, 3);
    EXPECT_EQ(w.state().screen, AuditScreen::upkeep);
    ASSERT_TRUE(AuditDriver::clickNow(back));
    EXPECT_EQ(w.state().screen, AuditScreen::work);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return w.state().screen == AuditScreen::family; }));
}

TEST(AuditQuestionScreens, ReturnPressesOnlyTheShownScreensButton)
{
    Motion still(true);
    AuditFlowWindow w;
    const AuditScreen expected[] = {AuditScreen::work, AuditScreen::upkeep, AuditScreen::family, AuditScreen::dash,
                                    AuditScreen::dash, AuditScreen::dash};
    for (AuditScreen screen : expected) {
        AuditDriver::pressReturn(w.flow.get());
        EXPECT_EQ(w.state().screen, screen);
    }
    // One entry to the dashboard: Return there is nobody's.
    EXPECT_EQ(w.state().revealNonce, 1);
}

} // namespace
