#include "EdsSandbox.h"

#include "Platform/CalendarStore.h"
#include "Vantle/Services/MeetingsService.h"
#include "support/TaskRunner.h"

#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using TestSupport::runTask;
using TestSupport::spinFor;
using TestSupport::waitUntil;

namespace {

class SandboxBus final : public ::testing::Environment {
public:
    void TearDown() override { EdsSandbox::stopBus(); }
};
[[maybe_unused]] ::testing::Environment *const sandboxBus = ::testing::AddGlobalTestEnvironment(new SandboxBus);

const QTimeZone berlin("Europe/Berlin");
const QString work = QStringLiteral("vantle-test-work");
const QString home = QStringLiteral("vantle-test-home");
const QColor workColor(QStringLiteral("#3465a4"));
const QColor homeColor(QStringLiteral("#e66100"));

QString vevent(const QString &uid, const QStringList &lines)
{
    return QStringLiteral("BEGIN:VEVENT\r\nUID:%1\r\nDTSTAMP:20300301T000000Z\r\n%2\r\nEND:VEVENT\r\n")
        .arg(uid, lines.join(QStringLiteral("\r\n")));
}

struct Expected {
    const char *title;
    const char *start;
    const char *end;
    bool allDay;
    QColor color;
};

QString describe(const CalendarEvent &e)
{
    return QStringLiteral("%1 %2..%3%4 %5")
        .arg(e.title, e.start.toUTC().toString(Qt::ISODate), e.end.toUTC().toString(Qt::ISODate),
             e.allDay ? QStringLiteral(" all-day") : QString(), e.color.name());
}

QString describe(const Expected &e)
{
    return QStringLiteral("%1 %2..%3%4 %5")
        .arg(QString::fromUtf8(e.title), QString::fromUtf8(e.start), QString::fromUtf8(e.end),
             e.allDay ? QStringLiteral(" all-day") : QString(), e.color.name());
}

QStringList describeAll(const QList<CalendarEvent> &events)
{
    QStringList out;
    for (const CalendarEvent &e : events)
        out.append(describe(e));
    return out;
}

class EdsMeetingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString missing = EdsSandbox::missingPrograms();
        if (!missing.isEmpty()) {
            if (qgetenv("CI") == "true")
                FAIL() << "the calendar store is required in CI; missing: " << missing.toStdString();
            GTEST_SKIP() << "no calendar store on this machine: " << missing.toStdString();
        }
        const QString bus = EdsSandbox::startBus();
        ASSERT_TRUE(bus.isEmpty()) << bus.toStdString();
        m_daemons.addLocalCalendar(work, QStringLiteral("Work"), workColor.name());
        m_daemons.addLocalCalendar(home, QStringLiteral("Home"), homeColor.name());
    }

    void startStore()
    {
        const QString failure = m_daemons.start();
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    }

    // One day on which the clocks go forward, with events on it and around it.
    void writeFixtureDay()
    {
        CalendarWriter work(::work);
        const QString cet = work.tzid(QStringLiteral("Europe/Berlin"));
        const QString ny = work.tzid(QStringLiteral("America/New_York"));
        auto local = [&](const char *property, const char *wallClock) {
            return QStringLiteral("%1;TZID=%2:%3").arg(QString::fromUtf8(property), cet, QString::fromUtf8(wallClock));
        };
        work.add({
            vevent("standup", {"SUMMARY:Standup", local("DTSTART", "20300331T090000"), local("DTEND", "20300331T091500")}),
            vevent("untitled", {local("DTSTART", "20300331T130000"), local("DTEND", "20300331T140000")}),
            vevent("tomorrow", {"SUMMARY:Tomorrow", local("DTSTART", "20300401T090000"), local("DTEND", "20300401T100000")}),
            vevent("yesterday", {"SUMMARY:Yesterday", local("DTSTART", "20300330T100000"), local("DTEND", "20300330T110000")}),
            vevent("offsite", {"SUMMARY:Offsite", "DTSTART;VALUE=DATE:20300331", "DTEND;VALUE=DATE:20300401"}),
            vevent("holiday", {"SUMMARY:Holiday", "DTSTART;VALUE=DATE:20300330", "DTEND;VALUE=DATE:20300331"}),
            vevent("late", {"SUMMARY:Late deploy", local("DTSTART", "20300330T230000"), local("DTEND", "20300331T010000")}),
            vevent("ended", {"SUMMARY:Ended at midnight", local("DTSTART", "20300330T220000"), local("DTEND", "20300331T000000")}),
            vevent("night", {"SUMMARY:Night call", local("DTSTART", "20300331T233000"), local("DTEND", "20300401T003000")}),
            vevent("clocks", {"SUMMARY:Clock change", local("DTSTART", "20300331T013000"), local("DTEND", "20300331T033000")}),
            vevent("ny", {"SUMMARY:New York sync", "DTSTART;TZID=" + ny + ":20300331T080000", "DTEND;TZID=" + ny + ":20300331T090000"}),
            vevent("cancelled", {"SUMMARY:Cancelled", "STATUS:CANCELLED", local("DTSTART", "20300331T110000"), local("DTEND", "20300331T120000")}),
            vevent("daily", {"SUMMARY:Daily", local("DTSTART", "20300325T120000"), local("DTEND", "20300325T123000"), "RRULE:FREQ=DAILY;COUNT=10"}),
        });
        // Today's occurrence of the series was moved to the afternoon.
        work.changeOccurrence(vevent("daily", {"SUMMARY:Daily", local("RECURRENCE-ID", "20300331T120000"),
                                               local("DTSTART", "20300331T160000"), local("DTEND", "20300331T163000")}));

        CalendarWriter home(::home);
        home.add({
            vevent("floating", {"SUMMARY:Floating", "DTSTART:20300331T180000", "DTEND:20300331T190000"}),
            vevent("errand", {"SUMMARY:Errand", "DTSTART:20300331T170000Z", "DTEND:20300331T173000Z"}),
        });
    }

    std::unique_ptr<MeetingsService> makeService()
    {
        auto service = std::make_unique<MeetingsService>(CalendarStore::system());
        service->setClock([this]() { return m_now; }, berlin);
        service->setLogSink([this](const QString &level, const QString &message) {
            m_log.append(level + QLatin1Char(' ') + message);
        });
        return service;
    }

    QDateTime m_now = QDateTime(QDate(2030, 3, 31), QTime(10, 0), berlin);
    QStringList m_log;
    EdsDaemons m_daemons;
};

TEST_F(EdsMeetingsTest, NoStoreMeansRestrictedAnEmptyListAndNoError)
{
    auto service = makeService();
    QSignalSpy statuses(service.get(), &MeetingsService::authorizationChanged);

    runTask(service->requestAccessIfNeeded());
    runTask(service->refresh());

    EXPECT_EQ(service->authorization(), CalendarAuthorization::restricted);
    EXPECT_EQ(statuses.count(), 1);
    EXPECT_TRUE(service->todayEvents().isEmpty());
    EXPECT_EQ(m_log, QStringList{});
}

TEST_F(EdsMeetingsTest, TodaysEventsFromEveryCalendarInTimeOrder)
{
    startStore();
    writeFixtureDay();
    auto service = makeService();
    EXPECT_EQ(service->authorization(), CalendarAuthorization::notDetermined);

    runTask(service->requestAccessIfNeeded());
    runTask(service->refresh());

    EXPECT_EQ(service->authorization(), CalendarAuthorization::fullAccess);
    const Expected expected[] = {
        {"Late deploy", "2030-03-30T22:00:00Z", "2030-03-31T00:00:00Z", false, workColor},
        {"Offsite", "2030-03-30T23:00:00Z", "2030-03-31T22:00:00Z", true, workColor},
        // 01:30 before the clocks go forward to 03:30 after: one hour.
        {"Clock change", "2030-03-31T00:30:00Z", "2030-03-31T01:30:00Z", false, workColor},
        {"Standup", "2030-03-31T07:00:00Z", "2030-03-31T07:15:00Z", false, workColor},
        {"", "2030-03-31T11:00:00Z", "2030-03-31T12:00:00Z", false, workColor},
        {"New York sync", "2030-03-31T12:00:00Z", "2030-03-31T13:00:00Z", false, workColor},
        {"Daily", "2030-03-31T14:00:00Z", "2030-03-31T14:30:00Z", false, workColor},
        {"Floating", "2030-03-31T16:00:00Z", "2030-03-31T17:00:00Z", false, homeColor},
        {"Errand", "2030-03-31T17:00:00Z", "2030-03-31T17:30:00Z", false, homeColor},
        {"Night call", "2030-03-31T21:30:00Z", "2030-03-31T22:30:00Z", false, workColor},
    };
    QStringList want;
    for (const Expected &e : expected)
        want.append(describe(e));
    EXPECT_EQ(describeAll(service->todayEvents()).join(QLatin1Char('\n')).toStdString(),
              want.join(QLatin1Char('\n')).toStdString());
    EXPECT_EQ(m_log, QStringList{});
}

TEST_F(EdsMeetingsTest, TheListFollowsChangesTheStoreAnnounces)
{
    startStore();
    auto service = makeService();
    runTask(service->requestAccessIfNeeded());
    runTask(service->refresh());
    ASSERT_TRUE(service->todayEvents().isEmpty());

    auto titles = [&]() {
        QStringList out;
        for (const CalendarEvent &e : service->todayEvents())
            out.append(e.title);
        return out;
    };
    CalendarWriter work(::work);
    work.add({vevent("added", {"SUMMARY:Added later", "DTSTART:20300331T150000Z", "DTEND:20300331T160000Z"})});
    EXPECT_TRUE(waitUntil([&]() { return titles() == QStringList{"Added later"}; })) << titles().join(',').toStdString();

    work.remove(QStringLiteral("added"));
    EXPECT_TRUE(waitUntil([&]() { return titles().isEmpty(); })) << titles().join(',').toStdString();
    EXPECT_EQ(m_log, QStringList{});
}

TEST_F(EdsMeetingsTest, AStoreThatVanishesAndReturns)
{
    startStore();
    writeFixtureDay();
    auto service = makeService();
    runTask(service->requestAccessIfNeeded());
    runTask(service->refresh());
    ASSERT_EQ(service->todayEvents().size(), 10);
    QSignalSpy statuses(service.get(), &MeetingsService::authorizationChanged);

    m_daemons.stop();
    runTask(service->refresh());
    EXPECT_EQ(service->authorization(), CalendarAuthorization::restricted);
    EXPECT_TRUE(service->todayEvents().isEmpty());

    startStore();
    runTask(service->refresh());
    EXPECT_EQ(service->authorization(), CalendarAuthorization::fullAccess);
    EXPECT_EQ(service->todayEvents().size(), 10);
    EXPECT_EQ(statuses.count(), 2);
    EXPECT_EQ(m_log, QStringList{}) << "a store going away is not an error";
}

TEST_F(EdsMeetingsTest, AStoreThatStopsAnsweringFreezesNothing)
{
    startStore();
    writeFixtureDay();
    auto service = makeService();
    runTask(service->requestAccessIfNeeded());
    runTask(service->refresh());

    auto turnsOfTheLoop = [&]() {
        bool ticked = false;
        QTimer::singleShot(0, [&ticked]() { ticked = true; });
        return waitUntil([&]() { return ticked; });
    };
    bool refreshed = false;
    auto refresh = [](MeetingsService *service, bool *done) -> QCoro::Task<void> {
        co_await service->refresh();
        *done = true;
    };

    m_daemons.freezeRegistry();
    refresh(service.get(), &refreshed);
    spinFor(std::chrono::milliseconds(300));
    EXPECT_TRUE(turnsOfTheLoop());
    EXPECT_FALSE(refreshed) << "the store cannot have answered";
    EXPECT_EQ(service->todayEvents().size(), 10);
    m_daemons.thawRegistry();
    EXPECT_TRUE(waitUntil([&]() { return refreshed; }, std::chrono::seconds(30)));
    EXPECT_EQ(service->todayEvents().size(), 10);

    // A new service asking a frozen store, then going away before the answer.
    m_daemons.freezeRegistry();
    auto asking = makeService();
    auto request = asking->requestAccessIfNeeded();
    spinFor(std::chrono::milliseconds(300));
    EXPECT_TRUE(turnsOfTheLoop());
    EXPECT_EQ(asking->authorization(), CalendarAuthorization::notDetermined);
    asking.reset();
    m_daemons.thawRegistry();
    spinFor(std::chrono::milliseconds(300));
    EXPECT_EQ(m_log, QStringList{});
}

// The store's work ends with the store: a request still pending when it goes is answered
// (with an error) before its destructor returns, so nothing of it runs on after the
// application has quit.
TEST_F(EdsMeetingsTest, AStoreDestroyedMidRequestEndsItsWorkWithIt)
{
    startStore();
    writeFixtureDay();
    for (const bool frozen : {false, true}) {
        SCOPED_TRACE(frozen ? "the store hangs" : "the store answers");
        if (frozen)
            m_daemons.freezeRegistry();
        std::shared_ptr<CalendarStore> store = CalendarStore::system();
        QFuture<bool> access = store->requestFullAccessToEvents();
        const QDateTime from(QDate(2030, 3, 31), QTime(0, 0), QTimeZone::utc());
        QFuture<CalendarFetch> events = store->events(from, from.addDays(1), QTimeZone::utc());
        // Hung: the request is inside its call to the store by now.
        if (frozen)
            spinFor(std::chrono::milliseconds(50));
        store.reset();
        EXPECT_TRUE(access.isFinished());
        EXPECT_TRUE(events.isFinished());
        if (frozen)
            m_daemons.thawRegistry();
    }
}

TEST_F(EdsMeetingsTest, ThousandsOfEventsInOneDay)
{
    startStore();
    constexpr int count = 2000;
    QStringList many;
    for (int i = 0; i < count; ++i) {
        const QDateTime start = QDateTime(QDate(2030, 3, 31), QTime(8, 0), QTimeZone::utc()).addSecs((i * 37) % 36000);
        many.append(vevent(QStringLiteral("bulk-%1").arg(i),
                           {QStringLiteral("SUMMARY:Bulk %1").arg(i),
                            QStringLiteral("DTSTART:") + start.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")),
                            QStringLiteral("DTEND:") + start.addSecs(1800).toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"))}));
    }
    CalendarWriter(::work).add(many);
    auto service = makeService();
    runTask(service->requestAccessIfNeeded());
    runTask(service->refresh(), std::chrono::seconds(60));

    const QList<CalendarEvent> events = service->todayEvents();
    EXPECT_EQ(events.size(), count);
    EXPECT_TRUE(std::is_sorted(events.begin(), events.end(),
                               [](const CalendarEvent &a, const CalendarEvent &b) { return a.start < b.start; }));
    EXPECT_EQ(MeetingsService::remainingEvents(events, m_now).size(), count);
}

} // namespace
