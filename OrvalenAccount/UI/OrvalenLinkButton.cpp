#include "OrvalenAccount/UI/OrvalenLinkButton.h"

#include "Platform/ButtonKeys.h"

#include <QFontMetrics>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>

OrvalenLinkButton::OrvalenLinkButton(const QString &text, QFont font, QColor color, QWidget *parent)
    : QAbstractButton(parent)
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

void OrvalenLinkButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void OrvalenLinkButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void OrvalenLinkButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = m_font;
    font.setUnderline(m_hovered || m_keyboardFocus);
    painter.setFont(font);
    painter.setPen(isDown() ? m_color.darker(120) : m_color);
    painter.drawText(rect(), Qt::AlignCenter, text());
}

void OrvalenLinkButton::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = ButtonKeys::isFromKeyboard(event->reason());
    update();
    QAbstractButton::focusInEvent(event);
}

void OrvalenLinkButton::keyPressEvent(QKeyEvent *event)
{
    if (m_keyboardFocus && ButtonKeys::isActivation(event)) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void OrvalenLinkButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    update();
    QAbstractButton::focusOutEvent(event);
}
