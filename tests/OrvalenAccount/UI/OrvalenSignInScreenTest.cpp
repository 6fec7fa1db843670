#include "OrvalenAccount/UI/OrvalenLinkButton.h"
#include "OrvalenAccount/UI/OrvalenOutlineButton.h"
#include "OrvalenAccount/UI/OrvalenProviderButton.h"
#include "OrvalenAccount/UI/OrvalenProviderButtons.h"
#include "OrvalenAccount/UI/OrvalenSignInScreen.h"

#include "support/TaskRunner.h"
#include "tools/fakes/FakeBrowser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QTest>

#include <optional>

namespace {

using Hint = OAuthDriver::ProviderHint;
using Phase = OrvalenSignInScreen::Phase;

const QColor kAccent(0xF0, 0xA3, 0x2A);

// What a screen called back, in order.
struct Calls {
    QList<Hint> taps;
    int cancels = 0;
    int retries = 0;
};

std::unique_ptr<OrvalenSignInScreen> makeScreen(Calls &calls, Phase phase,
                                                OrvalenProviderButtonStyle style = OrvalenProviderButtonStyle::dark(kAccent),
                                                bool withCancel = true)
{
    std::function<void()> cancel;
    if (withCancel)
        cancel = [&calls] { ++calls.cancels; };
    auto screen = std::make_unique<OrvalenSignInScreen>(
        QIcon(), QStringLiteral("vantle"), QStringLiteral("Sign in to vantle with your Orvalen Account"), style,
        std::move(phase), QUrl(QStringLiteral("https://orvalen.test/privacy/vantle")),
        QUrl(QStringLiteral("https://orvalen.test/terms/vantle")), [&calls](Hint hint) { calls.taps.append(hint); },
        std::move(cancel), [&calls] { ++calls.retries; });
    screen->resize(480, 640);
    screen->show();
    return screen;
}

bool shown(const QWidget *screen, const char *name)
{
    const auto *widget = screen->findChild<QWidget *>(QString::fromLatin1(name));
    return widget && widget->isVisibleTo(screen);
}

TEST(OrvalenSignInScreen, EachProviderButtonCallsBackWithItsHint)
{
    for (const auto style : {OrvalenProviderButtonStyle::dark(kAccent), OrvalenProviderButtonStyle::light(kAccent)}) {
        Calls calls;
        auto screen = makeScreen(calls, Phase::ready(), style);
        const struct {
            Hint hint;
            QString title;
        } cases[] = {
            {Hint::apple, QStringLiteral("Sign in with Apple")},
            {Hint::google, QStringLiteral("Sign in with Google")},
            {Hint::email, QStringLiteral("Continue with email")},
        };
        for (const auto &c : cases) {
            OrvalenProviderButton *button = screen->providerButtons()->button(c.hint);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->text(), c.title);
            EXPECT_TRUE(button->isVisible());
            QTest::mouseClick(button, Qt::LeftButton);
        }
        EXPECT_EQ(calls.taps, (QList<Hint>{Hint::apple, Hint::google, Hint::email}));
    }
}

TEST(OrvalenSignInScreen, EveryPhaseShowsItsOwnRowsAndNoOther)
{
    const struct {
        const char *name;
        Phase phase;
        bool buttons, busyButtons, progress, offline, error;
    } cases[] = {
        {"ready", Phase::ready(), true, false, false, false, false},
        {"busy", Phase::busy(), true, true, true, false, false},
        {"offline", Phase::offline(), false, false, false, true, false},
        {"error", Phase::error(QStringLiteral("Sign-in didn't complete. Please try again.")), true, false, false,
         false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Calls calls;
        auto screen = makeScreen(calls, c.phase);
        OrvalenProviderButtons *buttons = screen->providerButtons();
        EXPECT_EQ(buttons->isVisible(), c.buttons);
        for (const Hint hint : {Hint::apple, Hint::google, Hint::email}) {
            EXPECT_EQ(buttons->button(hint)->isEnabled(), !c.busyButtons);
            EXPECT_DOUBLE_EQ(buttons->button(hint)->opacity(), c.busyButtons ? 0.55 : 1.0);
        }
        EXPECT_EQ(buttons->cancelButton() != nullptr, c.busyButtons);
        EXPECT_EQ(shown(screen.get(), "progressRow"), c.progress);
        EXPECT_EQ(shown(screen.get(), "offlineCard"), c.offline);
        EXPECT_EQ(shown(screen.get(), "errorRow"), c.error);
        if (c.progress) {
            EXPECT_EQ(screen->findChild<QLabel *>(QStringLiteral("progressText"))->text(),
                      QStringLiteral("Signing in to vantle\u2026"));
        }
        if (c.error) {
            EXPECT_EQ(screen->findChild<QLabel *>(QStringLiteral("errorText"))->text(), c.phase.message());
        }
    }
}

TEST(OrvalenSignInScreen, BusyButtonsIgnoreClicksAndCancelCallsBack)
{
    Calls calls;
    auto screen = makeScreen(calls, Phase::busy());
    for (const Hint hint : {Hint::apple, Hint::google, Hint::email})
        QTest::mouseClick(screen->providerButtons()->button(hint), Qt::LeftButton);
    EXPECT_TRUE(calls.taps.isEmpty()) << "a busy screen must not start a second sign-in";

    OrvalenLinkButton *cancel = screen->providerButtons()->cancelButton();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel sign-in"));
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_EQ(calls.cancels, 1);

    // The owner moves the phase on; the screen follows without remembering anything.
    screen->setPhase(Phase::ready());
    EXPECT_EQ(screen->providerButtons()->cancelButton(), nullptr);
    QTest::mouseClick(screen->providerButtons()->button(Hint::google), Qt::LeftButton);
    EXPECT_EQ(calls.taps, QList<Hint>{Hint::google});
}

// Return on a focused provider button presses it a moment later, even when the screen went
// busy meanwhile and disabled it: that late press must not start a second sign-in.
TEST(OrvalenSignInScreen, AReturnPressLandingAfterTheScreenWentBusyStartsNothing)
{
    Calls calls;
    auto screen = makeScreen(calls, Phase::ready());
    OrvalenProviderButton *google = screen->providerButtons()->button(Hint::google);
    QFocusEvent tabbedIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(google, &tabbedIn);
    bool pressed = false;
    QObject::connect(google, &QAbstractButton::clicked, [&pressed] { pressed = true; });
    QTest::keyClick(google, Qt::Key_Return);
    screen->setPhase(Phase::busy());
    ASSERT_TRUE(TestSupport::waitUntil([&pressed] { return pressed; })) << "the press never landed";
    EXPECT_TRUE(calls.taps.isEmpty()) << "a busy screen started a second sign-in";
}

TEST(OrvalenSignInScreen, BusyWithoutACancelActionOffersNoCancel)
{
    Calls calls;
    auto screen = makeScreen(calls, Phase::busy(), OrvalenProviderButtonStyle::light(kAccent), false);
    EXPECT_EQ(screen->providerButtons()->cancelButton(), nullptr);
    EXPECT_FALSE(screen->providerButtons()->button(Hint::apple)->isEnabled());
}

TEST(OrvalenSignInScreen, RetryOnTheOfflineCardCallsBack)
{
    Calls calls;
    auto screen = makeScreen(calls, Phase::offline());
    auto *retry = screen->findChild<OrvalenOutlineButton *>(QStringLiteral("retry"));
    ASSERT_NE(retry, nullptr);
    EXPECT_EQ(retry->text(), QStringLiteral("Retry"));
    ASSERT_TRUE(retry->isVisible());
    QTest::mouseClick(retry, Qt::LeftButton);
    QTest::mouseClick(retry, Qt::LeftButton);
    EXPECT_EQ(calls.retries, 2);
}

TEST(OrvalenSignInScreen, LegalLinksOpenTheirPagesInTheBrowser)
{
    Fakes::FakeBrowser browser([](const QUrl &) { return false; });
    browser.setMode(Fakes::FakeBrowser::Mode::ignore);
    Calls calls;
    auto screen = makeScreen(calls, Phase::offline());
    const struct {
        const char *objectName;
        QString title;
        QString url;
    } cases[] = {
        {"termsLink", QStringLiteral("Terms of Service"), QStringLiteral("https://orvalen.test/terms/vantle")},
        {"privacyLink", QStringLiteral("Privacy Policy"), QStringLiteral("https://orvalen.test/privacy/vantle")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.objectName);
        const qsizetype before = browser.openedUrls().size();
        auto *link = screen->findChild<OrvalenLinkButton *>(QString::fromLatin1(c.objectName));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->text(), c.title);
        EXPECT_TRUE(link->isVisible()) << "the links stay reachable in every phase";
        QTest::mouseClick(link, Qt::LeftButton);
        EXPECT_EQ(browser.openedUrls().mid(before), QList<QUrl>{QUrl(c.url)});
    }
}

TEST(OrvalenSignInScreenPhase, EqualByCaseAndMessage)
{
    EXPECT_EQ(Phase::error(QStringLiteral("a")), Phase::error(QStringLiteral("a")));
    EXPECT_NE(Phase::error(QStringLiteral("a")), Phase::error(QStringLiteral("b")));
    EXPECT_NE(Phase::ready(), Phase::busy());
    EXPECT_NE(Phase::offline(), Phase::error(QString()));
}

} // namespace
