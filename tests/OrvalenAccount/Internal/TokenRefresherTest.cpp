#include "OrvalenAccount/Internal/CancellationToken.h"
#include "OrvalenAccount/Internal/TokenRefresher.h"
#include "OrvalenAccount/OrvalenError.h"
#include "support/TaskRunner.h"

#include <QCoro/QCoroSignal>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

struct Service {
    int calls = 0;
    QStringList sentTokens;
    QList<QPair<QString, QString>> rotations; // used token, new session
    bool fail = false;
    CancellationState gate; // released by cancel()
};

OasResponse session(const QString &oas)
{
    OasResponse r;
    r.ok = true;
    r.oas = oas;
    r.refreshToken = QStringLiteral("rt_after_") + oas;
    r.expiresAt = QDateTime(QDate(2026, 5, 1), QTime(0, 0), QTimeZone::utc());
    r.orvalenAccountId = OrvalenAccountID(QStringLiteral("oa_x"));
    r.email = QStringLiteral("a@example.test");
    r.appSlug = QStringLiteral("vantle");
    return r;
}

QCoro::Task<OasResponse> gatedRefresh(std::shared_ptr<Service> service, QString token)
{
    const int call = ++service->calls;
    service->sentTokens.append(token);
    if (!service->gate.isCancelled())
        co_await qCoro(&service->gate, &CancellationState::cancelled);
    if (service->fail)
        throw OrvalenError::sessionExpired();
    co_return session(QStringLiteral("oas_%1").arg(call));
}

QCoro::Task<OasResponse> start(const std::shared_ptr<TokenRefresher> &refresher,
                               const std::shared_ptr<Service> &service, const QString &token)
{
    return refresher->refresh(
        token, [service, token] { return gatedRefresh(service, token); },
        [service](const QString &used, const OasResponse &r) { service->rotations.append({used, r.oas}); });
}

} // namespace

TEST(TokenRefresher, ConcurrentCallersShareOneRequestAndOneResult)
{
    auto refresher = TokenRefresher::create();
    auto service = std::make_shared<Service>();
    auto first = start(refresher, service, QStringLiteral("rt_1"));
    auto second = start(refresher, service, QStringLiteral("rt_1"));
    auto other = start(refresher, service, QStringLiteral("rt_other")); // waits, does not send its own
    EXPECT_TRUE(refresher->isInFlight());
    service->gate.cancel();
    EXPECT_EQ(TestSupport::runTask(std::move(first)).oas, QStringLiteral("oas_1"));
    EXPECT_EQ(TestSupport::runTask(std::move(second)).oas, QStringLiteral("oas_1"));
    EXPECT_EQ(TestSupport::runTask(std::move(other)).oas, QStringLiteral("oas_1"));
    EXPECT_EQ(service->calls, 1);
    EXPECT_EQ(service->sentTokens, QStringList{QStringLiteral("rt_1")});
    EXPECT_EQ(service->rotations, (QList<QPair<QString, QString>>{{QStringLiteral("rt_1"), QStringLiteral("oas_1")}}));
    EXPECT_FALSE(refresher->isInFlight());
    EXPECT_TRUE(refresher->hasConsumed(QStringLiteral("rt_1")));
    EXPECT_FALSE(refresher->hasConsumed(QStringLiteral("rt_other")));
}

TEST(TokenRefresher, UsedTokenGetsTheNewestSessionWithoutARequest)
{
    auto refresher = TokenRefresher::create();
    auto service = std::make_shared<Service>();
    service->gate.cancel();
    EXPECT_EQ(TestSupport::runTask(start(refresher, service, QStringLiteral("rt_1"))).oas, QStringLiteral("oas_1"));
    EXPECT_EQ(TestSupport::runTask(start(refresher, service, QStringLiteral("rt_2"))).oas, QStringLiteral("oas_2"));
    // rt_1 was used: the answer is the last session, produced by rt_2.
    EXPECT_EQ(TestSupport::runTask(start(refresher, service, QStringLiteral("rt_1"))).oas, QStringLiteral("oas_2"));
    EXPECT_EQ(service->calls, 2);
    EXPECT_EQ(service->rotations.size(), 2);
}

TEST(TokenRefresher, FailureReachesEveryWaiterAndLeavesTheTokenUnused)
{
    auto refresher = TokenRefresher::create();
    auto service = std::make_shared<Service>();
    service->fail = true;
    auto first = start(refresher, service, QStringLiteral("rt_1"));
    auto second = start(refresher, service, QStringLiteral("rt_1"));
    service->gate.cancel();
    for (auto *task : {&first, &second}) {
        try {
            TestSupport::runTask(std::move(*task));
            ADD_FAILURE() << "expected the refresh's error";
        } catch (const OrvalenError &error) {
            EXPECT_EQ(error, OrvalenError::sessionExpired());
        }
    }
    EXPECT_EQ(service->calls, 1);
    EXPECT_TRUE(service->rotations.isEmpty());
    EXPECT_FALSE(refresher->hasConsumed(QStringLiteral("rt_1")));
    EXPECT_FALSE(refresher->lastResult());

    service->fail = false;
    EXPECT_EQ(TestSupport::runTask(start(refresher, service, QStringLiteral("rt_1"))).oas, QStringLiteral("oas_2"));
    EXPECT_EQ(service->calls, 2);
}

namespace {
// What a caller saw of the stored session at the moment it resumed.
QCoro::Task<void> awaitAndLook(QCoro::Task<OasResponse> refresh, std::shared_ptr<Service> service, QList<int> *seen)
{
    co_await std::move(refresh);
    seen->append(static_cast<int>(service->rotations.size()));
}
} // namespace

// Whoever resumes with the new session may send it at once or read the stored one:
// the hook must have stored it by then, or the stored session still names the
// refresh token that was just used up.
TEST(TokenRefresher, TheRotationHookRunsBeforeAnyWaiterResumes)
{
    auto refresher = TokenRefresher::create();
    auto service = std::make_shared<Service>();
    QList<int> seen;
    std::vector<QCoro::Task<void>> callers;
    callers.push_back(awaitAndLook(start(refresher, service, QStringLiteral("rt_1")), service, &seen));
    callers.push_back(awaitAndLook(start(refresher, service, QStringLiteral("rt_1")), service, &seen));
    callers.push_back(awaitAndLook(start(refresher, service, QStringLiteral("rt_other")), service, &seen));
    service->gate.cancel();
    for (auto &caller : callers)
        TestSupport::runTask(std::move(caller));
    EXPECT_EQ(seen, (QList<int>{1, 1, 1}));
    EXPECT_EQ(service->calls, 1);
}
