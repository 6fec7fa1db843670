#pragma once

#include "Platform/CalendarAuthorization.h"
#include "Platform/CalendarEvent.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimeZone>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class CalendarStore;
template <typename T>
class QPromise;

// Today's meetings from the desktop's calendar store, and whether the application may read them.
//
// What the meetings strip reads:
//  - `authorization`: not determined until requestAccessIfNeeded() has run; full access while
//    the calendar store answers; restricted while no calendar store runs on this desktop (the
//    strip then says there is no calendar). The list below is empty unless access is full.
//  - todayEvents(): every occurrence that overlaps the local day containing now, across all
//    enabled calendars, ordered by start, then end, then title. Events that began yesterday
//    or end tomorrow keep their real start and end. Titles may be empty: the strip shows its
//    own placeholder. eventsChanged() fires whenever the list changes, and only then.
//  - remainingEvents(todayEvents(), now): what the strip lists: the events not yet over, the
//    next one first, all-day events after the timed ones. remainingTodayEvents() is the same
//    for the service's clock.
//
// The list is fetched again every 60 seconds (which also carries it over midnight), as soon
// as the store announces a change, and on refresh(); fetches never overlap, and requests that
// arrive meanwhile are served by one more fetch. A fetch that fails keeps the list as it was
// and logs one "warn" line per run of the same failure. A store that goes away empties the list and
// turns the status to restricted until it answers again, without an error.
//
// Confined to the GUI thread; nothing here waits on the calendar store.
class MeetingsService final : public QObject {
    Q_OBJECT
    Q_PROPERTY(CalendarAuthorization authorization READ authorization NOTIFY authorizationChanged)
    Q_PROPERTY(QList<CalendarEvent> todayEvents READ todayEvents NOTIFY eventsChanged)

public:
    using Clock = std::function<QDateTime()>;
    using LogSink = std::function<void(const QString &level, const QString &message)>;

    static constexpr std::chrono::seconds refreshInterval{60};

    // `store` defaults to the desktop's calendar store.
    explicit MeetingsService(std::shared_ptr<CalendarStore> store = {}, QObject *parent = nullptr);
    ~MeetingsService() override;

    CalendarAuthorization authorization() const { return m_authorization; }

    // When the status is not determined, asks the store for access to events (a failure is
    // logged as a "warn" line and changes nothing); then, in every case, takes the store's
    // current status, rebuilds the store's list of calendars and fetches today's events.
    // Never throws.
    QCoro::Task<void> requestAccessIfNeeded();

    QList<CalendarEvent> todayEvents() const { return m_todayEvents; }
    QList<CalendarEvent> remainingTodayEvents() const;

    // Fetches today's events now and finishes once a fetch that began after the call has
    // been applied. Never throws.
    QCoro::Task<void> refresh();

    // The events of `events` not over at `now` (a moment-long event at `now` still counts):
    // timed ones by start, then end, then title; then all-day ones in the same order.
    static QList<CalendarEvent> remainingEvents(const QList<CalendarEvent> &events, const QDateTime &now);
    // The local day of `zone` that contains `now`, as [start, end); 23 or 25 hours long on
    // the days the clocks change.
    static std::pair<QDateTime, QDateTime> dayContaining(const QDateTime &now, const QTimeZone &zone);

    // The clock and the time zone that decide which day is today. By default the system's,
    // read at every fetch, so the list follows the user into another time zone.
    void setClock(Clock clock, QTimeZone zone);
    // Where log lines go (the "meetings" log by default).
    void setLogSink(LogSink sink);

Q_SIGNALS:
    void authorizationChanged(CalendarAuthorization authorization);
    void eventsChanged();

private:
    void syncAuthorization();
    void setTodayEvents(QList<CalendarEvent> events);
    void scheduleFetch();
    QCoro::Task<void> runFetches();
    void noteFailure(const QString &failure);
    QTimeZone zone() const;

    std::shared_ptr<CalendarStore> m_store;
    CalendarAuthorization m_authorization = CalendarAuthorization::notDetermined;
    QList<CalendarEvent> m_todayEvents;
    Clock m_clock;
    std::optional<QTimeZone> m_zone;
    LogSink m_log;
    QTimer m_refreshTimer;
    bool m_fetching = false;
    bool m_fetchWanted = false;
    // The failure logged last; a run of the same failure is logged once.
    std::optional<QString> m_lastFailure;
    std::vector<std::shared_ptr<QPromise<void>>> m_fetchWaiters;
};
