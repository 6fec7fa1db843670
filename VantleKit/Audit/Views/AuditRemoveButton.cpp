#include "AuditRemoveButton.h"

#include "AuditFont.h"

AuditRemoveButton::AuditRemoveButton(const QString &label, QWidget *parent)
    : AuditTextButton(QStringLiteral("\u00D7"), AuditFont::system(19), QMargins(10, 6, 10, 6),
                      {AuditRole::muted, 0.6}, {AuditRole::danger, 1.0}, parent)
{
    setAccessibleName(label);
}
