#pragma once

#include <QLayout>
#include <QList>
#include <QPoint>
#include <QSize>

#include <optional>

// Where a flow puts its items, and how big it is.
struct AuditFlowPlacement {
    QList<QPoint> origins; // top-left corner of each item, in item order
    QSize size;            // the width given (or the longest line when none), the height of all lines
};

// The wrapping layout of the Hour Audit: items side by side, left to right, a new line below
// when the next item would run past the width. Every item keeps its own size hint: it is never
// narrowed, so only whole items move to the next line. Lines start at the left edge, items of
// a line share its top, and a line is as tall as its tallest item.
class AuditFlowLayout final : public QLayout {
    Q_OBJECT
public:
    AuditFlowLayout(int hSpacing, int vSpacing, QWidget *parent = nullptr);
    ~AuditFlowLayout() override;

    // The pure placement rule. An item wraps when the line already holds one and its right
    // edge would land past `width` (an exact fit stays); the first item of a line never wraps,
    // so an item wider than the width stands alone and sticks out. No width means one line.
    static AuditFlowPlacement place(const QList<QSize> &sizes, std::optional<int> width,
                                    int hSpacing, int vSpacing);

    int hSpacing() const { return m_hSpacing; }
    int vSpacing() const { return m_vSpacing; }

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    QList<QLayoutItem *> visibleItems() const;
    static QList<QSize> sizesOf(const QList<QLayoutItem *> &items);

    QList<QLayoutItem *> m_items;
    int m_hSpacing;
    int m_vSpacing;
};
