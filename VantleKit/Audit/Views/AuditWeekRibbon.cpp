#include "AuditWeekRibbon.h"

#include "AuditShape.h"

#include "VantleKit/Audit/AuditMath.h"

#include <QHelpEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {
constexpr qreal kTop = 30;
constexpr qreal kHeight = 40;
constexpr qreal kGap = 2;
constexpr qreal kRadius = 12;
} // namespace

AuditWeekRibbon::AuditWeekRibbon(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void AuditWeekRibbon::setWeek(const QList<AuditWeekSegment> &segments, double yours)
{
    if (m_segments == segments && m_yours == yours)
        return;
    m_segments = segments;
    m_yours = yours;
    update();
}

QRectF AuditWeekRibbon::barRect() const
{
    return QRectF(0, kTop, width(), kHeight);
}

QList<AuditWeekRibbon::Piece> AuditWeekRibbon::pieces() const
{
    const bool yoursPiece = m_yours > 0;
    const qsizetype count = m_segments.size() + (yoursPiece ? 1 : 0);
    const QRectF bar = barRect();
    const qreal usable = std::max<qreal>(0, bar.width() - kGap * std::max<qsizetype>(0, count - 1));
    double total = std::max(m_yours, 0.0);
    for (const AuditWeekSegment &segment : m_segments)
        total += segment.v;

    QList<Piece> result;
    qreal x = bar.left();
    const auto place = [&](double hours, const QString &help) {
        const qreal width = total > 0 ? hours * usable / total : 0;
        result.append({QRectF(x, bar.top(), width, bar.height()), help});
        x += width + kGap;
    };
    for (const AuditWeekSegment &segment : m_segments)
        place(segment.v, segment.name + QLatin1Char(' ') + AuditMath::fmtH(segment.v) + QLatin1Char('h'));
    if (yoursPiece)
        place(m_yours, QStringLiteral("Yours ") + AuditMath::fmtH(m_yours) + QLatin1Char('h'));
    return result;
}

QString AuditWeekRibbon::helpAt(const QPoint &pos) const
{
    for (const Piece &piece : pieces()) {
        if (piece.rect.width() > 0 && piece.rect.contains(QPointF(pos) + QPointF(0.5, 0.5)))
            return piece.help;
    }
    return QString();
}

void AuditWeekRibbon::paintEvent(QPaintEvent *)
{
    const AuditPalette colors = AuditPalette::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bar = barRect();
    painter.setClipPath(AuditShape::continuousRect(bar, kRadius));
    const QList<Piece> all = pieces();
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QRectF &rect = all.at(i).rect;
        if (rect.width() <= 0)
            continue;
        if (i < m_segments.size()) {
            const AuditFill &fill = m_segments.at(i).color;
            painter.fillRect(rect, std::holds_alternative<QColor>(fill) ? std::get<QColor>(fill)
                                                                         : colors.role(std::get<AuditRole>(fill)));
        } else {
            QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
            gradient.setColorAt(0, colors.accentStrong);
            gradient.setColorAt(1, colors.accent);
            painter.fillRect(rect, gradient);
        }
    }
}

bool AuditWeekRibbon::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = helpAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QWidget::event(event);
}
