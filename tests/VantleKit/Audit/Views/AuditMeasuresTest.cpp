#include "VantleKit/Audit/Views/AuditActions.h"
#include "VantleKit/Audit/Views/AuditAltButton.h"
#include "VantleKit/Audit/Views/AuditBackButton.h"
#include "VantleKit/Audit/Views/AuditCard.h"
#include "VantleKit/Audit/Views/AuditChipButton.h"
#include "VantleKit/Audit/Views/AuditChipGroup.h"
#include "VantleKit/Audit/Views/AuditChips.h"
#include "VantleKit/Audit/Views/AuditFont.h"
#include "VantleKit/Audit/Views/AuditH1.h"
#include "VantleKit/Audit/Views/AuditHelp.h"
#include "VantleKit/Audit/Views/AuditLabel.h"
#include "VantleKit/Audit/Views/AuditPrimaryButton.h"
#include "VantleKit/Audit/Views/AuditQSub.h"
#include "VantleKit/Audit/Views/AuditRemoveButton.h"
#include "VantleKit/Audit/Views/AuditStepButton.h"
#include "VantleKit/Audit/Views/AuditStepper.h"
#include "VantleKit/Audit/Views/AuditTextInput.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>

namespace {

int advance(const QFont &font, const QString &text)
{
    return int(std::ceil(QFontMetricsF(font).horizontalAdvance(text)));
}

int lineHeight(const QFont &font)
{
    return int(std::ceil(QFontMetricsF(font).height()));
}

// A chip is its label plus its padding: 12 a side around a text area of at least 62 for day
// chips, 16 a side for the others; 44 high.
TEST(AuditMeasures, ChipsAreTheirLabelPlusTheirPadding)
{
    const struct {
        const char *label;
        bool day;
        bool on;
    } cases[] = {
        {"Mon", true, false},       {"Sun", true, true},     {"Wednesday and Thursday", true, false},
        {"6:30 AM", false, false},  {"8h", false, true},     {"10:30 PM", false, true},
        {"8\u00BDh", false, false},
    };
    for (const auto &c : cases) {
        const QString label = QString::fromUtf8(c.label);
        const QFont::Weight weight = c.on ? QFont::Bold : QFont::DemiBold;
        const QFont font = c.day ? AuditFont::system(15, weight) : AuditFont::mono(16, weight);
        const QFontMetricsF metrics(font);
        const int width = c.day ? int(std::ceil(std::max<qreal>(62, metrics.horizontalAdvance(label)))) + 24
                                : advance(font, label) + 32;
        EXPECT_EQ(AuditChipButton({1, label}, c.day, c.on).sizeHint(), QSize(width, 44)) << c.label;
    }
    EXPECT_EQ(AuditChipButton({0, "Mon"}, true, false).sizeHint().width(), 86);
}

TEST(AuditMeasures, ChipRowsWrapTenApart)
{
    AuditChips chips({{0, "Mon"}, {1, "Tue"}, {2, "Wed"}}, true, [](double) { return false; });
    // Three day chips of 86 with two gaps of 10 fit 278 exactly; one less wraps the third.
    EXPECT_EQ(chips.heightForWidth(278), 44);
    EXPECT_EQ(chips.heightForWidth(277), 98);
}

// The stepper is its two round buttons and its value, 12 apart, at its own size.
TEST(AuditMeasures, StepperIsItsButtonsAndItsValue)
{
    const struct {
        const char *value;
        std::optional<QString> suffix;
        AuditStepper::Size size;
        int diameter;
        int valueFont;
        int minValueWidth;
    } cases[] = {
        {"8", QStringLiteral("h/night"), AuditStepper::Size::lg, 40, 24, 96},
        {"2", std::nullopt, AuditStepper::Size::md, 36, 21, 80},
        {"2", QStringLiteral("× a week and then some more"), AuditStepper::Size::md, 36, 21, 80},
        {"112½", std::nullopt, AuditStepper::Size::lg, 40, 24, 96},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        const QFont valueFont = AuditFont::mono(c.valueFont, QFont::Bold);
        const QFont suffixFont = AuditFont::system(14);
        const QString tail = c.suffix ? QStringLiteral(" ") + *c.suffix : QString();
        const qreal textWidth = QFontMetricsF(valueFont).horizontalAdvance(QString::fromUtf8(c.value))
                                + (tail.isEmpty() ? 0 : QFontMetricsF(suffixFont).horizontalAdvance(tail));
        const int valueWidth = std::max(c.minValueWidth, int(std::ceil(textWidth)));

        QWidget host;
        auto *layout = new QHBoxLayout(&host);
        auto *stepper = new AuditStepper(QString::fromUtf8(c.value), c.suffix, "Less", "More", c.size);
        layout->addWidget(stepper);
        host.resize(700, 200);
        host.show();
        EXPECT_EQ(stepper->decButton()->size(), QSize(c.diameter, c.diameter));
        EXPECT_EQ(stepper->incButton()->size(), QSize(c.diameter, c.diameter));
        EXPECT_EQ(stepper->valueView()->width(), valueWidth);
        EXPECT_EQ(stepper->width(), 2 * c.diameter + 2 * 12 + valueWidth);
        EXPECT_EQ(stepper->valueView()->x() - stepper->decButton()->geometry().right() - 1, 12);
        EXPECT_EQ(stepper->incButton()->x() - stepper->valueView()->geometry().right() - 1, 12);
        EXPECT_EQ(stepper->valueView()->accessibleName(), QString::fromUtf8(c.value) + tail);
    }
    AuditStepper stepper("8", std::nullopt, "Less Sleep", "More Sleep", AuditStepper::Size::lg);
    EXPECT_EQ(stepper.decButton()->text(), QStringLiteral("\u2212"));
    EXPECT_EQ(stepper.incButton()->text(), QStringLiteral("+"));
    EXPECT_EQ(stepper.decButton()->accessibleName(), QStringLiteral("Less Sleep"));
}

// Each button is its title plus its padding; the primary button at least its minimum height.
TEST(AuditMeasures, ButtonsAreTheirTitlePlusTheirPadding)
{
    QFont underlined = AuditFont::system(14);
    underlined.setUnderline(true);
    const QFont bold17 = AuditFont::system(17, QFont::Bold), bold15 = AuditFont::system(15, QFont::Bold);
    const QFont regular15 = AuditFont::system(15), regular19 = AuditFont::system(19);
    const QString next = QStringLiteral("See my week →"), add = QStringLiteral("Add it");
    const QString back = QStringLiteral("← Back"), alt = QStringLiteral("Irregular schedule? Pencil in 45h");
    const QString times = QStringLiteral("\u00D7");
    const struct {
        const char *name;
        std::function<QWidget *()> make;
        QSize size;
    } cases[] = {
        {"primary lg", [&] { return new AuditPrimaryButton(next, AuditPrimaryButton::Size::lg); },
         QSize(advance(bold17, next) + 56, std::max(50, lineHeight(bold17)))},
        {"primary sm", [&] { return new AuditPrimaryButton(add, AuditPrimaryButton::Size::sm); },
         QSize(advance(bold15, add) + 44, std::max(44, lineHeight(bold15)))},
        {"back", [&] { return new AuditBackButton(back); }, QSize(advance(regular15, back), lineHeight(regular15) + 20)},
        {"alt", [&] { return new AuditAltButton(alt); }, QSize(advance(underlined, alt), lineHeight(underlined) + 16)},
        {"remove", [] { return new AuditRemoveButton("Remove Guitar"); },
         QSize(advance(regular19, times) + 20, lineHeight(regular19) + 12)},
        {"step md", [] { return new AuditStepButton("+", "More", 36); }, QSize(36, 36)},
        {"step lg", [] { return new AuditStepButton("+", "More", 40); }, QSize(40, 40)},
    };
    for (const auto &c : cases) {
        std::unique_ptr<QWidget> widget(c.make());
        EXPECT_EQ(widget->sizeHint(), c.size) << c.name;
    }
    AuditRemoveButton remove("Remove Guitar");
    EXPECT_EQ(remove.text(), QStringLiteral("\u00D7"));
    EXPECT_EQ(remove.accessibleName(), QStringLiteral("Remove Guitar"));
    // The input: 11 above and below its line of regular 16.
    EXPECT_EQ(AuditTextInput("Name").sizeHint().height(), lineHeight(AuditFont::system(16)) + 22);
}

// The card is its content plus 32 a side and 28 above and below.
TEST(AuditMeasures, CardIsItsContentPlusItsPadding)
{
    AuditCard card;
    auto *content = new QWidget;
    content->setFixedSize(100, 50);
    card.addWidget(content);
    EXPECT_EQ(card.sizeHint(), QSize(164, 106));
    EXPECT_EQ(card.minimumSizeHint(), QSize(164, 106));
    auto *more = new QWidget;
    more->setFixedSize(60, 20);
    card.addWidget(more);
    EXPECT_EQ(card.sizeHint(), QSize(164, 126)); // no spacing between children
}

// The text styles: a line's height plus the padding, and the extra space between lines.
TEST(AuditMeasures, TextStylesPadAndSpaceTheirLines)
{
    const struct {
        const char *style;
        std::function<AuditLabel *(const QString &)> make;
        QFont font;
        int padding;
        int lineSpacing;
    } cases[] = {
        {"heading", [](const QString &t) { return new AuditH1(t); }, AuditFont::system(34, QFont::ExtraBold), 14, 3},
        {"question", [](const QString &t) { return new AuditQSub(t); }, AuditFont::system(17), 30, 5},
        {"help", [](const QString &t) { return new AuditHelp({AuditTextRun::plain(t)}); }, AuditFont::system(15), 24, 4},
    };
    for (const auto &c : cases) {
        std::unique_ptr<AuditLabel> one(c.make(QStringLiteral("Meals")));
        std::unique_ptr<AuditLabel> two(c.make(QStringLiteral("Meals\u2028chores")));
        const qreal line = QFontMetricsF(c.font).lineSpacing();
        const int oneHeight = one->heightForWidth(600);
        EXPECT_NEAR(oneHeight, line + c.padding, 1.0) << c.style;
        EXPECT_NEAR(two->heightForWidth(600) - oneHeight, line + c.lineSpacing, 1.0) << c.style;
    }
    // The question is set in at most 620 of any width.
    const QString sentence = QString(40, QLatin1Char('x')).replace(QLatin1String("x"), QStringLiteral("words "));
    AuditQSub question(sentence);
    EXPECT_EQ(question.sizeHint().width(), 620);
    EXPECT_EQ(question.heightForWidth(2000), question.heightForWidth(620));
    EXPECT_GT(question.heightForWidth(400), question.heightForWidth(620));
}

TEST(AuditMeasures, ChipGroupPadsAllButTheLast)
{
    auto group = [](bool last) {
        auto *widget = new AuditChipGroup("Sleep a night", last, new AuditChips({{6, "6h"}}, false, nullptr));
        return widget;
    };
    QWidget host;
    auto *layout = new QVBoxLayout(&host);
    AuditChipGroup *middle = group(false);
    AuditChipGroup *last = group(true);
    layout->addWidget(middle);
    layout->addWidget(last);
    const int label = last->label()->heightForWidth(400);
    EXPECT_EQ(last->heightForWidth(400), label + 12 + 44);
    EXPECT_EQ(middle->heightForWidth(400), label + 12 + 44 + 26);
    host.resize(400, 400);
    host.show();
    EXPECT_EQ(last->content()->y() - last->label()->geometry().bottom() - 1, 12);
}

TEST(AuditMeasures, ActionsRowSitsThirtyFourBelow)
{
    QWidget host;
    auto *layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *trailing = new AuditPrimaryButton("Next →", AuditPrimaryButton::Size::lg);
    auto *actions = new AuditActions(nullptr, trailing);
    layout->addWidget(actions);
    host.resize(700, 200);
    host.show();
    EXPECT_EQ(trailing->y(), 34);
    EXPECT_EQ(trailing->geometry().right(), 699);
}

// The room between the two sides is a child of the row like them, so 18 stands on each side
// of it: squeezed, the two sides stay 36 apart; with one side missing, 18 from the edge.
TEST(AuditMeasures, ActionsKeepEighteenEitherSideOfTheRoom)
{
    struct Case {
        const char *name;
        bool leading;
        bool trailing;
        int gap;
    };
    const Case cases[] = {
        {"both sides", true, true, 36},
        {"trailing only", false, true, 18},
        {"leading only", true, false, 18},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto *back = c.leading ? new AuditPrimaryButton("Back", AuditPrimaryButton::Size::sm) : nullptr;
        auto *next = c.trailing ? new AuditPrimaryButton("Next →", AuditPrimaryButton::Size::lg) : nullptr;
        AuditActions actions(back, next);
        const int sides = (back ? back->sizeHint().width() : 0) + (next ? next->sizeHint().width() : 0);
        EXPECT_EQ(actions.minimumSizeHint().width(), sides + c.gap);
        if (back && next) {
            actions.resize(actions.minimumSizeHint().width(), actions.sizeHint().height());
            actions.show();
            EXPECT_EQ(next->x() - (back->geometry().right() + 1), 36);
        }
    }
}

} // namespace
