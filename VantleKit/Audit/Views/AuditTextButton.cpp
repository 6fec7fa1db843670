#include "AuditTextButton.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
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
    if (hasKeyboardFocus())
        return colors().accentInk;
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
    const QRect area = rect().marginsRemoved(m_padding);
    painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, text());
    if (hasKeyboardFocus()) {
        // A bar under the label: the label has no shape of its own to ring.
        const QRectF label = painter.boundingRect(QRectF(area), Qt::AlignCenter | Qt::TextSingleLine, text());
        painter.fillRect(QRectF(label.left(), std::min(label.bottom() + 1, height() - 2.0), label.width(), 2),
                         colors().accentInk);
    }
}
