#include "Vantle/Views/SettingsSwitch.h"

#include "Vantle/Utilities/Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int trackWidth = 32;
constexpr int trackHeight = 18;
constexpr int knobInset = 2;
// Room round the track for the focus ring, which stands off it by a gap of the window's
// colour: on the accent track of a switched-on toggle a ring on the track itself would vanish.
constexpr int ringRoom = 4;
} // namespace

SettingsSwitch::SettingsSwitch(const QString &text, QWidget *parent) : QAbstractButton(parent)
{
    setText(text);
    setAccessibleName(text);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize SettingsSwitch::sizeHint() const { return {trackWidth + 2 * ringRoom, trackHeight + 2 * ringRoom}; }

bool SettingsSwitch::hitButton(const QPoint &pos) const { return rect().contains(pos); }

void SettingsSwitch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track(ringRoom, ringRoom, trackWidth, trackHeight);
    const qreal radius = track.height() / 2;

    QColor fill = isChecked() ? Theme::accent : QColor(0x3A, 0x3A, 0x42);
    if (!isEnabled())
        fill.setAlphaF(0.4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, radius, radius);
    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Theme::accent, 2));
        const qreal out = ringRoom - 1;
        painter.drawRoundedRect(track.adjusted(-out, -out, out, out), radius + out, radius + out);
    }

    const qreal knob = track.height() - 2 * knobInset;
    const qreal x = isChecked() ? track.right() - knobInset - knob : track.left() + knobInset;
    QColor knobColor(0xF5, 0xF5, 0xF5);
    if (!isEnabled())
        knobColor = QColor(0x8A, 0x8A, 0x92);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 60));
    painter.drawEllipse(QRectF(x, track.top() + knobInset + 0.5, knob, knob));
    painter.setBrush(knobColor);
    painter.drawEllipse(QRectF(x, track.top() + knobInset, knob, knob));
}
