#include "Platform/ApplicationFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {

TEST(ApplicationFont, PicksTheFamilyOnlyWhenItIsInstalled)
{
    const struct {
        const char *label;
        QStringList installed;
        QString picked;
    } cases[] = {
        {"installed", {"DejaVu Sans", "Inter", "JetBrains Mono"}, "Inter"},
        {"installed in other case", {"DejaVu Sans", "inter"}, "inter"},
        {"missing", {"DejaVu Sans", "DejaVu Sans Mono"}, QString()},
        {"only a family of the same name's start", {"Inter Display", "Interstate"}, QString()},
        {"nothing installed", {}, QString()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ApplicationFont::pick(QStringLiteral("Inter"), c.installed), c.picked) << c.label;
}

// The test main applies the fonts as the application does. Each weight the views name
// must come from a face of that weight: a weight the family lacks would be drawn in the
// nearest one, and a selected chip would look like the others.
TEST(ApplicationFont, EveryWeightTheViewsUseIsARealFace)
{
    ASSERT_TRUE(QFontDatabase::families().contains(QStringLiteral("Inter"))) << "scripts/setup installs fonts-inter";
    ASSERT_TRUE(QFontDatabase::families().contains(QStringLiteral("JetBrains Mono")))
        << "scripts/setup installs fonts-jetbrains-mono";
    EXPECT_EQ(QFontInfo(QGuiApplication::font()).family(), QStringLiteral("Inter"));
    EXPECT_EQ(ApplicationFont::apply(), QStringLiteral("Inter")); // a second call changes nothing

    const struct {
        QFont font;
        const char *family;
        QFont::Weight weight;
        const char *style;
    } cases[] = {
        {QGuiApplication::font(), "Inter", QFont::Normal, "Regular"},
        {QGuiApplication::font(), "Inter", QFont::DemiBold, "Semi Bold"},
        {QGuiApplication::font(), "Inter", QFont::Bold, "Bold"},
        {QGuiApplication::font(), "Inter", QFont::ExtraBold, "Extra Bold"},
        {ApplicationFont::monospace(), "JetBrains Mono", QFont::Normal, "Regular"},
        {ApplicationFont::monospace(), "JetBrains Mono", QFont::DemiBold, "SemiBold"},
        {ApplicationFont::monospace(), "JetBrains Mono", QFont::Bold, "Bold"},
    };
    for (const auto &c : cases) {
        QFont font = c.font;
        font.setPixelSize(16);
        font.setWeight(c.weight);
        const QFontInfo info(font);
        EXPECT_EQ(info.family().toStdString(), c.family) << c.style;
        EXPECT_EQ(info.weight(), c.weight) << c.family << " " << c.style;
        EXPECT_EQ(info.styleName().toStdString(), c.style) << c.family;
        EXPECT_EQ(info.fixedPitch(), QString::fromLatin1(c.family) == QStringLiteral("JetBrains Mono")) << c.family;
    }
}

} // namespace
