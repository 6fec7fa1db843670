#pragma once

#include <QAbstractButton>

// A button that draws itself and knows what its drawing needs: whether the pointer is over it
// and whether the keyboard gave it the focus. Only a focus from the keyboard shows a ring, and
// only there do Return and Enter press the button, as Space does: a focus handed out as a
// window comes up shows nothing, so a Return typed into it must not start anything.
class PaintedButton : public QAbstractButton {
    Q_OBJECT
public:
    using QAbstractButton::QAbstractButton;

    bool isHovered() const { return m_hovered; }
    bool hasKeyboardFocus() const { return m_keyboardFocus; }

    // Gives this button the focus as the keyboard's, ring and Return included, also in a
    // window that is not active yet: it shows once the window is. A focus that leaves with
    // the window (another one activated) comes back as it went.
    void takeKeyboardFocus();

    // Moves the focus from `from` to `to` on the person's behalf (the control they were on
    // is about to be hidden or disabled), as the kind of focus `from` had: a focus the
    // keyboard gave stays one, ring and Return included, so the person can see where the
    // keyboard went and go on from there; any other stays unseen.
    static void handFocus(const QWidget *from, QWidget *to);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    // Hidden under the pointer, it gets no leave: shown again elsewhere, it must not look hovered.
    void hideEvent(QHideEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_hovered = false;
    bool m_keyboardFocus = false;
    // The focus the window will hand back when it is active (again) is the keyboard's.
    bool m_keyboardFocusOnReturn = false;
};
