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
    const bool dashed = isRingDashed();
    AuditStroke::tintedCapsule(painter, rect(), colors.accent, kRing, dashed ? 5 : 0, dashed ? 4 : 0);
    painter.setFont(labelFont());
    painter.setPen(colors.accentInk);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
    paintFocusRing(painter, [&] { return AuditStroke::capsule(QRectF(rect()).adjusted(4, 4, -4, -4)); }, colors.accentInk);
}

bool AuditWorkoutsChip::hitButton(const QPoint &pos) const
{
    return AuditStroke::capsule(rect()).contains(QPointF(pos) + QPointF(0.5, 0.5));
}
