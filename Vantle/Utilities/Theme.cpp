#include "Vantle/Utilities/Theme.h"

#include <cctype>

std::optional<QColor> Theme::color(const QString &hex)
{
    if (hex.size() != 7 || hex.at(0) != QLatin1Char('#'))
        return std::nullopt;
    bool ok = false;
    const uint rgb = QStringView(hex).mid(1).toUInt(&ok, 16);
    // toUInt accepts a sign or "0x"; six plain hex digits only.
    for (qsizetype i = 1; i < hex.size(); ++i) {
        // Through unsigned char: a Latin-1 letter is a negative char, which isxdigit may not take.
        if (!std::isxdigit(static_cast<unsigned char>(hex.at(i).toLatin1())))
            return std::nullopt;
    }
    if (!ok)
        return std::nullopt;
    return QColor::fromRgb((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
