#pragma once

#include <QObject>

class QAbstractButton;

// A focus ring that shows on a button a style sheet draws: a style sheet can only recolour
// the button's own 1-pixel frame, which nobody sees on an accent fill. The ring is 2 wide
// and painted over the button once it has drawn itself, while the button has the focus: on
// an accent-filled button in the ink, 2 inside its edge (an accent ring would vanish there),
// on any other at its edge in the accent.
class FocusRing final : public QObject {
    Q_OBJECT
public:
    enum class Fill { accent, plain };

    // Owned by the button; `radius` is the button's corner radius.
    static void install(QAbstractButton *button, qreal radius, Fill fill);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    FocusRing(QAbstractButton *button, qreal radius, Fill fill);

    qreal m_radius;
    Fill m_fill;
};
