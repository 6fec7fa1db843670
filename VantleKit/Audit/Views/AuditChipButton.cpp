#include "AuditChipButton.h"

#include "AuditChips.h"
#include "AuditFont.h"
#include "AuditShape.h"

#include "Platform/ButtonKeys.h"

#include <QKeyEvent>

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
constexpr qreal kRadius = 14;
} // namespace

AuditChipButton::AuditChipButton(const AuditChipOption &option, bool day, bool on, QWidget *parent)
    : AuditButton(parent)
    , m_option(option)
    , m_day(day)
{
    setCheckable(true);
    setChecked(on);
    setText(option.label);
}

void AuditChipButton::setOption(const AuditChipOption &option)
{
    m_option = option;
    if (text() != option.label) {
        setText(option.label);
        updateGeometry();
    }
}

void AuditChipButton::setOn(bool on)
{
    if (isChecked() == on)
        return;
    const QSize before = sizeHint();
    setChecked(on);
    // The weight changes with the state, and with it, in some fonts, the width of the label:
    // only then is the row laid out again.
    if (sizeHint() != before)
        updateGeometry();
    update();
}

void AuditChipButton::nextCheckState()
{
    // A click does not turn the chip on or off: the row's caller decides.
}

QFont AuditChipButton::labelFont() const
{
    const QFont::Weight weight = isChecked() ? QFont::Bold : QFont::DemiBold;
    return m_day ? AuditFont::system(15, weight) : AuditFont::mono(16, weight);
}

QSize AuditChipButton::sizeHint() const
{
    const QFontMetricsF metrics(labelFont());
    const qreal minText = m_day ? 62 : 0;
    const int padding = m_day ? 12 : 16;
    const qreal textWidth = std::max(minText, metrics.horizontalAdvance(text()));
    return QSize(int(std::ceil(textWidth)) + 2 * padding, std::max(44, int(std::ceil(metrics.height()))));
}

void AuditChipButton::paintEvent(QPaintEvent *)
{
    const AuditPalette colors = this->colors();
    const bool on = isChecked();
    const bool hovered = isHovered();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF shape = rect();
    QColor fill = on ? colors.accent : colors.card;
    if (on)
        fill.setAlphaF(fill.alphaF() * 0.12f);
    AuditShape::fill(painter, shape, kRadius, fill);
    if (on)
        AuditShape::strokeInside(painter, shape, kRadius, 2.5, colors.accentInk);
    else
        AuditShape::strokeInside(painter, shape, kRadius, 1.5, hovered ? colors.text : colors.border);
    painter.setFont(labelFont());
    painter.setPen(on || hovered ? colors.text : colors.muted);
    painter.drawText(shape, Qt::AlignCenter | Qt::TextSingleLine, text());
    // In `text`, clear of the edge: an `accentInk` ring is what a chip that is on looks like,
    // and beside the on chip's own `accentInk` edge it would merge into it.
    paintFocusRing(
        painter, [&] { return AuditShape::continuousRect(shape.adjusted(5, 5, -5, -5), kRadius - 5); }, colors.text);
}

void AuditChipButton::keyPressEvent(QKeyEvent *event)
{
    // The arrows walk the row, as in any group of options; the ends stay where they are.
    const auto *row = qobject_cast<AuditChips *>(parentWidget());
    const int step = (event->key() == Qt::Key_Left || event->key() == Qt::Key_Up)      ? -1
        : (event->key() == Qt::Key_Right || event->key() == Qt::Key_Down)                ? 1
                                                                                           : 0;
    if (ButtonKeys::isActivation(event)) {
        event->ignore();
        return;
    }
    if (!row || step == 0 || event->modifiers() != Qt::NoModifier) {
        AuditButton::keyPressEvent(event);
        return;
    }
    const QList<AuditChipButton *> chips = row->chips();
    for (qsizetype i = chips.indexOf(this) + step; i >= 0 && i < chips.size(); i += step) {
        if (chips.at(i)->isVisible() && chips.at(i)->isEnabled()) {
            chips.at(i)->setFocus(step < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
            break;
        }
    }
    event->accept();
}

bool AuditChipButton::hitButton(const QPoint &pos) const
{
    return AuditShape::continuousRect(rect(), kRadius).contains(QPointF(pos) + QPointF(0.5, 0.5));
}
