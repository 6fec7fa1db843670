// The settings window over its life: each appearance starts from what is stored then,
// closing it takes along whatever it shows, and what the window says when something of
// ours fails or stands in the way.

#include "SettingsFixture.h"

#include "Platform/AppModule.h"
#include "Platform/LoginItem.h"
#include "Vantle/Services/Analytics.h"
#include "Vantle/Utilities/DiagnosticLogger.h"
#include "Vantle/Views/SettingsAlert.h"
#include "Vantle/Views/SettingsSheet.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using TestSupport::waitUntil;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// Our own entry as GNOME's "Startup Applications" leaves it once switched off there.
QByteArray turnedOffInGnome()
{
    return QByteArray(LoginItem::mainApp().entryText())
        .replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false");
}

} // namespace

TEST_F(SettingsFixture, EachAppearanceStartsFromWhatIsStoredThen)
{
    const QString entry = configPath(QStringLiteral("autostart/vantle.desktop"));
    const double now = static_cast<double>(QDateTime::currentSecsSinceEpoch());
    struct Case {
        const char *name;
        std::function<void()> before;        // before the first opening
        std::function<void()> whileClosed;   // between closing and opening again
        const char *toggle;
        bool first;  // the switch at the first opening
        bool second; // at the second
        std::function<void()> check;         // after the second opening
    };
    const Case cases[] = {
        {"launch at login: our entry is registered again at every opening",
         [] { LoginItem::mainApp().registerItem(); },
         [&] { writeFile(entry, LoginItem::mainApp().entryText() + "X-Left-By-Someone=1\n"); },
         "Launch vantle at login", true, true,
         [&] { EXPECT_EQ(readFile(entry), LoginItem::mainApp().entryText()) << "registered once more"; }},
        {"launch at login turned off in GNOME meanwhile: off, and left off",
         [] { LoginItem::mainApp().registerItem(); }, [&] { writeFile(entry, turnedOffInGnome()); },
         "Launch vantle at login", true, false, [&] { EXPECT_EQ(readFile(entry), turnedOffInGnome()); }},
        {"launch at login turned off in GNOME before: off, and the entry is not rewritten",
         [&] { writeFile(entry, turnedOffInGnome()); }, [] {}, "Launch vantle at login", false, false,
         [&] { EXPECT_EQ(readFile(entry), turnedOffInGnome()); }},
        {"verbose diagnostics lapse after 24 hours",
         [this, now] {
             preferences->setValue(DiagnosticLogger::enabledKey, true);
             preferences->setValue(DiagnosticLogger::enabledAtKey, now - 60);
         },
         [this, now] { preferences->setValue(DiagnosticLogger::enabledAtKey, now - 86'401); }, "Verbose diagnostics",
         true, false, [this] { EXPECT_FALSE(preferences->boolValue(DiagnosticLogger::enabledKey)); }},
        {"analytics turned off elsewhere", [] {}, [this] { preferences->setValue(Analytics::optOutKey, true); },
         "Share anonymous usage analytics", true, false, [] {}},
        {"automatic diagnostics turned off elsewhere", [] {},
         [this] { preferences->setValue(DiagnosticUploader::enabledKey, false); },
         "Send anonymous diagnostic reports when something goes wrong", true, false, [] {}},
    };
    launchSignedOut();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(entry);
        for (const QString &key : {DiagnosticLogger::enabledKey, DiagnosticLogger::enabledAtKey, Analytics::optOutKey,
                                   DiagnosticUploader::enabledKey})
            preferences->remove(key);
        c.before();
        SettingsView &settings = makeView();
        settings.show();
        SettingsSwitch *shown = toggle(QString::fromLatin1(c.toggle));
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->isChecked(), c.first);
        settings.close();
        c.whileClosed();
        settings.show();
        EXPECT_EQ(shown->isChecked(), c.second);
        c.check();
        view.reset();
    }
}

TEST_F(SettingsFixture, ClosingTheWindowClosesWhatItShows)
{
    const auto sendReport = [this](SettingsView &settings) {
        click(button(QStringLiteral("Send Diagnostic Report")));
        ASSERT_TRUE(waitUntil([&] { return settings.showDiagnosticSuccess() || settings.showDiagnosticError(); }));
    };
    const struct {
        const char *name;
        bool signedIn;
        std::function<void(SettingsView &)> open;
        bool signOut; // the window closes on a sign-out elsewhere, else on its own close
    } cases[] = {
        {"the report's code, then a sign-out elsewhere", true, sendReport, true},
        {"why a report failed, then a sign-out elsewhere", true,
         [&](SettingsView &settings) {
             diagnostics.enqueue(QStringLiteral("POST"), Fakes::FakeDiagnosticsService::diagnosticsPath,
                                 Fakes::ScriptedAnswer::json(503, R"({"error":"Paused."})"));
             sendReport(settings);
         },
         true},
        {"the note before error reports go off, then a close", true,
         [this](SettingsView &) { click(toggle(QStringLiteral("Send anonymous error reports automatically"))); }, false},
        {"the reset's confirmation, then a sign-out elsewhere", true,
         [this](SettingsView &) { click(button(QStringLiteral("Reset & clear local data"))); }, true},
        {"a failed sign-in, then a close", false,
         [this](SettingsView &settings) {
             account->browser->setMode(Fakes::FakeBrowser::Mode::returnError);
             click(button(QStringLiteral("Sign in with Google")));
             ASSERT_TRUE(waitUntil([&] { return settings.showAlert(); }));
         },
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.signedIn)
            launchSignedIn();
        else
            launchSignedOut();
        SettingsView &settings = makeView();
        settings.show();
        c.open(settings);
        ASSERT_TRUE(shownDialog<SettingsSheet>() || shownDialog<SettingsAlert>()) << "something is shown";

        if (c.signOut) {
            account->service->signOut();
            ASSERT_TRUE(waitUntil([&] { return !account->service->isAuthenticated(); }));
        } else {
            settings.close();
        }
        EXPECT_FALSE(settings.isVisible());
        EXPECT_EQ(shownDialog<SettingsSheet>(), nullptr) << "a sheet went with the window";
        EXPECT_EQ(shownDialog<SettingsAlert>(), nullptr) << "an alert went with the window";
        EXPECT_FALSE(settings.showDiagnosticSuccess() || settings.showDiagnosticError() || settings.showOptOutNote() ||
                     settings.showAlert());
        view.reset();
    }
}

TEST_F(SettingsFixture, AReportThatCannotBeMadeSaysSoInPlainWords)
{
    // The zip writer cannot be loaded: the report is never made.
    QTemporaryDir noModules;
    AppModule::setDirectories({noModules.path()});
    launchSignedIn();
    SettingsView &settings = makeView();
    settings.show();
    click(button(QStringLiteral("Send Diagnostic Report")));
    ASSERT_TRUE(waitUntil([&] { return settings.showDiagnosticError() && !settings.isSendingDiagnostic(); }));
    AppModule::setDirectories({});
    SettingsSheet *sheet = shownDialog<SettingsSheet>();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->bodyText(), QStringLiteral("Something went wrong. Please try again."));
    EXPECT_EQ(diagnostics.uploads().size(), 0);
    ASSERT_EQ(logLines.size(), 1);
    EXPECT_EQ(logLines.first(),
              QStringLiteral("warn manual diagnostic upload failed: the diagnostic report could not be built"))
        << "the detail stays in the log";
}

TEST_F(SettingsFixture, AnotherProgramsLoginEntryIsLeftAndTheWindowSaysWhy)
{
    const QString entry = configPath(QStringLiteral("autostart/vantle.desktop"));
    const QByteArray foreign("[Desktop Entry]\nType=Application\nExec=/opt/other/vantle\n");
    writeFile(entry, foreign);
    launchSignedOut();
    SettingsView &settings = makeView();
    settings.show();
    SettingsSwitch *launch = toggle(QStringLiteral("Launch vantle at login"));
    EXPECT_FALSE(launch->isChecked());
    click(launch);
    EXPECT_FALSE(launch->isChecked()) << "back to what is registered";
    EXPECT_FALSE(settings.launchAtLoginEnabled());
    EXPECT_EQ(readFile(entry), foreign) << "not written over";
    SettingsAlert *alert = shownDialog<SettingsAlert>();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->titleText(), QStringLiteral("Couldn't turn on launch at login"));
    EXPECT_TRUE(alert->messageText().contains(entry)) << alert->messageText().toStdString();
    click(alert->cancelButton());
    ASSERT_TRUE(waitUntil([&] { return !settings.showAlert(); }));
    EXPECT_EQ(readFile(entry), foreign) << "nor removed";
}

TEST_F(SettingsFixture, ASignInFromTheWindowBringsTheApplicationForwardBeforeTheMainWindow)
{
    launchSignedOut();
    SettingsView &settings = makeView();
    settings.show();
    activation->clearCalls();
    QStringList order;
    QObject::connect(&settings, &SettingsView::openMainWindowRequested, &settings, [&] {
        order = activation->calls();
        order.append(QStringLiteral("open main window"));
    });
    account->browser->setMode(Fakes::FakeBrowser::Mode::follow);
    click(button(QStringLiteral("Continue with email")));
    ASSERT_TRUE(waitUntil([&] { return !order.isEmpty(); }));
    // Activation raises the focused window (this one); the main window opened after it
    // must end up on top.
    EXPECT_EQ(order, (QStringList{"activate", "open main window"}));
}
