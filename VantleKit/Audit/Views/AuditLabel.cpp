#include "AuditLabel.h"

#include <QAccessibleWidget>
#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
class AccessibleLabel final : public QAccessibleWidget {
public:
    explicit AccessibleLabel(AuditLabel *label)
        : QAccessibleWidget(label, label->accessibleRole())
    {
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? static_cast<AuditLabel *>(widget())->text() : name;
        }
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *labelFactory(const QString &, QObject *object)
{
    if (auto *label = qobject_cast<AuditLabel *>(object))
        return new AccessibleLabel(label);
    return nullptr;
}

void installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(labelFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

constexpr qreal kUnbounded = 1.0e6;
} // namespace

struct AuditLabel::Layout {
    int textWidth = -1;
    QTextLayout text;
    qreal height = 0;
};

AuditLabel::AuditLabel(QWidget *parent)
    : QWidget(parent)
{
    installAccessibility();
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

AuditLabel::AuditLabel(const QString &text, const QFont &font, AuditRole color, QWidget *parent)
    : AuditLabel(parent)
{
    m_font = font;
    m_role = color;
    setText(text);
}

AuditLabel::~AuditLabel() = default;

void AuditLabel::setText(const QString &text)
{
    setRuns({AuditTextRun::plain(text)});
}

void AuditLabel::setRuns(const AuditTextRuns &runs)
{
    // A screen sets its sentences again on every change of its state; the same runs must not
    // lay the screen out again.
    const auto same = [](const AuditTextRun &a, const AuditTextRun &b) {
        return a.text == b.text && a.font == b.font && a.weight == b.weight && a.color == b.color;
    };
    if (std::equal(runs.begin(), runs.end(), m_runs.begin(), m_runs.end(), same))
        return;
    m_runs = runs;
    invalidateText();
}

QString AuditLabel::text() const
{
    QString joined;
    for (const AuditTextRun &run : m_runs)
        joined += run.text;
    return joined;
}

void AuditLabel::setBaseFont(const QFont &font)
{
    m_font = font;
    invalidateText();
}

void AuditLabel::setLetterSpacing(qreal spacing)
{
    m_letterSpacing = spacing;
    invalidateText();
}

void AuditLabel::setColorRole(AuditRole role)
{
    m_role = role;
    update();
}

void AuditLabel::setLineSpacing(qreal spacing)
{
    m_lineSpacing = spacing;
    invalidateText();
}

void AuditLabel::setPadding(const QMargins &padding)
{
    m_padding = padding;
    updateGeometry();
    update();
}

void AuditLabel::setMaxTextWidth(int width)
{
    m_maxTextWidth = std::max(0, width);
    m_layout.reset();
    updateGeometry();
    update();
}

void AuditLabel::setLineAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment & Qt::AlignHorizontal_Mask;
    m_layout.reset();
    update();
}

void AuditLabel::setAccessibleRole(QAccessible::Role role)
{
    m_accessibleRole = role;
}

void AuditLabel::invalidateText()
{
    m_layout.reset();
    m_naturalWidth = -1;
    m_narrowest = -1;
    updateGeometry();
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

int AuditLabel::textWidthFor(int width) const
{
    int textWidth = std::max(1, width - m_padding.left() - m_padding.right());
    if (m_maxTextWidth > 0)
        textWidth = std::min(textWidth, m_maxTextWidth);
    return textWidth;
}

const AuditLabel::Layout &AuditLabel::layoutFor(int textWidth) const
{
    if (m_layout && m_layout->textWidth == textWidth)
        return *m_layout;

    auto layout = std::make_unique<Layout>();
    layout->textWidth = textWidth;
    QFont base = m_font;
    base.setLetterSpacing(QFont::AbsoluteSpacing, m_letterSpacing);

    QList<QTextLayout::FormatRange> formats;
    QString joined;
    for (const AuditTextRun &run : m_runs) {
        QFont font = run.font ? *run.font : m_font;
        if (run.weight)
            font.setWeight(*run.weight);
        font.setLetterSpacing(QFont::AbsoluteSpacing, m_letterSpacing);
        QTextLayout::FormatRange range;
        range.start = int(joined.size());
        range.length = int(run.text.size());
        range.format.setFont(font);
        formats.append(range);
        joined += run.text;
    }

    layout->text.setText(joined);
    layout->text.setFont(base);
    layout->text.setFormats(formats);
    QTextOption option;
    // Lines break between words; a word wider than the line (a long name typed without a
    // space) breaks inside itself rather than making the label, its card and the window wider.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setAlignment(m_alignment);
    layout->text.setTextOption(option);
    layout->text.setCacheEnabled(true);

    qreal y = 0;
    int lines = 0;
    layout->text.beginLayout();
    for (QTextLine line = layout->text.createLine(); line.isValid(); line = layout->text.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(textWidth);
        line.setPosition(QPointF(0, y));
        y += line.height() + m_lineSpacing;
        ++lines;
    }
    layout->text.endLayout();
    layout->height = lines > 0 ? y - m_lineSpacing : 0;
    m_layout = std::move(layout);
    return *m_layout;
}

qreal AuditLabel::naturalWidth() const
{
    if (m_naturalWidth < 0) {
        const Layout &unbounded = layoutFor(int(kUnbounded));
        qreal longest = 0;
        for (int i = 0; i < unbounded.text.lineCount(); ++i)
            longest = std::max(longest, unbounded.text.lineAt(i).naturalTextWidth());
        m_naturalWidth = longest;
        m_naturalHeight = unbounded.height;
        // Laid out one character a line: the widest character is the least width it needs.
        const Layout &narrow = layoutFor(1);
        qreal widest = 0;
        for (int i = 0; i < narrow.text.lineCount(); ++i)
            widest = std::max(widest, narrow.text.lineAt(i).naturalTextWidth());
        m_narrowest = widest;
    }
    return m_naturalWidth;
}

int AuditLabel::heightForWidth(int width) const
{
    return int(std::ceil(layoutFor(textWidthFor(width)).height)) + m_padding.top() + m_padding.bottom();
}

QSize AuditLabel::sizeHint() const
{
    qreal textWidth = naturalWidth();
    if (m_maxTextWidth > 0)
        textWidth = std::min<qreal>(textWidth, m_maxTextWidth);
    const int width = int(std::ceil(textWidth)) + m_padding.left() + m_padding.right();
    return QSize(width, heightForWidth(width));
}

QSize AuditLabel::minimumSizeHint() const
{
    // As narrow as its widest character, as low as its text on one line: a layout that
    // knows the width asks heightForWidth() for the real height. (The height at the least
    // width, one character a line, would make a window as tall as a tower.)
    naturalWidth();
    const int width = int(std::ceil(m_narrowest)) + m_padding.left() + m_padding.right();
    const int height = int(std::ceil(m_naturalHeight)) + m_padding.top() + m_padding.bottom();
    return QSize(width, height);
}

void AuditLabel::paintEvent(QPaintEvent *)
{
    const AuditPalette palette = AuditPalette::of(this);
    const int textWidth = textWidthFor(width());
    const Layout &layout = layoutFor(textWidth);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QPointF origin(m_padding.left(), m_padding.top());
    if (m_alignment & Qt::AlignHCenter) {
        // The width cap sets the text at the leading edge; centred lines centre in the whole width.
        const int inner = width() - m_padding.left() - m_padding.right();
        origin.rx() += (inner - textWidth) / 2.0;
    }

    int start = 0;
    for (const AuditTextRun &run : m_runs) {
        const int length = int(run.text.size());
        if (length > 0) {
            painter.setPen(palette.role(run.color.value_or(m_role)));
            const QList<QGlyphRun> glyphs = layout.text.glyphRuns(start, length);
            for (const QGlyphRun &glyphRun : glyphs)
                painter.drawGlyphRun(origin, glyphRun);
        }
        start += length;
    }
}
