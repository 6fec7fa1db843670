#include "VantleKit/Audit/AuditMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr qint64 kMax = std::numeric_limits<qint64>::max();
constexpr qint64 kMin = std::numeric_limits<qint64>::min();

TEST(AuditMath, FormatsHoursToTheHalfHour)
{
    const struct {
        double hours;
        const char16_t *expected;
    } cases[] = {
        {0, u"0"},         {0.24, u"0"},         {0.25, u"½"},      {0.5, u"½"},
        {3.5, u"3½"},      {7.75, u"8"},         {7.74, u"7½"},     {-0.25, u"0"},
        {-0.3, u"−½"},     {-3.5, u"−3½"},       {-1, u"−1"},       {112, u"112"},
        {35.5, u"35½"},    {1e6, u"1000000"},
        // Values no audit produces: never undefined, never a crash.
        {kNaN, u"0"},      {kInf, u"9223372036854775807"},          {-kInf, u"−9223372036854775807"},
        {1e300, u"9223372036854775807"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(AuditMath::fmtH(c.hours), QString::fromUtf16(c.expected)) << c.hours;
}

TEST(AuditMath, FormatsTimesOfDayOnTheTwelveHourClock)
{
    const struct {
        double hour;
        const char *expected;
    } cases[] = {
        {0, "12:00 AM"},   {6.5, "6:30 AM"},   {6.2, "6:00 AM"},  {6.25, "6:00 AM"},
        {6.26, "6:30 AM"}, {11.5, "11:30 AM"}, {12, "12:00 PM"},  {12.5, "12:30 PM"},
        {17.5, "5:30 PM"}, {23.5, "11:30 PM"}, {24, "12:00 AM"},  {-1, "11:00 PM"},
        {-0.5, "11:30 PM"}, {30.5, "6:30 AM"}, {-1e-20, "12:00 AM"},
        {kNaN, "12:00 AM"}, {kInf, "12:00 AM"}, {-kInf, "12:00 AM"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(AuditMath::fmtTime(c.hour).toStdString(), c.expected) << c.hour;
}

TEST(AuditMath, RoundsToHalfHoursTiesUpward)
{
    const struct {
        double hours;
        double rounded;
        qint64 halves;
    } cases[] = {
        {0, 0, 0},         {0.24, 0, 0},        {0.25, 0.5, 1},      {4.25, 4.5, 9},
        {47.5, 47.5, 95},  {21.75, 22, 44},     {-0.25, 0, 0},       {-0.26, -0.5, -1},
        {-2.75, -2.5, -5}, {1e15, 1e15, 2'000'000'000'000'000},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(AuditMath::roundHalfHour(c.hours), c.rounded) << c.hours;
        EXPECT_EQ(AuditMath::halfHours(c.hours), c.halves) << c.hours;
    }
    EXPECT_EQ(AuditMath::jsRound(2.5), 3);
    EXPECT_EQ(AuditMath::jsRound(-2.5), -2);
    EXPECT_EQ(AuditMath::jsRound(-2.6), -3);
}

TEST(AuditMath, HalfHoursSaturateInsteadOfOverflowing)
{
    const struct {
        double hours;
        qint64 expected;
    } cases[] = {
        {kNaN, 0},         {-kNaN, 0},         {kInf, kMax},        {-kInf, kMin},
        {1e300, kMax},     {-1e300, kMin},     {4.7e18, kMax},      {-4.7e18, kMin},
        {std::numeric_limits<double>::max(), kMax},
        // The largest doubling still inside the range.
        {2305843009213693952.0, 4611686018427387904},
    };
    for (const auto &c : cases)
        EXPECT_EQ(AuditMath::halfHours(c.hours), c.expected) << c.hours;
}

TEST(AuditMath, NumberKeysReadBackExactly)
{
    const struct {
        double value;
        const char *expected;
    } cases[] = {
        {8, "8.0"},   {17.5, "17.5"}, {6.25, "6.25"}, {0, "0.0"},  {-3, "-3.0"},
        {0.1, "0.1"}, {1e20, "1e+20"}, {kNaN, "nan"}, {kInf, "inf"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(AuditMath::numberKey(c.value).toStdString(), c.expected) << c.value;
    EXPECT_EQ(AuditMath::workKey(AuditState::initial().s).toStdString(),
              "false|false|8.0|8.0|17.5|truetruetruetruetruefalsefalse");
}

TEST(AuditMath, DerivesTheWorkWeek)
{
    const auto answers = [](auto change) {
        QuizAnswers s = AuditState::initial().s;
        change(s);
        return s;
    };
    const struct {
        const char *label;
        QuizAnswers s;
        double expected;
    } cases[] = {
        {"initial: 5 days of 9.5 hours", answers([](QuizAnswers &) {}), 47.5},
        {"working from home", answers([](QuizAnswers &s) { s.wfh = true; }), 40},
        {"from home 10 hours", answers([](QuizAnswers &s) { s.wfh = true, s.wfhHours = 10; }), 50},
        {"penciled in", answers([](QuizAnswers &s) { s.workPenciled = true; }), 45},
        {"penciled in with no workday",
         answers([](QuizAnswers &s) { s.workPenciled = true, s.days = QList<bool>(7, false); }), 45},
        {"no workdays", answers([](QuizAnswers &s) { s.days = QList<bool>(7, false); }), 0},
        {"back before leave", answers([](QuizAnswers &s) { s.leave = 9, s.back = 8; }), 0},
        {"back equals leave", answers([](QuizAnswers &s) { s.back = 8; }), 0},
        {"3 days of 7.25 hours",
         answers([](QuizAnswers &s) {
             s.days = {true, true, true, false, false, false, false};
             s.leave = 9, s.back = 16.25;
         }),
         22},
        {"7 days", answers([](QuizAnswers &s) { s.days = QList<bool>(7, true); }), 66.5},
    };
    for (const auto &c : cases)
        EXPECT_EQ(AuditMath::deriveWork(c.s), c.expected) << c.label;
}

TEST(AuditMath, WeekTotals)
{
    AuditState state = AuditState::initial();
    EXPECT_EQ(AuditMath::weeklyWaking(state.s), 112);
    EXPECT_EQ(AuditMath::dayCount(state.s), 5);
    EXPECT_EQ(AuditMath::committed(state), 0);
    EXPECT_EQ(AuditMath::actsTotal({}), 0);
    EXPECT_EQ(AuditMath::yoursTotal({}), 0);

    state.acts = {AuditActivity{QStringLiteral("Gym"), 3, 1, 0.5}, AuditActivity{QStringLiteral("Run"), 2, 0.5, 0}};
    EXPECT_EQ(AuditMath::actsTotal(state.acts), 5.5);
    state.v = {40, 14, 15};
    EXPECT_EQ(AuditMath::committed(state), 74.5);
    EXPECT_EQ(AuditMath::yoursHours(state), 37.5);
    state.v.work = 120;
    EXPECT_EQ(AuditMath::yoursHours(state), -42.5);
    EXPECT_EQ(AuditMath::fmtH(AuditMath::yoursHours(state)), QStringLiteral("\u221242\u00BD"));
    EXPECT_EQ(AuditMath::yoursTotal({{QString(), 1}, {QString(), 2.5}}), 3.5);
}

} // namespace
