#include "OrvalenAccount/Internal/IdentityThrottle.h"

#include "OrvalenAccount/Internal/IdentityThrottleShortCircuit.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <exception>
#include <random>

namespace {

double secondsBetween(const QDateTime &from, const QDateTime &to)
{
    return static_cast<double>(from.msecsTo(to)) / 1000.0;
}

// A uniformly distributed value in the closed range [0, upper].
double uniformClosed(double upper)
{
    static thread_local std::mt19937_64 engine{std::random_device{}()};
    if (!(upper > 0))
        return 0;
    std::uniform_real_distribution<double> distribution(
        0.0, std::nextafter(upper, std::numeric_limits<double>::max()));
    return std::min(distribution(engine), upper);
}

QString whole(double seconds)
{
    return QString::number(static_cast<qint64>(std::trunc(seconds)));
}

} // namespace

std::shared_ptr<IdentityThrottle> IdentityThrottle::create(IdentityThrottleOptions options, OrvalenLogger logger,
                                                           Clock clock, Sleep sleep)
{
    return std::make_shared<IdentityThrottle>(Tag{}, options, std::move(logger), std::move(clock),
                                              std::move(sleep));
}

IdentityThrottle::Clock IdentityThrottle::monotonicClock(Clock wallAtStart, std::function<qint64()> elapsedMilliseconds)
{
    if (!elapsedMilliseconds) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        elapsedMilliseconds = [timer] { return timer->elapsed(); };
    }
    const QDateTime start = wallAtStart ? wallAtStart() : QDateTime::currentDateTimeUtc();
    const qint64 origin = elapsedMilliseconds();
    return [start, origin, elapsed = std::move(elapsedMilliseconds)] { return start.addMSecs(elapsed() - origin); };
}

IdentityThrottle::IdentityThrottle(Tag, IdentityThrottleOptions options, OrvalenLogger logger, Clock clock,
                                   Sleep sleep)
    : m_options(options), m_logger(std::move(logger)), m_clock(std::move(clock)), m_sleep(std::move(sleep))
{
    if (!m_clock)
        m_clock = monotonicClock();
    if (!m_sleep)
        m_sleep = [](double seconds, CancellationToken cancel) { return CancellationToken::sleep(seconds, cancel); };
}

QDateTime IdentityThrottle::now() const
{
    return m_clock();
}

void IdentityThrottle::log(OrvalenLogLevel level, const QString &event, const OrvalenLogFields &fields) const
{
    if (!m_logger)
        return;
    try {
        m_logger(level, event, fields);
    } catch (...) {
        // A logger must never break a request.
    }
}

QCoro::Task<HTTPResponse> IdentityThrottle::run(QUrl url, QString method, IdentityRequestClass requestClass,
                                                Send send, CancellationToken cancel)
{
    // Taken before the first suspension: the throttle outlives every call it runs.
    const std::shared_ptr<IdentityThrottle> self = shared_from_this();
    const bool idempotent = method.toUpper() == QLatin1String("GET");

    if (cancel.isCancelled())
        throw CancellationError();

    if (const std::optional<double> remaining = circuitOpenRemaining(); remaining && *remaining > 0) {
        log(OrvalenLogLevel::warning, QStringLiteral("identity_throttle_circuit_open"),
            {{QStringLiteral("retry_after_s"), whole(*remaining)}});
        co_return IdentityThrottleShortCircuit::response(url, 503, QStringLiteral("circuit_open"), *remaining);
    }

    if (!tryConsumeBudget(requestClass)) {
        log(OrvalenLogLevel::warning, QStringLiteral("identity_throttle_budget_exhausted"),
            {{QStringLiteral("limit_per_min"), QString::number(m_options.maxRequestsPerMinute)}});
        co_return IdentityThrottleShortCircuit::response(url, 429, QStringLiteral("budget_exhausted"),
                                                         nextTokenDelay(requestClass));
    }

    int attempt = 0;
    if (cancel.isCancelled())
        throw CancellationError();

    for (;;) {
        std::optional<HTTPResponse> answer;
        std::exception_ptr failure;
        bool cancelled = false;
        try {
            answer = co_await send();
        } catch (const CancellationError &) {
            cancelled = true;
        } catch (...) {
            failure = std::current_exception();
        }
        // A send that failed because its caller cancelled it says nothing of the
        // service's health: it is a cancel, not a failure, and opens no circuit.
        if (cancelled || (failure && cancel.isCancelled()))
            throw CancellationError();

        if (failure) {
            recordFailure();
            if (idempotent && attempt < m_options.maxRetries) {
                co_await m_sleep(exponentialDelay(attempt), cancel);
                if (cancel.isCancelled())
                    throw CancellationError();
                ++attempt;
                continue;
            }
            std::rethrow_exception(failure);
        }

        if (answer->isSuccess()) {
            m_consecutiveFailures = 0;
            m_circuitOpenUntil.reset();
            co_return std::move(*answer);
        }

        if (answer->status == 429 || answer->status >= 500) {
            recordFailure();
            if (!idempotent || attempt >= m_options.maxRetries)
                co_return std::move(*answer);
            const double delay = retryAfter(*answer).value_or(exponentialDelay(attempt));
            log(answer->status == 429 ? OrvalenLogLevel::warning : OrvalenLogLevel::info,
                QStringLiteral("identity_throttle_server_backoff"),
                {{QStringLiteral("status"), QString::number(answer->status)},
                 {QStringLiteral("attempt"), QString::number(attempt)}});
            co_await m_sleep(delay, cancel);
            if (!tryConsumeBudget(requestClass))
                co_return std::move(*answer);
            if (cancel.isCancelled())
                throw CancellationError();
            ++attempt;
            continue;
        }

        // 1xx, 3xx and the other 4xx answers say nothing about the service's health.
        co_return std::move(*answer);
    }
}

bool IdentityThrottle::tryConsumeBudget(IdentityRequestClass)
{
    const QDateTime stamp = now();
    const QDateTime cutoff = stamp.addSecs(-60);
    prune(m_recentAllRequestTimes, cutoff);
    if (static_cast<int>(m_recentAllRequestTimes.size()) >= m_options.globalMaxRequestsPerMinute)
        return false;
    prune(m_recentRequestTimes, cutoff);
    if (static_cast<int>(m_recentRequestTimes.size()) >= m_options.maxRequestsPerMinute)
        return false;
    m_recentRequestTimes.push_back(stamp);
    m_recentAllRequestTimes.push_back(stamp);
    return true;
}

double IdentityThrottle::nextTokenDelay(IdentityRequestClass) const
{
    const QDateTime stamp = now();
    std::optional<double> delay;
    const auto consider = [&](const std::deque<QDateTime> &window, int capacity) {
        if (static_cast<int>(window.size()) < capacity || window.empty())
            return;
        const double candidate = 60.0 - secondsBetween(window.front(), stamp);
        if (!delay || candidate > *delay)
            delay = candidate;
    };
    consider(m_recentAllRequestTimes, m_options.globalMaxRequestsPerMinute);
    consider(m_recentRequestTimes, m_options.maxRequestsPerMinute);
    return std::clamp(delay.value_or(1.0), 0.1, m_options.maxBackoff);
}

void IdentityThrottle::recordFailure()
{
    ++m_consecutiveFailures;
    if (m_consecutiveFailures >= m_options.circuitBreakerThreshold && !m_circuitOpenUntil) {
        m_circuitOpenUntil = now().addMSecs(std::llround(m_options.circuitBreakerOpenDuration * 1000.0));
        log(OrvalenLogLevel::warning, QStringLiteral("identity_throttle_circuit_tripped"),
            {{QStringLiteral("failures"), QString::number(m_consecutiveFailures)}});
    }
}

std::optional<double> IdentityThrottle::circuitOpenRemaining()
{
    if (!m_circuitOpenUntil)
        return std::nullopt;
    const double remaining = secondsBetween(now(), *m_circuitOpenUntil);
    if (remaining <= 0) {
        // Half-open: one more failure trips the circuit again, one success clears the count.
        m_circuitOpenUntil.reset();
        m_consecutiveFailures = m_options.circuitBreakerThreshold - 1;
        return std::nullopt;
    }
    return remaining;
}

std::optional<double> IdentityThrottle::retryAfter(const HTTPResponse &response) const
{
    const std::optional<QString> header = response.header("Retry-After");
    if (!header)
        return std::nullopt;
    qsizetype begin = 0;
    qsizetype end = header->size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && blank(header->at(begin)))
        ++begin;
    while (end > begin && blank(header->at(end - 1)))
        --end;
    const QString text = header->mid(begin, end - begin);
    if (text.isEmpty())
        return std::nullopt;

    // Only plain decimal seconds: "inf", "nan", exponents and signs are no delay at all.
    // Anchored to the whole text: "$" alone would also match before a final newline.
    static const QRegularExpression plainSeconds(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+(\\.[0-9]+)?")));
    std::optional<double> seconds;
    if (plainSeconds.match(text).hasMatch()) {
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (ok && std::isfinite(value))
            seconds = value;
        else
            seconds = m_options.maxBackoff; // more digits than a double holds: "very long"
    } else if (const std::optional<QDateTime> date = httpDate(text)) {
        seconds = secondsBetween(now(), *date);
    }
    if (!seconds)
        return std::nullopt;
    return std::clamp(*seconds, 0.0, m_options.maxBackoff);
}

std::optional<QDateTime> IdentityThrottle::httpDate(const QString &text)
{
    // "EEE, dd MMM yyyy HH:mm:ss 'GMT'" in the POSIX English locale.
    static const QRegularExpression format(QRegularExpression::anchoredPattern(
        QStringLiteral("(Mon|Tue|Wed|Thu|Fri|Sat|Sun), ([0-9]{2}) "
                       "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) ([0-9]{4}) "
                       "([0-9]{2}):([0-9]{2}):([0-9]{2}) GMT")));
    const QRegularExpressionMatch match = format.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    static const QStringList months = {
        QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"), QStringLiteral("Apr"),
        QStringLiteral("May"), QStringLiteral("Jun"), QStringLiteral("Jul"), QStringLiteral("Aug"),
        QStringLiteral("Sep"), QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};
    const QDate date(match.captured(4).toInt(), static_cast<int>(months.indexOf(match.captured(3))) + 1,
                     match.captured(2).toInt());
    const int hour = match.captured(5).toInt();
    const int minute = match.captured(6).toInt();
    const int second = match.captured(7).toInt();
    if (!date.isValid() || !QTime::isValid(hour, minute, second))
        return std::nullopt;
    return QDateTime(date, QTime(hour, minute, second), QTimeZone::utc());
}

void IdentityThrottle::prune(std::deque<QDateTime> &window, const QDateTime &cutoff)
{
    while (!window.empty() && window.front() < cutoff)
        window.pop_front();
}

double IdentityThrottle::exponentialDelay(int attempt) const
{
    const double base = m_options.backoffBase * std::pow(2.0, attempt);
    return std::min(base + uniformClosed(base / 2.0), m_options.maxBackoff);
}
