#include "Vantle/Shell/WindowPlacement.h"

#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

TEST(WindowPlacement, AFrameMovesIntoTheAreaByTheLeast)
{
    const QRect area(0, 24, 1440, 876); // a screen with a panel along its top
    const struct {
        const char *name;
        QRect frame;
        QPoint expected;
    } cases[] = {
        {"inside", {100, 100, 440, 535}, {100, 100}},
        {"hanging below", {470, 215, 962, 706}, {470, 194}},
        {"under the panel", {200, 0, 440, 535}, {200, 24}},
        {"off the right and left", {1300, 100, 440, 535}, {1000, 100}},
        {"off the left", {-50, 100, 440, 535}, {0, 100}},
        {"larger than the screen", {300, 300, 1600, 1000}, {0, 24}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QRect placed = WindowPlacement::within(c.frame, area);
        EXPECT_EQ(placed.topLeft(), c.expected);
        EXPECT_EQ(placed.size(), c.frame.size());
    }
}

// A window opens centred over the window given (or the screen), comes back where it was,
// and never with a part off the screen.
TEST(WindowPlacement, AWindowShowsWithinTheScreenAndComesBackWhereItWas)
{
    QWidget main;
    main.resize(400, 300);
    WindowPlacement::keepWithinScreen(&main);
    main.show();
    const QRect area = main.screen()->availableGeometry();
    EXPECT_TRUE(area.contains(main.frameGeometry()));
    EXPECT_LE((main.frameGeometry().center() - area.center()).manhattanLength(), 2);

    main.move(area.left() + 30, area.top() + 40);
    main.hide();
    main.show();
    EXPECT_EQ(main.frameGeometry().topLeft(), area.topLeft() + QPoint(30, 40)) << "not back where it was";

    main.move(area.right() - 100, area.bottom() - 50); // dragged mostly off the screen
    main.hide();
    main.show();
    EXPECT_TRUE(area.contains(main.frameGeometry()));

    QWidget settings;
    settings.resize(200, 150);
    WindowPlacement::keepWithinScreen(&settings, &main);
    settings.show();
    EXPECT_LE((settings.frameGeometry().center() - main.frameGeometry().center()).manhattanLength(), 2);
}

// A window that belongs to another opens over it each time it is shown, wherever it was
// left, as long as the other is on screen; while the other is hidden it comes back where it
// was.
TEST(WindowPlacement, AWindowOpensOverItsOwnerEachTime)
{
    QWidget main;
    main.resize(600, 400);
    main.show();
    const QRect area = main.screen()->availableGeometry();
    QWidget settings;
    settings.resize(220, 250);
    WindowPlacement::keepWithinScreen(&settings, &main);
    const auto overMain = [&] {
        return (settings.frameGeometry().center() - main.frameGeometry().center()).manhattanLength() <= 2;
    };

    main.move(area.left() + 20, area.top() + 200);
    settings.show();
    EXPECT_TRUE(overMain()) << "first time";
    settings.move(area.right() - 300, area.top() + 10); // dragged aside, then closed
    settings.hide();
    settings.show();
    EXPECT_TRUE(overMain()) << "again, after it was moved aside";

    settings.move(area.left() + 300, area.top() + 30);
    const QPoint left = settings.frameGeometry().topLeft();
    settings.hide();
    main.hide(); // the main window closed to the tray
    settings.show();
    EXPECT_EQ(settings.frameGeometry().topLeft(), left) << "not back where it was";
}

} // namespace
