#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>

// A line of text that acts like a link: a pointing hand, underlined under the pointer.
class OrvalenLinkButton final : public QAbstractButton {
    Q_OBJECT
public:
    OrvalenLinkButton(const QString &text, QFont font, QColor color, QWidget *parent = nullptr);

    void setColor(const QColor &color);
    QColor color() const { return m_color; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QFont m_font;
    QColor m_color;
    bool m_hovered = false;
    bool m_keyboardFocus = false; // a ring only for focus that came from the keyboard
};
