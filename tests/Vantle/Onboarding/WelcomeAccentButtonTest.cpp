// The welcome step's Continue without a mouse: it shows that it has the keyboard's focus,
// and Return, Enter and Space press it.

#include "Vantle/Onboarding/WelcomeAccentButton.h"

#include "support/Pixels.h"
#include "support/TaskRunner.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QSignalSpy>
#include <QTest>

namespace {

TEST(WelcomeAccentButton, KeyboardFocusShowsAndMouseFocusDoesNot)
{
    const struct {
        Qt::FocusReason reason;
        bool ring;
    } cases[] = {
        {Qt::TabFocusReason, true},
        {Qt::BacktabFocusReason, true},
        {Qt::MouseFocusReason, false},
        {Qt::ActiveWindowFocusReason, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.reason));
        WelcomeAccentButton button(QStringLiteral("Continue"));
        button.resize(380, 44);
        const QImage plain = button.grab().toImage();
        QFocusEvent in(QEvent::FocusIn, c.reason);
        QApplication::sendEvent(&button, &in);
        const int changed = TestSupport::clearlyChangedPixels(plain, button.grab().toImage());
        if (c.ring)
            EXPECT_GE(changed, 300) << "no visible focus ring";
        else
            EXPECT_EQ(changed, 0);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(&button, &out);
        EXPECT_EQ(TestSupport::clearlyChangedPixels(plain, button.grab().toImage()), 0) << "the ring outlives the focus";
    }
}

TEST(WelcomeAccentButton, ReturnEnterAndSpacePressIt)
{
    // Not shown: the focus below is the test's alone, no window activation steps in.
    WelcomeAccentButton button(QStringLiteral("Continue"));
    button.resize(380, 44);
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    // Return on a focus nobody can see does nothing; Space still presses, as for any button.
    QFocusEvent unseen(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(&button, &unseen);
    QTest::keyClick(&button, Qt::Key_Return);
    EXPECT_FALSE(button.isDown());
    EXPECT_EQ(clicked.count(), 0);
    QFocusEvent tabbedIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(&button, &tabbedIn);
    int expected = 0;
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        SCOPED_TRACE(int(key));
        QTest::keyClick(&button, key);
        ++expected;
        EXPECT_TRUE(TestSupport::waitUntil([&] { return clicked.count() == expected && !button.isDown(); }));
    }
    QTest::keyClick(&button, Qt::Key_Return, Qt::AltModifier);
    EXPECT_FALSE(button.isDown()) << "Alt+Return is not a press";
    EXPECT_EQ(clicked.count(), expected);
}

} // namespace
