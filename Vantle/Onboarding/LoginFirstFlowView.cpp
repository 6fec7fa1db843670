#include "Vantle/Onboarding/LoginFirstFlowView.h"

#include "OrvalenAccount/OrvalenError.h"
#include "Platform/Deployment.h"
#include "Vantle/Onboarding/LoginFirstConsentAPI.h"
#include "Vantle/Onboarding/MarketingMeResponse.h"
#include "Vantle/Onboarding/OnboardingRequestError.h"
#include "Vantle/Onboarding/VantleLogo.h"
#include "Vantle/Onboarding/WelcomeAcknowledgementStore.h"
#include "Vantle/Onboarding/WelcomeConsent.h"
#include "Vantle/Onboarding/WelcomeStepView.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/Theme.h"

#include <QLocale>
#include <QNetworkRequest>
#include <QPainter>
#include <QShowEvent>
#include <QStackedLayout>
#include <QTimer>
#include <QUrlQuery>

#include <utility>

namespace Store = WelcomeAcknowledgementStore;

namespace {

LoginFirstFlowView::Environment withDefaults(LoginFirstFlowView::Environment environment)
{
    if (!environment.track)
        environment.track = [](const QString &event, const Analytics::Properties &properties) {
            Analytics::track(event, properties);
        };
    if (!environment.log)
        environment.log = [](const QString &category, const QString &level, const QString &message) {
            Log(category).emit(level, message);
        };
    if (!environment.identityURL)
        environment.identityURL = [] { return Constants::Auth::identityURL(); };
    if (!environment.contactsURL)
        environment.contactsURL = [] { return Deployment::contactsURL(); };
    if (!environment.webURL)
        environment.webURL = [] { return Deployment::webURL(); };
    if (!environment.regionCode)
        environment.regionCode = [] {
            const QLocale::Territory territory = QLocale::system().territory();
            return territory == QLocale::AnyTerritory ? QString() : QLocale::territoryToCode(territory);
        };
    return environment;
}

// The description a log line carries for whatever a request or a proof threw.
QString describe(std::exception_ptr error)
{
    try {
        std::rethrow_exception(std::move(error));
    } catch (const OnboardingRequestError &e) {
        return e.description();
    } catch (const OrvalenError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

// Queues `work` for a later turn of the event loop, as long as `gate` lives.
template <typename Work>
void later(LoginFirstFlowView *gate, Work work)
{
    QTimer::singleShot(0, gate, std::move(work));
}

} // namespace

QString LoginFirstFlowView::toRaw(GateStep step)
{
    return step == GateStep::signIn ? QStringLiteral("sign_in") : QStringLiteral("welcome");
}

LoginFirstFlowView::LoginFirstFlowView(AccountService *accountService, OrvalenAccountBridge *bridge,
                                       std::function<void()> onComplete, QWidget *parent)
    : LoginFirstFlowView(accountService, bridge, std::move(onComplete), Environment{}, parent)
{
}

LoginFirstFlowView::LoginFirstFlowView(AccountService *accountService, OrvalenAccountBridge *bridge,
                                       std::function<void()> onComplete, Environment environment, QWidget *parent)
    : QWidget(parent)
    , m_accountService(accountService)
    , m_bridge(bridge)
    , m_onComplete(std::move(onComplete))
    , m_environment(withDefaults(std::move(environment)))
    , m_visibleMarketingLists(WelcomeConsent::allListSlugs())
{
    const QString region = m_environment.regionCode();
    m_appOptIn = WelcomeConsent::startsOptedIn(region);
    m_studioOptIn = WelcomeConsent::startsOptedIn(region);

    QPalette dark = palette();
    dark.setColor(QPalette::Window, Theme::canvas);
    dark.setColor(QPalette::WindowText, Theme::text);
    dark.setColor(QPalette::Base, Theme::card);
    dark.setColor(QPalette::Text, Theme::text);
    setPalette(dark);

    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_signInScreen = new OrvalenSignInScreen(
        VantleLogo::icon(), appName, valueProp, OrvalenProviderButtonStyle::dark(Theme::accent), displayedSignInPhase(),
        privacyURL(), termsURL(), [this](ProviderHint provider) { startSignIn(provider); },
        [this] { cancelSignIn(); }, [this] { startProbe(); }, this);
    m_signInScreen->installEventFilter(this);
    m_stack->addWidget(m_signInScreen);
    m_stack->setCurrentWidget(m_signInScreen);

    if (m_accountService) {
        connect(m_accountService, &AccountService::isAuthenticatingChanged, this, [this] { syncScreen(); });
        connect(m_accountService, &AccountService::isAuthenticatedChanged, this,
                &LoginFirstFlowView::authenticatedChanged);
    }
}

LoginFirstFlowView::~LoginFirstFlowView() = default;

QUrl LoginFirstFlowView::termsURL() const
{
    return serviceURL(m_environment.webURL(), QStringLiteral("/terms/vantle"));
}

QUrl LoginFirstFlowView::privacyURL() const
{
    return serviceURL(m_environment.webURL(), QStringLiteral("/privacy/vantle"));
}

QUrl LoginFirstFlowView::serviceURL(const QUrl &base, const QString &path) const
{
    if (!base.isValid() || base.isRelative() || base.host().isEmpty())
        return {};
    QUrl url = base;
    url.setPath(url.path() + path);
    return url;
}

LoginFirstFlowView::Phase LoginFirstFlowView::displayedSignInPhase() const
{
    const bool authenticating = m_accountService && m_accountService->isAuthenticating();
    return authenticating || m_isWorking ? Phase::busy() : m_signInPhase;
}

void LoginFirstFlowView::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), Theme::canvas);
}

void LoginFirstFlowView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        later(this, [this] { routeOnFirstAppear(); });
}

bool LoginFirstFlowView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_signInScreen && event->type() == QEvent::Show && !event->spontaneous())
        signInScreenAppeared();
    return QWidget::eventFilter(watched, event);
}

// --- sign-in step ----------------------------------------------------------------------

void LoginFirstFlowView::routeOnFirstAppear()
{
    if (m_didRouteOnAppear)
        return;
    m_didRouteOnAppear = true;
    if (m_accountService && m_accountService->isAuthenticated())
        routeAfterAuth(false);
    else
        setStep(GateStep::signIn);
}

void LoginFirstFlowView::signInScreenAppeared()
{
    if (!m_accountService || m_accountService->isAuthenticated())
        return;
    if (!m_didTrackSignInAppearance) {
        m_didTrackSignInAppearance = true;
        track(QStringLiteral("login_screen_shown"));
    }
    startProbe();
}

void LoginFirstFlowView::startProbe()
{
    later(this, [self = QPointer<LoginFirstFlowView>(this)] { probeConnectivity(self); });
}

void LoginFirstFlowView::startSignIn(ProviderHint provider)
{
    if (m_isWorking || !m_accountService)
        return;
    m_isWorking = true;
    m_signInPhase = Phase::ready();
    syncScreen();
    later(this, [self = QPointer<LoginFirstFlowView>(this), provider] { runSignIn(self, provider); });
}

QCoro::Task<void> LoginFirstFlowView::runSignIn(QPointer<LoginFirstFlowView> self, ProviderHint provider)
{
    QPointer<AccountService> service = self ? self->m_accountService : nullptr;
    if (!service)
        co_return;
    QCoro::Task<SignInResult> signingIn = service->beginSignIn(provider);
    const SignInResult result = co_await std::move(signingIn);
    if (!self)
        co_return;
    self->setWorking(false);
    switch (result.kind()) {
    case SignInResult::Kind::success:
        self->m_isNewUser = service && service->lastSignInWasNewUser();
        self->routeAfterAuth(self->m_isNewUser);
        if (self)
            self->m_isNewUser = false;
        break;
    case SignInResult::Kind::cancelled:
        self->setSignInPhase(Phase::ready());
        break;
    case SignInResult::Kind::failed: {
        co_await probeConnectivity(self);
        if (!self)
            co_return;
        // Unreachable: the offline card says more than the failure's words would.
        if (self->m_signInPhase.kind() != Phase::Kind::offline)
            self->setSignInPhase(Phase::error(result.message()));
        break;
    }
    }
}

void LoginFirstFlowView::cancelSignIn()
{
    if (m_accountService) {
        if (OrvalenAccountBridge *bridge = m_accountService->bridge())
            bridge->manager()->cancelSignIn();
    }
    m_isWorking = false;
    m_signInPhase = Phase::ready();
    syncScreen();
}

QCoro::Task<void> LoginFirstFlowView::probeConnectivity(QPointer<LoginFirstFlowView> self)
{
    if (!self || self->m_step != GateStep::signIn)
        co_return;
    const QUrl url = self->serviceURL(self->m_environment.identityURL(), whoamiPath);
    if (!url.isValid() || url.isEmpty())
        co_return;
    QNetworkRequest request(url);
    // A cached answer must never hide an unreachable service.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    bool reachable = false;
    try {
        QCoro::Task<LoginFirstConsentAPI::Answer> sending = LoginFirstConsentAPI::send(
            self->m_environment.network, request, QByteArrayLiteral("GET"), {}, self->m_environment.probeTimeout);
        co_await std::move(sending);
        reachable = true; // any answer, whatever its status
    } catch (...) {
        reachable = false;
    }
    if (self)
        self->setSignInPhase(reachable ? Phase::ready() : Phase::offline());
}

void LoginFirstFlowView::routeAfterAuth(bool isNewUser)
{
    const std::optional<Session> session = m_bridge ? m_bridge->currentSession() : std::nullopt;
    const QString id = session ? Store::normalise(session->accountID) : QString();
    const auto alreadyWelcomed = [&id] { return Store::isAccountID(id) && Store::loadIDs().contains(id); };
    if (isNewUser && session && !alreadyWelcomed()) {
        setStep(GateStep::welcome);
        return;
    }
    if (session && !alreadyWelcomed())
        Store::acknowledge(session->accountID);
    completeOnboarding();
}

void LoginFirstFlowView::completeOnboarding()
{
    if (m_isCompleting)
        return;
    m_isCompleting = true;
    track(QStringLiteral("onboarding_completed"), {{QStringLiteral("method"), QStringLiteral("login_first")}});
    // The host may replace (and delete) the gate from here: call a copy, touch nothing after.
    const std::function<void()> done = m_onComplete;
    if (done)
        done();
}

void LoginFirstFlowView::authenticatedChanged(bool isAuthenticated)
{
    if (isAuthenticated)
        return;
    m_isWorking = false;
    m_isCompleting = false;
    m_isNewUser = false;
    m_signInPhase = Phase::ready();
    setStep(GateStep::signIn);
    syncScreen();
}

// --- welcome step ----------------------------------------------------------------------

void LoginFirstFlowView::welcomeAppeared()
{
    later(this, [self = QPointer<LoginFirstFlowView>(this)] { fetchMarketingVisibility(self); });
}

void LoginFirstFlowView::optInTapped(const QString &listSlug)
{
    if (listSlug == WelcomeConsent::appListSlug) {
        m_appOptInTouched = true;
        m_appOptIn = !m_appOptIn;
    } else if (listSlug == WelcomeConsent::studioListSlug) {
        m_studioOptInTouched = true;
        m_studioOptIn = !m_studioOptIn;
    }
    syncWelcome();
}

void LoginFirstFlowView::continueTapped()
{
    if (m_isWorking)
        return;
    m_isWorking = true;
    later(this, [self = QPointer<LoginFirstFlowView>(this)] { submitWelcomeConsent(self); });
}

bool LoginFirstFlowView::countsAsOptedIn(const QString &listSlug) const
{
    if (!m_visibleMarketingLists.contains(listSlug))
        return false;
    return listSlug == WelcomeConsent::appListSlug ? m_appOptIn : m_studioOptIn;
}

QString LoginFirstFlowView::consentMethod(bool isOn, bool touched) const
{
    // The region as it is now, not when the gate was built.
    return WelcomeConsent::consentMethod(isOn, touched, m_environment.regionCode());
}

std::optional<QString> LoginFirstFlowView::proofFor(const QUrl &url, const QString &method, const QString &token,
                                                    const QString &kind) const
{
    if (!m_bridge)
        return std::nullopt;
    try {
        return m_bridge->manager()->generateDPoPProof(url, method, token);
    } catch (...) {
        log(QStringLiteral("auth"), QStringLiteral("warn"),
            QStringLiteral("dpop_generation_failed kind=%1 error=%2").arg(kind, describe(std::current_exception())));
        return std::nullopt;
    }
}

QCoro::Task<void> LoginFirstFlowView::fetchMarketingVisibility(QPointer<LoginFirstFlowView> self)
{
    if (!self)
        co_return;
    const std::optional<Session> session = self->m_bridge ? self->m_bridge->currentSession() : std::nullopt;
    if (!session) {
        self->m_visibleMarketingLists = WelcomeConsent::allListSlugs();
        self->syncWelcome();
        co_return;
    }
    QUrl url = self->serviceURL(self->m_environment.contactsURL(), contactsMePath);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("app"), QString::fromLatin1(QUrl::toPercentEncoding(appSlug)));
    url.setQuery(query);
    QSet<QString> visible = WelcomeConsent::allListSlugs();
    try {
        if (!url.isValid() || url.isEmpty()) {
            throw OnboardingRequestError(OnboardingRequestError::Kind::badRequest,
                                         QStringLiteral("The contacts address is not valid."));
        }
        QNetworkRequest request(url);
        request.setRawHeader("Accept", "application/json");
        request.setRawHeader("Authorization", "Bearer " + session->oas.toUtf8());
        if (const std::optional<QString> proof =
                self->proofFor(url, QStringLiteral("GET"), session->oas, QStringLiteral("marketing_me"))) {
            request.setRawHeader("DPoP", proof->toUtf8());
        }
        QCoro::Task<LoginFirstConsentAPI::Answer> sending = LoginFirstConsentAPI::send(
            self->m_environment.network, request, QByteArrayLiteral("GET"), {}, self->m_environment.requestTimeout);
        const LoginFirstConsentAPI::Answer answer = co_await std::move(sending);
        if (!answer.isSuccess()) {
            throw OnboardingRequestError(OnboardingRequestError::Kind::badStatus,
                                         QStringLiteral("The server answered with status %1.").arg(answer.status));
        }
        const std::optional<MarketingMeResponse> response = MarketingMeResponse::fromJson(answer.body);
        if (!response) {
            throw OnboardingRequestError(OnboardingRequestError::Kind::undecodable,
                                         QStringLiteral("The answer could not be read."));
        }
        visible = WelcomeConsent::visibleLists(*response);
    } catch (...) {
        const QString description = describe(std::current_exception());
        if (self) {
            self->log(QStringLiteral("onboarding"), QStringLiteral("warn"),
                      QStringLiteral("marketing_visibility_fetch_failed error=") + description);
        }
        visible = WelcomeConsent::allListSlugs();
    }
    if (!self)
        co_return;
    self->m_visibleMarketingLists = visible;
    self->syncWelcome();
}

QCoro::Task<void> LoginFirstFlowView::submitWelcomeConsent(QPointer<LoginFirstFlowView> self)
{
    if (!self)
        co_return;
    const std::optional<Session> session = self->m_bridge ? self->m_bridge->currentSession() : std::nullopt;
    if (!session) {
        self->completeOnboarding();
        if (self)
            self->m_isWorking = false;
        co_return;
    }

    QCoro::Task<bool> terms = submitWelcomeTerms(self, *session);
    const bool stored = co_await std::move(terms);
    if (!self)
        co_return;
    if (!stored)
        self->track(QStringLiteral("welcome_terms_capture_failed"));

    QCoro::Task<void> marketing = submitMarketingConsent(self, *session);
    co_await std::move(marketing);
    if (!self)
        co_return;
    self->track(QStringLiteral("welcome_consent_submitted"),
                {{QStringLiteral("app_opt_in"), self->countsAsOptedIn(WelcomeConsent::appListSlug)},
                 {QStringLiteral("studio_opt_in"), self->countsAsOptedIn(WelcomeConsent::studioListSlug)},
                 {QStringLiteral("app_slug"), appSlug}});
    Store::acknowledge(session->accountID);
    self->completeOnboarding();
    if (self)
        self->m_isWorking = false;
}

QCoro::Task<bool> LoginFirstFlowView::submitWelcomeTerms(QPointer<LoginFirstFlowView> self, Session session)
{
    if (!self)
        co_return false;
    const QUrl url = self->serviceURL(self->m_environment.identityURL(), consentsPath);
    if (!url.isValid() || url.isEmpty())
        co_return false;
    QNetworkAccessManager *network = self->m_environment.network;
    const std::chrono::milliseconds timeout = self->m_environment.requestTimeout;
    for (const QString &kind : {QStringLiteral("terms"), QStringLiteral("privacy")}) {
        if (!self)
            co_return false;
        const std::optional<QString> proof = self->proofFor(url, QStringLiteral("POST"), session.oas, kind);
        try {
            QCoro::Task<void> posting = LoginFirstConsentAPI::postJSON(network, url, WelcomeConsent::consentBody(kind),
                                                                       session.oas, proof, timeout);
            co_await std::move(posting);
        } catch (...) {
            const QString description = describe(std::current_exception());
            if (self) {
                self->log(QStringLiteral("onboarding"), QStringLiteral("error"),
                          QStringLiteral("consent_submission_failed error=") + description);
            }
            // A failed "terms" record means "privacy" is not sent either.
            co_return false;
        }
    }
    co_return true;
}

QCoro::Task<void> LoginFirstFlowView::submitMarketingConsent(QPointer<LoginFirstFlowView> self, Session session)
{
    if (!self)
        co_return;
    struct Capture {
        QString slug;
        QString label;
        bool isOn;
        bool touched;
    };
    QList<Capture> chosen;
    for (const WelcomeConsent::MarketingList &list : WelcomeConsent::lists()) {
        if (!self->countsAsOptedIn(list.slug))
            continue;
        const bool app = list.slug == WelcomeConsent::appListSlug;
        chosen.append(Capture{list.slug, list.label, app ? self->m_appOptIn : self->m_studioOptIn,
                              app ? self->m_appOptInTouched : self->m_studioOptInTouched});
    }
    if (chosen.isEmpty())
        co_return;
    if (session.email.trimmed().isEmpty()) {
        self->track(QStringLiteral("welcome_marketing_capture_skipped"));
        co_return;
    }
    QNetworkAccessManager *network = self->m_environment.network;
    const std::chrono::milliseconds timeout = self->m_environment.requestTimeout;
    const QUrl url = self->serviceURL(self->m_environment.contactsURL(), contactsCapturePath);
    for (const Capture &capture : chosen) {
        if (!self)
            co_return;
        WelcomeConsent::CaptureInput input;
        input.email = session.email;
        input.listSlug = capture.slug;
        input.consentMethod = self->consentMethod(capture.isOn, capture.touched);
        input.consentText = capture.label;
        input.accountID = session.accountID;
        input.appSlug = appSlug;
        try {
            QCoro::Task<void> posting = LoginFirstConsentAPI::postJSON(network, url, WelcomeConsent::captureBody(input),
                                                                       session.oas, std::nullopt, timeout);
            co_await std::move(posting);
        } catch (...) {
            // A list that could not be captured is dropped; the next one is still sent.
        }
    }
}

// --- shared ----------------------------------------------------------------------------

void LoginFirstFlowView::setStep(GateStep step)
{
    if (m_step == step)
        return;
    m_step = step;
    if (step != GateStep::signIn)
        m_didTrackSignInAppearance = false;
    m_stack->setCurrentWidget(step == GateStep::signIn ? static_cast<QWidget *>(m_signInScreen) : welcomeView());
    Q_EMIT stepChanged(step);
}

void LoginFirstFlowView::setSignInPhase(const Phase &phase)
{
    m_signInPhase = phase;
    syncScreen();
}

void LoginFirstFlowView::setWorking(bool isWorking)
{
    m_isWorking = isWorking;
    syncScreen();
}

void LoginFirstFlowView::syncScreen()
{
    m_signInScreen->setPhase(displayedSignInPhase());
}

WelcomeStepView *LoginFirstFlowView::welcomeView()
{
    if (!m_welcomeView) {
        m_welcomeView = new WelcomeStepView(termsURL(), privacyURL(), this);
        connect(m_welcomeView, &WelcomeStepView::appeared, this, &LoginFirstFlowView::welcomeAppeared);
        connect(m_welcomeView, &WelcomeStepView::optInTapped, this, &LoginFirstFlowView::optInTapped);
        connect(m_welcomeView, &WelcomeStepView::continueTapped, this, &LoginFirstFlowView::continueTapped);
        m_stack->addWidget(m_welcomeView);
        syncWelcome();
    }
    return m_welcomeView;
}

void LoginFirstFlowView::syncWelcome()
{
    if (m_welcomeView)
        m_welcomeView->setMarketing(m_visibleMarketingLists, m_appOptIn, m_studioOptIn);
}

void LoginFirstFlowView::track(const QString &event, const Analytics::Properties &properties) const
{
    m_environment.track(event, properties);
}

void LoginFirstFlowView::log(const QString &category, const QString &level, const QString &message) const
{
    m_environment.log(category, level, message);
}
