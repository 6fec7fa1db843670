#include "AuditDashedButton.h"

#include "AuditFont.h"
#include "AuditShape.h"
#include "AuditStroke.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {
constexpr qreal kRadius = 16;
constexpr qreal kLine = 1.5;
constexpr int kPadY = 17;

QFont titleFont()
{
    return AuditFont::system(16, QFont::DemiBold);
}
} // namespace

AuditDashedButton::AuditDashedButton(const QString &title, QWidget *parent)
    : AuditButton(parent)
{
    setText(title);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize AuditDashedButton::sizeHint() const
{
    const QFontMetricsF metrics(titleFont());
    return QSize(int(std::ceil(metrics.horizontalAdvance(text()))) + 2 * kPadY,
                 int(std::ceil(metrics.height())) + 2 * kPadY);
}

QColor AuditDashedButton::titleColor() const
{
    return isHovered() ? colors().accentInk : colors().muted;
}

QColor AuditDashedButton::outlineColor() const
{
    return isHovered() ? colors().accentInk : colors().border;
}

void AuditDashedButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF shape = rect();
    AuditStroke::stroke(painter, AuditShape::continuousRect(AuditStroke::inset(shape, kLine), kRadius - kLine / 2),
                        kLine, outlineColor(), 6, 5);
    painter.setFont(titleFont());
    painter.setPen(titleColor());
    painter.drawText(shape, Qt::AlignCenter | Qt::TextSingleLine, text());
    paintFocusRing(
        painter, [&] { return AuditShape::continuousRect(shape.adjusted(4, 4, -4, -4), kRadius - 4); }, colors().accentInk);
}

bool AuditDashedButton::hitButton(const QPoint &pos) const
{
    return AuditShape::continuousRect(rect(), kRadius).contains(QPointF(pos) + QPointF(0.5, 0.5));
}
