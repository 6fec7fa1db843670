#pragma once

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace TestSupport {

// Pixels that changed clearly between two pictures of one widget: their red, green and blue
// differ by more than `threshold` together. `margin` pixels all round are left out (where a
// shape's soft edge changes with anything drawn over it).
inline int clearlyChangedPixels(const QImage &before, const QImage &after, int threshold = 90, int margin = 1)
{
    int changed = 0;
    for (int y = margin; y < before.height() - margin; ++y) {
        for (int x = margin; x < before.width() - margin; ++x) {
            const QColor a(before.pixel(x, y)), b(after.pixel(x, y));
            if (std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) > threshold)
                ++changed;
        }
    }
    return changed;
}

// Pixels whose colour between two pictures of one widget differs in contrast by at least
// `ratio` (relative luminance, as for text; 3:1 is what a focus indicator needs to be seen).
// A ring of one pixel all round a button counts about its perimeter; a faint outline, a
// lighter shade of the same fill or a ring lost in the fill counts next to nothing.
inline int contrastingPixels(const QImage &before, const QImage &after, double ratio = 3.0)
{
    const auto luminance = [](QRgb rgb) {
        const auto channel = [](int value) {
            const double c = value / 255.0;
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
    };
    int strong = 0;
    for (int y = 0; y < std::min(before.height(), after.height()); ++y) {
        for (int x = 0; x < std::min(before.width(), after.width()); ++x) {
            const double a = luminance(before.pixel(x, y)), b = luminance(after.pixel(x, y));
            if ((std::max(a, b) + 0.05) / (std::min(a, b) + 0.05) >= ratio)
                ++strong;
        }
    }
    return strong;
}

} // namespace TestSupport
