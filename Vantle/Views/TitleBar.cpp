#include "Vantle/Views/TitleBar.h"

#include <QApplication>
#include <QFontMetrics>

namespace TitleBar {

int widthFor(const QString &title)
{
    // The window's icon, its three buttons and the room between them and the title.
    constexpr int controls = 120;
    QFont font = QApplication::font();
    font.setBold(true);
    QString shown = title;
    if (const QString name = QGuiApplication::applicationDisplayName(); !name.isEmpty())
        shown += QStringLiteral(" \u2014 ") + name;
    return QFontMetrics(font).horizontalAdvance(shown) + controls;
}

} // namespace TitleBar
