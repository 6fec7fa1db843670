#pragma once

#include <QFont>

// The sign-in screen's fonts: the application font at a size in points.
namespace OrvalenFont {

QFont system(qreal pointSize, QFont::Weight weight = QFont::Normal);

} // namespace OrvalenFont
