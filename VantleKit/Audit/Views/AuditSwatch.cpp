#include "AuditSwatch.h"

#include "AuditShape.h"

#include <QPainter>

AuditSwatch::AuditSwatch(int side, qreal radius, QWidget *parent)
    : QWidget(parent)
    , m_side(side)
    , m_radius(radius)
    , m_fill(AuditRole::accent)
{
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void AuditSwatch::setFill(const AuditFill &fill)
{
    if (m_fill == fill)
        return;
    m_fill = fill;
    update();
}

QColor AuditSwatch::color() const
{
    if (const QColor *fixed = std::get_if<QColor>(&m_fill))
        return *fixed;
    return AuditPalette::of(this).role(std::get<AuditRole>(m_fill));
}

void AuditSwatch::setBordered(bool bordered)
{
    if (m_bordered == bordered)
        return;
    m_bordered = bordered;
    update();
}

void AuditSwatch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape(0, 0, m_side, m_side);
    AuditShape::fill(painter, shape, m_radius, color());
    if (m_bordered)
        AuditShape::strokeInside(painter, shape, m_radius, 1, AuditPalette::of(this).border);
}
