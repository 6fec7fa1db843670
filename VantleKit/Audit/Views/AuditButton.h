#pragma once

#include "AuditPalette.h"

#include <QAbstractButton>

class AuditHover;

// What the audit's buttons share: no system chrome (each paints its own label), a hover flag
// that repaints at once, the label's shape as the hit area, and no keyboard focus of their own
// (a screen's default button answers Return instead).
class AuditButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit AuditButton(QWidget *parent = nullptr);

    bool isHovered() const;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    AuditPalette colors() const { return AuditPalette::of(this); }

private:
    AuditHover *m_hover;
};
