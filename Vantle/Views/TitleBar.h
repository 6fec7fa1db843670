#pragma once

#include <QString>

// What the desktop's title bar needs. Its font and buttons are the window manager's, which
// the application cannot ask: the desktop's face in bold at 9 points, and room for an icon
// and three buttons, stand in for them.
namespace TitleBar {

// The width at which a window titled `title` shows it whole: the desktop writes it with
// " — " and the application's name after it.
int widthFor(const QString &title);

} // namespace TitleBar
