#include "AuditStroke.h"

#include <QColor>
#include <QPainter>
#include <QPen>

#include <algorithm>

QPainterPath AuditStroke::capsule(const QRectF &rect)
{
    QPainterPath path;
    if (rect.isEmpty())
        return path;
    const qreal radius = std::min(rect.width(), rect.height()) / 2.0;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

void AuditStroke::stroke(QPainter &painter, const QPainterPath &path, qreal width, const QColor &color, qreal on,
                         qreal off)
{
    QPen pen(color, width);
    // A square cap would lengthen every dash by the line width.
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    if (on > 0 && width > 0) {
        // Qt counts dash lengths in line widths.
        pen.setDashPattern({on / width, std::max(off, 0.0) / width});
    }
    painter.save();
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

QRectF AuditStroke::inset(const QRectF &rect, qreal width)
{
    const qreal half = width / 2.0;
    return rect.adjusted(half, half, -half, -half);
}

void AuditStroke::tintedCapsule(QPainter &painter, const QRectF &rect, const QColor &color, qreal width, qreal on,
                                qreal off)
{
    QColor fill = color;
    fill.setAlphaF(fill.alphaF() * 0.12f);
    painter.fillPath(capsule(rect), fill);
    QColor ring = color;
    ring.setAlphaF(ring.alphaF() * 0.35f);
    stroke(painter, capsule(inset(rect, width)), width, ring, on, off);
}
