#pragma once

#include "AuditButton.h"

// One end of a stepper: a `diameter` circle filled with `card` and ringed 1.5 wide inside its
// edge, the glyph in bold at half the diameter; glyph and ring `muted` / `border`, both `text`
// under the pointer. Only the circle takes clicks. `label` is what accessibility reads.
class AuditStepButton final : public AuditButton {
    Q_OBJECT
public:
    AuditStepButton(const QString &glyph, const QString &label, int diameter, QWidget *parent = nullptr);

    int diameter() const { return m_diameter; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;

private:
    int m_diameter;
};
