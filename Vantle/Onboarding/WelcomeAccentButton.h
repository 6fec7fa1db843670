#pragma once

#include "OrvalenAccount/UI/PaintedButton.h"

// The welcome step's main action: the title in 14-point semibold accent ink, across the
// full width, on an accent fill with 10-point corners.
class WelcomeAccentButton final : public PaintedButton {
    Q_OBJECT
public:
    explicit WelcomeAccentButton(const QString &title, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
};
