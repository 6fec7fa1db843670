#pragma once

#include "VantleKit/Audit/AuditSubmission.h"
#include "VantleKit/Audit/Views/AuditPalette.h"

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QWidget>

#include <chrono>
#include <cstdint>

class AuditFlowView;
class AuditStore;
class LedgerModel;

// The application's host of the Hour Audit, shown in place of the tracking content while the
// signed-in user's categories are loaded and none of them is visible.
//
// Whatever shows it (the root view) creates it once, with the application's one ledger, and
// deletes it with deleteLater() once done() has been emitted (or when the ledger is cleared,
// which stops it for good). It owns the audit flow, which owns the store of the run: nothing
// is kept on disk. Closing the window abandons the run: when the window opens again the
// audit starts afresh, with a new flow and store.
//
// It submits the audit through the ledger's client and then refreshes the ledger. While it
// is shown it also fetches the categories every 5 seconds, so an audit taken on the web page
// (offered under the first question) or on another device ends this one. The poll never
// writes an answer older than one the ledger applied already, stops once the ledger has been
// cleared (and drops a fetch that was in flight across the clear), and stops when the view
// is hidden or gone.
class HourAuditView final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool isDone READ isDone NOTIFY done)
public:
    static constexpr std::chrono::milliseconds defaultPollInterval{5000};

    // `ledger` must outlive the view's use of it; the view only holds a guarded pointer.
    explicit HourAuditView(LedgerModel *ledger, QWidget *parent = nullptr);
    ~HourAuditView() override;

    // The audit's palette on the application's theme.
    static AuditPalette palette();

    AuditFlowView *flow() const { return m_flow; }
    AuditStore *store() const;

    // True once the ledger holds a visible category: the audit is over, by this submission or
    // by one made elsewhere.
    bool isDone() const { return m_done; }
    bool isPolling() const { return m_pollRunning; }
    // How long the poll waits before each fetch; tests shorten it.
    void setPollInterval(std::chrono::milliseconds interval) { m_pollInterval = interval; }

Q_SIGNALS:
    // Emitted once, when the ledger first holds a visible category (asynchronously when it
    // already does at construction).
    void done();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    AuditFlowView *makeFlow();
    void startOver();
    void checkDone();
    void startPolling();
    void stopPolling();
    static QCoro::Task<void> poll(QPointer<HourAuditView> self, QPointer<LedgerModel> ledger,
                                  std::uint64_t generation);
    static QCoro::Task<void> sendAudit(QPointer<LedgerModel> ledger, AuditSubmission submission);

    QPointer<LedgerModel> m_ledger;
    AuditFlowView *m_flow;
    bool m_done = false;
    bool m_abandoned = false;
    bool m_pollRunning = false;
    bool m_pollFinished = false;
    std::uint64_t m_pollGeneration = 0;
    std::chrono::milliseconds m_pollInterval = defaultPollInterval;
};
