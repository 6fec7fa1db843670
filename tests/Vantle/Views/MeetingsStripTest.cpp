#include "Vantle/Views/MeetingsStrip.h"

#include "Vantle/Views/MeetingsStripModel.h"

#include <gtest/gtest.h>

namespace {

using Availability = MeetingsStrip::Availability;

QDateTime at(int hour, int minute = 0)
{
    return QDateTime(QDate(2026, 1, 15), QTime(hour, minute), Qt::LocalTime);
}

MeetingsStrip::Meeting meeting(const QString &title, int startHour, int endHour, bool allDay = false)
{
    return {title, at(startHour), at(endHour), QColor(Qt::red), allDay};
}

QStringList shown(const MeetingsStrip &strip)
{
    QStringList out;
    for (const auto &row : strip.model().rows())
        out.append(row.time + QStringLiteral(" | ") + row.title);
    return out;
}

// What the person reads in the strip, for every kind of day and calendar.
TEST(MeetingsStripTest, EachDayAndCalendarReadsClearly)
{
    struct Row {
        const char *name;
        Availability availability;
        QList<MeetingsStrip::Meeting> remaining;
        bool anyToday;
        QString status;
        QStringList rows;
    };
    const QDateTime now = at(10, 15);
    const Row rows[] = {
        {"calendar not answered yet", Availability::pending, {}, false, QStringLiteral("Looking for your calendar…"), {}},
        {"no calendar", Availability::noCalendar, {meeting(QStringLiteral("Hidden"), 11, 12)}, true,
         QStringLiteral("No calendar found on this computer. Meetings appear here once a calendar is set up."), {}},
        {"denied", Availability::denied, {}, false, QStringLiteral("Vantle isn’t allowed to read your calendar."), {}},
        {"an empty day", Availability::available, {}, false, QStringLiteral("No meetings today."), {}},
        {"all of today's are over", Availability::available, {}, true, QStringLiteral("No more meetings today."), {}},
        {"one under way, the next, an untitled one and an all-day one",
         Availability::available,
         {meeting(QStringLiteral("Stand-up"), 10, 11), meeting(QStringLiteral("Review"), 14, 15),
          meeting(QString(), 16, 17), meeting(QStringLiteral("Offsite"), 0, 0, true)},
         true,
         QString(),
         {QStringLiteral("Now · 10:00 AM – 11:00 AM | Stand-up"), QStringLiteral("Next · 2:00 PM – 3:00 PM | Review"),
          QStringLiteral("4:00 PM – 5:00 PM | Untitled event"), QStringLiteral("All day | Offsite")}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        MeetingsStrip strip;
        strip.setMeetings(row.availability, row.remaining, row.anyToday, now, at(0), at(0).addDays(1));
        EXPECT_EQ(strip.statusText(), row.status);
        EXPECT_EQ(shown(strip), row.rows);
    }
}

// A day of thousands of events is listed whole, in the order given, without the strip
// building a widget per event.
TEST(MeetingsStripTest, AThousandsStrongDayIsListedWhole)
{
    QList<MeetingsStrip::Meeting> remaining;
    for (int i = 0; i < 5000; ++i)
        remaining.append({QStringLiteral("M%1").arg(i), at(11).addSecs(i), at(12).addSecs(i), QColor(), false});
    MeetingsStrip strip;
    strip.setMeetings(Availability::available, remaining, true, at(10), at(0), at(0).addDays(1));
    ASSERT_EQ(strip.model().rowCount(), 5000);
    EXPECT_EQ(strip.model().rows().first().title, QStringLiteral("M0"));
    EXPECT_TRUE(strip.model().rows().first().time.startsWith(QStringLiteral("Next · ")));
    EXPECT_FALSE(strip.model().rows().at(1).time.startsWith(QStringLiteral("Next")));
    EXPECT_EQ(strip.model().rows().last().title, QStringLiteral("M4999"));
    EXPECT_LT(strip.findChildren<QWidget *>().size(), 20);
}

} // namespace
