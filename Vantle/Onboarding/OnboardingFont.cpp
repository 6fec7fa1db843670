#include "Vantle/Onboarding/OnboardingFont.h"

#include <QGuiApplication>

QFont OnboardingFont::system(qreal pointSize, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}
