#include "OrvalenAccount/UI/OrvalenLinkButton.h"

#include <QFontMetrics>
#include <QPainter>

OrvalenLinkButton::OrvalenLinkButton(const QString &text, QFont font, QColor color, QWidget *parent)
    : PaintedButton(parent)
    , m_font(std::move(font))
    , m_color(color)
{
    setText(text);
    setAccessibleName(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void OrvalenLinkButton::setColor(const QColor &color)
{
    if (m_color == color)
        return;
    m_color = color;
    update();
}

QSize OrvalenLinkButton::sizeHint() const
{
    const QFontMetrics metrics(m_font);
    return QSize(metrics.horizontalAdvance(text()) + 4, metrics.height() + 4);
}

void OrvalenLinkButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = m_font;
    font.setUnderline(isHovered() || hasKeyboardFocus());
    painter.setFont(font);
    painter.setPen(isDown() ? m_color.darker(120) : m_color);
    painter.drawText(rect(), Qt::AlignCenter, text());
}
