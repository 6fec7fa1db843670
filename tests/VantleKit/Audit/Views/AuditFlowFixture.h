#pragma once

#include "AuditDriver.h"

#include "VantleKit/Audit/AuditStore.h"
#include "VantleKit/Audit/Views/AuditFlowView.h"
#include "VantleKit/Audit/Views/AuditScreenHost.h"

#include <QTest>

#include <memory>

// A flow on the coal palette in a window of its own, shown and active, over a store whose
// submissions succeed at once and are counted.
struct AuditFlowWindow {
    explicit AuditFlowWindow(AuditState state = AuditState::initial(), QSize size = QSize(960, 680))
    {
        auto store = std::make_unique<AuditStore>(
            std::move(state), QStringLiteral("Europe/Lisbon"),
            [count = submissions](AuditSubmission) -> QCoro::Task<void> {
                ++*count;
                co_return;
            },
            [] {});
        flow = std::make_unique<AuditFlowView>(AuditPalette::coal(), std::move(store));
        flow->resize(size);
        flow->show();
        flow->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(flow.get()));
        AuditDriver::settle();
    }

    AuditStore &store() const { return *flow->store(); }
    const AuditState &state() const { return flow->store()->state(); }
    template <typename T = QWidget>
    T *find(const QString &name) const
    {
        return AuditDriver::find<T>(flow.get(), name);
    }
    bool click(const QString &name) const { return AuditDriver::click(find(name)); }
    AuditScreenHost *host(AuditScreen screen) const { return flow->host(screen); }

    std::shared_ptr<int> submissions = std::make_shared<int>(0);
    std::unique_ptr<AuditFlowView> flow;
};

// The state after the four questions with their first answers.
inline AuditState dashState()
{
    AuditState state = AuditState::initial();
    state.enterDash();
    return state;
}
