#include "Vantle/Onboarding/WelcomeCheckboxRow.h"

#include "Platform/ApplicationFont.h"
#include "Platform/ButtonKeys.h"
#include "Vantle/Utilities/Theme.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int kBox = 20;
constexpr int kSpacing = 12;
constexpr qreal kBorder = 1.5;

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}
} // namespace

WelcomeCheckboxRow::WelcomeCheckboxRow(const QString &label, QWidget *parent)
    : QAbstractButton(parent)
    , m_label(new QLabel(label, this))
{
    setText(label);
    setAccessibleName(label);
    setCheckable(false);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);

    m_label->setFont(ApplicationFont::sized(13));
    m_label->setWordWrap(true);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label->setAttribute(Qt::WA_TransparentForMouseEvents);
    // A button's children draw in its button-text role unless told otherwise.
    m_label->setForegroundRole(QPalette::WindowText);
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::WindowText, withAlpha(Theme::text, 0.85));
    m_label->setPalette(palette);

    // The box is centred on the label's first line: whichever is shorter is pushed down. (Its
    // foot on the baseline, the box stood well above the letters beside it.)
    const int line = QFontMetrics(m_label->font()).height();
    auto *layout = new QHBoxLayout(this);
    const int lineInset = std::max(0, (kBox - line) / 2);
    layout->setContentsMargins(ringRoom + kBox + kSpacing, ringRoom + lineInset, 0, ringRoom + lineInset);
    layout->setSpacing(0);
    layout->addWidget(m_label);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void WelcomeCheckboxRow::setOn(bool isOn)
{
    if (m_isOn == isOn)
        return;
    m_isOn = isOn;
    update();
}

int WelcomeCheckboxRow::boxTop() const
{
    const int line = QFontMetrics(m_label->font()).height();
    return ringRoom + std::max(0, (line - kBox) / 2);
}

void WelcomeCheckboxRow::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = ButtonKeys::isFromKeyboard(event->reason());
    update();
    QAbstractButton::focusInEvent(event);
}

void WelcomeCheckboxRow::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    update();
    QAbstractButton::focusOutEvent(event);
}

void WelcomeCheckboxRow::keyPressEvent(QKeyEvent *event)
{
    if (m_keyboardFocus && ButtonKeys::isActivation(event)) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void WelcomeCheckboxRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(ringRoom + kBorder / 2, boxTop() + kBorder / 2, kBox - kBorder, kBox - kBorder);
    QPainterPath shape;
    shape.addRoundedRect(box, 4, 4);
    if (m_isOn) {
        painter.fillPath(shape, Theme::accent);
        painter.setPen(QPen(Theme::accent, kBorder));
        painter.drawPath(shape);
        // The tick, in the heavy weight of an 11-point symbol.
        QPainterPath tick;
        const QPointF o = box.topLeft();
        tick.moveTo(o + QPointF(5.0, 9.8));
        tick.lineTo(o + QPointF(8.2, 13.0));
        tick.lineTo(o + QPointF(13.6, 6.2));
        painter.setPen(QPen(Theme::accentInk, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    } else {
        painter.fillPath(shape, Theme::card);
        painter.setPen(QPen(withAlpha(Theme::muted, 0.6), kBorder));
        painter.drawPath(shape);
    }
    if (m_keyboardFocus) {
        painter.setPen(QPen(withAlpha(Theme::accent, 0.8), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(-3, -3, 3, 3), 6, 6);
    }
}
