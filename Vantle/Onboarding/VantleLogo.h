#pragma once

#include <QIcon>
#include <QPixmap>

// The application's logo: its icon, drawn from the SVG shipped in the resources.
namespace VantleLogo {

inline const QString resourcePath = QStringLiteral(":/vantle/vantle.svg");

// A square image of `size` device-independent pixels for a screen of `devicePixelRatio`;
// a null pixmap when the resource is missing.
QPixmap pixmap(int size, qreal devicePixelRatio = 1.0);
// The logo at the sizes a view asks for.
QIcon icon();

} // namespace VantleLogo
