#pragma once

#include "OrvalenAccount/OAuthDriver.h"
#include "OrvalenAccount/OrvalenAccountManager.h"
#include "Platform/Keychain.h"
#include "Vantle/Services/Analytics.h"
#include "Vantle/Services/OrvalenAccountBridge.h"
#include "Vantle/Services/SignInResult.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

class DeviceService;
class QNetworkAccessManager;
class QWindow;

// The application's own view of the account: mirrors the account manager's state into a
// few values the views read, runs a sign-in for a view and reports how it ended, signs
// out, clears the account's local data for a reset, restores the stored session once at
// launch, supplies the account properties of every analytics event and mirrors analytics
// events to the identity service. Holds no session of its own. GUI thread only.
class AccountService final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString orvalenAccountID READ orvalenAccountID NOTIFY orvalenAccountIDChanged)
    Q_PROPERTY(QString accountEmail READ accountEmail NOTIFY accountEmailChanged)
    Q_PROPERTY(bool isAuthenticating READ isAuthenticating NOTIFY isAuthenticatingChanged)
    Q_PROPERTY(bool didCompleteLaunchRestore READ didCompleteLaunchRestore NOTIFY didCompleteLaunchRestoreChanged)
    Q_PROPERTY(bool lastSignInWasNewUser READ lastSignInWasNewUser NOTIFY lastSignInWasNewUserChanged)
    Q_PROPERTY(bool isAuthenticated READ isAuthenticated NOTIFY isAuthenticatedChanged)
    Q_PROPERTY(QString accountDisplayName READ accountDisplayName NOTIFY accountDisplayNameChanged)
    Q_PROPERTY(OrvalenAccountBridge *bridge READ bridge NOTIFY bridgeChanged)

public:
    using ProviderHint = OAuthDriver::ProviderHint;

    // Where the service's events, log lines and requests go. The defaults are the
    // application's (Analytics, Log under "subscription", the shared network manager,
    // the system keychain); tests replace parts.
    struct Environment {
        std::function<void(const QString &event, const Analytics::Properties &properties)> track;
        std::function<void(const QString &orvalenAccountID)> identify;
        // `level` is "debug", "info", "warn" or "error".
        std::function<void(const QString &level, const QString &message)> log;
        std::function<QString()> installID;
        std::function<QUrl()> identityURL;
        std::shared_ptr<KeychainBackend> keychain; // the reset's account-layer items
        QNetworkAccessManager *network = nullptr;
    };

    static inline const QString notSignedInText = QStringLiteral("Not signed in");
    static inline const QString signInDidNotCompleteText = QStringLiteral("Sign-in didn't complete. Please try again.");
    static inline const QString appEventsPath = QStringLiteral("/api/app-events");

    explicit AccountService(DeviceService *deviceService, QObject *parent = nullptr);
    AccountService(DeviceService *deviceService, Environment environment, QObject *parent = nullptr);
    ~AccountService() override;

    QString orvalenAccountID() const { return m_orvalenAccountID; }
    QString accountEmail() const { return m_accountEmail; }
    bool isAuthenticating() const { return m_isAuthenticating; }
    bool didCompleteLaunchRestore() const { return m_didCompleteLaunchRestore; }
    bool lastSignInWasNewUser() const { return m_lastSignInWasNewUser; }
    // A non-empty identifier beginning with "oa_".
    bool isAuthenticated() const;
    // The e-mail; else "Not signed in" without an identifier; else the identifier, cut to
    // its first 9 characters, "..." and its last 4 from 14 characters on.
    QString accountDisplayName() const;
    OrvalenAccountBridge *bridge() const { return m_bridge.data(); }
    DeviceService *deviceService() const { return m_deviceService; }

    // Called once at start-up, after the analytics hooks are in place: follows the
    // manager's state from now on and restores the stored session in the background.
    void attach(OrvalenAccountBridge *bridge);

    // Runs an interactive sign-in; never throws. Fails at once with the "unavailable" text
    // when the application has no window or the service no bridge.
    QCoro::Task<SignInResult> beginSignIn(std::optional<ProviderHint> provider);
    // Signs out in the background; a failure is logged.
    void signOut();
    // Signs out and deletes the account layer's session, OIDC state and DPoP thumbprint
    // items; returns when done and never throws. Relaunching is the caller's.
    QCoro::Task<void> resetAndClearLocalData();

    // The account properties every analytics event carries.
    Analytics::Properties analyticsContext() const;
    // Sends one analytics event to the identity service in the background; every failure
    // (including a property that is not JSON: a date, say) drops the event silently.
    void mirrorAppEvent(const QString &name, const Analytics::Properties &properties);

    // The body the mirror posts for an event.
    struct AppEventInput {
        QString name;
        Analytics::Properties properties;
        Analytics::Properties context;
        QString deviceId;
        QString appVersion;
        QString installID;
        std::optional<QString> accountID;
    };
    static QVariantMap appEventBody(const AppEventInput &input);

    // POSTs the body as JSON; returns the answer's body for a 2xx status. Throws
    // AccountServiceError: unavailable (an address that does not parse, a body that is not
    // JSON, an answer without a status or a rejection without an error text), custom (the
    // rejection's "error" or "message" text, or the transport's error).
    static QCoro::Task<QByteArray> postJSON(QString urlString, QVariantMap body, std::optional<QString> sessionToken,
                                            QNetworkAccessManager *network = nullptr);

    // "serverError(status: 500, code: \"x\")": an error's case and its values, for the
    // "error" property of "auth_failed".
    static QString errorCaseText(const OrvalenError &error);

Q_SIGNALS:
    void orvalenAccountIDChanged(const QString &value);
    void accountEmailChanged(const QString &value);
    void isAuthenticatingChanged(bool value);
    void didCompleteLaunchRestoreChanged(bool value);
    void lastSignInWasNewUserChanged(bool value);
    void isAuthenticatedChanged(bool value);
    void accountDisplayNameChanged(const QString &value);
    void bridgeChanged(OrvalenAccountBridge *bridge);

private:
    void applyManagerState(const OrvalenAccountState &state);
    void applyManagerStateValues(const OrvalenAccountState &state);
    // Runs `write` and then notifies the derived values that it changed.
    template <typename Write>
    void changing(Write write);
    void setOrvalenAccountID(const QString &value);
    void setAccountEmail(const QString &value);
    void setIsAuthenticating(bool value);
    void setDidCompleteLaunchRestore(bool value);
    void setLastSignInWasNewUser(bool value);

    void track(const QString &event, const Analytics::Properties &properties) const;
    void identify(const QString &orvalenAccountID) const;
    void log(const QString &level, const QString &message) const;
    static bool extractIsNewUser(const OrvalenAccount &account);
    static QString friendlySignInError(std::exception_ptr error);
    static QWindow *signInWindow();

    static QCoro::Task<void> runLaunchRestore(QPointer<AccountService> self, QPointer<OrvalenAccountBridge> bridge);
    // Never throws: a failure is logged under `path` while the service lives.
    static QCoro::Task<void> runSignOut(QPointer<AccountService> self, QPointer<OrvalenAccountBridge> bridge,
                                        QString path);
    static QCoro::Task<void> postAndForget(QString url, QVariantMap body, std::optional<QString> token,
                                           QNetworkAccessManager *network);

    QString m_orvalenAccountID;
    QString m_accountEmail;
    bool m_isAuthenticating = false;
    bool m_didCompleteLaunchRestore = false;
    bool m_lastSignInWasNewUser = false;
    QPointer<DeviceService> m_deviceService;
    QPointer<OrvalenAccountBridge> m_bridge;
    std::optional<OrvalenAccountManager::StateSubscription> m_managerStateSubscription;
    Environment m_environment;
    // Numbers the sign-ins begun here: one overtaken by a newer one leaves the busy flag alone.
    quint64 m_signInsBegun = 0;
};
