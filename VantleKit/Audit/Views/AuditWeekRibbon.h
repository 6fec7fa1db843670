#pragma once

#include "AuditSwatch.h"

#include <QList>
#include <QWidget>

// One part of the week on the dashboard's ribbon and legend.
struct AuditWeekSegment {
    QString name;
    double v = 0; // hours a week
    AuditFill color;
    bool bordered = false;

    bool operator==(const AuditWeekSegment &) const = default;
};

// The week as one bar: each segment, then the user's own hours when there are any, side by
// side 2 apart in proportion to their hours, 40 high and clipped to a corner radius of 12
// (continuous); 30 above it and 10 below. When the week is over-committed the segments
// alone fill the width. Each piece tells its name and hours under the pointer ("Sleep 56h").
class AuditWeekRibbon final : public QWidget {
    Q_OBJECT
public:
    struct Piece {
        QRectF rect;
        QString help;
    };

    explicit AuditWeekRibbon(QWidget *parent = nullptr);

    // The kept segments and the yours hours (a piece only when above 0).
    void setWeek(const QList<AuditWeekSegment> &segments, double yours);
    // Where each piece stands at the current width, in order.
    QList<Piece> pieces() const;
    // The help text of the piece under `pos`, or nothing.
    QString helpAt(const QPoint &pos) const;

    QSize sizeHint() const override { return QSize(0, 80); }
    QSize minimumSizeHint() const override { return QSize(0, 80); }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QRectF barRect() const;

    QList<AuditWeekSegment> m_segments;
    double m_yours = 0;
};
