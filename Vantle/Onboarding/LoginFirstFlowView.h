#pragma once

#include "OrvalenAccount/OAuthDriver.h"
#include "OrvalenAccount/UI/OrvalenSignInScreen.h"
#include "Vantle/Onboarding/WelcomeConsent.h"
#include "Vantle/Services/Analytics.h"
#include "Vantle/Services/OrvalenAccountBridge.h"

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class AccountService;
class QNetworkAccessManager;
class QStackedLayout;
class WelcomeStepView;

// The first-run gate, shown once the launch restore has finished while the person is
// signed out or has not passed it yet. Two steps: the sign-in screen, which signs in
// through the account service and probes whether the identity service can be reached
// (so that "offline" shows apart from a failed sign-in); and, for an account this
// computer has not welcomed yet, the welcome step with its consents and e-mail opt-ins.
// Completing tracks "onboarding_completed" and calls the host's closure, once.
//
// Every action runs on the GUI thread; work started by an event runs on a later turn of
// the event loop, so the host may replace the gate from its completion closure. The welcome
// step's Continue runs to its end even when the gate goes meanwhile (a sign-out replaces
// it): what it sends and records holds what it needs itself.
class LoginFirstFlowView final : public QWidget {
    Q_OBJECT
public:
    using Phase = OrvalenSignInScreen::Phase;
    using ProviderHint = OAuthDriver::ProviderHint;
    using Session = OrvalenAccountBridge::Session;

    enum class GateStep { signIn, welcome };
    Q_ENUM(GateStep)
    // "sign_in", "welcome".
    static QString toRaw(GateStep step);

    // Where the gate's events, log lines and requests go; the defaults are the
    // application's. Tests replace parts (and shorten the time limits).
    struct Environment {
        std::function<void(const QString &event, const Analytics::Properties &properties)> track;
        // `category` "auth" or "onboarding"; `level` "warn" or "error".
        std::function<void(const QString &category, const QString &level, const QString &message)> log;
        QNetworkAccessManager *network = nullptr; // null: the shared one
        std::function<QUrl()> identityURL;
        std::function<QUrl()> contactsURL;
        std::function<QUrl()> webURL; // the maker's site: terms and privacy pages
        std::function<QString()> regionCode; // "US", "DE"...; empty without a region
        std::chrono::milliseconds requestTimeout{8000}; // consents, contacts
        std::chrono::milliseconds probeTimeout{5000};
    };

    static inline const QString appName = QStringLiteral("vantle");
    static inline const QString appSlug = QStringLiteral("vantle");
    static inline const QString valueProp = QStringLiteral("Sign in to vantle with your Orvalen Account");
    static inline const QString whoamiPath = QStringLiteral("/api/whoami");
    static inline const QString consentsPath = QStringLiteral("/api/account/consents");
    static inline const QString contactsMePath = QStringLiteral("/api/v1/contacts/me");
    static inline const QString contactsCapturePath = QStringLiteral("/api/v1/contacts/capture");

    LoginFirstFlowView(AccountService *accountService, OrvalenAccountBridge *bridge, std::function<void()> onComplete,
                       QWidget *parent = nullptr);
    LoginFirstFlowView(AccountService *accountService, OrvalenAccountBridge *bridge, std::function<void()> onComplete,
                       Environment environment, QWidget *parent = nullptr);
    ~LoginFirstFlowView() override;

    GateStep step() const { return m_step; }
    // The phase as the gate last stored it, and as the screen shows it (busy over it while
    // a sign-in runs, also one started elsewhere).
    Phase signInPhase() const { return m_signInPhase; }
    Phase displayedSignInPhase() const;
    // The busy look: the newest sign-in this gate started, until it ends or is cancelled,
    // or the welcome step's Continue, until its submission is done.
    bool isWorking() const { return m_busySignIn != 0 || m_isSubmitting; }
    // Whether a sign-in this gate started is still running: it routes the person on when
    // it ends. Unlike the busy look this stays true after a cancel the account manager
    // refused (the browser had already handed the code back), and while a cancelled one
    // has yet to end.
    bool isSigningIn() const { return m_signInsRunning > 0; }
    bool isCompleting() const { return m_isCompleting; }
    QSet<QString> visibleMarketingLists() const { return m_choices.visibleMarketingLists; }
    bool appOptIn() const { return m_choices.appOptIn; }
    bool studioOptIn() const { return m_choices.studioOptIn; }

    OrvalenSignInScreen *signInScreen() const { return m_signInScreen; }
    // Made when the welcome step is first needed: a signed-out start's first screen and a
    // signed-in start never show it.
    WelcomeStepView *welcomeView();

    // The terms and privacy pages under the maker's web address.
    QUrl termsURL() const;
    QUrl privacyURL() const;

Q_SIGNALS:
    void stepChanged(LoginFirstFlowView::GateStep step);

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Submission;

    // Sign-in step.
    void routeOnFirstAppear();
    void signInScreenAppeared();
    void startSignIn(ProviderHint provider);
    void cancelSignIn();
    void startProbe();
    void routeAfterAuth(bool isNewUser);
    void completeOnboarding();
    void authenticatedChanged(bool isAuthenticated);
    // `attempt`: which of this gate's sign-ins it is, counted from one.
    static QCoro::Task<void> runSignIn(QPointer<LoginFirstFlowView> self, ProviderHint provider, quint64 attempt);
    void signInEnded(quint64 attempt);
    static QCoro::Task<void> probeConnectivity(QPointer<LoginFirstFlowView> self);

    // Welcome step.
    void welcomeAppeared();
    void optInTapped(const QString &listSlug);
    void continueTapped();
    static QCoro::Task<void> fetchMarketingVisibility(QPointer<LoginFirstFlowView> self);
    // `choices`: the person's choices as they were at Continue.
    static QCoro::Task<void> submitWelcomeConsent(QPointer<LoginFirstFlowView> self, WelcomeConsent::Choices choices);
    static QCoro::Task<bool> submitWelcomeTerms(std::shared_ptr<const Submission> submission);
    static QCoro::Task<void> submitMarketingConsent(std::shared_ptr<const Submission> submission);

    void setStep(GateStep step);
    void setSignInPhase(const Phase &phase);
    void syncScreen();
    void syncWelcome();
    void track(const QString &event, const Analytics::Properties &properties = {}) const;
    void log(const QString &category, const QString &level, const QString &message) const;
    static QUrl serviceURL(const QUrl &base, const QString &path);

    QPointer<AccountService> m_accountService;
    QPointer<OrvalenAccountBridge> m_bridge;
    std::function<void()> m_onComplete;
    Environment m_environment;

    GateStep m_step = GateStep::signIn;
    Phase m_signInPhase = Phase::ready();
    bool m_didRouteOnAppear = false;
    bool m_didTrackSignInAppearance = false;
    // The sign-in that owns the busy look (0: none). A sign-in cancelled in the turn a
    // newer one began ends after that one started; its end must not make the buttons look
    // ready under the newer one, where a press would start a third that replaces it.
    quint64 m_busySignIn = 0;
    quint64 m_signInsStarted = 0;
    bool m_isSubmitting = false; // the welcome step's Continue
    bool m_isCompleting = false;
    bool m_isNewUser = false;
    // Sign-in tasks of this gate not yet ended (one may still end after a newer began).
    int m_signInsRunning = 0;
    // Moves on with every sign-out: work begun before one no longer speaks for this gate.
    quint64 m_signOuts = 0;
    // The welcome step's choices; a submission takes a copy at Continue.
    WelcomeConsent::Choices m_choices;

    QStackedLayout *m_stack = nullptr;
    OrvalenSignInScreen *m_signInScreen = nullptr;
    WelcomeStepView *m_welcomeView = nullptr;
};
