#include "AuditFlowLayout.h"

#include <QWidget>

#include <algorithm>

AuditFlowLayout::AuditFlowLayout(int hSpacing, int vSpacing, QWidget *parent)
    : QLayout(parent)
    , m_hSpacing(hSpacing)
    , m_vSpacing(vSpacing)
{
    setContentsMargins(0, 0, 0, 0);
}

AuditFlowLayout::~AuditFlowLayout()
{
    qDeleteAll(m_items);
}

AuditFlowPlacement AuditFlowLayout::place(const QList<QSize> &sizes, std::optional<int> width,
                                          int hSpacing, int vSpacing)
{
    AuditFlowPlacement result;
    result.origins.reserve(sizes.size());
    // 64-bit sums: a line of many wide items must not overflow before it wraps.
    qint64 x = 0, y = 0, lineHeight = 0, widest = 0;
    for (const QSize &size : sizes) {
        const qint64 w = std::max(0, size.width());
        const qint64 h = std::max(0, size.height());
        const bool wraps = x > 0 && width && x + w > *width;
        if (wraps) {
            y += lineHeight + vSpacing;
            lineHeight = h;
            widest = std::max(widest, w);
            result.origins.append(QPoint(0, int(y)));
            x = w + hSpacing;
        } else {
            lineHeight = std::max(lineHeight, h);
            widest = std::max(widest, x + w);
            result.origins.append(QPoint(int(x), int(y)));
            x += w + hSpacing;
        }
    }
    const qint64 height = sizes.isEmpty() ? 0 : y + lineHeight;
    result.size = QSize(width ? *width : int(widest), int(height));
    return result;
}

void AuditFlowLayout::addItem(QLayoutItem *item)
{
    m_items.append(item);
    invalidate();
}

int AuditFlowLayout::count() const
{
    return int(m_items.size());
}

QLayoutItem *AuditFlowLayout::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

QLayoutItem *AuditFlowLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem *item = m_items.takeAt(index);
    invalidate();
    return item;
}

Qt::Orientations AuditFlowLayout::expandingDirections() const
{
    return {};
}

bool AuditFlowLayout::hasHeightForWidth() const
{
    return true;
}

int AuditFlowLayout::heightForWidth(int width) const
{
    const QMargins m = contentsMargins();
    const int inner = std::max(0, width - m.left() - m.right());
    return place(sizesOf(visibleItems()), inner, m_hSpacing, m_vSpacing).size.height() + m.top()
        + m.bottom();
}

QSize AuditFlowLayout::sizeHint() const
{
    const QMargins m = contentsMargins();
    const QSize size = place(sizesOf(visibleItems()), std::nullopt, m_hSpacing, m_vSpacing).size;
    return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize AuditFlowLayout::minimumSize() const
{
    // Never narrower than the widest item, so no item is cut off by its parent; the height
    // at a given width comes from heightForWidth.
    int widest = 0;
    for (const QSize &size : sizesOf(visibleItems()))
        widest = std::max(widest, size.width());
    const QMargins m = contentsMargins();
    return QSize(widest + m.left() + m.right(), m.top() + m.bottom());
}

void AuditFlowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    const QRect inner = contentsRect();
    const QList<QLayoutItem *> items = visibleItems();
    const QList<QSize> sizes = sizesOf(items);
    const AuditFlowPlacement placement = place(sizes, inner.width(), m_hSpacing, m_vSpacing);
    for (int i = 0; i < items.size(); ++i)
        items.at(i)->setGeometry(QRect(inner.topLeft() + placement.origins.at(i), sizes.at(i)));
}

QList<QLayoutItem *> AuditFlowLayout::visibleItems() const
{
    QList<QLayoutItem *> items;
    for (QLayoutItem *item : m_items) {
        if (!item->isEmpty())
            items.append(item);
    }
    return items;
}

QList<QSize> AuditFlowLayout::sizesOf(const QList<QLayoutItem *> &items)
{
    QList<QSize> sizes;
    sizes.reserve(items.size());
    for (const QLayoutItem *item : items)
        sizes.append(item->sizeHint());
    return sizes;
}
