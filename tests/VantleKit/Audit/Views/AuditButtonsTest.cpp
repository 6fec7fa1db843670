#include "VantleKit/Audit/Views/AuditBackButton.h"
#include "VantleKit/Audit/Views/AuditChipButton.h"
#include "VantleKit/Audit/Views/AuditChips.h"
#include "VantleKit/Audit/Views/AuditDashedButton.h"
#include "VantleKit/Audit/Views/AuditDefaultAction.h"
#include "VantleKit/Audit/Views/AuditPalette.h"
#include "VantleKit/Audit/Views/AuditPrimaryButton.h"
#include "VantleKit/Audit/Views/AuditRemoveButton.h"
#include "VantleKit/Audit/Views/AuditStepButton.h"
#include "VantleKit/Audit/Views/AuditTextInput.h"

#include "ViewTestSupport.h"

#include <QLineEdit>
#include <QShortcut>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>

namespace {

using ViewTest::hover;
using ViewTest::Window;

const AuditPalette kPalette = ViewTest::distinctPalette();

TEST(AuditPrimaryButton, ReturnActsOnlyOnAnEnabledVisibleDefaultButton)
{
    struct Case {
        const char *name;
        bool isDefault;
        bool enabled;
        bool visible;
        int clicks;
    };
    const Case cases[] = {
        {"enabled default", true, true, true, 1},
        {"disabled default", true, false, true, 0},
        {"not default", false, true, true, 0},
        {"default on a hidden screen", true, true, false, 0},
    };
    for (const bool installed : {false, true}) {
        for (const Case &c : cases) {
            Window window;
            auto *screen = new QWidget;
            auto *column = new QVBoxLayout(screen);
            auto *button = new AuditPrimaryButton(QStringLiteral("Next →"), AuditPrimaryButton::Size::lg, c.isDefault);
            column->addWidget(button);
            window.add(screen);
            if (installed)
                AuditDefaultAction::install(&window);
            button->setEnabled(c.enabled);
            screen->setVisible(c.visible);
            ASSERT_TRUE(window.activate()) << c.name;
            QSignalSpy clicked(button, &AuditPrimaryButton::clicked);
            QTest::keyClick(&window, Qt::Key_Return);
            EXPECT_EQ(clicked.size(), c.clicks) << c.name << (installed ? ", handler installed" : "");
            QTest::keyClick(&window, Qt::Key_Enter);
            EXPECT_EQ(clicked.size(), 2 * c.clicks) << c.name << (installed ? ", handler installed" : "");
        }
    }
}

TEST(AuditPrimaryButton, OnlyTheVisibleScreensDefaultButtonAnswersReturn)
{
    Window window;
    auto *first = new AuditPrimaryButton(QStringLiteral("Next →"), AuditPrimaryButton::Size::lg, true);
    auto *second = new AuditPrimaryButton(QStringLiteral("See my week →"), AuditPrimaryButton::Size::lg, true);
    window.add(first);
    window.add(second);
    second->hide();
    ASSERT_TRUE(window.activate());
    QSignalSpy firstClicked(first, &AuditPrimaryButton::clicked);
    QSignalSpy secondClicked(second, &AuditPrimaryButton::clicked);
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(firstClicked.size(), 1);
    EXPECT_EQ(secondClicked.size(), 0);

    first->hide();
    second->show();
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(firstClicked.size(), 1);
    EXPECT_EQ(secondClicked.size(), 1);

    // Losing the default role, or being disabled later, takes Return away.
    second->setIsDefault(false);
    QTest::keyClick(&window, Qt::Key_Return);
    second->setIsDefault(true);
    second->setEnabled(false);
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(secondClicked.size(), 1);
}

// A flow builds every screen at once, and two default buttons can be visible and enabled
// together. The flow's one handler then presses one of them: the one nearest the focus.
TEST(AuditDefaultAction, ReturnPressesTheOneDefaultButtonThatCanAct)
{
    struct Screen {
        bool visible = true;
        bool isDefault = true;
        bool enabled = true;
    };
    const struct {
        const char *name;
        Screen first;
        Screen second;
        int focusIn; // -1: nothing focused, else the screen whose input has the focus
        int pressed; // -1: none
    } cases[] = {
        {"two visible defaults, no focus", {}, {}, -1, 0},
        {"two visible defaults, focus in the second", {}, {}, 1, 1},
        {"two visible defaults, focus in the first", {}, {}, 0, 0},
        {"the first screen hidden", {false}, {}, -1, 1},
        {"the first screen hidden, focus left in it", {false}, {}, 0, 1},
        {"the second not default", {}, {true, false}, 1, 0},
        {"the first disabled", {true, true, false}, {}, 0, 1},
        {"none can act", {false}, {true, true, false}, 1, -1},
    };
    for (const auto &c : cases) {
        Window window;
        auto *flow = new QWidget;
        auto *column = new QVBoxLayout(flow);
        QList<AuditPrimaryButton *> buttons;
        QList<AuditTextInput *> inputs;
        for (const Screen &s : {c.first, c.second}) {
            auto *screen = new QWidget;
            auto *rows = new QVBoxLayout(screen);
            inputs.append(new AuditTextInput(QStringLiteral("Name")));
            buttons.append(new AuditPrimaryButton(QStringLiteral("Next →"), AuditPrimaryButton::Size::lg, s.isDefault));
            buttons.last()->setEnabled(s.enabled);
            rows->addWidget(inputs.last());
            rows->addWidget(buttons.last());
            column->addWidget(screen);
            screen->setVisible(s.visible);
        }
        window.add(flow);
        EXPECT_EQ(AuditDefaultAction::install(flow), AuditDefaultAction::install(flow)) << "installed once";
        ASSERT_TRUE(window.activate()) << c.name;
        if (c.focusIn >= 0) {
            inputs[c.focusIn]->field()->setFocus();
            // A hidden screen's input cannot keep the focus; the test means the one it had.
        }
        QSignalSpy first(buttons[0], &AuditPrimaryButton::clicked);
        QSignalSpy second(buttons[1], &AuditPrimaryButton::clicked);
        QTest::keyClick(&window, Qt::Key_Return);
        EXPECT_EQ(first.size(), c.pressed == 0 ? 1 : 0) << c.name;
        EXPECT_EQ(second.size(), c.pressed == 1 ? 1 : 0) << c.name;
        AuditDefaultAction *handler = AuditDefaultAction::covering(buttons[1]);
        ASSERT_NE(handler, nullptr) << c.name;
        EXPECT_EQ(handler->target(), c.pressed < 0 ? nullptr : buttons[c.pressed]) << c.name;
    }
}

// The handler takes Return only while a button under it can act: a shortcut elsewhere in
// the window keeps Return whenever the flow has nothing to press.
TEST(AuditDefaultAction, LeavesReturnToTheWindowWhenNothingCanAct)
{
    Window window;
    auto *flow = new QWidget;
    auto *column = new QVBoxLayout(flow);
    auto *button = new AuditPrimaryButton(QStringLiteral("Start tracking"), AuditPrimaryButton::Size::lg, true);
    column->addWidget(button);
    window.add(flow);
    AuditDefaultAction::install(flow);
    auto *elsewhere = new QShortcut(QKeySequence(Qt::Key_Return), &window);
    QSignalSpy other(elsewhere, &QShortcut::activated);
    QSignalSpy clicked(button, &AuditPrimaryButton::clicked);
    button->setEnabled(false);
    ASSERT_TRUE(window.activate());
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(other.size(), 1);
    EXPECT_EQ(clicked.size(), 0);

    // A button added to the flow later is covered as well.
    auto *later = new AuditPrimaryButton(QStringLiteral("Next →"), AuditPrimaryButton::Size::lg, true);
    column->addWidget(later);
    later->show();
    QSignalSpy laterClicked(later, &AuditPrimaryButton::clicked);
    elsewhere->setEnabled(false);
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(laterClicked.size(), 1);
}

QColor fillAt(Window &window, QWidget *widget)
{
    return window.pixel(widget, QPoint(6, widget->height() / 2));
}

QColor titleInk(Window &window, QWidget *widget, const QColor &fill)
{
    const QRect area(widget->mapTo(&window, QPoint(12, 8)), QSize(widget->width() - 24, widget->height() - 16));
    return ViewTest::inkIn(window.picture(), area, fill);
}

TEST(AuditPrimaryButton, DisabledIgnoresClicksShowsAtHalfOpacityAndDoesNotBrighten)
{
    Window window;
    auto *button = new AuditPrimaryButton(QStringLiteral("Start tracking"), AuditPrimaryButton::Size::lg, true);
    window.add(button);
    ASSERT_TRUE(window.activate());
    const auto brighter = [](const QColor &c) {
        return QColor(std::min(255, c.red() + 13), std::min(255, c.green() + 13), std::min(255, c.blue() + 13));
    };

    EXPECT_EQ(fillAt(window, button), kPalette.accent);
    EXPECT_LE(ViewTest::distance(titleInk(window, button, kPalette.accent), kPalette.onAccent), 8);
    hover(button, true);
    EXPECT_LE(ViewTest::distance(fillAt(window, button), brighter(kPalette.accent)), 1);
    EXPECT_LE(ViewTest::distance(titleInk(window, button, brighter(kPalette.accent)), brighter(kPalette.onAccent)), 8);
    hover(button, false);

    button->setEnabled(false);
    QSignalSpy clicked(button, &AuditPrimaryButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    EXPECT_EQ(clicked.size(), 0);
    hover(button, true);
    EXPECT_LE(ViewTest::distance(fillAt(window, button), ViewTest::blend(kPalette.accent, 0.5, kPalette.canvas)), 1);

    button->setEnabled(true);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    EXPECT_EQ(clicked.size(), 1);
}

// Every state of a chip, day chips and others, read from the pixels: the edge, the fill and
// the colour of the label.
TEST(AuditChipButton, EachStateDrawsItsEdgeFillAndLabel)
{
    const QColor onFill = ViewTest::blend(kPalette.accent, 0.12, kPalette.canvas);
    const struct {
        const char *state;
        bool on;
        bool hovered;
        QColor text;
        QColor fill;
        QColor edge;
        int edgeWidth;
    } cases[] = {
        {"off", false, false, kPalette.muted, kPalette.card, kPalette.border, 1},
        {"off, hovered", false, true, kPalette.text, kPalette.card, kPalette.text, 1},
        {"on", true, false, kPalette.text, onFill, kPalette.accentInk, 2},
        {"on, hovered", true, true, kPalette.text, onFill, kPalette.accentInk, 2},
    };
    for (const bool day : {true, false}) {
        for (const auto &c : cases) {
            const std::string name = std::string(day ? "day chip " : "chip ") + c.state;
            Window window;
            auto *chip = new AuditChipButton({8, day ? QStringLiteral("Wed") : QStringLiteral("8h")}, day, c.on);
            window.add(chip);
            window.show();
            hover(chip, c.hovered);
            const QImage image = window.picture();
            const QPoint origin = chip->mapTo(&window, QPoint(0, 0));
            const int middle = chip->height() / 2;
            for (int x = 0; x < c.edgeWidth; ++x)
                EXPECT_EQ(QColor(image.pixel(origin + QPoint(x, middle))), c.edge) << name << ", edge " << x;
            EXPECT_LE(ViewTest::distance(QColor(image.pixel(origin + QPoint(5, middle))), c.fill), 1) << name;
            const QRect label(origin + QPoint(8, 8), QSize(chip->width() - 16, chip->height() - 16));
            EXPECT_LE(ViewTest::distance(ViewTest::inkIn(image, label, c.fill), c.text), 10) << name;
        }
    }
}

// The focus on a chip is a ring in `text` inside its edge: a focused chip that is off shows
// none of the `accentInk` that marks one that is on, and on a chip that is on the ring shows
// beside that edge. Read across the middle, from the edge to where the label begins.
TEST(AuditChipButton, TheFocusIsNotTheLookOfAChipThatIsOn)
{
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on ? "on" : "off");
        Window window;
        auto *chip = new AuditChipButton({8, QStringLiteral("8h")}, false, on);
        window.add(chip);
        ASSERT_TRUE(window.activate());
        // The window handed it a focus of its own on activation; now the keyboard's.
        window.setFocus();
        chip->setFocus(Qt::TabFocusReason);
        const QImage image = window.picture();
        const QPoint origin = chip->mapTo(&window, QPoint(0, chip->height() / 2));
        int ring = 0, selected = 0;
        for (int x = 0; x < 12; ++x) {
            const QColor pixel(image.pixel(origin + QPoint(x, 0)));
            ring += ViewTest::distance(pixel, kPalette.text) <= 12;
            selected += ViewTest::distance(pixel, kPalette.accentInk) <= 40;
        }
        EXPECT_GE(ring, 2) << "the focus does not show";
        EXPECT_EQ(selected > 0, on) << "only a chip that is on shows its `accentInk` edge";
    }
}

// Hidden under the pointer, a button gets no leave; shown again, it must not look hovered.
TEST(AuditButtons, AButtonHiddenUnderThePointerComesBackUnhovered)
{
    Window window;
    const QList<AuditButton *> buttons = {
        new AuditChipButton({8, QStringLiteral("8h")}, false, false),
        new AuditDashedButton(QStringLiteral("+ Add an activity")),
        new AuditPrimaryButton(QStringLiteral("Next →"), AuditPrimaryButton::Size::lg),
        new AuditStepButton(QStringLiteral("+"), QStringLiteral("More Sleep"), 40),
    };
    for (AuditButton *button : buttons)
        window.add(button);
    window.show();
    for (AuditButton *button : buttons) {
        SCOPED_TRACE(button->metaObject()->className());
        hover(button, true);
        ASSERT_TRUE(button->isHovered());
        button->hide();
        button->show();
        EXPECT_FALSE(button->isHovered());
    }
}

TEST(AuditChips, KeepsNoSelectionOfItsOwn)
{
    double current = 7;
    AuditChips chips({{6, "6h"}, {7, "7h"}, {8, "8h"}}, false, [&](double v) { return v == current; });
    chips.setObjectName(QStringLiteral("audit.sleep.sleepChips"));
    QSignalSpy picked(&chips, &AuditChips::picked);
    auto *eight = chips.findChild<AuditChipButton *>(QStringLiteral("audit.sleep.sleepChips.chip.2"));
    ASSERT_NE(eight, nullptr);
    eight->click();
    ASSERT_EQ(picked.size(), 1);
    EXPECT_EQ(picked.at(0).at(0).toDouble(), 8.0);
    // Nothing changes until the caller's state does.
    EXPECT_FALSE(eight->isOn());
    EXPECT_TRUE(chips.chips().at(1)->isOn());
    current = 8;
    chips.refresh();
    EXPECT_TRUE(eight->isOn());
    EXPECT_FALSE(chips.chips().at(1)->isOn());
}

// The label buttons and the step button, normal and under the pointer.
TEST(AuditTextButtons, EachDrawsItsRoleAndChangesUnderThePointer)
{
    using Make = std::function<QWidget *()>;
    const struct {
        const char *name;
        Make make;
        QColor normal;
        QColor hovered;
    } cases[] = {
        {"back", [] { return new AuditBackButton(QStringLiteral("← Back")); }, kPalette.muted, kPalette.text},
        {"remove", [] { return new AuditRemoveButton(QStringLiteral("Remove Guitar")); },
         ViewTest::blend(kPalette.muted, 0.6, kPalette.canvas), kPalette.danger},
        {"step", [] { return new AuditStepButton(QStringLiteral("+"), QStringLiteral("More"), 40); }, kPalette.muted,
         kPalette.text},
    };
    for (const auto &c : cases) {
        Window window;
        QWidget *button = c.make();
        window.add(button);
        window.show();
        const bool round = QString::fromLatin1(c.name) == QLatin1String("step");
        const QColor ground = round ? kPalette.card : kPalette.canvas;
        const QRect area(button->mapTo(&window, QPoint(4, 4)), button->size() - QSize(8, 8));
        EXPECT_LE(ViewTest::distance(ViewTest::inkIn(window.picture(), area, ground), c.normal), 10) << c.name;
        hover(button, true);
        EXPECT_LE(ViewTest::distance(ViewTest::inkIn(window.picture(), area, ground), c.hovered), 10) << c.name;
    }
}

} // namespace
