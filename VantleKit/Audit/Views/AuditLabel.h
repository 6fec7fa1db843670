#pragma once

#include "AuditPalette.h"
#include "AuditTextRun.h"

#include <QAccessible>
#include <QMargins>
#include <QWidget>

#include <memory>

class QTextLayout;

// A painted, wrapping text of the audit: one or more runs in a base font and colour role, with
// letter spacing, extra space between lines, padding and an optional cap on the text width.
// Its height follows its width (every line shown, nothing truncated). Lines break between
// words, and inside a word that is wider than the line, so the least width it asks for is
// its widest character. The text styles, the
// group labels and the screens' sentences are built on it.
class AuditLabel : public QWidget {
    Q_OBJECT
public:
    explicit AuditLabel(QWidget *parent = nullptr);
    AuditLabel(const QString &text, const QFont &font, AuditRole color, QWidget *parent = nullptr);
    ~AuditLabel() override;

    void setText(const QString &text);
    void setRuns(const AuditTextRuns &runs);
    const AuditTextRuns &runs() const { return m_runs; }
    QString text() const; // all runs joined

    void setBaseFont(const QFont &font);
    QFont baseFont() const { return m_font; }
    void setLetterSpacing(qreal spacing);
    void setColorRole(AuditRole role);
    AuditRole colorRole() const { return m_role; }
    void setLineSpacing(qreal spacing);
    void setPadding(const QMargins &padding);
    QMargins padding() const { return m_padding; }
    // The text wraps at no more than `width` (0: no cap), set at the leading edge of that width.
    void setMaxTextWidth(int width);
    // Horizontal alignment of each line: Qt::AlignLeft (default) or Qt::AlignHCenter.
    void setLineAlignment(Qt::Alignment alignment);
    void setAccessibleRole(QAccessible::Role role);
    QAccessible::Role accessibleRole() const { return m_accessibleRole; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Layout;
    void invalidateText();
    int textWidthFor(int width) const;
    const Layout &layoutFor(int textWidth) const;
    qreal naturalWidth() const;

    AuditTextRuns m_runs;
    QFont m_font;
    qreal m_letterSpacing = 0;
    AuditRole m_role = AuditRole::text;
    qreal m_lineSpacing = 0;
    QMargins m_padding;
    int m_maxTextWidth = 0;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    QAccessible::Role m_accessibleRole = QAccessible::StaticText;
    mutable std::unique_ptr<Layout> m_layout;
    mutable qreal m_naturalWidth = -1;
    mutable qreal m_naturalHeight = 0; // of the text on as few lines as it has
    mutable qreal m_narrowest = -1; // the widest single character
};
