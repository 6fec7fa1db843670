#include "Vantle/Views/SettingsView.h"

#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/DiagnosticUploader.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/ButtonReturnKey.h"
#include "Vantle/Views/SettingsAccountSection.h"
#include "Vantle/Views/SettingsAlert.h"
#include "Vantle/Views/SettingsFooter.h"
#include "Vantle/Views/SettingsPrivacySection.h"
#include "Vantle/Views/SettingsUpdatesSection.h"

#include <QHideEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QShowEvent>
#include <QVBoxLayout>

#include <utility>

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

// The window's log: category "diagnostics".
const Log &diagnosticsLog()
{
    static const Log log(Log::appSubsystem, QStringLiteral("diagnostics"));
    return log;
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
    : QWidget(parent), m_accountService(accountService), m_environment(std::move(environment))
{
    if (!m_environment.track)
        m_environment.track = [](const QString &event, const Analytics::Properties &properties) {
            Analytics::track(event, properties);
        };
    if (!m_environment.log)
        m_environment.log = [](const QString &level, const QString &message) { diagnosticsLog().emit(level, message); };
    if (!m_environment.uploader)
        m_environment.uploader = &DiagnosticUploader::shared();
    QPointer<SettingsView> self(this);
    m_environment.showAlert = [self](const QString &title, const QString &message) {
        if (self)
            self->presentAlert(title, message);
    };

    setWindowFlag(Qt::Window);
    // The desktop adds the application's name to every window's title.
    setWindowTitle(QStringLiteral("Settings"));
    setObjectName(QStringLiteral("settingsWindow"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedSize(windowWidth, windowHeight);
    setStyleSheet(windowStyle());
    buildForm(accountService, updater, meetings);
    installKeyboard();

    // A sign-out from anywhere closes the window; a sign-in never does.
    if (m_accountService) {
        connect(m_accountService, &AccountService::isAuthenticatedChanged, this, [this](bool signedIn) {
            if (!signedIn)
                close();
        });
    }
}

SettingsView::~SettingsView() = default;

QString SettingsView::versionLabel() { return SettingsPrivacySection::versionLabel(); }

QString SettingsView::calendarFootnote(bool showMeetings, CalendarAuthorization authorization)
{
    return SettingsGeneralSection::calendarFootnote(showMeetings, authorization);
}

void SettingsView::buildForm(AccountService *accountService, UpdaterService *updater, MeetingsService *meetings)
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

    // In the form's order, which is also the order of the window's children.
    m_account = new SettingsAccountSection(accountService, m_environment, form);
    connect(m_account, &SettingsAccountSection::openMainWindowRequested, this, &SettingsView::openMainWindowRequested);
    layout->addWidget(m_account);
    m_general = new SettingsGeneralSection(meetings, m_environment, form);
    layout->addWidget(m_general);
    m_privacy = new SettingsPrivacySection(form);
    layout->addWidget(m_privacy);
    layout->addWidget(new SettingsUpdatesSection(updater, m_environment, form));
    m_help = new SettingsHelpSection(accountService, m_environment, form);
    layout->addWidget(m_help);
    layout->addWidget(new SettingsFooter(form));
    layout->addStretch(1);
    scroll->setWidget(form);
}

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

// ---- what the sections do, for the window's owner -----------------------------------------

void SettingsView::startSignInFromSettings(ProviderHint provider) { m_account->startSignInFromSettings(provider); }

void SettingsView::resetAndClearLocalData() { m_account->resetAndClearLocalData(); }

void SettingsView::setLaunchAtLogin(bool enabled) { m_general->setLaunchAtLogin(enabled); }

void SettingsView::sendDiagnosticReport() { m_help->sendDiagnosticReport(); }

bool SettingsView::launchAtLoginEnabled() const { return m_general->launchAtLoginEnabled(); }

bool SettingsView::analyticsEnabled() const { return m_privacy->analyticsEnabled(); }

bool SettingsView::isResetting() const { return m_account->isResetting(); }

// ---- the shared alert ---------------------------------------------------------------------

void SettingsView::presentAlert(const QString &title, const QString &message)
{
    m_alertTitle = title;
    m_alertMessage = message;
    setShowAlert(true);
}

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

// ---- appearing and disappearing -----------------------------------------------------------

void SettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    m_environment.track(QStringLiteral("settings_viewed"), {});
    m_isSettingsVisible = true;
    // A browser sign-in left pending elsewhere ends here.
    m_account->cancelPendingSignIn();
    // Each appearance starts from what is stored now, as a window made afresh would.
    m_general->windowShown();
    m_privacy->windowShown();
    m_help->windowShown();
}

void SettingsView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return;
    m_isSettingsVisible = false;
    m_account->cancelPendingSignIn();
    // What the window shows goes with it.
    setShowAlert(false);
    m_account->closeDialogs();
    m_help->windowHidden();
}
