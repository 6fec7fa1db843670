#include "VantleKit/Audit/Views/AuditCard.h"
#include "VantleKit/Audit/Views/AuditPalette.h"

#include "ViewTestSupport.h"

#include <QImage>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

TEST(AuditPalette, VantHexTakesTheLowThreeBytes)
{
    struct Case {
        quint32 number;
        int r, g, b;
    };
    const Case cases[] = {
        {0x121214, 18, 18, 20},
        {0xFFFFFFFF, 255, 255, 255},
        {0xFF000000, 0, 0, 0},
        {0xAB123456, 0x12, 0x34, 0x56},
    };
    for (const Case &c : cases) {
        const QColor color = vantHex(c.number);
        EXPECT_EQ(color, color.toRgb()) << std::hex << c.number; // an sRGB colour, not converted
        EXPECT_EQ(color.red(), c.r) << std::hex << c.number;
        EXPECT_EQ(color.green(), c.g) << std::hex << c.number;
        EXPECT_EQ(color.blue(), c.b) << std::hex << c.number;
        EXPECT_EQ(color.alpha(), 255) << std::hex << c.number;
    }
    EXPECT_EQ(vantHex(0x121214).redF(), 18.0f / 255.0f);
}

TEST(AuditPalette, CoalHoldsTheTwelveRoles)
{
    const AuditPalette &coal = AuditPalette::coal();
    const std::pair<AuditRole, QRgb> expected[] = {
        {AuditRole::canvas, 0x121214},    {AuditRole::card, 0x202024},      {AuditRole::elevated, 0x26262B},
        {AuditRole::border, 0x2C2C33},    {AuditRole::text, 0xF5F5F5},      {AuditRole::muted, 0x9B9BA4},
        {AuditRole::accent, 0xF0A32A},    {AuditRole::accentInk, 0xF0A32A}, {AuditRole::accentStrong, 0xF5B84F},
        {AuditRole::danger, 0xF87171},    {AuditRole::onAccent, 0x1C1200}, {AuditRole::sleepFill, 0x3B3B40},
    };
    for (const auto &[role, rgb] : expected)
        EXPECT_EQ(coal.role(role).rgba(), 0xFF000000u | rgb) << int(role);
    EXPECT_EQ(&AuditPalette::coal(), &coal);
}

// Each role reads its own field: in coal two of them hold one colour, so only a palette of
// twelve different colours tells them apart.
TEST(AuditPalette, EachRoleReadsItsOwnColour)
{
    const AuditPalette p = ViewTest::distinctPalette();
    const std::pair<AuditRole, QColor> roles[] = {
        {AuditRole::canvas, p.canvas},     {AuditRole::card, p.card},           {AuditRole::elevated, p.elevated},
        {AuditRole::border, p.border},     {AuditRole::text, p.text},           {AuditRole::muted, p.muted},
        {AuditRole::accent, p.accent},     {AuditRole::accentInk, p.accentInk}, {AuditRole::accentStrong, p.accentStrong},
        {AuditRole::danger, p.danger},     {AuditRole::onAccent, p.onAccent},   {AuditRole::sleepFill, p.sleepFill},
    };
    for (const auto &[role, color] : roles)
        EXPECT_EQ(p.role(role), color) << int(role);
}

TEST(AuditPalette, ChangingACopyLeavesTheOtherRolesAndCoal)
{
    AuditPalette palette = AuditPalette::coal();
    palette.accent = vantHex(0x00FF00);
    EXPECT_EQ(palette.accent, vantHex(0x00FF00));
    EXPECT_EQ(palette.accentInk, vantHex(0xF0A32A));
    EXPECT_EQ(palette.canvas, vantHex(0x121214));
    EXPECT_EQ(AuditPalette::coal().accent, vantHex(0xF0A32A));
}

TEST(AuditPalette, LookupFindsTheNearestAncestorsPaletteElseCoal)
{
    QWidget root;
    auto *middle = new QWidget(&root);
    auto *leaf = new QWidget(middle);
    EXPECT_EQ(AuditPalette::of(leaf).card, AuditPalette::coal().card);
    EXPECT_EQ(AuditPalette::of(nullptr).card, AuditPalette::coal().card);

    AuditPalette outer = AuditPalette::coal();
    outer.card = vantHex(0x111111);
    AuditPalette inner = AuditPalette::coal();
    inner.card = vantHex(0x222222);

    AuditPalette::set(&root, outer);
    EXPECT_EQ(AuditPalette::of(leaf).card, outer.card);
    EXPECT_EQ(AuditPalette::of(&root).card, outer.card);

    AuditPalette::set(middle, inner);
    EXPECT_EQ(AuditPalette::of(leaf).card, inner.card);
    EXPECT_EQ(AuditPalette::of(&root).card, outer.card);

    // A widget moved out of the flow draws with coal again.
    QWidget elsewhere;
    leaf->setParent(&elsewhere);
    EXPECT_EQ(AuditPalette::of(leaf).card, AuditPalette::coal().card);

    AuditPalette::clear(&root);
    EXPECT_EQ(AuditPalette::of(&root).card, AuditPalette::coal().card);
}

QRgb cardCentre(QWidget &root, AuditCard *card)
{
    root.resize(300, 200);
    root.show();
    const QImage image = root.grab().toImage();
    return image.pixel(card->geometry().center());
}

TEST(AuditPalette, ACardDrawsWithCoalAloneAndWithTheHostsPaletteInside)
{
    QWidget alone;
    auto *layout = new QVBoxLayout(&alone);
    auto *card = new AuditCard;
    layout->addWidget(card);
    EXPECT_EQ(cardCentre(alone, card), AuditPalette::coal().card.rgba());

    QWidget flow;
    AuditPalette host = AuditPalette::coal();
    host.card = vantHex(0x345678);
    AuditPalette::set(&flow, host);
    auto *flowLayout = new QVBoxLayout(&flow);
    auto *inside = new AuditCard;
    flowLayout->addWidget(inside);
    EXPECT_EQ(cardCentre(flow, inside), vantHex(0x345678).rgba());
}

} // namespace
