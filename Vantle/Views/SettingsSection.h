#pragma once

#include <QList>
#include <QMargins>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;
class SettingsSwitch;

// One section of the settings window's grouped form: an optional header above a rounded
// card whose rows are divided by hairlines. Rows come and go with their owner's state
// (hide or show the row a helper returns); the card and its dividers follow the visible
// rows. A row with a clear background sits on the window itself, outside the card.
class SettingsSection : public QWidget {
    Q_OBJECT
public:
    enum class Background { card, clear };
    // How a button row looks: an ordinary push button, or one whose action destroys
    // something (drawn in red).
    enum class ButtonRole { normal, destructive };

    static constexpr QMargins rowInsets{12, 8, 12, 8};

    // An empty header shows none.
    explicit SettingsSection(const QString &header, QWidget *parent = nullptr);

    QLabel *header() const { return m_header; }

    // Adds `content` as the next row and returns the row.
    QWidget *addRow(QWidget *content, Background background = Background::card, QMargins insets = rowInsets);
    // A label and a switch at the trailing edge; the switch carries the label's text.
    SettingsSwitch *addToggle(const QString &text);
    // Secondary text in the footnote size.
    QLabel *addFootnote(const QString &text);
    // A label and, at the trailing edge, a value in the secondary colour; returns the value.
    QLabel *addLabeledValue(const QString &label, const QString &value);
    // A push button at the leading edge, or at the trailing one when `trailing`.
    QPushButton *addButton(const QString &text, ButtonRole role = ButtonRole::normal, bool trailing = false);

    // The row that holds `control` (one of the helpers' results).
    static QWidget *rowOf(const QWidget *control);
    QList<QWidget *> rows() const { return m_rows; }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_header = nullptr;
    QVBoxLayout *m_rowsLayout = nullptr;
    QList<QWidget *> m_rows;
};
