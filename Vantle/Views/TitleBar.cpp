#include "Vantle/Views/TitleBar.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>

namespace TitleBar {

int widthFor(const QString &title)
{
    // The window's icon, its three buttons and the room between them and the title.
    constexpr int controls = 100;
    // The desktop's own face, which the application's (a narrower one) does not stand for,
    // bold at the size most window managers give their titles.
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setPointSize(9);
    font.setBold(true);
    QString shown = title;
    if (const QString name = QGuiApplication::applicationDisplayName(); !name.isEmpty())
        shown += QStringLiteral(" \u2014 ") + name;
    return QFontMetrics(font).horizontalAdvance(shown) + controls;
}

} // namespace TitleBar
