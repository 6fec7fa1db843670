#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <sys/types.h>

// Evolution Data Server for tests, on a session bus private to the test program, so a run
// never touches the calendars of the desktop it runs on, and nothing on that bus is started
// behind the test's back: the store runs exactly while the test runs it.
namespace EdsSandbox {

// What this machine lacks to run the store (empty when nothing is missing).
QString missingPrograms();

// Starts the private bus once and points this process's GLib at it. Must run before anything
// in the process uses the session bus. Empty on success, else the reason.
QString startBus();
void stopBus();
QString busAddress();

} // namespace EdsSandbox

// The source registry and the calendar factory, with configuration and data folders of their
// own (kept across stop() and start(), so a restarted store has the same calendars).
class EdsDaemons final {
public:
    EdsDaemons();
    ~EdsDaemons();
    EdsDaemons(const EdsDaemons &) = delete;
    EdsDaemons &operator=(const EdsDaemons &) = delete;

    // Adds a local calendar before the store starts: `uid` names it for CalendarWriter.
    void addLocalCalendar(const QString &uid, const QString &name, const QString &color);

    // Starts both and waits until both answer. Empty on success, else the reason.
    QString start();
    // Ends both (and the calendar backends they started): the store vanishes.
    void stop();
    // Freezes and thaws the registry: a store that does not answer.
    void freezeRegistry();
    void thawRegistry();

private:
    struct Process;
    QTemporaryDir m_root;
    std::unique_ptr<Process> m_registry;
    std::unique_ptr<Process> m_factory;
};

// Writes events into a calendar of the running sandbox, the way a calendar application does.
class CalendarWriter final {
public:
    explicit CalendarWriter(const QString &sourceUid);
    ~CalendarWriter();
    CalendarWriter(const CalendarWriter &) = delete;
    CalendarWriter &operator=(const CalendarWriter &) = delete;

    // The TZID under which the calendar knows the zone `location` ("Europe/Berlin").
    QString tzid(const QString &location);
    // Adds VEVENT texts in one go; throws std::runtime_error on failure.
    void add(const QStringList &vevents);
    // Stores a changed single occurrence (a VEVENT with RECURRENCE-ID) of a series.
    void changeOccurrence(const QString &vevent);
    void remove(const QString &uid);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
