#pragma once

#include "VantleKit/VantCategory.h"
#include "VantleKit/VantleAPI.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QPromise>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

// The application's ledger state as the views read it, confined to the GUI thread.
// It owns the one ledger client.
class LedgerModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<VantCategory> categories READ categories WRITE setCategories NOTIFY categoriesChanged)
    Q_PROPERTY(bool didLoadCategories READ didLoadCategories WRITE setDidLoadCategories NOTIFY
                   didLoadCategoriesChanged)
    Q_PROPERTY(QList<VantCategory> visibleCategories READ visibleCategories NOTIFY categoriesChanged)
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)
    Q_PROPERTY(bool lastRefreshFailed READ lastRefreshFailed NOTIFY lastRefreshFailedChanged)
    Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY isRefreshingChanged)

public:
    explicit LedgerModel(std::shared_ptr<VantleAPI> api, QObject *parent = nullptr);
    ~LedgerModel() override;

    // The client, fixed for the model's lifetime.
    VantleAPI &api() const { return *m_api; }

    QList<VantCategory> categories() const { return m_categories; }
    void setCategories(QList<VantCategory> categories);
    // True once categories have arrived; false again after the ledger was cleared. Setting it
    // to false also voids every category fetch still in flight: its answer belongs to the
    // ledger as it was before the clear.
    bool didLoadCategories() const { return m_didLoadCategories; }
    void setDidLoadCategories(bool didLoadCategories);
    // The categories offered for tracking: committed or yours, not archived, by position.
    QList<VantCategory> visibleCategories() const;

    // Reloads the categories, and finishes once a request sent after the call has been
    // answered (or the ledger was cleared meanwhile). One request is out at a time, whoever
    // asks: a call while one is out is served by one more request after it. Never throws: a
    // failure is logged and leaves the categories as they were; it marks the last refresh
    // failed and, while active, plans a retry.
    QCoro::Task<void> refresh();

    // The newest refresh found no answer or an error, and no categories have arrived since:
    // what is shown is what the last good answer brought, if anything. A clear resets it.
    bool lastRefreshFailed() const { return m_lastRefreshFailed; }
    // A refresh is on its way.
    bool isRefreshing() const { return m_refreshing; }
    // Refreshes now, whatever the retry schedule says (the person's Retry): the planned retry
    // is this one. While a request is out, that one is the retry and nothing more is sent.
    void retryNow();
    // Whether a retry of a failed refresh is planned, and after how long.
    bool isRetryPlanned() const { return m_retryTimer.isActive(); }
    std::chrono::milliseconds plannedRetryDelay() const;

    static constexpr std::chrono::milliseconds defaultRefreshInterval{60000};
    // While refreshes fail the model tries again on a schedule of its own: first after this
    // long, then after twice the last wait each time, never after longer than the refresh
    // interval. A failing service costs a few wakeups a minute, not a busy loop.
    static constexpr std::chrono::milliseconds defaultFirstRetryDelay{5000};

    // Follows the signed-in state. Turning active refreshes at once and then every refresh
    // interval; turning inactive stops that and clears the ledger (no categories,
    // didLoadCategories false), and an answer still on its way belongs to the ledger as it
    // was: it is dropped. Setting the value it already has does nothing.
    void setActive(bool active);
    bool isActive() const { return m_active; }
    // Tests shorten them; they take effect at the next tick or retry.
    void setRefreshInterval(std::chrono::milliseconds interval);
    void setFirstRetryDelay(std::chrono::milliseconds delay) { m_firstRetryDelay = delay; }

    // A category fetch made outside refresh() (the Hour Audit's poll) joins the same order:
    // it takes a ticket before its request and hands the answer back with it. The answer is
    // applied (the categories, and didLoadCategories true) unless one of a later ticket was
    // applied already or the ledger was cleared after the ticket was taken. Returns whether
    // it was applied.
    std::uint64_t beginCategoriesFetch();
    bool applyFetchedCategories(std::uint64_t ticket, QList<VantCategory> categories);

Q_SIGNALS:
    void categoriesChanged();
    void didLoadCategoriesChanged(bool didLoadCategories);
    void isActiveChanged(bool isActive);
    void lastRefreshFailedChanged(bool lastRefreshFailed);
    void isRefreshingChanged(bool isRefreshing);

private:
    void clear();
    // A request unless one is out already (the periodic refresh, a retry).
    void refreshInBackground();
    // A request that starts after this call, after the one out if there is one.
    void requestRefresh();
    QCoro::Task<void> runRefreshes();
    void finishWaiters(std::vector<std::shared_ptr<QPromise<void>>> waiters);
    void setLastRefreshFailed(bool failed);
    void setRefreshing(bool refreshing);
    void planRetry();

    std::shared_ptr<VantleAPI> m_api;
    QList<VantCategory> m_categories;
    bool m_didLoadCategories = false;
    // Orders overlapping fetches: an answer older than one already applied is dropped.
    std::uint64_t m_fetchesStarted = 0;
    std::uint64_t m_newestApplied = 0;
    // Tickets up to this one were taken before the last clear.
    std::uint64_t m_clearedThrough = 0;
    // The ticket of the newest refresh whose outcome was taken into account.
    std::uint64_t m_newestOutcome = 0;
    bool m_active = false;
    bool m_lastRefreshFailed = false;
    bool m_refreshing = false;
    bool m_refreshWanted = false;
    // Counts the clears: a request of an earlier ledger no longer holds up the next one.
    std::uint64_t m_clears = 0;
    // Callers of refresh() waiting for the request that serves them.
    std::vector<std::shared_ptr<QPromise<void>>> m_waitingForNext;
    std::vector<std::shared_ptr<QPromise<void>>> m_waitingForCurrent;
    // Failed refreshes in a row: how long the next retry waits.
    int m_failures = 0;
    std::chrono::milliseconds m_firstRetryDelay = defaultFirstRetryDelay;
    QTimer m_refreshTimer;
    QTimer m_retryTimer;
};
