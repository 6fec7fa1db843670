#pragma once

#include <QColor>

// The dashboard's category colours: the same four the submission gives the categories it
// creates (the "yours" pieces take the palette's accent instead).
namespace AuditCatSwatch {

QColor work();     // #7C9EF5
QColor upkeep();   // #C58BF2
QColor people();   // #6FD1A6
QColor activity(); // #F58BA0

} // namespace AuditCatSwatch
