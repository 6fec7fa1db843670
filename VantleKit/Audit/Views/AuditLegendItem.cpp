#include "AuditLegendItem.h"

#include "AuditFont.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kSwatch = 11;
constexpr int kGap = 7;

QFont textFont()
{
    return AuditFont::system(13);
}
} // namespace

AuditLegendItem::AuditLegendItem(QWidget *parent)
    : QWidget(parent)
    , m_swatch(new AuditSwatch(kSwatch, 3, this))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void AuditLegendItem::setEntry(const AuditFill &color, bool bordered, const QString &text)
{
    m_swatch->setFill(color);
    m_swatch->setBordered(bordered);
    if (m_text == text)
        return;
    const QSize before = sizeHint();
    m_text = text;
    setAccessibleName(text);
    if (sizeHint() != before)
        updateGeometry();
    update();
}

QSize AuditLegendItem::sizeHint() const
{
    const QFontMetricsF metrics(textFont());
    return QSize(kSwatch + kGap + int(std::ceil(metrics.horizontalAdvance(m_text))),
                 std::max(kSwatch, int(std::ceil(metrics.height()))));
}

void AuditLegendItem::resizeEvent(QResizeEvent *)
{
    m_swatch->move(0, (height() - kSwatch) / 2);
}

void AuditLegendItem::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(textFont());
    painter.setPen(AuditPalette::of(this).muted);
    painter.drawText(QRectF(kSwatch + kGap, 0, width() - kSwatch - kGap, height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_text);
}
