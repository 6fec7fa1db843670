#include "AuditWorkoutsChip.h"

#include "AuditFont.h"
#include "AuditStroke.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {
constexpr qreal kRing = 1.5;

QFont labelFont()
{
    return AuditFont::system(14, QFont::DemiBold);
}
} // namespace

AuditWorkoutsChip::AuditWorkoutsChip(QWidget *parent)
    : AuditButton(parent)
{
    setText(QStringLiteral("+ Workouts · 3× (1h + ½h in and out)"));
}

QSize AuditWorkoutsChip::sizeHint() const
{
    const QFontMetricsF metrics(labelFont());
    return QSize(int(std::ceil(metrics.horizontalAdvance(text()))) + 40, int(std::ceil(metrics.height())) + 22);
}

void AuditWorkoutsChip::paintEvent(QPaintEvent *)
{
    const AuditPalette colors = this->colors();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QColor fill = colors.accent;
    fill.setAlphaF(fill.alphaF() * 0.12f);
    painter.fillPath(AuditStroke::capsule(rect()), fill);
    QColor ring = colors.accent;
    ring.setAlphaF(ring.alphaF() * 0.35f);
    const QPainterPath outline = AuditStroke::capsule(AuditStroke::inset(rect(), kRing));
    if (isRingDashed())
        AuditStroke::stroke(painter, outline, kRing, ring, 5, 4);
    else
        AuditStroke::stroke(painter, outline, kRing, ring);
    painter.setFont(labelFont());
    painter.setPen(colors.accentInk);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

bool AuditWorkoutsChip::hitButton(const QPoint &pos) const
{
    return AuditStroke::capsule(rect()).contains(QPointF(pos) + QPointF(0.5, 0.5));
}
