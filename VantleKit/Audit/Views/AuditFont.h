#pragma once

#include <QFont>

// The audit's fonts: the application's font, or its monospaced design (ApplicationFont), at a
// size in device-independent pixels (one point of the design is one pixel here).
namespace AuditFont {

QFont system(int pixelSize, QFont::Weight weight = QFont::Normal);
QFont mono(int pixelSize, QFont::Weight weight = QFont::Normal);

} // namespace AuditFont
