#pragma once

#include <QMessageBox>
#include <QString>

class QAbstractButton;

// The settings window's alert and confirmation: a message box drawn dark like the window,
// opened as a modal child of it. A destructive choice is drawn in red; the cancelling
// choice answers Escape. It is at least as wide as its title needs in the title bar.
class SettingsAlert final : public QMessageBox {
    Q_OBJECT
public:
    // A title, a message and one "OK" that dismisses it.
    static SettingsAlert *message(const QString &title, const QString &message, QWidget *parent);
    // A title and message with a destructive choice and "Cancel".
    static SettingsAlert *confirmation(const QString &title, const QString &message, const QString &destructiveText,
                                       QWidget *parent);

    QString titleText() const { return text(); }
    QString messageText() const { return informativeText(); }
    // The destructive choice; null in a plain alert.
    QAbstractButton *destructiveButton() const { return m_destructive; }
    QAbstractButton *cancelButton() const { return m_cancel; }

    // A button shows "&" only when written "&&".
    static QString escapedForButton(QString text);

protected:
    void showEvent(QShowEvent *event) override;

private:
    SettingsAlert(const QString &title, const QString &message, QWidget *parent);

    QAbstractButton *m_destructive = nullptr;
    QAbstractButton *m_cancel = nullptr;
};
