#pragma once

#include "AuditChipOption.h"

#include <QList>
#include <QString>

#include <span>

// The chip options of the question screens.

// One option per hour value, labelled with its half-hour text and `suffix`: 6.5 and "h" give
// "6½h".
QList<AuditChipOption> hourOpts(std::span<const double> values, const QString &suffix);
// One option per hour of day, labelled on the 12-hour clock: 6.5 gives "6:30 AM".
QList<AuditChipOption> timeOpts(std::span<const double> values);
