#include "VantleKit/Audit/Views/AuditFlowLayout.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <optional>

namespace {

struct PlacementCase {
    const char *name;
    QList<QSize> sizes;
    std::optional<int> width;
    int hSpacing;
    int vSpacing;
    QList<QPoint> origins;
    QSize size;
};

class PlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTest, PlacesAndMeasures)
{
    const PlacementCase &c = GetParam();
    const AuditFlowPlacement placement = AuditFlowLayout::place(c.sizes, c.width, c.hSpacing, c.vSpacing);
    EXPECT_EQ(placement.origins, c.origins) << c.name;
    EXPECT_EQ(placement.size, c.size) << c.name;
}

const QSize chip(50, 44);

INSTANTIATE_TEST_SUITE_P(
    Cases, PlacementTest,
    ::testing::Values(
        PlacementCase{"no items, width given", {}, 300, 10, 10, {}, QSize(300, 0)},
        PlacementCase{"no items, no width", {}, std::nullopt, 10, 10, {}, QSize(0, 0)},
        PlacementCase{"three chips in 120", {chip, chip, chip}, 120, 10, 10,
                      {QPoint(0, 0), QPoint(60, 0), QPoint(0, 54)}, QSize(120, 98)},
        PlacementCase{"no width: one line, n-1 gaps, tallest height",
                      {QSize(50, 44), QSize(30, 60), QSize(20, 10)}, std::nullopt, 20, 8,
                      {QPoint(0, 0), QPoint(70, 0), QPoint(120, 0)}, QSize(140, 60)},
        PlacementCase{"exact fit stays on the line", {chip, chip}, 110, 10, 10,
                      {QPoint(0, 0), QPoint(60, 0)}, QSize(110, 44)},
        PlacementCase{"one pixel more wraps", {chip, QSize(51, 44)}, 110, 10, 10,
                      {QPoint(0, 0), QPoint(0, 54)}, QSize(110, 98)},
        PlacementCase{"width zero: one item per line", {chip, chip, chip}, 0, 10, 10,
                      {QPoint(0, 0), QPoint(0, 54), QPoint(0, 108)}, QSize(0, 152)},
        PlacementCase{"oversized item stands alone; the next starts a new line",
                      {chip, QSize(200, 44), chip}, 120, 10, 10,
                      {QPoint(0, 0), QPoint(0, 54), QPoint(0, 108)}, QSize(120, 152)},
        PlacementCase{"oversized first item stays on the first line", {QSize(200, 30), chip}, 120, 10, 10,
                      {QPoint(0, 0), QPoint(0, 40)}, QSize(120, 84)},
        PlacementCase{"lines top-aligned, next line below the tallest",
                      {QSize(40, 20), QSize(40, 60), QSize(40, 30)}, 100, 10, 16,
                      {QPoint(0, 0), QPoint(50, 0), QPoint(0, 76)}, QSize(100, 106)},
        PlacementCase{"the gap after the last item of a line does not count",
                      {QSize(45, 10), QSize(45, 10)}, 100, 10, 10, {QPoint(0, 0), QPoint(55, 0)}, QSize(100, 10)},
        PlacementCase{"the legend's spacing", {QSize(60, 16), QSize(60, 16), QSize(60, 16)}, 150, 20, 8,
                      {QPoint(0, 0), QPoint(80, 0), QPoint(0, 24)}, QSize(150, 40)}),
    [](const ::testing::TestParamInfo<PlacementCase> &info) { return "case" + std::to_string(info.index); });

class FixedBox final : public QWidget {
public:
    explicit FixedBox(QSize size) : m_size(size) {}
    QSize sizeHint() const override { return m_size; }

private:
    QSize m_size;
};

TEST(AuditFlowLayout, PlacesWidgetsAtTheirIdealSizeAndReportsHeightForWidth)
{
    QWidget host;
    auto *layout = new AuditFlowLayout(10, 10, &host);
    QList<FixedBox *> boxes;
    for (int i = 0; i < 3; ++i) {
        boxes.append(new FixedBox(QSize(50, 44)));
        layout->addWidget(boxes.last());
    }
    EXPECT_EQ(layout->heightForWidth(120), 98);
    EXPECT_EQ(layout->heightForWidth(170), 44);
    EXPECT_EQ(layout->sizeHint(), QSize(170, 44));
    EXPECT_EQ(layout->minimumSize().width(), 50);

    layout->setGeometry(QRect(5, 7, 120, 98));
    EXPECT_EQ(boxes[0]->geometry(), QRect(5, 7, 50, 44));
    EXPECT_EQ(boxes[1]->geometry(), QRect(65, 7, 50, 44));
    EXPECT_EQ(boxes[2]->geometry(), QRect(5, 61, 50, 44));
}

// The items flow in the width between the margins, on both sides: three items of 50 need 170.
TEST(AuditFlowLayout, TheMarginsOnBothSidesNarrowTheLine)
{
    const struct {
        QMargins margins;
        int width;
        int height;
    } cases[] = {
        {QMargins(40, 0, 0, 0), 200, 98}, {QMargins(0, 0, 40, 0), 200, 98}, {QMargins(20, 0, 20, 0), 200, 98},
        {QMargins(0, 0, 30, 0), 200, 44}, {QMargins(15, 5, 15, 7), 200, 56},
    };
    for (const auto &c : cases) {
        QWidget host;
        auto *layout = new AuditFlowLayout(10, 10, &host);
        layout->setContentsMargins(c.margins);
        QList<FixedBox *> boxes;
        for (int i = 0; i < 3; ++i) {
            boxes.append(new FixedBox(QSize(50, 44)));
            layout->addWidget(boxes.last());
        }
        const int wraps = c.height - c.margins.top() - c.margins.bottom() > 44;
        EXPECT_EQ(layout->heightForWidth(c.width), c.height) << c.margins.left() << "/" << c.margins.right();
        // Placing follows the same line.
        layout->setGeometry(QRect(0, 0, c.width, c.height));
        EXPECT_EQ(boxes[2]->geometry().topLeft(),
                  wraps ? QPoint(c.margins.left(), c.margins.top() + 54) : QPoint(c.margins.left() + 120, c.margins.top()));
    }
}

TEST(AuditFlowLayout, HiddenWidgetsTakeNoPlace)
{
    QWidget host;
    auto *layout = new AuditFlowLayout(10, 10, &host);
    auto *a = new FixedBox(QSize(50, 44));
    auto *b = new FixedBox(QSize(50, 44));
    auto *c = new FixedBox(QSize(50, 44));
    layout->addWidget(a);
    layout->addWidget(b);
    layout->addWidget(c);
    b->hide();
    host.show();
    layout->setGeometry(QRect(0, 0, 120, 44));
    EXPECT_EQ(c->geometry().topLeft(), QPoint(60, 0));
    EXPECT_EQ(layout->heightForWidth(120), 44);
}

} // namespace
