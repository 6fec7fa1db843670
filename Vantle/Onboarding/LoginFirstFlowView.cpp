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

// A fresh DPoP proof for one request, nothing without a device key; a proof that cannot
// be made is logged under "auth" and the request goes without one.
std::optional<QString> proofFor(const OrvalenAccountBridge *bridge, const LoginFirstFlowView::Environment &environment,
                                const QUrl &url, const QString &method, const QString &token, const QString &kind)
{
    if (!bridge)
        return std::nullopt;
    try {
        return bridge->manager()->generateDPoPProof(url, method, token);
    } catch (...) {
        environment.log(QStringLiteral("auth"), QStringLiteral("warn"),
                        QStringLiteral("dpop_generation_failed kind=%1 error=%2").arg(kind, describe(std::current_exception())));
        return std::nullopt;
    }
}

// Queues `work` for a later turn of the event loop, as long as `gate` lives.
template <typename Work>
void later(LoginFirstFlowView *gate, Work work)
{
    QTimer::singleShot(0, gate, std::move(work));
}

} // namespace

// What a welcome submission needs, held by the submission itself: a sign-out meanwhile
// replaces the gate, and the submission still runs to its end (both consents, the
// captures, the account recorded as welcomed). It holds the session as well, so that
// such a sign-out revokes the token only once the submission is done with it.
struct LoginFirstFlowView::Submission {
    QPointer<LoginFirstFlowView> gate;
    quint64 signOuts = 0;
    Environment environment;
    QPointer<OrvalenAccountBridge> bridge;
    WelcomeConsent::Choices choices; // as they were at Continue
    Session session;
    OrvalenAccountManager::SessionHold hold;

    // The gate it began in, as long as nobody has signed out since.
    LoginFirstFlowView *gateOfThisSignIn() const
    {
        return gate && gate->m_signOuts == signOuts ? gate.data() : nullptr;
    }
};

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
{
    const QString region = m_environment.regionCode();
    m_choices.appOptIn = WelcomeConsent::startsOptedIn(region);
    m_choices.studioOptIn = WelcomeConsent::startsOptedIn(region);

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

QUrl LoginFirstFlowView::serviceURL(const QUrl &base, const QString &path)
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
    return authenticating || isWorking() ? Phase::busy() : m_signInPhase;
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
    if (isWorking() || !m_accountService)
        return;
    const quint64 attempt = ++m_signInsStarted;
    m_busySignIn = attempt;
    ++m_signInsRunning;
    m_signInPhase = Phase::ready();
    syncScreen();
    later(this, [self = QPointer<LoginFirstFlowView>(this), provider, attempt] { runSignIn(self, provider, attempt); });
}

QCoro::Task<void> LoginFirstFlowView::runSignIn(QPointer<LoginFirstFlowView> self, ProviderHint provider,
                                                quint64 attempt)
{
    QPointer<AccountService> service = self ? self->m_accountService : nullptr;
    if (!service) {
        if (self)
            self->signInEnded(attempt);
        co_return;
    }
    QCoro::Task<SignInResult> signingIn = service->beginSignIn(provider);
    const SignInResult result = co_await std::move(signingIn);
    if (!self)
        co_return;
    self->signInEnded(attempt);
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
    OrvalenAccountBridge *bridge = m_accountService ? m_accountService->bridge() : nullptr;
    const bool cancelled = bridge && bridge->manager()->cancelSignIn();
    // Refused while this gate's sign-in runs: the browser has handed the code back, the
    // person has signed in there, and the exchange finishes it. Ready buttons now would
    // start a sign-in over it and throw that one away; the sign-in is routed when it ends.
    if (bridge && !cancelled && isSigningIn())
        return;
    m_busySignIn = 0;
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
    ++m_signOuts;
    m_busySignIn = 0;
    m_isSubmitting = false;
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
    m_choices.tap(listSlug);
    syncWelcome();
}

void LoginFirstFlowView::continueTapped()
{
    if (isWorking())
        return;
    m_isSubmitting = true;
    later(this, [self = QPointer<LoginFirstFlowView>(this), choices = m_choices] {
        submitWelcomeConsent(self, choices);
    });
}

QCoro::Task<void> LoginFirstFlowView::fetchMarketingVisibility(QPointer<LoginFirstFlowView> self)
{
    if (!self)
        co_return;
    const std::optional<Session> session = self->m_bridge ? self->m_bridge->currentSession() : std::nullopt;
    if (!session) {
        self->m_choices.visibleMarketingLists = WelcomeConsent::allListSlugs();
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
        if (const std::optional<QString> proof = proofFor(self->m_bridge, self->m_environment, url, QStringLiteral("GET"),
                                                          session->oas, QStringLiteral("marketing_me"))) {
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
    self->m_choices.visibleMarketingLists = visible;
    self->syncWelcome();
}

QCoro::Task<void> LoginFirstFlowView::submitWelcomeConsent(QPointer<LoginFirstFlowView> self,
                                                           WelcomeConsent::Choices choices)
{
    if (!self)
        co_return;
    const std::optional<Session> session = self->m_bridge ? self->m_bridge->currentSession() : std::nullopt;
    if (!session) {
        self->completeOnboarding();
        if (self)
            self->m_isSubmitting = false;
        co_return;
    }
    const auto submission = std::make_shared<const Submission>(
        Submission{self, self->m_signOuts, self->m_environment, self->m_bridge, std::move(choices), *session,
                   self->m_bridge->manager()->holdSession()});
    const auto track = [&submission](const QString &event, const Analytics::Properties &properties = {}) {
        submission->environment.track(event, properties);
    };

    QCoro::Task<bool> terms = submitWelcomeTerms(submission);
    if (!co_await std::move(terms))
        track(QStringLiteral("welcome_terms_capture_failed"));
    QCoro::Task<void> marketing = submitMarketingConsent(submission);
    co_await std::move(marketing);

    const WelcomeConsent::Choices &chosen = submission->choices;
    track(QStringLiteral("welcome_consent_submitted"),
          {{QStringLiteral("app_opt_in"), chosen.countsAsOptedIn(WelcomeConsent::appListSlug)},
           {QStringLiteral("studio_opt_in"), chosen.countsAsOptedIn(WelcomeConsent::studioListSlug)},
           {QStringLiteral("app_slug"), appSlug}});
    Store::acknowledge(session->accountID);
    // After a sign-out the gate (if it is still there) is at a sign-in that is not this one.
    QPointer<LoginFirstFlowView> gate = submission->gateOfThisSignIn();
    if (!gate)
        co_return;
    gate->completeOnboarding();
    if (gate)
        gate->m_isSubmitting = false;
}

QCoro::Task<bool> LoginFirstFlowView::submitWelcomeTerms(std::shared_ptr<const Submission> submission)
{
    const Environment &environment = submission->environment;
    const Session &session = submission->session;
    const QUrl url = serviceURL(environment.identityURL(), consentsPath);
    if (!url.isValid() || url.isEmpty())
        co_return false;
    for (const QString &kind : {QStringLiteral("terms"), QStringLiteral("privacy")}) {
        const std::optional<QString> proof =
            proofFor(submission->bridge, environment, url, QStringLiteral("POST"), session.oas, kind);
        try {
            QCoro::Task<void> posting =
                LoginFirstConsentAPI::postJSON(environment.network, url, WelcomeConsent::consentBody(kind), session.oas,
                                               proof, environment.requestTimeout);
            co_await std::move(posting);
        } catch (...) {
            environment.log(QStringLiteral("onboarding"), QStringLiteral("error"),
                            QStringLiteral("consent_submission_failed error=") + describe(std::current_exception()));
            // A failed "terms" record means "privacy" is not sent either.
            co_return false;
        }
    }
    co_return true;
}

QCoro::Task<void> LoginFirstFlowView::submitMarketingConsent(std::shared_ptr<const Submission> submission)
{
    const Environment &environment = submission->environment;
    const Session &session = submission->session;
    struct Capture {
        WelcomeConsent::MarketingList list;
        bool isOn;
        bool touched;
    };
    const WelcomeConsent::Choices &choices = submission->choices;
    QList<Capture> chosen;
    for (const WelcomeConsent::MarketingList &list : WelcomeConsent::lists()) {
        if (choices.countsAsOptedIn(list.slug))
            chosen.append(Capture{list, choices.isOn(list.slug), choices.touched(list.slug)});
    }
    if (chosen.isEmpty())
        co_return;
    if (session.email.trimmed().isEmpty()) {
        environment.track(QStringLiteral("welcome_marketing_capture_skipped"), {});
        co_return;
    }
    const QUrl url = serviceURL(environment.contactsURL(), contactsCapturePath);
    for (const Capture &capture : chosen) {
        WelcomeConsent::CaptureInput input;
        input.email = session.email;
        input.listSlug = capture.list.slug;
        // The region as it is now, not when the gate was built.
        input.consentMethod = WelcomeConsent::consentMethod(capture.isOn, capture.touched, environment.regionCode());
        input.consentText = capture.list.label;
        input.accountID = session.accountID;
        input.appSlug = appSlug;
        try {
            QCoro::Task<void> posting = LoginFirstConsentAPI::postJSON(
                environment.network, url, WelcomeConsent::captureBody(input), session.oas, std::nullopt,
                environment.requestTimeout);
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

void LoginFirstFlowView::signInEnded(quint64 attempt)
{
    --m_signInsRunning;
    if (m_busySignIn == attempt)
        m_busySignIn = 0;
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
        m_welcomeView->setMarketing(m_choices.visibleMarketingLists, m_choices.appOptIn, m_choices.studioOptIn);
}

void LoginFirstFlowView::track(const QString &event, const Analytics::Properties &properties) const
{
    m_environment.track(event, properties);
}

void LoginFirstFlowView::log(const QString &category, const QString &level, const QString &message) const
{
    m_environment.log(category, level, message);
}
