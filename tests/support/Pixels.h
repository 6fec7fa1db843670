#pragma once

#include <QColor>
#include <QImage>

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

} // namespace TestSupport
