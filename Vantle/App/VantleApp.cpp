#include "Vantle/App/VantleApp.h"

#include "OrvalenAccount/Internal/HTTPTransport.h"
#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/OrvalenAccountManager.h"
#include "OrvalenAccount/OrvalenInstallMetrics.h"
#include "Platform/ActivationPolicy.h"
#include "Platform/Preferences.h"
#include "Vantle/App/AppDelegate.h"
#include "Vantle/App/AppShortcuts.h"
#include "Vantle/App/AppTray.h"
#include "Vantle/App/SignInLinks.h"
#include "Vantle/Models/LedgerModel.h"
#include "Vantle/Onboarding/LoginFirstFlowView.h"
#include "Vantle/Onboarding/VantleLogo.h"
#include "Vantle/Onboarding/WelcomeAcknowledgementStore.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/Analytics.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/DiagnosticUploader.h"
#include "Vantle/Services/ErrorTelemetry.h"
#include "Vantle/Services/MeetingsService.h"
#include "Vantle/Services/OrvalenAccountBridge.h"
#include "Vantle/Services/UpdaterService.h"
#include "Vantle/Shell/MainWindow.h"
#include "Vantle/Shell/StartupProbe.h"
#include "Vantle/Shell/WindowPlacement.h"
#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/DiagnosticLogger.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Views/DialogUpdaterUserDriver.h"
#include "Vantle/Views/HourAuditView.h"
#include "Vantle/Views/MainView.h"
#include "Vantle/Views/RootView.h"
#include "Vantle/Views/SettingsView.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

namespace {

const Log &lifecycleLog()
{
    static const Log log(QStringLiteral("lifecycle"));
    return log;
}

} // namespace

VantleApp::VantleApp(AppDelegate *delegate, QObject *parent)
    : VantleApp(delegate, nullptr, parent)
{
}

VantleApp::VantleApp(AppDelegate *delegate, std::unique_ptr<MainWindow> window, QObject *parent)
    : QObject(parent), m_delegate(delegate), m_window(std::move(window))
{
    // The window comes first, with the loading view: the person sees Vantle at once, and
    // everything behind it (keychain reads, the device key) is built right after its first
    // paint. Links that arrive meanwhile wait in the delegate.
    const bool made = !m_window;
    if (made)
        m_window = std::make_unique<MainWindow>(RootView::makeLoadingView(nullptr));
    if (m_window->hasPainted())
        QTimer::singleShot(0, this, &VantleApp::start);
    else
        connect(m_window.get(), &MainWindow::firstPainted, this, &VantleApp::start, Qt::QueuedConnection);
    // A window that is never put on screen (a desktop without one) must not hold Vantle back.
    QTimer::singleShot(startDeadline, this, &VantleApp::start);
    if (m_delegate) {
        QPointer<VantleApp> self(this);
        m_delegate->setActivationHandler([self]() {
            if (!self || !self->m_window)
                return;
            self->m_window->show();
            OrvalenAccountManager::activateForAuthReturn(self->m_window->windowHandle());
        });
    }
    if (made)
        m_window->show();
}

void VantleApp::start()
{
    if (m_started)
        return;
    m_started = true;

    // The log keeps "debug" lines while verbose logging is on, also when it was turned on
    // before this launch: the writer only sees the switch once it is read here.
    DiagnosticLogger::watch();
    // Error telemetry first, so that whatever goes wrong from here on is reported.
    ErrorTelemetry::startAtLaunch();

    m_device = new DeviceService(this);
    m_account = new AccountService(m_device, this);
    UpdaterService::Environment updates = UpdaterService::Environment::standard();
    // The update dialogs are views: the service is handed them, it does not make them.
    updates.makeUserDriver = []() -> std::unique_ptr<UpdaterUserDriver> {
        return std::make_unique<DialogUpdaterUserDriver>();
    };
    updates.updaterSettings.network = HTTPTransport::sharedManager();
    m_updater = new UpdaterService(std::move(updates), this);
    m_bridge = new OrvalenAccountBridge(this);
    // Every ledger request presents the stored session's token, which the account manager
    // keeps in memory: a refresh never waits for the keychain.
    QPointer<OrvalenAccountBridge> bridge(m_bridge);
    const VantleAPI::SessionTokenReader sessionToken = [bridge]() -> std::optional<QString> {
        const std::optional<StoredSession> stored = bridge ? bridge->manager()->storedSession() : std::nullopt;
        return stored ? std::optional<QString>(stored->oas) : std::nullopt;
    };
    auto api = std::make_shared<VantleAPI>(Constants::API::baseURL(), sessionToken, HTTPTransport::sharedManager());
    m_ledger = new LedgerModel(std::move(api), this);
    m_meetings = new MeetingsService({}, this);

    // A report presents the same in-memory token: a click on Send never waits for the keychain.
    DiagnosticUploader::shared().setSessionTokenReader(sessionToken);
    // What a diagnostic report says of the account and the ledger.
    QPointer<AccountService> reportedAccount(m_account);
    QPointer<LedgerModel> reportedLedger(m_ledger);
    DiagnosticUploader::shared().setAccountSummaryProvider([reportedAccount]() {
        return reportedAccount ? DiagnosticUploader::accountSummary(*reportedAccount)
                               : QJsonObject{{QStringLiteral("available"), false}};
    });
    DiagnosticUploader::shared().setLedgerSummaryProvider([reportedLedger]() {
        return reportedLedger ? DiagnosticUploader::ledgerSummary(*reportedLedger)
                              : QJsonObject{{QStringLiteral("available"), false}};
    });

    QPointer<AccountService> account(m_account);
    Analytics::setContextProvider([account]() { return account ? account->analyticsContext() : Analytics::Properties(); });
    Analytics::setAppEventSink([account](const QString &name, const Analytics::Properties &properties) {
        if (account)
            account->mirrorAppEvent(name, properties);
    });
    if (!Analytics::isOptedOut())
        Analytics::anonymousDistinctID();
    trackLaunch(Preferences::standard(), [](const QString &event) { Analytics::track(event); });

    m_account->attach(m_bridge);

    buildWindow();
    new AppShortcuts([]() { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); }, this);
    // What the first screen does not need comes once it is on screen, or after the same
    // deadline as the objects above when the window is not shown.
    // Queued once more: what else waits for that paint (the start-up probe) goes first.
    StartupProbe::afterFirstPaint(m_window.get(), [this]() {
        QTimer::singleShot(0, this, &VantleApp::finishStart);
    });
    QTimer::singleShot(startDeadline, this, &VantleApp::finishStart);

    if (m_delegate) {
        QPointer<VantleApp> self(this);
        m_delegate->setUrlHandler([self](const QUrl &url) {
            return self && self->m_bridge && SignInLinks::open(*self->m_bridge->manager(), url);
        });
    }
    Q_EMIT started();
}

void VantleApp::finishStart()
{
    if (m_finished || !m_started)
        return;
    m_finished = true;
    // Drawn from its vector image, for the window list and the tray.
    m_window->setWindowIcon(VantleLogo::icon());
    buildTray();
    // Whatever start-up read ahead and nobody asked for is not kept for later reads.
    Keychain::forgetPrefetched();
}

QList<KeychainItemQuery> VantleApp::launchKeychainReads()
{
    // In the order start-up reads them: the install identifier (error telemetry), the
    // device identifier, the anonymous analytics identifier, the device key (the account
    // manager), the stored session (the launch restore), the welcomed accounts (the gate).
    const QString accountItems = KeychainStorage::serviceFor(OrvalenAccountBridge::appSlug);
    return {
        KeychainItemQuery::genericPassword(accountItems, OrvalenInstallMetrics::installIDKey),
        KeychainItemQuery::genericPassword(KeychainHelper::service, DeviceService::deviceIdKey),
        KeychainItemQuery::genericPassword(KeychainHelper::service, Analytics::anonymousDistinctIDKey),
        KeychainItemQuery::key(DPoPSigner::keyTag(DPoPSigner::defaultApplicationIdentifier())),
        KeychainItemQuery::genericPassword(accountItems, KeychainStorage::Keys::session),
        KeychainItemQuery::genericPassword(KeychainHelper::service, WelcomeAcknowledgementStore::key),
    };
}

VantleApp::~VantleApp()
{
    Analytics::setAppEventSink({});
    Analytics::setContextProvider({});
    DiagnosticUploader::shared().setAccountSummaryProvider({});
    DiagnosticUploader::shared().setLedgerSummaryProvider({});
    DiagnosticUploader::shared().setSessionTokenReader({});
    // The views go before the objects they show.
    m_settings.reset();
    m_tray.reset();
    m_window.reset();
}

void VantleApp::trackLaunch(Preferences &preferences, const std::function<void(const QString &event)> &track)
{
    if (!preferences.boolValue(firstOpenedKey)) {
        track(QStringLiteral("app_first_opened"));
        preferences.setValue(firstOpenedKey, true);
    }
    track(QStringLiteral("app_relaunched"));
}

bool VantleApp::gateIsSigningIn(QWidget *gate)
{
    const auto *flow = qobject_cast<LoginFirstFlowView *>(gate);
    return flow && flow->isSigningIn();
}

void VantleApp::buildWindow()
{
    QPointer<VantleApp> self(this);
    RootView::Surfaces surfaces;
    surfaces.gate = [self](std::function<void()> onComplete, QWidget *parent) -> QWidget * {
        if (!self)
            return nullptr;
        auto *gate = new LoginFirstFlowView(self->m_account, self->m_bridge, std::move(onComplete), parent);
        connect(gate, &LoginFirstFlowView::stepChanged, gate, [](LoginFirstFlowView::GateStep step) {
            lifecycleLog().emit(QStringLiteral("info"),
                                QStringLiteral("gate_step step=%1").arg(LoginFirstFlowView::toRaw(step)));
        });
        return gate;
    };
    surfaces.gateIsSigningIn = &VantleApp::gateIsSigningIn;
    surfaces.audit = [self](QWidget *parent) -> QWidget * {
        return self ? new HourAuditView(self->m_ledger, parent) : nullptr;
    };
    surfaces.main = [self](QWidget *parent) -> QWidget * {
        if (!self)
            return nullptr;
        auto *view = new MainView(self->m_ledger, self->m_account, self->m_meetings, nullptr, parent);
        connect(view, &MainView::openSettingsRequested, self, &VantleApp::openSettings);
        return view;
    };
    auto *root = new RootView(m_account, m_bridge, m_ledger, std::move(surfaces));
    if (!StartupProbe::mode().isEmpty()) {
        const auto announceWhenPainted = [root](RootView::Surface surface) {
            StartupProbe::afterFirstPaint(root->content(), [surface]() {
                StartupProbe::announce(StartupProbe::surfacePrefix + RootView::name(surface).toLatin1());
            });
        };
        // The root view may have chosen its first surface while it was being made.
        announceWhenPainted(root->surface());
        connect(root, &RootView::surfaceChanged, root, announceWhenPainted);
    }
    m_window->setContent(root);
}

void VantleApp::buildTray()
{
    m_tray = std::make_unique<AppTray>(VantleLogo::icon());
    connect(m_tray.get(), &AppTray::openMainWindowRequested, this, &VantleApp::openMainWindow);
    connect(m_tray.get(), &AppTray::openSettingsRequested, this, &VantleApp::openSettings);
    connect(m_tray.get(), &AppTray::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    const bool inTray = m_tray->show();
    // With a tray, closing the window keeps Vantle running there; without one the window is
    // the whole application.
    QApplication::setQuitOnLastWindowClosed(!inTray);
    ActivationPolicy::shared().setPolicy(inTray ? ActivationPolicy::Policy::accessory
                                                : ActivationPolicy::Policy::regular);
    lifecycleLog().emit(QStringLiteral("info"), QStringLiteral("tray_icon shown=%1").arg(inTray ? "true" : "false"));
}

RootView *VantleApp::rootView() const
{
    return m_window ? qobject_cast<RootView *>(m_window->content()) : nullptr;
}

void VantleApp::openMainWindow()
{
    if (m_window)
        m_window->bringForward();
}

void VantleApp::openSettings()
{
    if (!m_account) {
        lifecycleLog().emit(QStringLiteral("info"), QStringLiteral("settings_requested window=none"));
        openMainWindow();
        return;
    }
    if (!m_settings) {
        SettingsView::Environment environment;
        // The running instance relaunches itself after a reset; the window only asks.
        environment.relaunchForReset = [delegate = m_delegate]() {
            if (delegate)
                delegate->relaunchForReset();
        };
        m_settings = std::make_unique<SettingsView>(m_account, m_updater, m_meetings, std::move(environment));
        m_settings->setWindowIcon(VantleLogo::icon());
        // A sign-in from the settings brings the main window forward.
        connect(m_settings.get(), &SettingsView::openMainWindowRequested, this, &VantleApp::openMainWindow);
        // First over the main window, within the screen; later where it was left.
        WindowPlacement::keepWithinScreen(m_settings.get(), m_window.get());
    }
    if (m_settings->isMinimized())
        m_settings->showNormal();
    else
        m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}
