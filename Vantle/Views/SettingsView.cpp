#include "Vantle/Views/SettingsView.h"

#include "OrvalenAccount/UI/OrvalenProviderButtonStyle.h"
#include "OrvalenAccount/UI/OrvalenProviderButtons.h"
#include "Platform/ActivationPolicy.h"
#include "Platform/LoginItem.h"
#include "Platform/Preferences.h"
#include "Platform/UrlOpener.h"
#include "Vantle/App/AppDelegate.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/DiagnosticError.h"
#include "Vantle/Services/DiagnosticUploader.h"
#include "Vantle/Services/ErrorTelemetryConsent.h"
#include "Vantle/Services/GeoProbeClient.h"
#include "Vantle/Services/MeetingsService.h"
#include "Vantle/Services/UpdaterService.h"
#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/DiagnosticLogger.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/ButtonReturnKey.h"
#include "Vantle/Views/SettingsAlert.h"
#include "Vantle/Views/SettingsLinks.h"
#include "Vantle/Views/SettingsSection.h"
#include "Vantle/Views/SettingsSheet.h"
#include "Vantle/Views/SettingsSwitch.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QShowEvent>
#include <QTimer>
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
               "QPushButton#footnoteLink { color: %9; background: transparent; border: none; padding: 0px;"
               "  font-size: 11px; text-align: left; }"
               "QPushButton#footnoteLink:hover { text-decoration: underline; }"
               "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }"
               "QScrollBar::handle:vertical { background: %10; border-radius: 2px; min-height: 24px; }"
               "QScrollBar::add-line, QScrollBar::sub-line { height: 0px; }"
               "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }"
               "QPushButton:focus { outline: none; }"
               // Where Tab has put the keyboard (a click never does: the buttons take focus
               // from Tab alone).
               "QPushButton[role=\"normal\"]:focus, QPushButton[role=\"destructive\"]:focus { border-color: %9; }"
               "QPushButton#accountLink:focus { border: 1px solid %9; border-radius: 6px; }"
               "QPushButton#footerLink:focus, QPushButton#footnoteLink:focus { text-decoration: underline; }")
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

SettingsView::SettingsView(AccountService *accountService, UpdaterService *updater, MeetingsService *meetings,
                           QWidget *parent)
    : SettingsView(accountService, updater, meetings, Environment{}, parent)
{
}

SettingsView::SettingsView(AccountService *accountService, UpdaterService *updater, MeetingsService *meetings,
                           Environment environment, QWidget *parent)
    : QWidget(parent),
      m_accountService(accountService),
      m_updater(updater),
      m_meetings(meetings),
      m_environment(std::move(environment)),
      m_analyticsEnabled(!Analytics::isOptedOut()),
      m_diagnosticsEnabled(DiagnosticUploader::isDiagnosticsEnabled()),
      m_verboseDiagnosticsEnabled(DiagnosticLogger::isVerboseActive())
{
    setWindowFlag(Qt::Window);
    // The desktop adds the application's name to every window's title.
    setWindowTitle(QStringLiteral("Settings"));
    setObjectName(QStringLiteral("settingsWindow"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedSize(windowWidth, windowHeight);
    setStyleSheet(windowStyle());
    buildForm();
    installKeyboard();

    if (m_accountService) {
        connect(m_accountService, &AccountService::isAuthenticatedChanged, this, [this](bool signedIn) {
            syncAccountRows();
            // A sign-out from anywhere closes the window; a sign-in never does.
            if (!signedIn)
                close();
        });
        connect(m_accountService, &AccountService::accountDisplayNameChanged, this, &SettingsView::syncAccountRows);
        connect(m_accountService, &AccountService::orvalenAccountIDChanged, this, &SettingsView::syncAccountRows);
        connect(m_accountService, &AccountService::isAuthenticatingChanged, m_providerButtons,
                &OrvalenProviderButtons::setBusy);
    }
    if (m_updater) {
        connect(m_updater, &UpdaterService::canCheckForUpdatesChanged, this, &SettingsView::syncUpdateRows);
        connect(m_updater, &UpdaterService::statusMessageChanged, this, &SettingsView::syncUpdateRows);
    }
    if (m_meetings)
        connect(m_meetings, &MeetingsService::authorizationChanged, this, &SettingsView::syncCalendarFootnote);
    connect(&Preferences::standard(), &Preferences::valueChanged, this, &SettingsView::preferenceChanged);
    syncAccountRows();
    syncUpdateRows();
}

SettingsView::~SettingsView() = default;

QString SettingsView::versionLabel() { return Constants::version(); }

void SettingsView::installKeyboard()
{
    // Tab alone focuses a button: a click that left its focus behind would draw a ring, and a
    // button disabled under the focus would make the form scroll to the next one. Return
    // presses the focused button, as Space does.
    for (QPushButton *button : findChildren<QPushButton *>()) {
        button->setFocusPolicy(Qt::TabFocus);
        button->setAutoDefault(false);
        ButtonReturnKey::install(button);
    }
    // Escape, and the desktop's close keys; Ctrl+W also where the platform names none.
    QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    for (const QKeySequence &keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        if (!closeKeys.contains(keys))
            closeKeys.append(keys);
    }
    auto *close = new QShortcut(this);
    close->setKeys(closeKeys);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

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

    // Signed out: sign in right here. The buttons sit on the window, not on the card.
    m_providerButtons = new OrvalenProviderButtons(
        OrvalenProviderButtonStyle::dark(Theme::accent), m_accountService && m_accountService->isAuthenticating(),
        [this]() { cancelPendingSignIn(); }, [this](ProviderHint provider) { startSignInFromSettings(provider); });
    m_signedOutRows = {section->addRow(m_providerButtons, SettingsSection::Background::clear, QMargins(0, 4, 0, 4))};

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
    // Only a signed-in person can send a report.
    m_sendReportRow->setVisible(signedIn);
    m_signInToSendRow->setVisible(!signedIn);
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
        // The settings stay open; the application comes forward with the main window on top.
        // Activating first: activation raises the window that has the focus (this one), and
        // the main window opened after it must end up above it.
        ActivationPolicy::shared().activateIgnoringOtherApps();
        Q_EMIT self->openMainWindowRequested();
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
    m_showMeetingsSwitch = section->addToggle(QStringLiteral("Show today's meetings"));
    m_showMeetingsSwitch->setChecked(showMeetings());
    connect(m_showMeetingsSwitch, &SettingsSwitch::clicked, this, &SettingsView::setShowMeetingsBinding);
    m_calendarFootnote = section->addFootnote(QString());
    syncCalendarFootnote();
}

QString SettingsView::calendarFootnote(bool showMeetings, CalendarAuthorization authorization)
{
    using Status = CalendarAuthorization;
    const bool refused =
        authorization == Status::restricted || authorization == Status::denied || authorization == Status::writeOnly;
    if (showMeetings && refused)
        return QStringLiteral("Calendar access is off. Enable it in System Settings → Privacy & Security → Calendars.");
    if (authorization != Status::fullAccess)
        return QStringLiteral("Turning this on asks macOS for calendar access so vantle can list today's events — "
                              "they never leave your Mac.");
    return QStringLiteral("Lists today's events on the main window so you can count them in your week with one click.");
}

void SettingsView::syncCalendarFootnote()
{
    const CalendarAuthorization status = m_meetings ? m_meetings->authorization() : CalendarAuthorization::notDetermined;
    m_calendarFootnote->setText(calendarFootnote(showMeetings(), status));
}

bool SettingsView::showMeetings() const { return Preferences::standard().boolValue(showMeetingsKey, false); }

void SettingsView::setShowMeetingsBinding(bool value)
{
    Preferences::standard().setValue(showMeetingsKey, value);
    m_showMeetingsSwitch->setChecked(showMeetings());
    track(QStringLiteral("meetings_setting_changed"), {{QStringLiteral("enabled"), value}});
    // The footnote follows the status as the answer arrives; nothing waits for it here.
    if (value && m_meetings) {
        QCoro::Task<void> asking = m_meetings->requestAccessIfNeeded();
        Q_UNUSED(asking) // runs on by itself
    }
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

void SettingsView::buildHelpSection(SettingsSection *section)
{
    m_errorTelemetrySwitch = section->addToggle(QStringLiteral("Send anonymous error reports automatically"));
    connect(m_errorTelemetrySwitch, &SettingsSwitch::clicked, this, &SettingsView::setErrorTelemetryBinding);
    syncErrorTelemetryToggle();
    section->addFootnote(QStringLiteral(
        "When something goes wrong, a brief technical summary is sent automatically to help us fix it faster. It "
        "includes only error types, app version, and OS version — never your time entries, your account details, or "
        "any personal information."));

    auto *learnMore = new QPushButton(QStringLiteral("Learn what's included in these reports"));
    learnMore->setObjectName(QStringLiteral("footnoteLink"));
    learnMore->setAutoDefault(false);
    learnMore->setCursor(Qt::PointingHandCursor);
    connect(learnMore, &QPushButton::clicked, this, []() { UrlOpener::open(SettingsLinks::errorReportsPrivacy()); });
    auto *learnMoreRow = new QWidget;
    auto *learnMoreLayout = new QHBoxLayout(learnMoreRow);
    learnMoreLayout->setContentsMargins(0, 0, 0, 0);
    learnMoreLayout->addWidget(learnMore);
    learnMoreLayout->addStretch(1);
    section->addRow(learnMoreRow);

    m_sendReportButton = section->addButton(QStringLiteral("Send Diagnostic Report"));
    m_sendReportButton->setObjectName(QStringLiteral("sendReportButton"));
    connect(m_sendReportButton, &QPushButton::clicked, this, &SettingsView::sendDiagnosticReport);
    m_sendReportRow = SettingsSection::rowOf(m_sendReportButton);
    m_signInToSendRow = SettingsSection::rowOf(section->addFootnote(QStringLiteral("Sign in to send a diagnostic report.")));
    m_sendProgress = new QTimer(this);
    m_sendProgress->setInterval(80);
    connect(m_sendProgress, &QTimer::timeout, this, &SettingsView::drawSendProgress);

    m_diagnosticsSwitch = section->addToggle(QStringLiteral("Send anonymous diagnostic reports when something goes wrong"));
    m_diagnosticsSwitch->setChecked(m_diagnosticsEnabled);
    connect(m_diagnosticsSwitch, &SettingsSwitch::clicked, this, &SettingsView::setDiagnosticsEnabled);
    section->addFootnote(QStringLiteral(
        "Includes app version and OS version, plus recent app logs when available. Never includes your time entries."));

    m_verboseSwitch = section->addToggle(QStringLiteral("Verbose diagnostics"));
    m_verboseSwitch->setChecked(m_verboseDiagnosticsEnabled);
    connect(m_verboseSwitch, &SettingsSwitch::clicked, this, &SettingsView::setVerboseDiagnosticsEnabled);
    section->addFootnote(QStringLiteral("Captures additional detail for up to 24 hours. Disable once you've sent your "
                                        "report. Turns off automatically."));
}

void SettingsView::setDiagnosticsEnabled(bool value)
{
    m_diagnosticsSwitch->setChecked(value);
    if (m_diagnosticsEnabled == value)
        return;
    m_diagnosticsEnabled = value;
    Preferences::standard().setValue(DiagnosticUploader::enabledKey, value);
}

void SettingsView::setVerboseDiagnosticsEnabled(bool value)
{
    m_verboseSwitch->setChecked(value);
    if (m_verboseDiagnosticsEnabled == value)
        return;
    m_verboseDiagnosticsEnabled = value;
    DiagnosticLogger::setVerbose(value);
}

// ---- error reports and their one-time note ----

void SettingsView::syncErrorTelemetryToggle() { m_errorTelemetrySwitch->setChecked(ErrorTelemetryConsent::isEnabled()); }

void SettingsView::setErrorTelemetryBinding(bool value)
{
    if (!value && ErrorTelemetryConsent::shouldShowOptOutNote()) {
        // Reports stay on while the note asks; the toggle keeps showing on.
        setShowOptOutNote(true);
    } else if (!value) {
        ErrorTelemetryConsent::setEnabled(false);
        ErrorTelemetryConsent::markOptOutNoteShown();
    } else {
        ErrorTelemetryConsent::setEnabled(true);
    }
    syncErrorTelemetryToggle();
}

void SettingsView::turnOffErrorReportsAnyway()
{
    ErrorTelemetryConsent::setEnabled(false);
    ErrorTelemetryConsent::markOptOutNoteShown();
    setShowOptOutNote(false);
}

void SettingsView::keepSendingErrorReports()
{
    ErrorTelemetryConsent::markOptOutNoteShown();
    setShowOptOutNote(false);
}

void SettingsView::setShowOptOutNote(bool value)
{
    if (m_showOptOutNote == value)
        return;
    m_showOptOutNote = value;
    SettingsSheet *sheet = errorTelemetryOptOutSheet();
    if (value)
        sheet->open();
    else
        sheet->reject();
}

SettingsSheet *SettingsView::errorTelemetryOptOutSheet()
{
    if (m_optOutSheet)
        return m_optOutSheet;
    m_optOutSheet = new SettingsSheet(
        QStringLiteral("Help us fix issues faster"),
        QStringLiteral("Anonymous error reports help us fix issues before they affect more people. Reports never "
                       "include your time entries or personal information."),
        QStringLiteral("Turn off anyway"), QStringLiteral("Keep sending"), this);
    connect(m_optOutSheet->secondaryButton(), &QPushButton::clicked, this, &SettingsView::turnOffErrorReportsAnyway);
    connect(m_optOutSheet->primaryButton(), &QPushButton::clicked, this, &SettingsView::keepSendingErrorReports);
    // Dismissed any other way, the note is still due next time.
    connect(m_optOutSheet, &QDialog::finished, this, [this]() { setShowOptOutNote(false); });
    return m_optOutSheet;
}

// ---- the manual diagnostic report ----

void SettingsView::sendDiagnosticReport()
{
    if (m_isSendingDiagnostic)
        return;
    setIsSendingDiagnostic(true);
    DiagnosticUploader *uploader =
        m_environment.uploader ? m_environment.uploader : &DiagnosticUploader::shared();
    // The line is written even when the window is gone by the time the upload ends.
    LogSink sink = m_environment.log;
    if (!sink)
        sink = [](const QString &level, const QString &message) { SettingsView::diagnosticsLog().emit(level, message); };
    QCoro::Task<void> sending = runDiagnosticReport(QPointer<SettingsView>(this), uploader, std::move(sink));
    Q_UNUSED(sending) // runs on by itself
}

QCoro::Task<void> SettingsView::runDiagnosticReport(QPointer<SettingsView> self, QPointer<DiagnosticUploader> uploader,
                                                    LogSink log)
{
    std::optional<QString> code;
    QString failure;
    try {
        if (!uploader)
            throw DiagnosticError::transport();
        QCoro::Task<QString> uploading = uploader->uploadManualAsync();
        code = co_await std::move(uploading);
    } catch (const DiagnosticError &error) {
        failure = error.message();
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    } catch (...) {
        failure = diagnosticFailureFallback;
    }

    if (code) {
        log(QStringLiteral("info"), QStringLiteral("manual diagnostic upload succeeded code=") + *code);
        // A window closed meanwhile shows nothing.
        if (self && self->m_isSettingsVisible) {
            self->m_diagnosticResultCode = *code;
            self->setShowDiagnosticSuccess(true);
        }
    } else {
        log(QStringLiteral("warn"), QStringLiteral("manual diagnostic upload failed: ") + failure);
        if (self && self->m_isSettingsVisible) {
            self->m_diagnosticErrorMessage = failure;
            self->setShowDiagnosticError(true);
        }
    }
    // The sheet is asked for before the button goes back to idle.
    if (self) {
        QMetaObject::invokeMethod(
            self.data(), [self]() {
                if (self)
                    self->setIsSendingDiagnostic(false);
            },
            Qt::QueuedConnection);
    }
}

void SettingsView::setIsSendingDiagnostic(bool value)
{
    m_isSendingDiagnostic = value;
    m_sendReportButton->setEnabled(!value);
    m_sendReportButton->setText(value ? QStringLiteral("Sending…") : QStringLiteral("Send Diagnostic Report"));
    if (value) {
        m_sendProgressFrame = 0;
        drawSendProgress();
        m_sendProgress->start();
    } else {
        m_sendProgress->stop();
        m_sendReportButton->setIcon(QIcon());
    }
}

void SettingsView::drawSendProgress()
{
    // A small indeterminate spinner: a short arc turning round.
    const qreal ratio = devicePixelRatioF();
    const int side = 12;
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Theme::border.lighter(160), 1.6));
    painter.drawEllipse(QRectF(1.5, 1.5, side - 3, side - 3));
    QPen arc(Theme::text, 1.6);
    arc.setCapStyle(Qt::RoundCap);
    painter.setPen(arc);
    painter.drawArc(QRectF(1.5, 1.5, side - 3, side - 3), -m_sendProgressFrame * 30 * 16, 100 * 16);
    painter.end();
    m_sendReportButton->setIconSize(QSize(side, side));
    m_sendReportButton->setIcon(QIcon(pixmap));
    m_sendProgressFrame = (m_sendProgressFrame + 1) % 12;
}

void SettingsView::setShowDiagnosticSuccess(bool value)
{
    if (m_showDiagnosticSuccess == value)
        return;
    m_showDiagnosticSuccess = value;
    SettingsSheet *sheet = diagnosticSuccessSheet();
    if (value) {
        setDiagnosticCodeCopied(false);
        sheet->setCode(m_diagnosticResultCode.value_or(QString()));
        sheet->open();
    } else {
        sheet->reject();
    }
}

void SettingsView::setShowDiagnosticError(bool value)
{
    if (m_showDiagnosticError == value)
        return;
    m_showDiagnosticError = value;
    SettingsSheet *sheet = diagnosticErrorSheet();
    if (value) {
        sheet->setBodyText(m_diagnosticErrorMessage.value_or(diagnosticFailureFallback));
        sheet->open();
    } else {
        sheet->reject();
    }
}

SettingsSheet *SettingsView::diagnosticSuccessSheet()
{
    if (m_successSheet)
        return m_successSheet;
    m_successSheet = new SettingsSheet(QStringLiteral("Diagnostic report sent"),
                                       QStringLiteral("Share this code with support so we can find your report:"),
                                       QStringLiteral("Done"), QStringLiteral("Copy code"), this);
    connect(m_successSheet->secondaryButton(), &QPushButton::clicked, this,
            [this]() { setShowDiagnosticSuccess(false); });
    connect(m_successSheet->primaryButton(), &QPushButton::clicked, this, &SettingsView::copyDiagnosticCode);
    connect(m_successSheet, &QDialog::finished, this, [this]() { setShowDiagnosticSuccess(false); });
    return m_successSheet;
}

SettingsSheet *SettingsView::diagnosticErrorSheet()
{
    if (m_errorSheet)
        return m_errorSheet;
    m_errorSheet = new SettingsSheet(QStringLiteral("Couldn't send diagnostic report"), diagnosticFailureFallback,
                                     QStringLiteral("Done"), QStringLiteral("Try again"), this);
    connect(m_errorSheet->secondaryButton(), &QPushButton::clicked, this, [this]() { setShowDiagnosticError(false); });
    connect(m_errorSheet->primaryButton(), &QPushButton::clicked, this, [this]() {
        setShowDiagnosticError(false);
        sendDiagnosticReport();
    });
    connect(m_errorSheet, &QDialog::finished, this, [this]() { setShowDiagnosticError(false); });
    return m_errorSheet;
}

void SettingsView::copyDiagnosticCode()
{
    if (!m_diagnosticResultCode)
        return;
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(*m_diagnosticResultCode);
    setDiagnosticCodeCopied(true);
    QTimer::singleShot(copiedResetDelay, this, [this]() { setDiagnosticCodeCopied(false); });
}

void SettingsView::setDiagnosticCodeCopied(bool value)
{
    m_diagnosticCodeCopied = value;
    if (m_successSheet)
        m_successSheet->primaryButton()->setText(value ? QStringLiteral("Copied") : QStringLiteral("Copy code"));
}

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
    if (key == UpdaterService::betaEnabledKey) {
        m_betaSwitch->setChecked(betaUpdatesEnabled());
    } else if (key == showMeetingsKey) {
        m_showMeetingsSwitch->setChecked(showMeetings());
        syncCalendarFootnote();
    } else if (key == ErrorTelemetryConsent::Keys::enabled || key == ErrorTelemetryConsent::Keys::optOutShown ||
               key == ErrorTelemetryConsent::Keys::euOptInShown || key == GeoProbeClient::cachedIsEUKey) {
        syncErrorTelemetryToggle();
    }
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

const Log &SettingsView::diagnosticsLog()
{
    static const Log log(Log::appSubsystem, QStringLiteral("diagnostics"));
    return log;
}
