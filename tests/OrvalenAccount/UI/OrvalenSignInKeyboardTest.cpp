// The sign-in screen without a mouse: every button shows where the keyboard is, and
// Return, Enter and Space press the focused one.

#include "OrvalenAccount/UI/OrvalenLinkButton.h"
#include "OrvalenAccount/UI/OrvalenOutlineButton.h"
#include "OrvalenAccount/UI/OrvalenProviderButton.h"
#include "OrvalenAccount/UI/OrvalenProviderButtons.h"
#include "OrvalenAccount/UI/OrvalenSignInScreen.h"

#include "support/Pixels.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeBrowser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QTest>

#include <functional>
#include <memory>

namespace {

using Hint = OAuthDriver::ProviderHint;
using Phase = OrvalenSignInScreen::Phase;

TEST(OrvalenSignInKeyboard, AFocusedProviderButtonShowsItsRingWhateverItsFill)
{
    // The accent the application gives, and a dark one that takes white text.
    for (const QColor accent : {QColor(0xF0, 0xA3, 0x2A), QColor(0x1F, 0x4F, 0xC8)}) {
        for (const auto style : {OrvalenProviderButtonStyle::dark(accent), OrvalenProviderButtonStyle::light(accent)}) {
            for (const Hint hint : {Hint::apple, Hint::google, Hint::email}) {
                SCOPED_TRACE(QStringLiteral("%1 on %2, %3")
                                 .arg(OrvalenProviderButton::title(hint), accent.name(),
                                      style.isDark() ? QStringLiteral("dark") : QStringLiteral("light"))
                                 .toStdString());
                OrvalenProviderButton button(hint, style);
                button.resize(340, 40);
                const QImage plain = button.grab().toImage();
                QFocusEvent tabbedIn(QEvent::FocusIn, Qt::TabFocusReason);
                QApplication::sendEvent(&button, &tabbedIn);
                const QImage focused = button.grab().toImage();
                // A ring all round a 340 x 40 button changes several hundred pixels.
                EXPECT_GE(TestSupport::clearlyChangedPixels(plain, focused), 300) << "no visible focus ring";
            }
        }
    }
}

// What the screen called back.
struct Calls {
    QList<Hint> taps;
    int cancels = 0;
    int retries = 0;
};

TEST(OrvalenSignInKeyboard, ReturnEnterAndSpacePressTheFocusedButton)
{
    Fakes::FakeBrowser browser([](const QUrl &) { return false; });
    browser.setMode(Fakes::FakeBrowser::Mode::ignore);
    Calls calls;
    OrvalenSignInScreen screen(
        QIcon(), QStringLiteral("vantle"), QStringLiteral("Sign in to vantle with your Orvalen Account"),
        OrvalenProviderButtonStyle::dark(QColor(0xF0, 0xA3, 0x2A)), Phase::ready(),
        QUrl(QStringLiteral("https://orvalen.test/privacy/vantle")),
        QUrl(QStringLiteral("https://orvalen.test/terms/vantle")), [&calls](Hint hint) { calls.taps.append(hint); },
        [&calls] { ++calls.cancels; }, [&calls] { ++calls.retries; });
    screen.resize(480, 640);
    screen.show();

    const struct {
        const char *what;
        Phase phase;
        std::function<QAbstractButton *()> button;
        std::function<int()> count;
    } cases[] = {
        {"Sign in with Apple", Phase::ready(), [&] { return screen.providerButtons()->button(Hint::apple); },
         [&] { return int(calls.taps.count(Hint::apple)); }},
        {"Sign in with Google", Phase::ready(), [&] { return screen.providerButtons()->button(Hint::google); },
         [&] { return int(calls.taps.count(Hint::google)); }},
        {"Continue with email", Phase::ready(), [&] { return screen.providerButtons()->button(Hint::email); },
         [&] { return int(calls.taps.count(Hint::email)); }},
        {"Cancel sign-in", Phase::busy(), [&] { return screen.providerButtons()->cancelButton(); },
         [&] { return calls.cancels; }},
        {"Retry", Phase::offline(), [&] { return screen.findChild<OrvalenOutlineButton *>(QStringLiteral("retry")); },
         [&] { return calls.retries; }},
        {"Terms of Service", Phase::ready(),
         [&] { return screen.findChild<OrvalenLinkButton *>(QStringLiteral("termsLink")); },
         [&] { return int(browser.openedUrls().size()); }},
    };
    for (const auto &c : cases) {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            SCOPED_TRACE(QStringLiteral("%1, key %2").arg(QString::fromLatin1(c.what)).arg(int(key)).toStdString());
            screen.setPhase(c.phase);
            QAbstractButton *button = c.button();
            ASSERT_NE(button, nullptr);
            ASSERT_TRUE(button->isVisible() && button->isEnabled());
            QFocusEvent tabbedIn(QEvent::FocusIn, Qt::TabFocusReason);
            QApplication::sendEvent(button, &tabbedIn);
            const int before = c.count();
            QTest::keyClick(button, key);
            EXPECT_TRUE(TestSupport::waitUntil([&] { return c.count() == before + 1 && !button->isDown(); }))
                << "the key did not press the button once";
        }
    }
    // With a modifier it is another shortcut: the button does not even go down.
    const qsizetype before = calls.taps.size();
    screen.setPhase(Phase::ready());
    OrvalenProviderButton *apple = screen.providerButtons()->button(Hint::apple);
    QTest::keyClick(apple, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_FALSE(apple->isDown());
    // Nor does Return on a focus the window handed out when it came up, which shows no ring:
    // the person cannot know which sign-in Return would start.
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(apple, &out);
    QFocusEvent unseen(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(apple, &unseen);
    QTest::keyClick(apple, Qt::Key_Return);
    EXPECT_FALSE(apple->isDown());
    EXPECT_EQ(calls.taps.size(), before);
}


// Keyboard only, across the phase changes the owner makes: the focus the screen moves out of
// a control it hides or disables is still the keyboard's, so its ring shows and Return
// presses it; never an unseen focus that Return ignores and Space presses.
TEST(OrvalenSignInKeyboard, AFocusMovedByAPhaseChangeStaysTheKeyboards)
{
    Calls calls;
    std::unique_ptr<OrvalenSignInScreen> screen;
    // The owner: a tap starts a sign-in, a cancel or a retry brings the buttons back.
    screen = std::make_unique<OrvalenSignInScreen>(
        QIcon(), QStringLiteral("vantle"), QStringLiteral("Sign in to vantle with your Orvalen Account"),
        OrvalenProviderButtonStyle::dark(QColor(0xF0, 0xA3, 0x2A)), Phase::ready(),
        QUrl(QStringLiteral("https://orvalen.test/privacy/vantle")), QUrl(QStringLiteral("https://orvalen.test/terms/vantle")),
        [&](Hint hint) {
            calls.taps.append(hint);
            screen->setPhase(Phase::busy());
        },
        [&] {
            ++calls.cancels;
            screen->setPhase(Phase::ready());
        },
        [&] {
            ++calls.retries;
            screen->setPhase(Phase::ready());
        });
    screen->resize(480, 640);
    screen->show();
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    OrvalenProviderButtons *buttons = screen->providerButtons();
    const auto keyboardFocus = [] {
        auto *button = qobject_cast<PaintedButton *>(QApplication::focusWidget());
        return button && button->hasKeyboardFocus() ? button : nullptr;
    };
    const auto press = [&](Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : screen.get(), key);
    };

    for (int tabs = 0; tabs < 8 && keyboardFocus() != buttons->button(Hint::email); ++tabs)
        press(Qt::Key_Tab);
    ASSERT_EQ(keyboardFocus(), buttons->button(Hint::email));
    press(Qt::Key_Return);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return calls.taps == QList<Hint>{Hint::email}; }));
    EXPECT_EQ(keyboardFocus(), buttons->cancelButton()) << "busy: the keyboard is on \"Cancel sign-in\"";

    press(Qt::Key_Return);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return calls.cancels == 1; }));
    EXPECT_EQ(keyboardFocus(), buttons->button(Hint::apple)) << "ready again: on the first provider";
    press(Qt::Key_Space);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return calls.taps.size() == 2; }));
    EXPECT_EQ(calls.taps.last(), Hint::apple);

    // Busy again, and the service turns out unreachable: the card's Retry takes the keyboard.
    screen->setPhase(Phase::offline());
    EXPECT_EQ(keyboardFocus(), screen->findChild<OrvalenOutlineButton *>(QStringLiteral("retry")));
    press(Qt::Key_Return);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return calls.retries == 1; }));
    EXPECT_EQ(keyboardFocus(), buttons->button(Hint::apple));
}

// Keys that act on the screen wherever its focus is, also a focus handed out as the window
// came up: offline, Return presses Retry, the screen's main button; while a sign-in is on its
// way, Escape cancels it as "Cancel sign-in" does, and does nothing at any other time.
TEST(OrvalenSignInKeyboard, ReturnRetriesOfflineAndEscapeCancelsASignIn)
{
    Calls calls;
    OrvalenSignInScreen screen(
        QIcon(), QStringLiteral("vantle"), QStringLiteral("Sign in to vantle with your Orvalen Account"),
        OrvalenProviderButtonStyle::dark(QColor(0xF0, 0xA3, 0x2A)), Phase::ready(),
        QUrl(QStringLiteral("https://orvalen.test/privacy/vantle")), QUrl(QStringLiteral("https://orvalen.test/terms/vantle")),
        [&](Hint hint) { calls.taps.append(hint); }, [&] { ++calls.cancels; }, [&] { ++calls.retries; });
    screen.resize(480, 640);
    screen.show();
    screen.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&screen));
    const auto press = [&](Qt::Key key) { QTest::keyClick(screen.windowHandle(), key); };

    press(Qt::Key_Escape);
    screen.setPhase(Phase::offline());
    press(Qt::Key_Escape);
    press(Qt::Key_Return);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return calls.retries == 1; }));
    screen.setPhase(Phase::busy());
    press(Qt::Key_Escape);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return calls.cancels == 1; }));
    screen.setPhase(Phase::error(QStringLiteral("Sign-in failed.")));
    press(Qt::Key_Escape);
    press(Qt::Key_Return);
    for (const QAbstractButton *button : screen.findChildren<QAbstractButton *>())
        EXPECT_FALSE(button->isDown()) << "Return pressed " << button->text().toStdString();
    EXPECT_EQ(calls.cancels, 1) << "Escape cancelled with no sign-in on its way";
    EXPECT_TRUE(calls.taps.isEmpty());
}

} // namespace
