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

#include "OrvalenAccount/UI/PaintedButton.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLayout>
#include <QPainter>
#include <QSet>
#include <QShowEvent>
#include <QVBoxLayout>

#include <stdexcept>

namespace {
std::size_t slot(AuditScreen screen)
{
    return std::size_t(screen);
}

bool takesTab(const QWidget *widget)
{
    return (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !widget->focusProxy() && widget->isEnabled();
}

// Collects the controls Tab reaches under a widget, in reading order: what a layout holds
// in the layout's order (rows, columns and the audit's flowing rows all read that way),
// sub-layouts in place, then any other child in the order it was made. Hidden branches are
// left out, except the one holding `keep`, which is counted even while hidden or disabled.
class TabStops {
public:
    explicit TabStops(const QWidget *keep)
        : m_keep(keep)
    {
    }

    void collect(QWidget *widget)
    {
        if (widget->isHidden() && widget != m_keep && !widget->isAncestorOf(m_keep))
            return;
        if (takesTab(widget) || widget == m_keep)
            m_stops.append(widget);
        QSet<QWidget *> seen;
        if (QLayout *layout = widget->layout())
            collect(layout, seen);
        for (QObject *object : widget->children()) {
            auto *child = qobject_cast<QWidget *>(object);
            if (child && !child->isWindow() && !seen.contains(child))
                collect(child);
        }
    }

    QList<QWidget *> stops() const { return m_stops; }

private:
    void collect(QLayout *layout, QSet<QWidget *> &seen)
    {
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem *item = layout->itemAt(i);
            if (QWidget *child = item->widget()) {
                seen.insert(child);
                collect(child);
            } else if (QLayout *inner = item->layout()) {
                collect(inner, seen);
            }
        }
    }

    const QWidget *m_keep;
    QList<QWidget *> m_stops;
};

// Whether the keyboard gave `control` its focus, which then shows.
bool keyboardFocused(const QWidget *control)
{
    const auto *button = qobject_cast<const PaintedButton *>(control);
    return button && button->hasKeyboardFocus();
}

// Moves the focus on the person's behalf: a button gets a focus that shows when the one
// handed on did (`byKeyboard`); a field gets one that leaves its text alone (given as by Tab,
// it would select it all, and the next key would replace it).
void handFocus(QWidget *to, bool byKeyboard)
{
    to->setFocus(byKeyboard && qobject_cast<PaintedButton *>(to) ? Qt::TabFocusReason : Qt::OtherFocusReason);
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
    unpark();
    // The focus of the screen that goes stays with the flow: hidden with its control, Qt
    // would hand it on by itself, as if the person had pressed Tab.
    if (isAncestorOf(QApplication::focusWidget()))
        setFocus(Qt::OtherFocusReason);
    // The old one goes at once; the new one comes back to its top and rises.
    host(m_shown)->setActive(false);
    m_shown = current;
    host(current)->setActive(true);
}

void AuditFlowView::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), AuditPalette::of(this).canvas);
}

void AuditFlowView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The window's focus comes here unless it is in the audit already, so the first Tab goes
    // to the first control of the screen and Return to its default button.
    QWidget *focused = window()->focusWidget();
    if (!event->spontaneous() && focused != this && !isAncestorOf(focused))
        setFocus(Qt::OtherFocusReason);
}

QList<QWidget *> AuditFlowView::tabOrder() const
{
    return tabStops(nullptr);
}

QList<QWidget *> AuditFlowView::tabStops(const QWidget *keep) const
{
    TabStops stops(keep);
    if (QWidget *content = screen(m_shown))
        stops.collect(content);
    return stops.stops();
}

bool AuditFlowView::focusNextPrevChild(bool next)
{
    // The window's: a control can be disabled or hidden while its window is in the background.
    QWidget *focused = window()->focusWidget();
    const bool inside = focused && isAncestorOf(focused);
    // A focused control that is being disabled is at work (a submission under way): the flow
    // holds its focus until it is back, where a second key press does nothing.
    if (inside && focused->isVisible() && !focused->isEnabled()) {
        park(focused);
        return true;
    }
    // A focused control that is being hidden: Qt hands its focus on through here.
    if (inside && !focused->isVisible())
        return handOn(focused, keyboardFocused(focused)) || QWidget::focusNextPrevChild(next);
    // While the flow holds a parked control's focus, Tab goes on from that control.
    QWidget *from = focused == this && m_parked && m_parked->isVisible() ? m_parked.data() : focused;
    const QList<QWidget *> stops = tabStops(from != focused ? from : nullptr);
    if (stops.isEmpty())
        return QWidget::focusNextPrevChild(next);
    // The focus may be inside a stop (the field of a text input), or on none of them.
    qsizetype at = stops.indexOf(from);
    for (qsizetype i = 0; at < 0 && from && i < stops.size(); ++i) {
        if (stops.at(i)->isAncestorOf(from))
            at = i;
    }
    const qsizetype count = stops.size();
    QWidget *target = stops.at(at < 0 ? (next ? 0 : count - 1) : (at + (next ? 1 : count - 1)) % count);
    target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    host(m_shown)->ensureWidgetVisible(target);
    return true;
}

bool AuditFlowView::handOn(QWidget *control, bool byKeyboard)
{
    const QList<QWidget *> stops = tabStops(control);
    if (stops.isEmpty())
        return false;
    const qsizetype at = stops.indexOf(control);
    QWidget *target = nullptr;
    for (qsizetype i = at + 1; !target && i < stops.size(); ++i)
        target = stops.at(i)->isVisible() ? stops.at(i) : nullptr;
    for (qsizetype i = at - 1; !target && i >= 0; --i)
        target = stops.at(i)->isVisible() ? stops.at(i) : nullptr;
    if (!target) {
        setFocus(Qt::OtherFocusReason);
        return true;
    }
    handFocus(target, byKeyboard);
    host(m_shown)->ensureWidgetVisible(target);
    return true;
}

void AuditFlowView::park(QWidget *control)
{
    unpark();
    m_parkedByKeyboard = keyboardFocused(control);
    m_parked = control;
    control->installEventFilter(this);
    setFocus(Qt::OtherFocusReason);
}

void AuditFlowView::unpark()
{
    if (m_parked)
        m_parked->removeEventFilter(this);
    m_parked = nullptr;
}

void AuditFlowView::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    // The person moved on (a window that goes to the back and comes again gives the focus
    // back here, and the parked control with it).
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        unpark();
}

bool AuditFlowView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_parked && event->type() == QEvent::Hide) {
        // Hidden before it could act again: its focus goes on as a focused control's does. A
        // window that goes to the back (a hide of its own) keeps it parked.
        if (!event->spontaneous()) {
            QWidget *control = m_parked;
            const bool byKeyboard = m_parkedByKeyboard;
            unpark();
            if (window()->focusWidget() == this)
                handOn(control, byKeyboard);
        }
    } else if (watched == m_parked && event->type() == QEvent::EnabledChange && m_parked->isEnabled()) {
        QWidget *control = m_parked;
        const bool byKeyboard = m_parkedByKeyboard;
        unpark();
        if (window()->focusWidget() == this && control->isVisible())
            control->setFocus(byKeyboard ? Qt::TabFocusReason : Qt::OtherFocusReason);
    }
    return QWidget::eventFilter(watched, event);
}
