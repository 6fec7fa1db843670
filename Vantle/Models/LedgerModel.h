#pragma once

#include "VantleKit/VantCategory.h"
#include "VantleKit/VantleAPI.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>

// The application's ledger state as the views read it, confined to the GUI thread.
// It owns the one ledger client.
class LedgerModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<VantCategory> categories READ categories WRITE setCategories NOTIFY categoriesChanged)
    Q_PROPERTY(bool didLoadCategories READ didLoadCategories WRITE setDidLoadCategories NOTIFY
                   didLoadCategoriesChanged)
    Q_PROPERTY(QList<VantCategory> visibleCategories READ visibleCategories NOTIFY categoriesChanged)
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)

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

    // Reloads the categories. Never throws: a failure is logged and leaves the state as it was.
    QCoro::Task<void> refresh();

    static constexpr std::chrono::milliseconds defaultRefreshInterval{60000};

    // Follows the signed-in state. Turning active refreshes at once and then every refresh
    // interval; turning inactive stops that and clears the ledger (no categories,
    // didLoadCategories false), and an answer still on its way belongs to the ledger as it
    // was: it is dropped. Setting the value it already has does nothing.
    void setActive(bool active);
    bool isActive() const { return m_active; }
    // Tests shorten it; takes effect at the next tick.
    void setRefreshInterval(std::chrono::milliseconds interval);

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

private:
    void clear();
    void refreshInBackground();

    std::shared_ptr<VantleAPI> m_api;
    QList<VantCategory> m_categories;
    bool m_didLoadCategories = false;
    // Orders overlapping fetches: an answer older than one already applied is dropped.
    std::uint64_t m_fetchesStarted = 0;
    std::uint64_t m_newestApplied = 0;
    // Tickets up to this one were taken before the last clear.
    std::uint64_t m_clearedThrough = 0;
    bool m_active = false;
    QTimer m_refreshTimer;
};
