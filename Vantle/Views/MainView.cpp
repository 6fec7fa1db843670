#include "Vantle/Views/MainView.h"

#include "Platform/Preferences.h"
#include "Vantle/Models/LedgerModel.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/MeetingsService.h"
#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/ButtonReturnKey.h"
#include "Vantle/Views/CategoryListView.h"
#include "Vantle/Views/FreshLaunchToast.h"
#include "Vantle/Views/MeetingsStrip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeZone>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int bottomMargin = 28;
// Between the strip's panel and the toast below it.
constexpr int toastGap = 8;

MeetingsStrip::Availability availabilityOf(CalendarAuthorization authorization)
{
    switch (authorization) {
    case CalendarAuthorization::notDetermined:
        return MeetingsStrip::Availability::pending;
    case CalendarAuthorization::restricted:
        return MeetingsStrip::Availability::noCalendar;
    case CalendarAuthorization::fullAccess:
        return MeetingsStrip::Availability::available;
    case CalendarAuthorization::denied:
    case CalendarAuthorization::writeOnly:
        return MeetingsStrip::Availability::denied;
    }
    return MeetingsStrip::Availability::pending;
}

} // namespace

MainView::MainView(LedgerModel *ledger, AccountService *account, MeetingsService *meetings, Preferences *preferences,
                   QWidget *parent)
    : QWidget(parent),
      m_ledger(ledger),
      m_account(account),
      m_meetings(meetings),
      m_preferences(preferences ? preferences : &Preferences::standard())
{
    setObjectName(QStringLiteral("mainView"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(32, 24, 32, bottomMargin);
    outer->setSpacing(20);

    // The top bar: who is signed in, and the way to the settings.
    auto *bar = new QHBoxLayout;
    bar->setSpacing(12);
    auto *brand = new QLabel(QStringLiteral("vantle"), this);
    QFont brandFont = brand->font();
    brandFont.setPixelSize(15);
    brandFont.setWeight(QFont::Bold);
    brand->setFont(brandFont);
    QPalette brandPalette = brand->palette();
    brandPalette.setColor(QPalette::WindowText, Theme::accent);
    brand->setPalette(brandPalette);
    bar->addWidget(brand);
    bar->addStretch(1);
    m_accountLabel = new QLabel(this);
    m_accountLabel->setObjectName(QStringLiteral("accountLabel"));
    m_accountLabel->setTextFormat(Qt::PlainText);
    QFont accountFont = m_accountLabel->font();
    accountFont.setPixelSize(13);
    m_accountLabel->setFont(accountFont);
    QPalette accountPalette = m_accountLabel->palette();
    accountPalette.setColor(QPalette::WindowText, Theme::muted);
    m_accountLabel->setPalette(accountPalette);
    bar->addWidget(m_accountLabel);
    m_settingsButton = new QPushButton(settingsText, this);
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    m_settingsButton->setCursor(Qt::PointingHandCursor);
    // Tab alone focuses it: a click must not leave the focus ring behind.
    m_settingsButton->setFocusPolicy(Qt::TabFocus);
    m_settingsButton->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3; border-radius: 8px;"
                       " padding: 6px 14px; font-size: 13px; }"
                       "QPushButton:hover { border-color: %4; }"
                       "QPushButton:focus { border-color: %5; outline: none; }")
            .arg(Theme::card.name(), Theme::text.name(), Theme::border.name(), Theme::accent.name(), Theme::muted.name()));
    connect(m_settingsButton, &QPushButton::clicked, this, &MainView::openSettingsRequested);
    ButtonReturnKey::install(m_settingsButton);
    bar->addWidget(m_settingsButton);
    outer->addLayout(bar);

    // Quiet: the week below is still right as far as anyone knows, only not refreshed.
    m_staleLine = new QLabel(staleText, this);
    m_staleLine->setObjectName(QStringLiteral("staleLine"));
    m_staleLine->setTextFormat(Qt::PlainText);
    QFont staleFont = m_staleLine->font();
    staleFont.setPixelSize(12);
    m_staleLine->setFont(staleFont);
    m_staleLine->setPalette(accountPalette);
    m_staleLine->setVisible(m_ledger && m_ledger->lastRefreshFailed());
    if (m_ledger)
        connect(m_ledger, &LedgerModel::lastRefreshFailedChanged, m_staleLine, &QWidget::setVisible);
    outer->addWidget(m_staleLine);

    auto *body = new QHBoxLayout;
    body->setSpacing(24);
    m_categories = new CategoryListView(ledger, this);
    body->addWidget(m_categories, 1);
    m_strip = new MeetingsStrip(this);
    m_strip->setFixedWidth(300);
    // "Your week is ready." comes into the window's bottom-trailing corner at launch: the
    // strip's panel ends above it, not under it.
    auto *stripColumn = new QVBoxLayout;
    stripColumn->setSpacing(0);
    stripColumn->addWidget(m_strip, 1);
    stripColumn->addSpacing(std::max(0, FreshLaunchToast::reach() + toastGap - bottomMargin));
    body->addLayout(stripColumn, 0);
    outer->addLayout(body, 1);

    m_stripTimer.setInterval(stripTick);
    m_stripTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_stripTimer, &QTimer::timeout, this, &MainView::updateStrip);

    if (m_account) {
        connect(m_account, &AccountService::accountDisplayNameChanged, this, &MainView::updateAccount);
    }
    if (m_meetings) {
        connect(m_meetings, &MeetingsService::eventsChanged, this, &MainView::updateStrip);
        connect(m_meetings, &MeetingsService::authorizationChanged, this, &MainView::updateStrip);
    }
    if (m_preferences) {
        connect(m_preferences, &Preferences::valueChanged, this, [this](const QString &key) {
            if (key == showMeetingsKey)
                readShowMeetings();
        });
    }
    updateAccount();
    readShowMeetings();
}

MainView::~MainView() = default;

QString MainView::accountText() const
{
    return m_accountLabel->text();
}

void MainView::updateAccount()
{
    m_accountLabel->setText(m_account ? m_account->accountDisplayName() : QString());
}

void MainView::readShowMeetings()
{
    m_showMeetings = m_preferences && m_preferences->boolValue(showMeetingsKey, false);
    m_strip->setVisible(m_showMeetings);
    if (m_showMeetings && m_meetings && !m_askingCalendar
        && m_meetings->authorization() == CalendarAuthorization::notDetermined) {
        // First time on: ask the calendar store, once however often the switch is flipped
        // meanwhile. The strip says it is looking until the store answers.
        [[maybe_unused]] QCoro::Task<void> asking = askCalendar(this, m_meetings);
    }
    updateStrip();
    updateStripTimer();
}

QCoro::Task<void> MainView::askCalendar(QPointer<MainView> self, QPointer<MeetingsService> meetings)
{
    self->m_askingCalendar = true;
    co_await meetings->requestAccessIfNeeded();
    if (self) {
        self->m_askingCalendar = false;
        self->updateStrip();
    }
}

void MainView::updateStripTimer()
{
    // No clock runs for a strip nobody can see.
    if (m_showMeetings && isVisible())
        m_stripTimer.start();
    else
        m_stripTimer.stop();
}

void MainView::updateStrip()
{
    if (!m_showMeetings)
        return;
    if (!m_meetings) {
        m_strip->setMeetings(MeetingsStrip::Availability::noCalendar, {}, false, {}, {}, {});
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    const auto [dayStart, dayEnd] = MeetingsService::dayContaining(now, QTimeZone::systemTimeZone());
    QList<MeetingsStrip::Meeting> remaining;
    for (const CalendarEvent &event : MeetingsService::remainingEvents(m_meetings->todayEvents(), now))
        remaining.append({event.title, event.start, event.end, event.color, event.allDay});
    m_strip->setMeetings(availabilityOf(m_meetings->authorization()), remaining, !m_meetings->todayEvents().isEmpty(),
                         now, dayStart, dayEnd);
}

void MainView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateStrip();
    updateStripTimer();
}

void MainView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    updateStripTimer();
}
