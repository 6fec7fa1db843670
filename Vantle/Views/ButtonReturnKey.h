#pragma once

#include <QObject>

class QAbstractButton;

// Return and Enter press a focused push button outside a dialog, as Space does (Qt leaves
// them to a dialog's default button, and a window that is no dialog has none).
class ButtonReturnKey final : public QObject {
    Q_OBJECT
public:
    // Owned by the button.
    static void install(QAbstractButton *button);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ButtonReturnKey(QAbstractButton *button);
};
