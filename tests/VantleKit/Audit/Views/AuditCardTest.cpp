#include "VantleKit/Audit/Views/AuditCard.h"

#include "ViewTestSupport.h"

#include <QScrollArea>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using ViewTest::Window;

// The card's two black shadows: 35 % blurred by 1 and 1 down, 30 % blurred by 14 and 10 down.
// A shadow's blur radius is the standard deviation of its Gaussian.
struct Shadow {
    double opacity;
    double sigma;
    double offset;
};
constexpr Shadow kShadows[] = {{0.35, 1, 1}, {0.30, 14, 10}};

double normalCdf(double x)
{
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

enum class Edge { bottom, top, side };

// How dark the shadows make a point `d` outside the middle of one of the card's long edges.
double expectedAlpha(Edge edge, double d)
{
    double clear = 1;
    for (const Shadow &s : kShadows) {
        const double past = edge == Edge::bottom ? d - s.offset : edge == Edge::top ? d + s.offset : d;
        clear *= 1 - s.opacity * normalCdf(-past / s.sigma);
    }
    return 1 - clear;
}

AuditPalette whiteCanvas()
{
    AuditPalette palette = ViewTest::distinctPalette();
    palette.canvas = vantHex(0xFFFFFF);
    return palette;
}

QPalette whiteBackground()
{
    QPalette palette;
    for (const auto role : {QPalette::Window, QPalette::Base})
        palette.setColor(role, Qt::white);
    return palette;
}

// Darkness of a pixel on the white canvas: 0 for none, 1 for black.
double alphaAt(const QImage &image, QPoint at)
{
    return 1.0 - qGray(image.pixel(at)) / 255.0;
}

struct ProfilePoint {
    Edge edge;
    int distance; // whole pixels outside the edge; the pixel's centre is half a pixel further
};

// Reads the shadow outside the middle of each edge of `card` in `window`'s picture.
void expectShadowProfile(Window &window, AuditCard *card, const QList<ProfilePoint> &points, const char *where)
{
    const QImage image = window.picture();
    const QRect r(card->mapTo(&window, QPoint(0, 0)), card->size());
    for (const ProfilePoint &p : points) {
        QPoint at;
        switch (p.edge) {
        case Edge::bottom: at = QPoint(r.center().x(), r.bottom() + 1 + p.distance); break;
        case Edge::top: at = QPoint(r.center().x(), r.top() - 1 - p.distance); break;
        case Edge::side: at = QPoint(r.right() + 1 + p.distance, r.center().y()); break;
        }
        const double expected = expectedAlpha(p.edge, p.distance + 0.5);
        EXPECT_NEAR(alphaAt(image, at), expected, 0.012 + 0.1 * expected)
            << where << ": edge " << int(p.edge) << ", " << p.distance << " px out";
    }
}

const QList<ProfilePoint> kFullProfile = {
    {Edge::bottom, 0},  {Edge::bottom, 1},  {Edge::bottom, 3},  {Edge::bottom, 8}, {Edge::bottom, 15},
    {Edge::bottom, 22}, {Edge::bottom, 30}, {Edge::bottom, 40}, {Edge::top, 0},    {Edge::top, 6},
    {Edge::top, 14},    {Edge::side, 0},    {Edge::side, 2},    {Edge::side, 10},  {Edge::side, 24},
};

AuditCard *fixedCard()
{
    auto *card = new AuditCard;
    card->setFixedSize(300, 200);
    return card;
}

// The shadow is as soft as its blur radii say, all round the card: no hard dark line at
// the bottom edge and a wide, faint fall-off on a light canvas.
TEST(AuditCard, ShadowsFallOffAsTheirBlurRadiiSay)
{
    Window window(whiteCanvas());
    window.layout()->setContentsMargins(70, 70, 70, 70);
    AuditCard *card = fixedCard();
    window.add(card);
    window.show();
    expectShadowProfile(window, card, kFullProfile, "on the canvas");
    // The card itself is drawn over its shadows.
    EXPECT_EQ(window.pixel(card, QPoint(150, 100)), whiteCanvas().card);
}

// A container that paints its own background and holds the card flush must not cut the
// shadow at its edges: the shadow goes on outside it, over what lies around.
TEST(AuditCard, AFlushFilledContainerDoesNotClipTheShadow)
{
    Window window(whiteCanvas());
    window.layout()->setContentsMargins(70, 70, 70, 70);
    auto *container = new QWidget;
    container->setPalette(whiteBackground());
    container->setAutoFillBackground(true);
    auto *column = new QVBoxLayout(container);
    column->setContentsMargins(0, 0, 0, 0);
    AuditCard *card = fixedCard();
    column->addWidget(card);
    window.add(container);
    window.show();
    expectShadowProfile(window, card, kFullProfile, "in a filled container");
}

TEST(AuditCard, AScrollAreaShowsTheShadowInsideAndCutsItAtItsEdge)
{
    Window window(whiteCanvas());
    window.layout()->setContentsMargins(70, 70, 70, 70);
    auto *area = new QScrollArea;
    area->setFrameShape(QFrame::NoFrame);
    area->setPalette(whiteBackground());
    area->setFixedSize(420, 320);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    AuditCard *card = fixedCard();
    column->addWidget(card);
    area->setWidget(content); // the content paints its background; the card sits flush in it
    window.add(area);
    window.show();
    ASSERT_TRUE(content->autoFillBackground());
    expectShadowProfile(window, card, {{Edge::bottom, 3}, {Edge::bottom, 15}, {Edge::bottom, 30}, {Edge::side, 2},
                                       {Edge::side, 10}},
                        "in a scroll area");

    // Content scrolled past the area's edge ends there: nothing of it, shadow included,
    // shows on the window below.
    area->setFixedSize(320, 120);
    window.adjustSize();
    QTest::qWait(0);
    const QImage image = window.picture();
    const QRect areaRect(area->mapTo(&window, QPoint(0, 0)), area->size());
    for (int below : {1, 5, 20, 40}) {
        const QPoint at(areaRect.center().x(), areaRect.bottom() + below);
        EXPECT_EQ(QColor(image.pixel(at)), QColor(Qt::white)) << below << " px below the scroll area";
    }
}

// The shadow lives in an ancestor; it follows the card and goes with it.
TEST(AuditCard, TheShadowFollowsTheCardAndGoesWithIt)
{
    Window window(whiteCanvas());
    window.layout()->setContentsMargins(70, 70, 70, 70);
    auto *column = new QWidget;
    auto *inner = new QVBoxLayout(column);
    inner->setContentsMargins(0, 0, 0, 0);
    AuditCard *card = fixedCard();
    inner->addWidget(card);
    window.add(column);
    window.show();
    const QPoint below = card->mapTo(&window, QPoint(150, 200 + 15));
    const double shadow = expectedAlpha(Edge::bottom, 15.5);
    EXPECT_NEAR(alphaAt(window.picture(), below), shadow, 0.02);

    card->hide();
    EXPECT_EQ(alphaAt(window.picture(), below), 0.0) << "hidden";
    card->show();
    EXPECT_NEAR(alphaAt(window.picture(), below), shadow, 0.02) << "shown again";

    // Moved within the window: the shadow moves with it.
    window.layout()->setContentsMargins(70, 120, 70, 20);
    window.layout()->activate();
    const QPoint moved = card->mapTo(&window, QPoint(150, 200 + 15));
    ASSERT_NE(moved, below);
    const QImage image = window.picture();
    EXPECT_NEAR(alphaAt(image, moved), shadow, 0.02) << "moved";
    EXPECT_EQ(QColor(image.pixel(below)), whiteCanvas().card) << "the old place is card now";

    // Into another container of the same window, which then moves: the shadow goes along.
    auto *loose = new QWidget(&window); // placed by hand, outside the window's layout
    auto *looseLayout = new QVBoxLayout(loose);
    looseLayout->setContentsMargins(0, 0, 0, 0);
    looseLayout->addWidget(card);
    loose->setGeometry(60, 20, 300, 200);
    loose->show();
    QCoreApplication::processEvents();
    loose->move(70, 60);
    const QPoint beside = card->mapTo(&window, QPoint(150, 200 + 15));
    EXPECT_EQ(beside, QPoint(70 + 150, 60 + 215));
    EXPECT_NEAR(alphaAt(window.picture(), beside), shadow, 0.02) << "moved with its container";

    // Into another window, then gone.
    Window other(whiteCanvas());
    other.layout()->setContentsMargins(70, 70, 70, 70);
    other.add(card);
    other.show();
    window.layout()->activate();
    EXPECT_EQ(alphaAt(window.picture(), beside), 0.0) << "moved out";
    const QPoint there = card->mapTo(&other, QPoint(150, 200 + 15));
    EXPECT_NEAR(alphaAt(other.picture(), there), shadow, 0.02) << "moved in";
    delete card;
    EXPECT_EQ(alphaAt(other.picture(), there), 0.0) << "deleted";
}

} // namespace
