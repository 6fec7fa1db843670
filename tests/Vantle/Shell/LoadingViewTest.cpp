#include "Vantle/Shell/LoadingView.h"
#include "Vantle/Shell/MainWindow.h"
#include "Vantle/Utilities/Theme.h"
#include "support/TaskRunner.h"

#include <QImage>

#include <gtest/gtest.h>

using TestSupport::spinFor;
using TestSupport::waitUntil;

TEST(LoadingViewTest, TurnsOnlyWhileOnScreen)
{
    // Hidden in the tray, the window must not wake the process for an indicator nobody sees.
    MainWindow window(new LoadingView);
    auto *view = qobject_cast<LoadingView *>(window.content());
    ASSERT_NE(view, nullptr);
    struct Step {
        const char *name;
        bool show;
        bool spinning;
    };
    const Step steps[] = {
        {"shown", true, true},
        {"hidden", false, false},
        {"shown again", true, true},
        {"hidden again", false, false},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        window.setVisible(step.show);
        EXPECT_EQ(view->isSpinning(), step.spinning);
        const int before = view->step();
        if (step.spinning) {
            EXPECT_TRUE(waitUntil([&] { return view->step() != before; }));
        } else {
            spinFor(std::chrono::milliseconds(3 * LoadingView::stepMs));
            EXPECT_EQ(view->step(), before);
        }
    }
}

TEST(LoadingViewTest, TheFirstFrameShowsTheIndicatorOnTheCanvas)
{
    MainWindow window(new LoadingView);
    window.show();
    ASSERT_TRUE(waitUntil([&]() { return window.hasPainted(); }));
    const QImage frame = window.grab().toImage();
    const QPoint centre = frame.rect().center();
    EXPECT_EQ(frame.pixelColor(5, 5), Theme::canvas);
    int drawn = 0;
    for (int y = centre.y() - 16; y <= centre.y() + 16; ++y) {
        for (int x = centre.x() - 16; x <= centre.x() + 16; ++x)
            drawn += frame.pixelColor(x, y) != Theme::canvas;
    }
    EXPECT_GT(drawn, 40) << "the indicator is drawn in the middle";
    EXPECT_EQ(window.content()->accessibleName(), QStringLiteral("Loading…"));
}
