#include "Vantle/Views/MainViewText.h"

#include <QLocale>

namespace MainViewText {

namespace {

QString hours(qint64 halfHours)
{
    const qint64 whole = halfHours / 2;
    const bool half = halfHours % 2 != 0;
    if (whole == 0 && half)
        return QStringLiteral("½");
    return QString::number(whole) + (half ? QStringLiteral("½") : QString());
}

// The day of a meeting that began before today or ends after it.
QString dayName(const QDate &date, const QDate &today)
{
    if (date == today.addDays(-1))
        return QStringLiteral("Yesterday");
    if (date == today.addDays(1))
        return QStringLiteral("Tomorrow");
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(date, QStringLiteral("ddd d MMM"));
}

} // namespace

QString weeklyBudget(std::optional<qint64> halfHours)
{
    if (!halfHours || *halfHours < 0)
        return noBudget;
    return hours(*halfHours) + QStringLiteral(" h");
}

QString totalBudget(qint64 halfHours)
{
    return hours(std::max<qint64>(halfHours, 0)) + QStringLiteral(" h budgeted a week");
}

QString timeOfDay(const QDateTime &time)
{
    // Fixed English texts, whatever the system's locale: the rest of the window is English too.
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(time.toLocalTime().time(), QStringLiteral("h:mm AP"));
}

QString timeRange(const QDateTime &start, const QDateTime &end, bool isAllDay, const QDateTime &dayStart,
                  const QDateTime &dayEnd)
{
    if (isAllDay)
        return allDay;
    const QDate today = dayStart.toLocalTime().date();
    QString from = timeOfDay(start);
    if (start < dayStart)
        from = dayName(start.toLocalTime().date(), today) + QLatin1Char(' ') + from;
    QString to = timeOfDay(end);
    if (end > dayEnd)
        to = dayName(end.toLocalTime().date(), today) + QLatin1Char(' ') + to;
    if (end <= start)
        return from;
    return from + QStringLiteral(" – ") + to;
}

QString eventTitle(const QString &title)
{
    const QString trimmed = title.simplified();
    return trimmed.isEmpty() ? untitledEvent : trimmed;
}

} // namespace MainViewText
