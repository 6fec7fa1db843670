#pragma once

#include <QPainterPath>
#include <QRectF>

class QColor;
class QPainter;

// Outlines of the audit's dashed and capsule-shaped controls.
namespace AuditStroke {

// A capsule: a rectangle whose short sides are half circles.
QPainterPath capsule(const QRectF &rect);

// Strokes `path` `width` wide with flat ends, solid, or dashed `on` points drawn and `off`
// points left out (lengths in points, not in line widths) when `on` is above 0.
void stroke(QPainter &painter, const QPainterPath &path, qreal width, const QColor &color, qreal on = 0,
            qreal off = 0);

// The accent badge shape: a capsule over `rect` in `color` at 12 % under a `width`-wide ring
// of `color` at 35 % inside its edge, dashed as stroke() dashes when `on` is above 0.
void tintedCapsule(QPainter &painter, const QRectF &rect, const QColor &color, qreal width, qreal on = 0,
                   qreal off = 0);

// `rect` moved in by half of `width` on every side: the line of a stroke drawn inside the edge.
QRectF inset(const QRectF &rect, qreal width);

} // namespace AuditStroke
