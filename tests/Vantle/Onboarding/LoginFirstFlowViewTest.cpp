#include "../Services/AccountServiceHarness.h"

#include "OrvalenAccount/UI/OrvalenLinkButton.h"
#include "OrvalenAccount/UI/OrvalenOutlineButton.h"
#include "OrvalenAccount/UI/OrvalenProviderButton.h"
#include "OrvalenAccount/UI/OrvalenProviderButtons.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Vantle/Onboarding/LoginFirstFlowView.h"
#include "Vantle/Onboarding/WelcomeAccentButton.h"
#include "Vantle/Onboarding/WelcomeAcknowledgementStore.h"
#include "Vantle/Onboarding/WelcomeCheckboxRow.h"
#include "Vantle/Onboarding/WelcomeConsent.h"
#include "Vantle/Onboarding/WelcomeStepView.h"
#include "support/CountingNetwork.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeContactsService.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QTest>

#include <memory>
#include <optional>

using namespace std::chrono_literals;
using Fakes::FakeBrowser;
using Fakes::FakeContactsService;
using Fakes::FakeIdentityService;
using Fakes::ScriptedAnswer;
using Hint = OAuthDriver::ProviderHint;
using Phase = OrvalenSignInScreen::Phase;
using Step = LoginFirstFlowView::GateStep;

namespace {

const QString kGet = QStringLiteral("GET");
const QString kPost = QStringLiteral("POST");
const QString kWhoami = QStringLiteral("/api/whoami");
const QString kConsents = FakeIdentityService::consentsPath;
const QString kSentence =
    QStringLiteral("By creating an account you agree to the Terms of Service and Privacy Policy.");

// The application's account objects over loopback services, and a gate the way the root
// view shows it: once the launch restore has finished. Events and log lines of the gate
// are kept in order.
class Gate {
public:
    Gate()
    {
        Preferences::setStandard(preferences);
        identityForProbe = account.identity.baseUrl();
    }
    ~Gate()
    {
        view.reset();
        Preferences::setStandard(nullptr);
    }

    // Launch restore, then the gate on screen.
    void open()
    {
        account.attach();
        ASSERT_TRUE(account.waitForLaunchRestore());
        LoginFirstFlowView::Environment environment;
        environment.track = [this](const QString &event, const Analytics::Properties &properties) {
            events.append(event);
            properties_.append(properties);
        };
        environment.log = [this](const QString &category, const QString &level, const QString &message) {
            logs.append(category + QLatin1Char(' ') + level + QLatin1Char(' ') + message);
        };
        environment.contactsURL = [this] { return contacts.baseUrl(); };
        environment.webURL = [] { return QUrl(QStringLiteral("https://orvalen.test")); };
        environment.regionCode = [this] { return region; };
        environment.network = &network;
        environment.requestTimeout = requestTimeout;
        environment.probeTimeout = probeTimeout;
        // The identity address can be pointed elsewhere to take the service "offline".
        environment.identityURL = [this] { return identityForProbe; };
        view = std::make_unique<LoginFirstFlowView>(account.service.get(), account.bridge.get(),
                                                    [this] { ++completions; }, environment);
        view->resize(960, 680);
        view->show();
    }

    OrvalenProviderButton *provider(Hint hint) const { return view->signInScreen()->providerButtons()->button(hint); }
    void click(QAbstractButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Signs in through the browser with the e-mail button; true once the gate moved on.
    bool signIn()
    {
        click(provider(Hint::email));
        return TestSupport::waitUntil([this] { return completions > 0 || view->step() == Step::welcome; });
    }
    bool waitForPhase(const Phase &phase)
    {
        return TestSupport::waitUntil([&] { return view->displayedSignInPhase() == phase; });
    }
    int countOf(const QString &event) const { return int(events.count(event)); }
    std::optional<Analytics::Properties> propertiesOf(const QString &event) const
    {
        const qsizetype at = events.lastIndexOf(event);
        return at < 0 ? std::nullopt : std::optional(properties_.at(at));
    }
    QList<QJsonObject> captureBodies() const
    {
        QList<QJsonObject> out;
        for (const auto &request : contacts.requestsTo(FakeContactsService::capturePath))
            out.append(request.json().object());
        return out;
    }
    QList<QJsonObject> consentBodies() const
    {
        QList<QJsonObject> out;
        for (const auto &request : account.identity.requestsTo(kConsents))
            out.append(request.json().object());
        return out;
    }

    std::shared_ptr<InMemoryKeychain> keychain = std::make_shared<InMemoryKeychain>();
    std::shared_ptr<InMemoryPreferences> preferences = std::make_shared<InMemoryPreferences>();
    AccountServiceHarness account{keychain};
    FakeContactsService contacts;
    QString region = QStringLiteral("DE");
    QUrl identityForProbe;
    // Far beyond what any answer here takes, however busy the machine: a test that is about
    // a timeout sets its own and holds the answer back for good.
    std::chrono::milliseconds requestTimeout = 60s;
    TestSupport::CountingNetwork network; // the gate's own requests
    std::chrono::milliseconds probeTimeout = 60s;
    std::unique_ptr<LoginFirstFlowView> view;
    int completions = 0;
    QStringList events;
    QList<Analytics::Properties> properties_;
    QStringList logs;
};

QJsonObject consent(const QString &kind)
{
    return QJsonObject{{QStringLiteral("kind"), kind},
                       {QStringLiteral("version"), QStringLiteral("v1-2026-06")},
                       {QStringLiteral("surface"), QStringLiteral("vantle_mac_welcome")},
                       {QStringLiteral("verbatim_text"), kSentence}};
}

QByteArray listsAnswer(const QList<QPair<QString, QString>> &lists)
{
    QJsonArray array;
    for (const auto &[slug, state] : lists)
        array.append(QJsonObject{{QStringLiteral("list_slug"), slug}, {QStringLiteral("state"), state}});
    return QJsonDocument(QJsonObject{{QStringLiteral("lists"), array}}).toJson(QJsonDocument::Compact);
}

TEST(LoginFirstFlowView, EachProviderStartsOneBrowserSignInWithItsHintAndCanBeCancelled)
{
    const struct {
        Hint hint;
        const char *raw;
    } cases[] = {{Hint::apple, "apple"}, {Hint::google, "google"}, {Hint::email, "email"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.raw);
        Gate gate;
        gate.account.browser->setMode(FakeBrowser::Mode::ignore);
        gate.open();
        ASSERT_TRUE(gate.waitForPhase(Phase::ready()));

        gate.click(gate.provider(c.hint));
        ASSERT_TRUE(TestSupport::waitUntil([&] { return !gate.account.browser->openedUrls().isEmpty(); }));
        const QUrlQuery query(gate.account.browser->openedUrls().constLast());
        EXPECT_EQ(query.queryItemValue(QStringLiteral("provider")), QLatin1String(c.raw));

        // Busy: the buttons are faded and off, a second tap starts nothing, cancel is offered.
        EXPECT_EQ(gate.view->displayedSignInPhase(), Phase::busy());
        OrvalenProviderButtons *buttons = gate.view->signInScreen()->providerButtons();
        EXPECT_FALSE(gate.provider(Hint::google)->isEnabled());
        EXPECT_DOUBLE_EQ(gate.provider(Hint::google)->opacity(), 0.55);
        gate.click(gate.provider(Hint::google));
        TestSupport::spinFor(50ms);
        EXPECT_EQ(gate.account.browser->openedUrls().size(), 1);
        ASSERT_NE(buttons->cancelButton(), nullptr);
        EXPECT_EQ(buttons->cancelButton()->text(), QStringLiteral("Cancel sign-in"));

        gate.click(buttons->cancelButton());
        ASSERT_TRUE(gate.waitForPhase(Phase::ready()));
        EXPECT_EQ(buttons->cancelButton(), nullptr);
        EXPECT_EQ(gate.completions, 0);
        EXPECT_EQ(gate.view->step(), Step::signIn);
    }
}

TEST(LoginFirstFlowView, OfflineShowsTheCardAndRetryProbesAgain)
{
    Gate gate;
    gate.identityForProbe = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort()));
    gate.open();
    ASSERT_TRUE(gate.waitForPhase(Phase::offline()));
    EXPECT_EQ(gate.countOf(QStringLiteral("login_screen_shown")), 1);
    auto *retry = gate.view->findChild<OrvalenOutlineButton *>(QStringLiteral("retry"));
    ASSERT_TRUE(retry && retry->isVisible());
    EXPECT_FALSE(gate.view->signInScreen()->providerButtons()->isVisible());

    // Still unreachable: still offline, once the probe has failed (the next one must not be
    // overtaken by it).
    const int probesBefore = gate.network.started();
    gate.click(retry);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.network.started() == probesBefore + 1 && gate.network.idle(); }));
    EXPECT_EQ(gate.view->displayedSignInPhase(), Phase::offline());
    // Then the service answers, even with an error status.
    gate.account.identity.on(kGet, kWhoami, ScriptedAnswer::json(500, R"({"error":"boom"})"));
    gate.identityForProbe = gate.account.identity.baseUrl();
    gate.click(retry);
    ASSERT_TRUE(gate.waitForPhase(Phase::ready()));
    EXPECT_EQ(gate.account.identity.countOf(kGet, kWhoami), 1);
    EXPECT_EQ(gate.countOf(QStringLiteral("login_screen_shown")), 1) << "one stay on the step, one event";
}

TEST(LoginFirstFlowView, AFailedSignInShowsItsMessageUnlessTheServiceIsUnreachable)
{
    const struct {
        const char *name;
        bool reachable;
        bool showsError;
    } cases[] = {{"service answers", true, true}, {"service unreachable", false, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Gate gate;
        gate.account.identity.enqueue(kPost, FakeIdentityService::exchangePath,
                                      ScriptedAnswer::json(500, R"({"error":"exchange_failed"})"));
        gate.open();
        ASSERT_TRUE(gate.waitForPhase(Phase::ready()));
        if (!c.reachable)
            gate.identityForProbe = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort()));
        gate.click(gate.provider(Hint::google));
        ASSERT_TRUE(TestSupport::waitUntil([&] {
            return !gate.view->isWorking() && gate.view->displayedSignInPhase().kind() != Phase::Kind::busy
                && gate.view->displayedSignInPhase().kind() != Phase::Kind::ready;
        }));
        const Phase shown = gate.view->displayedSignInPhase();
        EXPECT_EQ(shown.kind(), c.showsError ? Phase::Kind::error : Phase::Kind::offline);
        if (c.showsError) {
            EXPECT_FALSE(shown.message().isEmpty());
            auto *text = gate.view->findChild<QLabel *>(QStringLiteral("errorText"));
            EXPECT_EQ(text->text(), shown.message());
            EXPECT_TRUE(text->isVisible());
        }
        EXPECT_EQ(gate.completions, 0);
    }
}

TEST(LoginFirstFlowView, RoutesBySessionAndWelcomedAccounts)
{
    const struct {
        const char *name;
        bool restoredAtLaunch;
        QStringList legacyWelcomed; // in the old preferences list
        bool welcomedInKeychain;
        Step expected;
    } cases[] = {
        {"new account", false, {}, false, Step::welcome},
        {"already welcomed here", false, {}, true, Step::signIn},
        {"welcomed by an older release, padded upper case", false,
         {QStringLiteral("  %1 \n").arg(FakeIdentityService::accountId.toUpper())}, false, Step::signIn},
        {"restored at launch", true, {}, false, Step::signIn},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Gate gate;
        const QString id = FakeIdentityService::accountId;
        if (c.welcomedInKeychain)
            WelcomeAcknowledgementStore::acknowledge(id);
        if (!c.legacyWelcomed.isEmpty())
            gate.preferences->setValue(WelcomeAcknowledgementStore::key, c.legacyWelcomed);
        if (c.restoredAtLaunch)
            gate.account.storeLiveSession(3600, id, FakeIdentityService::email);
        gate.open();
        if (c.restoredAtLaunch) {
            ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.completions > 0; }));
            TestSupport::spinFor(100ms);
            EXPECT_EQ(gate.countOf(QStringLiteral("login_screen_shown")), 0);
            EXPECT_EQ(gate.account.identity.countOf(kGet, kWhoami), 0) << "no probe for a signed-in person";
        } else {
            ASSERT_TRUE(gate.signIn());
        }
        EXPECT_EQ(gate.view->step(), c.expected);
        const bool completed = c.expected != Step::welcome;
        EXPECT_EQ(gate.completions, completed ? 1 : 0);
        EXPECT_EQ(gate.countOf(QStringLiteral("onboarding_completed")), completed ? 1 : 0);
        if (completed) {
            EXPECT_EQ(gate.propertiesOf(QStringLiteral("onboarding_completed")),
                      (Analytics::Properties{{QStringLiteral("method"), QStringLiteral("login_first")}}));
            EXPECT_EQ(WelcomeAcknowledgementStore::loadIDs(), QStringList{id});
        } else {
            EXPECT_TRUE(gate.view->welcomeView()->isVisible());
            EXPECT_TRUE(WelcomeAcknowledgementStore::loadIDs().isEmpty()) << "welcomed only after Continue";
        }
    }
}

TEST(LoginFirstFlowView, ContinueRecordsConsentsAndTheChosenListsExactly)
{
    const QString app = WelcomeConsent::appListSlug;
    const QString studio = WelcomeConsent::studioListSlug;
    const struct {
        const char *name;
        QString region;
        QByteArray lookup;           // the contacts service's answer
        QStringList taps;            // boxes tapped, in order
        QList<QPair<QString, QString>> captures; // (list, consent method) sent, in order
        bool appOptIn, studioOptIn;  // as "welcome_consent_submitted" reports them
        QSet<QString> shown;         // the boxes once the answer is in
    } cases[] = {
        {"US, left as they start", QStringLiteral("US"), listsAnswer({}), {},
         {{app, QStringLiteral("default_checked")}, {studio, QStringLiteral("default_checked")}}, true, true, {app, studio}},
        {"US, app box off and on again", QStringLiteral("US"), listsAnswer({}), {app, app},
         {{app, QStringLiteral("explicit_checkbox")}, {studio, QStringLiteral("default_checked")}}, true, true,
         {app, studio}},
        {"US, newsletter off", QStringLiteral("US"), listsAnswer({}), {studio},
         {{app, QStringLiteral("default_checked")}}, true, false, {app, studio}},
        {"elsewhere, nothing ticked", QStringLiteral("DE"), listsAnswer({}), {}, {}, false, false, {app, studio}},
        {"no region, newsletter ticked", QString(), listsAnswer({}), {studio},
         {{studio, QStringLiteral("explicit_checkbox")}}, false, true, {app, studio}},
        {"app list already answered: its ticked box is hidden and not sent", QStringLiteral("US"),
         listsAnswer({{app, QStringLiteral("subscribed")}, {studio, QStringLiteral("never_asked")}}), {},
         {{studio, QStringLiteral("default_checked")}}, false, true, {studio}},
        {"both answered: an empty card, consents only", QStringLiteral("US"),
         listsAnswer({{app, QStringLiteral("unsubscribed")}, {studio, QStringLiteral("subscribed")}}), {}, {}, false,
         false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Gate gate;
        gate.region = c.region;
        gate.contacts.on(kGet, FakeContactsService::mePath, ScriptedAnswer::json(200, c.lookup));
        gate.open();
        ASSERT_TRUE(gate.signIn());
        ASSERT_EQ(gate.view->step(), Step::welcome);
        // The boxes are tapped as the answer left them (both show until it is in).
        ASSERT_TRUE(TestSupport::waitUntil([&] {
            return gate.contacts.countOf(kGet, FakeContactsService::mePath) == 1
                && gate.view->visibleMarketingLists() == c.shown;
        }));
        const std::optional<OrvalenAccountBridge::Session> session = gate.account.bridge->currentSession();
        ASSERT_TRUE(session);

        const Fakes::RecordedRequest lookup = gate.contacts.requestsTo(FakeContactsService::mePath).constFirst();
        EXPECT_EQ(lookup.query.queryItemValue(QStringLiteral("app")), QStringLiteral("vantle"));
        EXPECT_EQ(lookup.header("Authorization"), "Bearer " + session->oas.toUtf8());
        EXPECT_TRUE(lookup.hasHeader("DPoP"));

        WelcomeStepView *welcome = gate.view->welcomeView();
        for (const QString &slug : c.taps)
            gate.click(welcome->row(slug));
        gate.click(welcome->continueButton());
        gate.click(welcome->continueButton()); // a second tap while it runs does nothing
        ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.completions > 0; }));
        TestSupport::spinFor(50ms);

        EXPECT_EQ(gate.consentBodies(), (QList<QJsonObject>{consent(QStringLiteral("terms")), consent(QStringLiteral("privacy"))}));
        for (const auto &request : gate.account.identity.requestsTo(kConsents)) {
            EXPECT_EQ(request.header("Authorization"), "Bearer " + session->oas.toUtf8());
            EXPECT_TRUE(request.hasHeader("DPoP"));
        }
        EXPECT_TRUE(gate.account.identity.dpopFailures().isEmpty());

        QList<QJsonObject> expected;
        for (const auto &[slug, method] : c.captures) {
            QJsonObject body{{QStringLiteral("email"), session->email},
                             {QStringLiteral("list_slug"), slug},
                             {QStringLiteral("source_type"), QStringLiteral("signup")},
                             {QStringLiteral("consent_method"), method},
                             {QStringLiteral("consent_text"),
                              slug == app ? WelcomeConsent::appListLabel : WelcomeConsent::studioListLabel},
                             {QStringLiteral("consent_version"), QStringLiteral("welcome-v2-2026-06")},
                             {QStringLiteral("orvalen_account_id"), session->accountID}};
            if (slug == app)
                body.insert(QStringLiteral("app_slug"), QStringLiteral("vantle"));
            expected.append(body);
        }
        EXPECT_EQ(gate.captureBodies(), expected);
        for (const auto &request : gate.contacts.requestsTo(FakeContactsService::capturePath))
            EXPECT_FALSE(request.hasHeader("DPoP")) << "captures never carry a proof";

        EXPECT_EQ(gate.propertiesOf(QStringLiteral("welcome_consent_submitted")),
                  (Analytics::Properties{{QStringLiteral("app_opt_in"), c.appOptIn},
                                         {QStringLiteral("studio_opt_in"), c.studioOptIn},
                                         {QStringLiteral("app_slug"), QStringLiteral("vantle")}}));
        EXPECT_EQ(gate.countOf(QStringLiteral("welcome_marketing_capture_skipped")), 0);
        EXPECT_EQ(gate.countOf(QStringLiteral("onboarding_completed")), 1);
        EXPECT_EQ(gate.completions, 1);
        EXPECT_EQ(WelcomeAcknowledgementStore::loadIDs(), QStringList{session->accountID});
    }
}

TEST(LoginFirstFlowView, BadAnswersNeverStopTheGateNorShowTheUserAnError)
{
    const struct {
        const char *name;
        std::optional<ScriptedAnswer> lookup; // nothing: the contacts service is unreachable
        std::optional<ScriptedAnswer> termsAnswer;
        QString lookupLog; // expected line, empty for none
        bool consentsStored;
    } cases[] = {
        {"contacts never answer", [] { auto a = ScriptedAnswer::json(200, listsAnswer({})); a.delay = 1h; return a; }(),
         std::nullopt, QStringLiteral("onboarding warn marketing_visibility_fetch_failed error=The request timed out."), true},
        {"contacts answer not JSON", ScriptedAnswer::json(200, "<html>oops</html>"), std::nullopt,
         QStringLiteral("onboarding warn marketing_visibility_fetch_failed error=The answer could not be read."), true},
        {"contacts answer without list_slug", ScriptedAnswer::json(200, R"({"lists":[{"state":"never_asked"}]})"),
         std::nullopt,
         QStringLiteral("onboarding warn marketing_visibility_fetch_failed error=The answer could not be read."), true},
        {"contacts 503", ScriptedAnswer::json(503, R"({"error":"down"})"), std::nullopt,
         QStringLiteral("onboarding warn marketing_visibility_fetch_failed error=The server answered with status 503."),
         true},
        {"terms record refused", ScriptedAnswer::json(200, listsAnswer({})), ScriptedAnswer::json(500, "{}"), QString(),
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Gate gate;
        gate.region = QStringLiteral("US");
        if (c.lookup && c.lookup->delay > 0ms)
            gate.requestTimeout = 3s; // the lookup's own timeout, long enough for the other requests
        if (c.lookup)
            gate.contacts.on(kGet, FakeContactsService::mePath, *c.lookup);
        if (c.termsAnswer)
            gate.account.identity.enqueue(kPost, kConsents, *c.termsAnswer);
        gate.open();
        ASSERT_TRUE(gate.signIn());
        ASSERT_EQ(gate.view->step(), Step::welcome);
        ASSERT_TRUE(TestSupport::waitUntil([&] {
            return gate.contacts.countOf(kGet, FakeContactsService::mePath) == 1
                && (c.lookupLog.isEmpty() || gate.logs.contains(c.lookupLog));
        }));
        TestSupport::spinFor(50ms);
        EXPECT_EQ(gate.view->visibleMarketingLists(), WelcomeConsent::allListSlugs()) << "both boxes on failure";
        if (!c.lookupLog.isEmpty()) {
            EXPECT_EQ(gate.logs, QStringList{c.lookupLog});
        }

        gate.click(gate.view->welcomeView()->continueButton());
        ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.completions > 0; }));
        TestSupport::spinFor(50ms);
        EXPECT_EQ(gate.consentBodies().size(), c.consentsStored ? 2 : 1) << "no privacy record after a failed terms one";
        EXPECT_EQ(gate.countOf(QStringLiteral("welcome_terms_capture_failed")), c.consentsStored ? 0 : 1);
        if (!c.consentsStored) {
            EXPECT_EQ(gate.logs.filter(QStringLiteral("consent_submission_failed")),
                      QStringList{QStringLiteral(
                          "onboarding error consent_submission_failed error=The server answered with status 500.")});
        }
        EXPECT_EQ(gate.captureBodies().size(), 2) << "the opt-ins are sent whatever else failed";
        EXPECT_EQ(gate.countOf(QStringLiteral("welcome_consent_submitted")), 1);
        EXPECT_EQ(gate.completions, 1);
    }
}

TEST(LoginFirstFlowView, SigningOutDuringTheWelcomeStepReturnsToAFreshSignIn)
{
    Gate gate;
    gate.open();
    ASSERT_TRUE(gate.signIn());
    ASSERT_EQ(gate.view->step(), Step::welcome);
    EXPECT_EQ(gate.countOf(QStringLiteral("login_screen_shown")), 1);
    gate.account.service->signOut();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.view->step() == Step::signIn; }));
    EXPECT_EQ(gate.view->displayedSignInPhase(), Phase::ready());
    EXPECT_FALSE(gate.view->isWorking());
    EXPECT_TRUE(gate.view->signInScreen()->isVisible());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.countOf(QStringLiteral("login_screen_shown")) == 2; }))
        << "a new stay on the sign-in step is tracked again";
    EXPECT_EQ(gate.completions, 0);
}

TEST(LoginFirstFlowView, LegalLinksOpenTheMakersPages)
{
    Gate gate;
    gate.account.browser->setMode(FakeBrowser::Mode::ignore);
    gate.open();
    const QUrl terms(QStringLiteral("https://orvalen.test/terms/vantle"));
    const QUrl privacy(QStringLiteral("https://orvalen.test/privacy/vantle"));
    gate.click(gate.view->findChild<OrvalenLinkButton *>(QStringLiteral("termsLink")));
    gate.click(gate.view->findChild<OrvalenLinkButton *>(QStringLiteral("privacyLink")));
    // The welcome step's sentence links to the same pages.
    QLabel *sentence = gate.view->welcomeView()->termsLabel();
    EXPECT_TRUE(sentence->text().contains(terms.toString()));
    Q_EMIT sentence->linkActivated(privacy.toString());
    EXPECT_EQ(gate.account.browser->openedUrls(), (QList<QUrl>{terms, privacy, privacy}));
}


// Cancel pressed while the code the browser handed back is being exchanged: the manager
// refuses, the person has signed in, and the gate must neither look ready (a provider press
// would throw that sign-in away) nor stop being the one that routes it.
TEST(LoginFirstFlowView, ACancelTooLateLeavesTheSignInToFinishAndRouteOn)
{
    Gate gate;
    gate.account.identity.enqueue(kPost, FakeIdentityService::exchangePath, gate.account.exchangeAnswer(600ms));
    gate.open();
    ASSERT_TRUE(gate.waitForPhase(Phase::ready()));
    gate.click(gate.provider(Hint::email));
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return gate.account.identity.countOf(kPost, FakeIdentityService::exchangePath) == 1; }));
    OrvalenProviderButtons *buttons = gate.view->signInScreen()->providerButtons();
    ASSERT_NE(buttons->cancelButton(), nullptr);
    gate.click(buttons->cancelButton());

    EXPECT_TRUE(gate.view->isSigningIn());
    EXPECT_TRUE(gate.view->isWorking());
    EXPECT_EQ(gate.view->displayedSignInPhase(), Phase::busy());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.view->step() == Step::welcome; }));
    EXPECT_FALSE(gate.view->isSigningIn());
    EXPECT_EQ(gate.completions, 0);
    EXPECT_EQ(gate.account.browser->openedUrls().size(), 1);
}

// Two presses in one turn of the event loop (a double click, Return and Space): one sign-in.
TEST(LoginFirstFlowView, APressWhileASignInStartsStartsNoOther)
{
    Gate gate;
    gate.account.browser->setMode(FakeBrowser::Mode::ignore);
    gate.open();
    ASSERT_TRUE(gate.waitForPhase(Phase::ready()));
    gate.click(gate.provider(Hint::email));
    gate.click(gate.provider(Hint::google));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !gate.account.browser->openedUrls().isEmpty(); }));
    EXPECT_EQ(gate.account.journalOf(QStringLiteral("track auth_started")).size(), 1);
    EXPECT_EQ(QUrlQuery(gate.account.browser->openedUrls().constFirst()).queryItemValue(QStringLiteral("provider")),
              QStringLiteral("email"));
}

// Cancel and another provider in one turn: the cancelled sign-in ends only once the newer
// one has begun. The newer one keeps the busy look until its own end reaches the gate, also
// after the account service has published it signed in; a press then would start a third
// sign-in over it, and the new account would pass as a returning one.
TEST(LoginFirstFlowView, ACancelledSignInEndingLateLeavesTheNewerOneBusy)
{
    Gate gate;
    FakeBrowser &browser = *gate.account.browser;
    browser.setMode(FakeBrowser::Mode::ignore);
    gate.open();
    ASSERT_TRUE(gate.waitForPhase(Phase::ready()));
    gate.click(gate.provider(Hint::email));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return browser.openedUrls().size() == 1; }));
    OrvalenProviderButtons *buttons = gate.view->signInScreen()->providerButtons();
    gate.click(buttons->cancelButton());
    gate.click(gate.provider(Hint::google));
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        return browser.openedUrls().size() == 2
            && gate.account.journalOf(QStringLiteral("info sign_in_cancelled")).size() == 1;
    }));
    EXPECT_TRUE(gate.view->isWorking());
    EXPECT_TRUE(buttons->isBusy());

    // Each time the account service stops being busy the look is taken; the first time, a
    // provider is pressed.
    QList<bool> busyWhenServiceIdle;
    const QMetaObject::Connection hook = QObject::connect(
        gate.account.service.get(), &AccountService::isAuthenticatingChanged, gate.view.get(), [&](bool authenticating) {
            if (authenticating)
                return;
            busyWhenServiceIdle.append(buttons->isBusy());
            if (busyWhenServiceIdle.size() == 1)
                gate.click(gate.provider(Hint::apple));
        });
    // The person finishes the newer sign-in in the browser.
    browser.setMode(FakeBrowser::Mode::follow);
    browser.openUrl(browser.openedUrls().constLast());
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        return !gate.view->isSigningIn() && (gate.view->step() == Step::welcome || gate.completions > 0);
    }));
    QObject::disconnect(hook);

    EXPECT_EQ(busyWhenServiceIdle, QList<bool>{true});
    EXPECT_EQ(gate.account.journalOf(QStringLiteral("track auth_started")).size(), 2);
    EXPECT_EQ(QUrlQuery(browser.openedUrls().at(1)).queryItemValue(QStringLiteral("provider")), QStringLiteral("google"));
    EXPECT_EQ(gate.view->step(), Step::welcome);
    EXPECT_EQ(gate.completions, 0) << "a new account passed without the welcome step";
}

// The gate completes once, however many roads lead there: a person restored at launch
// who then signs in again from the same gate is not completed twice.
TEST(LoginFirstFlowView, TheGateCompletesOnce)
{
    Gate gate;
    gate.account.storeLiveSession(3600, FakeIdentityService::accountId, FakeIdentityService::email);
    gate.open();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.completions == 1; }));
    gate.click(gate.provider(Hint::email));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.account.journalOf(QStringLiteral("track sign_in_completed")).size() == 1; }));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !gate.view->isSigningIn(); }));
    TestSupport::spinFor(50ms); // a completion queued for later
    EXPECT_EQ(gate.completions, 1);
    EXPECT_EQ(gate.countOf(QStringLiteral("onboarding_completed")), 1);
}

// The welcome step's Continue runs to its end though the person signs out meanwhile and
// the host drops the gate: the sign-out shows at once, the identity service records both
// consents and the contacts service both opt-ins as they were at Continue, and the session
// is revoked only then. The gate of the next sign-in is not completed by it.
TEST(LoginFirstFlowView, AWelcomeSubmissionOutlivesTheGate)
{
    Gate gate;
    gate.region = QStringLiteral("US");
    FakeIdentityService &identity = gate.account.identity;
    gate.contacts.setContactResolver([&identity](const QString &bearer) { return identity.accountOfSession(bearer); });
    gate.open();
    ASSERT_TRUE(gate.signIn());
    ASSERT_EQ(gate.view->step(), Step::welcome);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.contacts.countOf(kGet, FakeContactsService::mePath) == 1; }));
    const QString token = gate.account.bridge->currentSession()->oas;
    bool signedOutAtOnce = false;
    // Signed out while "terms" is under way. A revoke sent at once would reach the service
    // before "terms" is answered: the service is kept from answering until the person is
    // signed out.
    identity.beforeAnswering(kConsents, [&] {
        gate.account.service->signOut();
        signedOutAtOnce = !gate.account.service->isAuthenticated();
        TestSupport::waitUntil([&] { return !gate.account.service->isAuthenticated(); });
    });
    WelcomeStepView *welcome = gate.view->welcomeView();
    gate.click(welcome->continueButton());
    gate.click(welcome->row(WelcomeConsent::appListSlug)); // after Continue: sends nothing else
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !gate.account.service->isAuthenticated(); }));
    EXPECT_TRUE(signedOutAtOnce);
    gate.view.reset(); // as the host drops it

    ASSERT_TRUE(TestSupport::waitUntil([&] { return identity.revokedSessions().contains(token); }));
    QList<QJsonObject> recorded;
    for (const FakeIdentityService::Consent &record : identity.consents()) {
        EXPECT_EQ(record.accountId, FakeIdentityService::accountId);
        recorded.append(record.body);
    }
    EXPECT_EQ(recorded, (QList<QJsonObject>{consent(QStringLiteral("terms")), consent(QStringLiteral("privacy"))}));
    QStringList captured;
    for (const QJsonObject &capture : gate.contacts.captures()) {
        captured.append(capture.value(QStringLiteral("list_slug")).toString() + QLatin1Char(' ')
                        + capture.value(QStringLiteral("consent_method")).toString());
    }
    EXPECT_EQ(captured, (QStringList{QStringLiteral("vantle_marketing default_checked"),
                                     QStringLiteral("orvalen_newsletter default_checked")}));
    EXPECT_EQ(gate.countOf(QStringLiteral("welcome_terms_capture_failed")), 0);
    EXPECT_EQ(gate.propertiesOf(QStringLiteral("welcome_consent_submitted")),
              (Analytics::Properties{{QStringLiteral("app_opt_in"), true},
                                     {QStringLiteral("studio_opt_in"), true},
                                     {QStringLiteral("app_slug"), QStringLiteral("vantle")}}));
    EXPECT_EQ(WelcomeAcknowledgementStore::loadIDs(), QStringList{FakeIdentityService::accountId});
    EXPECT_EQ(gate.completions, 0);
    EXPECT_EQ(gate.countOf(QStringLiteral("onboarding_completed")), 0);
}

TEST(LoginFirstFlowView, WelcomeSubmissionsThatSendLess)
{
    const struct {
        const char *name;
        std::optional<QString> email;     // in place of the account's own
        QList<ScriptedAnswer> consents;   // the first answers, in order
        int consentsSent;
        int captures;
        QStringList events;               // tracked once each
        QString logLine;
    } cases[] = {
        {"an e-mail of white space only", QStringLiteral(" \n\t"), {}, 2, 0,
         {QStringLiteral("welcome_marketing_capture_skipped")}, QString()},
        {"privacy refused after terms was stored", std::nullopt,
         {ScriptedAnswer::json(200, R"({"ok":true})"), ScriptedAnswer::json(500, "{}")}, 2, 2,
         {QStringLiteral("welcome_terms_capture_failed")},
         QStringLiteral("onboarding error consent_submission_failed error=The server answered with status 500.")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Gate gate;
        gate.region = QStringLiteral("US");
        if (c.email) {
            gate.account.identity.enqueue(kPost, FakeIdentityService::exchangePath,
                                          gate.account.exchangeAnswer(0ms, c.email));
        }
        for (const ScriptedAnswer &answer : c.consents)
            gate.account.identity.enqueue(kPost, kConsents, answer);
        gate.open();
        ASSERT_TRUE(gate.signIn());
        ASSERT_EQ(gate.view->step(), Step::welcome);
        gate.click(gate.view->welcomeView()->continueButton());
        ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.completions == 1; }));

        EXPECT_EQ(gate.consentBodies().size(), c.consentsSent);
        EXPECT_EQ(gate.captureBodies().size(), c.captures);
        for (const QString &event : c.events)
            EXPECT_EQ(gate.countOf(event), 1) << event.toStdString();
        EXPECT_EQ(gate.propertiesOf(QStringLiteral("welcome_consent_submitted")),
                  (Analytics::Properties{{QStringLiteral("app_opt_in"), true},
                                         {QStringLiteral("studio_opt_in"), true},
                                         {QStringLiteral("app_slug"), QStringLiteral("vantle")}}));
        EXPECT_EQ(gate.logs.filter(QStringLiteral("consent_submission_failed")),
                  c.logLine.isEmpty() ? QStringList() : QStringList{c.logLine});
    }
}

// The probe tells the sign-in step whether to show the offline card; on the welcome step it
// sends nothing, whatever asks for it.
TEST(LoginFirstFlowView, TheProbeRunsOnlyOnTheSignInStep)
{
    Gate gate;
    gate.identityForProbe = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort()));
    gate.open();
    ASSERT_TRUE(gate.waitForPhase(Phase::offline()));
    // Retry and a sign-in in one go: the probe, still unanswered, leaves the card behind.
    auto *retry = gate.view->findChild<OrvalenOutlineButton *>(QStringLiteral("retry"));
    gate.click(retry);
    gate.provider(Hint::email)->click();
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return gate.view->step() == Step::welcome && gate.view->signInPhase() == Phase::offline(); }));
    gate.identityForProbe = gate.account.identity.baseUrl();
    retry->click();
    gate.click(gate.view->welcomeView()->continueButton());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.completions == 1; }));
    EXPECT_EQ(gate.account.identity.countOf(kGet, kWhoami), 0);
}

// The gate's own requests carry the session's bearer token (the probe carries none): a
// redirect to another host is never followed, so nothing reaches that host.
TEST(LoginFirstFlowView, NoRequestFollowsARedirectToAnotherHost)
{
    Gate gate;
    gate.region = QStringLiteral("US");
    Fakes::FakeService elsewhere;
    const auto redirect = [&elsewhere](const QString &path) {
        ScriptedAnswer answer;
        answer.status = 307;
        answer.headers.append({QByteArrayLiteral("Location"), elsewhere.url(path).toString().toUtf8()});
        return answer;
    };
    gate.account.identity.on(kGet, kWhoami, redirect(kWhoami));
    gate.account.identity.on(kPost, kConsents, redirect(kConsents));
    gate.contacts.on(kGet, FakeContactsService::mePath, redirect(FakeContactsService::mePath));
    gate.contacts.on(kPost, FakeContactsService::capturePath, redirect(FakeContactsService::capturePath));
    gate.open();
    ASSERT_TRUE(gate.signIn());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.contacts.countOf(kGet, FakeContactsService::mePath) == 1; }));
    gate.click(gate.view->welcomeView()->continueButton());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return gate.completions == 1; }));

    EXPECT_EQ(gate.account.identity.countOf(kGet, kWhoami), 1);
    EXPECT_EQ(gate.account.identity.countOf(kPost, kConsents), 1);
    EXPECT_EQ(gate.contacts.countOf(kPost, FakeContactsService::capturePath), 2);
    EXPECT_TRUE(elsewhere.requests().isEmpty()) << elsewhere.requests().constFirst().path.toStdString();
}

} // namespace
