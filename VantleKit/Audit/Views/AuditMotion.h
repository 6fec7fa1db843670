#pragma once

#include <QEasingCurve>

// How the audit's views move, and whether they may.
namespace AuditMotion {

// The application property that carries the desktop's "reduce motion" choice. The
// application shell sets it (a bool) from the desktop's setting; tests and the gallery set it
// directly. When it is not set, the environment variable VANTLE_REDUCE_MOTION decides
// ("1", "true", "yes" or "on" mean reduce).
inline constexpr char reduceMotionProperty[] = "vantleReduceMotion";

// True when the user asked for less motion: the views then skip the count-up, the rise and
// the animated scroll. Read each time an animation would start, so a change applies to the
// next one.
bool reduceMotion();

// The curves of the design: a cubic Bézier ease-out (0, 0, 0.58, 1) and ease-in-out
// (0.42, 0, 0.58, 1).
QEasingCurve easeOut();
QEasingCurve easeInOut();

} // namespace AuditMotion
