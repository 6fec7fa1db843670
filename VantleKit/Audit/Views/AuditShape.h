#pragma once

#include <QPainterPath>
#include <QRectF>

class QColor;
class QPainter;

// Shapes of the audit's views.
namespace AuditShape {

// A rounded rectangle with continuous corners: each corner eases out of the straight edge
// (about 1.53 × radius before the corner) instead of meeting a circular arc at a kink.
// The radius shrinks to fit when the rectangle is too small for it.
QPainterPath continuousRect(const QRectF &rect, qreal radius);

// Fills the shape of `rect` / `radius`.
void fill(QPainter &painter, const QRectF &rect, qreal radius, const QColor &color);
// Strokes the same shape inside its edge, so the stroke never grows the shape: the path is
// inset by half the line width, its radius with it.
void strokeInside(QPainter &painter, const QRectF &rect, qreal radius, qreal width, const QColor &color);

} // namespace AuditShape
