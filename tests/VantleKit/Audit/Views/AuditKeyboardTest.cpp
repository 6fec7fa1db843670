// The Hour Audit without a mouse: key presses reach the window as the desktop sends them,
// Tab goes round each screen in reading order, the focus shows, Space presses, Return presses
// a focused button and is otherwise the screen's default action.

#include "AuditFlowFixture.h"

#include "support/Pixels.h"
#include "support/TaskRunner.h"

#include <QApplication>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using AuditDriver::Motion;
using TestSupport::waitUntil;

void key(AuditFlowWindow &w, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(w.flow->windowHandle(), key, modifiers);
    AuditDriver::settle();
}

void typeKeys(AuditFlowWindow &w, const char *text)
{
    for (const char *c = text; *c; ++c)
        QTest::keyClick(w.flow->windowHandle(), *c);
    AuditDriver::settle();
}

using Names = std::vector<std::string>;

std::string focused()
{
    const QWidget *widget = QApplication::focusWidget();
    return widget ? widget->objectName().toStdString() : "(none)";
}

// Presses Tab until `name` has the focus; false when a whole round never reaches it.
bool tabTo(AuditFlowWindow &w, const std::string &name)
{
    for (int i = 0; i < 40 && focused() != name; ++i)
        key(w, Qt::Key_Tab);
    return focused() == name;
}

Names chips(const std::string &row, int count)
{
    Names names;
    for (int i = 0; i < count; ++i)
        names.push_back(row + ".chip." + std::to_string(i));
    return names;
}

Names operator+(Names a, const Names &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

AuditState workScreen()
{
    AuditState state = AuditState::initial();
    state.screen = AuditScreen::work;
    return state;
}

AuditState dashWith(const AuditActivity &activity)
{
    AuditState state = dashState();
    state.acts.append(activity);
    return state;
}

TEST(AuditKeyboard, TabGoesRoundEachScreenInReadingOrder)
{
    Motion still(true);
    const AuditState work = workScreen();
    const AuditState dash = dashWith(AuditActivity{QStringLiteral("Workouts"), 3, 1, 0.5});
    AuditState yours = dashState();
    yours.screen = AuditScreen::yours;
    yours.yoursSetName(0, QStringLiteral("Reading"));
    yours.yoursAdd();
    yours.yoursSetName(1, QStringLiteral("Rest"));

    const struct {
        const char *name;
        AuditState state;
        Names order;
    } cases[] = {
        {"work", work,
         chips("audit.work.dayChips", 7) + chips("audit.work.leaveChips", 6) + chips("audit.work.backChips", 7)
             + Names{"audit.work.back", "audit.work.wfh", "audit.work.pencil", "audit.work.next"}},
        {"dashboard", dash,
         {"audit.dash.tuneSleep.stepper.dec", "audit.dash.tuneSleep.stepper.inc", "audit.dash.tuneWork.stepper.dec",
          "audit.dash.tuneWork.stepper.inc", "audit.dash.tuneUpkeep.stepper.dec", "audit.dash.tuneUpkeep.stepper.inc",
          "audit.dash.tuneFamily.stepper.dec", "audit.dash.tuneFamily.stepper.inc", "audit.dash.act.0.remove",
          "audit.dash.add", "audit.dash.back", "audit.dash.next"}},
        {"yours", yours,
         {"audit.yours.row.0.name.field", "audit.yours.row.0.hours.dec", "audit.yours.row.0.hours.inc",
          "audit.yours.row.0.remove", "audit.yours.row.1.name.field", "audit.yours.row.1.hours.dec",
          "audit.yours.row.1.hours.inc", "audit.yours.row.1.remove", "audit.yours.add", "audit.yours.back",
          "audit.yours.submit"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        AuditFlowWindow w(c.state);
        Names reached;
        for (std::size_t i = 0; i <= c.order.size(); ++i) {
            key(w, Qt::Key_Tab);
            reached.push_back(focused());
        }
        // Once round, and back to the first.
        EXPECT_EQ(reached, c.order + Names{c.order.front()});
        key(w, Qt::Key_Tab, Qt::ShiftModifier);
        EXPECT_EQ(focused(), c.order.back());
    }
}

TEST(AuditKeyboard, TheWholeAuditTakesOnlyTheKeyboard)
{
    Motion still(true);
    AuditFlowWindow w;

    // Sleep: Tab reaches the first chip, the arrows walk the row, Space picks; Return on a
    // chip is the screen's "Next →".
    key(w, Qt::Key_Tab);
    EXPECT_EQ(focused(), "audit.sleep.sleepChips.chip.0");
    key(w, Qt::Key_Right);
    key(w, Qt::Key_Right);
    key(w, Qt::Key_Space);
    EXPECT_EQ(w.state().s.sleep, 7);
    key(w, Qt::Key_Return);
    ASSERT_EQ(w.state().screen, AuditScreen::work);

    // Work: Return on a focused button presses that button, not the default one.
    ASSERT_TRUE(tabTo(w, "audit.work.back"));
    key(w, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return w.state().screen == AuditScreen::sleep; }));
    key(w, Qt::Key_Return);
    ASSERT_EQ(w.state().screen, AuditScreen::work);
    ASSERT_TRUE(tabTo(w, "audit.work.pencil"));
    key(w, Qt::Key_Space);
    ASSERT_EQ(w.state().screen, AuditScreen::upkeep);
    EXPECT_TRUE(w.state().s.workPenciled);

    // Upkeep and people.
    key(w, Qt::Key_Return);
    ASSERT_EQ(w.state().screen, AuditScreen::family);
    key(w, Qt::Key_Tab);
    key(w, Qt::Key_Right);
    key(w, Qt::Key_Space);
    EXPECT_EQ(w.state().s.familyWk, 10);
    key(w, Qt::Key_Return);
    ASSERT_EQ(w.state().screen, AuditScreen::dash);

    // The dashboard: a stepper, then an activity added by its name and Return.
    key(w, Qt::Key_Tab);
    key(w, Qt::Key_Tab);
    EXPECT_EQ(focused(), "audit.dash.tuneSleep.stepper.inc");
    key(w, Qt::Key_Space);
    EXPECT_EQ(w.state().s.sleep, 7.5);
    ASSERT_TRUE(tabTo(w, "audit.dash.add"));
    key(w, Qt::Key_Space);
    EXPECT_EQ(focused(), "audit.dash.addName.field");
    typeKeys(w, "Choir");
    key(w, Qt::Key_Return);
    ASSERT_EQ(w.state().acts.size(), 1);
    EXPECT_EQ(w.state().acts.first().name.toStdString(), "Choir");
    EXPECT_EQ(focused(), "audit.dash.add") << "the focus left the box it was in";
    // No default button here: Shift+Tab from the start of the page reaches "Lock it in →".
    w.flow->setFocus(Qt::OtherFocusReason);
    key(w, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), "audit.dash.next");
    key(w, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return w.state().screen == AuditScreen::yours; }));

    // The yours step: a name typed, then "Start tracking".
    key(w, Qt::Key_Tab);
    EXPECT_EQ(focused(), "audit.yours.row.0.name.field");
    typeKeys(w, "Reading");
    ASSERT_TRUE(tabTo(w, "audit.yours.submit"));
    key(w, Qt::Key_Space);
    EXPECT_TRUE(waitUntil([&] { return *w.submissions == 1; }));
    EXPECT_EQ(w.state().yoursCats.first().name.toStdString(), "Reading");
}

TEST(AuditKeyboard, TheFocusShowsOnEveryKindOfControl)
{
    Motion still(true);
    const AuditState work = workScreen();
    const AuditState dash = dashWith(AuditActivity{QStringLiteral("Choir"), 1, 2, 0.5});
    const struct {
        AuditState state;
        std::string control;
    } cases[] = {
        {work, "audit.work.dayChips.chip.0"}, // on
        {work, "audit.work.dayChips.chip.5"}, // off
        {work, "audit.work.back"},
        {work, "audit.work.wfh"},
        {work, "audit.work.next"},
        {dash, "audit.dash.tuneWork.stepper.inc"},
        {dash, "audit.dash.act.0.remove"},
        {dash, "audit.dash.workouts"},
        {dash, "audit.dash.add"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.control);
        AuditFlowWindow w(c.state);
        QWidget *control = w.find(QString::fromStdString(c.control));
        ASSERT_TRUE(control);
        // A click presses it without focusing it: nothing is left showing.
        if (c.control == "audit.work.dayChips.chip.5") {
            ASSERT_TRUE(AuditDriver::click(control));
            EXPECT_NE(focused(), c.control);
        }
        AuditDriver::reveal(control);
        const QImage plain = control->grab().toImage();
        ASSERT_TRUE(tabTo(w, c.control));
        EXPECT_GE(TestSupport::clearlyChangedPixels(plain, control->grab().toImage(), 60, 0), 20)
            << "the focus does not show";
    }
}

} // namespace
