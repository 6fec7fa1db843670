#include "Vantle/Views/SettingsView.h"

#include "Platform/ActivationPolicy.h"
#include "Platform/LoginItem.h"
#include "Platform/Preferences.h"
#include "Platform/UrlOpener.h"
#include "Vantle/App/AppDelegate.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/UpdaterService.h"
#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/SettingsAlert.h"
#include "Vantle/Views/SettingsLinks.h"
#include "Vantle/Views/SettingsSection.h"
#include "Vantle/Views/SettingsSwitch.h"

#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

const QColor destructiveRed(0xFF, 0x45, 0x3A);

QString rgb(const QColor &color) { return color.name(QColor::HexRgb); }

QString rgba(QColor color, qreal alpha)
{
    color.setAlphaF(alpha);
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(alpha);
}

QString windowStyle()
{
    return QStringLiteral(
               "SettingsView, QWidget#settingsForm { background: %1; }"
               "QScrollArea { background: %1; border: none; }"
               "QLabel { color: %2; font-size: 13px; }"
               "QLabel#sectionHeader { color: %2; font-size: 13px; font-weight: 600; }"
               "QLabel#rowValue { color: %3; }"
               "QLabel#footnote { color: %3; font-size: 11px; }"
               "QPushButton { font-size: 13px; }"
               "QPushButton[role=\"normal\"], QPushButton[role=\"destructive\"] {"
               "  color: %2; background: %4; border: 1px solid %5; border-radius: 6px; padding: 4px 12px; }"
               "QPushButton[role=\"destructive\"] { color: %6; }"
               "QPushButton[role=\"normal\"]:hover, QPushButton[role=\"destructive\"]:hover { border-color: %3; }"
               "QPushButton[role=\"normal\"]:disabled { color: %7; border-color: %5; }"
               "QPushButton[role=\"destructive\"]:disabled { color: %8; border-color: %5; }"
               "QPushButton#accountLink { background: transparent; border: none; text-align: left; padding: 0px; }"
               "QPushButton#accountLink:hover { background: rgba(255, 255, 255, 0.035); }"
               "QPushButton#footerLink { color: %9; background: transparent; border: none; padding: 0px;"
               "  font-size: 11px; }"
               "QPushButton#footerLink:hover { text-decoration: underline; }"
               "QLabel#footerDot { color: %3; font-size: 11px; }"
               "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }"
               "QScrollBar::handle:vertical { background: %10; border-radius: 2px; min-height: 24px; }"
               "QScrollBar::add-line, QScrollBar::sub-line { height: 0px; }"
               "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }"
               "QPushButton:focus { outline: none; }")
        .arg(rgb(Theme::canvas), rgb(Theme::text), rgb(Theme::muted), rgb(Theme::card), rgb(Theme::border),
             rgb(destructiveRed), rgba(Theme::text, 0.35), rgba(destructiveRed, 0.4), rgb(Theme::accent),
             rgb(Theme::border.lighter(150)));
}

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

// ---- construction -------------------------------------------------------------------------

SettingsView::SettingsView(AccountService *accountService, UpdaterService *updater, QWidget *parent)
    : SettingsView(accountService, updater, Environment{}, parent)
{
}

SettingsView::SettingsView(AccountService *accountService, UpdaterService *updater, Environment environment,
                           QWidget *parent)
    : QWidget(parent),
      m_accountService(accountService),
      m_updater(updater),
      m_environment(std::move(environment)),
      m_analyticsEnabled(!Analytics::isOptedOut())
{
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("vantle Settings"));
    setObjectName(QStringLiteral("settingsWindow"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedSize(windowWidth, windowHeight);
    setStyleSheet(windowStyle());
    buildForm();

    if (m_accountService) {
        connect(m_accountService, &AccountService::isAuthenticatedChanged, this, [this](bool signedIn) {
            syncAccountRows();
            // A sign-out from anywhere closes the window; a sign-in never does.
            if (!signedIn)
                close();
        });
        connect(m_accountService, &AccountService::accountDisplayNameChanged, this, &SettingsView::syncAccountRows);
        connect(m_accountService, &AccountService::orvalenAccountIDChanged, this, &SettingsView::syncAccountRows);
    }
    if (m_updater) {
        connect(m_updater, &UpdaterService::canCheckForUpdatesChanged, this, &SettingsView::syncUpdateRows);
        connect(m_updater, &UpdaterService::statusMessageChanged, this, &SettingsView::syncUpdateRows);
    }
    connect(&Preferences::standard(), &Preferences::valueChanged, this, &SettingsView::preferenceChanged);
    syncAccountRows();
    syncUpdateRows();
}

SettingsView::~SettingsView() = default;

QString SettingsView::versionLabel() { return Constants::version(); }

void SettingsView::buildForm()
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);

    auto *form = new QWidget;
    form->setObjectName(QStringLiteral("settingsForm"));
    auto *layout = new QVBoxLayout(form);
    layout->setContentsMargins(20, 18, 20, 14);
    layout->setSpacing(20);

    auto add = [&](const QString &header) {
        auto *section = new SettingsSection(header, form);
        layout->addWidget(section);
        return section;
    };
    buildAccountSection(add(QStringLiteral("Account")));
    buildGeneralSection(add(QStringLiteral("General")));
    buildPrivacySection(add(QStringLiteral("Privacy & Support")));
    buildUpdatesSection(add(QStringLiteral("Updates")));
    buildHelpSection(add(QStringLiteral("Help & Diagnostics")));
    buildFooter(add(QString()));
    layout->addStretch(1);
    scroll->setWidget(form);
}

// ---- Account ------------------------------------------------------------------------------

void SettingsView::buildAccountSection(SettingsSection *section)
{
    QPushButton *signOut = section->addButton(QStringLiteral("Sign out"), SettingsSection::ButtonRole::destructive,
                                              /*trailing=*/true);
    signOut->setObjectName(QStringLiteral("signOutButton"));
    connect(signOut, &QPushButton::clicked, this, [this]() {
        if (m_accountService)
            m_accountService->signOut();
    });
    m_signOutRow = SettingsSection::rowOf(signOut);

    m_accountName = section->addLabeledValue(QStringLiteral("Account"), QString());
    m_accountID = section->addLabeledValue(QStringLiteral("Account ID"), QString());
    m_signedInRows = {m_signOutRow, SettingsSection::rowOf(m_accountName), SettingsSection::rowOf(m_accountID)};

    for (const QString &title :
         {QStringLiteral("Manage devices"), QStringLiteral("Export my data"), QStringLiteral("Delete account")}) {
        m_signedInRows.append(section->addRow(accountManagementLink(title), SettingsSection::Background::card,
                                              QMargins(0, 0, 0, 0)));
    }

    m_resetButton = section->addButton(SettingsAlert::escapedForButton(QStringLiteral("Reset & clear local data")),
                                       SettingsSection::ButtonRole::destructive);
    m_resetButton->setObjectName(QStringLiteral("resetButton"));
    connect(m_resetButton, &QPushButton::clicked, this, [this]() { setShowResetConfirm(true); });
}

QPushButton *SettingsView::accountManagementLink(const QString &title)
{
    auto *button = new QPushButton;
    button->setObjectName(QStringLiteral("accountLink"));
    button->setAccessibleName(title);
    button->setAutoDefault(false);
    button->setCursor(Qt::PointingHandCursor);
    auto *row = new QHBoxLayout(button);
    const QMargins insets = SettingsSection::rowInsets;
    row->setContentsMargins(insets);
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
    button->setMinimumHeight(label->sizeHint().height() + insets.top() + insets.bottom());
    // All three rows lead to the account page; the titles say what to do there.
    connect(button, &QPushButton::clicked, this, []() { UrlOpener::open(SettingsLinks::accountPage()); });
    return button;
}

void SettingsView::syncAccountRows()
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

void SettingsView::startSignInFromSettings(ProviderHint provider)
{
    QCoro::Task<void> signingIn = runSignIn(QPointer<SettingsView>(this), m_accountService, provider);
    Q_UNUSED(signingIn) // runs on by itself
}

QCoro::Task<void> SettingsView::runSignIn(QPointer<SettingsView> self, QPointer<AccountService> service,
                                          ProviderHint provider)
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
        // The settings stay open; the main window comes forward.
        Q_EMIT self->openMainWindowRequested();
        ActivationPolicy::shared().activateIgnoringOtherApps();
        break;
    case SignInResult::Kind::cancelled:
        break;
    case SignInResult::Kind::failed:
        self->m_alertTitle = QStringLiteral("Sign-in failed");
        self->m_alertMessage = result->message();
        self->setShowAlert(true);
        break;
    }
}

void SettingsView::cancelPendingSignIn()
{
    if (m_accountService && m_accountService->bridge())
        m_accountService->bridge()->manager()->cancelSignIn();
}

// ---- reset --------------------------------------------------------------------------------

void SettingsView::resetAndClearLocalData()
{
    if (m_isResetting)
        return;
    setIsResetting(true);
    QCoro::Task<void> resetting = runReset(m_accountService);
    Q_UNUSED(resetting) // runs on by itself, also once the window has closed
}

QCoro::Task<void> SettingsView::runReset(QPointer<AccountService> service)
{
    if (service) {
        try {
            QCoro::Task<void> clearing = service->resetAndClearLocalData();
            co_await std::move(clearing);
        } catch (...) {
            // The service logs its own failures and never throws; a reset goes on to the relaunch.
        }
    }
    if (AppDelegate *delegate = AppDelegate::shared())
        delegate->relaunchForReset();
}

void SettingsView::setIsResetting(bool value)
{
    m_isResetting = value;
    m_resetButton->setEnabled(!value);
}

void SettingsView::setShowResetConfirm(bool value)
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

// ---- the shared alert ---------------------------------------------------------------------

void SettingsView::setShowAlert(bool value)
{
    if (value && m_alert) {
        // Already up: it shows the latest failure.
        m_alert->setText(m_alertTitle);
        m_alert->setInformativeText(m_alertMessage);
    }
    if (m_showAlert == value)
        return;
    m_showAlert = value;
    if (!value) {
        if (m_alert)
            m_alert->reject();
        return;
    }
    m_alert = SettingsAlert::message(m_alertTitle, m_alertMessage, this);
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_alert, &QDialog::finished, this, [this]() { setShowAlert(false); });
    m_alert->open();
}

// ---- General ------------------------------------------------------------------------------

void SettingsView::buildGeneralSection(SettingsSection *section)
{
    m_launchAtLoginSwitch = section->addToggle(QStringLiteral("Launch vantle at login"));
    m_launchAtLoginSwitch->setChecked(m_launchAtLoginEnabled);
    connect(m_launchAtLoginSwitch, &SettingsSwitch::clicked, this, &SettingsView::setLaunchAtLoginEnabled);
    section->addFootnote(QStringLiteral("Keeps the menu-bar timer available the moment you sign in to your Mac."));
}

void SettingsView::setLaunchAtLoginEnabled(bool value)
{
    m_launchAtLoginSwitch->setChecked(value);
    if (m_launchAtLoginEnabled == value)
        return;
    m_launchAtLoginEnabled = value;
    setLaunchAtLogin(value);
}

void SettingsView::setLaunchAtLogin(bool enabled)
{
    const LoginItem item = LoginItem::mainApp();
    try {
        if (enabled)
            item.registerItem();
        else
            item.unregisterItem();
    } catch (...) {
        // Neither shown nor logged: the toggle goes back to what is really registered.
        setLaunchAtLoginEnabled(item.status() == LoginItem::Status::enabled);
    }
}

// ---- Privacy & Support --------------------------------------------------------------------

void SettingsView::buildPrivacySection(SettingsSection *section)
{
    m_analyticsSwitch = section->addToggle(QStringLiteral("Share anonymous usage analytics"));
    m_analyticsSwitch->setChecked(m_analyticsEnabled);
    connect(m_analyticsSwitch, &SettingsSwitch::clicked, this, &SettingsView::setAnalyticsEnabled);
    section->addFootnote(QStringLiteral("Covers product events such as onboarding steps, timer starts and stops, and "
                                        "which settings you change. Your entry notes and category names are never "
                                        "sent."));
    QPushButton *support = section->addButton(QStringLiteral("Contact support"));
    support->setObjectName(QStringLiteral("contactSupportButton"));
    connect(support, &QPushButton::clicked, this, []() { UrlOpener::open(SettingsLinks::support()); });
    section->addLabeledValue(QStringLiteral("Version"), versionLabel());
}

void SettingsView::setAnalyticsEnabled(bool value)
{
    m_analyticsSwitch->setChecked(value);
    if (m_analyticsEnabled == value)
        return;
    m_analyticsEnabled = value;
    Analytics::setOptedOut(!value);
}

// ---- Updates ------------------------------------------------------------------------------

void SettingsView::buildUpdatesSection(SettingsSection *section)
{
    m_checkForUpdatesButton = section->addButton(QStringLiteral("Check for Updates…"));
    m_checkForUpdatesButton->setObjectName(QStringLiteral("checkForUpdatesButton"));
    connect(m_checkForUpdatesButton, &QPushButton::clicked, this, [this]() {
        if (m_updater)
            m_updater->checkForUpdates();
    });
    m_updateStatus = section->addFootnote(QString());
    m_betaSwitch = section->addToggle(QStringLiteral("Install beta updates"));
    m_betaSwitch->setChecked(betaUpdatesEnabled());
    connect(m_betaSwitch, &SettingsSwitch::clicked, this, &SettingsView::setBetaUpdatesBinding);
    section->addFootnote(QStringLiteral(
        "New features and changes land here first, and things may break occasionally. But if that's your jam, hop "
        "in. Turning this off keeps any beta you already have until a stable release catches up."));
}

void SettingsView::syncUpdateRows()
{
    const bool canCheck = m_updater && m_updater->canCheckForUpdates();
    m_checkForUpdatesButton->setEnabled(canCheck);
    m_betaSwitch->setEnabled(canCheck);
    const std::optional<QString> status = m_updater ? m_updater->statusMessage() : std::nullopt;
    m_updateStatus->setText(status.value_or(QString()));
    SettingsSection::rowOf(m_updateStatus)->setVisible(status.has_value());
}

bool SettingsView::betaUpdatesEnabled() const
{
    return Preferences::standard().boolValue(UpdaterService::betaEnabledKey, false);
}

void SettingsView::setBetaUpdatesBinding(bool value)
{
    Preferences::standard().setValue(UpdaterService::betaEnabledKey, value);
    m_betaSwitch->setChecked(betaUpdatesEnabled());
    track(QStringLiteral("beta_updates_setting_changed"), {{QStringLiteral("enabled"), value}});
    // Opting in looks for a beta at once; opting out never starts a check.
    if (value && m_updater && m_updater->canCheckForUpdates())
        m_updater->checkForUpdates();
}

// ---- Help & Diagnostics -------------------------------------------------------------------

void SettingsView::buildHelpSection(SettingsSection *section) { Q_UNUSED(section) }

// ---- footer -------------------------------------------------------------------------------

void SettingsView::buildFooter(SettingsSection *section)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addStretch(1);
    const struct {
        QString title;
        QUrl (*url)();
    } links[] = {
        {QStringLiteral("Privacy Policy"), &SettingsLinks::privacyPolicy},
        {QStringLiteral("Terms of Service"), &SettingsLinks::termsOfService},
        {QStringLiteral("Support"), &SettingsLinks::support},
    };
    bool first = true;
    for (const auto &link : links) {
        if (!first) {
            auto *dot = new QLabel(QStringLiteral("·"), row);
            dot->setObjectName(QStringLiteral("footerDot"));
            layout->addWidget(dot);
        }
        first = false;
        auto *button = new QPushButton(link.title, row);
        button->setObjectName(QStringLiteral("footerLink"));
        button->setAutoDefault(false);
        button->setCursor(Qt::PointingHandCursor);
        const auto url = link.url;
        connect(button, &QPushButton::clicked, this, [url]() { UrlOpener::open(url()); });
        layout->addWidget(button);
    }
    layout->addStretch(1);
    section->addRow(row);
}

// ---- preferences --------------------------------------------------------------------------

void SettingsView::preferenceChanged(const QString &key)
{
    if (key == UpdaterService::betaEnabledKey)
        m_betaSwitch->setChecked(betaUpdatesEnabled());
}

// ---- appearing and disappearing -----------------------------------------------------------

void SettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    track(QStringLiteral("settings_viewed"));
    m_isSettingsVisible = true;
    // A browser sign-in left pending elsewhere ends here.
    cancelPendingSignIn();
    // The toggle starts from what is registered; its change handler runs as for any change.
    setLaunchAtLoginEnabled(LoginItem::mainApp().status() == LoginItem::Status::enabled);
}

void SettingsView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return;
    m_isSettingsVisible = false;
    cancelPendingSignIn();
}

// ---- where events and lines go ------------------------------------------------------------

void SettingsView::track(const QString &event, const Analytics::Properties &properties) const
{
    if (m_environment.track)
        m_environment.track(event, properties);
    else
        Analytics::track(event, properties);
}

void SettingsView::log(const QString &level, const QString &message) const
{
    if (m_environment.log) {
        m_environment.log(level, message);
        return;
    }
    static const Log diagnosticsLog(Log::appSubsystem, QStringLiteral("diagnostics"));
    diagnosticsLog.emit(level, message);
}
