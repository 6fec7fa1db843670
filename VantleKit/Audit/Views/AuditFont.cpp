#include "AuditFont.h"

#include "Platform/ApplicationFont.h"

#include <QGuiApplication>

namespace {
QFont sized(QFont font, int pixelSize, QFont::Weight weight)
{
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    font.setItalic(false);
    font.setUnderline(false);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    return font;
}
} // namespace

QFont AuditFont::system(int pixelSize, QFont::Weight weight)
{
    // The application's font (Inter once the program has applied it), whatever the desktop
    // theme would suggest.
    return sized(QGuiApplication::font(), pixelSize, weight);
}

QFont AuditFont::mono(int pixelSize, QFont::Weight weight)
{
    return sized(ApplicationFont::monospace(), pixelSize, weight);
}
