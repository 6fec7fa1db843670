#pragma once

#include "OrvalenAccount/UI/PaintedButton.h"
#include <QColor>

// A small secondary action: the title in the accent colour inside a thin accent outline.
class OrvalenOutlineButton final : public PaintedButton {
    Q_OBJECT
public:
    OrvalenOutlineButton(const QString &title, QColor accent, QWidget *parent = nullptr);

    void setAccent(const QColor &accent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_accent;
};
