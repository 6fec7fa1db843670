#include "Vantle/Onboarding/WelcomeAccentButton.h"

#include "Platform/ApplicationFont.h"
#include "Vantle/Utilities/Theme.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace {
QFont titleFont()
{
    return ApplicationFont::sized(14, QFont::DemiBold);
}
} // namespace

WelcomeAccentButton::WelcomeAccentButton(const QString &title, QWidget *parent) : PaintedButton(parent)
{
    setText(title);
    setAccessibleName(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize WelcomeAccentButton::sizeHint() const
{
    const QFontMetrics metrics(titleFont());
    return QSize(metrics.horizontalAdvance(text()) + 48, metrics.height() + 24);
}

QSize WelcomeAccentButton::minimumSizeHint() const
{
    return sizeHint();
}

void WelcomeAccentButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 10, 10);
    const QColor fill = isDown() ? Theme::accent.darker(110) : (isHovered() ? Theme::accent.lighter(106) : Theme::accent);
    painter.fillPath(shape, fill);
    if (hasKeyboardFocus()) {
        // An accent ring would vanish on the accent fill: a ring of the ink, inside the edge.
        painter.setPen(QPen(Theme::accentInk, 1.5));
        painter.drawRoundedRect(QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5), 7, 7);
    }
    painter.setFont(titleFont());
    painter.setPen(Theme::accentInk);
    painter.drawText(rect(), Qt::AlignCenter, text());
}
