// The card of a week that could not load, for a person at the keyboard: Retry has the
// keyboard as the card comes, Return presses it, and a press shows it is trying.

#include "Vantle/Views/LedgerOfflineView.h"

#include "OrvalenAccount/UI/OrvalenOutlineButton.h"
#include "Vantle/Models/LedgerModel.h"
#include "support/CountingNetwork.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeService.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using TestSupport::waitUntil;

namespace {

TEST(LedgerOfflineView, RetryHasTheKeyboardAndShowsItIsTryingEvenForAQuickAnswer)
{
    // A closed port: each request fails at once.
    TestSupport::CountingNetwork network;
    LedgerModel ledger(std::make_shared<VantleAPI>(
        QUrl(QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort())),
        []() { return std::optional<QString>(QStringLiteral("oas_t")); }, &network));
    ledger.setFirstRetryDelay(std::chrono::hours(1));
    ledger.setActive(true);
    ASSERT_TRUE(waitUntil([&] { return ledger.lastRefreshFailed() && !ledger.isRefreshing(); }));

    LedgerOfflineView card(&ledger);
    card.setMinimumTrying(std::chrono::hours(1));
    OrvalenOutlineButton *retry = card.retryButton();
    // What the button said the moment the answer was in.
    QString saidWhenAnswered;
    QObject::connect(&ledger, &LedgerModel::isRefreshingChanged, &card, [&](bool refreshing) {
        if (!refreshing)
            saidWhenAnswered = retry->text();
    });
    card.resize(960, 680);
    card.show();
    card.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&card));
    EXPECT_EQ(QApplication::focusWidget(), retry);
    EXPECT_TRUE(retry->hasKeyboardFocus()) << "the focus on Retry shows no ring";

    QTest::keyClick(card.windowHandle(), Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return network.started() == 2 && network.idle() && !ledger.isRefreshing(); }));
    EXPECT_EQ(saidWhenAnswered, LedgerOfflineView::retryingTitle) << "the quick answer hid the press";
    EXPECT_EQ(retry->text(), LedgerOfflineView::retryingTitle);
    // Pressed again while it says so: nothing more is sent.
    retry->click();
    QTest::keyClick(card.windowHandle(), Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !retry->isDown(); }));
    EXPECT_EQ(network.started(), 2);
}

} // namespace
