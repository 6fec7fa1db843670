#include "VantleKit/Audit/Views/AuditTextInput.h"

#include "VantleKit/Audit/AuditText.h"

#include "ViewTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

QString repeated(const QString &unit, int times)
{
    QString text;
    for (int i = 0; i < times; ++i)
        text += unit;
    return text;
}

bool hasLoneSurrogate(const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate()) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate())
                return true;
            ++i;
        } else if (text.at(i).isLowSurrogate()) {
            return true;
        }
    }
    return false;
}

void type(QLineEdit *field, const QString &text)
{
    QTest::sendKeyEvent(QTest::Press, field, Qt::Key_unknown, text, Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, field, Qt::Key_unknown, text, Qt::NoModifier);
}

struct Shown {
    QWidget window;
    AuditTextInput *input;
    explicit Shown(const QString &initial = QString())
    {
        auto *layout = new QVBoxLayout(&window);
        input = new AuditTextInput(QStringLiteral("Side project, guitar, reading to the kids"));
        if (!initial.isNull())
            input->setText(initial);
        layout->addWidget(input);
        window.show();
    }
};

const QString kThumb = QStringLiteral("\U0001F44D\U0001F3FD");                                   // thumbs up, skin tone
const QString kFamily = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"); // ZWJ sequence
const QString kFlag = QStringLiteral("\U0001F1E9\U0001F1EA");                                    // two regional indicators
const QString kAccent = QStringLiteral("e\u0301\u0327");                                         // e with two combining marks

struct LengthCase {
    const char *name;
    QString before; // in the field already (set after it was shown)
    QString added;  // typed at the end (one key event) or pasted
    bool paste;
    QString expected;
};

class LengthRuleTest : public ::testing::TestWithParam<LengthCase> {};

TEST_P(LengthRuleTest, KeepsTheFirstFortyCharacters)
{
    const LengthCase &c = GetParam();
    Shown shown;
    QLineEdit *field = shown.input->field();
    shown.input->setText(c.before);
    QSignalSpy spy(shown.input, &AuditTextInput::textChanged);
    field->end(false);
    if (c.paste) {
        QApplication::clipboard()->setText(c.added);
        field->paste();
    } else {
        type(field, c.added);
    }
    EXPECT_EQ(shown.input->text(), c.expected) << c.name;
    EXPECT_FALSE(hasLoneSurrogate(shown.input->text())) << c.name;
    for (const QList<QVariant> &emitted : spy)
        EXPECT_LE(AuditText::graphemeCount(emitted.at(0).toString()), 40) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LengthRuleTest,
    ::testing::Values(
        LengthCase{"41st letter typed", repeated("a", 40), "b", false, repeated("a", 40)},
        LengthCase{"40th letter typed", repeated("a", 39), "b", false, repeated("a", 39) + "b"},
        LengthCase{"100 letters pasted", QString(), repeated("x", 60) + repeated("y", 40), true, repeated("x", 40)},
        LengthCase{"emoji as the 40th character stays whole", repeated("a", 39), kThumb, false, repeated("a", 39) + kThumb},
        LengthCase{"emoji as the 41st character is dropped whole", repeated("a", 39) + kThumb, kFamily, false,
                   repeated("a", 39) + kThumb},
        LengthCase{"ZWJ sequences pasted", QString(), repeated(kFamily, 45), true, repeated(kFamily, 40)},
        LengthCase{"flags pasted", QString(), repeated(kFlag, 41), true, repeated(kFlag, 40)},
        LengthCase{"combining marks count once", repeated(kAccent, 39), kAccent, false, repeated(kAccent, 40)},
        LengthCase{"combining marks over the limit", repeated(kAccent, 40), "z", false, repeated(kAccent, 40)},
        LengthCase{"mixed paste", "ab", repeated(kThumb + kAccent, 30), true,
                   "ab" + repeated(kThumb + kAccent, 19)}),
    [](const ::testing::TestParamInfo<LengthCase> &info) { return "case" + std::to_string(info.index); });

TEST(AuditTextInput, ExactlyFortyStaysUnchanged)
{
    Shown shown;
    const QString forty = repeated(kThumb, 20) + repeated(QStringLiteral("b"), 20);
    shown.input->setText(forty);
    EXPECT_EQ(shown.input->text(), forty);
}

TEST(AuditTextInput, TypingInTheMiddleKeepsTheTypedCharacterAndTheCursor)
{
    Shown shown;
    QLineEdit *field = shown.input->field();
    shown.input->setText(repeated(QStringLiteral("a"), 40));
    field->setCursorPosition(10);
    type(field, QStringLiteral("Z"));
    EXPECT_EQ(shown.input->text(), repeated(QStringLiteral("a"), 10) + "Z" + repeated(QStringLiteral("a"), 29));
    EXPECT_EQ(field->cursorPosition(), 11);
}

TEST(AuditTextInput, ALongTextGivenBeforeTheFirstShowStaysUntilItChanges)
{
    const QString fifty = repeated(QStringLiteral("n"), 50);
    Shown shown(fifty);
    EXPECT_EQ(shown.input->text(), fifty);
    QLineEdit *field = shown.input->field();
    field->end(false);
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(shown.input->text(), repeated(QStringLiteral("n"), 40));
}

// The edge is `accentInk` exactly while the field has the focus, `border` otherwise, on a
// palette where accentInk and accent differ; the fill stays `card`.
TEST(AuditTextInput, FocusDrawsTheAccentEdgeAndAutofocusTakesIt)
{
    const AuditPalette palette = ViewTest::distinctPalette();
    ViewTest::Window window(palette);
    auto *plain = new AuditTextInput(QStringLiteral("one"));
    auto *focused = new AuditTextInput(QStringLiteral("two"), true);
    focused->hide();
    window.add(plain, {});
    window.add(focused, {});
    ASSERT_TRUE(window.activate());
    const auto edge = [&](AuditTextInput *input) { return window.pixel(input, QPoint(0, input->height() / 2)); };
    const auto fill = [&](AuditTextInput *input) { return window.pixel(input, QPoint(4, input->height() / 2)); };

    plain->field()->setFocus();
    EXPECT_TRUE(plain->hasFieldFocus());
    EXPECT_EQ(edge(plain), palette.accentInk);
    EXPECT_EQ(fill(plain), palette.card);

    focused->show();
    EXPECT_TRUE(focused->hasFieldFocus());
    EXPECT_FALSE(plain->hasFieldFocus());
    EXPECT_EQ(edge(focused), palette.accentInk);
    EXPECT_EQ(edge(plain), palette.border);
    EXPECT_EQ(fill(plain), palette.card);

    window.setFocus();
    EXPECT_EQ(edge(focused), palette.border);
}

// Autofocus is for a screen that comes into view, not for a window the user brings back:
// restoring the window must leave the focus where the user put it.
TEST(AuditTextInput, AutofocusDoesNotTakeTheFocusBackWhenTheWindowIsRestored)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *name = new AuditTextInput(QStringLiteral("Name"), true);
    auto *other = new AuditTextInput(QStringLiteral("Other"));
    layout->addWidget(name);
    layout->addWidget(other);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_TRUE(name->hasFieldFocus());
    other->field()->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(other->hasFieldFocus());

    for (int round = 0; round < 2; ++round) {
        window.showMinimized();
        QTest::qWait(0);
        window.showNormal();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        EXPECT_TRUE(other->hasFieldFocus()) << "round " << round;
        EXPECT_FALSE(name->hasFieldFocus()) << "round " << round;
    }

    // The flow showing its screen again still gives it the focus.
    name->hide();
    name->show();
    EXPECT_TRUE(name->hasFieldFocus());
}

} // namespace
