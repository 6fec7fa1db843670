#include "Vantle/Views/FreshLaunchToast.h"

#include "Vantle/Services/OrvalenAccountBridge.h"
#include "Vantle/Utilities/Theme.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPainterPath>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

namespace {

constexpr int paddingX = 14;
constexpr int paddingY = 10;
constexpr int symbolSize = 14;
constexpr int gap = 8;

QFont toastFont(const QFont &base)
{
    QFont font = base;
    font.setPixelSize(12);
    font.setWeight(QFont::DemiBold);
    return font;
}

} // namespace

FreshLaunchToast::FreshLaunchToast(OrvalenAccountBridge *bridge, QWidget *parent)
    : QWidget(parent), m_bridge(bridge), m_opacity(new QGraphicsOpacityEffect(this))
{
    setObjectName(QStringLiteral("freshLaunchToast"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    m_opacity->setOpacity(0.0);
    setGraphicsEffect(m_opacity);
    resize(sizeHint());
    hide();

    m_hideTimer.setSingleShot(true);
    m_hideTimer.setInterval(visibleFor);
    connect(&m_hideTimer, &QTimer::timeout, this, &FreshLaunchToast::dismiss);
    if (m_bridge) {
        connect(m_bridge, &OrvalenAccountBridge::didJustRestoreChanged, this, [this](bool raised) {
            if (raised)
                maybePresent();
        });
    }
    maybePresent();
}

FreshLaunchToast::~FreshLaunchToast() = default;

QSize FreshLaunchToast::sizeHint() const
{
    return sizeFor(font());
}

QSize FreshLaunchToast::sizeFor(const QFont &font)
{
    const QFontMetrics metrics(toastFont(font));
    return {paddingX * 2 + symbolSize + gap + metrics.horizontalAdvance(text),
            paddingY * 2 + std::max(symbolSize, metrics.height())};
}

int FreshLaunchToast::reach()
{
    return margin + sizeFor(QApplication::font()).height();
}

QPoint FreshLaunchToast::restingPosition() const
{
    const QWidget *host = parentWidget();
    if (!host)
        return {};
    return {host->width() - width() - margin, host->height() - height() - margin};
}

void FreshLaunchToast::place()
{
    if (m_animation && m_animation->state() == QAbstractAnimation::Running)
        return;
    move(restingPosition());
    raise();
}

void FreshLaunchToast::maybePresent()
{
    if (m_presented || !m_bridge || !m_bridge->didJustRestore())
        return;
    m_bridge->setDidJustRestore(false);
    m_presented = true;
    m_hideTimer.stop();

    const QPoint rest = restingPosition();
    const QPoint start = rest + QPoint(width() / 2 + margin, 0);
    animate(start, rest, 0.0, 1.0, showDuration, QEasingCurve::OutCubic);
    move(start);
    show();
    raise();
    m_animation->start();
    m_hideTimer.start();
}

void FreshLaunchToast::dismiss()
{
    if (!m_presented)
        return;
    animate(pos(), pos() + QPoint(width() / 2 + margin, 0), m_opacity->opacity(), 0.0, hideDuration,
            QEasingCurve::InCubic);
    connect(m_animation, &QAbstractAnimation::finished, this, [this]() {
        hide();
        m_presented = false;
        // Raised again while it was leaving: show it once more.
        maybePresent();
    });
    m_animation->start();
}

void FreshLaunchToast::animate(QPoint from, QPoint to, qreal fromOpacity, qreal toOpacity,
                               std::chrono::milliseconds duration, QEasingCurve::Type curve)
{
    if (m_animation) {
        m_animation->stop();
        // Later, not now: this may run from the old animation's own finished signal, and the
        // animation still reads its own state once its receivers return.
        m_animation->disconnect(this);
        m_animation->deleteLater();
    }
    m_animation = new QParallelAnimationGroup(this);
    auto *slide = new QPropertyAnimation(this, "pos", m_animation);
    slide->setStartValue(from);
    slide->setEndValue(to);
    auto *fade = new QPropertyAnimation(m_opacity, "opacity", m_animation);
    fade->setStartValue(fromOpacity);
    fade->setEndValue(toOpacity);
    for (QPropertyAnimation *part : {slide, fade}) {
        part->setDuration(static_cast<int>(duration.count()));
        part->setEasingCurve(curve);
    }
}

void FreshLaunchToast::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(Theme::border, 1));
    painter.setBrush(Theme::card);
    painter.drawRoundedRect(card, 10, 10);

    // A filled circle with a check mark cut into it.
    const QRectF symbol(paddingX, (height() - symbolSize) / 2.0, symbolSize, symbolSize);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::accent);
    painter.drawEllipse(symbol);
    QPainterPath check;
    check.moveTo(symbol.left() + symbolSize * 0.28, symbol.top() + symbolSize * 0.52);
    check.lineTo(symbol.left() + symbolSize * 0.44, symbol.top() + symbolSize * 0.68);
    check.lineTo(symbol.left() + symbolSize * 0.73, symbol.top() + symbolSize * 0.36);
    painter.setPen(QPen(Theme::card, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(check);

    painter.setPen(Theme::text);
    painter.setFont(toastFont(font()));
    const QRectF textRect(symbol.right() + gap, 0, width() - symbol.right() - gap - paddingX, height());
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, text);
}
