#pragma once

#include <QAbstractButton>

class QLabel;

// One e-mail opt-in: a 20-point rounded box, ticked in the accent colour when on, beside a
// label that wraps rather than being cut; the box is centred on the label's first line. The
// whole row is the button. The owner holds the on-state and sets it. Space, and Return on a
// box the keyboard put its focus on, press it.
class WelcomeCheckboxRow final : public QAbstractButton {
    Q_OBJECT
public:
    // Room left of, above and below the box for its keyboard focus ring, which a widget
    // cannot draw outside itself; whoever lays the rows out takes it off its own margins.
    static constexpr int ringRoom = 4;

    explicit WelcomeCheckboxRow(const QString &label, QWidget *parent = nullptr);

    bool isOn() const { return m_isOn; }
    void setOn(bool isOn);

protected:
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int boxTop() const;

    QLabel *m_label;
    bool m_isOn = false;
    bool m_keyboardFocus = false;
};
