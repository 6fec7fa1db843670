#include "AuditFlowView.h"

#include "AuditDashboardScreen.h"
#include "AuditDefaultAction.h"
#include "AuditFamilyScreen.h"
#include "AuditHeader.h"
#include "AuditScreenHost.h"
#include "AuditSleepScreen.h"
#include "AuditUpkeepScreen.h"
#include "AuditWorkScreen.h"
#include "AuditYoursScreen.h"

#include "VantleKit/Audit/AuditStore.h"

#include <QPainter>
#include <QVBoxLayout>

#include <stdexcept>

namespace {
std::size_t slot(AuditScreen screen)
{
    return std::size_t(screen);
}

// The six hosts lie on top of each other, each as large as the stack and moved down by its
// own rise offset while it rises.
class ScreenStack final : public QWidget {
public:
    using QWidget::QWidget;

    void addHost(AuditScreenHost *host)
    {
        host->setParent(this);
        m_hosts.append(host);
        connect(host, &AuditScreenHost::riseOffsetChanged, this, [this, host] { place(host); });
        place(host);
    }
    QSize sizeHint() const override { return QSize(AuditScreenHost::maxColumnWidth + 56, 600); }
    QSize minimumSizeHint() const override
    {
        QSize size(0, 0);
        for (const AuditScreenHost *host : m_hosts)
            size = size.expandedTo(host->minimumSizeHint());
        return size;
    }

protected:
    void resizeEvent(QResizeEvent *) override
    {
        for (AuditScreenHost *host : std::as_const(m_hosts))
            place(host);
    }

private:
    void place(AuditScreenHost *host)
    {
        host->setGeometry(rect().translated(0, qRound(host->riseOffset())));
    }

    QList<AuditScreenHost *> m_hosts;
};
} // namespace

AuditFlowView::AuditFlowView(const AuditPalette &palette, std::unique_ptr<AuditStore> store, QWidget *sleepFooter,
                             QWidget *parent)
    : QWidget(parent)
    , m_store(store.release())
    , m_header(nullptr)
    , m_shown(AuditScreen::sleep)
{
    if (!m_store)
        throw std::invalid_argument("AuditFlowView needs a store");
    setObjectName(QStringLiteral("audit.flow"));
    AuditPalette::set(this, palette);

    m_header = new AuditHeader(m_store->questionNumber());
    m_header->setObjectName(QStringLiteral("audit.flow.header"));
    auto *stack = new ScreenStack;
    for (AuditScreen screen : allAuditScreens) {
        auto *host = new AuditScreenHost;
        host->setObjectName(QStringLiteral("audit.flow.host.") + toRaw(screen));
        m_hosts[slot(screen)] = host;
    }
    AuditStore *s = m_store;
    host(AuditScreen::sleep)->setContent(new AuditSleepScreen(s, sleepFooter));
    host(AuditScreen::work)->setContent(new AuditWorkScreen(s));
    host(AuditScreen::upkeep)->setContent(new AuditUpkeepScreen(s));
    host(AuditScreen::family)->setContent(new AuditFamilyScreen(s));
    host(AuditScreen::dash)->setContent(new AuditDashboardScreen(s, host(AuditScreen::dash)));
    host(AuditScreen::yours)->setContent(new AuditYoursScreen(s));
    for (AuditScreen screen : allAuditScreens) {
        QWidget *content = this->screen(screen);
        content->setObjectName(QStringLiteral("audit.") + toRaw(screen));
        stack->addHost(host(screen));
    }

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_header);
    column->addWidget(stack, 1);

    // Return presses the shown screen's default button, whatever has the focus.
    AuditDefaultAction::install(this);

    // The last child, so the screens, which refer to it, are destroyed before it.
    m_store->setParent(this);

    m_shown = m_store->state().screen;
    host(m_shown)->setActive(true);
    connect(m_store, &AuditStore::stateChanged, this, &AuditFlowView::syncScreen);
}

AuditFlowView::~AuditFlowView() = default;

AuditScreenHost *AuditFlowView::host(AuditScreen screen) const
{
    return m_hosts.at(slot(screen));
}

QWidget *AuditFlowView::screen(AuditScreen screen) const
{
    return host(screen)->content();
}

void AuditFlowView::syncScreen()
{
    m_header->setQuestion(m_store->questionNumber());
    const AuditScreen current = m_store->state().screen;
    if (current == m_shown)
        return;
    // The old one goes at once; the new one comes back to its top and rises.
    host(m_shown)->setActive(false);
    m_shown = current;
    host(current)->setActive(true);
}

void AuditFlowView::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), AuditPalette::of(this).canvas);
}
