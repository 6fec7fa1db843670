#pragma once

#include <QIcon>
#include <QPixmap>

// The application's logo: its icon, drawn from the SVG shipped in the resources.
namespace VantleLogo {

inline const QString resourcePath = QStringLiteral(":/vantle/vantle.svg");

// A square image of `size` device-independent pixels for a screen of `devicePixelRatio`;
// a null pixmap when the resource is missing.
QPixmap pixmap(int size, qreal devicePixelRatio = 1.0);
// The sizes (device pixels) the icon offers to whoever picks among them: the window
// manager, the tray.
inline constexpr int iconSizes[] = {32, 56, 64, 112, 128, 256};
// The logo at whatever size a view asks for, drawn when asked.
QIcon icon();

} // namespace VantleLogo
