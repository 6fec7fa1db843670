#include "AuditScreenHost.h"

#include "AuditMotion.h"
#include "AuditPalette.h"

#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QLayout>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QShowEvent>
#include <QVariantAnimation>

#include <algorithm>

namespace {
constexpr QMargins kPadding(28, 40, 28, 90);
// How much of the room above a screen may give way for the screen to fit the window, and
// the room then kept below it.
constexpr int kTopGiveWay = 24;
constexpr int kFootRoom = 10;

// The screen's column: as wide as the host allows up to 860, centred, its padding around it.
// The column gets exactly the height its content needs at that width; a taller viewport
// leaves the room below it empty.
//
// Width and centre follow the host's whole width, not its viewport's: the vertical scroll bar
// lies over the room beside the column (it is narrower than the padding), so a page that
// grows long enough to scroll does not shift or narrow the column.
class ColumnLayout final : public QLayout {
public:
    ColumnLayout(QWidget *parent, const QAbstractScrollArea *host)
        : QLayout(parent)
        , m_host(host)
    {
        setContentsMargins(0, 0, 0, 0);
    }
    ~ColumnLayout() override { delete m_item; }

    void addItem(QLayoutItem *item) override
    {
        delete m_item;
        m_item = item;
        invalidate();
    }
    int count() const override { return m_item ? 1 : 0; }
    QLayoutItem *itemAt(int index) const override { return index == 0 ? m_item : nullptr; }
    QLayoutItem *takeAt(int index) override
    {
        if (index != 0 || !m_item)
            return nullptr;
        QLayoutItem *item = m_item;
        m_item = nullptr;
        invalidate();
        return item;
    }
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal | Qt::Vertical; }
    bool hasHeightForWidth() const override { return true; }

    static int columnWidth(int width)
    {
        return std::clamp(width - kPadding.left() - kPadding.right(), 0, AuditScreenHost::maxColumnWidth);
    }
    int contentHeight(int columnWidth) const
    {
        // Not the item's minimum height: a wrapping text's is its height at its narrowest.
        if (!m_item || m_item->isEmpty())
            return 0;
        return m_item->hasHeightForWidth() ? m_item->heightForWidth(columnWidth) : m_item->sizeHint().height();
    }
    int heightForWidth(int width) const override
    {
        return contentHeight(std::max(columnWidth(offered(width)), minimumContentWidth())) + kPadding.top()
            + kPadding.bottom();
    }
    int minimumContentWidth() const { return m_item ? m_item->minimumSize().width() : 0; }
    QSize sizeHint() const override
    {
        const int width = AuditScreenHost::maxColumnWidth + kPadding.left() + kPadding.right();
        return QSize(width, heightForWidth(width));
    }
    QSize minimumSize() const override
    {
        const int width = minimumContentWidth() + kPadding.left() + kPadding.right();
        return QSize(width, kPadding.top() + kPadding.bottom());
    }
    void setGeometry(const QRect &rect) override
    {
        QLayout::setGeometry(rect);
        if (!m_item)
            return;
        const int room = offered(rect.width());
        const int width = std::max(columnWidth(room), minimumContentWidth());
        const int x = rect.left() + std::max(kPadding.left(), (room - width) / 2);
        const int height = contentHeight(width);
        m_item->setGeometry(QRect(x, rect.top() + topPadding(height), width, height));
    }

private:
    int topPadding(int contentHeight) const
    {
        if (!m_host)
            return kPadding.top();
        const int over = kPadding.top() + contentHeight + kFootRoom - m_host->viewport()->height();
        return over > 0 && over <= kTopGiveWay ? kPadding.top() - over : kPadding.top();
    }

    // The width the column is laid out in: the host's, when the column stands at least as wide
    // as the viewport (a wider column scrolls sideways and keeps its own width).
    int offered(int width) const
    {
        if (!m_host)
            return width;
        return std::max(width, m_host->contentsRect().width());
    }

    QPointer<const QAbstractScrollArea> m_host;
    QLayoutItem *m_item = nullptr;
};
} // namespace

AuditScreenHost::AuditScreenHost(QWidget *parent)
    : QScrollArea(parent)
    , m_column(new QWidget)
    , m_rise(new QVariantAnimation(this))
    , m_scroll(new QPropertyAnimation(this))
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(true);
    viewport()->setAutoFillBackground(false);
    new ColumnLayout(m_column, this);
    setWidget(m_column);
    // The flow's canvas shows through; setWidget() turned the column's own fill on.
    m_column->setAutoFillBackground(false);
    styleScrollBars();

    m_rise->setStartValue(0.0);
    m_rise->setEndValue(1.0);
    m_rise->setDuration(riseMilliseconds);
    m_rise->setEasingCurve(AuditMotion::easeOut());
    connect(m_rise, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) { setRise(value.toReal()); });
    connect(m_rise, &QVariantAnimation::finished, this, [this] { setRise(1.0); });

    m_scroll->setTargetObject(verticalScrollBar());
    m_scroll->setPropertyName("value");
    m_scroll->setDuration(scrollMilliseconds);
    m_scroll->setEasingCurve(AuditMotion::easeInOut());

    QWidget::setVisible(false);
}

AuditScreenHost::~AuditScreenHost()
{
    // The animations write into the scroll bar and the effect, which go first otherwise.
    m_rise->stop();
    m_scroll->stop();
}

bool AuditScreenHost::event(QEvent *event)
{
    if (event->type() == AuditPalette::changedEventType() || event->type() == QEvent::ParentChange)
        styleScrollBars();
    return QScrollArea::event(event);
}

void AuditScreenHost::styleScrollBars()
{
    QColor thumb = AuditPalette::of(this).muted;
    thumb.setAlphaF(0.45f);
    const QString color = QStringLiteral("rgba(%1, %2, %3, %4)")
                              .arg(thumb.red())
                              .arg(thumb.green())
                              .arg(thumb.blue())
                              .arg(thumb.alphaF(), 0, 'f', 2);
    const QString sheet = QStringLiteral(
        "QScrollBar { background: transparent; border: none; margin: 0; }"
        "QScrollBar:vertical { width: 10px; } QScrollBar:horizontal { height: 10px; }"
        "QScrollBar::handle { background: %1; border-radius: 3px; margin: 2px; }"
        "QScrollBar::handle:vertical { min-height: 32px; } QScrollBar::handle:horizontal { min-width: 32px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; background: none; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: none; }").arg(color);
    verticalScrollBar()->setStyleSheet(sheet);
    horizontalScrollBar()->setStyleSheet(sheet);
}

void AuditScreenHost::setContent(QWidget *screen)
{
    if (m_content == screen)
        return;
    QLayout *layout = m_column->layout();
    if (m_content) {
        layout->removeWidget(m_content);
        delete m_content.data();
    }
    m_content = screen;
    if (screen)
        layout->addWidget(screen);
}

void AuditScreenHost::setActive(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    if (!active) {
        m_scroll->stop();
        m_rise->stop();
        setRise(1.0);
        hide();
        return;
    }
    m_scroll->stop();
    verticalScrollBar()->setValue(0);
    const bool appearedBefore = m_appeared;
    show();
    // A first appearance rises from showEvent.
    if (appearedBefore)
        rise();
}

void AuditScreenHost::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    // A page taller than the window keeps its size when the window's height changes, but
    // how much room it may leave above the screen follows the window.
    if (QLayout *layout = m_column->layout())
        layout->setGeometry(m_column->rect());
}

bool AuditScreenHost::isRising() const
{
    return m_rise->state() == QAbstractAnimation::Running;
}

bool AuditScreenHost::isScrolling() const
{
    return m_scroll->state() == QAbstractAnimation::Running;
}

void AuditScreenHost::showEvent(QShowEvent *event)
{
    QScrollArea::showEvent(event);
    if (!m_appeared && !event->spontaneous()) {
        m_appeared = true;
        if (m_active)
            rise();
    }
}

void AuditScreenHost::rise()
{
    m_rise->stop();
    if (AuditMotion::reduceMotion()) {
        setRise(1.0);
        return;
    }
    setRise(0.0);
    m_rise->start();
}

void AuditScreenHost::setRise(qreal progress)
{
    const qreal opacity = std::clamp(progress, 0.0, 1.0);
    const qreal offset = riseDistance * (1.0 - opacity);
    if (opacity < 1.0) {
        // The fade is drawn through an offscreen copy of the whole screen: only while it runs.
        if (!m_fade) {
            m_fade = new QGraphicsOpacityEffect(this);
            setGraphicsEffect(m_fade);
        }
        m_fade->setOpacity(opacity);
    } else if (m_fade) {
        setGraphicsEffect(nullptr);
    }
    m_opacity = opacity;
    if (m_offset != offset) {
        m_offset = offset;
        Q_EMIT riseOffsetChanged(offset);
    }
}

void AuditScreenHost::scrollToAnchor(QWidget *anchor, bool animated)
{
    if (!anchor || !m_column->isAncestorOf(anchor))
        return;
    // The layout may still owe the column its new size (a change of the week just now).
    m_column->layout()->activate();
    QScrollBar *bar = verticalScrollBar();
    const int target = std::clamp(anchor->mapTo(m_column, QPoint(0, 0)).y(), bar->minimum(), bar->maximum());
    m_scroll->stop();
    if (!animated || AuditMotion::reduceMotion() || bar->value() == target) {
        bar->setValue(target);
        return;
    }
    m_scroll->setStartValue(bar->value());
    m_scroll->setEndValue(target);
    m_scroll->start();
}

void AuditScreenHost::bringIntoView(QWidget *widget, int margin)
{
    AuditScreenHost *host = nullptr;
    for (QWidget *w = widget ? widget->parentWidget() : nullptr; w && !host; w = w->parentWidget())
        host = qobject_cast<AuditScreenHost *>(w);
    if (!host || !host->m_column->isAncestorOf(widget))
        return;
    // Each layout on the way up may owe its widget a new size, which its parent's layout then
    // asks for in turn: their requests are answered in that order, up to the host itself.
    for (QWidget *w = widget; w; w = w->parentWidget()) {
        QCoreApplication::sendPostedEvents(w, QEvent::LayoutRequest);
        if (w == host)
            break;
    }
    host->ensureWidgetVisible(widget, 0, margin);
}
