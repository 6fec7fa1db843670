#include "OrvalenAccount/UI/OrvalenProviderButton.h"

#include "Platform/ApplicationFont.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int kHeight = 40;
constexpr qreal kRadius = 9;

QFont titleFont()
{
    return ApplicationFont::sized(14, QFont::DemiBold);
}

struct Look {
    QColor fill;
    QColor text;
    QColor border; // transparent: none
};

Look lookOf(OAuthDriver::ProviderHint provider, const OrvalenProviderButtonStyle &style)
{
    using P = OAuthDriver::ProviderHint;
    const bool dark = style.isDark();
    switch (provider) {
    case P::apple:
        return dark ? Look{Qt::white, Qt::black, Qt::transparent} : Look{Qt::black, Qt::white, Qt::transparent};
    case P::google:
        return dark ? Look{QColor(255, 255, 255, 14), style.text(), style.hairline()}
                    : Look{Qt::white, style.text(), style.hairline()};
    case P::email:
        break;
    }
    return Look{style.accent(), style.onAccent(), Qt::transparent};
}
} // namespace

OrvalenProviderButton::OrvalenProviderButton(ProviderHint provider, OrvalenProviderButtonStyle style, QWidget *parent)
    : PaintedButton(parent)
    , m_provider(provider)
    , m_style(style)
{
    setText(title(provider));
    setAccessibleName(text());
    setObjectName(QStringLiteral("provider-") + toRaw(provider));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(kHeight);
}

QString OrvalenProviderButton::title(ProviderHint provider)
{
    switch (provider) {
    case ProviderHint::apple:
        return QStringLiteral("Sign in with Apple");
    case ProviderHint::google:
        return QStringLiteral("Sign in with Google");
    case ProviderHint::email:
        break;
    }
    return QStringLiteral("Continue with email");
}

void OrvalenProviderButton::setButtonStyle(const OrvalenProviderButtonStyle &style)
{
    if (m_style == style)
        return;
    m_style = style;
    update();
}

void OrvalenProviderButton::setOpacity(qreal opacity)
{
    if (qFuzzyCompare(m_opacity, opacity))
        return;
    m_opacity = opacity;
    update();
}

QSize OrvalenProviderButton::sizeHint() const
{
    const QFontMetrics metrics(titleFont());
    return QSize(metrics.horizontalAdvance(text()) + 48, kHeight);
}

QSize OrvalenProviderButton::minimumSizeHint() const
{
    return sizeHint();
}

void OrvalenProviderButton::paintEvent(QPaintEvent *)
{
    const Look look = lookOf(m_provider, m_style);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);

    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(box, kRadius, kRadius);
    QColor fill = look.fill;
    if (isEnabled() && (isDown() || isHovered()))
        fill = isDown() ? fill.darker(112) : (m_style.isDark() ? fill.lighter(108) : fill.darker(104));
    painter.fillPath(shape, fill);
    if (look.border.alpha() > 0) {
        painter.setPen(QPen(look.border, 1));
        painter.drawPath(shape);
    }
    if (hasKeyboardFocus()) {
        // An accent ring vanishes on the accent-filled button: that one gets a ring of its
        // text colour, inside its edge.
        if (look.fill.rgb() == m_style.accent().rgb()) {
            painter.setPen(QPen(look.text, 1.5));
            painter.drawRoundedRect(QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5), kRadius - 3, kRadius - 3);
        } else {
            painter.setPen(QPen(m_style.accent(), 2));
            painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), kRadius, kRadius);
        }
    }
    painter.setPen(look.text);
    painter.setFont(titleFont());
    painter.drawText(rect(), Qt::AlignCenter, text());
}
