#include "Vantle/Views/SettingsAccountSection.h"

#include "OrvalenAccount/UI/OrvalenProviderButtonStyle.h"
#include "OrvalenAccount/UI/OrvalenProviderButtons.h"
#include "Platform/ActivationPolicy.h"
#include "Platform/UrlOpener.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/OrvalenAccountBridge.h"
#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/SettingsAlert.h"
#include "Vantle/Views/SettingsLinks.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <optional>
#include <utility>

namespace {

// The "arrow out of a square" mark of a row that opens a web page: 11 points, semibold,
// in the secondary colour.
QPixmap openExternallyMark(qreal devicePixelRatio)
{
    const int side = 11;
    QPixmap pixmap(QSize(side, side) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(Theme::muted, 1.4);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.drawRoundedRect(QRectF(0.7, 0.7, side - 1.4, side - 1.4), 2.2, 2.2);
    painter.drawLine(QPointF(3.6, 7.4), QPointF(7.4, 3.6));
    painter.drawLine(QPointF(4.4, 3.6), QPointF(7.4, 3.6));
    painter.drawLine(QPointF(7.4, 3.6), QPointF(7.4, 6.6));
    return pixmap;
}

} // namespace

SettingsAccountSection::SettingsAccountSection(AccountService *accountService, SettingsEnvironment environment,
                                               QWidget *parent)
    : SettingsSection(QStringLiteral("Account"), parent), m_accountService(accountService),
      m_environment(std::move(environment))
{
    QPushButton *signOut = addButton(QStringLiteral("Sign out"), ButtonRole::destructive, /*trailing=*/true);
    signOut->setObjectName(QStringLiteral("signOutButton"));
    connect(signOut, &QPushButton::clicked, this, [this]() {
        if (m_accountService)
            m_accountService->signOut();
    });

    m_accountName = addLabeledValue(QStringLiteral("Account"), QString());
    m_accountID = addLabeledValue(QStringLiteral("Account ID"), QString());
    m_signedInRows = {rowOf(signOut), rowOf(m_accountName), rowOf(m_accountID)};

    // Signed out: sign in right here. The buttons sit on the window, not on the card.
    m_providerButtons = new OrvalenProviderButtons(
        OrvalenProviderButtonStyle::dark(Theme::accent), m_accountService && m_accountService->isAuthenticating(),
        [this]() { cancelPendingSignIn(); }, [this](ProviderHint provider) { startSignInFromSettings(provider); });
    m_signedOutRows = {addRow(m_providerButtons, Background::clear, QMargins(0, 4, 0, 4))};

    for (const QString &title :
         {QStringLiteral("Manage devices"), QStringLiteral("Export my data"), QStringLiteral("Delete account")})
        m_signedInRows.append(addRow(accountManagementLink(title), Background::card, QMargins(0, 0, 0, 0)));

    m_resetButton =
        addButton(SettingsAlert::escapedForButton(QStringLiteral("Reset & clear local data")), ButtonRole::destructive);
    m_resetButton->setObjectName(QStringLiteral("resetButton"));
    connect(m_resetButton, &QPushButton::clicked, this, [this]() { setShowResetConfirm(true); });

    if (m_accountService) {
        connect(m_accountService, &AccountService::isAuthenticatedChanged, this, &SettingsAccountSection::syncRows);
        connect(m_accountService, &AccountService::accountDisplayNameChanged, this, &SettingsAccountSection::syncRows);
        connect(m_accountService, &AccountService::orvalenAccountIDChanged, this, &SettingsAccountSection::syncRows);
        connect(m_accountService, &AccountService::isAuthenticatingChanged, m_providerButtons,
                &OrvalenProviderButtons::setBusy);
    }
    syncRows();
}

QPushButton *SettingsAccountSection::accountManagementLink(const QString &title)
{
    auto *button = new QPushButton;
    button->setObjectName(QStringLiteral("accountLink"));
    button->setAccessibleName(title);
    button->setAutoDefault(false);
    button->setCursor(Qt::PointingHandCursor);
    auto *row = new QHBoxLayout(button);
    row->setContentsMargins(rowInsets);
    row->setSpacing(6);
    auto *label = new QLabel(title, button);
    label->setTextFormat(Qt::PlainText);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *mark = new QLabel(button);
    mark->setPixmap(openExternallyMark(devicePixelRatioF()));
    mark->setAttribute(Qt::WA_TransparentForMouseEvents);
    row->addWidget(label, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(mark, 0, Qt::AlignVCenter);
    button->setMinimumHeight(label->sizeHint().height() + rowInsets.top() + rowInsets.bottom());
    // All three rows lead to the account page; the titles say what to do there.
    connect(button, &QPushButton::clicked, this, []() { UrlOpener::open(SettingsLinks::accountPage()); });
    return button;
}

void SettingsAccountSection::syncRows()
{
    const bool signedIn = m_accountService && m_accountService->isAuthenticated();
    for (QWidget *row : std::as_const(m_signedInRows))
        row->setVisible(signedIn);
    for (QWidget *row : std::as_const(m_signedOutRows))
        row->setVisible(!signedIn);
    if (m_accountService) {
        m_accountName->setText(m_accountService->accountDisplayName());
        m_accountID->setText(m_accountService->orvalenAccountID());
    }
}

// ---- sign-in ------------------------------------------------------------------------------

void SettingsAccountSection::startSignInFromSettings(ProviderHint provider)
{
    QCoro::Task<void> signingIn = runSignIn(QPointer<SettingsAccountSection>(this), m_accountService, provider);
    Q_UNUSED(signingIn) // runs on by itself
}

QCoro::Task<void> SettingsAccountSection::runSignIn(QPointer<SettingsAccountSection> self,
                                                    QPointer<AccountService> service, ProviderHint provider)
{
    if (!service)
        co_return;
    std::optional<SignInResult> result;
    try {
        QCoro::Task<SignInResult> signingIn = service->beginSignIn(provider);
        result = co_await std::move(signingIn);
    } catch (...) {
        // beginSignIn reports every failure in its result; nothing may escape to the loop.
    }
    if (!self || !result)
        co_return;
    switch (result->kind()) {
    case SignInResult::Kind::success:
        // The settings stay open; the application comes forward with the main window on top.
        // Activating first: activation raises the window that has the focus (this one), and
        // the main window opened after it must end up above it.
        ActivationPolicy::shared().activateIgnoringOtherApps();
        Q_EMIT self->openMainWindowRequested();
        break;
    case SignInResult::Kind::cancelled:
        break;
    case SignInResult::Kind::failed:
        if (self->m_environment.showAlert)
            self->m_environment.showAlert(QStringLiteral("Sign-in failed"), result->message());
        break;
    }
}

void SettingsAccountSection::cancelPendingSignIn()
{
    if (m_accountService && m_accountService->bridge())
        m_accountService->bridge()->manager()->cancelSignIn();
}

// ---- reset --------------------------------------------------------------------------------

void SettingsAccountSection::resetAndClearLocalData()
{
    if (m_isResetting)
        return;
    setIsResetting(true);
    QCoro::Task<void> resetting = runReset(m_accountService, m_environment.relaunchForReset);
    Q_UNUSED(resetting) // runs on by itself, also once the window has closed
}

QCoro::Task<void> SettingsAccountSection::runReset(QPointer<AccountService> service, std::function<void()> relaunch)
{
    if (service) {
        try {
            QCoro::Task<void> clearing = service->resetAndClearLocalData();
            co_await std::move(clearing);
        } catch (...) {
            // The service logs its own failures and never throws; a reset goes on to the relaunch.
        }
    }
    if (relaunch)
        relaunch();
}

void SettingsAccountSection::setIsResetting(bool value)
{
    m_isResetting = value;
    m_resetButton->setEnabled(!value);
}

void SettingsAccountSection::closeDialogs()
{
    setShowResetConfirm(false);
}

void SettingsAccountSection::setShowResetConfirm(bool value)
{
    if (m_showResetConfirm == value)
        return;
    m_showResetConfirm = value;
    if (!value) {
        if (m_resetConfirm)
            m_resetConfirm->reject();
        return;
    }
    const QString title = QStringLiteral("Reset & clear local data");
    m_resetConfirm = SettingsAlert::confirmation(
        title, QStringLiteral("This signs you out and clears local data. You'll need to sign in again. Continue?"),
        title, this);
    m_resetConfirm->setAttribute(Qt::WA_DeleteOnClose);
    QAbstractButton *destructive = m_resetConfirm->destructiveButton();
    connect(m_resetConfirm, &QMessageBox::buttonClicked, this, [this, destructive](QAbstractButton *clicked) {
        if (clicked == destructive)
            resetAndClearLocalData();
    });
    connect(m_resetConfirm, &QDialog::finished, this, [this]() { setShowResetConfirm(false); });
    m_resetConfirm->open();
}
