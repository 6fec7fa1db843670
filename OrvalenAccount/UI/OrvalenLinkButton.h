#pragma once

#include "OrvalenAccount/UI/PaintedButton.h"
#include <QColor>
#include <QFont>

// A line of text that acts like a link: a pointing hand, underlined under the pointer.
class OrvalenLinkButton final : public PaintedButton {
    Q_OBJECT
public:
    OrvalenLinkButton(const QString &text, QFont font, QColor color, QWidget *parent = nullptr);

    void setColor(const QColor &color);
    QColor color() const { return m_color; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont m_font;
    QColor m_color;
};
