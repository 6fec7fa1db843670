#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

// The settings window's sheet: a modal child dialog, 360 points wide (wider when its title
// needs it in the title bar) on the surface colour,
// with a title, a body text, for a support code a large code line, and a row of a secondary
// button and a primary (default) button at the trailing edge. The owner wires the buttons;
// Escape or closing the dialog rejects it, as "Done" would.
class SettingsSheet final : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 360;

    SettingsSheet(const QString &title, const QString &body, const QString &secondaryText, const QString &primaryText,
                  QWidget *parent);

    QString titleText() const;
    QString bodyText() const;
    void setBodyText(const QString &text);
    // Shows the code line (hidden until set).
    void setCode(const QString &code);
    QString codeText() const;
    QLabel *codeLabel() const { return m_code; }

    QPushButton *secondaryButton() const { return m_secondary; }
    QPushButton *primaryButton() const { return m_primary; }

private:
    void fitHeight();

    QLabel *m_title = nullptr;
    QLabel *m_body = nullptr;
    QLabel *m_code = nullptr;
    QPushButton *m_secondary = nullptr;
    QPushButton *m_primary = nullptr;
};
