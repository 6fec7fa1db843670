#include "OrvalenAccount/UI/OrvalenFont.h"

#include <QGuiApplication>

QFont OrvalenFont::system(qreal pointSize, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}
