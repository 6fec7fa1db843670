#include "AuditRevealNumber.h"

#include "AuditFont.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {
QFont numberFont()
{
    QFont font = AuditFont::mono(92, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -1.5);
    return font;
}
} // namespace

AuditRevealNumber::AuditRevealNumber(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void AuditRevealNumber::setText(const QString &text)
{
    if (m_text == text)
        return;
    m_text = text;
    setAccessibleName(text);
    update();
}

void AuditRevealNumber::setColorRole(AuditRole role)
{
    if (m_role == role)
        return;
    m_role = role;
    update();
}

QSize AuditRevealNumber::sizeHint() const
{
    const QFontMetricsF metrics(numberFont());
    // Wide enough for "−168½" without depending on the text shown now.
    return QSize(int(std::ceil(metrics.horizontalAdvance(QStringLiteral("\u2212168\u00BD")))),
                 int(std::ceil(metrics.height())));
}

QSize AuditRevealNumber::minimumSizeHint() const
{
    return QSize(0, sizeHint().height());
}

void AuditRevealNumber::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(numberFont());
    painter.setPen(AuditPalette::of(this).role(m_role));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, m_text);
}
