#include "Vantle/Views/FreshLaunchToast.h"

#include "Vantle/Services/OrvalenAccountBridge.h"
#include "support/TaskRunner.h"

#include <QParallelAnimationGroup>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

using TestSupport::waitUntil;

// A restore raised while the card is still up waits for it to leave, then shows the card
// again, started from the leaving animation's own finished signal. That animation reads its
// own state after its receivers return: it must still be there when they have.
TEST(FreshLaunchToastTest, RaisedAgainWhileShownComesBackOnceItHasLeft)
{
    OrvalenAccountBridge bridge;
    QWidget host;
    host.resize(480, 320);
    host.show();
    bridge.setDidJustRestore(true);
    FreshLaunchToast toast(&bridge, &host);
    ASSERT_TRUE(toast.isPresented());
    EXPECT_FALSE(bridge.didJustRestore());
    const QPointer<QParallelAnimationGroup> showing = toast.findChild<QParallelAnimationGroup *>();
    ASSERT_TRUE(showing);

    bridge.setDidJustRestore(true);
    EXPECT_TRUE(bridge.didJustRestore());

    // The leaving animation: the running one that is not the showing one.
    QPointer<QParallelAnimationGroup> leaving;
    ASSERT_TRUE(waitUntil([&] {
        for (QParallelAnimationGroup *group : toast.findChildren<QParallelAnimationGroup *>()) {
            if (group != showing && group->state() == QAbstractAnimation::Running)
                leaving = group;
        }
        return !leaving.isNull();
    }));
    bool aliveAfterFinished = false;
    bool checked = false;
    bool stopped = false;
    QObject::connect(leaving, &QAbstractAnimation::stateChanged, &host, [&](QAbstractAnimation::State state) {
        if (state != QAbstractAnimation::Stopped || stopped)
            return;
        stopped = true;
        // Runs once the emission that stops it, finished included, is over.
        QMetaObject::invokeMethod(&host, [&] {
            aliveAfterFinished = !leaving.isNull();
            checked = true;
        }, Qt::QueuedConnection);
    });

    // Showing it again lowers the flag.
    EXPECT_TRUE(waitUntil([&] { return !bridge.didJustRestore(); }));
    ASSERT_TRUE(waitUntil([&] { return checked; }));
    EXPECT_TRUE(aliveAfterFinished);
    EXPECT_TRUE(toast.isPresented());
    EXPECT_TRUE(toast.isVisible());
}
