#pragma once

#include "OrvalenAccount/UI/PaintedButton.h"
#include <QColor>

// A small secondary action: the title in the accent colour inside a thin accent outline.
// The keyboard's focus shows as a ring round the outline, apart from it by a gap, so that it
// never reads as a bolder outline; the button keeps room for it all round.
class OrvalenOutlineButton final : public PaintedButton {
    Q_OBJECT
public:
    static constexpr int ringRoom = 4;

    OrvalenOutlineButton(const QString &title, QColor accent, QWidget *parent = nullptr);

    void setAccent(const QColor &accent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_accent;
};
