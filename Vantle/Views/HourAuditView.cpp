#include "Vantle/Views/HourAuditView.h"

#include "Vantle/Models/LedgerModel.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/HourAuditWebLink.h"

#include "VantleKit/Audit/AuditStore.h"
#include "VantleKit/Audit/Views/AuditFlowView.h"

#include <QCoro/QCoroTimer>
#include <QHideEvent>
#include <QShowEvent>
#include <QTimeZone>
#include <QVBoxLayout>

#include <stdexcept>

namespace {
const Log &auditLog()
{
    static const Log log(QStringLiteral("audit"));
    return log;
}

// The footer of the first question: the web fallback, 26 below what stands above it.
QWidget *webFallback()
{
    auto *footer = new QWidget;
    auto *column = new QVBoxLayout(footer);
    column->setContentsMargins(0, 26, 0, 0);
    column->setSpacing(0);
    auto *link = new HourAuditWebLink;
    link->setObjectName(QStringLiteral("audit.sleep.web"));
    column->addWidget(link, 0, Qt::AlignLeft);
    return footer;
}
} // namespace

HourAuditView::HourAuditView(LedgerModel *ledger, QWidget *parent)
    : QWidget(parent)
    , m_ledger(ledger)
{
    if (!ledger)
        throw std::invalid_argument("HourAuditView needs the ledger");

    m_flow = makeFlow();
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_flow);

    connect(ledger, &LedgerModel::categoriesChanged, this, &HourAuditView::checkDone);
    if (!ledger->visibleCategories().isEmpty())
        QMetaObject::invokeMethod(this, &HourAuditView::checkDone, Qt::QueuedConnection);
}

HourAuditView::~HourAuditView()
{
    // A poll waiting right now sees the view gone and ends.
    ++m_pollGeneration;
}

AuditPalette HourAuditView::palette()
{
    return AuditPalette{
        Theme::canvas,      Theme::card,        vantHex(0x26262B), Theme::border,
        Theme::text,        Theme::muted,       Theme::accent,     vantHex(0xF0A32A),
        vantHex(0xF5B84F), vantHex(0xF87171), vantHex(0x1C1200), vantHex(0x3B3B40),
    };
}

AuditStore *HourAuditView::store() const
{
    return m_flow->store();
}

AuditFlowView *HourAuditView::makeFlow()
{
    QPointer<LedgerModel> guarded(m_ledger);
    auto store = std::make_unique<AuditStore>(
        AuditState::initial(), QString::fromUtf8(QTimeZone::systemTimeZoneId()),
        [guarded](AuditSubmission submission) { return sendAudit(guarded, std::move(submission)); },
        // Leaving the audit follows from the ledger (done()), not from the store.
        [] {});
    return new AuditFlowView(palette(), std::move(store), webFallback());
}

void HourAuditView::startOver()
{
    m_abandoned = false;
    AuditFlowView *old = m_flow;
    m_flow = makeFlow();
    layout()->replaceWidget(old, m_flow);
    old->hide();
    // Later: a submission of the old store may be finishing inside a call from it.
    old->deleteLater();
    m_flow->show();
}

void HourAuditView::checkDone()
{
    if (m_done || !m_ledger || m_ledger->visibleCategories().isEmpty())
        return;
    m_done = true;
    m_pollFinished = true;
    stopPolling();
    Q_EMIT done();
}

void HourAuditView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_abandoned && !event->spontaneous())
        startOver();
    startPolling();
}

void HourAuditView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A minimised window keeps polling: an audit finished on the web should still end this one.
    if (event->spontaneous())
        return;
    stopPolling();
    // Its window closed: the audit is abandoned, and its next showing starts afresh. (Hidden
    // in a window still shown, it is being replaced, and goes anyway.)
    if (!window()->isVisible())
        m_abandoned = true;
}

void HourAuditView::startPolling()
{
    if (m_pollRunning || m_pollFinished || m_done)
        return;
    m_pollRunning = true;
    QCoro::Task<void> running = poll(this, m_ledger, ++m_pollGeneration);
    Q_UNUSED(running);
}

void HourAuditView::stopPolling()
{
    if (!m_pollRunning)
        return;
    m_pollRunning = false;
    // The loop sees the new generation after its current wait and ends without writing.
    ++m_pollGeneration;
}

QCoro::Task<void> HourAuditView::poll(QPointer<HourAuditView> self, QPointer<LedgerModel> ledger,
                                      std::uint64_t generation)
{
    const auto current = [&] { return self && ledger && self->m_pollGeneration == generation; };
    const auto finish = [&] {
        self->m_pollRunning = false;
        self->m_pollFinished = true;
    };
    while (current()) {
        co_await QCoro::sleepFor(self->m_pollInterval);
        if (!current())
            co_return;
        if (!ledger->didLoadCategories()) {
            finish();
            co_return;
        }
        const std::uint64_t ticket = ledger->beginCategoriesFetch();
        try {
            QList<VantCategory> fetched = co_await ledger->api().categories();
            if (!current())
                co_return;
            // Dropped when a newer list was applied meanwhile (a submission's refresh) or
            // the ledger was cleared.
            ledger->applyFetchedCategories(ticket, std::move(fetched));
        } catch (const std::exception &error) {
            auditLog().emit(QStringLiteral("debug"), QStringLiteral("category_poll_failed error=") + QString::fromUtf8(error.what()));
        } catch (...) {
            auditLog().emit(QStringLiteral("debug"), QStringLiteral("category_poll_failed error=unknown"));
        }
        if (!current())
            co_return;
        if (!ledger->didLoadCategories() || !ledger->visibleCategories().isEmpty()) {
            finish();
            co_return;
        }
    }
}

QCoro::Task<void> HourAuditView::sendAudit(QPointer<LedgerModel> ledger, AuditSubmission submission)
{
    if (!ledger)
        throw std::runtime_error("the ledger is gone");
    co_await ledger->api().postAudit(submission.answers, submission.derived, submission.sleepHours,
                                     submission.wakeTime, submission.timezone, submission.categories);
    // The new categories end the audit through the ledger; a failed refresh leaves the audit
    // submitted (it cannot be sent again) until the poll brings them.
    if (ledger)
        co_await ledger->refresh();
}
