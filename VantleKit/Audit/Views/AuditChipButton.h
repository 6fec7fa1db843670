#pragma once

#include "AuditButton.h"
#include "AuditChipOption.h"

// One option of a chip row. Day chips: the label in the system font at 15 in a text area at
// least 62 wide, 12 either side (so at least 86 wide); other chips: monospaced 16, 16 either
// side. At least 44 high; corner radius 14 (continuous).
//
//   off           `muted` semibold on `card`, 1.5 `border` edge
//   off, hovered  `text` semibold on `card`, 1.5 `text` edge
//   on            `text` bold on `accent` at 12 %, 2.5 `accentInk` edge (hovered or not)
//   focused       any of these with a 2-wide `text` ring 5 inside the edge, never `accentInk`
//
// Whether it is on is the caller's: a click only emits clicked(). Accessibility reads it as a
// checkable button, checked when on. From the keyboard the arrows move to the chip before or
// after it in its row.
class AuditChipButton final : public AuditButton {
    Q_OBJECT
public:
    AuditChipButton(const AuditChipOption &option, bool day, bool on, QWidget *parent = nullptr);

    const AuditChipOption &option() const { return m_option; }
    void setOption(const AuditChipOption &option);
    bool isDay() const { return m_day; }
    bool isOn() const { return isChecked(); }
    void setOn(bool on);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
    void nextCheckState() override;
    void keyPressEvent(QKeyEvent *event) override;
    bool takesReturn() const override { return false; }

private:
    QFont labelFont() const;

    AuditChipOption m_option;
    bool m_day;
};
