#include "Vantle/Models/LedgerModel.h"

#include "Vantle/Utilities/Log.h"

#include <QCoro/QCoroFuture>
#include <QPointer>

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>
#include <utility>

namespace {
const Log &ledgerLog()
{
    static const Log log(QStringLiteral("ledger"));
    return log;
}

bool isOfferedForTracking(const VantCategory &category)
{
    return (category.kind == CategoryKind::committed || category.kind == CategoryKind::yours)
        && !category.archived;
}
} // namespace

LedgerModel::LedgerModel(std::shared_ptr<VantleAPI> api, QObject *parent)
    : QObject(parent)
    , m_api(std::move(api))
{
    if (!m_api)
        throw std::invalid_argument("LedgerModel needs a ledger client");
    m_refreshTimer.setInterval(defaultRefreshInterval);
    // Coarse: a refresh a moment late costs nothing, and the wakeup can share its slot.
    m_refreshTimer.setTimerType(Qt::CoarseTimer);
    // While refreshes fail the retries keep their own schedule; the periodic one adds
    // nothing to it, nor to a refresh already under way.
    connect(&m_refreshTimer, &QTimer::timeout, this, [this]() {
        if (!m_retryTimer.isActive() && !isRefreshing())
            refreshInBackground();
    });
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_retryTimer, &QTimer::timeout, this, &LedgerModel::refreshInBackground);
}

LedgerModel::~LedgerModel()
{
    // Callers still awaiting a refresh resume with nothing applied.
    finishWaiters(std::exchange(m_waitingForCurrent, {}));
    finishWaiters(std::exchange(m_waitingForNext, {}));
}

void LedgerModel::setCategories(QList<VantCategory> categories)
{
    if (m_categories == categories)
        return;
    m_categories = std::move(categories);
    Q_EMIT categoriesChanged();
}

void LedgerModel::setDidLoadCategories(bool didLoadCategories)
{
    if (!didLoadCategories)
        m_clearedThrough = m_fetchesStarted;
    if (m_didLoadCategories == didLoadCategories)
        return;
    m_didLoadCategories = didLoadCategories;
    Q_EMIT didLoadCategoriesChanged(m_didLoadCategories);
}

QList<VantCategory> LedgerModel::visibleCategories() const
{
    QList<VantCategory> visible;
    std::copy_if(m_categories.cbegin(), m_categories.cend(), std::back_inserter(visible), isOfferedForTracking);
    std::stable_sort(visible.begin(), visible.end(),
                     [](const VantCategory &a, const VantCategory &b) { return a.position < b.position; });
    return visible;
}

QCoro::Task<void> LedgerModel::refresh()
{
    auto waiter = std::make_shared<QPromise<void>>();
    waiter->start();
    QFuture<void> served = waiter->future();
    m_waitingForNext.push_back(std::move(waiter));
    requestRefresh();
    // Nothing after this line may touch the model: it may be gone when the wait ends.
    co_await qCoro(served).waitForFinished();
}

void LedgerModel::requestRefresh()
{
    m_refreshWanted = true;
    if (!m_refreshing) {
        // Never throws; the task runs on by itself.
        [[maybe_unused]] QCoro::Task<void> running = runRefreshes();
    }
}

void LedgerModel::refreshInBackground()
{
    if (!m_refreshing)
        requestRefresh();
}

QCoro::Task<void> LedgerModel::runRefreshes()
{
    QPointer<LedgerModel> self(this);
    // The client stays alive for the request even if the model goes away meanwhile.
    const std::shared_ptr<VantleAPI> api = m_api;
    const std::uint64_t clears = m_clears;
    const auto current = [&self, this, clears]() { return self && clears == m_clears; };
    setRefreshing(true);
    if (!current())
        co_return;
    while (m_refreshWanted) {
        m_refreshWanted = false;
        m_waitingForCurrent = std::exchange(m_waitingForNext, {});
        // A retry that was planned is this request.
        m_retryTimer.stop();
        const std::uint64_t fetch = beginCategoriesFetch();
        std::optional<QList<VantCategory>> fetched;
        try {
            fetched = co_await api->categories();
        } catch (const VantAPIError &error) {
            ledgerLog().emit(QStringLiteral("warn"),
                             QStringLiteral("refresh_failed error=%1 %2").arg(error.status()).arg(error.code()));
        } catch (const std::exception &error) {
            ledgerLog().emit(QStringLiteral("warn"),
                             QStringLiteral("refresh_failed error=%1").arg(QString::fromUtf8(error.what())));
        } catch (...) {
            ledgerLog().emit(QStringLiteral("warn"), QStringLiteral("refresh_failed error=unknown"));
        }
        // Cleared meanwhile: the answer, good or bad, was for a ledger that is gone, and the
        // next one's requests do not wait for this one.
        if (!current())
            co_return;
        if (fetched) {
            if (!applyFetchedCategories(fetch, std::move(*fetched)))
                ledgerLog().emit(QStringLiteral("debug"), QStringLiteral("refresh_dropped reason=superseded"));
        } else if (fetch > m_newestOutcome) {
            // A failure counts unless a newer answer already came.
            m_newestOutcome = fetch;
            planRetry();
            setLastRefreshFailed(true);
        }
        if (!current())
            co_return;
        finishWaiters(std::exchange(m_waitingForCurrent, {}));
    }
    setRefreshing(false);
}

void LedgerModel::finishWaiters(std::vector<std::shared_ptr<QPromise<void>>> waiters)
{
    for (const auto &waiter : waiters)
        waiter->finish();
}

void LedgerModel::retryNow()
{
    m_retryTimer.stop();
    refreshInBackground();
}

std::chrono::milliseconds LedgerModel::plannedRetryDelay() const
{
    return m_retryTimer.isActive() ? m_retryTimer.intervalAsDuration() : std::chrono::milliseconds(0);
}

void LedgerModel::planRetry()
{
    if (!m_active)
        return;
    // Doubles with each failure in a row, up to the refresh interval.
    std::chrono::milliseconds delay = m_firstRetryDelay;
    for (int i = 0; i < m_failures && delay < m_refreshTimer.intervalAsDuration(); ++i)
        delay *= 2;
    delay = std::min(delay, m_refreshTimer.intervalAsDuration());
    ++m_failures;
    m_retryTimer.start(delay);
}

void LedgerModel::setLastRefreshFailed(bool failed)
{
    if (m_lastRefreshFailed == failed)
        return;
    m_lastRefreshFailed = failed;
    Q_EMIT lastRefreshFailedChanged(failed);
}

void LedgerModel::setRefreshing(bool refreshing)
{
    if (m_refreshing == refreshing)
        return;
    m_refreshing = refreshing;
    Q_EMIT isRefreshingChanged(refreshing);
}

void LedgerModel::setActive(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    if (active) {
        m_refreshTimer.start();
        requestRefresh();
    } else {
        m_refreshTimer.stop();
        clear();
    }
    Q_EMIT isActiveChanged(active);
}

void LedgerModel::setRefreshInterval(std::chrono::milliseconds interval)
{
    m_refreshTimer.setInterval(interval);
}

void LedgerModel::clear()
{
    QPointer<LedgerModel> self(this);
    m_retryTimer.stop();
    m_failures = 0;
    // What is out belongs to the ledger that ends here: whoever waits for it is done, and
    // the next ledger's first request goes out without waiting for it.
    ++m_clears;
    m_refreshWanted = false;
    finishWaiters(std::exchange(m_waitingForCurrent, {}));
    finishWaiters(std::exchange(m_waitingForNext, {}));
    setRefreshing(false);
    if (self)
        setLastRefreshFailed(false);
    // Marked not loaded before the categories go: a ledger that is loaded and empty is a
    // person without categories (the Hour Audit), which the one who left need not be.
    // Also voids what is in flight: it was asked for by the session that just ended.
    if (self)
        setDidLoadCategories(false);
    if (self)
        setCategories({});
}

std::uint64_t LedgerModel::beginCategoriesFetch()
{
    return ++m_fetchesStarted;
}

bool LedgerModel::applyFetchedCategories(std::uint64_t ticket, QList<VantCategory> categories)
{
    if (ticket < m_newestApplied || ticket <= m_clearedThrough)
        return false;
    m_newestApplied = ticket;
    m_newestOutcome = std::max(m_newestOutcome, ticket);
    // The service answers again: the retries are over.
    m_retryTimer.stop();
    m_failures = 0;
    QPointer<LedgerModel> self(this);
    setCategories(std::move(categories));
    // A receiver of the change may have taken the model down with it.
    if (self)
        setDidLoadCategories(true);
    // Last: the categories are in by the time the failure is forgotten, so nothing is
    // shown "loading" in between.
    if (self)
        setLastRefreshFailed(false);
    return true;
}
