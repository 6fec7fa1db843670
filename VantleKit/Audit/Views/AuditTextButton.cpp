#include "AuditTextButton.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

AuditTextButton::AuditTextButton(const QString &title, const QFont &font, const QMargins &padding,
                                 Ink normal, Ink hovered, QWidget *parent)
    : AuditButton(parent)
    , m_font(font)
    , m_padding(padding)
    , m_normal(normal)
    , m_hovered(hovered)
{
    setText(title);
}

QSize AuditTextButton::sizeHint() const
{
    const QFontMetricsF metrics(m_font);
    return QSize(int(std::ceil(metrics.horizontalAdvance(text()))) + m_padding.left() + m_padding.right(),
                 int(std::ceil(metrics.height())) + m_padding.top() + m_padding.bottom());
}

QColor AuditTextButton::labelColor() const
{
    const Ink ink = isHovered() ? m_hovered : m_normal;
    QColor color = colors().role(ink.role);
    color.setAlphaF(float(color.alphaF() * ink.opacity));
    return color;
}

void AuditTextButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(m_font);
    painter.setPen(labelColor());
    painter.drawText(rect().marginsRemoved(m_padding), Qt::AlignCenter | Qt::TextSingleLine, text());
}
