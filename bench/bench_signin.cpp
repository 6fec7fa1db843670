// A browser sign-in as a person makes it, from the click on a provider button to the
// signed-in state, against the desktop's hand-off alone, in turn with it:
//
//   sign-in    the click on the first-run gate's provider button; the discovery of the
//              authority; the authorization page opened with xdg-open in the default browser
//              (a scripted one, registered through mimeapps.list, that loads the page, submits
//              it and opens the "vantle://" redirect with xdg-open); the desktop starting the
//              vantle executable for the link, which hands it to the running instance through
//              its socket; the code exchange; the session stored in the real keyring; the
//              account service signed in.
//   hand-off   the same browser on a page of the same shape that sends it straight back to
//              "vantle://", and the same second start handing the link to the same socket.
//
// The running instance is this process: the application's account objects and first-run gate
// over loopback fakes of the authority and the identity service, and its single-instance
// socket. Each figure is the median of BENCH_ROUNDS (10 by default) paired rounds, printed
// with its spread; the sign-in's own work is what it takes beyond the hand-off.
#include "bench/BenchRatio.h"
#include "bench/Click.h"
#include "bench/DesktopSession.h"
#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/UI/OrvalenProviderButton.h"
#include "OrvalenAccount/UI/OrvalenProviderButtons.h"
#include "OrvalenAccount/UI/OrvalenSignInScreen.h"
#include "Vantle/App/AppDelegate.h"
#include "Vantle/App/SignInLinks.h"
#include "Vantle/Onboarding/LoginFirstFlowView.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/OrvalenAccountBridge.h"
#include "tools/fakes/FakeAuthority.h"
#include "tools/fakes/FakeIdentityService.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

using Fakes::FakeAuthority;
using Fakes::FakeIdentityService;

int rounds()
{
    const int configured = qEnvironmentVariableIntValue("BENCH_ROUNDS");
    return configured > 0 ? configured : 10;
}

// Runs the event loop until `done` holds; false after `patience`.
bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds patience = std::chrono::seconds(30))
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > patience.count())
            return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// A folder for the desktop's files, the default browser and "vantle://" registered in it.
class Desktop {
public:
    Desktop()
    {
        const QString home = m_dir.path();
        for (const char *sub : {"data/applications", "config", "cache", "state", "runtime"})
            QDir().mkpath(m_dir.filePath(QString::fromLatin1(sub)));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("HOME", home.toUtf8());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toUtf8());
        qputenv("XDG_STATE_HOME", m_dir.filePath(QStringLiteral("state")).toUtf8());
        qputenv("XDG_RUNTIME_DIR", m_dir.filePath(QStringLiteral("runtime")).toUtf8());
        qputenv("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
        qputenv("E2E_BROWSER_LOG", m_dir.filePath(QStringLiteral("browser.log")).toUtf8());
        for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "GNOME_DESKTOP_SESSION_ID",
                                 "KDE_FULL_SESSION", "BROWSER", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            qunsetenv(name);
        write(QStringLiteral("vantle.desktop"),
              QStringLiteral("[Desktop Entry]\nType=Application\nName=Vantle\nExec=%1 %u\n"
                             "MimeType=x-scheme-handler/vantle;\nNoDisplay=true\n")
                  .arg(QStringLiteral(VANTLE_EXECUTABLE)));
        write(QStringLiteral("bench-browser.desktop"),
              QStringLiteral("[Desktop Entry]\nType=Application\nName=Scripted browser\nExec=%1 %u\n"
                             "MimeType=x-scheme-handler/http;x-scheme-handler/https;\nNoDisplay=true\n")
                  .arg(QStringLiteral(VANTLE_SCRIPTED_BROWSER)));
        QProcess::execute(QStringLiteral("xdg-mime"), {QStringLiteral("default"), QStringLiteral("vantle.desktop"),
                                                      QStringLiteral("x-scheme-handler/vantle")});
        QProcess::execute(QStringLiteral("xdg-mime"),
                          {QStringLiteral("default"), QStringLiteral("bench-browser.desktop"),
                           QStringLiteral("x-scheme-handler/http"), QStringLiteral("x-scheme-handler/https")});
    }
    QString runtime() const { return m_dir.filePath(QStringLiteral("runtime")); }

private:
    void write(const QString &name, const QString &text)
    {
        QFile file(m_dir.filePath(QStringLiteral("data/applications/") + name));
        if (file.open(QIODevice::WriteOnly))
            file.write(text.toUtf8());
    }

    QTemporaryDir m_dir;
};

// The services and the running instance, for the whole run.
struct Instance {
    FakeAuthority authority;
    FakeIdentityService identity;
    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<DeviceService> device;
    std::unique_ptr<OrvalenAccountBridge> bridge;
    std::unique_ptr<AccountService> service;
    std::unique_ptr<LoginFirstFlowView> gate;
    // The hand-off links the running instance received, and the pages the browser was given.
    int handOffsReceived = 0;
    int pagesOpened = 0;

    explicit Instance(const QString &runtime)
    {
        authority.setSignInPage(true);
        identity.setAuthority(&authority);
        qputenv("VANTLE_AUTHORITY_URL", authority.issuer().toString().toUtf8());
        qputenv("VANTLE_IDENTITY_URL", identity.baseUrl().toString().toUtf8());
        // Nothing leaves the machine: the services the sign-in does not use are unreachable.
        const QByteArray closed = QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort()).toUtf8();
        for (const char *name : {"VANTLE_LEDGER_URL", "VANTLE_CONTACTS_URL", "VANTLE_ANALYTICS_URL"})
            qputenv(name, closed);

        delegate = std::make_unique<AppDelegate>(runtime);
        bool launched = false;
        auto launching = [](AppDelegate *d, bool *done) -> QCoro::Task<void> {
            co_await d->launch({});
            *done = true;
        }(delegate.get(), &launched);
        // Not on: the launch writes to `launched` whenever it ends.
        if (!waitFor([&] { return launched; }))
            qFatal("bench_signin: the application never finished launching");
        delegate->setUrlHandler([this](const QUrl &url) {
            if (QUrlQuery(url).queryItemValue(QStringLiteral("state")) == QStringLiteral("hand-off")) {
                ++handOffsReceived;
                return false;
            }
            return bridge && SignInLinks::open(*bridge->manager(), url);
        });
        device = std::make_unique<DeviceService>();
    }

    // The application's account objects and a first-run gate on screen, as at a signed-out start.
    void freshStart()
    {
        gate.reset();
        service.reset();
        bridge.reset();
        // Signed out: the last round's session is not restored.
        KeychainStorage(OrvalenAccountBridge::appSlug).deleteData(KeychainStorage::Keys::session);
        bridge = std::make_unique<OrvalenAccountBridge>();
        service = std::make_unique<AccountService>(device.get());
        service->attach(bridge.get());
        waitFor([&] { return service->didCompleteLaunchRestore(); });
        gate = std::make_unique<LoginFirstFlowView>(service.get(), bridge.get(), [] {});
        gate->resize(960, 680);
        gate->show();
        waitFor([&] { return gate->isVisible(); });
    }

    // Milliseconds from the click to the signed-in state; nothing when it never came.
    std::optional<double> signIn()
    {
        freshStart();
        QWidget *button = gate->signInScreen()->providerButtons()->button(OAuthDriver::ProviderHint::google);
        QElapsedTimer clock;
        clock.start();
        ++pagesOpened;
        clickMiddle(button);
        if (!waitFor([&] { return service->isAuthenticated(); }))
            return std::nullopt;
        return static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }

    // An authorization request of the shape the application sends, for the hand-off: the
    // browser has the same page to read and the same form to submit, and its way back
    // carries a state no sign-in waits for.
    QUrl handOffRequest() const
    {
        QUrl url = authority.authorizationEndpoint();
        QUrlQuery query;
        const QString random = QStringLiteral("Uk0lUvtiCMkLM_fLsoYYE3ZYufBAtbrEurE3SOyRB84");
        const std::pair<const char *, QString> items[] = {
            {"response_type", QStringLiteral("code")},
            {"client_id", QStringLiteral("vantle")},
            {"redirect_uri", QStringLiteral("vantle://auth/callback")},
            {"scope", QStringLiteral("orvalen.account")},
            {"state", QStringLiteral("hand-off")},
            {"nonce", random},
            {"code_challenge", random},
            {"code_challenge_method", QStringLiteral("S256")},
        };
        const auto add = [&query](const QString &name, const QString &value) {
            query.addQueryItem(name, QString::fromLatin1(QUrl::toPercentEncoding(value)));
        };
        for (const auto &[name, value] : items)
            add(QString::fromLatin1(name), value);
        // The application's own parameters as it sends them, versions included.
        const QMap<QString, QString> own = OAuthDriver::authorizationAdditionalParameters(
            OrvalenAccountBridge::makeConfig(), OAuthDriver::ProviderHint::google);
        for (auto it = own.cbegin(); it != own.cend(); ++it)
            add(it.key(), it.value());
        url.setQuery(query);
        return url;
    }

    // The browser's last step, "handed the redirect to the desktop", written once per page:
    // a round starts with no browser of an earlier one still running.
    bool browsersDone() const
    {
        return waitFor([this]() {
            QFile log(qEnvironmentVariable("E2E_BROWSER_LOG"));
            return log.open(QIODevice::ReadOnly) && log.readAll().count("handed the redirect") >= pagesOpened;
        });
    }

    // Milliseconds from opening the page to the link arriving at the running instance.
    std::optional<double> handOff()
    {
        const int before = handOffsReceived;
        QElapsedTimer clock;
        clock.start();
        ++pagesOpened;
        QProcess::startDetached(QStringLiteral("xdg-open"), {handOffRequest().toString(QUrl::FullyEncoded)});
        if (!waitFor([&] { return handOffsReceived > before; }))
            return std::nullopt;
        return static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }
};

Instance *g_instance = nullptr;

void BrowserSignIn(benchmark::State &state)
{
    Instance &instance = *g_instance;
    // Once unmeasured: the keyring's first items, the caches of the file system.
    instance.signIn();
    instance.handOff();
    std::vector<double> signIns, handOffs, ratios;
    for (auto _ : state) {
        for (int round = 0; round < rounds(); ++round) {
            if (!instance.browsersDone()) {
                state.SkipWithError("a browser never finished");
                return;
            }
            std::optional<double> signIn, handOff;
            inTurn(round, [&]() { handOff = instance.handOff(); }, [&]() { signIn = instance.signIn(); });
            if (!signIn || !handOff) {
                state.SkipWithError(signIn ? "the hand-off never arrived" : "the sign-in never finished");
                return;
            }
            signIns.push_back(*signIn);
            handOffs.push_back(*handOff);
            ratios.push_back(*signIn / *handOff);
        }
    }
    const Spread signIn = Spread::of(signIns), handOff = Spread::of(handOffs), ratio = Spread::of(ratios);
    state.counters["signin_ms"] = signIn.median;
    state.counters["handoff_ms"] = handOff.median;
    state.counters["ratio"] = ratio.median;
    std::printf("\n%d rounds: browser sign-in, click to signed in: %s ms; the hand-off alone: %s ms\n", rounds(),
                signIn.text("%.0f").c_str(), handOff.text("%.0f").c_str());
    std::printf("sign-in / hand-off: %s (median [p25-p75] (min-max) of the paired ratios)\n", ratio.text().c_str());
}
BENCHMARK(BrowserSignIn)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv)
{
    if (const std::optional<int> status = DesktopSession::enter(argc, argv))
        return *status;
    DesktopSession::Display display;
    if (display.name().isEmpty()) {
        std::fprintf(stderr, "bench_signin: no X display: set DISPLAY or install Xvfb\n");
        return 1;
    }
    std::printf("display: %s\n", display.description().c_str());
    qputenv("DISPLAY", display.name().toUtf8());
    Desktop desktop;
    // On the display, as the application runs: the desktop's services open the browser.
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    {
        Instance instance(desktop.runtime());
        g_instance = &instance;
        benchmark::RunSpecifiedBenchmarks();
        instance.browsersDone();
        g_instance = nullptr;
    }
    benchmark::Shutdown();
    return 0;
}
