#pragma once

#include <QIcon>
#include <QPixmap>

class QPainter;
class QRectF;

// The application's logo: its icon. Drawn here from the shapes of Resources/vantle.svg (the
// icon installed for the desktop), not from the file: the first-run screens show it, and
// an SVG renderer would be one more library to load before the first screen.
namespace VantleLogo {

// Draws the logo filling the square `target`.
void paint(QPainter &painter, const QRectF &target);
// A square image of `size` device-independent pixels for a screen of `devicePixelRatio`;
// a null pixmap for a size of nothing.
QPixmap pixmap(int size, qreal devicePixelRatio = 1.0);
// The sizes (device pixels) the icon offers to whoever picks among them: the window
// manager, the tray.
inline constexpr int iconSizes[] = {32, 56, 64, 112, 128, 256};
// The logo at whatever size a view asks for, drawn when asked.
QIcon icon();

} // namespace VantleLogo
