#include "HourAuditFixture.h"

#include "Vantle/Utilities/Constants.h"
#include "tools/fakes/FakeBrowser.h"

#include "VantleKit/Audit/Views/AuditAddActivityBox.h"
#include "VantleKit/Audit/Views/AuditLabel.h"
#include "VantleKit/Audit/Views/AuditPrimaryButton.h"
#include "VantleKit/Audit/Views/AuditTextInput.h"
#include "VantleKit/Audit/Views/AuditYoursRow.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTimeZone>

namespace {

using AuditDriver::Motion;
using Fakes::FakeService;
using Fakes::ScriptedAnswer;
using TestSupport::waitUntil;

class HourAuditViewTest : public HourAuditFixture {};

TEST_F(HourAuditViewTest, TheWholeAuditThroughItsWidgetsCreatesTheCategories)
{
    Motion still(true);
    build();
    QSignalSpy done(m_view.data(), &HourAuditView::done);

    // The four questions.
    ASSERT_TRUE(click("audit.sleep.sleepChips.chip.3")); // 7½h
    ASSERT_TRUE(click("audit.sleep.wakeChips.chip.4"));  // 7:00 AM
    ASSERT_TRUE(click("audit.sleep.next"));
    ASSERT_TRUE(click("audit.work.dayChips.chip.5")); // Saturday too
    ASSERT_TRUE(click("audit.work.leaveChips.chip.2")); // 7:30 AM
    ASSERT_TRUE(click("audit.work.backChips.chip.4"));  // 6:00 PM
    ASSERT_TRUE(click("audit.work.next"));
    ASSERT_TRUE(click("audit.upkeep.upkeepChips.chip.3")); // 2½h, then on by itself
    ASSERT_TRUE(waitUntil([&] { return state().screen == AuditScreen::family; }));
    ASSERT_TRUE(click("audit.family.familyChips.chip.3")); // 20h
    ASSERT_TRUE(click("audit.family.next"));
    ASSERT_EQ(state().screen, AuditScreen::dash);
    // 6 days of 10½ hours: 63; upkeep 17½; family 20.
    EXPECT_EQ(state().v, (PerTune<double>{63, 17.5, 20}));

    // The dashboard: tuned, an activity added and another removed.
    ASSERT_TRUE(click("audit.dash.tuneWork.stepper.dec"));
    ASSERT_TRUE(click("audit.dash.tuneWork.stepper.dec"));
    ASSERT_TRUE(click("audit.dash.tuneFamily.stepper.inc"));
    ASSERT_TRUE(click("audit.dash.add"));
    AuditDriver::type(find<AuditTextInput>("audit.dash.addName"), "Choir");
    ASSERT_TRUE(click("audit.dash.addTimes.dec"));
    ASSERT_TRUE(click("audit.dash.addSave"));
    ASSERT_TRUE(click("audit.dash.workouts"));
    ASSERT_TRUE(click("audit.dash.act.0.remove")); // the choir goes again
    ASSERT_EQ(state().acts, (QList<AuditActivity>{{"Workouts", 3, 1, 0.5}}));
    ASSERT_TRUE(click("audit.dash.next"));
    ASSERT_EQ(state().screen, AuditScreen::yours);

    // The yours rows: unnamed is refused, then two named rows.
    auto *submit = find<AuditPrimaryButton>("audit.yours.submit");
    EXPECT_FALSE(submit->isEnabled());
    AuditDriver::type(find<AuditTextInput>("audit.yours.row.0.name"), "Reading");
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(click("audit.yours.row.0.hours.inc"));
    ASSERT_TRUE(click("audit.yours.add"));
    AuditDriver::type(find<AuditTextInput>("audit.yours.row.1.name"), " Rest ");
    EXPECT_EQ(find<AuditLabel>("audit.yours.status")->text(), "7½ of 11 still unclaimed.");
    ASSERT_TRUE(submit->isEnabled());

    const QJsonObject promised = AuditMath::buildSubmitBody(state(), store().timezone()).requestBody();
    ASSERT_TRUE(AuditDriver::click(submit));
    ASSERT_TRUE(waitUntil([&] { return m_view->isDone(); }));

    ASSERT_EQ(m_service.audits().size(), 1);
    EXPECT_EQ(m_service.audits().first(), promised);
    EXPECT_EQ(m_service.requestsTo(QString::fromLatin1(auditPath)).first().header("Authorization"),
              QByteArray("Bearer oas_audit"));
    EXPECT_EQ(store().timezone(), QString::fromUtf8(QTimeZone::systemTimeZoneId()));
    EXPECT_EQ(visibleNames(), (QStringList{"Work", "Upkeep", "People", "Workouts", "Reading", "Rest"}));
    EXPECT_EQ(done.size(), 1);
    EXPECT_EQ(submit->text(), "Starting…");
    EXPECT_FALSE(submit->isEnabled());
}

TEST_F(HourAuditViewTest, AFailedSubmissionShowsItsCodeAndKeepsTheAnswers)
{
    Motion still(true);
    struct Case {
        const char *name;
        bool dead;
        int status;
        const char *code;
        QString shown;
    };
    const Case cases[] = {
        {"an audit already taken", false, 409, "audit_exists", "audit_exists"},
        {"a refused body", false, 422, "invalid_audit", "invalid_audit"},
        {"an error without a code", false, 403, "", "http_403"},
        {"no service at all", true, 0, "", "network_error"},
    };
    for (const Case &c : cases) {
        m_service.clearRequests();
        if (c.dead)
            build(std::chrono::hours(1), QUrl(QStringLiteral("http://127.0.0.1:%1").arg(FakeService::closedPort())));
        else
            build();
        if (!c.dead)
            m_service.failNext(QStringLiteral("POST"), QString::fromLatin1(auditPath), c.status, QString::fromLatin1(c.code));
        readyToSubmit();
        const AuditState before = state();
        ASSERT_TRUE(click("audit.yours.submit")) << c.name;
        ASSERT_TRUE(waitUntil([&] { return !store().isSubmitting(); })) << c.name;

        auto *box = find<AuditLabel>("audit.yours.error");
        EXPECT_TRUE(box->isVisible()) << c.name;
        EXPECT_EQ(box->text(), "Couldn't save your week — your answers are safe. (" + c.shown + ")") << c.name;
        auto *submit = find<AuditPrimaryButton>("audit.yours.submit");
        EXPECT_EQ(submit->text(), "Try again") << c.name;
        EXPECT_TRUE(submit->isEnabled()) << c.name;
        EXPECT_EQ(state(), before) << c.name;
        EXPECT_EQ(gets(), 0) << c.name; // no refresh after a failure
        EXPECT_FALSE(m_view->isDone()) << c.name;
        TearDown();
    }

    // A retry sends the same audit again, and this time it goes through.
    build();
    m_service.failNext(QStringLiteral("POST"), QString::fromLatin1(auditPath), 503, "unavailable");
    readyToSubmit();
    ASSERT_TRUE(click("audit.yours.submit"));
    ASSERT_TRUE(waitUntil([&] { return store().submitError().has_value(); }));
    ASSERT_TRUE(click("audit.yours.submit"));
    ASSERT_TRUE(waitUntil([&] { return m_view->isDone(); }));
    EXPECT_FALSE(find("audit.yours.error")->isVisible());
    EXPECT_EQ(posts(), 2);
    EXPECT_EQ(m_service.audits().size(), 1);
}

TEST_F(HourAuditViewTest, PressingAgainWhileItSendsSendsNothing)
{
    Motion still(true);
    build();
    ScriptedAnswer slow = ScriptedAnswer::json(201, R"({"audit":null})");
    slow.delay = std::chrono::milliseconds(300);
    m_service.enqueue(QStringLiteral("POST"), QString::fromLatin1(auditPath), slow);
    // The service has the categories by the time it answers; the refresh after the answer
    // brings them (nothing else fetches: the poll waits an hour).
    m_service.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
    readyToSubmit();
    auto *submit = find<AuditPrimaryButton>("audit.yours.submit");
    ASSERT_TRUE(AuditDriver::click(submit));
    EXPECT_EQ(submit->text(), "Starting…");
    EXPECT_FALSE(submit->isEnabled());
    AuditDriver::click(submit);
    AuditDriver::doubleClick(submit);
    AuditDriver::pressReturn(m_view);
    ASSERT_TRUE(waitUntil([&] { return posts() == 1; }));
    ASSERT_TRUE(waitUntil([&] { return m_view->isDone(); }));
    AuditDriver::click(submit);
    TestSupport::spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(posts(), 1);
}

TEST_F(HourAuditViewTest, TheWebLinkOpensTheAuditPageEachTime)
{
    Fakes::FakeBrowser browser([](const QUrl &) { return false; });
    browser.setMode(Fakes::FakeBrowser::Mode::ignore);
    build();
    const AuditState before = state();
    ASSERT_TRUE(click("audit.sleep.web"));
    ASSERT_TRUE(click("audit.sleep.web"));
    EXPECT_EQ(browser.openedUrls(), (QList<QUrl>{Constants::API::auditURL(), Constants::API::auditURL()}));
    EXPECT_TRUE(Constants::API::auditURL().path().endsWith("/audit"));
    EXPECT_EQ(state(), before);
}

TEST_F(HourAuditViewTest, ThePaletteIsTheApplicationsTheme)
{
    const AuditPalette palette = HourAuditView::palette();
    const std::pair<AuditRole, quint32> roles[] = {
        {AuditRole::canvas, 0x121214},  {AuditRole::card, 0x202024},     {AuditRole::elevated, 0x26262B},
        {AuditRole::border, 0x2C2C33},  {AuditRole::text, 0xF5F5F5},     {AuditRole::muted, 0x9B9BA4},
        {AuditRole::accent, 0xF0A32A},  {AuditRole::accentInk, 0xF0A32A}, {AuditRole::accentStrong, 0xF5B84F},
        {AuditRole::danger, 0xF87171},  {AuditRole::onAccent, 0x1C1200}, {AuditRole::sleepFill, 0x3B3B40},
    };
    for (const auto &[role, rgb] : roles) {
        EXPECT_EQ(palette.role(role), vantHex(rgb)) << int(role);
        EXPECT_EQ(palette.role(role).alpha(), 255) << int(role);
    }
    build();
    EXPECT_EQ(AuditPalette::of(m_view->flow()->screen(AuditScreen::dash)).canvas, vantHex(0x121214));
}

// Closing the window abandons the audit: it opens again at the first question, afresh, and
// the web link there is reached from the keyboard like every other control.
TEST_F(HourAuditViewTest, ClosingTheWindowStartsTheAuditAfresh)
{
    Motion still(true);
    build();
    ASSERT_TRUE(click("audit.sleep.sleepChips.chip.3"));
    ASSERT_TRUE(click("audit.sleep.next"));
    ASSERT_EQ(state().screen, AuditScreen::work);
    QPointer<AuditStore> abandoned = &store();

    m_view->close();
    ASSERT_TRUE(waitUntil([&] { return !m_view->isVisible(); }));
    m_view->show();
    m_view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_view));
    EXPECT_EQ(state(), AuditState::initial());
    EXPECT_EQ(m_view->flow()->shownScreen(), AuditScreen::sleep);
    EXPECT_TRUE(waitUntil([&] { return abandoned.isNull(); }));

    QTest::keyClick(m_view->windowHandle(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), find("audit.sleep.web"));
}

// The audit ends once, whatever the categories do after it has.
TEST_F(HourAuditViewTest, TheAuditEndsOnce)
{
    build();
    QSignalSpy done(m_view.data(), &HourAuditView::done);
    const auto category = [](const QString &name, qint64 position) {
        VantCategory c;
        c.id = name;
        c.name = name;
        c.kind = CategoryKind::yours;
        c.position = position;
        return c;
    };
    m_ledger->setCategories({category(QStringLiteral("Reading"), 0)});
    EXPECT_EQ(done.count(), 1);
    m_ledger->setCategories({category(QStringLiteral("Reading"), 0), category(QStringLiteral("Rest"), 1)});
    m_ledger->setCategories({});
    m_ledger->setCategories({category(QStringLiteral("Rest"), 0)});
    EXPECT_EQ(done.count(), 1);
    EXPECT_TRUE(m_view->isDone());
}

} // namespace

