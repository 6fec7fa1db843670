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
    LedgerOfflineView card(&ledger);
    card.setMinimumTrying(std::chrono::hours(1));
    OrvalenOutlineButton *retry = card.retryButton();
    QString saidWhenAnswered; // what the button said the moment the answer was in
    QObject::connect(&ledger, &LedgerModel::isRefreshingChanged, &card, [&](bool refreshing) {
        saidWhenAnswered = refreshing ? saidWhenAnswered : retry->text();
    });
    card.show();
    card.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&card));
    EXPECT_TRUE(retry->hasFocus() && retry->hasKeyboardFocus()) << "Retry has no keyboard focus, or no ring";

    QTest::keyClick(card.windowHandle(), Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return network.started() == 1 && network.idle() && !ledger.isRefreshing(); }));
    EXPECT_EQ(saidWhenAnswered, LedgerOfflineView::retryingTitle) << "the quick answer hid the press";
    // Pressed again while it says so: nothing more is sent.
    QTest::keyClick(card.windowHandle(), Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !retry->isDown(); }));
    EXPECT_EQ(retry->text(), LedgerOfflineView::retryingTitle);
    EXPECT_EQ(network.started(), 1);
}

} // namespace
