#include "VantleKit/Audit/Views/AuditFont.h"

#include <QFontInfo>

#include <gtest/gtest.h>

namespace {

// Every weight a view names is drawn from a face of that weight: a selected chip is bold
// against the semibold of the others, a heading is heavy. With a family that lacks them
// the nearest face stands in and the difference is gone.
TEST(AuditFont, EveryWeightTheViewsNameIsDrawnInThatWeight)
{
    const struct {
        const char *use;
        QFont font;
        QFont::Weight weight;
        bool monospaced;
    } cases[] = {
        {"heading", AuditFont::system(34, QFont::ExtraBold), QFont::ExtraBold, false},
        {"day chip, off", AuditFont::system(15, QFont::DemiBold), QFont::DemiBold, false},
        {"day chip, on", AuditFont::system(15, QFont::Bold), QFont::Bold, false},
        {"hour chip, off", AuditFont::mono(16, QFont::DemiBold), QFont::DemiBold, true},
        {"hour chip, on", AuditFont::mono(16, QFont::Bold), QFont::Bold, true},
        {"stepper value", AuditFont::mono(24, QFont::Bold), QFont::Bold, true},
        {"group label", AuditFont::system(14, QFont::DemiBold), QFont::DemiBold, false},
        {"sentence", AuditFont::system(17), QFont::Normal, false},
    };
    // The face's own name tells its weight; the weight a font reports may be the one asked for.
    const auto faceWeight = [](const QString &style) {
        QString name = style;
        name.remove(QLatin1Char(' '));
        if (name == QLatin1String("Regular") || name == QLatin1String("Book"))
            return QFont::Normal;
        if (name == QLatin1String("SemiBold"))
            return QFont::DemiBold;
        if (name == QLatin1String("Bold"))
            return QFont::Bold;
        if (name == QLatin1String("ExtraBold"))
            return QFont::ExtraBold;
        return QFont::Thin;
    };
    for (const auto &c : cases) {
        const QFontInfo info(c.font);
        EXPECT_EQ(faceWeight(info.styleName()), c.weight)
            << c.use << ": " << info.family().toStdString() << " " << info.styleName().toStdString();
        EXPECT_EQ(info.fixedPitch(), c.monospaced) << c.use;
    }
}

} // namespace
