// The settings window on the real account objects: its frame, the account rows by state,
// sign-in and sign-out from it, the reset with its relaunch, launch at login, the updates
// rows and the web links.

#include "SettingsFixture.h"

#include "OrvalenAccount/KeychainStorage.h"
#include "Platform/LoginItem.h"
#include "Vantle/App/AppDelegate.h"
#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/SettingsAlert.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <algorithm>

using TestSupport::waitUntil;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST_F(SettingsFixture, AFixedDarkWindowOfSixSectionsInOrder)
{
    launchSignedOut();
    SettingsView &settings = makeView();
    EXPECT_EQ(settings.size(), QSize(440, 500));
    EXPECT_EQ(settings.minimumSize(), settings.maximumSize()) << "the window cannot be resized";
    QStringList headers;
    for (SettingsSection *s : sections())
        headers.append(s->header() ? s->header()->text() : QStringLiteral("(none)"));
    EXPECT_EQ(headers, (QStringList{"Account", "General", "Privacy & Support", "Updates", "Help & Diagnostics",
                                    "(none)"}));
    // Dark whatever the desktop's theme: the window's own background is the canvas.
    settings.show();
    const QImage picture = settings.grab().toImage();
    EXPECT_EQ(QColor(picture.pixel(2, picture.height() / 2)), Theme::canvas);
}

TEST_F(SettingsFixture, AccountRowsFollowTheSignedInState)
{
    struct Case {
        const char *name;
        bool signedIn;
        QString email;
        QString shownName; // the "Account" row
    };
    const Case cases[] = {
        {"signed out", false, {}, {}},
        {"signed in", true, QStringLiteral("ada@example.com"), QStringLiteral("ada@example.com")},
        {"signed in without an e-mail: the name is shortened, the identifier is not", true, QString(),
         QStringLiteral("oa_0190f3...4b6a")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.signedIn)
            launchSignedIn(accountID, c.email);
        else
            launchSignedOut();
        makeView();
        const QStringList expected =
            c.signedIn ? QStringList{"[Sign out]", "Account | " + c.shownName, "Account ID | " + accountID,
                                     "[Manage devices]", "[Export my data]", "[Delete account]",
                                     "[Reset & clear local data]"}
                       : signedOutAccountRows;
        EXPECT_EQ(visibleRows(section(QStringLiteral("Account"))), expected);
    }
}

TEST_F(SettingsFixture, ASignOutFromAnywhereClosesTheWindowAndASignInNeverDoes)
{
    struct Case {
        const char *name;
        bool fromTheWindow;
    };
    for (const Case &c : {Case{"the Sign out button", true}, Case{"a sign-out elsewhere", false}}) {
        SCOPED_TRACE(c.name);
        launchSignedIn();
        SettingsView &settings = makeView();
        settings.show();
        if (c.fromTheWindow)
            click(button(QStringLiteral("Sign out")));
        else
            account->service->signOut();
        ASSERT_TRUE(waitUntil([&] {
            return !account->service->isAuthenticated() && !settings.isVisible() && !account->stored().has_value();
        })) << "signed out, the window closed and the stored session gone";
        EXPECT_EQ(visibleRows(section(QStringLiteral("Account"))), signedOutAccountRows);
    }

    // Signing in while the window is open leaves it open.
    launchSignedOut();
    SettingsView &settings = makeView();
    settings.show();
    account->storeLiveSession(3600, accountID, QStringLiteral("ada@example.com"));
    TestSupport::runTask(account->bridge->manager()->restore(false));
    ASSERT_TRUE(account->service->isAuthenticated());
    EXPECT_TRUE(settings.isVisible());
    EXPECT_EQ(visibleRows(section(QStringLiteral("Account"))).size(), 7);
}

TEST_F(SettingsFixture, SignInFromTheWindowOpensTheMainWindowOrShowsWhyItFailed)
{
    using Mode = Fakes::FakeBrowser::Mode;
    enum class End { browser, closeWindow, cancelButton };
    struct Case {
        const char *name;
        const char *provider;
        Mode mode;
        End end;
        bool signedIn;
        bool alert;
    };
    const Case cases[] = {
        {"the person signs in", "Sign in with Google", Mode::follow, End::browser, true, false},
        {"by e-mail", "Continue with email", Mode::follow, End::browser, true, false},
        {"the person refuses on the sign-in page", "Sign in with Google", Mode::returnError, End::browser, false, true},
        {"the window closes while the browser is open", "Continue with email", Mode::ignore, End::closeWindow, false,
         false},
        {"Cancel sign-in while the browser is open", "Sign in with Google", Mode::ignore, End::cancelButton, false,
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        launchSignedOut();
        SettingsView &settings = makeView();
        QSignalSpy mainWindow(&settings, &SettingsView::openMainWindowRequested);
        settings.show();
        activation->clearCalls();
        account->browser->setMode(c.mode);

        click(button(QString::fromUtf8(c.provider)));
        EXPECT_TRUE(account->service->isAuthenticating());
        if (c.end != End::browser) {
            ASSERT_TRUE(waitUntil([&] { return !account->browser->openedUrls().isEmpty(); }));
            // Busy: the three are disabled and a cancel control shows.
            EXPECT_EQ(visibleRows(section(QStringLiteral("Account"))).first(),
                      QStringLiteral("[Sign in with Apple] | [Sign in with Google] | [Continue with email] | "
                                     "[Cancel sign-in]"));
            EXPECT_FALSE(button(QStringLiteral("Sign in with Apple"))->isEnabled());
            if (c.end == End::closeWindow)
                settings.close();
            else
                click(button(QStringLiteral("Cancel sign-in")));
        }
        // The window's own steps after the sign-in ends (the main window, the alert) come
        // after the service's; a second one of either would come within a few turns.
        ASSERT_TRUE(waitUntil([&] {
            return !account->service->isAuthenticating() && mainWindow.count() == (c.signedIn ? 1 : 0)
                && settings.showAlert() == c.alert;
        }));
        TestSupport::spinFor(std::chrono::milliseconds(50));

        EXPECT_EQ(account->service->isAuthenticated(), c.signedIn);
        EXPECT_FALSE(account->bridge->manager()->isSignInPending());
        EXPECT_EQ(mainWindow.count(), c.signedIn ? 1 : 0);
        EXPECT_EQ(activation->calls(), c.signedIn ? QStringList{"activate"} : QStringList{});
        EXPECT_EQ(settings.isVisible(), c.end != End::closeWindow) << "a sign-in never closes the window";
        SettingsAlert *alert = shownDialog<SettingsAlert>();
        EXPECT_EQ(settings.showAlert(), c.alert);
        ASSERT_EQ(alert != nullptr, c.alert);
        if (alert) {
            EXPECT_EQ(alert->titleText(), QStringLiteral("Sign-in failed"));
            EXPECT_FALSE(alert->messageText().isEmpty());
            EXPECT_EQ(alert->messageText(), settings.alertMessage());
            ASSERT_TRUE(alert->cancelButton());
            EXPECT_EQ(alert->cancelButton()->text(), QStringLiteral("OK"));
            click(alert->cancelButton());
            ASSERT_TRUE(waitUntil([&] { return !settings.showAlert(); }));
            EXPECT_EQ(settings.alertTitle(), QStringLiteral("Sign-in failed")) << "the texts stay for next time";
        }
        const QStringList rows = visibleRows(section(QStringLiteral("Account")));
        EXPECT_EQ(rows.first(), c.signedIn ? QStringLiteral("[Sign out]") : signedOutAccountRows.first());
    }
}

TEST_F(SettingsFixture, OpeningTheWindowEndsASignInLeftPendingElsewhere)
{
    launchSignedOut();
    SettingsView &settings = makeView();
    QWidget elsewhere; // the first-run gate's window
    elsewhere.show();
    account->browser->setMode(Fakes::FakeBrowser::Mode::ignore);
    std::optional<SignInResult> result;
    auto signingIn = [&]() -> QCoro::Task<void> {
        result = co_await account->service->beginSignIn(OAuthDriver::ProviderHint::email);
    };
    QCoro::Task<void> task = signingIn();
    ASSERT_TRUE(waitUntil([&] { return account->bridge->manager()->isSignInPending(); }));
    settings.show();
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, SignInResult::cancelled());
    EXPECT_EQ(eventNames().first(), QStringLiteral("settings_viewed"));
    EXPECT_TRUE(settings.isSettingsVisible());
}

TEST_F(SettingsFixture, ResetAsksFirstThenClearsTheAccountAndRelaunchesOnce)
{
    QTemporaryDir runtime;
    struct Case {
        const char *name;
        bool liveDelegate;
        bool revokeFails;
    };
    for (const Case &c : {Case{"with the application's delegate", true, false},
                          Case{"the sign-out's revoke fails: the reset goes on", true, true},
                          Case{"without a delegate", false, false}}) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<AppDelegate> delegate;
        int quits = 0;
        if (c.liveDelegate) {
            delegate = std::make_unique<AppDelegate>(runtime.path());
            ASSERT_EQ(TestSupport::runTask(delegate->launch({})), AppDelegate::LaunchRole::primary);
            delegate->setRelaunchProgram(QStringLiteral("/bin/true"));
            delegate->setQuitHandler([&quits]() { ++quits; });
        }
        launchSignedIn();
        account->journal.clear();
        KeychainStorage storage = account->storage();
        storage.setData("{}", KeychainStorage::Keys::oidcAuthState);
        storage.setData("jkt", KeychainStorage::Keys::dpopJwkThumbprint);
        if (c.revokeFails) {
            account->identity.enqueue(QStringLiteral("POST"), Fakes::FakeIdentityService::revokePath,
                                      Fakes::ScriptedAnswer::json(503, "{}"));
        }
        SettingsView &settings = makeView();
        settings.show();
        QAbstractButton *reset = button(QStringLiteral("Reset & clear local data"));

        // Cancel asks nothing more and changes nothing.
        click(reset);
        SettingsAlert *confirm = shownDialog<SettingsAlert>();
        ASSERT_TRUE(confirm);
        EXPECT_EQ(confirm->titleText(), QStringLiteral("Reset & clear local data"));
        EXPECT_EQ(confirm->messageText(),
                  QStringLiteral("This signs you out and clears local data. You'll need to sign in again. Continue?"));
        EXPECT_EQ(confirm->cancelButton()->text(), QStringLiteral("Cancel"));
        click(confirm->cancelButton());
        TestSupport::spinFor(std::chrono::milliseconds(20));
        EXPECT_TRUE(account->service->isAuthenticated());
        EXPECT_TRUE(reset->isEnabled());
        EXPECT_TRUE(account->journalOf(QStringLiteral("track settings_reset_local_data")).isEmpty());

        // Confirmed: signed out, the account's items gone, the window closed, one relaunch.
        click(reset);
        confirm = shownDialog<SettingsAlert>();
        ASSERT_TRUE(confirm && confirm->destructiveButton());
        EXPECT_EQ(confirm->destructiveButton()->text().replace(QStringLiteral("&&"), QStringLiteral("&")),
                  QStringLiteral("Reset & clear local data"));
        click(confirm->destructiveButton());
        EXPECT_TRUE(settings.isResetting());
        EXPECT_FALSE(reset->isEnabled());
        // The reset's last steps follow the sign-out: the items go, then the relaunch.
        const QString keys[] = {KeychainStorage::Keys::session, KeychainStorage::Keys::oidcAuthState,
                                KeychainStorage::Keys::dpopJwkThumbprint};
        const auto itemsGone = [&] {
            return std::none_of(std::begin(keys), std::end(keys), [&](const QString &key) { return static_cast<bool>(storage.getData(key)); });
        };
        ASSERT_TRUE(waitUntil([&] {
            return !account->service->isAuthenticated() && itemsGone() && quits == (c.liveDelegate ? 1 : 0);
        }));
        EXPECT_FALSE(settings.isVisible());
        EXPECT_EQ(quits, c.liveDelegate ? 1 : 0);
        EXPECT_EQ(preferences->boolValue(AppDelegate::resetRelaunchPendingKey), c.liveDelegate);

        // A second request while resetting does nothing.
        settings.resetAndClearLocalData();
        TestSupport::spinFor(std::chrono::milliseconds(50));
        EXPECT_EQ(account->journalOf(QStringLiteral("track settings_reset_local_data")).size(), 1);
        EXPECT_EQ(quits, c.liveDelegate ? 1 : 0);
        EXPECT_FALSE(reset->isEnabled()) << "without a relaunch the button stays disabled";
        view.reset();
        preferences->remove(AppDelegate::resetRelaunchPendingKey);
    }
}

TEST_F(SettingsFixture, LaunchAtLoginWritesAndRemovesTheAutostartEntry)
{
    const QString entry = configPath(QStringLiteral("autostart/vantle.desktop"));
    struct Case {
        const char *name;
        std::function<void()> before;
        bool shownOn;       // the toggle when the window opens
        bool afterClick;    // the toggle after one click
        bool entryAfter;    // our entry exists after that click
    };
    const Case cases[] = {
        {"not registered: on, then off", [] {}, false, true, true},
        {"registered before: shown on, registered once more; a click turns it off",
         [] { LoginItem::mainApp().registerItem(); }, true, false, false},
        {"hidden by the desktop counts as off", [&] {
             LoginItem::mainApp().registerItem();
             QFile file(entry);
             file.open(QIODevice::Append);
             file.write("Hidden=true\n");
         }, false, true, true},
        {"the autostart folder cannot be made: back to off", [&] {
             QFile file(configPath(QStringLiteral("autostart")));
             file.open(QIODevice::WriteOnly);
             file.write("not a folder");
         }, false, false, false},
    };
    launchSignedOut();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(configPath(QStringLiteral("autostart"))).removeRecursively();
        QFile::remove(configPath(QStringLiteral("autostart")));
        c.before();
        SettingsView &settings = makeView();
        settings.show();
        SettingsSwitch *launch = toggle(QStringLiteral("Launch vantle at login"));
        ASSERT_TRUE(launch);
        EXPECT_EQ(launch->isChecked(), c.shownOn);
        EXPECT_EQ(settings.launchAtLoginEnabled(), c.shownOn);
        if (c.shownOn) {
            EXPECT_EQ(readFile(entry), LoginItem::mainApp().entryText()) << "registered once more on show";
        }

        click(launch);
        EXPECT_EQ(launch->isChecked(), c.afterClick);
        EXPECT_EQ(settings.launchAtLoginEnabled(), c.afterClick);
        EXPECT_EQ(LoginItem::mainApp().status() == LoginItem::Status::enabled, c.entryAfter);
        if (c.afterClick) {
            click(launch);
            EXPECT_FALSE(QFile::exists(entry)) << "turning it off removes our entry";
        }
        view.reset();
    }
}

TEST_F(SettingsFixture, UpdateRowsFollowTheUpdater)
{
    launchSignedOut();
    const auto checkButton = [&] { return button(QStringLiteral("Check for Updates…")); };
    const auto betaEvents = [&] { return enabledValues(QStringLiteral("beta_updates_setting_changed")); };

    // No usable configuration: both controls stay disabled.
    makeView();
    EXPECT_FALSE(checkButton()->isEnabled());
    EXPECT_FALSE(toggle(QStringLiteral("Install beta updates"))->isEnabled());
    click(toggle(QStringLiteral("Install beta updates")));
    EXPECT_FALSE(preferences->contains(UpdaterService::betaEnabledKey));

    // Usable: a check by hand, beta on (checks at once) and off (never checks).
    feed.setReleases({});
    buildUpdater(true);
    SettingsView &settings = makeView();
    settings.show();
    ASSERT_TRUE(waitUntil([&] { return updater->canCheckForUpdates(); }));
    EXPECT_TRUE(checkButton()->isEnabled());
    SettingsSwitch *beta = toggle(QStringLiteral("Install beta updates"));
    EXPECT_TRUE(beta->isEnabled());
    EXPECT_FALSE(beta->isChecked());

    struct Step {
        const char *name;
        QAbstractButton *control;
        bool checks;            // a check the person asked for starts
        std::optional<bool> beta; // the stored opt-in afterwards
    };
    const Step steps[] = {
        {"Check for Updates…", checkButton(), true, std::nullopt},
        {"beta on", beta, true, true},
        {"beta off", beta, false, false},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.name);
        ASSERT_TRUE(waitUntil([&] { return updater->canCheckForUpdates(); }));
        const qsizetype shownBefore = updateUser ? updateUser->shown().size() : 0;
        updaterActivation.clearCalls();
        click(s.control);
        if (s.checks) {
            ASSERT_TRUE(waitUntil([&] { return updateUser->shown().size() > shownBefore; }));
            EXPECT_EQ(updaterActivation.calls().first(), QStringLiteral("policy regular"));
        } else {
            TestSupport::spinFor(std::chrono::milliseconds(100));
            EXPECT_EQ(updateUser->shown().size(), shownBefore);
            EXPECT_TRUE(updaterActivation.calls().isEmpty());
        }
        if (s.beta) {
            EXPECT_EQ(preferences->boolValue(UpdaterService::betaEnabledKey), *s.beta);
            EXPECT_EQ(beta->isChecked(), *s.beta);
            EXPECT_EQ(betaEvents().constLast(), *s.beta);
        }
    }
    EXPECT_EQ(betaEvents(), (QList<bool>{true, false}));

    // A failed check shows its message under the button, and it stays after a success.
    const QString failure = QStringLiteral("Update check failed: The update server answered with status 500.");
    QWidget *statusRow = nullptr;
    for (QWidget *row : section(QStringLiteral("Updates"))->rows()) {
        if (describeRow(row).isEmpty())
            statusRow = row;
    }
    ASSERT_TRUE(statusRow) << "no status row while nothing failed";
    EXPECT_FALSE(statusRow->isVisibleTo(&settings));
    feed.enqueue(QStringLiteral("GET"), QString::fromLatin1(Fakes::FakeUpdateFeed::feedPath),
                 Fakes::ScriptedAnswer::json(500, "{}"));
    ASSERT_TRUE(waitUntil([&] { return updater->canCheckForUpdates(); }));
    click(checkButton());
    ASSERT_TRUE(waitUntil([&] { return updater->statusMessage().has_value(); }));
    EXPECT_TRUE(statusRow->isVisibleTo(&settings));
    EXPECT_EQ(describeRow(statusRow), failure);
    EXPECT_EQ(visibleRows(section(QStringLiteral("Updates"))).at(1), failure);
}

TEST_F(SettingsFixture, WebLinksOpenTheirPagesAndTheVersionShows)
{
    qputenv("VANTLE_WEB_URL", "https://web.example");
    launchSignedIn();
    account->browser.reset(); // the links go to the recorder below
    OpenedUrls opened;
    SettingsView &settings = makeView();
    settings.show();
    const struct {
        const char *title;
        const char *url;
    } links[] = {
        {"Privacy Policy", "https://web.example/privacy/vantle"},
        {"Terms of Service", "https://web.example/terms/vantle"},
        {"Support", "https://web.example/contact?app=vantle"},
        {"Contact support", "https://web.example/contact?app=vantle"},
        {"Manage devices", "https://web.example/account"},
        {"Export my data", "https://web.example/account"},
        {"Delete account", "https://web.example/account"},
        {"Learn what's included in these reports", "https://web.example/privacy#error-reports"},
    };
    for (const auto &link : links) {
        SCOPED_TRACE(link.title);
        opened.urls.clear();
        click(button(QString::fromUtf8(link.title)));
        ASSERT_EQ(opened.urls.size(), 1);
        EXPECT_EQ(opened.urls.first().toString(), QString::fromUtf8(link.url));
    }
    // The footer: links parted by a middle dot, nothing else.
    SettingsSection *footer = sections().constLast();
    EXPECT_EQ(visibleRows(footer),
              QStringList{"[Privacy Policy] | · | [Terms of Service] | · | [Support]"});
    EXPECT_TRUE(visibleRows(section(QStringLiteral("Privacy & Support"))).contains(QStringLiteral("Version | 0.1.0")));
    qunsetenv("VANTLE_WEB_URL");
}
