#pragma once

#include "AuditPalette.h"

#include "OrvalenAccount/UI/PaintedButton.h"

class QPainterPath;

// What the audit's buttons share: no system chrome (each paints its own label), a hover flag
// that repaints at once, and the label's shape as the hit area. From the keyboard, Tab
// reaches them (a click does not focus them); a focus the keyboard gave shows in the
// palette's colours, and Space or Return presses the focused button. Return goes to the
// focused button before the window's default action: it is the button the person sees.
// Option chips take Space only: Return on them stays the screen's default action.
class AuditButton : public PaintedButton {
    Q_OBJECT
public:
    explicit AuditButton(QWidget *parent = nullptr);

    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    AuditPalette colors() const { return AuditPalette::of(this); }
    // Whether Return presses this button when it has the keyboard's focus.
    virtual bool takesReturn() const { return true; }
    // Strokes the path `ring()` makes 2 wide in `color` while the keyboard has the focus here;
    // otherwise nothing, and the path is never made: most paints have no ring to draw.
    template <typename MakeRing>
    void paintFocusRing(QPainter &painter, MakeRing &&ring, const QColor &color) const
    {
        if (hasKeyboardFocus())
            strokeFocusRing(painter, ring(), color);
    }
    bool event(QEvent *event) override;

private:
    static void strokeFocusRing(QPainter &painter, const QPainterPath &ring, const QColor &color);
};
