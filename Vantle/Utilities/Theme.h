#pragma once

#include <QColor>
#include <QString>

#include <optional>

// The application's dark palette, shared by every view.
namespace Theme {

inline const QColor canvas{0x12, 0x12, 0x14};   // window background
inline const QColor surface{0x19, 0x19, 0x1C};  // sheets: a step above the canvas, below a card
inline const QColor card{0x20, 0x20, 0x24};
inline const QColor border{0x2C, 0x2C, 0x33};
inline const QColor text{0xF5, 0xF5, 0xF5};
inline const QColor muted{0x9B, 0x9B, 0xA4};
inline const QColor accent{0xF0, 0xA3, 0x2A};
inline const QColor accentInk{0x1A, 0x14, 0x0A}; // text on an accent fill: dark, warm

// A category's colour text: "#" and six hexadecimal digits (either case). Nothing for
// anything else, so a bad colour from the service falls back to the caller's default.
std::optional<QColor> color(const QString &hex);

} // namespace Theme
