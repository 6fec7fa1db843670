#pragma once

#include "Platform/CalendarAuthorization.h"
#include "Platform/CalendarEvent.h"

#include <QDateTime>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <memory>
#include <stdexcept>

// A failure to read the calendar store. `storeMissing` tells that no calendar store runs on
// this desktop (not an error the user can act on); anything else is a real failure.
class CalendarStoreError final : public std::runtime_error {
public:
    explicit CalendarStoreError(const QString &message, bool storeMissing = false);

    QString message() const { return QString::fromUtf8(what()); }
    bool storeMissing() const { return m_storeMissing; }

private:
    bool m_storeMissing;
};

// The occurrences of one time window across every enabled calendar.
struct CalendarFetch {
    // Ordered by start, then end, then title.
    QList<CalendarEvent> events;
    // One line per calendar that could not be read this time ("name: reason"). Such a calendar
    // contributes what it gave for the same window before, or nothing.
    QStringList failures;
};

// The desktop's calendar store, seen from the application: access, the enabled calendars and
// their events, and a signal when the store's content changes.
//
// Methods are called on the GUI thread and never block it: work happens elsewhere and the
// futures finish on any thread, always with a value or an exception (CalendarStoreError),
// also when the store object goes away first. Await them with QCoro or a QFutureWatcher.
class CalendarStore : public QObject {
    Q_OBJECT
public:
    ~CalendarStore() override;

    // The status as of the store's last answer: not determined until access was requested,
    // full access while the store answers, restricted when no calendar store runs. Any thread.
    virtual CalendarAuthorization authorizationStatus() const = 0;

    // Asks the store for access to events. The value tells whether access is granted; an
    // exception means the request itself failed and the status did not change.
    virtual QFuture<bool> requestFullAccessToEvents() = 0;

    // Lists the enabled calendars again, dropping connections to calendars that went away.
    // Does nothing before access was requested.
    virtual void rebuildSources() = 0;

    // Occurrences overlapping [from, to) in every enabled calendar. Floating and all-day
    // times are read in `zone`. Before access was requested the fetch is empty. When the
    // store cannot be reached at all the future holds a CalendarStoreError and the status
    // follows (restricted when the store is missing).
    virtual QFuture<CalendarFetch> events(QDateTime from, QDateTime to, QTimeZone zone) = 0;

    // The calendar store of this desktop (Evolution Data Server on the session bus, from a
    // module loaded when access is first requested). Each call makes a new connection; the
    // application makes one.
    static std::shared_ptr<CalendarStore> system();

Q_SIGNALS:
    // The store announced a change: events added, changed or removed, or calendars added,
    // removed, enabled, disabled or recoloured. Bursts arrive as one signal or a few.
    void changed();

protected:
    explicit CalendarStore(QObject *parent = nullptr);
};
