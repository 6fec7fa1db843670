#include "VantleKit/Audit/AuditMath.h"

#include "VantleKit/Audit/AuditPresets.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace AuditMath {

namespace {

// 2^63: the first double that no 64-bit signed number can hold.
constexpr double kInt64Limit = 9223372036854775808.0;

// A whole-valued double as a 64-bit number; NaN gives 0, anything beyond saturates.
qint64 saturatingWhole(double whole)
{
    if (std::isnan(whole))
        return 0;
    if (whole >= kInt64Limit)
        return std::numeric_limits<qint64>::max();
    if (whole < -kInt64Limit)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(whole);
}

QString boolKey(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

double committed(const AuditState &state)
{
    return actsTotal(state.acts) + (state.v.work + state.v.upkeep + state.v.family);
}

double yoursHours(const AuditState &state)
{
    return weeklyWaking(state.s) - committed(state);
}

double actsTotal(const QList<AuditActivity> &acts)
{
    double total = 0;
    for (const AuditActivity &activity : acts)
        total += activity.times * (activity.len + activity.over);
    return total;
}

double weeklyWaking(const QuizAnswers &answers)
{
    return (24 - answers.sleep) * 7;
}

int dayCount(const QuizAnswers &answers)
{
    return static_cast<int>(answers.days.count(true));
}

double yoursTotal(const QList<YoursCategoryDraft> &rows)
{
    double total = 0;
    for (const YoursCategoryDraft &row : rows)
        total += row.hours;
    return total;
}

double jsRound(double x)
{
    return std::floor(x + 0.5);
}

double roundHalfHour(double hours)
{
    return std::floor(2 * hours + 0.5) * 0.5;
}

qint64 halfHours(double hours)
{
    return saturatingWhole(std::floor(2 * hours + 0.5));
}

double deriveWork(const QuizAnswers &answers)
{
    if (answers.workPenciled)
        return AuditPresets::penciledWorkHours;
    const double days = dayCount(answers);
    if (answers.wfh)
        return roundHalfHour(days * answers.wfhHours);
    double span = answers.back - answers.leave;
    if (span < 0)
        span = 0;
    return roundHalfHour(days * span);
}

QString numberKey(double value)
{
    // Whole numbers of ordinary size read "8.0"; the rest in their shortest exact form.
    if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < 1e16)
        return QString::number(value, 'f', 0) + QStringLiteral(".0");
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString workKey(const QuizAnswers &answers)
{
    QString days;
    for (const bool day : answers.days)
        days += boolKey(day);
    return QStringList{
        boolKey(answers.workPenciled),
        boolKey(answers.wfh),
        numberKey(answers.wfhHours),
        numberKey(answers.leave),
        numberKey(answers.back),
        days,
    }
        .join(QLatin1Char('|'));
}

QString fmtH(double hours)
{
    double rounded = roundHalfHour(hours);
    if (std::isnan(rounded))
        rounded = 0;
    const QString sign = rounded < 0 ? QStringLiteral("\u2212") : QString();
    const double magnitude = std::fabs(rounded);
    const double floored = std::floor(magnitude);
    const qint64 whole = saturatingWhole(floored);
    const bool half = std::isfinite(magnitude) && magnitude - floored > 0.25;
    QString number;
    if (half)
        number = whole == 0 ? QStringLiteral("\u00BD") : QString::number(whole) + QStringLiteral("\u00BD");
    else
        number = QString::number(whole);
    return sign + number;
}

QString fmtTime(double hour)
{
    double h = std::fmod(hour, 24.0);
    if (!std::isfinite(h))
        h = 0;
    if (h < 0)
        h += 24;
    // A tiny negative remainder plus 24 rounds to 24 itself, which is midnight.
    if (h >= 24)
        h = 0;
    const int whole = static_cast<int>(std::floor(h));
    const int clock = whole % 12 == 0 ? 12 : whole % 12;
    const QString minutes = h - whole > 0.25 ? QStringLiteral("30") : QStringLiteral("00");
    const QString period = whole < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
    return QString::number(clock) + QLatin1Char(':') + minutes + QLatin1Char(' ') + period;
}

} // namespace AuditMath
