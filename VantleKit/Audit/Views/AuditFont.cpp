#include "AuditFont.h"

#include <QFontDatabase>

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
    return sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), pixelSize, weight);
}

QFont AuditFont::mono(int pixelSize, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return sized(font, pixelSize, weight);
}
