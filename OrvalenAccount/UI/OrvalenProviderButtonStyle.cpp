#include "OrvalenAccount/UI/OrvalenProviderButtonStyle.h"

#include <cmath>

namespace {
QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

// Relative luminance of an sRGB colour (WCAG), 0 for black to 1 for white.
qreal luminance(const QColor &color)
{
    const auto channel = [](float c) {
        return c <= 0.03928f ? qreal(c) / 12.92 : std::pow((qreal(c) + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = color.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}
} // namespace

QColor OrvalenProviderButtonStyle::text() const
{
    return isDark() ? QColor(0xF5, 0xF5, 0xF7) : QColor(0x1D, 0x1D, 0x1F);
}

QColor OrvalenProviderButtonStyle::secondaryText() const
{
    return isDark() ? QColor(0xA1, 0xA1, 0xAA) : QColor(0x6E, 0x6E, 0x73);
}

QColor OrvalenProviderButtonStyle::hairline() const
{
    return isDark() ? withAlpha(Qt::white, 0.16) : withAlpha(Qt::black, 0.14);
}

QColor OrvalenProviderButtonStyle::panel() const
{
    return isDark() ? withAlpha(Qt::white, 0.05) : withAlpha(Qt::black, 0.035);
}

QColor OrvalenProviderButtonStyle::errorText() const
{
    return isDark() ? QColor(0xFF, 0x8A, 0x80) : QColor(0xB3, 0x26, 0x1E);
}

QColor OrvalenProviderButtonStyle::errorFill() const
{
    return isDark() ? QColor(0xFF, 0x5A, 0x4E, 0x24) : QColor(0xD9, 0x30, 0x25, 0x14);
}

QColor OrvalenProviderButtonStyle::onAccent() const
{
    // White while it stands out well enough (a contrast of 3, as for large text); a warm
    // near-black on the light accents where white would wash out.
    const qreal whiteContrast = 1.05 / (luminance(m_accent) + 0.05);
    return whiteContrast >= 3.0 ? QColor(Qt::white) : QColor(0x1A, 0x14, 0x0A);
}
