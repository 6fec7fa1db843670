#include "Vantle/Services/MeetingsService.h"

#include "Platform/InMemoryCalendarStore.h"
#include "support/TaskRunner.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

using TestSupport::runTask;
using TestSupport::spinFor;
using TestSupport::waitUntil;

namespace {

const QTimeZone berlin("Europe/Berlin");

QDateTime berlinTime(const QString &wallClock)
{
    QDateTime t = QDateTime::fromString(wallClock, QStringLiteral("yyyy-MM-dd HH:mm"));
    t.setTimeZone(berlin);
    return t.toUTC();
}

CalendarEvent event(const QString &title, const QString &start, const QString &end, bool allDay = false)
{
    CalendarEvent e;
    e.identifier = title + QLatin1Char('@') + start;
    e.title = title;
    e.start = berlinTime(start);
    e.end = berlinTime(end);
    e.allDay = allDay;
    e.color = QColor(QStringLiteral("#3465a4"));
    return e;
}

QStringList titles(const QList<CalendarEvent> &events)
{
    QStringList out;
    for (const CalendarEvent &e : events)
        out.append(e.title);
    return out;
}

struct LogLine {
    QString level;
    QString message;
};

class MeetingsServiceTest : public ::testing::Test {
protected:
    MeetingsServiceTest()
    {
        m_service = std::make_unique<MeetingsService>(m_store);
        m_service->setClock([this]() { return m_now; }, berlin);
        m_service->setLogSink([this](const QString &level, const QString &message) {
            m_log.push_back({level, message});
        });
    }

    QStringList logged() const
    {
        QStringList out;
        for (const LogLine &line : m_log)
            out.append(line.level + QLatin1Char(' ') + line.message);
        return out;
    }

    QDateTime m_now = berlinTime(QStringLiteral("2030-03-31 10:00"));
    std::shared_ptr<InMemoryCalendarStore> m_store = std::make_shared<InMemoryCalendarStore>();
    std::vector<LogLine> m_log;
    std::unique_ptr<MeetingsService> m_service;
};

TEST(MeetingsScheduleTest, RemainingEventsAreTheUnfinishedOnesNextFirstAllDayLast)
{
    const QList<CalendarEvent> day = {
        event(QStringLiteral("Offsite"), QStringLiteral("2030-03-31 00:00"), QStringLiteral("2030-04-01 00:00"), true),
        event(QStringLiteral("Late deploy"), QStringLiteral("2030-03-30 23:00"), QStringLiteral("2030-03-31 01:00")),
        event(QStringLiteral("Review"), QStringLiteral("2030-03-31 14:00"), QStringLiteral("2030-03-31 15:00")),
        event(QStringLiteral("Standup"), QStringLiteral("2030-03-31 09:00"), QStringLiteral("2030-03-31 09:15")),
        event(QString(), QStringLiteral("2030-03-31 11:00"), QStringLiteral("2030-03-31 12:00")),
        event(QStringLiteral("Pairing"), QStringLiteral("2030-03-31 09:00"), QStringLiteral("2030-03-31 12:00")),
        event(QStringLiteral("Deadline"), QStringLiteral("2030-03-31 17:00"), QStringLiteral("2030-03-31 17:00")),
        event(QStringLiteral("Night call"), QStringLiteral("2030-03-31 23:30"), QStringLiteral("2030-04-01 00:30")),
        event(QStringLiteral("Breakfast"), QStringLiteral("2030-03-31 09:00"), QStringLiteral("2030-03-31 09:45")),
    };
    struct Case {
        const char *now;
        QStringList expected;
    };
    const Case cases[] = {
        {"2030-03-31 00:30",
         {"Late deploy", "Standup", "Breakfast", "Pairing", "", "Review", "Deadline", "Night call", "Offsite"}},
        // Same start: the one that ends first leads; an event ending exactly now is over.
        {"2030-03-31 09:15", {"Breakfast", "Pairing", "", "Review", "Deadline", "Night call", "Offsite"}},
        {"2030-03-31 12:00", {"Review", "Deadline", "Night call", "Offsite"}},
        // A moment-long event still counts at its moment, not after it.
        {"2030-03-31 17:00", {"Deadline", "Night call", "Offsite"}},
        {"2030-03-31 17:01", {"Night call", "Offsite"}},
        {"2030-04-01 00:00", {"Night call"}},
        {"2030-04-01 00:30", {}},
    };
    for (const Case &c : cases) {
        const QStringList got = titles(MeetingsService::remainingEvents(day, berlinTime(QString::fromUtf8(c.now))));
        EXPECT_EQ(got.join(QLatin1Char('|')).toStdString(), c.expected.join(QLatin1Char('|')).toStdString()) << c.now;
    }
}

TEST(MeetingsScheduleTest, TodayIsTheLocalDayAcrossClockChanges)
{
    struct Case {
        const char *now;      // UTC
        const char *zone;
        const char *start;    // UTC
        const char *end;      // UTC
    };
    const Case cases[] = {
        {"2030-03-20T12:00:00Z", "Europe/Berlin", "2030-03-19T23:00:00Z", "2030-03-20T23:00:00Z"},
        // Spring forward: a 23-hour day; autumn: a 25-hour one.
        {"2030-03-31T12:00:00Z", "Europe/Berlin", "2030-03-30T23:00:00Z", "2030-03-31T22:00:00Z"},
        {"2030-10-27T12:00:00Z", "Europe/Berlin", "2030-10-26T22:00:00Z", "2030-10-27T23:00:00Z"},
        // Just before and at local midnight.
        {"2030-03-20T22:59:59Z", "Europe/Berlin", "2030-03-19T23:00:00Z", "2030-03-20T23:00:00Z"},
        {"2030-03-20T23:00:00Z", "Europe/Berlin", "2030-03-20T23:00:00Z", "2030-03-21T23:00:00Z"},
        // West of UTC the local day differs from the UTC one.
        {"2030-03-21T03:00:00Z", "America/New_York", "2030-03-20T04:00:00Z", "2030-03-21T04:00:00Z"},
        {"2030-03-21T03:00:00Z", "UTC", "2030-03-21T00:00:00Z", "2030-03-22T00:00:00Z"},
    };
    for (const Case &c : cases) {
        const auto [start, end] = MeetingsService::dayContaining(QDateTime::fromString(QString::fromUtf8(c.now), Qt::ISODate),
                                                                 QTimeZone(c.zone));
        EXPECT_EQ(start.toUTC().toString(Qt::ISODate), QString::fromUtf8(c.start)) << c.now << " " << c.zone;
        EXPECT_EQ(end.toUTC().toString(Qt::ISODate), QString::fromUtf8(c.end)) << c.now << " " << c.zone;
    }
}

TEST_F(MeetingsServiceTest, RequestAccessFollowsWhatTheStoreAnswers)
{
    struct Case {
        InMemoryCalendarStore::Presence presence;
        CalendarAuthorization expected;
        QStringList log;
    };
    using Presence = InMemoryCalendarStore::Presence;
    const Case cases[] = {
        {Presence::answering, CalendarAuthorization::fullAccess, {}},
        // No store on this desktop is an answer, not an error.
        {Presence::missing, CalendarAuthorization::restricted, {}},
        {Presence::failing, CalendarAuthorization::notDetermined,
         {QStringLiteral("warn calendar access request failed: The store did not answer")}},
    };
    for (const Case &c : cases) {
        auto store = std::make_shared<InMemoryCalendarStore>();
        store->setPresence(c.presence);
        store->setEvents({event(QStringLiteral("Standup"), QStringLiteral("2030-03-31 11:00"),
                                QStringLiteral("2030-03-31 11:15"))});
        MeetingsService service(store);
        service.setClock([this]() { return m_now; }, berlin);
        QStringList log;
        service.setLogSink([&log](const QString &level, const QString &message) { log.append(level + ' ' + message); });
        QSignalSpy changes(&service, &MeetingsService::authorizationChanged);

        runTask(service.requestAccessIfNeeded());
        runTask(service.refresh());

        EXPECT_EQ(service.authorization(), c.expected) << static_cast<int>(c.presence);
        EXPECT_EQ(changes.count(), c.expected == CalendarAuthorization::notDetermined ? 0 : 1);
        EXPECT_EQ(log, c.log);
        EXPECT_EQ(store->rebuilds(), 1) << "sources are rebuilt in every case";
        EXPECT_EQ(titles(service.todayEvents()),
                  c.expected == CalendarAuthorization::fullAccess ? QStringList{"Standup"} : QStringList{});
    }
}

TEST_F(MeetingsServiceTest, AskingAgainOnlyRebuildsAndNothingIsFetchedBeforeAccess)
{
    runTask(m_service->refresh());
    EXPECT_EQ(m_store->fetches(), 0);

    runTask(m_service->requestAccessIfNeeded());
    QSignalSpy changes(m_service.get(), &MeetingsService::authorizationChanged);
    runTask(m_service->requestAccessIfNeeded());

    EXPECT_EQ(m_store->accessRequests(), 1);
    EXPECT_EQ(m_store->rebuilds(), 2);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(m_service->authorization(), CalendarAuthorization::fullAccess);
}

TEST_F(MeetingsServiceTest, TodaysListFollowsTheStoreAndSignalsOnlyRealChanges)
{
    const CalendarEvent standup =
        event(QStringLiteral("Standup"), QStringLiteral("2030-03-31 11:00"), QStringLiteral("2030-03-31 11:15"));
    const CalendarEvent tomorrow =
        event(QStringLiteral("Tomorrow"), QStringLiteral("2030-04-01 09:00"), QStringLiteral("2030-04-01 10:00"));
    const CalendarEvent early =
        event(QStringLiteral("Early"), QStringLiteral("2030-03-31 08:00"), QStringLiteral("2030-03-31 08:30"));
    m_store->setEvents({standup, tomorrow});
    runTask(m_service->requestAccessIfNeeded());
    runTask(m_service->refresh());
    EXPECT_EQ(titles(m_service->todayEvents()), QStringList{"Standup"});

    QSignalSpy changes(m_service.get(), &MeetingsService::eventsChanged);
    // The store announces a change: the list follows without anyone asking.
    m_store->setEvents({standup, tomorrow, early});
    ASSERT_TRUE(waitUntil([&]() { return changes.count() == 1; }));
    EXPECT_EQ(titles(m_service->todayEvents()), (QStringList{"Early", "Standup"}));

    // A change elsewhere in the store leaves today's list, and its observers, alone.
    m_store->setEvents({standup, early});
    runTask(m_service->refresh());
    EXPECT_EQ(changes.count(), 1);

    // Past midnight the next fetch shows the new day.
    m_now = berlinTime(QStringLiteral("2030-04-01 00:00"));
    m_store->setEvents({standup, early, tomorrow});
    runTask(m_service->refresh());
    EXPECT_EQ(titles(m_service->todayEvents()), QStringList{"Tomorrow"});
}

// Once the service may no longer read the calendars, today's meetings leave the screen at
// once, whichever way the access ended.
TEST_F(MeetingsServiceTest, MeetingsGoAsSoonAsAccessEnds)
{
    const struct {
        const char *name;
        std::function<void(InMemoryCalendarStore &)> end;
        CalendarAuthorization status;
    } cases[] = {
        {"access withdrawn in the desktop's settings", [](InMemoryCalendarStore &s) { s.withdrawAccess(); },
         CalendarAuthorization::denied},
        {"the calendar store goes away",
         [](InMemoryCalendarStore &s) {
             s.setPresence(InMemoryCalendarStore::Presence::missing);
             s.setEvents({});
         },
         CalendarAuthorization::restricted},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto store = std::make_shared<InMemoryCalendarStore>();
        store->setEvents({event(QStringLiteral("Standup"), QStringLiteral("2030-03-31 11:00"),
                                QStringLiteral("2030-03-31 11:15"))});
        MeetingsService service(store);
        service.setClock([this]() { return m_now; }, berlin);
        service.setLogSink([](const QString &, const QString &) {});
        runTask(service.requestAccessIfNeeded());
        runTask(service.refresh());
        ASSERT_EQ(titles(service.todayEvents()), QStringList{"Standup"});
        QSignalSpy changes(&service, &MeetingsService::eventsChanged);

        c.end(*store);
        ASSERT_TRUE(waitUntil([&]() { return service.authorization() == c.status; }));
        EXPECT_TRUE(service.todayEvents().isEmpty());
        EXPECT_TRUE(service.remainingTodayEvents().isEmpty());
        EXPECT_EQ(changes.count(), 1) << "those showing the list hear of it";
    }
}

TEST_F(MeetingsServiceTest, FailuresKeepTheListAndAreLoggedOncePerRun)
{
    m_store->setEvents(
        {event(QStringLiteral("Standup"), QStringLiteral("2030-03-31 11:00"), QStringLiteral("2030-03-31 11:15"))});
    runTask(m_service->requestAccessIfNeeded());
    runTask(m_service->refresh());

    m_store->setPresence(InMemoryCalendarStore::Presence::failing, QStringLiteral("Timeout was reached"));
    runTask(m_service->refresh());
    runTask(m_service->refresh());
    EXPECT_EQ(titles(m_service->todayEvents()), QStringList{"Standup"});
    EXPECT_EQ(m_service->authorization(), CalendarAuthorization::fullAccess);

    m_store->setPresence(InMemoryCalendarStore::Presence::answering);
    m_store->setFailingCalendars({QStringLiteral("Work: Backend is dead")});
    runTask(m_service->refresh());
    m_store->setFailingCalendars({});
    runTask(m_service->refresh());
    m_store->setPresence(InMemoryCalendarStore::Presence::failing, QStringLiteral("Timeout was reached"));
    runTask(m_service->refresh());

    EXPECT_EQ(logged(), (QStringList{
                            QStringLiteral("warn meetings_refresh_failed error=Timeout was reached"),
                            QStringLiteral("warn meetings_refresh_failed error=Work: Backend is dead"),
                            QStringLiteral("warn meetings_refresh_failed error=Timeout was reached"),
                        }));
}

TEST_F(MeetingsServiceTest, ASlowStoreNeitherBlocksNorPilesUpFetches)
{
    runTask(m_service->requestAccessIfNeeded());
    runTask(m_service->refresh());
    const int before = m_store->fetches();

    m_store->hold();
    int finished = 0;
    auto wait = [](MeetingsService *service, int *finished) -> QCoro::Task<void> {
        co_await service->refresh();
        ++*finished;
    };
    for (int i = 0; i < 5; ++i)
        wait(m_service.get(), &finished);
    spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(m_store->fetches(), before + 1) << "one fetch in flight at a time";

    m_store->release();
    ASSERT_TRUE(waitUntil([&]() { return finished == 5; }));
    EXPECT_EQ(m_store->fetches(), before + 2) << "the waiting requests share one more fetch";

    // The service may go away while the store still has not answered.
    m_store->hold();
    auto pending = m_service->refresh();
    auto request = m_service->requestAccessIfNeeded();
    m_service.reset();
    m_store->release();
    spinFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(m_log.empty());
}

} // namespace
