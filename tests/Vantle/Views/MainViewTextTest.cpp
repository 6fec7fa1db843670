#include "Vantle/Views/MainViewText.h"

#include <gtest/gtest.h>

namespace {

QDateTime local(int day, int hour, int minute = 0)
{
    // January, away from any clock change of either hemisphere's usual rules.
    return QDateTime(QDate(2026, 1, day), QTime(hour, minute), Qt::LocalTime);
}

TEST(MainViewTextTest, WeeklyBudgetsReadAsHoursWithHalves)
{
    struct Row {
        std::optional<qint64> halfHours;
        const char *expected;
    };
    const Row rows[] = {
        {80, "40 h"}, {17, "8½ h"}, {1, "½ h"}, {0, "0 h"}, {2, "1 h"},
        {std::nullopt, "No budget"}, {-3, "No budget"}, {336, "168 h"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.halfHours.value_or(-999));
        EXPECT_EQ(MainViewText::weeklyBudget(row.halfHours), QString::fromUtf8(row.expected));
    }
    EXPECT_EQ(MainViewText::totalBudget(225), QStringLiteral("112½ h budgeted a week"));
    EXPECT_EQ(MainViewText::totalBudget(0), QStringLiteral("0 h budgeted a week"));
}

TEST(MainViewTextTest, MeetingTimesAreReadFromToday)
{
    const QDateTime dayStart = local(15, 0);
    const QDateTime dayEnd = local(16, 0);
    struct Row {
        const char *name;
        QDateTime start;
        QDateTime end;
        bool allDay;
        const char *expected;
    };
    const Row rows[] = {
        {"morning", local(15, 9), local(15, 9, 30), false, "9:00 AM – 9:30 AM"},
        {"noon and midnight", local(15, 12), local(15, 23, 59), false, "12:00 PM – 11:59 PM"},
        {"across last midnight", local(14, 23), local(15, 1), false, "Yesterday 11:00 PM – 1:00 AM"},
        {"across next midnight", local(15, 23), local(16, 1, 5), false, "11:00 PM – Tomorrow 1:05 AM"},
        {"a long conference", local(12, 9), local(17, 17), false, "Mon 12 Jan 9:00 AM – Sat 17 Jan 5:00 PM"},
        {"no duration", local(15, 14), local(15, 14), false, "2:00 PM"},
        {"all day", local(15, 0), local(16, 0), true, "All day"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(MainViewText::timeRange(row.start, row.end, row.allDay, dayStart, dayEnd), QString::fromUtf8(row.expected));
    }
}

TEST(MainViewTextTest, BlankTitlesGetAPlaceholder)
{
    EXPECT_EQ(MainViewText::eventTitle(QString()), QStringLiteral("Untitled event"));
    EXPECT_EQ(MainViewText::eventTitle(QStringLiteral(" \n\t")), QStringLiteral("Untitled event"));
    EXPECT_EQ(MainViewText::eventTitle(QStringLiteral("  Stand-up\n")), QStringLiteral("Stand-up"));
}

} // namespace
