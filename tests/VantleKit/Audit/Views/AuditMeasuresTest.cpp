#include "VantleKit/Audit/Views/AuditActions.h"
#include "VantleKit/Audit/Views/AuditChipButton.h"
#include "VantleKit/Audit/Views/AuditChipGroup.h"
#include "VantleKit/Audit/Views/AuditChips.h"
#include "VantleKit/Audit/Views/AuditLabel.h"
#include "VantleKit/Audit/Views/AuditPrimaryButton.h"
#include "VantleKit/Audit/Views/AuditRemoveButton.h"
#include "VantleKit/Audit/Views/AuditStepButton.h"
#include "VantleKit/Audit/Views/AuditStepper.h"
#include "VantleKit/Audit/Views/AuditTextInput.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

TEST(AuditMeasures, Chips)
{
    struct Case {
        const char *name;
        bool day;
        bool on;
        QString label;
        int minWidth;
    };
    const Case cases[] = {
        {"day chip, short label", true, false, "Mon", 86},
        {"day chip on", true, true, "Sun", 86},
        {"day chip, long label", true, false, "Wednesday and Thursday", 86},
        {"time chip", false, false, "6:30 AM", 32},
        {"hour chip on", false, true, "8h", 32},
    };
    for (const Case &c : cases) {
        AuditChipButton chip({1, c.label}, c.day, c.on);
        const QSize size = chip.sizeHint();
        EXPECT_GE(size.width(), c.minWidth) << c.name;
        EXPECT_EQ(size.height(), 44) << c.name;
    }
    // Short day labels all come out the same width: the 62-wide text area plus 12 a side.
    EXPECT_EQ(AuditChipButton({0, "Mon"}, true, false).sizeHint().width(),
              AuditChipButton({1, "Wed"}, true, true).sizeHint().width());
    EXPECT_EQ(AuditChipButton({0, "Mon"}, true, false).sizeHint().width(), 86);
    // Other chips grow with their text: 16 a side around it.
    EXPECT_GT(AuditChipButton({1, "10:30 PM"}, false, false).sizeHint().width(),
              AuditChipButton({1, "6h"}, false, false).sizeHint().width());
    EXPECT_GT(AuditChipButton({1, "Wednesday and Thursday"}, true, false).sizeHint().width(), 86 + 24);
}

TEST(AuditMeasures, ChipRowsWrapTenApart)
{
    AuditChips chips({{0, "Mon"}, {1, "Tue"}, {2, "Wed"}}, true, [](double) { return false; });
    // Three day chips of 86 with two gaps of 10 fit 278 exactly; one less wraps the third.
    EXPECT_EQ(chips.heightForWidth(278), 44);
    EXPECT_EQ(chips.heightForWidth(277), 98);
}

TEST(AuditMeasures, Stepper)
{
    struct Case {
        AuditStepper::Size size;
        int diameter;
        int minValueWidth;
    };
    for (const Case &c : {Case{AuditStepper::Size::lg, 40, 96}, Case{AuditStepper::Size::md, 36, 80}}) {
        QWidget host;
        auto *layout = new QHBoxLayout(&host);
        auto *stepper = new AuditStepper("8", QStringLiteral("h/night"), "Less Sleep", "More Sleep", c.size);
        layout->addWidget(stepper);
        host.resize(600, 200);
        host.show();
        EXPECT_EQ(stepper->decButton()->size(), QSize(c.diameter, c.diameter));
        EXPECT_EQ(stepper->incButton()->size(), QSize(c.diameter, c.diameter));
        EXPECT_GE(stepper->valueView()->width(), c.minValueWidth);
        EXPECT_EQ(stepper->valueView()->x() - stepper->decButton()->geometry().right() - 1, 12);
        EXPECT_EQ(stepper->incButton()->x() - stepper->valueView()->geometry().right() - 1, 12);
        // It keeps its own size in a wide row.
        EXPECT_EQ(stepper->width(), stepper->sizeHint().width());
        EXPECT_EQ(stepper->decButton()->text(), QStringLiteral("\u2212"));
        EXPECT_EQ(stepper->incButton()->text(), QStringLiteral("+"));
        EXPECT_EQ(stepper->decButton()->accessibleName(), QStringLiteral("Less Sleep"));
    }
}

TEST(AuditMeasures, StepperValueWidthFollowsTheTextAndTheSuffix)
{
    AuditStepper plain("2", std::nullopt, "Fewer", "More", AuditStepper::Size::md);
    AuditStepper suffixed("2", QStringLiteral("× a week and then some more"), "Fewer", "More", AuditStepper::Size::md);
    EXPECT_EQ(plain.valueView()->sizeHint().width(), 80);
    EXPECT_GT(suffixed.valueView()->sizeHint().width(), 80);
    EXPECT_EQ(plain.valueView()->accessibleName(), QStringLiteral("2"));
    EXPECT_EQ(suffixed.valueView()->accessibleName(), QStringLiteral("2 × a week and then some more"));
}

TEST(AuditMeasures, ButtonsAndInput)
{
    EXPECT_EQ(AuditPrimaryButton("Next →", AuditPrimaryButton::Size::lg).sizeHint().height(), 50);
    EXPECT_EQ(AuditPrimaryButton("Add it", AuditPrimaryButton::Size::sm).sizeHint().height(), 44);
    EXPECT_GT(AuditPrimaryButton("Next →", AuditPrimaryButton::Size::lg).sizeHint().width(), 56);
    EXPECT_EQ(AuditStepButton("+", "More", 36).sizeHint(), QSize(36, 36));

    AuditRemoveButton remove("Remove Guitar");
    EXPECT_EQ(remove.text(), QStringLiteral("\u00D7"));
    EXPECT_EQ(remove.accessibleName(), QStringLiteral("Remove Guitar"));
    EXPECT_GT(remove.sizeHint().width(), 20);
    EXPECT_GT(remove.sizeHint().height(), 12);

    AuditTextInput input("Name");
    EXPECT_GT(input.sizeHint().height(), 22);
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
    EXPECT_EQ(middle->heightForWidth(400) - last->heightForWidth(400), 26);
    // 12 between the label and the chips.
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
