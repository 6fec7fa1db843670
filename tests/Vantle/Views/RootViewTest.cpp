#include "Vantle/Views/RootView.h"

#include "Vantle/App/VantleApp.h"

#include "../Services/AccountServiceHarness.h"
#include "OrvalenAccount/UI/OrvalenProviderButton.h"
#include "OrvalenAccount/UI/OrvalenProviderButtons.h"
#include "OrvalenAccount/UI/OrvalenLinkButton.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Vantle/Models/LedgerModel.h"
#include "Vantle/Onboarding/LoginFirstFlowView.h"
#include "Vantle/Onboarding/WelcomeAcknowledgementStore.h"
#include "Vantle/Shell/LoadingView.h"
#include "Vantle/Views/FreshLaunchToast.h"
#include "OrvalenAccount/UI/OrvalenOutlineButton.h"
#include "Vantle/Views/LedgerOfflineView.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeContactsService.h"
#include "tools/fakes/FakeLedgerService.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using Surface = RootView::Surface;
using TestSupport::waitUntil;

namespace {

const QString accountID = QStringLiteral("oa_01890a5d-ac96-774b-bcce-b302099a8057");

// Stands in for the first-run gate: like the real one, its first appearance passes a person
// who is signed in already; complete() is the welcome step's Continue.
class StubGate final : public QWidget {
public:
    StubGate(AccountService *account, std::function<void()> onComplete, int *paints, QWidget *parent)
        : QWidget(parent), m_account(account), m_onComplete(std::move(onComplete)), m_paints(paints)
    {
    }
    void complete() { m_onComplete(); }
    std::function<void()> completion() const { return m_onComplete; }
    bool routeOnAppear = true;
    bool signingIn = false;

protected:
    void paintEvent(QPaintEvent *) override { ++*m_paints; }
    void showEvent(QShowEvent *) override
    {
        if (m_routed || !routeOnAppear)
            return;
        m_routed = true;
        if (m_account && m_account->isAuthenticated())
            QMetaObject::invokeMethod(this, [this]() { m_onComplete(); }, Qt::QueuedConnection);
    }

private:
    QPointer<AccountService> m_account;
    std::function<void()> m_onComplete;
    int *m_paints;
    bool m_routed = false;
};

class RootViewTest : public ::testing::Test {
protected:
    RootViewTest() : harness(std::make_shared<InMemoryKeychain>())
    {
        auto api = std::make_shared<VantleAPI>(
            ledgerService.ledgerURL(), []() { return std::optional<QString>(QStringLiteral("oas_t")); }, &network);
        ledger = std::make_unique<LedgerModel>(api);
    }

    // A launch: restores whatever the keychain holds, with the root view on screen.
    void launch()
    {
        RootView::Surfaces surfaces;
        surfaces.gate = [this](std::function<void()> onComplete, QWidget *parent) -> QWidget * {
            ++gatesMade;
            auto *gate = new StubGate(harness.service.get(), std::move(onComplete), &gatePaints, parent);
            gate->routeOnAppear = gatesRouteOnAppear;
            return gate;
        };
        surfaces.gateIsSigningIn = [](QWidget *gate) { return static_cast<StubGate *>(gate)->signingIn; };
        surfaces.audit = [](QWidget *parent) { return new QWidget(parent); };
        surfaces.main = [](QWidget *parent) { return new QWidget(parent); };
        root = std::make_unique<RootView>(harness.service.get(), harness.bridge.get(), ledger.get(), surfaces);
        QObject::connect(root.get(), &RootView::surfaceChanged, [this](Surface surface) { seen.append(surface); });
        root->resize(960, 680);
        root->show();
        EXPECT_EQ(root->surface(), Surface::loading);
        harness.attach();
    }
    StubGate *gate() const { return root->surface() == Surface::gate ? static_cast<StubGate *>(root->content()) : nullptr; }
    bool reaches(Surface surface) { return waitUntil([&] { return root->surface() == surface; }); }

    AccountServiceHarness harness;
    Fakes::FakeLedgerService ledgerService;
    QNetworkAccessManager network;
    std::unique_ptr<LedgerModel> ledger;
    std::unique_ptr<RootView> root;
    int gatesMade = 0;
    int gatePaints = 0;
    bool gatesRouteOnAppear = true;
    QList<Surface> seen;
};

// From a launch to what the person sees first, by what the keychain and the ledger hold.
TEST_F(RootViewTest, ALaunchShowsTheGateTheAuditOrTheLedger)
{
    struct Row {
        const char *name;
        bool storedSession;
        bool hasCategory;
        Surface expected;
        bool greeted;
    };
    const Row rows[] = {
        {"nobody signed in", false, false, Surface::gate, false},
        {"signed in, no categories yet", true, false, Surface::audit, false},
        {"signed in with a week", true, true, Surface::main, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        root.reset();
        harness.launch();
        ledger->setActive(false);
        harness.storage().deleteData(KeychainStorage::Keys::session);
        ledgerService.setCategories({});
        if (row.storedSession)
            harness.storeLiveSession(3600, accountID, QStringLiteral("a@example.test"));
        if (row.hasCategory)
            ledgerService.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);

        gatePaints = 0;
        launch();
        ASSERT_TRUE(reaches(row.expected)) << RootView::name(root->surface()).toStdString();
        // A signed-in launch passes the gate without ever drawing its sign-in screen.
        if (row.storedSession)
            EXPECT_EQ(gatePaints, 0);
        else
            EXPECT_TRUE(waitUntil([&] { return gatePaints > 0; }));
        EXPECT_EQ(ledger->isActive(), row.storedSession);
        EXPECT_EQ(root->toast()->isPresented(), row.greeted);
        EXPECT_FALSE(harness.bridge->didJustRestore());
    }
}

// A sign-out anywhere brings a fresh gate, and the ledger of the account that left is gone.
TEST_F(RootViewTest, ASignOutShowsAFreshGateAndClearsTheLedger)
{
    harness.storeLiveSession(3600, accountID, QStringLiteral("a@example.test"));
    ledgerService.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
    launch();
    ASSERT_TRUE(reaches(Surface::main));
    const int before = gatesMade;

    harness.service->signOut();
    ASSERT_TRUE(reaches(Surface::gate));
    EXPECT_EQ(gatesMade, before + 1);
    EXPECT_FALSE(ledger->isActive());
    EXPECT_TRUE(ledger->categories().isEmpty());
    EXPECT_FALSE(root->gateCompleted());
}

// The gate stays after the person is signed in until it says it is done (the welcome step
// shows meanwhile), and only the gate on screen can say so.
TEST_F(RootViewTest, TheGateStaysUntilItCompletes)
{
    gatesRouteOnAppear = false;
    ledgerService.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
    launch();
    ASSERT_TRUE(reaches(Surface::gate));
    QPointer<StubGate> first = gate();
    first->signingIn = true; // the gate's own sign-in: it routes the person on itself

    harness.storeLiveSession(3600, accountID, QStringLiteral("a@example.test"));
    TestSupport::runTask(harness.bridge->manager()->restore(false));
    ASSERT_TRUE(waitUntil([&] { return harness.service->isAuthenticated() && ledger->isActive(); }));
    // Whatever a wrong swap of the gate would wait for has had its turns.
    TestSupport::spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(root->surface(), Surface::gate);
    EXPECT_EQ(gate(), first.data());

    const std::function<void()> stale = first->completion();
    first->complete();
    ASSERT_TRUE(reaches(Surface::main));

    // Signed out and in again: the new gate waits for its own completion, not the old one's.
    harness.service->signOut();
    ASSERT_TRUE(reaches(Surface::gate));
    gate()->signingIn = true;
    harness.storeLiveSession(3600, accountID, QStringLiteral("a@example.test"));
    TestSupport::runTask(harness.bridge->manager()->restore(false));
    ASSERT_TRUE(waitUntil([&] { return harness.service->isAuthenticated(); }));
    stale();
    TestSupport::spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(root->surface(), Surface::gate);
    EXPECT_FALSE(root->gateCompleted());
}

// Signed in from the settings window while the gate waits on its sign-in step: the gate is
// shown afresh, and its first appearance passes the person on.
TEST_F(RootViewTest, ASignInElsewhereMovesThePastGate)
{
    ledgerService.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
    launch();
    ASSERT_TRUE(reaches(Surface::gate));
    const int before = gatesMade;

    harness.storeLiveSession(3600, accountID, QStringLiteral("a@example.test"));
    TestSupport::runTask(harness.bridge->manager()->restore(false));
    ASSERT_TRUE(reaches(Surface::main));
    EXPECT_EQ(gatesMade, before + 1);
    // Not a launch: no greeting.
    EXPECT_FALSE(root->toast()->isPresented());
}

// The application's own gate, asked as the application asks it: a new account still sees
// the welcome step of the gate whose sign-in it came from. Were that gate taken for idle, a
// fresh one would pass the person as returning: welcomed, no consent recorded. Its sign-in
// outlives a Cancel that came too late (the browser had handed the code back), and a
// cancelled sign-in's late end when the person pressed another provider in the same turn.
TEST_F(RootViewTest, TheRealGateKeepsASignInItsCancelCouldNotStop)
{
    const struct {
        const char *name;
        bool cancelTooLate; // else: Cancel while the browser waits, and another provider at once
    } cases[] = {
        {"Cancel once the code is back", true},
        {"Cancel and another provider in one turn", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        AccountServiceHarness account(std::make_shared<InMemoryKeychain>());
        auto preferences = std::make_shared<InMemoryPreferences>();
        Preferences::setStandard(preferences);
        Fakes::FakeContactsService contacts;
        QStringList events;
        LoginFirstFlowView::Environment environment;
        environment.track = [&events](const QString &event, const Analytics::Properties &) { events.append(event); };
        environment.log = [](const QString &, const QString &, const QString &) {};
        environment.identityURL = [&account] { return account.identity.baseUrl(); };
        environment.contactsURL = [&contacts] { return contacts.baseUrl(); };
        environment.webURL = [] { return QUrl(QStringLiteral("https://orvalen.test")); };
        environment.regionCode = [] { return QStringLiteral("DE"); };
        int gates = 0;
        RootView::Surfaces surfaces;
        surfaces.gate = [&](std::function<void()> onComplete, QWidget *parent) -> QWidget * {
            ++gates;
            return new LoginFirstFlowView(account.service.get(), account.bridge.get(), std::move(onComplete),
                                          environment, parent);
        };
        surfaces.gateIsSigningIn = &VantleApp::gateIsSigningIn;
        surfaces.audit = [](QWidget *parent) { return new QWidget(parent); };
        surfaces.main = [](QWidget *parent) { return new QWidget(parent); };
        if (c.cancelTooLate) {
            account.identity.enqueue(QStringLiteral("POST"), Fakes::FakeIdentityService::exchangePath,
                                     account.exchangeAnswer(std::chrono::milliseconds(600)));
        } else {
            account.browser->setMode(Fakes::FakeBrowser::Mode::ignore);
        }
        auto view = std::make_unique<RootView>(account.service.get(), account.bridge.get(), ledger.get(), surfaces);
        view->resize(960, 680);
        view->show();
        account.attach();
        ASSERT_TRUE(waitUntil([&] { return view->surface() == Surface::gate; }));
        const auto shownGate = [&view] { return qobject_cast<LoginFirstFlowView *>(view->content()); };
        OrvalenProviderButtons *buttons = shownGate()->signInScreen()->providerButtons();
        ASSERT_TRUE(waitUntil([&] { return shownGate()->displayedSignInPhase() == OrvalenSignInScreen::Phase::ready(); }));

        QTest::mouseClick(buttons->button(OAuthDriver::ProviderHint::email), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] {
            return c.cancelTooLate
                ? account.identity.countOf(QStringLiteral("POST"), Fakes::FakeIdentityService::exchangePath) == 1
                : account.browser->openedUrls().size() == 1;
        }));
        ASSERT_NE(buttons->cancelButton(), nullptr);
        account.browser->setMode(Fakes::FakeBrowser::Mode::follow);
        QTest::mouseClick(buttons->cancelButton(), Qt::LeftButton);
        if (!c.cancelTooLate)
            QTest::mouseClick(buttons->button(OAuthDriver::ProviderHint::google), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] {
            return view->gateCompleted() || (shownGate() && shownGate()->step() == LoginFirstFlowView::GateStep::welcome);
        }));

        EXPECT_FALSE(view->gateCompleted());
        EXPECT_EQ(gates, 1);
        EXPECT_FALSE(events.contains(QStringLiteral("onboarding_completed")));
        EXPECT_TRUE(WelcomeAcknowledgementStore::loadIDs().isEmpty()) << "welcomed without the welcome step";
        // The ledger the sign-in started to load has arrived: nothing is left in flight.
        EXPECT_TRUE(waitUntil([&] { return ledger->didLoadCategories(); }));
        view.reset();
        ledger->setActive(false);
        Preferences::setStandard(nullptr);
    }
}

// A person with a week never passes through the Hour Audit: not while their categories are
// on their way at launch, nor when another account signs in without a sign-out between.
TEST_F(RootViewTest, APersonWithAWeekNeverPassesThroughTheAudit)
{
    const QString path = QString::fromLatin1(Fakes::FakeLedgerService::categoriesPath);
    harness.storeLiveSession(3600, accountID, QStringLiteral("a@example.test"));
    ledgerService.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
    Fakes::ScriptedAnswer slow = Fakes::ScriptedAnswer::json(
        200, QJsonDocument(QJsonObject{{QStringLiteral("categories"), ledgerService.categories()}}).toJson());
    slow.delay = std::chrono::milliseconds(300);
    ledgerService.enqueue(QStringLiteral("GET"), path, slow);
    launch();
    ASSERT_TRUE(reaches(Surface::main));
    EXPECT_FALSE(seen.contains(Surface::audit)) << "shown the audit while the week was on its way";

    seen.clear();
    const int gets = ledgerService.countOf(QStringLiteral("GET"), path);
    harness.storeLiveSession(3600, QStringLiteral("oa_01890a5d-ac96-774b-bcce-b302099a8058"),
                             QStringLiteral("b@example.test"));
    TestSupport::runTask(harness.bridge->manager()->restore(false));
    ASSERT_TRUE(waitUntil([&] {
        return ledgerService.countOf(QStringLiteral("GET"), path) > gets && ledger->didLoadCategories()
            && root->surface() == Surface::main;
    }));
    EXPECT_TRUE(seen.contains(Surface::loading)) << "the other account's week never was on its way";
    EXPECT_FALSE(seen.contains(Surface::audit)) << "shown the audit while the other account's week was on its way";
}

// A signed-in person whose week cannot be loaded sees why, with a Retry that has the
// keyboard; the ledger's own retries or the Retry bring the week, and nothing spins meanwhile.
TEST_F(RootViewTest, AWeekThatCannotLoadShowsOfflineUntilItArrives)
{
    const QString path = QString::fromLatin1(Fakes::FakeLedgerService::categoriesPath);
    ledgerService.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
    for (const bool pressRetry : {false, true}) {
        SCOPED_TRACE(pressRetry ? "Retry pressed" : "retried on its own");
        root.reset();
        harness.launch();
        ledger = std::make_unique<LedgerModel>(std::make_shared<VantleAPI>(
            ledgerService.ledgerURL(), []() { return std::optional<QString>(QStringLiteral("oas_t")); }, &network));
        ledger->setFirstRetryDelay(pressRetry ? std::chrono::milliseconds(std::chrono::hours(1))
                                              : std::chrono::milliseconds(20));
        harness.storeLiveSession(3600, accountID, QStringLiteral("a@example.test"));
        ledgerService.failNext(QStringLiteral("GET"), path, 503, {});
        if (!pressRetry)
            ledgerService.failNext(QStringLiteral("GET"), path, 502, {});
        const int before = ledgerService.countOf(QStringLiteral("GET"), path);

        seen.clear();
        launch();
        root->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(root.get()));
        ASSERT_TRUE(waitUntil([&] { return seen.contains(Surface::offline); }));
        if (pressRetry) {
            // No retry of its own for an hour: the card stays, and nothing turns meanwhile.
            auto *offline = qobject_cast<LedgerOfflineView *>(root->content());
            ASSERT_TRUE(offline);
            for (const LoadingView *loading : root->findChildren<LoadingView *>())
                EXPECT_FALSE(loading->isVisible() && loading->isSpinning()) << "a spinner turns while offline";
            // Retry, the card's one control, has the keyboard as the card comes: Return presses it.
            ASSERT_EQ(QApplication::focusWidget(), static_cast<QWidget *>(offline->retryButton()));
            EXPECT_TRUE(offline->retryButton()->hasKeyboardFocus());
            QTest::keyClick(root->windowHandle(), Qt::Key_Return);
        }
        ASSERT_TRUE(reaches(Surface::main));
        EXPECT_EQ(ledgerService.countOf(QStringLiteral("GET"), path) - before, pressRetry ? 2 : 3);
        EXPECT_FALSE(ledger->lastRefreshFailed());
        EXPECT_FALSE(ledger->isRetryPlanned());
        EXPECT_EQ(seen.mid(seen.indexOf(Surface::offline)), (QList<Surface>{Surface::offline, Surface::main}));
    }
}

} // namespace

// Another account signed in without a sign-out in between (from the settings window): the
// ledger shown is the new account's at once, never the last one's until the next refresh.
TEST(RootViewAccountsTest, AnotherAccountSeesItsOwnLedgerAtOnce)
{
    AccountServiceHarness harness(std::make_shared<InMemoryKeychain>());
    Fakes::FakeLedgerService ledgerService;
    QNetworkAccessManager network;
    const QString ann = QStringLiteral("oa_01890a5d-ac96-774b-bcce-b302099a8001");
    const QString bo = QStringLiteral("oa_01890a5d-ac96-774b-bcce-b302099a8002");
    const auto ledgerOf = [](const QString &name) {
        return QJsonObject{{QStringLiteral("categories"),
                            QJsonArray{QJsonObject{{QStringLiteral("id"), name}, {QStringLiteral("name"), name},
                                                   {QStringLiteral("kind"), QStringLiteral("committed")},
                                                   {QStringLiteral("position"), 0}, {QStringLiteral("archived"), false}}}},
                           {QStringLiteral("audits"), QJsonArray()}};
    };
    ledgerService.restoreState(QJsonObject{{QStringLiteral("next_audit"), 1},
                                           {QStringLiteral("accounts"),
                                            QJsonObject{{ann, ledgerOf(QStringLiteral("Ann's work"))},
                                                        {bo, ledgerOf(QStringLiteral("Bo's work"))}}}});
    // Each stored session's token opens its own account's ledger.
    QHash<QString, QString> accountOfToken;
    ledgerService.setTokenResolver([&accountOfToken](const QString &token) -> std::optional<QString> {
        if (!accountOfToken.contains(token))
            return std::nullopt;
        return accountOfToken.value(token);
    });
    auto api = std::make_shared<VantleAPI>(
        ledgerService.ledgerURL(),
        [&harness]() -> std::optional<QString> {
            const auto stored = harness.stored();
            return stored ? std::optional<QString>(stored->oas) : std::nullopt;
        },
        &network);
    LedgerModel ledger(api);
    RootView::Surfaces surfaces;
    int gatePaints = 0;
    surfaces.gate = [&harness, &gatePaints](std::function<void()> onComplete, QWidget *parent) -> QWidget * {
        return new StubGate(harness.service.get(), std::move(onComplete), &gatePaints, parent);
    };
    surfaces.audit = [](QWidget *parent) { return new QWidget(parent); };
    surfaces.main = [](QWidget *parent) { return new QWidget(parent); };
    const auto signInAs = [&](const QString &account) {
        accountOfToken.insert(harness.storeLiveSession(3600, account, account + QStringLiteral("@example.test")).oas,
                              account);
    };

    signInAs(ann);
    RootView root(harness.service.get(), harness.bridge.get(), &ledger, surfaces);
    root.show();
    harness.attach();
    ASSERT_TRUE(waitUntil([&] { return root.surface() == Surface::main; }));
    ASSERT_EQ(ledger.categories().first().name, QStringLiteral("Ann's work"));

    signInAs(bo);
    TestSupport::runTask(harness.bridge->manager()->restore(false));
    ASSERT_TRUE(waitUntil([&] { return harness.service->orvalenAccountID() == bo; }));
    // Ann's categories are gone the moment Bo is signed in, and Bo's arrive without waiting
    // for the minute's refresh.
    EXPECT_TRUE(ledger.categories().isEmpty() || ledger.categories().first().name != QStringLiteral("Ann's work"));
    ASSERT_TRUE(waitUntil([&] { return !ledger.categories().isEmpty(); }));
    EXPECT_EQ(ledger.categories().first().name, QStringLiteral("Bo's work"));
}
