#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// The texts of the main window that are worked out from data: budgets, times of meetings.
namespace MainViewText {

inline const QString noBudget = QStringLiteral("No budget");
inline const QString allDay = QStringLiteral("All day");
inline const QString untitledEvent = QStringLiteral("Untitled event");
inline const QString meetingsTitle = QStringLiteral("Today’s meetings");
inline const QString noMeetingsToday = QStringLiteral("No meetings today.");
inline const QString noMoreMeetingsToday = QStringLiteral("No more meetings today.");
inline const QString noCalendar = QStringLiteral("No calendar found on this computer. Meetings appear here once a calendar is set up.");
inline const QString calendarDenied = QStringLiteral("Vantle isn’t allowed to read your calendar.");
inline const QString calendarPending = QStringLiteral("Looking for your calendar…");
inline const QString now = QStringLiteral("Now");
inline const QString next = QStringLiteral("Next");

// A weekly budget of half hours as hours: "40 h", "8½ h", "½ h", "0 h"; "No budget"
// without one (or with a negative one, which the service never means).
QString weeklyBudget(std::optional<qint64> halfHours);
// The sum of the budgets given, as "112½ h budgeted a week"; budgets without a value add nothing.
QString totalBudget(qint64 halfHours);

// A time of day on the 12-hour clock: "9:05 AM", "12:00 PM".
QString timeOfDay(const QDateTime &time);
// When a meeting runs, seen from the local day [dayStart, dayEnd): "9:00 AM – 9:30 AM",
// "Yesterday 11:00 PM – 1:00 AM", "11:00 PM – Tomorrow 1:00 AM" (a day further away by
// its name and date: "Mon 12 Jan 9:00 AM"), or "All day".
QString timeRange(const QDateTime &start, const QDateTime &end, bool allDay, const QDateTime &dayStart,
                  const QDateTime &dayEnd);
// The title as written, or "Untitled event" when it is blank.
QString eventTitle(const QString &title);

} // namespace MainViewText
