#include "AuditQSub.h"

#include "AuditFont.h"

AuditQSub::AuditQSub(const QString &text, QWidget *parent)
    : AuditLabel(text, AuditFont::system(17), AuditRole::muted, parent)
{
    setLineSpacing(5);
    setMaxTextWidth(620);
    setPadding(QMargins(0, 0, 0, 30));
}
