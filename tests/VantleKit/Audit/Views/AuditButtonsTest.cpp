#include "VantleKit/Audit/Views/AuditChipButton.h"
#include "VantleKit/Audit/Views/AuditChips.h"
#include "VantleKit/Audit/Views/AuditPalette.h"
#include "VantleKit/Audit/Views/AuditPrimaryButton.h"

#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

// A window on a plain black ground, active, so Return reaches its shortcuts.
class Window final : public QWidget {
public:
    Window()
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(10, 10, 10, 10);
    }
    void add(QWidget *widget) { static_cast<QVBoxLayout *>(layout())->addWidget(widget, 0, Qt::AlignLeft); }
    bool activate()
    {
        show();
        activateWindow();
        return QTest::qWaitForWindowActive(this);
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), Qt::black); }
};

void hover(QWidget *widget, bool in)
{
    if (in) {
        QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(widget, &event);
    } else {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(widget, &event);
    }
}

QRgb pixelOf(QWidget *window, QWidget *widget, QPoint at)
{
    return window->grab().toImage().pixel(widget->mapTo(window, at));
}

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
    for (const Case &c : cases) {
        Window window;
        auto *screen = new QWidget;
        auto *column = new QVBoxLayout(screen);
        auto *button = new AuditPrimaryButton(QStringLiteral("Next →"), AuditPrimaryButton::Size::lg, c.isDefault);
        column->addWidget(button);
        window.add(screen);
        button->setEnabled(c.enabled);
        screen->setVisible(c.visible);
        ASSERT_TRUE(window.activate()) << c.name;
        QSignalSpy clicked(button, &AuditPrimaryButton::clicked);
        QTest::keyClick(&window, Qt::Key_Return);
        EXPECT_EQ(clicked.size(), c.clicks) << c.name;
        QTest::keyClick(&window, Qt::Key_Enter);
        EXPECT_EQ(clicked.size(), 2 * c.clicks) << c.name;
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

TEST(AuditPrimaryButton, DisabledIgnoresClicksShowsAtHalfOpacityAndDoesNotBrighten)
{
    Window window;
    auto *button = new AuditPrimaryButton(QStringLiteral("Start tracking"), AuditPrimaryButton::Size::lg, true);
    window.add(button);
    ASSERT_TRUE(window.activate());
    const QPoint fillPoint(6, button->height() / 2);
    const QColor accent = AuditPalette::coal().accent;

    EXPECT_EQ(QColor(pixelOf(&window, button, fillPoint)), accent);
    hover(button, true);
    const QColor brighter(pixelOf(&window, button, fillPoint));
    EXPECT_NEAR(brighter.red(), std::min(255, accent.red() + 13), 1);
    EXPECT_NEAR(brighter.blue(), accent.blue() + 13, 1);
    hover(button, false);

    button->setEnabled(false);
    QSignalSpy clicked(button, &AuditPrimaryButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    EXPECT_EQ(clicked.size(), 0);
    hover(button, true);
    const QColor half(pixelOf(&window, button, fillPoint));
    EXPECT_NEAR(half.red(), accent.red() / 2, 1);
    EXPECT_NEAR(half.green(), accent.green() / 2, 1);
    EXPECT_NEAR(half.blue(), accent.blue() / 2, 1);

    button->setEnabled(true);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    EXPECT_EQ(clicked.size(), 1);
}

TEST(AuditChipButton, HoverChangesAnOffChipsEdgeOnlyAndNeverAnOnChips)
{
    Window window;
    auto *off = new AuditChipButton({8, QStringLiteral("8h")}, false, false);
    auto *on = new AuditChipButton({9, QStringLiteral("9h")}, false, true);
    window.add(off);
    window.add(on);
    window.show();
    const AuditPalette &coal = AuditPalette::coal();
    const auto edge = [&](AuditChipButton *chip) { return QColor(pixelOf(&window, chip, QPoint(0, chip->height() / 2))); };
    const auto fill = [&](AuditChipButton *chip) { return QColor(pixelOf(&window, chip, QPoint(8, chip->height() / 2))); };

    EXPECT_EQ(edge(off), coal.border);
    EXPECT_EQ(fill(off), coal.card);
    hover(off, true);
    EXPECT_EQ(edge(off), coal.text);
    EXPECT_EQ(fill(off), coal.card);

    const QColor onEdge = edge(on);
    const QColor onFill = fill(on);
    EXPECT_EQ(onEdge, coal.accentInk);
    // accent at 12 % over the black ground
    EXPECT_NEAR(onFill.red(), qRound(coal.accent.red() * 0.12), 1);
    hover(on, true);
    EXPECT_EQ(edge(on), onEdge);
    EXPECT_EQ(fill(on), onFill);
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

} // namespace
