#include "OrvalenAccount/Internal/IdentityThrottle.h"
#include "OrvalenAccount/Internal/IdentityThrottleShortCircuit.h"
#include "OrvalenAccount/OrvalenError.h"
#include "support/TaskRunner.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <deque>
#include <variant>

namespace {

const QUrl kUrl(QStringLiteral("https://id.example.test/api/app-sessions/refresh"));

struct LogLine {
    OrvalenLogLevel level;
    QString event;
    OrvalenLogFields fields;
};

// Time that only moves when a test or the recording sleep moves it.
struct World {
    QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc());
    QList<double> sleeps;
    QList<LogLine> log;
    // Answers of the send step, in order: an HTTP status or an error to throw.
    std::deque<std::variant<HTTPResponse, std::exception_ptr>> script;
    int sends = 0;
    bool cancelDuringSleep = false;
    CancellationToken token = CancellationToken::make();

    void advance(double seconds) { now = now.addMSecs(static_cast<qint64>(seconds * 1000)); }
};

HTTPResponse answer(int status, QList<QPair<QByteArray, QByteArray>> headers = {})
{
    HTTPResponse r;
    r.status = status;
    r.url = kUrl;
    r.headers = std::move(headers);
    return r;
}

QCoro::Task<void> recordingSleep(std::shared_ptr<World> world, double seconds, CancellationToken cancel)
{
    world->sleeps.append(seconds);
    if (world->cancelDuringSleep) {
        cancel.cancel();
        throw CancellationError();
    }
    world->advance(seconds);
    co_return;
}

QCoro::Task<HTTPResponse> scriptedSend(std::shared_ptr<World> world)
{
    ++world->sends;
    if (world->script.empty())
        co_return answer(200);
    auto next = world->script.front();
    world->script.pop_front();
    if (auto *error = std::get_if<std::exception_ptr>(&next))
        std::rethrow_exception(*error);
    co_return std::get<HTTPResponse>(next);
}

std::shared_ptr<IdentityThrottle> makeThrottle(const std::shared_ptr<World> &world)
{
    return IdentityThrottle::create(
        {},
        [world](OrvalenLogLevel level, const QString &event, const OrvalenLogFields &fields) {
            world->log.append({level, event, fields});
        },
        [world] { return world->now; },
        [world](double seconds, CancellationToken cancel) { return recordingSleep(world, seconds, cancel); });
}

HTTPResponse runOnce(const std::shared_ptr<IdentityThrottle> &throttle, const std::shared_ptr<World> &world,
                     const QString &method = QStringLiteral("POST"))
{
    return TestSupport::runTask(throttle->run(
        kUrl, method, IdentityRequestClass::steady, [world] { return scriptedSend(world); }, world->token));
}

QList<QString> events(const World &world)
{
    QList<QString> out;
    for (const auto &line : world.log)
        out.append(line.event);
    return out;
}

} // namespace

TEST(IdentityThrottle, WindowRefusesTheThirtyFirstRequestWithTheAgeOfItsOldestStamp)
{
    auto world = std::make_shared<World>();
    auto throttle = makeThrottle(world);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(runOnce(throttle, world).status, 200) << "request " << i;
        world->advance(1.5); // oldest stamp ends 45 s old
    }
    EXPECT_EQ(world->sends, 30);
    const HTTPResponse refused = runOnce(throttle, world);
    EXPECT_EQ(world->sends, 30);
    EXPECT_EQ(refused.status, 429);
    EXPECT_EQ(refused.body, QByteArray(R"({"error":"client_throttled","reason":"budget_exhausted"})"));
    EXPECT_EQ(refused.header("retry-after"), QStringLiteral("15"));
    EXPECT_EQ(refused.header("Content-Type"), QStringLiteral("application/json"));
    EXPECT_EQ(refused.headers.size(), 2);
    EXPECT_EQ(refused.url, kUrl);
    EXPECT_EQ(throttle->requestWindowCount(), 30); // a refusal takes no stamp
    ASSERT_EQ(events(*world), QList<QString>{QStringLiteral("identity_throttle_budget_exhausted")});
    EXPECT_EQ(world->log.first().level, OrvalenLogLevel::warning);
    EXPECT_EQ(world->log.first().fields, (OrvalenLogFields{{QStringLiteral("limit_per_min"), QStringLiteral("30")}}));
}

TEST(IdentityThrottle, WindowBoundaryAndRefusalDelay)
{
    struct Case {
        const char *name;
        qint64 oldestAgeMs; // age of the oldest of 30 stamps when the next request comes
        bool sent;
        QString retryAfter;
    };
    const Case cases[] = {
        {"exactly 60 s old still counts", 60000, false, QStringLiteral("1")},
        {"a moment older is pruned", 60001, true, {}},
        {"59.95 s old: 0.1 s to wait, announced as 1", 59950, false, QStringLiteral("1")},
        {"30 s old", 30000, false, QStringLiteral("30")},
        {"29.8 s old: 30.2 s rounds up", 29800, false, QStringLiteral("31")},
    };
    for (const Case &c : cases) {
        auto world = std::make_shared<World>();
        auto throttle = makeThrottle(world);
        const QDateTime start = world->now;
        for (int i = 0; i < 30; ++i)
            runOnce(throttle, world);
        ASSERT_EQ(throttle->requestWindowCount(), 30);
        world->now = start.addMSecs(c.oldestAgeMs);
        if (!c.sent) {
            EXPECT_NEAR(throttle->nextTokenDelay(IdentityRequestClass::steady),
                        std::max(0.1, 60.0 - c.oldestAgeMs / 1000.0), 1e-9)
                << c.name;
        }
        const HTTPResponse r = runOnce(throttle, world);
        EXPECT_EQ(r.status == 200, c.sent) << c.name;
        EXPECT_EQ(world->sends, c.sent ? 31 : 30) << c.name;
        if (!c.sent) {
            EXPECT_EQ(r.header("Retry-After"), c.retryAfter) << c.name;
        }
    }
}

TEST(IdentityThrottle, TwentyNineStampsLeaveRoomForOneMore)
{
    auto world = std::make_shared<World>();
    auto throttle = makeThrottle(world);
    for (int i = 0; i < 29; ++i)
        runOnce(throttle, world);
    EXPECT_EQ(runOnce(throttle, world).status, 200);
    EXPECT_EQ(world->sends, 30);
    EXPECT_DOUBLE_EQ(IdentityThrottle::create()->nextTokenDelay(IdentityRequestClass::steady), 1.0);
}

TEST(IdentityThrottle, FiveFailuresOpenTheCircuitForFiveMinutes)
{
    auto world = std::make_shared<World>();
    auto throttle = makeThrottle(world);
    for (int i = 0; i < 5; ++i) {
        world->script.push_back(answer(503));
        EXPECT_EQ(runOnce(throttle, world).status, 503);
    }
    EXPECT_EQ(world->sends, 5);
    ASSERT_EQ(events(*world), QList<QString>{QStringLiteral("identity_throttle_circuit_tripped")});
    EXPECT_EQ(world->log.last().fields.value(QStringLiteral("failures")), QStringLiteral("5"));
    ASSERT_TRUE(throttle->circuitOpenUntil());
    EXPECT_EQ(*throttle->circuitOpenUntil(), world->now.addSecs(300));

    world->advance(100.5);
    const int stamps = throttle->requestWindowCount();
    const HTTPResponse refused = runOnce(throttle, world);
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.body, QByteArray(R"({"error":"client_throttled","reason":"circuit_open"})"));
    EXPECT_EQ(refused.header("Retry-After"), QStringLiteral("200")); // 199.5 rounded up
    EXPECT_EQ(world->sends, 5);
    EXPECT_EQ(throttle->requestWindowCount(), stamps);
    EXPECT_EQ(world->log.last().event, QStringLiteral("identity_throttle_circuit_open"));
    EXPECT_EQ(world->log.last().fields.value(QStringLiteral("retry_after_s")), QStringLiteral("199"));

    // After the open period one request goes through; its failure reopens at once.
    world->advance(199.5);
    world->script.push_back(answer(500));
    EXPECT_EQ(runOnce(throttle, world).status, 500);
    EXPECT_EQ(world->sends, 6);
    EXPECT_EQ(world->log.last().event, QStringLiteral("identity_throttle_circuit_tripped"));
    EXPECT_EQ(world->log.last().fields.value(QStringLiteral("failures")), QStringLiteral("5"));
    EXPECT_EQ(runOnce(throttle, world).status, 503);
    EXPECT_EQ(world->sends, 6);

    // ... and a success after the next open period clears the count.
    world->advance(300);
    EXPECT_EQ(runOnce(throttle, world).status, 200);
    EXPECT_EQ(throttle->consecutiveFailures(), 0);
    EXPECT_FALSE(throttle->circuitOpenUntil());
}

TEST(IdentityThrottle, WhichAnswersCountAsFailures)
{
    struct Case {
        int status;
        int failuresAfter; // starting from 2
    };
    const Case cases[] = {{200, 0}, {204, 0}, {301, 2}, {401, 2}, {404, 2}, {426, 2},
                          {429, 3}, {500, 3}, {503, 3}, {599, 3}};
    for (const Case &c : cases) {
        auto world = std::make_shared<World>();
        auto throttle = makeThrottle(world);
        throttle->recordFailure();
        throttle->recordFailure();
        world->script.push_back(answer(c.status));
        EXPECT_EQ(runOnce(throttle, world).status, c.status);
        EXPECT_EQ(throttle->consecutiveFailures(), c.failuresAfter) << c.status;
        EXPECT_EQ(world->sends, 1) << c.status; // POST: never repeated
        EXPECT_TRUE(world->sleeps.isEmpty()) << c.status;
    }
}

TEST(IdentityThrottle, GetIsRepeatedThreeTimesWithGrowingBackoff)
{
    auto world = std::make_shared<World>();
    auto throttle = makeThrottle(world);
    for (int i = 0; i < 4; ++i)
        world->script.push_back(answer(503));
    EXPECT_EQ(runOnce(throttle, world, QStringLiteral("get")).status, 503);
    EXPECT_EQ(world->sends, 4);
    ASSERT_EQ(world->sleeps.size(), 3);
    const double bounds[3][2] = {{1, 1.5}, {2, 3}, {4, 6}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_GE(world->sleeps[i], bounds[i][0]);
        EXPECT_LE(world->sleeps[i], bounds[i][1]);
    }
    QList<QString> attempts;
    for (const auto &line : world->log) {
        if (line.event == QLatin1String("identity_throttle_server_backoff")) {
            EXPECT_EQ(line.level, OrvalenLogLevel::info);
            EXPECT_EQ(line.fields.value(QStringLiteral("status")), QStringLiteral("503"));
            attempts.append(line.fields.value(QStringLiteral("attempt")));
        }
    }
    EXPECT_EQ(attempts, (QList<QString>{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_EQ(throttle->consecutiveFailures(), 4);
}

TEST(IdentityThrottle, RetryAfterDecidesTheWaitOfARepeatedGet)
{
    auto world0 = std::make_shared<World>();
    const QDateTime past = world0->now.addSecs(-30);
    const QString pastDate = QLocale::c().toString(past, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    struct Case {
        QByteArray retryAfter;
        double low;
        double high;
    };
    const Case cases[] = {
        {"2", 2, 2},
        {"9999", 300, 300},
        {pastDate.toUtf8(), 0, 0},
        {"soon", 1, 1.5},
    };
    for (const Case &c : cases) {
        auto world = std::make_shared<World>();
        auto throttle = makeThrottle(world);
        world->script.push_back(answer(429, {{"Retry-After", c.retryAfter}}));
        world->script.push_back(answer(200));
        EXPECT_EQ(runOnce(throttle, world, QStringLiteral("GET")).status, 200) << c.retryAfter.constData();
        EXPECT_EQ(world->sends, 2);
        ASSERT_EQ(world->sleeps.size(), 1);
        EXPECT_GE(world->sleeps[0], c.low) << c.retryAfter.constData();
        EXPECT_LE(world->sleeps[0], c.high) << c.retryAfter.constData();
        EXPECT_EQ(world->log.first().level, OrvalenLogLevel::warning);
    }
}

TEST(IdentityThrottle, RetryAfterAcceptsOnlyPlainSecondsAndHttpDates)
{
    auto world = std::make_shared<World>();
    auto throttle = makeThrottle(world);
    const auto date = [&](qint64 offsetMs) {
        return QLocale::c()
            .toString(world->now.addMSecs(offsetMs), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"))
            .toUtf8();
    };
    struct Case {
        QByteArray value;
        std::optional<double> seconds;
    };
    const Case cases[] = {
        {"0", 0.0},
        {"2", 2.0},
        {" \t7\t ", 7.0},
        {"2.5", 2.5},
        {"300", 300.0},
        {"301", 300.0},
        {"99999999999999999999999999999999", 300.0},
        {date(10000), 10.0},
        {date(-5000), 0.0},
        {date(3600 * 1000), 300.0},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"inf", std::nullopt},
        {"infinity", std::nullopt},
        {"nan", std::nullopt},
        {"1e3", std::nullopt},
        {"-5", std::nullopt},
        {"+5", std::nullopt},
        {"0x10", std::nullopt},
        {".5", std::nullopt},
        {"5 s", std::nullopt},
        {"soon", std::nullopt},
        {"Sun, 06 Nov 1994 08:49:37 UTC", std::nullopt},
        {"Sun, 31 Feb 2026 08:49:37 GMT", std::nullopt},
        {"Sunday, 06-Nov-94 08:49:37 GMT", std::nullopt},
        // Only the whole text counts: a final newline is not "the end".
        {"2\n", std::nullopt},
        {date(10000) + "\n", std::nullopt},
    };
    for (const Case &c : cases) {
        const std::optional<double> got = throttle->retryAfter(answer(429, {{"retry-after", c.value}}));
        ASSERT_EQ(got.has_value(), c.seconds.has_value()) << '"' << c.value.constData() << '"';
        if (got) {
            EXPECT_NEAR(*got, *c.seconds, 1e-9) << c.value.constData();
        }
    }
    EXPECT_FALSE(throttle->retryAfter(answer(429)));
    EXPECT_EQ(IdentityThrottle::httpDate(QStringLiteral("Sun, 06 Nov 1994 08:49:37 GMT")),
              QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37), QTimeZone::utc()));
    EXPECT_FALSE(IdentityThrottle::httpDate(QStringLiteral("Sun, 06 Nov 1994 08:49:37 GMT\n")));
}

// Each window refuses exactly one request past its own capacity, counts a stamp that
// is exactly 60 s old and forgets one a moment older, whichever window binds.
TEST(IdentityThrottle, EveryWindowRefusesOneRequestPastItsCapacity)
{
    struct Case {
        const char *name;
        IdentityThrottleOptions options;
        int capacity;
    };
    const Case cases[] = {
        {"request window (defaults)", {}, 30},
        {"global window", {.maxRequestsPerMinute = 200, .globalMaxRequestsPerMinute = 90}, 90},
        {"small request window", {.maxRequestsPerMinute = 3, .globalMaxRequestsPerMinute = 90}, 3},
        {"small global window", {.maxRequestsPerMinute = 30, .globalMaxRequestsPerMinute = 4}, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto world = std::make_shared<World>();
        auto throttle = IdentityThrottle::create(
            c.options, {}, [world] { return world->now; },
            [world](double seconds, CancellationToken cancel) { return recordingSleep(world, seconds, cancel); });
        const QDateTime start = world->now;
        for (int i = 0; i < c.capacity - 1; ++i)
            runOnce(throttle, world);
        EXPECT_EQ(runOnce(throttle, world).status, 200); // the last place
        EXPECT_EQ(world->sends, c.capacity);
        const HTTPResponse refused = runOnce(throttle, world);
        EXPECT_EQ(refused.status, 429);
        EXPECT_EQ(world->sends, c.capacity);

        world->now = start.addSecs(60); // every stamp exactly 60 s old: still counted
        EXPECT_EQ(runOnce(throttle, world).status, 429);
        world->now = start.addMSecs(60001); // a moment older: forgotten
        EXPECT_EQ(runOnce(throttle, world).status, 200);
        EXPECT_EQ(world->sends, c.capacity + 1);
    }
}

// Steps of the wall clock (a correction, the user setting the time) neither keep the
// circuit open nor the window full for their length, nor empty the window early.
TEST(IdentityThrottle, TheDefaultClockIgnoresStepsOfTheWallClock)
{
    for (const qint64 step : {-3600LL, 3600LL, -86400LL}) {
        SCOPED_TRACE(step);
        QDateTime wall(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc());
        qint64 elapsedMs = 0;
        // The wall clock that the system shows, read through the same function the
        // throttle's default clock starts from.
        auto world = std::make_shared<World>();
        auto throttle = IdentityThrottle::create(
            {}, {}, IdentityThrottle::monotonicClock([&wall] { return wall; }, [&elapsedMs] { return elapsedMs; }),
            [world](double seconds, CancellationToken cancel) { return recordingSleep(world, seconds, cancel); });
        const auto tick = [&](qint64 seconds) {
            elapsedMs += seconds * 1000;
            wall = wall.addSecs(seconds);
        };

        for (int i = 0; i < 30; ++i)
            runOnce(throttle, world);
        wall = wall.addSecs(step);
        tick(30);
        EXPECT_EQ(runOnce(throttle, world).status, 429); // the window is half a minute old
        tick(31);
        EXPECT_EQ(runOnce(throttle, world).status, 200); // and a minute later it has room

        for (int i = 0; i < 5; ++i) {
            world->script.push_back(answer(503));
            runOnce(throttle, world);
        }
        ASSERT_EQ(runOnce(throttle, world).status, 503);
        const int sends = world->sends;
        wall = wall.addSecs(step);
        tick(299);
        EXPECT_EQ(runOnce(throttle, world).status, 503);
        EXPECT_EQ(world->sends, sends);
        tick(2);
        EXPECT_EQ(runOnce(throttle, world).status, 200);
        EXPECT_EQ(world->sends, sends + 1);
    }
}

TEST(IdentityThrottle, RepeatThatFindsTheWindowFullReturnsTheLastRealAnswer)
{
    auto world = std::make_shared<World>();
    auto throttle = makeThrottle(world);
    for (int i = 0; i < 29; ++i)
        runOnce(throttle, world);
    HTTPResponse busy = answer(503, {{"Retry-After", "1"}});
    busy.body = "{\"error\":\"overloaded\"}";
    world->script.push_back(busy);
    const HTTPResponse r = runOnce(throttle, world, QStringLiteral("GET"));
    EXPECT_EQ(r.status, 503);
    EXPECT_EQ(r.body, busy.body);
    EXPECT_EQ(world->sends, 30);
    EXPECT_EQ(world->sleeps, QList<double>{1.0});
}

TEST(IdentityThrottle, CancellationEndsTheCallWithoutAnotherSend)
{
    {
        // During the wait between repeats.
        auto world = std::make_shared<World>();
        auto throttle = makeThrottle(world);
        world->cancelDuringSleep = true;
        world->script.push_back(answer(502));
        EXPECT_THROW(runOnce(throttle, world, QStringLiteral("GET")), CancellationError);
        EXPECT_EQ(world->sends, 1);
    }
    {
        // Before anything is sent: no send and no stamp.
        auto world = std::make_shared<World>();
        auto throttle = makeThrottle(world);
        world->token.cancel();
        EXPECT_THROW(runOnce(throttle, world), CancellationError);
        EXPECT_EQ(world->sends, 0);
        EXPECT_EQ(throttle->requestWindowCount(), 0);
    }
    {
        // A send that was cancelled counts no failure.
        auto world = std::make_shared<World>();
        auto throttle = makeThrottle(world);
        world->script.push_back(std::make_exception_ptr(CancellationError()));
        EXPECT_THROW(runOnce(throttle, world, QStringLiteral("GET")), CancellationError);
        EXPECT_EQ(world->sends, 1);
        EXPECT_EQ(throttle->consecutiveFailures(), 0);
    }
}

TEST(IdentityThrottle, TransportErrorsCountAndGetRepeatsBeforeThrowingTheLast)
{
    auto world = std::make_shared<World>();
    auto throttle = makeThrottle(world);
    for (int i = 0; i < 3; ++i)
        world->script.push_back(std::make_exception_ptr(OrvalenError::networkUnavailable()));
    world->script.push_back(std::make_exception_ptr(OrvalenError::malformedResponse(QStringLiteral("last"))));
    try {
        runOnce(throttle, world, QStringLiteral("GET"));
        ADD_FAILURE() << "expected the last error";
    } catch (const OrvalenError &error) {
        EXPECT_EQ(error, OrvalenError::malformedResponse(QStringLiteral("last")));
    }
    EXPECT_EQ(world->sends, 4);
    EXPECT_EQ(world->sleeps.size(), 3);
    EXPECT_EQ(throttle->consecutiveFailures(), 4);

    auto world2 = std::make_shared<World>();
    auto throttle2 = makeThrottle(world2);
    world2->script.push_back(std::make_exception_ptr(OrvalenError::networkUnavailable()));
    EXPECT_THROW(runOnce(throttle2, world2), OrvalenError);
    EXPECT_EQ(world2->sends, 1);
    EXPECT_EQ(throttle2->consecutiveFailures(), 1);
}

TEST(IdentityThrottle, DefaultSleepWaitsOnTheEventLoopAndStopsWhenCancelled)
{
    EXPECT_NO_THROW(TestSupport::runTask(CancellationToken::sleep(0, {})));
    EXPECT_NO_THROW(TestSupport::runTask(CancellationToken::sleep(0.01, {})));
    CancellationToken token = CancellationToken::make();
    QTimer::singleShot(0, [token] { token.cancel(); });
    EXPECT_THROW(TestSupport::runTask(CancellationToken::sleep(250, token)), CancellationError);
}
