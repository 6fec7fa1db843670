#include "OrvalenAccount/UI/OrvalenOutlineButton.h"

#include "Platform/ApplicationFont.h"

#include <QFontMetrics>
#include <QPainter>

namespace {
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
    setMinimumHeight(32);
}

void OrvalenOutlineButton::setAccent(const QColor &accent)
{
    m_accent = accent;
    update();
}

QSize OrvalenOutlineButton::sizeHint() const
{
    const QFontMetrics metrics(titleFont());
    return QSize(metrics.horizontalAdvance(text()) + 36, 32);
}

void OrvalenOutlineButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75);
    if (isHovered() || isDown()) {
        QColor wash = m_accent;
        wash.setAlphaF(isDown() ? 0.22f : 0.12f);
        painter.setBrush(wash);
    }
    painter.setPen(QPen(m_accent, hasKeyboardFocus() ? 2.0 : 1.5));
    painter.drawRoundedRect(box, 8, 8);
    painter.setFont(titleFont());
    painter.setPen(m_accent);
    painter.drawText(rect(), Qt::AlignCenter, text());
}
