// The settings window's preference rows: every section's rows by account state, the
// toggles' start values and what each toggle writes and does, the error-report note, the
// meetings footnote and its calendar request, and the manual diagnostic report with its
// sheets against the loopback diagnostics intake.

#include "SettingsFixture.h"

#include "Vantle/Services/DiagnosticError.h"
#include "Vantle/Services/ErrorTelemetryConsent.h"
#include "Vantle/Services/GeoProbeClient.h"
#include "Vantle/Utilities/DiagnosticLogger.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "Vantle/Views/SettingsSheet.h"

#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>

using TestSupport::waitUntil;
using Fakes::ScriptedAnswer;

namespace {

const QString calendarOff = QStringLiteral("Calendar access is off. Enable it in the desktop's settings.");
const QString calendarAsks = QStringLiteral("Turning this on asks the desktop's calendar for access so vantle can "
                                            "list today's events — they never leave this computer.");
const QString calendarLists =
    QStringLiteral("Lists today's events on the main window so you can count them in your week with one click.");

} // namespace

TEST_F(SettingsFixture, EverySectionShowsItsRowsInOrderByAccountState)
{
    const QStringList general{
        "(Launch vantle at login: off)",
        "Keeps vantle available the moment you sign in to this computer.",
        "(Show today's meetings: off)",
        calendarAsks,
    };
    const QStringList privacy{
        "(Share anonymous usage analytics: on)",
        "Covers product events such as onboarding steps, timer starts and stops, and which settings you change. Your "
        "entry notes and category names are never sent.",
        "[Contact support]",
        "Version | 0.1.0",
    };
    const QStringList updates{
        "[Check for Updates…]",
        "(Install beta updates: off)",
        "New features and changes land here first, and things may break occasionally. But if that's your jam, hop in. "
        "Turning this off keeps any beta you already have until a stable release catches up.",
    };
    const auto help = [](const QString &reportRow) {
        return QStringList{
            "(Send anonymous error reports automatically: on)",
            "When something goes wrong, a brief technical summary is sent automatically to help us fix it faster. It "
            "includes only error types, app version, and OS version — never your time entries, your account details, "
            "or any personal information.",
            "[Learn what's included in these reports]",
            reportRow,
            "(Send anonymous diagnostic reports when something goes wrong: on)",
            "Includes app version and OS version, plus recent app logs when available. Never includes your time "
            "entries.",
            "(Verbose diagnostics: off)",
            "Captures additional detail for up to 24 hours. Disable once you've sent your report. Turns off "
            "automatically.",
        };
    };
    for (const bool signedIn : {false, true}) {
        SCOPED_TRACE(signedIn ? "signed in" : "signed out");
        if (signedIn)
            launchSignedIn();
        else
            launchSignedOut();
        makeView();
        EXPECT_EQ(visibleRows(section(QStringLiteral("General"))), general);
        EXPECT_EQ(visibleRows(section(QStringLiteral("Privacy & Support"))), privacy);
        EXPECT_EQ(visibleRows(section(QStringLiteral("Updates"))), updates);
        EXPECT_EQ(visibleRows(section(QStringLiteral("Help & Diagnostics"))),
                  help(signedIn ? QStringLiteral("[Send Diagnostic Report]")
                                : QStringLiteral("Sign in to send a diagnostic report.")));
    }
}

TEST_F(SettingsFixture, TogglesStartFromWhatIsStored)
{
    const double now = static_cast<double>(QDateTime::currentSecsSinceEpoch());
    struct Case {
        const char *name;
        QVariantMap stored;
        const char *toggle;
        bool shown;
    };
    const Case cases[] = {
        {"analytics opted out", {{"vantle.analytics.optOut", true}}, "Share anonymous usage analytics", false},
        {"diagnostics turned off", {{"vantle.diagnosticsEnabled", false}}, "Send anonymous diagnostic reports when something goes wrong", false},
        {"verbose since an hour", {{"vantle.verboseDiagnosticsEnabled", true}, {"vantle.verboseDiagnosticsEnabledAt", now - 3600}},
         "Verbose diagnostics", true},
        {"verbose since 24 hours: lapsed", {{"vantle.verboseDiagnosticsEnabled", true}, {"vantle.verboseDiagnosticsEnabledAt", now - 86400}},
         "Verbose diagnostics", false},
        {"error reports never chosen, in the EU", {{"orvalen.error_telemetry_geo_is_eu", true}},
         "Send anonymous error reports automatically", false},
        {"error reports never chosen, elsewhere", {{"orvalen.error_telemetry_geo_is_eu", false}},
         "Send anonymous error reports automatically", true},
        {"error reports chosen on in the EU", {{"orvalen.error_telemetry_geo_is_eu", true}, {"orvalen.error_telemetry_enabled", true}},
         "Send anonymous error reports automatically", true},
        {"meetings on", {{"vantle.showMeetings", true}}, "Show today's meetings", true},
        {"beta on", {{"vantle.updates.betaEnabled", true}}, "Install beta updates", true},
    };
    launchSignedOut();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        view.reset();
        preferences = std::make_shared<InMemoryPreferences>();
        Preferences::setStandard(preferences);
        for (auto it = c.stored.cbegin(); it != c.stored.cend(); ++it)
            preferences->setValue(it.key(), it.value());
        makeView();
        SettingsSwitch *shown = toggle(QString::fromUtf8(c.toggle));
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->isChecked(), c.shown);
    }
    // The lapsed verbose flag was put back to off.
    EXPECT_FALSE(preferences->boolValue(QStringLiteral("vantle.verboseDiagnosticsEnabled"), true) &&
                 preferences->contains(QStringLiteral("vantle.verboseDiagnosticsEnabledAt")) &&
                 preferences->doubleValue(QStringLiteral("vantle.verboseDiagnosticsEnabledAt")) > now - 3600);
}

TEST_F(SettingsFixture, EachToggleWritesItsKeyAndRunsItsHandler)
{
    launchSignedOut();
    KeychainHelper::save(QStringLiteral("dev_legacy"), Analytics::legacyDistinctIDKey);
    KeychainHelper::save(QStringLiteral("dev_0190"), Analytics::anonymousDistinctIDKey);
    Analytics::forgetCachedIdentifiers();
    makeView();
    const auto stored = [&](const QString &key) {
        const std::optional<QVariant> value = preferences->value(key);
        return value ? value->toString() : QStringLiteral("(absent)");
    };
    struct Step {
        const char *toggle;
        bool after;
        std::function<void()> check;
    };
    const Step steps[] = {
        {"Share anonymous usage analytics", false, [&] {
             EXPECT_EQ(stored(QStringLiteral("vantle.analytics.optOut")), QStringLiteral("true"));
             EXPECT_FALSE(KeychainHelper::load(Analytics::anonymousDistinctIDKey)) << "opting out drops the identifiers";
             EXPECT_FALSE(KeychainHelper::load(Analytics::legacyDistinctIDKey));
         }},
        {"Share anonymous usage analytics", true, [&] {
             EXPECT_EQ(stored(QStringLiteral("vantle.analytics.optOut")), QStringLiteral("false"));
             const std::optional<QString> fresh = KeychainHelper::load(Analytics::anonymousDistinctIDKey);
             ASSERT_TRUE(fresh) << "opting in makes a fresh identifier";
             EXPECT_TRUE(fresh->startsWith(QStringLiteral("dev_")));
             EXPECT_NE(*fresh, QStringLiteral("dev_0190"));
         }},
        {"Send anonymous diagnostic reports when something goes wrong", false, [&] {
             EXPECT_EQ(stored(QStringLiteral("vantle.diagnosticsEnabled")), QStringLiteral("false"));
             EXPECT_FALSE(DiagnosticUploader::isDiagnosticsEnabled());
         }},
        {"Send anonymous diagnostic reports when something goes wrong", true, [&] {
             EXPECT_EQ(stored(QStringLiteral("vantle.diagnosticsEnabled")), QStringLiteral("true"));
         }},
        {"Verbose diagnostics", true, [&] {
             EXPECT_EQ(stored(QStringLiteral("vantle.verboseDiagnosticsEnabled")), QStringLiteral("true"));
             const double at = preferences->doubleValue(QStringLiteral("vantle.verboseDiagnosticsEnabledAt"));
             EXPECT_NEAR(at, static_cast<double>(QDateTime::currentSecsSinceEpoch()), 60);
             EXPECT_TRUE(DiagnosticLogger::isVerboseActive());
         }},
        {"Verbose diagnostics", false, [&] {
             EXPECT_EQ(stored(QStringLiteral("vantle.verboseDiagnosticsEnabled")), QStringLiteral("false"));
             EXPECT_EQ(stored(QStringLiteral("vantle.verboseDiagnosticsEnabledAt")), QStringLiteral("(absent)"));
         }},
        {"Show today's meetings", true, [&] {
             EXPECT_EQ(stored(SettingsView::showMeetingsKey), QStringLiteral("true"));
             EXPECT_EQ(enabledValues(QStringLiteral("meetings_setting_changed")), QList<bool>{true});
         }},
        {"Show today's meetings", false, [&] {
             EXPECT_EQ(stored(SettingsView::showMeetingsKey), QStringLiteral("false"));
             EXPECT_EQ(enabledValues(QStringLiteral("meetings_setting_changed")), (QList<bool>{true, false}));
         }},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(std::string(s.toggle) + (s.after ? " on" : " off"));
        SettingsSwitch *control = toggle(QString::fromUtf8(s.toggle));
        ASSERT_TRUE(control);
        click(control);
        EXPECT_EQ(control->isChecked(), s.after);
        s.check();
    }
}

TEST_F(SettingsFixture, ErrorReportsAskOnceBeforeTurningOff)
{
    const QString toggleText = QStringLiteral("Send anonymous error reports automatically");
    enum class Act { toggle, turnOffAnyway, keepSending };
    struct Step {
        Act act;
        bool noteShown;             // the note is up afterwards
        bool toggleOn;              // what the toggle shows
        const char *enabled;        // the stored consent ("(absent)" when none)
        const char *optOutShown;    // the stored marker
    };
    struct Case {
        const char *name;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"turn off anyway, then on and off again without the note",
         {{Act::toggle, true, true, "(absent)", "(absent)"},
          {Act::turnOffAnyway, false, false, "false", "true"},
          {Act::toggle, false, true, "true", "true"},
          {Act::toggle, false, false, "false", "true"}}},
        {"keep sending ends the note too",
         {{Act::toggle, true, true, "(absent)", "(absent)"},
          {Act::keepSending, false, true, "(absent)", "true"},
          {Act::toggle, false, false, "false", "true"}}},
    };
    launchSignedOut();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        view.reset();
        preferences = std::make_shared<InMemoryPreferences>();
        Preferences::setStandard(preferences);
        SettingsView &settings = makeView();
        settings.show();
        const auto stored = [&](const QString &key) {
            const std::optional<QVariant> value = preferences->value(key);
            return value ? value->toString() : QStringLiteral("(absent)");
        };
        int i = 0;
        for (const Step &s : c.steps) {
            SCOPED_TRACE(i++);
            SettingsSheet *note = nullptr;
            switch (s.act) {
            case Act::toggle:
                click(toggle(toggleText));
                break;
            case Act::turnOffAnyway:
            case Act::keepSending:
                note = shownDialog<SettingsSheet>();
                ASSERT_TRUE(note);
                click(s.act == Act::turnOffAnyway ? note->secondaryButton() : note->primaryButton());
                break;
            }
            note = shownDialog<SettingsSheet>();
            EXPECT_EQ(note != nullptr, s.noteShown);
            EXPECT_EQ(settings.showOptOutNote(), s.noteShown);
            if (note) {
                EXPECT_EQ(note->titleText(), QStringLiteral("Help us fix issues faster"));
                EXPECT_EQ(note->bodyText(),
                          QStringLiteral("Anonymous error reports help us fix issues before they affect more people. "
                                         "Reports never include your time entries or personal information."));
                EXPECT_EQ(note->secondaryButton()->text(), QStringLiteral("Turn off anyway"));
                EXPECT_EQ(note->primaryButton()->text(), QStringLiteral("Keep sending"));
            }
            EXPECT_EQ(toggle(toggleText)->isChecked(), s.toggleOn);
            EXPECT_EQ(stored(ErrorTelemetryConsent::Keys::enabled), QString::fromUtf8(s.enabled));
            EXPECT_EQ(stored(ErrorTelemetryConsent::Keys::optOutShown), QString::fromUtf8(s.optOutShown));
            EXPECT_EQ(ErrorTelemetryConsent::isEnabled(), s.toggleOn);
        }
    }
}

TEST_F(SettingsFixture, TheMeetingsFootnoteFollowsTheSwitchAndTheCalendarAccess)
{
    using Status = CalendarAuthorization;
    struct Case {
        bool on;
        Status status;
        const QString &text;
    };
    const Case cases[] = {
        {false, Status::notDetermined, calendarAsks}, {true, Status::notDetermined, calendarAsks},
        {false, Status::restricted, calendarAsks},    {true, Status::restricted, calendarOff},
        {false, Status::denied, calendarAsks},        {true, Status::denied, calendarOff},
        {false, Status::fullAccess, calendarLists},   {true, Status::fullAccess, calendarLists},
        {false, Status::writeOnly, calendarAsks},     {true, Status::writeOnly, calendarOff},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 %2").arg(c.on).arg(static_cast<int>(c.status)).toStdString());
        EXPECT_EQ(SettingsView::calendarFootnote(c.on, c.status), c.text);
    }

    // Turning meetings on asks the calendar store once; the footnote follows the answer.
    struct Road {
        const char *name;
        InMemoryCalendarStore::Presence presence;
        QString footnote; // once the answer is in
    };
    const Road roads[] = {
        {"the store answers", InMemoryCalendarStore::Presence::answering, calendarLists},
        {"no calendar store on this desktop", InMemoryCalendarStore::Presence::missing, calendarOff},
    };
    launchSignedOut();
    for (const Road &r : roads) {
        SCOPED_TRACE(r.name);
        view.reset();
        preferences->remove(SettingsView::showMeetingsKey);
        calendar = std::make_shared<InMemoryCalendarStore>();
        calendar->setPresence(r.presence);
        meetings = std::make_unique<MeetingsService>(calendar);
        makeView();
        const auto footnote = [&] { return visibleRows(section(QStringLiteral("General"))).constLast(); };
        EXPECT_EQ(footnote(), calendarAsks);
        click(toggle(QStringLiteral("Show today's meetings")));
        ASSERT_TRUE(waitUntil([&] { return footnote() == r.footnote; })) << footnote().toStdString();
        EXPECT_EQ(calendar->accessRequests(), 1);
        click(toggle(QStringLiteral("Show today's meetings")));
        TestSupport::spinFor(std::chrono::milliseconds(30));
        EXPECT_EQ(calendar->accessRequests(), 1) << "turning it off asks nothing";
        EXPECT_EQ(footnote(), SettingsView::calendarFootnote(false, meetings->authorization()));
    }
}

TEST_F(SettingsFixture, ADiagnosticReportShowsItsCodeAndTheCodeCanBeCopied)
{
    launchSignedIn();
    SettingsView &settings = makeView();
    settings.show();
    QAbstractButton *send = button(QStringLiteral("Send Diagnostic Report"));
    ASSERT_TRUE(send);

    // Two quick clicks: one upload, the button busy meanwhile.
    click(send);
    EXPECT_TRUE(settings.isSendingDiagnostic());
    EXPECT_EQ(send->text(), QStringLiteral("Sending…"));
    EXPECT_FALSE(send->isEnabled());
    EXPECT_FALSE(send->icon().isNull()) << "a progress indicator beside the text";
    settings.sendDiagnosticReport();
    ASSERT_TRUE(waitUntil([&] { return !settings.isSendingDiagnostic(); }));
    ASSERT_EQ(diagnostics.uploads().size(), 1);
    EXPECT_EQ(diagnostics.requests().size(), 1);
    const QString code = diagnostics.uploads().first().code;

    SettingsSheet *sheet = shownDialog<SettingsSheet>();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->titleText(), QStringLiteral("Diagnostic report sent"));
    EXPECT_EQ(sheet->bodyText(), QStringLiteral("Share this code with support so we can find your report:"));
    EXPECT_EQ(sheet->codeText(), code);
    EXPECT_EQ(sheet->secondaryButton()->text(), QStringLiteral("Done"));
    EXPECT_EQ(sheet->primaryButton()->text(), QStringLiteral("Copy code"));
    EXPECT_EQ(send->text(), QStringLiteral("Send Diagnostic Report"));
    EXPECT_TRUE(send->isEnabled());
    EXPECT_TRUE(logLines.contains(QStringLiteral("info manual diagnostic upload succeeded code=") + code));

    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    click(sheet->primaryButton());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), code);
    EXPECT_EQ(sheet->primaryButton()->text(), QStringLiteral("Copied"));
    ASSERT_TRUE(waitUntil([&] { return sheet->primaryButton()->text() == QStringLiteral("Copy code"); }));

    click(sheet->secondaryButton());
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_FALSE(settings.showDiagnosticSuccess());

    // Shown again, the copy button starts afresh. The sheet opens a turn before the button is
    // idle again: wait for both, or the next click meets a busy button.
    const auto sentAndIdle = [&] { return settings.showDiagnosticSuccess() && !settings.isSendingDiagnostic(); };
    click(send);
    ASSERT_TRUE(waitUntil(sentAndIdle));
    click(sheet->primaryButton());
    click(sheet->secondaryButton());
    click(send);
    ASSERT_TRUE(waitUntil(sentAndIdle));
    EXPECT_EQ(sheet->primaryButton()->text(), QStringLiteral("Copy code"));
    EXPECT_EQ(sheet->codeText(), diagnostics.uploads().constLast().code);
}

TEST_F(SettingsFixture, AFailedReportSaysWhyAndTryAgainSendsAgain)
{
    struct Case {
        const char *name;
        std::function<void()> arrange;
        QString message;
    };
    const Case cases[] = {
        {"the service answers with its own message",
         [this] {
             diagnostics.enqueue(QStringLiteral("POST"), Fakes::FakeDiagnosticsService::diagnosticsPath,
                                   ScriptedAnswer::json(503, R"({"error":"Diagnostics are paused for maintenance."})"));
         },
         QStringLiteral("Diagnostics are paused for maintenance.")},
        {"the session is no longer accepted",
         [this] {
             diagnostics.enqueue(QStringLiteral("POST"), Fakes::FakeDiagnosticsService::diagnosticsPath,
                                   ScriptedAnswer::json(401, R"({"error":"unauthorized"})"));
         },
         DiagnosticError::notSignedIn().message()},
        {"an answer without a code",
         [this] {
             diagnostics.enqueue(QStringLiteral("POST"), Fakes::FakeDiagnosticsService::diagnosticsPath,
                                   ScriptedAnswer::json(201, "{}"));
         },
         DiagnosticError::malformedResponse().message()},
        {"nothing listens",
         [this] {
             uploader.setIdentityURL([] {
                 return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort()));
             });
         },
         DiagnosticError::transport().message()},
    };
    launchSignedIn();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uploader.setIdentityURL([this] { return diagnostics.identityURL(); });
        logLines.clear();
        SettingsView &settings = makeView();
        settings.show();
        c.arrange();
        click(button(QStringLiteral("Send Diagnostic Report")));
        ASSERT_TRUE(waitUntil([&] { return !settings.isSendingDiagnostic(); }));
        SettingsSheet *sheet = shownDialog<SettingsSheet>();
        ASSERT_TRUE(sheet);
        EXPECT_EQ(sheet->titleText(), QStringLiteral("Couldn't send diagnostic report"));
        EXPECT_EQ(sheet->bodyText(), c.message);
        EXPECT_EQ(sheet->secondaryButton()->text(), QStringLiteral("Done"));
        EXPECT_EQ(sheet->primaryButton()->text(), QStringLiteral("Try again"));
        EXPECT_EQ(logLines, QStringList{QStringLiteral("warn manual diagnostic upload failed: ") + c.message});

        // Try again: a fresh upload, which goes through this time.
        uploader.setIdentityURL([this] { return diagnostics.identityURL(); });
        const qsizetype uploadsBefore = diagnostics.uploads().size();
        click(sheet->primaryButton());
        ASSERT_TRUE(waitUntil([&] { return settings.showDiagnosticSuccess(); }));
        EXPECT_FALSE(settings.showDiagnosticError());
        EXPECT_EQ(diagnostics.uploads().size(), uploadsBefore + 1);
        SettingsSheet *success = shownDialog<SettingsSheet>();
        ASSERT_TRUE(success);
        EXPECT_EQ(success->codeText(), diagnostics.uploads().constLast().code);
        click(success->secondaryButton());
        view.reset();
    }
}

TEST_F(SettingsFixture, AReportThatEndsAfterTheWindowClosedShowsNothing)
{
    launchSignedIn();
    SettingsView &settings = makeView();
    settings.show();
    click(button(QStringLiteral("Send Diagnostic Report")));
    settings.close();
    ASSERT_TRUE(waitUntil([&] { return !settings.isSendingDiagnostic(); }));
    EXPECT_EQ(diagnostics.uploads().size(), 1);
    EXPECT_FALSE(settings.showDiagnosticSuccess());
    EXPECT_EQ(shownDialog<SettingsSheet>(), nullptr);
    ASSERT_EQ(logLines.size(), 1) << "the line is written all the same";
    EXPECT_TRUE(logLines.first().startsWith(QStringLiteral("info manual diagnostic upload succeeded code=")));
}
