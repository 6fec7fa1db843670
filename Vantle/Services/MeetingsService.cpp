#include "Vantle/Services/MeetingsService.h"

#include "Platform/CalendarStore.h"
#include "Vantle/Utilities/Log.h"

#include <QCoro/QCoroFuture>
#include <QPointer>
#include <QPromise>

#include <algorithm>
#include <exception>
#include <optional>

MeetingsService::MeetingsService(std::shared_ptr<CalendarStore> store, QObject *parent)
    : QObject(parent)
    , m_store(store ? std::move(store) : CalendarStore::system())
    , m_clock([]() { return QDateTime::currentDateTimeUtc(); })
    , m_log([log = Log(QStringLiteral("meetings"))](const QString &level, const QString &message) {
        log.emit(level, message);
    })
{
    m_refreshTimer.setInterval(refreshInterval);
    connect(&m_refreshTimer, &QTimer::timeout, this, &MeetingsService::scheduleFetch);
    connect(m_store.get(), &CalendarStore::changed, this, [this]() {
        if (m_authorization != CalendarAuthorization::notDetermined)
            scheduleFetch();
    });
}

MeetingsService::~MeetingsService()
{
    // Callers still awaiting a refresh resume with nothing applied.
    for (const auto &waiter : m_fetchWaiters)
        waiter->finish();
}

void MeetingsService::setClock(Clock clock, QTimeZone zone)
{
    m_clock = std::move(clock);
    m_zone = std::move(zone);
}

QTimeZone MeetingsService::zone() const
{
    return m_zone ? *m_zone : QTimeZone::systemTimeZone();
}

void MeetingsService::setLogSink(LogSink sink)
{
    m_log = std::move(sink);
}

QCoro::Task<void> MeetingsService::requestAccessIfNeeded()
{
    QPointer<MeetingsService> self(this);
    // The store stays alive for the request even if this service goes away meanwhile.
    std::shared_ptr<CalendarStore> store = m_store;
    if (store->authorizationStatus() == CalendarAuthorization::notDetermined) {
        std::optional<QString> failure;
        try {
            co_await qCoro(store->requestFullAccessToEvents()).waitForFinished();
        } catch (const CalendarStoreError &error) {
            failure = error.message();
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        } catch (...) {
            failure = QStringLiteral("unknown error");
        }
        // A service that went away meanwhile is closing with the application: its log may be gone too.
        if (!self)
            co_return;
        if (failure && m_log)
            m_log(QStringLiteral("warn"), QStringLiteral("calendar access request failed: ") + *failure);
    }
    syncAuthorization();
    if (!self)
        co_return;
    store->rebuildSources();
    if (m_authorization != CalendarAuthorization::notDetermined) {
        if (!m_refreshTimer.isActive())
            m_refreshTimer.start();
        scheduleFetch();
    }
}

QCoro::Task<void> MeetingsService::refresh()
{
    auto waiter = std::make_shared<QPromise<void>>();
    waiter->start();
    QFuture<void> applied = waiter->future();
    m_fetchWaiters.push_back(std::move(waiter));
    scheduleFetch();
    // Nothing after this line may touch the service: it may be gone when the wait ends.
    co_await qCoro(applied).waitForFinished();
}

QList<CalendarEvent> MeetingsService::remainingTodayEvents() const
{
    return remainingEvents(m_todayEvents, m_clock());
}

QList<CalendarEvent> MeetingsService::remainingEvents(const QList<CalendarEvent> &events, const QDateTime &now)
{
    QList<CalendarEvent> remaining;
    for (const CalendarEvent &event : events) {
        if (event.end > now || event.start >= now)
            remaining.append(event);
    }
    std::sort(remaining.begin(), remaining.end(), [](const CalendarEvent &a, const CalendarEvent &b) {
        if (a.allDay != b.allDay)
            return !a.allDay;
        return inTimeOrder(a, b);
    });
    return remaining;
}

std::pair<QDateTime, QDateTime> MeetingsService::dayContaining(const QDateTime &now, const QTimeZone &zone)
{
    const QDate today = now.toTimeZone(zone).date();
    return {today.startOfDay(zone).toUTC(), today.addDays(1).startOfDay(zone).toUTC()};
}

void MeetingsService::syncAuthorization()
{
    const CalendarAuthorization current = m_store->authorizationStatus();
    if (current == m_authorization)
        return;
    m_authorization = current;
    const bool cleared = current != CalendarAuthorization::fullAccess && !m_todayEvents.isEmpty();
    if (cleared)
        m_todayEvents.clear();
    QPointer<MeetingsService> self(this);
    Q_EMIT authorizationChanged(current);
    if (cleared && self)
        Q_EMIT eventsChanged();
}

void MeetingsService::setTodayEvents(QList<CalendarEvent> events)
{
    std::sort(events.begin(), events.end(), inTimeOrder);
    if (events == m_todayEvents)
        return;
    m_todayEvents = std::move(events);
    Q_EMIT eventsChanged();
}

void MeetingsService::scheduleFetch()
{
    m_fetchWanted = true;
    if (!m_fetching)
        runFetches();
}

QCoro::Task<void> MeetingsService::runFetches()
{
    QPointer<MeetingsService> self(this);
    m_fetching = true;
    while (m_fetchWanted) {
        m_fetchWanted = false;
        if (m_authorization == CalendarAuthorization::notDetermined)
            continue;
        const QTimeZone today = zone();
        const auto [from, to] = dayContaining(m_clock(), today);
        QFuture<CalendarFetch> pending = m_store->events(from, to, today);
        std::optional<CalendarFetch> fetched;
        std::optional<QString> failure;
        bool storeMissing = false;
        try {
            fetched = co_await qCoro(pending).waitForFinished();
        } catch (const CalendarStoreError &error) {
            failure = error.message();
            storeMissing = error.storeMissing();
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        } catch (...) {
            failure = QStringLiteral("unknown error");
        }
        if (!self)
            co_return;

        if (fetched) {
            if (fetched->failures.isEmpty())
                m_lastFailure.reset();
            else
                noteFailure(fetched->failures.join(QStringLiteral("; ")));
            setTodayEvents(std::move(fetched->events));
        } else if (storeMissing) {
            // No calendar store on this desktop: not an error, nothing to show.
            m_lastFailure.reset();
            setTodayEvents({});
        } else {
            noteFailure(*failure);
        }
        if (!self)
            co_return;
        syncAuthorization();
        if (!self)
            co_return;
    }
    m_fetching = false;
    const auto waiters = std::exchange(m_fetchWaiters, {});
    for (const auto &waiter : waiters)
        waiter->finish();
}

void MeetingsService::noteFailure(const QString &failure)
{
    if (m_lastFailure == failure)
        return;
    m_lastFailure = failure;
    if (m_log)
        m_log(QStringLiteral("warn"), QStringLiteral("meetings_refresh_failed error=") + failure);
}
