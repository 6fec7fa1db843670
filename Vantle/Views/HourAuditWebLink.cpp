#include "Vantle/Views/HourAuditWebLink.h"

#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/Theme.h"

#include "Platform/UrlOpener.h"
#include "VantleKit/Audit/Views/AuditFont.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {
const QString kLead = QStringLiteral("Prefer the web? ");
const QString kLink = QStringLiteral("Open the Hour Audit in your browser");

QFont plainFont()
{
    return AuditFont::system(13);
}

QFont linkFont()
{
    QFont font = plainFont();
    font.setUnderline(true);
    return font;
}
} // namespace

HourAuditWebLink::HourAuditWebLink(QWidget *parent)
    : AuditButton(parent)
{
    setText(kLead + kLink);
    connect(this, &HourAuditWebLink::clicked, this, [] { UrlOpener::open(Constants::API::auditURL()); });
}

QSize HourAuditWebLink::sizeHint() const
{
    const QFontMetricsF lead(plainFont()), link(linkFont());
    return QSize(int(std::ceil(lead.horizontalAdvance(kLead) + link.horizontalAdvance(kLink))),
                 int(std::ceil(std::max(lead.height(), link.height()))));
}

void HourAuditWebLink::paintEvent(QPaintEvent *)
{
    const QFontMetricsF lead(plainFont());
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // With the keyboard's focus the line takes the audit's ink, underline and all.
    painter.setPen(hasKeyboardFocus() ? colors().accentInk : Theme::muted);
    const qreal baseline = (height() - lead.height()) / 2.0 + lead.ascent();
    painter.setFont(plainFont());
    painter.drawText(QPointF(0, baseline), kLead);
    painter.setFont(linkFont());
    painter.drawText(QPointF(lead.horizontalAdvance(kLead), baseline), kLink);
}
