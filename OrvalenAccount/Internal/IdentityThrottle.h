#pragma once

#include "OrvalenAccount/Internal/CancellationToken.h"
#include "OrvalenAccount/Internal/HTTPResponse.h"
#include "OrvalenAccount/Internal/IdentityRequestClass.h"
#include "OrvalenAccount/OrvalenConfig.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

struct IdentityThrottleOptions {
    int maxRequestsPerMinute = 30;
    int globalMaxRequestsPerMinute = 90;
    int circuitBreakerThreshold = 5;
    double circuitBreakerOpenDuration = 300; // seconds
    double maxBackoff = 300;                 // seconds
    double backoffBase = 1;                  // seconds
    int maxRetries = 3;
};

// Stands in front of every identity-service request: refuses while the circuit is
// open, keeps requests within the per-minute windows, counts server failures and
// repeats GET requests after a back-off. A refusal is a made-up answer (429 or 503),
// never an error. Lives on the GUI thread; each bookkeeping step runs without
// suspending, so a budget check and its stamp are one step. Always held in a
// shared_ptr: a running call keeps its throttle alive.
class IdentityThrottle final : public std::enable_shared_from_this<IdentityThrottle> {
    struct Tag {};

public:
    using SendResult = HTTPResponse;
    using Clock = std::function<QDateTime()>;
    // Waits the seconds; throws CancellationError when the token is cancelled.
    using Sleep = std::function<QCoro::Task<void>(double seconds, CancellationToken cancel)>;
    using Send = std::function<QCoro::Task<HTTPResponse>()>;

    // The default clock: the wall time when it was made, advanced by a monotonic count
    // since (milliseconds), so that a step of the system clock neither refuses requests
    // for its length nor empties the windows early. Empty sources: the system's.
    static Clock monotonicClock(Clock wallAtStart = {}, std::function<qint64()> elapsedMilliseconds = {});

    // Empty clock: monotonicClock(); empty sleep: CancellationToken::sleep.
    static std::shared_ptr<IdentityThrottle> create(IdentityThrottleOptions options = {},
                                                    OrvalenLogger logger = {}, Clock clock = {},
                                                    Sleep sleep = {});
    IdentityThrottle(Tag, IdentityThrottleOptions options, OrvalenLogger logger, Clock clock, Sleep sleep);

    // Sends through `send` unless refused. Throws CancellationError, or what `send`
    // or the sleep threw.
    QCoro::Task<HTTPResponse> run(QUrl url, QString method, IdentityRequestClass requestClass, Send send,
                                  CancellationToken cancel = {});

    // Bookkeeping steps, each without suspension.
    bool tryConsumeBudget(IdentityRequestClass requestClass);
    double nextTokenDelay(IdentityRequestClass requestClass) const;
    void recordFailure();
    std::optional<double> circuitOpenRemaining();
    // Seconds the answer asks us to wait, 0 to 300; absent when it names no usable delay.
    std::optional<double> retryAfter(const HTTPResponse &response) const;
    static std::optional<QDateTime> httpDate(const QString &text);

    const IdentityThrottleOptions &options() const { return m_options; }
    int consecutiveFailures() const { return m_consecutiveFailures; }
    std::optional<QDateTime> circuitOpenUntil() const { return m_circuitOpenUntil; }
    int requestWindowCount() const { return static_cast<int>(m_recentRequestTimes.size()); }
    int globalWindowCount() const { return static_cast<int>(m_recentAllRequestTimes.size()); }

private:
    static void prune(std::deque<QDateTime> &window, const QDateTime &cutoff);
    double exponentialDelay(int attempt) const;
    QDateTime now() const;
    void log(OrvalenLogLevel level, const QString &event, const OrvalenLogFields &fields) const;

    IdentityThrottleOptions m_options;
    OrvalenLogger m_logger;
    Clock m_clock;
    Sleep m_sleep;
    std::deque<QDateTime> m_recentRequestTimes;
    std::deque<QDateTime> m_recentAllRequestTimes;
    int m_consecutiveFailures = 0;
    std::optional<QDateTime> m_circuitOpenUntil;
};
