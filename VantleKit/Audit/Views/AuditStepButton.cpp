#include "AuditStepButton.h"

#include "AuditFont.h"

#include <QPainter>
#include <QPainterPath>

AuditStepButton::AuditStepButton(const QString &glyph, const QString &label, int diameter, QWidget *parent)
    : AuditButton(parent)
    , m_diameter(diameter)
{
    setText(glyph);
    setAccessibleName(label);
}

QSize AuditStepButton::sizeHint() const
{
    return QSize(m_diameter, m_diameter);
}

void AuditStepButton::paintEvent(QPaintEvent *)
{
    const AuditPalette colors = this->colors();
    const bool hovered = isHovered();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF circle(0, 0, m_diameter, m_diameter);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colors.card);
    painter.drawEllipse(circle);
    constexpr qreal ring = 1.5;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(hovered ? colors.text : colors.border, ring));
    painter.drawEllipse(circle.adjusted(ring / 2, ring / 2, -ring / 2, -ring / 2));
    painter.setFont(AuditFont::system(m_diameter / 2, QFont::Bold));
    painter.setPen(hovered ? colors.text : colors.muted);
    painter.drawText(circle, Qt::AlignCenter | Qt::TextSingleLine, text());
    paintFocusRing(painter, [&] {
        QPainterPath focus;
        focus.addEllipse(circle.adjusted(4, 4, -4, -4));
        return focus;
    }, colors.accentInk);
}

bool AuditStepButton::hitButton(const QPoint &pos) const
{
    const QPointF centre(m_diameter / 2.0, m_diameter / 2.0);
    const QPointF d = QPointF(pos) + QPointF(0.5, 0.5) - centre;
    return d.x() * d.x() + d.y() * d.y() <= (m_diameter / 2.0) * (m_diameter / 2.0);
}
