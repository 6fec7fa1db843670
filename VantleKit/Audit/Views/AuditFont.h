#pragma once

#include <QFont>

// The audit's fonts: the system font, or its monospaced design, at a size in device-independent
// pixels (one point of the design is one pixel here).
namespace AuditFont {

QFont system(int pixelSize, QFont::Weight weight = QFont::Normal);
QFont mono(int pixelSize, QFont::Weight weight = QFont::Normal);

} // namespace AuditFont
