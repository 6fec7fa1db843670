#pragma once

#include <QFont>

// The first-run screens' fonts: the application font at a size in points.
namespace OnboardingFont {

QFont system(qreal pointSize, QFont::Weight weight = QFont::Normal);

} // namespace OnboardingFont
