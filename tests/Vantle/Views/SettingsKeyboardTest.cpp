// The settings window for a person at the keyboard: where the focus is shows, Return
// presses the focused button, Escape and Ctrl+W close the window, the window opens with no
// button that Return would press unseen, and a click never scrolls the form away.

#include "SettingsFixture.h"
#include "support/Pixels.h"

#include "Vantle/Views/SettingsAlert.h"
#include "Vantle/Views/SettingsLinks.h"
#include "Vantle/Views/UpdateDialog.h"

#include <QDesktopServices>
#include <QScrollArea>
#include <QScrollBar>

using TestSupport::waitUntil;

// Every change of a button's enabled state, with the form's scroll position at that moment.
class EnabledTurns final : public QObject {
public:
    EnabledTurns(QWidget *button, QScrollArea *form) : m_form(form) { button->installEventFilter(this); }
    QList<QPair<bool, int>> seen;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            seen.append({static_cast<QWidget *>(watched)->isEnabled(), m_form->verticalScrollBar()->value()});
        return false;
    }

private:
    QScrollArea *m_form;
};

class SettingsKeyboard : public SettingsFixture {
protected:
    SettingsView &openWindow()
    {
        SettingsView &settings = makeView();
        settings.show();
        settings.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&settings));
        return settings;
    }
};

TEST_F(SettingsKeyboard, EveryButtonShowsWhenTheKeyboardIsOnIt)
{
    buildUpdater(true);
    launchSignedIn();
    SettingsView &settings = openWindow();
    ASSERT_TRUE(waitUntil([&] { return updater->canCheckForUpdates(); }));
    const QString titles[] = {
        QStringLiteral("Sign out"),         QStringLiteral("Manage devices"),
        QStringLiteral("Export my data"),   QStringLiteral("Delete account"),
        QStringLiteral("Reset & clear local data"), QStringLiteral("Contact support"),
        QStringLiteral("Check for Updates…"), QStringLiteral("Learn what's included in these reports"),
        QStringLiteral("Send Diagnostic Report"), QStringLiteral("Privacy Policy"),
        QStringLiteral("Terms of Service"), QStringLiteral("Support"),
    };
    for (const QString &title : titles) {
        SCOPED_TRACE(title.toStdString());
        QAbstractButton *b = button(title);
        ASSERT_TRUE(b);
        ASSERT_TRUE(b->isVisibleTo(&settings) && b->isEnabled());
        settings.setFocus(Qt::OtherFocusReason);
        const QImage plain = b->grab().toImage();
        b->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(b->hasFocus());
        // A frame or an underline in the accent: dozens of pixels on the smallest link.
        EXPECT_GE(TestSupport::clearlyChangedPixels(plain, b->grab().toImage(), 60, 0), 20) << "the focus does not show";
        EXPECT_EQ(b->focusPolicy(), Qt::TabFocus) << "a click would leave a focus frame behind";
    }
}

// A switch the keyboard is on shows it, on as well as off: the ring stands off the track,
// where the accent of a switched-on track cannot swallow it.
TEST_F(SettingsKeyboard, ASwitchShowsTheKeyboardOnItOnAndOff)
{
    launchSignedIn();
    SettingsView &settings = openWindow();
    SettingsSwitch *meetingsSwitch = toggle(QStringLiteral("Show today's meetings"));
    ASSERT_TRUE(meetingsSwitch);
    // The switch and the room round it, as the window shows them.
    const auto picture = [&] {
        const QRect area(meetingsSwitch->mapTo(&settings, QPoint()), meetingsSwitch->size());
        return settings.grab(area.adjusted(-2, -2, 2, 2)).toImage();
    };
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on ? "on" : "off");
        meetingsSwitch->setChecked(on);
        settings.setFocus(Qt::OtherFocusReason);
        const QImage plain = picture();
        meetingsSwitch->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(meetingsSwitch->hasFocus());
        // Most of a ring 2 pixels wide round the 32 x 18 track: a ring lost in the accent of
        // the track, or a thin line on its edge, shows far less.
        EXPECT_GE(TestSupport::contrastingPixels(plain, picture()), 3 * (32 + 18)) << "the focus is hard to see";
    }
}

TEST_F(SettingsKeyboard, ReturnPressesTheFocusedButton)
{
    launchSignedIn();
    account->browser.reset(); // the pages go to the recorder below
    OpenedUrls opened;
    openWindow();
    const struct {
        QString title;
        std::optional<QUrl> page; // else the reset's confirmation
    } cases[] = {
        {QStringLiteral("Manage devices"), SettingsLinks::accountPage()},
        {QStringLiteral("Contact support"), SettingsLinks::support()},
        {QStringLiteral("Learn what's included in these reports"), SettingsLinks::errorReportsPrivacy()},
        {QStringLiteral("Terms of Service"), SettingsLinks::termsOfService()},
        {QStringLiteral("Reset & clear local data"), std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        QAbstractButton *b = button(c.title);
        ASSERT_TRUE(b);
        b->setFocus(Qt::TabFocusReason);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            const qsizetype before = opened.urls.size();
            QTest::keyClick(b, key);
            if (c.page) {
                EXPECT_TRUE(waitUntil([&] { return opened.urls.size() == before + 1 && !b->isDown(); }));
                EXPECT_EQ(opened.urls.mid(before), QList<QUrl>{*c.page});
            } else {
                ASSERT_TRUE(waitUntil([] { return shownDialog<SettingsAlert>() != nullptr; }));
                shownDialog<SettingsAlert>()->reject();
                ASSERT_TRUE(waitUntil([&] { return shownDialog<SettingsAlert>() == nullptr && !b->isDown(); }));
                b->setFocus(Qt::TabFocusReason);
            }
        }
    }
    EXPECT_TRUE(account->service->isAuthenticated()) << "the reset ran without its confirmation";
}

TEST_F(SettingsKeyboard, TheWindowOpensWithNoButtonUnderTheFocus)
{
    launchSignedIn();
    SettingsView &settings = openWindow();
    QWidget *focused = QApplication::focusWidget();
    ASSERT_TRUE(focused);
    EXPECT_EQ(focused->window(), &settings);
    EXPECT_FALSE(qobject_cast<QAbstractButton *>(focused))
        << "Return would press \"" << qobject_cast<QAbstractButton *>(focused)->text().toStdString() << "\" unseen";
    // The first Tab reaches the first button of the form.
    QTest::keyClick(focused, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), button(QStringLiteral("Sign out")));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), button(QStringLiteral("Manage devices")));
}

TEST_F(SettingsKeyboard, EscapeAndTheCloseKeysCloseTheWindow)
{
    launchSignedIn();
    const struct {
        const char *name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } cases[] = {
        {"Escape", Qt::Key_Escape, Qt::NoModifier},
        {"Ctrl+W", Qt::Key_W, Qt::ControlModifier},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SettingsView &settings = openWindow();
        ASSERT_TRUE(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), c.key, c.modifiers);
        EXPECT_TRUE(waitUntil([&] { return !settings.isVisible(); }));
        EXPECT_TRUE(account->service->isAuthenticated()) << "closing is not signing out";
    }
}

TEST_F(SettingsKeyboard, AClickThatDisablesItsButtonLeavesTheFormWhereItWas)
{
    feed.setReleases({});
    buildUpdater(true);
    launchSignedIn();
    SettingsView &settings = openWindow();
    ASSERT_TRUE(waitUntil([&] { return updater->canCheckForUpdates(); }));
    QAbstractButton *check = button(QStringLiteral("Check for Updates…"));
    auto *form = settings.findChild<QScrollArea *>();
    ASSERT_TRUE(check && form);
    // The button at the bottom edge of the window, the next switches out of sight below it.
    form->ensureWidgetVisible(check, 0, 0);
    const int scrolled = form->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    // Each turn of the button, with where the form stood right then: a check can start and
    // end within one turn of the event loop, too quick for a wait to see the button off.
    EnabledTurns turns(check, form);
    click(check);
    ASSERT_TRUE(waitUntil([&] { return turns.seen.size() >= 2 && turns.seen.constLast().first; }));
    ASSERT_FALSE(turns.seen.constFirst().first) << "the button is off while the check runs";
    for (const auto &[enabled, value] : turns.seen)
        EXPECT_EQ(value, scrolled) << "the form jumped when the button turned " << (enabled ? "on" : "off");
    EXPECT_EQ(form->verticalScrollBar()->value(), scrolled);
}

// A check started from the keyboard leaves the focus on "Check for Updates…" once its dialog
// is closed, not on whatever came after the button while it was off.
TEST_F(SettingsKeyboard, AfterTheUpdateDialogTheFocusIsBackOnTheCheck)
{
    feed.setReleases({});
    updateDialogs = true;
    buildUpdater(true);
    launchSignedIn();
    SettingsView &settings = openWindow();
    ASSERT_TRUE(waitUntil([&] { return updater->canCheckForUpdates(); }));
    QAbstractButton *check = button(QStringLiteral("Check for Updates…"));
    check->setFocus(Qt::TabFocusReason);
    QTest::keyClick(settings.windowHandle(), Qt::Key_Return);
    UpdateDialog *dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = qobject_cast<UpdateDialog *>(QApplication::activeWindow())); }));
    QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);
    // The desktop hands the focus back to the window under the dialog.
    settings.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &settings && updater->canCheckForUpdates(); }));
    EXPECT_EQ(QApplication::focusWidget(), check);
}

TEST_F(SettingsKeyboard, TheTitleLeavesTheApplicationsNameToTheDesktop)
{
    // The desktop adds " — Vantle" to every window's title: the window must not say it too.
    launchSignedOut();
    SettingsView &settings = makeView();
    EXPECT_FALSE(settings.windowTitle().contains(QStringLiteral("vantle"), Qt::CaseInsensitive))
        << settings.windowTitle().toStdString();
    EXPECT_FALSE(settings.windowTitle().isEmpty());
}
