#include "Platform/QtActivationPolicy.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QSignalSpy>

namespace {

using Policy = ActivationPolicy::Policy;

TEST(QtActivationPolicy, TrayOnlyKeepsTheApplicationAliveAndOnlyChangesAreAnnounced)
{
    const bool savedQuit = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QtActivationPolicy layer;
    QSignalSpy changes(&layer, &ActivationPolicy::policyChanged);
    EXPECT_EQ(layer.policy(), Policy::regular);

    const struct {
        Policy set;
        int announcements;
    } steps[] = {
        {Policy::regular, 0},
        {Policy::accessory, 1},
        {Policy::accessory, 1},
        {Policy::regular, 2},
    };
    for (const auto &step : steps) {
        layer.setPolicy(step.set);
        EXPECT_EQ(layer.policy(), step.set);
        EXPECT_EQ(changes.count(), step.announcements);
        // Closing the update window must never end a tray application.
        EXPECT_FALSE(QGuiApplication::quitOnLastWindowClosed() && changes.count() > 0);
    }
    // With no window to bring forward, activating is a no-op rather than a crash.
    layer.activateIgnoringOtherApps();
    QGuiApplication::setQuitOnLastWindowClosed(savedQuit);
}

} // namespace
