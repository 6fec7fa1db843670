#pragma once

#include "OrvalenAccount/OAuthDriver.h"
#include "Vantle/Views/SettingsEnvironment.h"
#include "Vantle/Views/SettingsSection.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QPointer>

class AccountService;
class OrvalenProviderButtons;
class QLabel;
class QPushButton;
class SettingsAlert;

// The settings window's "Account" section: signed in, "Sign out", the account's name and
// identifier and the account page's three rows; signed out, the provider buttons; always,
// "Reset & clear local data" with its confirmation. A sign-in begun here that succeeds
// brings the application forward and asks for the main window; one that fails shows why in
// the window's alert. A reset signs out, clears the account's local data and relaunches.
class SettingsAccountSection final : public SettingsSection {
    Q_OBJECT
public:
    using ProviderHint = OAuthDriver::ProviderHint;

    // `accountService` is not owned and should outlive the section.
    SettingsAccountSection(AccountService *accountService, SettingsEnvironment environment, QWidget *parent = nullptr);

    // Runs an interactive sign-in in the background and returns at once.
    void startSignInFromSettings(ProviderHint provider);
    // Signs out, clears the account's local data and relaunches the application; a second
    // call while one runs does nothing.
    void resetAndClearLocalData();
    bool isResetting() const { return m_isResetting; }
    // Ends a browser sign-in left pending.
    void cancelPendingSignIn();
    // Closes the reset confirmation if it is open.
    void closeDialogs();

Q_SIGNALS:
    // A sign-in begun here succeeded: show the main window.
    void openMainWindowRequested();

private:
    QPushButton *accountManagementLink(const QString &title);
    void syncRows();
    void setIsResetting(bool value);
    void setShowResetConfirm(bool value);

    static QCoro::Task<void> runSignIn(QPointer<SettingsAccountSection> self, QPointer<AccountService> service,
                                       ProviderHint provider);
    static QCoro::Task<void> runReset(QPointer<AccountService> service, std::function<void()> relaunch);

    QPointer<AccountService> m_accountService;
    SettingsEnvironment m_environment;
    bool m_showResetConfirm = false;
    bool m_isResetting = false;

    QLabel *m_accountName = nullptr;
    QLabel *m_accountID = nullptr;
    QList<QWidget *> m_signedInRows;
    QList<QWidget *> m_signedOutRows;
    OrvalenProviderButtons *m_providerButtons = nullptr;
    QPushButton *m_resetButton = nullptr;
    QPointer<SettingsAlert> m_resetConfirm;
};
