#pragma once

#include <QAbstractButton>
#include <QColor>

// A small secondary action: the title in the accent colour inside a thin accent outline.
class OrvalenOutlineButton final : public QAbstractButton {
    Q_OBJECT
public:
    OrvalenOutlineButton(const QString &title, QColor accent, QWidget *parent = nullptr);

    void setAccent(const QColor &accent);
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
    QColor m_accent;
    bool m_hovered = false;
    bool m_keyboardFocus = false; // a ring only for focus that came from the keyboard
};
