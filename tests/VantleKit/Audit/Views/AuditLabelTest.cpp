#include "VantleKit/Audit/Views/AuditCard.h"
#include "VantleKit/Audit/Views/AuditChipGroup.h"
#include "VantleKit/Audit/Views/AuditChips.h"
#include "VantleKit/Audit/Views/AuditFont.h"
#include "VantleKit/Audit/Views/AuditH1.h"
#include "VantleKit/Audit/Views/AuditHelp.h"
#include "VantleKit/Audit/Views/AuditLabel.h"
#include "VantleKit/Audit/Views/AuditQSub.h"

#include "ViewTestSupport.h"

#include <QFontMetricsF>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// A name of 40 characters without a space, as a user may type one.
const QString kLongName = QStringLiteral("Supercalifragilisticexpialidociousnesses");

// A word longer than the width breaks inside itself: the label never asks for more than its
// widest character, so a long name cannot push the card or the window wider.
TEST(AuditLabel, AWordWiderThanTheLineBreaksInside)
{
    ASSERT_EQ(kLongName.size(), 40);
    using Make = std::function<AuditLabel *()>;
    const struct {
        const char *style;
        Make make;
        QFont font;
    } cases[] = {
        {"heading", [] { return new AuditH1(kLongName); }, AuditFont::system(34, QFont::ExtraBold)},
        {"question", [] { return new AuditQSub(kLongName); }, AuditFont::system(17)},
        {"help", [] { return new AuditHelp({AuditTextRun::plain(kLongName)}); }, AuditFont::system(15)},
        {"plain 15", [] { return new AuditLabel(kLongName, AuditFont::system(15), AuditRole::text); },
         AuditFont::system(15)},
    };
    for (const auto &c : cases) {
        std::unique_ptr<AuditLabel> label(c.make());
        const QFontMetricsF metrics(c.font);
        const int padding = label->padding().left() + label->padding().right();
        qreal widest = 0;
        for (const QChar ch : kLongName)
            widest = std::max(widest, metrics.horizontalAdvance(ch));
        // At most the widest character (with a little room for letter spacing and rounding).
        EXPECT_LE(label->minimumSizeHint().width(), padding + int(std::ceil(widest)) + 2) << c.style;
        // Its natural width is still the one line (the heading's letters sit a little closer).
        EXPECT_GE(label->sizeHint().width(), padding + int(0.9 * metrics.horizontalAdvance(kLongName))) << c.style;
        // In a third of that width it takes three lines or more, all of them shown.
        const int third = label->sizeHint().width() / 3;
        const int oneLine = label->heightForWidth(label->sizeHint().width());
        EXPECT_GE(label->heightForWidth(third) - label->padding().top() - label->padding().bottom(),
                  3 * (oneLine - label->padding().top() - label->padding().bottom()) - 1)
            << c.style;
    }
}

// A card holding a heading and a group label of a long name fits a narrow window.
TEST(AuditLabel, ALongNameLeavesTheCardAsNarrowAsItsPadding)
{
    ViewTest::Window window;
    auto *card = new AuditCard;
    card->addWidget(new AuditH1(kLongName));
    card->addWidget(new AuditChipGroup(kLongName, true, new AuditChips({{1, QStringLiteral("1h")}}, false, nullptr)));
    window.add(card, {});
    EXPECT_LE(card->minimumSizeHint().width(), 64 + 90);
    window.resize(420, 600);
    window.show();
    EXPECT_LE(window.width(), 420);
    EXPECT_LE(card->width(), 400);
    // Every character is drawn inside the card: the heading's last line holds ink.
    const QImage image = window.picture();
    auto *heading = card->findChild<AuditH1 *>();
    ASSERT_NE(heading, nullptr);
    const QRect inWindow(heading->mapTo(&window, QPoint(0, 0)), heading->size());
    const int textBottom = inWindow.top() + heading->heightForWidth(heading->width()) - 14;
    EXPECT_GT(textBottom - inWindow.top(), 3 * 34);
    const QRect lastLine(inWindow.left(), textBottom - 40, inWindow.width(), 40);
    EXPECT_NE(ViewTest::inkIn(image, lastLine, ViewTest::distinctPalette().card), ViewTest::distinctPalette().card);
}

} // namespace
