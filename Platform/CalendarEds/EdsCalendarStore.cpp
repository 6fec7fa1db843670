#include "Platform/CalendarEds/EdsCalendarStore.h"

#include <QColor>
#include <QHash>
#include <QMetaObject>
#include <QPromise>
#include <QSet>

#include <libecal/libecal.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace {

constexpr char sourcesService[] = "org.gnome.evolution.dataserver.Sources5";
constexpr char calendarService[] = "org.gnome.evolution.dataserver.Calendar8";
// A store that is starting or busy may take this long to answer one call. Only the store's
// own thread waits; the GUI carries on and a closing store cancels the wait.
constexpr int callTimeoutMs = 25000;
// Connect without waiting for a remote calendar to come online: its cache answers meanwhile.
constexpr guint32 doNotWaitForConnected = static_cast<guint32>(-1);

struct GObjectUnref {
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <typename T>
using Owned = std::unique_ptr<T, GObjectUnref>;

template <typename T>
Owned<T> ref(T *object)
{
    return Owned<T>(static_cast<T *>(g_object_ref(object)));
}

struct ObjectListFree {
    void operator()(GSList *list) const { g_slist_free_full(list, g_object_unref); }
};
using OwnedObjectList = std::unique_ptr<GSList, ObjectListFree>;

struct ObjectGListFree {
    void operator()(GList *list) const { g_list_free_full(list, g_object_unref); }
};
using OwnedSources = std::unique_ptr<GList, ObjectGListFree>;

struct CharFree {
    void operator()(gchar *text) const { g_free(text); }
};
using OwnedText = std::unique_ptr<gchar, CharFree>;

// One GError out-parameter, freed with the slot.
class ErrorSlot final {
public:
    ErrorSlot() = default;
    ~ErrorSlot() { g_clear_error(&m_error); }
    ErrorSlot(const ErrorSlot &) = delete;
    ErrorSlot &operator=(const ErrorSlot &) = delete;

    GError **out()
    {
        g_clear_error(&m_error);
        return &m_error;
    }
    const GError *get() const { return m_error; }
    QString message() const
    {
        if (!m_error || !m_error->message)
            return QStringLiteral("unknown error");
        // GDBus prefixes remote errors with their D-Bus name; the reader wants the reason.
        gchar *stripped = g_strdup(m_error->message);
        GError copy = *m_error;
        copy.message = stripped;
        g_dbus_error_strip_remote_error(&copy);
        QString text = QString::fromUtf8(copy.message);
        g_free(copy.message);
        return text;
    }
    bool cancelled() const { return g_error_matches(m_error, G_IO_ERROR, G_IO_ERROR_CANCELLED); }

private:
    GError *m_error = nullptr;
};

// The bus has no one to answer for the name and cannot start anyone: no such store here.
bool meansNoSuchService(const GError *error)
{
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN)
        || g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER)
        || g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND)
        || g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_EXEC_FAILED);
}

QString text(const char *utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

CalendarStoreError closingError()
{
    return CalendarStoreError(QStringLiteral("the calendar store connection was closed"));
}

// The time zone the caller reads floating and all-day times in, as libical knows it.
ICalTimezone *icalZoneFor(const QTimeZone &zone)
{
    if (zone.isValid() && zone != QTimeZone::utc()) {
        if (ICalTimezone *builtin = i_cal_timezone_get_builtin_timezone(zone.id().constData()))
            return builtin;
    }
    return i_cal_timezone_get_utc_timezone();
}

// An instant from an iCalendar time: a date is the start of that day in `zone`; a time
// with its own zone (or UTC) is read in it; a floating time is read in `floatingZone`.
QDateTime instantOf(const ICalTime *time, ICalTimezone *ownZone, ICalTimezone *floatingZone, const QTimeZone &zone)
{
    if (!time || i_cal_time_is_null_time(time))
        return {};
    if (i_cal_time_is_date(time)) {
        gint year = 0, month = 0, day = 0;
        i_cal_time_get_date(time, &year, &month, &day);
        return QDate(year, month, day).startOfDay(zone).toUTC();
    }
    ICalTimezone *in = i_cal_time_is_utc(time) ? i_cal_timezone_get_utc_timezone() : ownZone;
    if (!in)
        in = i_cal_time_get_timezone(time);
    if (!in)
        in = floatingZone;
    const auto seconds = static_cast<qint64>(i_cal_time_as_timet_with_zone(time, in));
    return QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
}

QString makeTime(const QDateTime &instant)
{
    OwnedText iso(isodate_from_time_t(static_cast<time_t>(instant.toSecsSinceEpoch())));
    return text(iso.get());
}

// What one pass over a component's occurrences needs to turn them into events.
struct Expansion {
    QDateTime from;
    QDateTime to;
    QTimeZone zone;
    ICalTimezone *floatingZone = nullptr;
    QString uid;
    QColor color;
    // The length of every occurrence: whole days for an all-day event, else exact seconds
    // (an hour-long meeting across a clock change still lasts an hour).
    qint64 lengthDays = 0;
    qint64 lengthSeconds = 0;
    // Starts of the occurrences that a separately stored instance replaces.
    const QSet<qint64> *replaced = nullptr;
    QList<CalendarEvent> *out = nullptr;
};

gboolean addOccurrence(ICalComponent *component, ICalTime *instanceStart, ICalTime *, gpointer data,
                       GCancellable *cancellable, GError **)
{
    // The end is worked out here: the recurrence engine adds lengths to wall-clock times,
    // which lands in the gap of a clock change.
    auto *expansion = static_cast<Expansion *>(data);
    const bool allDay = i_cal_time_is_date(instanceStart);
    const QDateTime start = instantOf(instanceStart, nullptr, expansion->floatingZone, expansion->zone);
    if (!start.isValid())
        return !g_cancellable_is_cancelled(cancellable);
    QDateTime end = start.addSecs(expansion->lengthSeconds);
    if (allDay) {
        const QDate firstDay = start.toTimeZone(expansion->zone).date();
        end = firstDay.addDays(std::max<qint64>(expansion->lengthDays, 1)).startOfDay(expansion->zone).toUTC();
    }

    const bool overlaps = start == end ? (start >= expansion->from && start < expansion->to)
                                       : (start < expansion->to && end > expansion->from);
    if (overlaps && !(expansion->replaced && expansion->replaced->contains(start.toMSecsSinceEpoch()))) {
        CalendarEvent event;
        event.identifier = expansion->uid + QLatin1Char('@') + start.toString(Qt::ISODate);
        event.title = text(i_cal_component_get_summary(component)).trimmed();
        event.start = start;
        event.end = end;
        event.color = expansion->color;
        event.allDay = allDay;
        expansion->out->append(std::move(event));
    }
    return !g_cancellable_is_cancelled(cancellable);
}

class Worker;

} // namespace

struct EdsCalendarStore::Shared {
    Shared()
        : context(g_main_context_new())
        , loop(g_main_loop_new(context, FALSE))
        , cancellable(g_cancellable_new())
    {
    }
    ~Shared()
    {
        g_main_loop_unref(loop);
        g_main_context_unref(context);
        g_object_unref(cancellable);
    }
    Shared(const Shared &) = delete;
    Shared &operator=(const Shared &) = delete;

    // Runs `run` on the store's thread; when the thread closes first, `abandon` runs instead
    // (on whichever thread lets go of the queued work).
    void post(std::function<void()> run, std::function<void()> abandon);
    // Store thread: tells the store object, once per burst, that the store changed.
    void announceChange();
    // A "debug" line for the application's log. Any thread.
    void debug(const QString &message) const
    {
        if (log)
            log(message);
    }
    // Store thread, last: the thread is done with everything shared.
    void markFinished();
    // Whether the thread finished within `timeout`.
    bool waitFinished(std::chrono::milliseconds timeout);

    std::atomic<CalendarAuthorization> status{CalendarAuthorization::notDetermined};
    GMainContext *context;
    GMainLoop *loop;
    GCancellable *cancellable;

    // Store thread only.
    Worker *worker = nullptr;
    bool closing = false;

    // The store object, while it lives; the store thread posts its announcements to it.
    std::mutex ownerMutex;
    EdsCalendarStore *owner = nullptr;
    std::atomic<bool> changePosted{false};

    void (*log)(const QString &message) = nullptr;

    std::mutex finishedMutex;
    std::condition_variable finishedChanged;
    bool finished = false;
};

namespace {

struct Job {
    std::function<void()> run;
    std::function<void()> abandon;
    EdsCalendarStore::Shared *shared = nullptr;
};

gboolean runJob(gpointer data)
{
    auto *job = static_cast<Job *>(data);
    if (!job->shared->closing) {
        job->run();
        job->abandon = nullptr;
    }
    return G_SOURCE_REMOVE;
}

void dropJob(gpointer data)
{
    auto *job = static_cast<Job *>(data);
    if (job->abandon)
        job->abandon();
    delete job;
}

// The store's connection and calendars, living on the store's thread.
class Worker final {
public:
    explicit Worker(EdsCalendarStore::Shared &shared) : m_shared(shared) {}
    ~Worker() { dropStore(); }
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    bool requestAccess()
    {
        try {
            reachStore();
        } catch (const CalendarStoreError &error) {
            if (error.storeMissing())
                return false;
            throw;
        }
        return true;
    }

    void rebuildSources()
    {
        if (!m_registry)
            return;
        try {
            reachStore();
        } catch (const CalendarStoreError &error) {
            m_shared.debug(QStringLiteral("calendar_sources_failed error=") + error.message());
            return;
        }
        OwnedSources sources(e_source_registry_list_enabled(m_registry.get(), E_SOURCE_EXTENSION_CALENDAR));
        const bool listChanged = forgetCalendarsNotIn(sources.get());
        const QString factory = ownerOf(calendarService);
        for (GList *item = sources.get(); item; item = item->next) {
            Calendar &calendar = calendarFor(E_SOURCE(item->data), factory);
            if (calendar.client)
                continue;
            try {
                connectCalendar(calendar);
            } catch (const CalendarStoreError &error) {
                m_shared.debug(QStringLiteral("calendar_unavailable name=%1 error=%2").arg(calendar.name, error.message()));
            }
        }
        if (listChanged)
            m_shared.announceChange();
    }

    CalendarFetch events(const QDateTime &from, const QDateTime &to, const QTimeZone &zone)
    {
        CalendarFetch fetch;
        if (m_shared.status.load() == CalendarAuthorization::notDetermined)
            return fetch;
        reachStore();

        const QString window = from.toString(Qt::ISODateWithMs) + QLatin1Char('/') + to.toString(Qt::ISODateWithMs)
            + QLatin1Char('/') + QString::fromUtf8(zone.id());
        OwnedSources sources(e_source_registry_list_enabled(m_registry.get(), E_SOURCE_EXTENSION_CALENDAR));
        forgetCalendarsNotIn(sources.get());
        const QString factory = ownerOf(calendarService);
        for (GList *item = sources.get(); item; item = item->next) {
            Calendar &calendar = calendarFor(E_SOURCE(item->data), factory);
            try {
                if (!calendar.client)
                    connectCalendar(calendar);
                QList<CalendarEvent> events = readCalendar(calendar, from, to, zone);
                calendar.window = window;
                calendar.lastEvents = events;
                fetch.events.append(std::move(events));
            } catch (const CalendarStoreError &error) {
                if (g_cancellable_is_cancelled(m_shared.cancellable))
                    throw;
                // Reconnect next time; meanwhile the calendar keeps what it last gave.
                calendar.disconnect();
                fetch.failures.append(calendar.name + QStringLiteral(": ") + error.message());
                if (calendar.window == window) {
                    for (CalendarEvent event : std::as_const(calendar.lastEvents)) {
                        event.color = calendar.color;
                        fetch.events.append(std::move(event));
                    }
                }
            }
        }
        std::sort(fetch.events.begin(), fetch.events.end(), inTimeOrder);
        return fetch;
    }

private:
    struct Calendar {
        Owned<ESource> source;
        QString name;
        QColor color;
        Owned<ECalClient> client;
        Owned<ECalClientView> view;
        // The calendar factory the client was made by; another one means a restart.
        QString factoryOwner;
        bool backendDied = false;
        // What the last good read gave, and for which window.
        QString window;
        QList<CalendarEvent> lastEvents;

        void disconnect()
        {
            if (view) {
                g_signal_handlers_disconnect_matched(view.get(), G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, this);
                ErrorSlot ignored;
                e_cal_client_view_stop(view.get(), ignored.out());
                view.reset();
            }
            if (client) {
                g_signal_handlers_disconnect_matched(client.get(), G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, this);
                client.reset();
            }
            factoryOwner.clear();
            backendDied = false;
        }
        ~Calendar() { disconnect(); }
        Calendar() = default;
        Calendar(const Calendar &) = delete;
        Calendar &operator=(const Calendar &) = delete;

        // Signal handlers carry the calendar itself: its address is stable in the map below.
        EdsCalendarStore::Shared *shared = nullptr;
    };

    static void onSourceEvent(ESourceRegistry *, ESource *source, gpointer data)
    {
        if (e_source_has_extension(source, E_SOURCE_EXTENSION_CALENDAR))
            static_cast<EdsCalendarStore::Shared *>(data)->announceChange();
    }
    static void onObjectsChanged(ECalClientView *, GSList *, gpointer data)
    {
        static_cast<Calendar *>(data)->shared->announceChange();
    }
    static void onBackendDied(EClient *, gpointer data)
    {
        auto *calendar = static_cast<Calendar *>(data);
        calendar->backendDied = true;
        calendar->shared->announceChange();
    }

    // Makes sure a registry answers and our connection to it is current. Throws; a missing
    // store sets the status to restricted, an answering one to full access.
    void reachStore()
    {
        GCancellable *cancellable = m_shared.cancellable;
        if (!m_bus) {
            ErrorSlot error;
            m_bus.reset(g_bus_get_sync(G_BUS_TYPE_SESSION, cancellable, error.out()));
            if (!m_bus) {
                if (error.cancelled())
                    throw closingError();
                markMissing();
                throw CalendarStoreError(QStringLiteral("no session bus: ") + error.message(), true);
            }
        }

        ErrorSlot error;
        GVariant *pong = g_dbus_connection_call_sync(m_bus.get(), sourcesService, "/", "org.freedesktop.DBus.Peer",
                                                     "Ping", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, callTimeoutMs,
                                                     cancellable, error.out());
        if (!pong) {
            if (error.cancelled())
                throw closingError();
            if (meansNoSuchService(error.get())) {
                markMissing();
                throw CalendarStoreError(error.message(), true);
            }
            throw CalendarStoreError(error.message());
        }
        g_variant_unref(pong);

        const QString owner = ownerOf(sourcesService);
        if (!m_registry || owner != m_registryOwner) {
            dropStore();
            ErrorSlot registryError;
            m_registry.reset(e_source_registry_new_sync(cancellable, registryError.out()));
            if (!m_registry) {
                if (registryError.cancelled())
                    throw closingError();
                throw CalendarStoreError(registryError.message());
            }
            for (const char *signal : {"source-added", "source-removed", "source-changed", "source-enabled",
                                       "source-disabled"})
                g_signal_connect(m_registry.get(), signal, G_CALLBACK(onSourceEvent), &m_shared);
            m_registryOwner = owner;
        }
        m_shared.status.store(CalendarAuthorization::fullAccess);
    }

    void markMissing()
    {
        dropStore();
        m_shared.status.store(CalendarAuthorization::restricted);
    }

    // The unique name now owning `service`, empty when nobody does. Never starts it.
    QString ownerOf(const char *service)
    {
        if (!m_bus)
            return {};
        ErrorSlot error;
        GVariant *reply = g_dbus_connection_call_sync(
            m_bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
            g_variant_new("(s)", service), G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, callTimeoutMs,
            m_shared.cancellable, error.out());
        if (!reply) {
            if (error.cancelled())
                throw closingError();
            return {};
        }
        const gchar *name = nullptr;
        g_variant_get(reply, "(&s)", &name);
        QString owner = text(name);
        g_variant_unref(reply);
        return owner;
    }

    void dropStore()
    {
        m_calendars.clear();
        if (m_registry) {
            g_signal_handlers_disconnect_matched(m_registry.get(), G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                                 &m_shared);
            m_registry.reset();
        }
        m_registryOwner.clear();
    }

    // Forgets calendars that are no longer enabled; true when any was forgotten or is new.
    bool forgetCalendarsNotIn(GList *sources)
    {
        QSet<QString> listed;
        for (GList *item = sources; item; item = item->next)
            listed.insert(text(e_source_get_uid(E_SOURCE(item->data))));
        bool changed = false;
        for (auto it = m_calendars.begin(); it != m_calendars.end();) {
            if (!listed.contains(it->first)) {
                it = m_calendars.erase(it);
                changed = true;
            } else {
                ++it;
            }
        }
        for (const QString &uid : listed)
            changed = changed || m_calendars.find(uid) == m_calendars.end();
        return changed;
    }

    // The calendar of `source`, with its name and colour as the source now has them. A
    // client from a factory that has since restarted, or whose backend died, is dropped.
    Calendar &calendarFor(ESource *source, const QString &factoryOwner)
    {
        Calendar &calendar = m_calendars[text(e_source_get_uid(source))];
        calendar.shared = &m_shared;
        if (calendar.source.get() != source)
            calendar.source = ref(source);
        calendar.name = text(e_source_get_display_name(source));
        auto *selectable =
            static_cast<ESourceSelectable *>(e_source_get_extension(source, E_SOURCE_EXTENSION_CALENDAR));
        OwnedText color(e_source_selectable_dup_color(selectable));
        calendar.color = color ? QColor(text(color.get())) : QColor();
        if (calendar.client && (calendar.backendDied || calendar.factoryOwner != factoryOwner))
            calendar.disconnect();
        return calendar;
    }

    void connectCalendar(Calendar &calendar)
    {
        GCancellable *cancellable = m_shared.cancellable;
        ErrorSlot error;
        EClient *client = e_cal_client_connect_sync(calendar.source.get(), E_CAL_CLIENT_SOURCE_TYPE_EVENTS,
                                                    doNotWaitForConnected, cancellable, error.out());
        if (!client) {
            if (error.cancelled())
                throw closingError();
            throw CalendarStoreError(error.message());
        }
        calendar.client.reset(E_CAL_CLIENT(client));
        calendar.factoryOwner = ownerOf(calendarService);
        g_signal_connect(client, "backend-died", G_CALLBACK(onBackendDied), &calendar);

        // A live view over the whole calendar tells of every change; it sends no initial
        // objects, so a large calendar costs nothing until something changes.
        ECalClientView *view = nullptr;
        ErrorSlot viewError;
        if (!e_cal_client_get_view_sync(calendar.client.get(), "#t", &view, cancellable, viewError.out())) {
            if (viewError.cancelled())
                throw closingError();
            m_shared.debug(QStringLiteral("calendar_changes_unavailable name=%1 error=%2")
                               .arg(calendar.name, viewError.message()));
            return;
        }
        calendar.view.reset(view);
        e_cal_client_view_set_flags(view, E_CAL_CLIENT_VIEW_FLAGS_NONE, viewError.out());
        for (const char *signal : {"objects-added", "objects-modified", "objects-removed"})
            g_signal_connect(view, signal, G_CALLBACK(onObjectsChanged), &calendar);
        e_cal_client_view_start(view, viewError.out());
        if (viewError.get())
            m_shared.debug(QStringLiteral("calendar_changes_not_started name=%1 error=%2")
                               .arg(calendar.name, viewError.message()));
    }

    QList<CalendarEvent> readCalendar(Calendar &calendar, const QDateTime &from, const QDateTime &to,
                                      const QTimeZone &zone)
    {
        GCancellable *cancellable = m_shared.cancellable;
        ECalClient *client = calendar.client.get();
        ICalTimezone *floatingZone = icalZoneFor(zone);
        e_cal_client_set_default_timezone(client, floatingZone);

        // The third argument names the zone floating and all-day times are read in.
        const QString location = floatingZone == i_cal_timezone_get_utc_timezone() ? QStringLiteral("UTC")
                                                                                   : QString::fromUtf8(zone.id());
        const QString query = QStringLiteral("(occur-in-time-range? (make-time \"%1\") (make-time \"%2\") \"%3\")")
                                  .arg(makeTime(from), makeTime(to), location);
        GSList *found = nullptr;
        ErrorSlot error;
        if (!e_cal_client_get_object_list_as_comps_sync(client, query.toUtf8().constData(), &found, cancellable,
                                                        error.out())) {
            if (error.cancelled())
                throw closingError();
            throw CalendarStoreError(error.message());
        }
        OwnedObjectList components(found);

        Owned<ICalTime> rangeStart(i_cal_time_new_from_timet_with_zone(static_cast<time_t>(from.toSecsSinceEpoch()),
                                                                        0, i_cal_timezone_get_utc_timezone()));
        Owned<ICalTime> rangeEnd(i_cal_time_new_from_timet_with_zone(static_cast<time_t>(to.toSecsSinceEpoch()), 0,
                                                                      i_cal_timezone_get_utc_timezone()));
        QList<CalendarEvent> events;
        QHash<QString, QSet<qint64>> replacedByUid;
        for (GSList *item = components.get(); item; item = item->next) {
            ICalComponent *component = e_cal_component_get_icalcomponent(E_CAL_COMPONENT(item->data));
            if (i_cal_component_get_status(component) == I_CAL_STATUS_CANCELLED)
                continue;
            Expansion expansion;
            expansion.from = from;
            expansion.to = to;
            expansion.zone = zone;
            expansion.floatingZone = floatingZone;
            expansion.uid = text(i_cal_component_get_uid(component));
            expansion.color = calendar.color;
            expansion.out = &events;
            measure(E_CAL_COMPONENT(item->data), client, floatingZone, expansion);
            if (e_cal_util_component_has_recurrences(component) && !e_cal_util_component_is_instance(component)) {
                auto replaced = replacedByUid.find(expansion.uid);
                if (replaced == replacedByUid.end())
                    replaced = replacedByUid.insert(expansion.uid,
                                                    replacedOccurrences(client, expansion.uid, floatingZone, zone));
                expansion.replaced = &replaced.value();
            }
            ErrorSlot expandError;
            if (!e_cal_recur_generate_instances_sync(component, rangeStart.get(), rangeEnd.get(), addOccurrence,
                                                     &expansion, e_cal_client_tzlookup_cb, client, floatingZone,
                                                     cancellable, expandError.out())) {
                if (expandError.cancelled() || g_cancellable_is_cancelled(cancellable))
                    throw closingError();
                // One malformed event must not hide the rest of the calendar.
                m_shared.debug(QStringLiteral("calendar_event_skipped name=%1 error=%2")
                                   .arg(calendar.name, expandError.message()));
            }
        }
        return events;
    }

    // The instant of a DTSTART, DTEND or RECURRENCE-ID value, its TZID looked up in the calendar.
    QDateTime instantOf(ECalComponentDateTime *moment, ECalClient *client, ICalTimezone *floatingZone,
                        const QTimeZone &zone)
    {
        if (!moment)
            return {};
        ICalTimezone *own = nullptr;
        if (const gchar *tzid = e_cal_component_datetime_get_tzid(moment)) {
            ErrorSlot ignored;
            own = e_cal_client_tzlookup_cb(tzid, client, m_shared.cancellable, ignored.out());
        }
        return ::instantOf(e_cal_component_datetime_get_value(moment), own, floatingZone, zone);
    }

    // How long each occurrence of `component` lasts: DTEND less DTSTART, else its DURATION,
    // else nothing (a moment, or one day when all-day).
    void measure(ECalComponent *component, ECalClient *client, ICalTimezone *floatingZone, Expansion &expansion)
    {
        expansion.lengthDays = 0;
        expansion.lengthSeconds = 0;
        ECalComponentDateTime *start = e_cal_component_get_dtstart(component);
        ECalComponentDateTime *end = e_cal_component_get_dtend(component);
        const ICalTime *startValue = start ? e_cal_component_datetime_get_value(start) : nullptr;
        const ICalTime *endValue = end ? e_cal_component_datetime_get_value(end) : nullptr;
        if (startValue && endValue && i_cal_time_is_date(startValue) && i_cal_time_is_date(endValue)) {
            gint year = 0, month = 0, day = 0;
            i_cal_time_get_date(startValue, &year, &month, &day);
            const QDate first(year, month, day);
            i_cal_time_get_date(endValue, &year, &month, &day);
            expansion.lengthDays = first.daysTo(QDate(year, month, day));
        } else if (startValue && endValue) {
            const QDateTime from = instantOf(start, client, floatingZone, expansion.zone);
            const QDateTime to = instantOf(end, client, floatingZone, expansion.zone);
            if (from.isValid() && to.isValid())
                expansion.lengthSeconds = std::max<qint64>(from.secsTo(to), 0);
        } else if (startValue) {
            Owned<ICalDuration> duration(i_cal_component_get_duration(e_cal_component_get_icalcomponent(component)));
            const qint64 seconds = duration ? std::max<qint64>(i_cal_duration_as_int(duration.get()), 0) : 0;
            if (i_cal_time_is_date(startValue))
                expansion.lengthDays = seconds / 86400;
            else
                expansion.lengthSeconds = seconds;
        }
        if (start)
            e_cal_component_datetime_free(start);
        if (end)
            e_cal_component_datetime_free(end);
    }

    // The original starts of the occurrences of a recurring event that are stored as
    // instances of their own (moved or edited ones): the series must not show them again.
    QSet<qint64> replacedOccurrences(ECalClient *client, const QString &uid, ICalTimezone *floatingZone,
                                     const QTimeZone &zone)
    {
        QSet<qint64> replaced;
        GSList *found = nullptr;
        ErrorSlot error;
        if (!e_cal_client_get_objects_for_uid_sync(client, uid.toUtf8().constData(), &found, m_shared.cancellable,
                                                   error.out())) {
            if (error.cancelled())
                throw closingError();
            return replaced;
        }
        OwnedObjectList instances(found);
        for (GSList *item = instances.get(); item; item = item->next) {
            auto *component = E_CAL_COMPONENT(item->data);
            if (!e_cal_util_component_is_instance(e_cal_component_get_icalcomponent(component)))
                continue;
            ECalComponentRange *range = e_cal_component_get_recurid(component);
            if (!range)
                continue;
            const QDateTime start =
                instantOf(e_cal_component_range_get_datetime(range), client, floatingZone, zone);
            if (start.isValid())
                replaced.insert(start.toMSecsSinceEpoch());
            e_cal_component_range_free(range);
        }
        return replaced;
    }

    EdsCalendarStore::Shared &m_shared;
    Owned<GDBusConnection> m_bus;
    Owned<ESourceRegistry> m_registry;
    QString m_registryOwner;
    std::map<QString, Calendar> m_calendars;
};

void runStoreThread(std::shared_ptr<EdsCalendarStore::Shared> shared)
{
    g_main_context_push_thread_default(shared->context);
    {
        Worker worker(*shared);
        shared->worker = &worker;
        g_main_loop_run(shared->loop);
        // Closing: work still queued gives its callers an error instead of running.
        shared->closing = true;
        while (g_main_context_iteration(shared->context, FALSE)) {
        }
        shared->worker = nullptr;
    }
    // Releasing the store's objects may queue last callbacks on our context.
    while (g_main_context_iteration(shared->context, FALSE)) {
    }
    g_main_context_pop_thread_default(shared->context);
    shared->markFinished();
}

template <typename T, typename Work>
QFuture<T> submit(const std::shared_ptr<EdsCalendarStore::Shared> &shared, Work work)
{
    auto promise = std::make_shared<QPromise<T>>();
    promise->start();
    QFuture<T> future = promise->future();
    EdsCalendarStore::Shared *raw = shared.get();
    shared->post(
        [promise, raw, work = std::move(work)]() {
            try {
                promise->addResult(work(*raw->worker));
            } catch (...) {
                promise->setException(std::current_exception());
            }
            promise->finish();
        },
        [promise]() {
            promise->setException(std::make_exception_ptr(closingError()));
            promise->finish();
        });
    return future;
}

} // namespace

void EdsCalendarStore::Shared::post(std::function<void()> run, std::function<void()> abandon)
{
    auto *job = new Job{std::move(run), std::move(abandon), this};
    g_main_context_invoke_full(context, G_PRIORITY_DEFAULT, runJob, job, dropJob);
}

void EdsCalendarStore::Shared::markFinished()
{
    {
        std::lock_guard lock(finishedMutex);
        finished = true;
    }
    finishedChanged.notify_all();
}

bool EdsCalendarStore::Shared::waitFinished(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(finishedMutex);
    return finishedChanged.wait_for(lock, timeout, [this] { return finished; });
}

void EdsCalendarStore::Shared::announceChange()
{
    if (changePosted.exchange(true))
        return;
    std::lock_guard lock(ownerMutex);
    if (!owner) {
        changePosted.store(false);
        return;
    }
    EdsCalendarStore *store = owner;
    QMetaObject::invokeMethod(
        store,
        [store]() {
            store->m_shared->changePosted.store(false);
            Q_EMIT store->changed();
        },
        Qt::QueuedConnection);
}

EdsCalendarStore::EdsCalendarStore(void (*log)(const QString &message), QObject *parent)
    : CalendarStore(parent)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
    m_shared->log = log;
    m_thread = std::thread(runStoreThread, m_shared);
}

EdsCalendarStore::~EdsCalendarStore()
{
    {
        std::lock_guard lock(m_shared->ownerMutex);
        m_shared->owner = nullptr;
    }
    g_cancellable_cancel(m_shared->cancellable);
    GMainLoop *loop = m_shared->loop;
    m_shared->post([loop]() { g_main_loop_quit(loop); }, {});
    // Cancelled, every call of the thread returns at once and what is queued is given its
    // error: the thread ends with the store, not at some point after the application
    // quit. One stuck where cancelling does not reach is left to finish on its own; it
    // keeps what it shares alive.
    if (m_shared->waitFinished(closeTimeout))
        m_thread.join();
    else
        m_thread.detach();
}

CalendarAuthorization EdsCalendarStore::authorizationStatus() const
{
    return m_shared->status.load();
}

QFuture<bool> EdsCalendarStore::requestFullAccessToEvents()
{
    return submit<bool>(m_shared, [](Worker &worker) { return worker.requestAccess(); });
}

void EdsCalendarStore::rebuildSources()
{
    Shared *raw = m_shared.get();
    m_shared->post(
        [raw]() {
            // Nothing may unwind into GLib's dispatch.
            try {
                raw->worker->rebuildSources();
            } catch (const std::exception &error) {
                raw->debug(QStringLiteral("calendar_sources_failed error=") + QString::fromUtf8(error.what()));
            } catch (...) {
            }
        },
        {});
}

QFuture<CalendarFetch> EdsCalendarStore::events(QDateTime from, QDateTime to, QTimeZone zone)
{
    return submit<CalendarFetch>(m_shared, [from = std::move(from), to = std::move(to), zone = std::move(zone)](
                                               Worker &worker) { return worker.events(from, to, zone); });
}
