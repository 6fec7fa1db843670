#pragma once

#include "Platform/CalendarStore.h"

#include <chrono>
#include <memory>
#include <thread>

// The calendar store of a Linux desktop: Evolution Data Server on the session bus.
//
// Every call to the store runs on a thread of its own with its own GLib main context, so a
// store that is slow, hangs or vanishes holds up only that thread. Requests run one after
// another in the order they were made. Destroying the object cancels what is in flight,
// fails what is queued and waits for the thread to end (at most closeTimeout).
//
// Access is granted as soon as the source registry answers on the bus; a bus on which no
// registry runs or can be started means no calendar store, and the status is restricted.
// The store is reached again on every request, so a registry or calendar factory that
// restarts is picked up, and one that goes away turns the status to restricted until it
// answers again.
//
// Change announcements come from the registry (calendars added, removed, enabled, disabled,
// changed) and from a live view on each calendar (events added, modified, removed); a
// calendar backend that dies is announced too and reconnected on the next fetch.
class EdsCalendarStore final : public CalendarStore {
    Q_OBJECT
public:
    // How long destroying the store waits for its thread.
    static constexpr std::chrono::milliseconds closeTimeout{2000};

    // `log`, when given, takes the store's "debug" lines; any thread calls it.
    explicit EdsCalendarStore(void (*log)(const QString &message) = nullptr, QObject *parent = nullptr);
    ~EdsCalendarStore() override;
    EdsCalendarStore(const EdsCalendarStore &) = delete;
    EdsCalendarStore &operator=(const EdsCalendarStore &) = delete;

    CalendarAuthorization authorizationStatus() const override;
    QFuture<bool> requestFullAccessToEvents() override;
    void rebuildSources() override;
    QFuture<CalendarFetch> events(QDateTime from, QDateTime to, QTimeZone zone) override;

    // State shared with the store's thread; defined where the thread is.
    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
