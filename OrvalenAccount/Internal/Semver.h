#pragma once

#include <QString>

// Dotted version comparison for the identity service's minimum-version notices.
namespace Semver {
// -1, 0 or 1 as `a` is lower than, equal to or higher than `b`. Empty pieces are
// skipped, a piece that is not a whole signed decimal number counts as 0 ("1.2.3-beta"
// compares like "1.2.0"), and missing positions count as 0.
int compare(const QString &a, const QString &b);
} // namespace Semver
