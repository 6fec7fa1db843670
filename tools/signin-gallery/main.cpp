// Renders the sign-in screen in every phase and both styles, the welcome step's view, and
// the first-run gate's steps as a person meets them (driven through the loopback sign-in,
// identity and contacts services), to PNG files, offscreen, so the look can be checked
// without a display:
//
//   signin-gallery <output folder> [--scale <factor>]
//
// Files: signin-<style>-<phase>.png, welcome-<case>.png (and welcome-<control>-focused.png:
// the keyboard on a box, the first link, Continue), gate-<step>.png.

#include "OrvalenAccount/UI/OrvalenSignInScreen.h"
#include "OrvalenAccount/OrvalenInstallMetrics.h"
#include "OrvalenAccount/UI/OrvalenProviderButton.h"
#include "OrvalenAccount/UI/OrvalenProviderButtons.h"
#include "Platform/ApplicationFont.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Vantle/Onboarding/LoginFirstFlowView.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/OrvalenAccountBridge.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "tools/fakes/FakeAuthority.h"
#include "tools/fakes/FakeBrowser.h"
#include "tools/fakes/FakeContactsService.h"
#include "tools/fakes/FakeIdentityService.h"
#include "Vantle/Onboarding/VantleLogo.h"
#include "Vantle/Onboarding/WelcomeAccentButton.h"
#include "Vantle/Onboarding/WelcomeCheckboxRow.h"
#include "Vantle/Onboarding/WelcomeConsent.h"
#include "Vantle/Onboarding/WelcomeStepView.h"
#include "Vantle/Utilities/Theme.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QPainter>
#include <QTextStream>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>

namespace {

using Phase = OrvalenSignInScreen::Phase;

// A window-sized backdrop in the surrounding's colour.
class Backdrop final : public QWidget {
public:
    explicit Backdrop(QColor color) : m_color(color)
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    void add(QWidget *widget) { layout()->addWidget(widget); }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), m_color); }

private:
    QColor m_color;
};

bool save(QWidget *widget, const QDir &folder, const QString &name, QSize size)
{
    widget->resize(size);
    widget->show();
    QApplication::processEvents();
    const QString path = folder.filePath(name + QStringLiteral(".png"));
    const bool ok = widget->grab().save(path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
    widget->hide();
    return ok;
}

int renderSignIn(const QDir &folder)
{
    int failures = 0;
    const struct {
        const char *name;
        OrvalenProviderButtonStyle style;
        QColor backdrop;
    } styles[] = {
        {"dark", OrvalenProviderButtonStyle::dark(Theme::accent), Theme::canvas},
        {"light", OrvalenProviderButtonStyle::light(QColor(0x2F, 0x6F, 0xEB)), QColor(0xF5, 0xF5, 0xF7)},
    };
    const struct {
        const char *name;
        Phase phase;
    } phases[] = {
        {"ready", Phase::ready()},
        {"busy", Phase::busy()},
        {"offline", Phase::offline()},
        {"error", Phase::error(QStringLiteral("Sign-in didn't complete. Please try again."))},
    };
    for (const auto &style : styles) {
        for (const auto &phase : phases) {
            Backdrop backdrop(style.backdrop);
            backdrop.add(new OrvalenSignInScreen(
                VantleLogo::icon(), QStringLiteral("vantle"), QStringLiteral("Sign in to vantle with your Orvalen Account"),
                style.style, phase.phase, QUrl(QStringLiteral("https://orvalen.dev/privacy/vantle")),
                QUrl(QStringLiteral("https://orvalen.dev/terms/vantle")), [](OAuthDriver::ProviderHint) {}, [] {},
                [] {}));
            const QString name = QStringLiteral("signin-%1-%2").arg(QLatin1String(style.name), QLatin1String(phase.name));
            failures += save(&backdrop, folder, name, QSize(960, 680)) ? 0 : 1;
        }
    }
    return failures;
}

int renderWelcome(const QDir &folder)
{
    int failures = 0;
    const QSet<QString> both = WelcomeConsent::allListSlugs();
    const struct {
        const char *name;
        QSet<QString> visible;
        bool appOptIn, studioOptIn;
    } cases[] = {
        {"optins-on", both, true, true},
        {"optins-off", both, false, false},
        {"one-list", {WelcomeConsent::studioListSlug}, false, true},
        {"no-lists", {}, false, false},
    };
    for (const auto &c : cases) {
        Backdrop backdrop(Theme::canvas);
        auto *view = new WelcomeStepView(QUrl(QStringLiteral("https://orvalen.dev/terms/vantle")),
                                         QUrl(QStringLiteral("https://orvalen.dev/privacy/vantle")));
        view->setMarketing(c.visible, c.appOptIn, c.studioOptIn);
        backdrop.add(view);
        failures += save(&backdrop, folder, QStringLiteral("welcome-%1").arg(QLatin1String(c.name)), QSize(960, 680)) ? 0 : 1;
    }
    // The keyboard on the second box (its ring whole around it), on the first link, on Continue.
    {
        Backdrop backdrop(Theme::canvas);
        auto *view = new WelcomeStepView(QUrl(QStringLiteral("https://orvalen.dev/terms/vantle")),
                                         QUrl(QStringLiteral("https://orvalen.dev/privacy/vantle")));
        view->setMarketing(both, true, false);
        backdrop.add(view);
        backdrop.resize(960, 680);
        backdrop.show();
        backdrop.activateWindow();
        const bool active = QTest::qWaitForWindowActive(&backdrop);
        // Taken with the window kept up: hidden and shown again, it would lose the focus.
        const auto focusedPicture = [&](QWidget *control, const QString &name) {
            control->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            const QString path = folder.filePath(name + QStringLiteral(".png"));
            const bool ok = active && control->hasFocus() && backdrop.grab().save(path);
            QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
            return ok;
        };
        failures += focusedPicture(view->row(WelcomeConsent::studioListSlug), QStringLiteral("welcome-box-focused")) ? 0 : 1;
        // Tab into the sentence lands on its first link.
        failures += focusedPicture(view->termsLabel(), QStringLiteral("welcome-link-focused")) ? 0 : 1;
        failures += focusedPicture(view->continueButton(), QStringLiteral("welcome-continue-focused")) ? 0 : 1;
    }
    // A short window: the step scrolls rather than squeezing its rows.
    Backdrop small(Theme::canvas);
    auto *view = new WelcomeStepView(QUrl(QStringLiteral("https://orvalen.dev/terms/vantle")),
                                     QUrl(QStringLiteral("https://orvalen.dev/privacy/vantle")));
    view->setMarketing(both, true, false);
    small.add(view);
    failures += save(&small, folder, QStringLiteral("welcome-small-window"), QSize(420, 360)) ? 0 : 1;
    return failures;
}

// Turns the event loop until `condition` holds (or five seconds pass).
template <typename Condition>
bool settle(Condition condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 5000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// One launch of the account objects over loopback services, with a gate on screen.
class GateScene {
public:
    enum class Look { signInReady, signInBusy, signInOffline, signInError, welcome };

    GateScene(const QString &region, std::optional<Fakes::ScriptedAnswer> lookup)
    {
        identity.setAuthority(&authority);
        qputenv("VANTLE_AUTHORITY_URL", authority.issuer().toString().toUtf8());
        qputenv("VANTLE_IDENTITY_URL", identity.baseUrl().toString().toUtf8());
        KeychainHelper::setKeychain(keychain);
        OrvalenInstallMetrics::setKeychain(keychain);
        Preferences::setStandard(std::make_shared<InMemoryPreferences>());
        if (lookup)
            contacts.on(QStringLiteral("GET"), Fakes::FakeContactsService::mePath, *lookup);

        QFile machineId(folder.filePath(QStringLiteral("machine-id")));
        machineId.open(QIODevice::WriteOnly);
        machineId.write("3d1219c7c4c5404aaa1f6d2a48adfda4\n");
        machineId.close();
        device = std::make_unique<DeviceService>(machineId.fileName());
        OrvalenAccountManager::Environment managerEnvironment;
        managerEnvironment.keychain = keychain;
        managerEnvironment.dpop.keychain = keychain;
        bridge = std::make_unique<OrvalenAccountBridge>(managerEnvironment);
        AccountService::Environment serviceEnvironment;
        serviceEnvironment.keychain = keychain;
        serviceEnvironment.track = [](const QString &, const Analytics::Properties &) {};
        serviceEnvironment.identify = [](const QString &) {};
        serviceEnvironment.log = [](const QString &, const QString &) {};
        service = std::make_unique<AccountService>(device.get(), serviceEnvironment);
        browser = std::make_unique<Fakes::FakeBrowser>([this](const QUrl &url) { return bridge->manager()->resume(url); });
        service->attach(bridge.get());
        settle([this] { return service->didCompleteLaunchRestore(); });

        LoginFirstFlowView::Environment environment;
        environment.track = [](const QString &, const Analytics::Properties &) {};
        environment.log = [](const QString &, const QString &, const QString &) {};
        environment.identityURL = [this] { return probeAddress; };
        environment.contactsURL = [this] { return contacts.baseUrl(); };
        environment.webURL = [] { return QUrl(QStringLiteral("https://orvalen.dev")); };
        environment.regionCode = [region] { return region; };
        environment.requestTimeout = std::chrono::milliseconds(500);
        environment.probeTimeout = std::chrono::milliseconds(500);
        probeAddress = identity.baseUrl();
        gate = std::make_unique<LoginFirstFlowView>(service.get(), bridge.get(), [] {}, environment);
        gate->resize(960, 680);
    }

    ~GateScene()
    {
        gate.reset();
        service.reset();
        bridge.reset();
        browser.reset();
        KeychainHelper::setKeychain(nullptr);
        OrvalenInstallMetrics::setKeychain(nullptr);
        Preferences::setStandard(nullptr);
    }

    // Brings the gate to the look; false when it did not get there.
    bool reach(Look look)
    {
        using Phase = OrvalenSignInScreen::Phase;
        if (look == Look::signInOffline)
            probeAddress = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort()));
        if (look == Look::signInBusy)
            browser->setMode(Fakes::FakeBrowser::Mode::ignore);
        if (look == Look::signInError) {
            identity.enqueue(QStringLiteral("POST"), Fakes::FakeIdentityService::exchangePath,
                             Fakes::ScriptedAnswer::json(500, R"({"error":"exchange_failed"})"));
        }
        gate->show();
        const auto phase = [this] { return gate->displayedSignInPhase().kind(); };
        switch (look) {
        case Look::signInReady:
            return settle([this] { return identity.countOf(QStringLiteral("GET"), QStringLiteral("/api/whoami")) > 0; })
                && settle([&] { return phase() == Phase::Kind::ready; });
        case Look::signInOffline:
            return settle([&] { return phase() == Phase::Kind::offline; });
        case Look::signInBusy:
        case Look::signInError:
        case Look::welcome:
            break;
        }
        settle([&] { return phase() == Phase::Kind::ready; });
        QTest::mouseClick(gate->signInScreen()->providerButtons()->button(OAuthDriver::ProviderHint::email), Qt::LeftButton);
        if (look == Look::signInBusy)
            return settle([this] { return !browser->openedUrls().isEmpty(); });
        if (look == Look::signInError)
            return settle([&] { return phase() == Phase::Kind::error; });
        return settle([this] { return gate->step() == LoginFirstFlowView::GateStep::welcome; })
            && settle([this] { return contacts.countOf(QStringLiteral("GET"), Fakes::FakeContactsService::mePath) > 0; });
    }

    Fakes::FakeAuthority authority;
    Fakes::FakeIdentityService identity;
    Fakes::FakeContactsService contacts;
    std::shared_ptr<InMemoryKeychain> keychain = std::make_shared<InMemoryKeychain>();
    QTemporaryDir folder;
    QUrl probeAddress;
    std::unique_ptr<DeviceService> device;
    std::unique_ptr<OrvalenAccountBridge> bridge;
    std::unique_ptr<AccountService> service;
    std::unique_ptr<Fakes::FakeBrowser> browser;
    std::unique_ptr<LoginFirstFlowView> gate;
};

int renderGate(const QDir &folder)
{
    using Look = GateScene::Look;
    const QByteArray none = R"({"lists":[]})";
    const struct {
        const char *name;
        Look look;
        QString region;
        std::optional<Fakes::ScriptedAnswer> lookup;
    } cases[] = {
        {"signin-ready", Look::signInReady, QStringLiteral("DE"), std::nullopt},
        {"signin-busy", Look::signInBusy, QStringLiteral("DE"), std::nullopt},
        {"signin-offline", Look::signInOffline, QStringLiteral("DE"), std::nullopt},
        {"signin-error", Look::signInError, QStringLiteral("DE"), std::nullopt},
        {"welcome-us-optins-on", Look::welcome, QStringLiteral("US"), Fakes::ScriptedAnswer::json(200, none)},
        {"welcome-optins-off", Look::welcome, QStringLiteral("DE"), Fakes::ScriptedAnswer::json(200, none)},
        {"welcome-one-list", Look::welcome, QStringLiteral("US"),
         Fakes::ScriptedAnswer::json(200, R"({"lists":[{"list_slug":"vantle_marketing","state":"subscribed"}]})")},
        // The contacts service fails: the person sees both boxes and no error.
        {"welcome-lookup-failed", Look::welcome, QStringLiteral("US"),
         Fakes::ScriptedAnswer::json(503, R"({"error":"down"})")},
    };
    int failures = 0;
    for (const auto &c : cases) {
        GateScene scene(c.region, c.lookup);
        const bool reached = scene.reach(c.look);
        // Let the last answers arrive and the layout follow them, as a frame later would.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 300)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        const QString path = folder.filePath(QStringLiteral("gate-%1.png").arg(QLatin1String(c.name)));
        const bool saved = reached && scene.gate->grab().save(path);
        QTextStream(stdout) << (saved ? "wrote " : "FAILED ") << path << '\n';
        failures += saved ? 0 : 1;
    }
    return failures;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--scale")
            qputenv("QT_SCALE_FACTOR", argv[i + 1]);
    }
    QApplication app(argc, argv);
    ApplicationFont::apply();
    const QStringList args = QApplication::arguments();
    if (args.size() < 2 || args.at(1).startsWith(QLatin1String("--"))) {
        std::fprintf(stderr, "usage: signin-gallery <output folder> [--scale <factor>]\n");
        return 2;
    }
    QDir folder(args.at(1));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(args.at(1)));
        return 1;
    }
    int failures = renderSignIn(folder);
    failures += renderWelcome(folder);
    failures += renderGate(folder);
    return failures == 0 ? 0 : 1;
}
