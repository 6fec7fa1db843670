#pragma once

#include "Platform/CalendarStore.h"

#include <QPromise>

#include <functional>
#include <memory>
#include <vector>

// A calendar store held in memory, for tests and for screens rendered without a desktop.
// Answers come on the next turn of the event loop, or when released while held (a slow
// store). Confined to the GUI thread.
class InMemoryCalendarStore final : public CalendarStore {
    Q_OBJECT
public:
    // What a request meets: a store that answers, none at all, or one that fails.
    enum class Presence { answering, missing, failing };

    explicit InMemoryCalendarStore(QObject *parent = nullptr);
    ~InMemoryCalendarStore() override;

    CalendarAuthorization authorizationStatus() const override { return m_status; }
    QFuture<bool> requestFullAccessToEvents() override;
    void rebuildSources() override { ++m_rebuilds; }
    QFuture<CalendarFetch> events(QDateTime from, QDateTime to, QTimeZone zone) override;

    // `failure` is the reason a failing store gives.
    void setPresence(Presence presence, QString failure = QStringLiteral("The store did not answer"));
    // Replaces the store's events (any day) and announces the change.
    void setEvents(QList<CalendarEvent> events);
    // Calendars that fail while the store answers; their events are left out.
    void setFailingCalendars(QStringList failures) { m_failingCalendars = std::move(failures); }
    // The person took access away in the desktop's settings: the status reads denied, every
    // fetch fails and access is not granted again; the change is announced.
    void withdrawAccess();

    // While held, answers wait; releasing delivers them in order.
    void hold() { m_held = true; }
    void release();
    int pendingAnswers() const { return static_cast<int>(m_pending.size()); }

    int accessRequests() const { return m_accessRequests; }
    int fetches() const { return m_fetches; }
    int rebuilds() const { return m_rebuilds; }

private:
    void answer(std::function<void()> deliver);
    template <typename T>
    void track(const std::shared_ptr<QPromise<T>> &promise);

    CalendarAuthorization m_status = CalendarAuthorization::notDetermined;
    Presence m_presence = Presence::answering;
    QString m_failure;
    QList<CalendarEvent> m_events;
    QStringList m_failingCalendars;
    bool m_held = false;
    bool m_withdrawn = false;
    std::vector<std::function<void()>> m_pending;
    // Answers not yet given; each is failed when the store goes away first.
    struct Unanswered {
        std::function<bool()> finished;
        std::function<void()> abandon;
    };
    std::vector<Unanswered> m_unanswered;
    int m_accessRequests = 0;
    int m_fetches = 0;
    int m_rebuilds = 0;
};
