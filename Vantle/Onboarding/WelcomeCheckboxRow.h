#pragma once

#include <QAbstractButton>

class QLabel;

// One e-mail opt-in: a 20-point rounded box, ticked in the accent colour when on, beside a
// label that wraps rather than being cut; the box sits on the label's first baseline. The
// whole row is the button. The owner holds the on-state and sets it.
class WelcomeCheckboxRow final : public QAbstractButton {
    Q_OBJECT
public:
    // Room left and above the box for its keyboard focus ring, which a widget cannot draw
    // outside itself; whoever lays the rows out takes it off its own margins.
    static constexpr int ringRoom = 4;

    explicit WelcomeCheckboxRow(const QString &label, QWidget *parent = nullptr);

    bool isOn() const { return m_isOn; }
    void setOn(bool isOn);

protected:
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    int boxTop() const;

    QLabel *m_label;
    bool m_isOn = false;
    bool m_keyboardFocus = false;
};
