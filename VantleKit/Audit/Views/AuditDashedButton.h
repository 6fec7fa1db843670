#pragma once

#include "AuditButton.h"

// A wide button drawn as a dashed outline, for adding a row: the title in semibold 16,
// centred, 17 above and below, as wide as it is given; a 1.5-wide outline dashed 6 on, 5 off
// inside a corner radius of 16 (continuous). `muted` title and `border` outline, both
// `accentInk` under the pointer; the outline stays dashed.
class AuditDashedButton : public AuditButton {
    Q_OBJECT
public:
    explicit AuditDashedButton(const QString &title, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    // The colours in use now: the title's and the outline's.
    QColor titleColor() const;
    QColor outlineColor() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
};
