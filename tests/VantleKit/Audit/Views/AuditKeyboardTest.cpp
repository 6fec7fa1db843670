// The Hour Audit without a mouse: key presses reach the window as the desktop sends them,
// Tab goes round each screen in reading order, the focus shows, Space presses, Return presses
// a focused button and is otherwise the screen's default action.

#include "AuditFlowFixture.h"

#include "support/Pixels.h"
#include "support/TaskRunner.h"

#include "VantleKit/Audit/Views/AuditAddActivityBox.h"

#include "OrvalenAccount/UI/PaintedButton.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>

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

AuditState yoursWith(const char *name)
{
    AuditState state = dashState();
    state.screen = AuditScreen::yours;
    state.yoursSetName(0, QString::fromUtf8(name));
    return state;
}

// Whether the control stands whole in the shown screen's window onto the page.
bool inView(AuditFlowWindow &w, const char *name)
{
    QWidget *control = w.find(QString::fromUtf8(name));
    const QWidget *viewport = w.host(w.flow->shownScreen())->viewport();
    return control && viewport->rect().contains(QRect(control->mapTo(viewport, QPoint(0, 0)), control->size()));
}

Names rowNames(const AuditFlowWindow &w)
{
    Names names;
    for (const YoursCategoryDraft &row : w.state().yoursCats)
        names.push_back(row.name.toStdString());
    return names;
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
        // As the window shows it: a chip's fill lets what lies under it through.
        const auto picture = [&] {
            return w.flow->grab(QRect(control->mapTo(w.flow.get(), QPoint(0, 0)), control->size())).toImage();
        };
        const QImage plain = picture();
        ASSERT_TRUE(tabTo(w, c.control));
        EXPECT_GE(TestSupport::clearlyChangedPixels(plain, picture(), 60, 0), 20) << "the focus does not show";
    }
}

TEST(AuditKeyboard, AddAnotherGivesTheNewRowsNameWhatIsTypedNext)
{
    Motion still(true);
    AuditFlowWindow w(yoursWith(""));
    key(w, Qt::Key_Tab);
    typeKeys(w, "Reading");
    ASSERT_TRUE(tabTo(w, "audit.yours.add"));
    key(w, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return w.state().yoursCats.size() == 2; }));
    EXPECT_EQ(focused(), "audit.yours.row.1.name.field");
    // The space is part of the name, not a press of "+ Add another".
    typeKeys(w, "Actual rest");
    EXPECT_EQ(rowNames(w), (Names{"Reading", "Actual rest"}));
    // Tab goes on from the new row; the first row's name is left as it was.
    for (int i = 0; i < 6; ++i)
        key(w, Qt::Key_Tab);
    EXPECT_EQ(rowNames(w), (Names{"Reading", "Actual rest"}));
}

// A button the person pressed that is disabled while it works keeps the keyboard with the
// flow: no other control takes the focus (a name field given it would have its text
// selected, for the next key to replace), the page stays where it was, a second press does
// nothing, and the button has the focus back once it can act again.
TEST(AuditKeyboard, AButtonAtWorkHoldsTheFocusUntilItCanActAgain)
{
    Motion still(true);
    AuditFlowWindow w(yoursWith("Reading"));
    ASSERT_TRUE(tabTo(w, "audit.yours.submit"));
    const QScrollBar *bar = w.host(AuditScreen::yours)->verticalScrollBar();
    const int scrolled = bar->value();
    key(w, Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return *w.submissions == 1; }));
    EXPECT_EQ(focused(), "audit.flow");
    EXPECT_EQ(bar->value(), scrolled);
    key(w, Qt::Key_Space);
    typeKeys(w, "x");
    EXPECT_EQ(rowNames(w), Names{"Reading"});
    EXPECT_EQ(*w.submissions, 1);

    // The submission failed: "Try again" is pressed by the next key, as the first was.
    w.store().setIsSubmitting(false);
    w.store().setSubmitError(QStringLiteral("network_error"));
    AuditDriver::settle();
    EXPECT_EQ(focused(), "audit.yours.submit");
    key(w, Qt::Key_Space);
    EXPECT_TRUE(waitUntil([&] { return *w.submissions == 2; }));

    // "Lock it in →" turned off under the focus by a week that no longer fits (the steppers
    // are pressed with the pointer, which takes no focus): Tab goes on from where it stood.
    AuditFlowWindow dash(dashState());
    ASSERT_TRUE(tabTo(dash, "audit.dash.next"));
    const QScrollBar *dashBar = dash.host(AuditScreen::dash)->verticalScrollBar();
    const int dashScrolled = dashBar->value();
    const auto tuneWork = [&](int steps) {
        for (int i = 0; i < std::abs(steps); ++i)
            dash.store().tune(TuneCat::work, steps < 0 ? -1 : 1);
        AuditDriver::settle();
    };
    tuneWork(80);
    EXPECT_EQ(focused(), "audit.flow");
    EXPECT_EQ(dashBar->value(), dashScrolled);
    tuneWork(-80);
    EXPECT_EQ(focused(), "audit.dash.next");
    tuneWork(80);
    key(dash, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), "audit.dash.back");
    tuneWork(-80);
    EXPECT_EQ(focused(), "audit.dash.back") << "the person had moved on";
}

// A control at work whose focus the flow holds, hidden before it can act again, hands the
// focus on as a focused control does when it is hidden: to the next control in reading order
// (or else the one before), showing as the keyboard's, with no field's text selected, and Tab
// goes on from there, not from the top.
TEST(AuditKeyboard, AControlHiddenWhileAtWorkHandsItsFocusOn)
{
    Motion still(true);
    AuditState twoRows = yoursWith("Reading");
    twoRows.yoursAdd();
    twoRows.yoursSetName(1, QStringLiteral("Rest"));
    const struct {
        AuditState state;
        std::string control; // Space sets "Start tracking" to work; any other is disabled here
        std::string handedTo;
        std::string shiftTab; // reached from there by Shift+Tab
    } cases[] = {
        {yoursWith("Reading"), "audit.yours.submit", "audit.yours.back", "audit.yours.add"},
        {dashState(), "audit.dash.back", "audit.dash.next", "audit.dash.add"},
        {twoRows, "audit.yours.row.0.remove", "audit.yours.row.1.name.field", "audit.yours.row.0.hours.inc"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.control);
        AuditFlowWindow w(c.state);
        QWidget *control = w.find(QString::fromStdString(c.control));
        ASSERT_TRUE(tabTo(w, c.control));
        if (c.control == "audit.yours.submit")
            key(w, Qt::Key_Space);
        else
            control->setEnabled(false);
        ASSERT_EQ(focused(), "audit.flow");
        control->hide();
        AuditDriver::settle();
        EXPECT_EQ(focused(), c.handedTo);
        if (const auto *button = qobject_cast<const PaintedButton *>(QApplication::focusWidget())) {
            EXPECT_TRUE(button->hasKeyboardFocus()) << "the focus does not show";
        }
        if (const auto *field = qobject_cast<const QLineEdit *>(QApplication::focusWidget())) {
            EXPECT_FALSE(field->hasSelectedText());
        }
        key(w, Qt::Key_Tab, Qt::ShiftModifier);
        EXPECT_EQ(focused(), c.shiftTab);
    }
}

TEST(AuditKeyboard, EscapeClosesTheAddFormWithoutAdding)
{
    Motion still(true);
    // Wherever the focus is in the form.
    for (const char *control : {"audit.dash.addName.field", "audit.dash.addLen.inc", "audit.dash.addSave"}) {
        SCOPED_TRACE(control);
        AuditFlowWindow w(dashState());
        auto *box = w.find<AuditAddActivityBox>(QStringLiteral("audit.dash.addBox"));
        ASSERT_TRUE(tabTo(w, "audit.dash.add"));
        key(w, Qt::Key_Space);
        typeKeys(w, "Choir");
        ASSERT_TRUE(tabTo(w, control));
        key(w, Qt::Key_Escape);
        EXPECT_FALSE(box->isOpen());
        EXPECT_TRUE(w.state().acts.isEmpty());
        EXPECT_EQ(focused(), "audit.dash.add");
        key(w, Qt::Key_Space);
        EXPECT_EQ(box->name().toStdString(), "");
    }
}

// At the window's first size, 960 × 680: the second question's buttons stand whole in the
// window, and the add form, opened at the foot of the window, is scrolled into view.
TEST(AuditKeyboard, AtTheFirstWindowSizeWhatComesIsInView)
{
    Motion still(true);
    AuditFlowWindow work(workScreen());
    for (const char *name : {"audit.work.next", "audit.work.back"})
        EXPECT_TRUE(inView(work, name)) << name;

    AuditFlowWindow dash(dashState());
    ASSERT_TRUE(tabTo(dash, "audit.dash.add"));
    key(dash, Qt::Key_Space);
    EXPECT_EQ(focused(), "audit.dash.addName.field");
    for (const char *name : {"audit.dash.addName", "audit.dash.addSave"})
        EXPECT_TRUE(inView(dash, name)) << name;
}

} // namespace
