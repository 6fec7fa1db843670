#include "AuditFlowFixture.h"

#include "VantleKit/Audit/Views/AuditActivityRow.h"
#include "VantleKit/Audit/Views/AuditAddActivityBox.h"
#include "VantleKit/Audit/Views/AuditDashboardScreen.h"
#include "VantleKit/Audit/Views/AuditLabel.h"
#include "VantleKit/Audit/Views/AuditLegendItem.h"
#include "VantleKit/Audit/Views/AuditPrimaryButton.h"
#include "VantleKit/Audit/Views/AuditRemoveButton.h"
#include "VantleKit/Audit/Views/AuditRevealNumber.h"
#include "VantleKit/Audit/Views/AuditStepper.h"
#include "VantleKit/Audit/Views/AuditTextInput.h"
#include "VantleKit/Audit/Views/AuditWeekRibbon.h"

#include "support/TaskRunner.h"

#include <QScrollBar>

#include <gtest/gtest.h>

namespace {

using AuditDriver::Motion;

AuditState week(double sleep, double work, double upkeep, double family, QList<AuditActivity> acts = {})
{
    AuditState state = dashState();
    state.s.sleep = sleep;
    state.v = {work, upkeep, family};
    state.acts = std::move(acts);
    return state;
}

QStringList legend(const AuditFlowWindow &w)
{
    QStringList items;
    for (int i = 0; i < 6; ++i) {
        auto *item = w.find<AuditLegendItem>(QStringLiteral("audit.dash.legend.%1").arg(i));
        if (item->isVisible())
            items.append(item->text());
    }
    return items;
}

TEST(AuditDashboard, TheWeekAddsUpOnEveryPart)
{
    Motion still(true);
    struct Case {
        const char *name;
        AuditState state;
        QString number;
        AuditRole color;
        QString label;
        QString sentence;
        QStringList legend;
        double ribbonTotal; // hours the ribbon's width stands for
        QString primary;
        bool primaryEnabled;
    };
    const QString overSentence = "Your commitments exceed the week. Check for double counting first. Then decide what has to give.";
    const Case cases[] = {
        {"room to spare", week(8, 45, 14, 15), "38", AuditRole::accentInk, "hours a week are yours",
         "168 total. 56 asleep. 74 committed. Every hour counted once.",
         {"Sleep 56h", "Work 45h", "Life upkeep 14h", "Family & friends 15h", "Yours 38h"}, 168, "Lock it in →", true},
        {"activities count", week(8, 45, 14, 15, {{"Workouts", 3, 1, 0.5}}), "33½", AuditRole::accentInk,
         "hours a week are yours", "168 total. 56 asleep. 78½ committed. Every hour counted once.",
         {"Sleep 56h", "Work 45h", "Life upkeep 14h", "Family & friends 15h", "Added 4½h", "Yours 33½h"}, 168,
         "Lock it in →", true},
        {"exactly full", week(8, 45, 14, 53), "0", AuditRole::accentInk, "hours a week are yours",
         "168 total. 56 asleep. 112 committed. Every hour counted once.",
         {"Sleep 56h", "Work 45h", "Life upkeep 14h", "Family & friends 53h"}, 112 + 56, "Take an hour back →", true},
        {"over by three", week(8, 45, 14, 56), "3", AuditRole::danger, "hours over capacity", overSentence,
         {"Sleep 56h", "Work 45h", "Life upkeep 14h", "Family & friends 56h"}, 171, "Lock it in →", false},
        {"a value tuned to nothing", week(8, 0, 14, 15), "83", AuditRole::accentInk, "hours a week are yours",
         "168 total. 56 asleep. 29 committed. Every hour counted once.",
         {"Sleep 56h", "Life upkeep 14h", "Family & friends 15h", "Yours 83h"}, 168, "Lock it in →", true},
    };
    for (const Case &c : cases) {
        AuditFlowWindow w(c.state);
        EXPECT_EQ(w.find<AuditRevealNumber>("audit.dash.number")->text(), c.number) << c.name;
        EXPECT_EQ(w.find<AuditRevealNumber>("audit.dash.number")->colorRole(), c.color) << c.name;
        EXPECT_EQ(w.find<AuditLabel>("audit.dash.label")->text(), c.label) << c.name;
        EXPECT_EQ(w.find<AuditLabel>("audit.dash.sentence")->text(), c.sentence) << c.name;
        EXPECT_EQ(legend(w), c.legend) << c.name;
        auto *next = w.find<AuditPrimaryButton>("audit.dash.next");
        EXPECT_EQ(next->text(), c.primary) << c.name;
        EXPECT_EQ(next->isEnabled(), c.primaryEnabled) << c.name;
        EXPECT_FALSE(next->isDefault()) << c.name;

        // The ribbon: one piece per legend entry, in proportion, 2 apart, filling the width.
        auto *ribbon = w.find<AuditWeekRibbon>("audit.dash.ribbon");
        const QList<AuditWeekRibbon::Piece> pieces = ribbon->pieces();
        ASSERT_EQ(pieces.size(), c.legend.size()) << c.name;
        const qreal usable = ribbon->width() - 2.0 * (pieces.size() - 1);
        qreal right = 0;
        for (int i = 0; i < pieces.size(); ++i) {
            const QString help = c.legend.at(i);
            EXPECT_EQ(pieces.at(i).help, help) << c.name;
            const double hours = help.section(' ', -1).chopped(1).replace("½", ".5").toDouble();
            EXPECT_NEAR(pieces.at(i).rect.width(), hours * usable / c.ribbonTotal, 0.01) << c.name << " " << i;
            right = pieces.at(i).rect.right();
        }
        EXPECT_NEAR(right, ribbon->width(), 0.01) << c.name;
    }
}

TEST(AuditDashboard, ARibbonNarrowerThanItsGapsDrawsNothing)
{
    AuditWeekRibbon ribbon;
    ribbon.resize(6, 80);
    ribbon.setWeek(AuditDashboardScreen::segments(week(8, 45, 14, 15)), 38);
    for (const AuditWeekRibbon::Piece &piece : ribbon.pieces())
        EXPECT_EQ(piece.rect.width(), 0);
    EXPECT_EQ(ribbon.helpAt(QPoint(1, 40)), QString());
}

TEST(AuditDashboard, StepsStopAtTheirBounds)
{
    Motion still(true);
    struct Case {
        const char *stepper;
        int clicks;
        std::function<double(const AuditState &)> value;
        double start;
        double end;
        QString shown;
    };
    const Case cases[] = {
        {"audit.dash.tuneSleep.stepper.inc", 8, [](const AuditState &s) { return s.s.sleep; }, 8, 11, "11"},
        {"audit.dash.tuneSleep.stepper.dec", 12, [](const AuditState &s) { return s.s.sleep; }, 8, 4, "4"},
        {"audit.dash.tuneFamily.stepper.dec", 32, [](const AuditState &s) { return s.v.family; }, 15, 0, "0"},
        {"audit.dash.tuneWork.stepper.inc", 3, [](const AuditState &s) { return s.v.work; }, 47.5, 49, "49"},
        {"audit.dash.addTimes.dec", 3, [](const AuditState &s) { return s.draft.addTimes; }, 2, 1, "1"},
        {"audit.dash.addTimes.inc", 9, [](const AuditState &s) { return s.draft.addTimes; }, 2, 7, "7"},
        {"audit.dash.addLen.dec", 3, [](const AuditState &s) { return s.draft.addLen; }, 1, 0.5, "½"},
        {"audit.dash.addLen.inc", 9, [](const AuditState &s) { return s.draft.addLen; }, 1, 4, "4"},
        {"audit.dash.addOver.dec", 3, [](const AuditState &s) { return s.draft.addOver; }, 0.5, 0, "0"},
        {"audit.dash.addOver.inc", 9, [](const AuditState &s) { return s.draft.addOver; }, 0.5, 2, "2"},
    };
    for (const Case &c : cases) {
        AuditFlowWindow w(dashState());
        w.find<AuditAddActivityBox>("audit.dash.addBox")->setOpen(true);
        EXPECT_EQ(c.value(w.state()), c.start) << c.stepper;
        QWidget *button = w.find(QString::fromLatin1(c.stepper));
        for (int i = 0; i < c.clicks; ++i)
            ASSERT_TRUE(AuditDriver::click(button)) << c.stepper;
        EXPECT_EQ(c.value(w.state()), c.end) << c.stepper;
        const QString stepper = QString::fromLatin1(c.stepper).section('.', 0, -2);
        EXPECT_EQ(w.find<AuditStepper>(stepper)->value(), c.shown) << c.stepper;
    }
}

TEST(AuditDashboard, ActivitiesComeAndGoWithTheWorkoutsOffer)
{
    Motion still(true);
    AuditFlowWindow w(dashState());
    QWidget *workouts = w.find("audit.dash.workouts");
    EXPECT_TRUE(workouts->isVisible());
    ASSERT_TRUE(AuditDriver::click(workouts));
    ASSERT_EQ(w.state().acts.size(), 1);
    EXPECT_EQ(w.state().acts.at(0), (AuditActivity{"Workouts", 3, 1, 0.5}));
    EXPECT_FALSE(workouts->isVisible());
    auto *row = w.find<AuditActivityRow>("audit.dash.act.0");
    EXPECT_EQ(row->detailLabel()->text(), "3× (1h + ½h in and out) = 4½h");
    EXPECT_EQ(row->removeButton()->accessibleName(), "Remove Workouts");

    // Only the exact name hides the offer.
    w.store().addActivity({"workouts", 2.5, 1, 0});
    EXPECT_EQ(w.find<AuditActivityRow>("audit.dash.act.1")->detailLabel()->text(), "2.5× (1h + 0h in and out) = 2½h");
    ASSERT_TRUE(AuditDriver::click(row->removeButton()));
    ASSERT_EQ(w.state().acts.size(), 1);
    EXPECT_EQ(w.state().acts.at(0).name, "workouts");
    EXPECT_TRUE(workouts->isVisible());
    EXPECT_FALSE(w.find("audit.dash.act.1")->isVisible());
}

TEST(AuditDashboard, TheAddBoxSavesTrimmedNamesAndKeepsItsSteps)
{
    Motion still(true);
    struct Case {
        const char *name;
        QString typed;
        QString saved;
    };
    const Case cases[] = {
        {"a plain name", "Reading", "Reading"},
        {"spaces and a line break around it", "  Guitar \t", "Guitar"},
        {"only spaces", "    ", "New activity"},
        {"nothing", "", "New activity"},
    };
    for (const Case &c : cases) {
        AuditFlowWindow w(dashState());
        auto *box = w.find<AuditAddActivityBox>("audit.dash.addBox");
        ASSERT_TRUE(w.click("audit.dash.add")) << c.name;
        EXPECT_TRUE(box->isOpen()) << c.name;
        EXPECT_TRUE(box->nameInput()->hasFieldFocus()) << c.name;
        AuditDriver::type(box->nameInput(), c.typed);
        ASSERT_TRUE(w.click("audit.dash.addSave")) << c.name;
        ASSERT_EQ(w.state().acts.size(), 1) << c.name;
        EXPECT_EQ(w.state().acts.at(0), (AuditActivity{c.saved, 2, 1, 0.5})) << c.name;
        EXPECT_FALSE(box->isOpen()) << c.name;
        EXPECT_EQ(w.find<AuditRevealNumber>("audit.dash.number")->text(), "32½") << c.name;
    }

    // Cancel adds nothing and forgets the name; the steps stay for the next time.
    AuditFlowWindow w(dashState());
    auto *box = w.find<AuditAddActivityBox>("audit.dash.addBox");
    ASSERT_TRUE(w.click("audit.dash.add"));
    AuditDriver::type(box->nameInput(), "Choir");
    ASSERT_TRUE(w.click("audit.dash.addTimes.inc"));
    ASSERT_TRUE(w.click("audit.dash.addCancel"));
    EXPECT_TRUE(w.state().acts.isEmpty());
    ASSERT_TRUE(w.click("audit.dash.add"));
    EXPECT_EQ(box->name(), QString());
    EXPECT_EQ(w.find<AuditStepper>("audit.dash.addTimes")->value(), "3");
}

TEST(AuditDashboard, EachEntryCountsUpAndAChangeJumps)
{
    Motion moving(false);
    AuditFlowWindow w;
    auto *dash = static_cast<AuditDashboardScreen *>(w.flow->screen(AuditScreen::dash));
    // Built with the flow: the initial week, shown at once.
    EXPECT_EQ(dash->display(), 112 - 0);

    w.store().enterDash();
    EXPECT_TRUE(dash->isRevealRunning());
    EXPECT_LT(dash->display(), 35.5);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !dash->isRevealRunning(); }));
    EXPECT_EQ(dash->display(), 35.5);
    EXPECT_EQ(w.find<AuditRevealNumber>("audit.dash.number")->text(), "35½");

    // Back through the questions and in again with the same answers: the count replays.
    w.store().show(AuditScreen::sleep);
    w.store().enterDash();
    EXPECT_TRUE(dash->isRevealRunning());
    // A tune while it counts stops the count and shows the new week at once. The click goes
    // straight to the button, below the fold, before the 700 ms count can end by itself.
    QTest::mouseClick(w.find("audit.dash.tuneWork.stepper.inc"), Qt::LeftButton);
    EXPECT_FALSE(dash->isRevealRunning());
    EXPECT_EQ(dash->display(), 35);

    // Reduce motion: no count at all.
    Motion still(true);
    w.store().show(AuditScreen::sleep);
    w.store().enterDash();
    EXPECT_FALSE(dash->isRevealRunning());
    EXPECT_EQ(dash->display(), 35);
}

TEST(AuditDashboard, TakeAnHourBackScrollsToTheMath)
{
    for (bool reduce : {true, false}) {
        Motion motion(reduce);
        AuditFlowWindow w(week(8, 45, 14, 53));
        AuditScreenHost *host = w.host(AuditScreen::dash);
        auto *next = w.find<AuditPrimaryButton>("audit.dash.next");
        ASSERT_EQ(next->text(), "Take an hour back →");
        ASSERT_TRUE(TestSupport::waitUntil([&] { return !host->isRising(); }));
        // Asked at once after the click: the 350 ms scroll may end during any later turn.
        AuditDriver::reveal(next);
        ASSERT_TRUE(AuditDriver::clickNow(next));
        EXPECT_EQ(host->isScrolling(), !reduce);
        ASSERT_TRUE(TestSupport::waitUntil([&] { return !host->isScrolling(); }));
        // The heading itself comes to the top, not the room of 40 above it; that room stays.
        QWidget *dash = w.flow->screen(AuditScreen::dash);
        auto *heading = qobject_cast<AuditLabel *>(static_cast<AuditDashboardScreen *>(dash)->tuneAnchor());
        ASSERT_NE(heading, nullptr);
        const int textTop = heading->padding().top();
        EXPECT_EQ(heading->mapTo(host->viewport(), QPoint(0, textTop)).y(), 0) << (reduce ? "reduced" : "animated");
        QWidget *legend = w.find("audit.dash.legend");
        EXPECT_EQ(heading->mapTo(dash, QPoint(0, textTop)).y() - legend->mapTo(dash, QPoint(0, legend->height())).y(),
                  40);
        EXPECT_EQ(w.state().screen, AuditScreen::dash);
    }
}

TEST(AuditDashboard, TimesReadAsWholeNumbersOrDecimals)
{
    const std::pair<double, const char *> cases[] = {{3, "3"}, {2.5, "2.5"}, {7, "7"}, {0.25, "0.25"}};
    for (const auto &[value, text] : cases)
        EXPECT_EQ(AuditDashboardScreen::fmtTimes(value), QString::fromLatin1(text)) << value;
}

} // namespace

namespace {

// The light behind the big number reaches past the card's top edge onto the canvas, and
// fades out before the heading's top.
TEST(AuditDashboard, TheGlowReachesAboveTheCard)
{
    Motion still(true);
    AuditFlowWindow w(dashState());
    QWidget *number = w.find("audit.dash.number");
    QWidget *card = number->parentWidget();
    while (card && !card->inherits("AuditCard"))
        card = card->parentWidget();
    ASSERT_TRUE(card);
    const QImage picture = w.flow->grab().toImage();
    const int x = number->mapTo(w.flow.get(), number->rect().center()).x();
    const int cardTop = card->mapTo(w.flow.get(), QPoint(0, 0)).y();
    const QColor canvas = AuditPalette::coal().canvas;
    const auto lift = [&](int y) {
        const QColor c(picture.pixel(x, y));
        return c.red() - canvas.red();
    };
    EXPECT_GT(lift(cardTop - 12), 4) << "no glow just above the card";
    EXPECT_GT(lift(cardTop - 12), lift(cardTop - 40)) << "the glow does not fade outwards";
    EXPECT_LE(std::abs(lift(cardTop - 60)), 1) << "the glow reaches too far";
}

} // namespace
