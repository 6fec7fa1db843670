#include "AuditTextInput.h"

#include "AuditFont.h"
#include "AuditObjectNames.h"
#include "AuditPalette.h"
#include "AuditShape.h"

#include "VantleKit/Audit/AuditText.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QValidator>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kPadX = 14;
constexpr int kPadY = 11;
constexpr qreal kRadius = 12;
constexpr qreal kEdge = 1.5;
// QLineEdit keeps a margin of its own around its text when it has no frame.
constexpr int kFieldMarginX = 2;
constexpr int kFieldMarginY = 1;

// Cuts every edit to the first 40 user-perceived characters. Working as a validator, the cut
// happens inside the edit itself: the field never shows, or reports, the longer text.
class LengthRule final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override
    {
        if (AuditText::graphemeCount(input) > AuditTextInput::maxCharacters) {
            input = AuditText::truncatedToGraphemes(input, AuditTextInput::maxCharacters);
            pos = std::min(pos, int(input.size()));
        }
        return Acceptable;
    }
};
} // namespace

AuditTextInput::AuditTextInput(const QString &placeholder, bool autofocus, QWidget *parent)
    : QWidget(parent)
    , m_field(new QLineEdit(this))
    , m_autofocus(autofocus)
{
    m_field->setFrame(false);
    m_field->setPlaceholderText(placeholder);
    m_field->setFont(AuditFont::system(16));
    m_field->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_field->installEventFilter(this);
    setFocusProxy(m_field);
    setCursor(Qt::IBeamCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    applyPalette();
    connect(m_field, &QLineEdit::textChanged, this, &AuditTextInput::textChanged);
    connect(this, &QObject::objectNameChanged, this,
            [this] { m_field->setObjectName(AuditObjectNames::part(this, u"field")); });
}

QString AuditTextInput::text() const
{
    return m_field->text();
}

void AuditTextInput::setText(const QString &text)
{
    if (m_field->text() != text)
        m_field->setText(text);
}

QString AuditTextInput::placeholder() const
{
    return m_field->placeholderText();
}

bool AuditTextInput::hasFieldFocus() const
{
    return m_field->hasFocus();
}

int AuditTextInput::textHeight() const
{
    return int(std::ceil(QFontMetricsF(m_field->font()).height()));
}

QSize AuditTextInput::sizeHint() const
{
    return QSize(2 * kPadX + 200, 2 * kPadY + textHeight());
}

QSize AuditTextInput::minimumSizeHint() const
{
    return QSize(2 * kPadX + 40, 2 * kPadY + textHeight());
}

void AuditTextInput::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The field's own text margin sits inside the padding, so the text starts exactly 14 in.
    m_field->setGeometry(rect().adjusted(kPadX - kFieldMarginX, kPadY - kFieldMarginY,
                                         -(kPadX - kFieldMarginX), -(kPadY - kFieldMarginY)));
}

void AuditTextInput::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        // From now on every change obeys the length rule; a long text set before stays.
        m_field->setValidator(new LengthRule(m_field));
    }
    applyPalette();
    // A spontaneous show is the window coming back (restored after being minimized): the
    // focus stays where the user left it. Autofocus is for the input coming into view.
    if (m_autofocus && !event->spontaneous())
        m_field->setFocus(Qt::OtherFocusReason);
}

void AuditTextInput::mousePressEvent(QMouseEvent *event)
{
    // A click on the padding still lands in the field.
    m_field->setFocus(Qt::MouseFocusReason);
    event->accept();
}

bool AuditTextInput::event(QEvent *event)
{
    if (event->type() == AuditPalette::changedEventType() || event->type() == QEvent::ParentChange)
        applyPalette();
    return QWidget::event(event);
}

bool AuditTextInput::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_field && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        update();
    return QWidget::eventFilter(watched, event);
}

void AuditTextInput::applyPalette()
{
    const AuditPalette colors = AuditPalette::of(this);
    QPalette palette = m_field->palette();
    QColor placeholder = colors.muted;
    placeholder.setAlphaF(0.65f);
    QColor selection = colors.accent;
    selection.setAlphaF(0.35f);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, Qt::transparent);
        palette.setColor(group, QPalette::Window, Qt::transparent);
        palette.setColor(group, QPalette::Text, colors.text);
        palette.setColor(group, QPalette::PlaceholderText, placeholder);
        palette.setColor(group, QPalette::Highlight, selection);
        palette.setColor(group, QPalette::HighlightedText, colors.text);
    }
    m_field->setPalette(palette);
}

void AuditTextInput::paintEvent(QPaintEvent *)
{
    const AuditPalette colors = AuditPalette::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = rect();
    AuditShape::fill(painter, shape, kRadius, colors.card);
    AuditShape::strokeInside(painter, shape, kRadius, kEdge, m_field->hasFocus() ? colors.accentInk : colors.border);
}
