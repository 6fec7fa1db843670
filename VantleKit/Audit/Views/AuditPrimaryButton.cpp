#include "AuditPrimaryButton.h"

#include "AuditDefaultAction.h"
#include "AuditFont.h"
#include "AuditShape.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QShortcut>

#include <algorithm>
#include <cmath>

namespace {
constexpr qreal kRadius = 14;

QColor brighter(const QColor &color, qreal amount)
{
    return QColor::fromRgbF(std::min<float>(1.0f, color.redF() + float(amount)),
                            std::min<float>(1.0f, color.greenF() + float(amount)),
                            std::min<float>(1.0f, color.blueF() + float(amount)), color.alphaF());
}
} // namespace

AuditPrimaryButton::AuditPrimaryButton(const QString &title, Size size, bool isDefault, QWidget *parent)
    : AuditButton(parent)
    , m_size(size)
    , m_isDefault(isDefault)
    , m_shortcut(new QShortcut(this))
{
    setText(title);
    m_shortcut->setKeys({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    m_shortcut->setContext(Qt::WindowShortcut);
    m_shortcut->setAutoRepeat(false);
    connect(m_shortcut, &QShortcut::activated, this, [this] {
        if (isEnabled() && m_isDefault && isVisible())
            click();
    });
    syncShortcut();
}

void AuditPrimaryButton::setIsDefault(bool isDefault)
{
    if (m_isDefault == isDefault)
        return;
    m_isDefault = isDefault;
    syncShortcut();
}

void AuditPrimaryButton::syncShortcut()
{
    // Under an installed handler the handler alone takes Return: two shortcuts on one key
    // would make it ambiguous, and neither would fire.
    AuditDefaultAction *handler = AuditDefaultAction::covering(this);
    m_shortcut->setEnabled(m_isDefault && isEnabled() && !handler);
    if (handler)
        handler->refresh();
}

QFont AuditPrimaryButton::titleFont() const
{
    return AuditFont::system(m_size == Size::lg ? 17 : 15, QFont::Bold);
}

QSize AuditPrimaryButton::sizeHint() const
{
    const QFontMetricsF metrics(titleFont());
    const int padding = m_size == Size::lg ? 28 : 22;
    const int minHeight = m_size == Size::lg ? 50 : 44;
    const int width = int(std::ceil(metrics.horizontalAdvance(text()))) + 2 * padding;
    const int height = std::max(minHeight, int(std::ceil(metrics.height())));
    return QSize(width, height);
}

void AuditPrimaryButton::paintEvent(QPaintEvent *)
{
    const AuditPalette colors = this->colors();
    const bool enabled = isEnabled();
    const qreal brightness = isHovered() && enabled ? 0.05 : 0.0;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setOpacity(enabled ? 1.0 : 0.5);
    AuditShape::fill(painter, rect(), kRadius, brighter(colors.accent, brightness));
    painter.setFont(titleFont());
    painter.setPen(brighter(colors.onAccent, brightness));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
    // On the accent fill an accent ring would vanish: the ink's, inside the edge.
    paintFocusRing(
        painter, [&] { return AuditShape::continuousRect(QRectF(rect()).adjusted(4, 4, -4, -4), kRadius - 4); },
        brighter(colors.onAccent, brightness));
}

bool AuditPrimaryButton::hitButton(const QPoint &pos) const
{
    return AuditShape::continuousRect(rect(), kRadius).contains(QPointF(pos) + QPointF(0.5, 0.5));
}

bool AuditPrimaryButton::event(QEvent *event)
{
    const bool result = AuditButton::event(event);
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ParentChange:
        syncShortcut();
        break;
    default:
        break;
    }
    return result;
}

void AuditPrimaryButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange) {
        syncShortcut();
        update();
    }
    AuditButton::changeEvent(event);
}
