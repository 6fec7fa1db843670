#include "HourAuditFixture.h"

#include "VantleKit/Audit/AuditPresets.h"
#include "VantleKit/Audit/AuditText.h"
#include "VantleKit/Audit/Views/AuditDashboardScreen.h"
#include "VantleKit/Audit/Views/AuditPrimaryButton.h"
#include "VantleKit/Audit/Views/AuditScreenHost.h"
#include "VantleKit/Audit/Views/AuditTextInput.h"

#include <QJsonArray>

namespace {

using AuditDriver::Motion;
using TestSupport::waitUntil;

// Far more than 40 user-perceived characters: emoji sequences, flags, letters with combining marks.
const QString kLongName = QStringLiteral("Zoë 👩🏽‍🚀🇩🇪 e\u0301\u0327 piano with the kids 🎹 and then some more words");

// What must hold after anything a user can do.
void expectValid(const AuditState &s, const char *when)
{
    EXPECT_GE(s.yoursCats.size(), 1) << when;
    EXPECT_LE(s.yoursCats.size(), AuditPresets::maxYoursCategories) << when;
    for (const YoursCategoryDraft &row : s.yoursCats) {
        EXPECT_GE(row.hours, 0.5) << when;
        EXPECT_LE(AuditText::graphemeCount(row.name), AuditPresets::maxNameLength) << when;
    }
    for (DraftKey key : {DraftKey::addTimes, DraftKey::addLen, DraftKey::addOver}) {
        const auto range = AuditPresets::draftStepper(key);
        EXPECT_GE(s.draft[key], range.min) << when;
        EXPECT_LE(s.draft[key], range.max) << when;
    }
    for (TuneCat cat : allTuneCats)
        EXPECT_GE(s.v[cat], 0) << when;
    EXPECT_GE(s.s.sleep, 4) << when;
    EXPECT_LE(s.s.sleep, 11) << when;
    for (const AuditActivity &a : s.acts)
        EXPECT_LE(AuditText::graphemeCount(a.name), AuditPresets::maxNameLength) << when;
}

class HourAuditBadInputTest : public HourAuditFixture {};

TEST_F(HourAuditBadInputTest, HammeringEveryControlLeavesAValidWeekAndOneSubmission)
{
    Motion moving(false);
    build();
    ASSERT_GT(AuditText::graphemeCount(kLongName), 50);

    // Through the questions with Return held down and chips double-clicked.
    AuditDriver::doubleClick(find("audit.sleep.sleepChips.chip.0"));
    for (int i = 0; i < 8; ++i)
        AuditDriver::pressReturn(m_view);
    ASSERT_EQ(state().screen, AuditScreen::dash);
    EXPECT_EQ(state().revealNonce, 1);

    // Every stepper of the dashboard, double-clicked far past its bounds in both directions.
    const char *steppers[] = {"audit.dash.tuneSleep.stepper", "audit.dash.tuneWork.stepper",
                              "audit.dash.tuneUpkeep.stepper", "audit.dash.tuneFamily.stepper"};
    for (const char *stepper : steppers) {
        for (int i = 0; i < 60; ++i)
            AuditDriver::doubleClick(find(QString::fromLatin1(stepper) + ".dec"));
        expectValid(state(), stepper);
    }
    EXPECT_EQ(state().s.sleep, 4);
    EXPECT_EQ(state().v, (PerTune<double>{0, 0, 0}));
    for (int i = 0; i < 12; ++i)
        AuditDriver::doubleClick(find("audit.dash.tuneSleep.stepper.inc"));
    EXPECT_EQ(state().s.sleep, 11);

    // The add box: a name far too long, every draft stepper past both ends, a double click to save.
    ASSERT_TRUE(click("audit.dash.add"));
    AuditDriver::type(find<AuditTextInput>("audit.dash.addName"), kLongName);
    for (const char *key : {"addTimes", "addLen", "addOver"}) {
        for (int i = 0; i < 10; ++i)
            AuditDriver::doubleClick(find(QStringLiteral("audit.dash.%1.inc").arg(QLatin1String(key))));
        for (int i = 0; i < 10; ++i)
            AuditDriver::doubleClick(find(QStringLiteral("audit.dash.%1.dec").arg(QLatin1String(key))));
    }
    AuditDriver::doubleClick(find("audit.dash.addSave"));
    ASSERT_EQ(state().acts.size(), 1);
    EXPECT_EQ(state().acts.at(0).name, AuditText::truncatedToGraphemes(kLongName, 40));
    EXPECT_EQ(state().acts.at(0).weeklyHours(), 0.5);
    expectValid(state(), "after the add box");

    // Over the week: the way on is closed.
    for (int i = 0; i < 200 && m_view->store()->yoursHours() >= 0; ++i)
        AuditDriver::doubleClick(find("audit.dash.tuneWork.stepper.inc"));
    auto *next = find<AuditPrimaryButton>("audit.dash.next");
    ASSERT_LT(m_view->store()->yoursHours(), 0);
    EXPECT_FALSE(next->isEnabled());
    AuditDriver::doubleClick(next);
    EXPECT_EQ(state().screen, AuditScreen::dash);
    for (int i = 0; i < 20; ++i)
        AuditDriver::doubleClick(find("audit.dash.tuneWork.stepper.dec"));
    ASSERT_TRUE(next->isEnabled());
    ASSERT_TRUE(click("audit.dash.next"));
    ASSERT_EQ(state().screen, AuditScreen::yours);

    // The rows: long names, empty names, hours past both ends, rows past five.
    for (int i = 0; i < 8; ++i)
        AuditDriver::doubleClick(find("audit.yours.add"));
    ASSERT_EQ(state().yoursCats.size(), 5);
    for (int row = 0; row < 5; ++row) {
        if (row != 2)
            AuditDriver::type(find<AuditTextInput>(QStringLiteral("audit.yours.row.%1.name").arg(row)), kLongName);
        for (int i = 0; i < 4; ++i)
            AuditDriver::doubleClick(find(QStringLiteral("audit.yours.row.%1.hours.dec").arg(row)));
    }
    expectValid(state(), "after the rows");
    auto *submit = find<AuditPrimaryButton>("audit.yours.submit");
    EXPECT_FALSE(submit->isEnabled()); // row 2 has no name
    AuditDriver::doubleClick(submit);
    EXPECT_EQ(posts(), 0);
    for (int i = 0; i < 200; ++i)
        AuditDriver::doubleClick(find("audit.yours.row.0.hours.inc"));
    AuditDriver::type(find<AuditTextInput>("audit.yours.row.2.name"), QStringLiteral("   "));
    EXPECT_FALSE(submit->isEnabled()); // over the week, and a name of spaces
    AuditDriver::doubleClick(find("audit.yours.row.2.remove"));
    while (m_view->store()->yoursValidation().over)
        ASSERT_TRUE(AuditDriver::click(find("audit.yours.row.0.hours.dec")));
    ASSERT_TRUE(submit->isEnabled());

    // Pressed every way at once: one submission.
    AuditDriver::doubleClick(submit);
    AuditDriver::doubleClick(submit);
    AuditDriver::pressReturn(m_view);
    ASSERT_TRUE(waitUntil([&] { return m_view->isDone(); }));
    EXPECT_EQ(posts(), 1);
    ASSERT_EQ(m_service.audits().size(), 1);

    // The week sent never holds more than 168 hours.
    const QJsonObject body = m_service.audits().first();
    double budget = 7 * body.value("sleep_hours").toDouble();
    for (const QJsonValue &category : body.value("categories").toArray())
        budget += category.toObject().value("weekly_budget_half_hours").toDouble() / 2;
    EXPECT_LE(budget, 168);
    for (const QJsonValue &category : body.value("categories").toArray())
        EXPECT_LE(AuditText::graphemeCount(category.toObject().value("name").toString()), 40);
}

TEST_F(HourAuditBadInputTest, ShrinkingTheWindowMidAnimationKeepsEverythingInPlace)
{
    Motion moving(false);
    build();
    AuditFlowView *flow = m_view->flow();
    const QSize smallest = m_view->minimumSizeHint().expandedTo(QSize(1, 1));

    // During a rise.
    store().show(AuditScreen::work);
    AuditScreenHost *work = flow->host(AuditScreen::work);
    ASSERT_TRUE(work->isRising());
    m_view->resize(smallest);
    AuditDriver::settle();
    ASSERT_TRUE(waitUntil([&] { return !work->isRising(); }));
    EXPECT_EQ(work->y(), 0);
    EXPECT_EQ(work->size(), work->parentWidget()->size());

    // During the count-up, with a click in the middle of it.
    store().enterDash();
    auto *dash = static_cast<AuditDashboardScreen *>(flow->screen(AuditScreen::dash));
    ASSERT_TRUE(dash->isRevealRunning());
    m_view->resize(960, 680);
    AuditDriver::settle();
    m_view->resize(smallest);
    ASSERT_TRUE(AuditDriver::click(find("audit.dash.tuneFamily.stepper.inc")));
    ASSERT_TRUE(waitUntil([&] { return !dash->isRevealRunning() && !flow->host(AuditScreen::dash)->isRising(); }));
    EXPECT_EQ(dash->display(), std::abs(store().yoursHours()));
    EXPECT_EQ(state().v.family, 15.5);
    expectValid(state(), "after shrinking");
    EXPECT_EQ(flow->host(AuditScreen::dash)->y(), 0);
}

} // namespace
