#include "Platform/InMemoryCalendarStore.h"

#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

namespace {
template <typename T>
void fail(QPromise<T> &promise, const CalendarStoreError &error)
{
    promise.setException(std::make_exception_ptr(error));
    promise.finish();
}
} // namespace

InMemoryCalendarStore::InMemoryCalendarStore(QObject *parent) : CalendarStore(parent) {}

InMemoryCalendarStore::~InMemoryCalendarStore()
{
    for (auto &unanswered : m_unanswered) {
        if (!unanswered.finished())
            unanswered.abandon();
    }
}

void InMemoryCalendarStore::setPresence(Presence presence, QString failure)
{
    m_presence = presence;
    m_failure = std::move(failure);
}

void InMemoryCalendarStore::setEvents(QList<CalendarEvent> events)
{
    m_events = std::move(events);
    Q_EMIT changed();
}

void InMemoryCalendarStore::withdrawAccess()
{
    m_withdrawn = true;
    m_status = CalendarAuthorization::denied;
    Q_EMIT changed();
}

void InMemoryCalendarStore::answer(std::function<void()> deliver)
{
    if (m_held) {
        m_pending.push_back(std::move(deliver));
        return;
    }
    QTimer::singleShot(0, this, std::move(deliver));
}

template <typename T>
void InMemoryCalendarStore::track(const std::shared_ptr<QPromise<T>> &promise)
{
    std::erase_if(m_unanswered, [](const Unanswered &unanswered) { return unanswered.finished(); });
    m_unanswered.push_back({[promise]() { return promise->future().isFinished(); },
                            [promise]() {
                                fail(*promise, CalendarStoreError(QStringLiteral("the calendar store went away")));
                            }});
}

void InMemoryCalendarStore::release()
{
    m_held = false;
    auto pending = std::exchange(m_pending, {});
    for (auto &deliver : pending)
        QTimer::singleShot(0, this, std::move(deliver));
}

QFuture<bool> InMemoryCalendarStore::requestFullAccessToEvents()
{
    ++m_accessRequests;
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    track(promise);
    answer([this, promise]() {
        if (m_withdrawn) {
            promise->addResult(false);
            promise->finish();
            return;
        }
        switch (m_presence) {
        case Presence::answering:
            m_status = CalendarAuthorization::fullAccess;
            promise->addResult(true);
            promise->finish();
            break;
        case Presence::missing:
            m_status = CalendarAuthorization::restricted;
            promise->addResult(false);
            promise->finish();
            break;
        case Presence::failing:
            fail(*promise, CalendarStoreError(m_failure));
            break;
        }
    });
    return promise->future();
}

QFuture<CalendarFetch> InMemoryCalendarStore::events(QDateTime from, QDateTime to, QTimeZone)
{
    ++m_fetches;
    auto promise = std::make_shared<QPromise<CalendarFetch>>();
    promise->start();
    track(promise);
    answer([this, promise, from, to]() {
        if (m_status == CalendarAuthorization::notDetermined) {
            promise->addResult(CalendarFetch{});
            promise->finish();
            return;
        }
        if (m_withdrawn) {
            fail(*promise, CalendarStoreError(QStringLiteral("access to the calendars was withdrawn")));
            return;
        }
        switch (m_presence) {
        case Presence::missing:
            m_status = CalendarAuthorization::restricted;
            fail(*promise, CalendarStoreError(QStringLiteral("no calendar store"), true));
            return;
        case Presence::failing:
            fail(*promise, CalendarStoreError(m_failure));
            return;
        case Presence::answering:
            break;
        }
        m_status = CalendarAuthorization::fullAccess;
        CalendarFetch fetch;
        for (const CalendarEvent &event : std::as_const(m_events)) {
            const bool overlaps = event.start == event.end ? (event.start >= from && event.start < to)
                                                           : (event.start < to && event.end > from);
            if (overlaps)
                fetch.events.append(event);
        }
        fetch.failures = m_failingCalendars;
        promise->addResult(std::move(fetch));
        promise->finish();
    });
    return promise->future();
}
