#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

// The verbose-logging switch: while it is active the log keeps "debug" lines too. It
// lasts 24 hours from when it was turned on; a switch-on time in the future (a clock set
// back) counts as lapsed, so a wrong clock cannot stretch the window.
namespace DiagnosticLogger {

inline const QString enabledKey = QStringLiteral("vantle.verboseDiagnosticsEnabled");
inline const QString enabledAtKey = QStringLiteral("vantle.verboseDiagnosticsEnabledAt");
constexpr double windowSeconds = 86'400;

// True while the stored flag is on and its time (seconds since 1970) is positive and less
// than 24 hours in the past. A flag that has lapsed, or whose time lies in the future, is
// stored off. GUI thread (it reads and writes the standard preferences).
bool isVerboseActive();
// Stores the flag; on also stores the current time, off removes it. GUI thread.
void setVerbose(bool on);

// The rule alone, for a flag, its time and the current time in seconds since 1970.
bool isActiveAt(bool flag, std::optional<double> enabledAt, double now);

// Any thread: the rule applied to the flag as last read from the preferences, at the
// current time. The log writer asks this for every "debug" line.
bool verboseActiveNow();
// Reads the flag now and follows later changes of the standard preferences, wherever they
// are written. Called at start-up and whenever the standard preferences are replaced; the
// calls above call it too.
void watch();

// The clock isVerboseActive() and setVerbose() read; empty restores the system clock.
void setClock(std::function<QDateTime()> clock);

} // namespace DiagnosticLogger
