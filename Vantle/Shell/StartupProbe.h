#pragma once

#include <QByteArray>

#include <functional>

class QWidget;

// Start-up as a person sees it, told to whoever measures it from outside (bench_startup).
// With VANTLE_STARTUP_PROBE set, the application writes one line to standard output at
// each milestone, once the frame that shows it has been painted:
//   "vantle-first-paint"          the main window's first frame (the loading view)
//   "vantle-surface <surface>"    the main window's content became the loading view, the
//                                 first-run gate, the Hour Audit or the week ("loading",
//                                 "gate", "audit", "main")
// Each line ends with " cpu-ms=" and the CPU time the process has spent so far, all its
// threads together. With the value "hide" the main window hides itself after its first
// paint, as closing it into the tray would. Without the variable nothing is written and
// nothing is watched.
namespace StartupProbe {

inline constexpr const char *variable = "VANTLE_STARTUP_PROBE";
inline constexpr const char *firstPaintLine = "vantle-first-paint";
inline constexpr const char *surfacePrefix = "vantle-surface ";
inline constexpr const char *cpuPrefix = "cpu-ms=";

// The variable's value; empty when the probe is off.
QByteArray mode();
// Writes the line, the CPU time and a line break to standard output at once (when the
// probe is on).
void announce(const QByteArray &line);
// Calls `then` once, on the GUI thread, after the first paint of `widget` or of any widget
// inside it has been delivered; never when `widget` goes before it paints.
void afterFirstPaint(QWidget *widget, std::function<void()> then);

} // namespace StartupProbe
