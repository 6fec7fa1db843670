#pragma once

#include <QAbstractButton>

// The welcome step's main action: the title in 14-point semibold accent ink, across the
// full width, on an accent fill with 10-point corners.
class WelcomeAccentButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit WelcomeAccentButton(const QString &title, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_hovered = false;
    bool m_keyboardFocus = false; // a ring only for focus that came from the keyboard
};
