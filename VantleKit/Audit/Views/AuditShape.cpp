#include "AuditShape.h"

#include <QColor>
#include <QPainter>
#include <QPen>

#include <algorithm>

namespace {
// Control points of one continuous corner, in units of the radius, measured from the corner
// along each edge; the curve leaves the edge at kExtent.
constexpr qreal kExtent = 1.52866483;
constexpr qreal kA = 1.08849323;
constexpr qreal kB = 0.86840689;
constexpr qreal kC = 0.66993427;
constexpr qreal kD = 0.06549600;
constexpr qreal kE = 0.37282939;
constexpr qreal kF = 0.18816180;
} // namespace

QPainterPath AuditShape::continuousRect(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    if (rect.isEmpty())
        return path;
    const qreal limit = std::min(rect.width(), rect.height()) / 2.0 / kExtent;
    const qreal r = std::clamp(radius, 0.0, limit);
    if (r <= 0.0) {
        path.addRect(rect);
        return path;
    }
    const qreal l = rect.left(), t = rect.top(), rt = rect.right(), b = rect.bottom();

    path.moveTo(l + kExtent * r, t);
    // top edge, top-right corner
    path.lineTo(rt - kExtent * r, t);
    path.cubicTo(rt - kA * r, t, rt - kB * r, t, rt - kC * r, t + kD * r);
    path.cubicTo(rt - kE * r, t + kF * r, rt - kF * r, t + kE * r, rt - kD * r, t + kC * r);
    path.cubicTo(rt, t + kB * r, rt, t + kA * r, rt, t + kExtent * r);
    // right edge, bottom-right corner
    path.lineTo(rt, b - kExtent * r);
    path.cubicTo(rt, b - kA * r, rt, b - kB * r, rt - kD * r, b - kC * r);
    path.cubicTo(rt - kF * r, b - kE * r, rt - kE * r, b - kF * r, rt - kC * r, b - kD * r);
    path.cubicTo(rt - kB * r, b, rt - kA * r, b, rt - kExtent * r, b);
    // bottom edge, bottom-left corner
    path.lineTo(l + kExtent * r, b);
    path.cubicTo(l + kA * r, b, l + kB * r, b, l + kC * r, b - kD * r);
    path.cubicTo(l + kE * r, b - kF * r, l + kF * r, b - kE * r, l + kD * r, b - kC * r);
    path.cubicTo(l, b - kB * r, l, b - kA * r, l, b - kExtent * r);
    // left edge, top-left corner
    path.lineTo(l, t + kExtent * r);
    path.cubicTo(l, t + kA * r, l, t + kB * r, l + kD * r, t + kC * r);
    path.cubicTo(l + kF * r, t + kE * r, l + kE * r, t + kF * r, l + kC * r, t + kD * r);
    path.cubicTo(l + kB * r, t, l + kA * r, t, l + kExtent * r, t);
    path.closeSubpath();
    return path;
}

void AuditShape::fill(QPainter &painter, const QRectF &rect, qreal radius, const QColor &color)
{
    painter.fillPath(continuousRect(rect, radius), color);
}

void AuditShape::strokeInside(QPainter &painter, const QRectF &rect, qreal radius, qreal width,
                              const QColor &color)
{
    const qreal inset = width / 2.0;
    const QRectF inner = rect.adjusted(inset, inset, -inset, -inset);
    QPen pen(color, width);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.save();
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(continuousRect(inner, std::max(0.0, radius - inset)));
    painter.restore();
}
