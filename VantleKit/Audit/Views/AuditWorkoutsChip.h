#pragma once

#include "AuditButton.h"

// The dashboard's one-click suggestion: "+ Workouts · 3× (1h + ½h in and out)" in semibold 14,
// `accentInk`, 20 sideways and 11 above and below, on a capsule of `accent` at 12 % with a
// 1.5-wide ring of `accent` at 35 %: dashed 5 on, 4 off, solid under the pointer.
class AuditWorkoutsChip final : public AuditButton {
    Q_OBJECT
public:
    explicit AuditWorkoutsChip(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    bool isRingDashed() const { return !isHovered(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
};
