#include "AuditFlowFixture.h"

#include "VantleKit/Audit/Views/AuditHeader.h"

#include "support/TaskRunner.h"

#include <QScrollBar>

#include <gtest/gtest.h>

namespace {

using AuditDriver::Motion;

TEST(AuditFlowView, TheHeaderCountsTheQuestions)
{
    Motion still(true);
    struct Case {
        AuditScreen screen;
        QString counter;
        qreal filled;
    };
    const Case cases[] = {
        {AuditScreen::sleep, "Question 1 of 4", 0},   {AuditScreen::work, "Question 2 of 4", 0.25},
        {AuditScreen::upkeep, "Question 3 of 4", 0.5}, {AuditScreen::family, "Question 4 of 4", 0.75},
        {AuditScreen::dash, " ", 1},                   {AuditScreen::yours, " ", 1},
    };
    AuditFlowWindow w;
    const int height = w.flow->header()->height();
    for (const Case &c : cases) {
        w.store().show(c.screen);
        AuditDriver::settle();
        AuditHeader *header = w.flow->header();
        EXPECT_EQ(header->counterText(), c.counter) << toRaw(c.screen).toStdString();
        EXPECT_EQ(header->targetProgress(), c.filled) << toRaw(c.screen).toStdString();
        // The blank keeps the header's height.
        EXPECT_EQ(header->height(), height);
        // Exactly one screen is shown: the store's.
        for (AuditScreen other : allAuditScreens)
            EXPECT_EQ(w.host(other)->isVisible(), other == c.screen) << toRaw(other).toStdString();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return !header->isAnimating(); }));
        EXPECT_EQ(header->progress(), c.filled);
    }
}

TEST(AuditFlowView, ScreensRiseIntoPlaceUnlessMotionIsReduced)
{
    for (bool reduce : {false, true}) {
        Motion motion(reduce);
        AuditFlowWindow w;
        AuditScreenHost *work = w.host(AuditScreen::work);
        w.store().show(AuditScreen::work);
        if (reduce) {
            EXPECT_FALSE(work->isRising());
        } else {
            EXPECT_TRUE(work->isRising());
            EXPECT_EQ(work->riseOffset(), AuditScreenHost::riseDistance);
            EXPECT_EQ(work->riseOpacity(), 0);
            EXPECT_EQ(work->y(), AuditScreenHost::riseDistance);
        }
        ASSERT_TRUE(TestSupport::waitUntil([&] { return !work->isRising(); }));
        EXPECT_EQ(work->riseOpacity(), 1);
        EXPECT_EQ(work->riseOffset(), 0);
        EXPECT_EQ(work->y(), 0);
        EXPECT_EQ(work->graphicsEffect(), nullptr);
    }
}

TEST(AuditFlowView, AScreenComesBackAtItsTop)
{
    Motion still(true);
    AuditFlowWindow w(dashState());
    QScrollBar *bar = w.host(AuditScreen::dash)->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    w.store().show(AuditScreen::yours);
    w.store().show(AuditScreen::dash);
    EXPECT_EQ(bar->value(), 0);
}

TEST(AuditFlowView, TheColumnIsAtMost860WideAndCentred)
{
    Motion still(true);
    struct Case {
        int window;
        bool scrolls; // the page is taller than the window: the scroll bar shows
        int column;
        int left;
    };
    // The scroll bar lies over the room beside the column: showing it moves nothing.
    const Case cases[] = {
        {700, false, 644, 28}, {916, false, 860, 28}, {917, false, 860, 28}, {1200, false, 860, 170},
        {700, true, 644, 28},  {916, true, 860, 28},  {960, true, 860, 50},  {1200, true, 860, 170},
    };
    for (const Case &c : cases) {
        AuditFlowWindow w(dashState(), QSize(c.window, c.scrolls ? 680 : 3000));
        AuditScreenHost *host = w.host(AuditScreen::dash);
        ASSERT_EQ(host->verticalScrollBar()->isVisible(), c.scrolls) << c.window;
        QWidget *screen = w.flow->screen(AuditScreen::dash);
        EXPECT_EQ(screen->width(), c.column) << c.window << (c.scrolls ? " scrolling" : "");
        EXPECT_EQ(screen->mapTo(host, QPoint(0, 0)).x(), c.left) << c.window << (c.scrolls ? " scrolling" : "");
        // Nothing of the column lies under the scroll bar or past the viewport.
        EXPECT_LE(screen->mapTo(host->viewport(), QPoint(screen->width(), 0)).x(), host->viewport()->width())
            << c.window;
    }
}

} // namespace
