#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;

// A one-line text field of the audit: typed text in regular 16, `text`; the placeholder in
// `muted` at 65 %; padding 14 sideways and 11 above and below, on a `card` fill of corner
// radius 12 (continuous) with a 1.5 edge in `accentInk` while the field has the keyboard focus
// and `border` otherwise. With autofocus it takes the focus each time it comes into view, but
// not when its window is restored (the focus stays where the user left it).
//
// Length rule: once the input has been shown, every change of the text (typed, pasted or set)
// that leaves 41 user-perceived characters or more is cut to the first 40, counting an emoji
// sequence or a letter with its combining marks as one and never splitting one. A longer text
// set before the input is first shown stays until it next changes.
class AuditTextInput final : public QWidget {
    Q_OBJECT
public:
    static constexpr int maxCharacters = 40;

    AuditTextInput(const QString &placeholder, bool autofocus = false, QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);
    QString placeholder() const;
    bool autofocus() const { return m_autofocus; }
    bool hasFieldFocus() const;
    QLineEdit *field() const { return m_field; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void textChanged(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyPalette();
    int textHeight() const;

    QLineEdit *m_field;
    bool m_autofocus;
    bool m_shown = false;
};
