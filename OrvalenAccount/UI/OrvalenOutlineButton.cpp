#include "OrvalenAccount/UI/OrvalenOutlineButton.h"

#include "Platform/ApplicationFont.h"

#include <QFontMetrics>
#include <QPainter>

namespace {
constexpr qreal radius = 8;

QFont titleFont()
{
    return ApplicationFont::sized(13, QFont::DemiBold);
}
} // namespace

OrvalenOutlineButton::OrvalenOutlineButton(const QString &title, QColor accent, QWidget *parent)
    : PaintedButton(parent)
    , m_accent(accent)
{
    setText(title);
    setAccessibleName(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setMinimumHeight(32 + 2 * ringRoom);
}

void OrvalenOutlineButton::setAccent(const QColor &accent)
{
    m_accent = accent;
    update();
}

QSize OrvalenOutlineButton::sizeHint() const
{
    const QFontMetrics metrics(titleFont());
    return QSize(metrics.horizontalAdvance(text()) + 36 + 2 * ringRoom, 32 + 2 * ringRoom);
}

void OrvalenOutlineButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outline = QRectF(rect()).adjusted(ringRoom, ringRoom, -ringRoom, -ringRoom);
    const QRectF box = outline.adjusted(0.75, 0.75, -0.75, -0.75);
    if (isHovered() || isDown()) {
        QColor wash = m_accent;
        wash.setAlphaF(isDown() ? 0.22f : 0.12f);
        painter.setBrush(wash);
    }
    painter.setPen(QPen(m_accent, 1.5));
    painter.drawRoundedRect(box, radius, radius);
    if (hasKeyboardFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(m_accent, 2));
        const qreal out = ringRoom - 1;
        painter.drawRoundedRect(outline.adjusted(-out, -out, out, out), radius + out, radius + out);
    }
    painter.setFont(titleFont());
    painter.setPen(m_accent);
    painter.drawText(outline, Qt::AlignCenter, text());
}
