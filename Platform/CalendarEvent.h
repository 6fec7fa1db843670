#pragma once

#include <QColor>
#include <QDateTime>
#include <QMetaType>
#include <QString>

// One occurrence of a calendar event. A recurring event gives one value per occurrence.
struct CalendarEvent {
    // Stable for one occurrence across refreshes: the event's UID with the occurrence's start.
    QString identifier;
    // The event's summary as the user wrote it; empty when the event has none.
    QString title;
    // Instants in UTC. An all-day event runs from the start of its first day to the start of
    // the day after its last, in the time zone the events were read for.
    QDateTime start;
    // Exclusive; equal to `start` for an event without a duration.
    QDateTime end;
    // The colour of the event's calendar; invalid when the calendar has none.
    QColor color;
    bool allDay = false;

    bool operator==(const CalendarEvent &other) const = default;
};

// The order a day's events are shown in: by start, then end, then title; the identifier last,
// so that a refresh never swaps two otherwise equal events.
inline bool inTimeOrder(const CalendarEvent &a, const CalendarEvent &b)
{
    if (a.start != b.start)
        return a.start < b.start;
    if (a.end != b.end)
        return a.end < b.end;
    if (a.title != b.title)
        return a.title < b.title;
    return a.identifier < b.identifier;
}

Q_DECLARE_METATYPE(CalendarEvent)
