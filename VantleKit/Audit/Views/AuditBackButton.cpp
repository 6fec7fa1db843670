#include "AuditBackButton.h"

#include "AuditFont.h"

AuditBackButton::AuditBackButton(const QString &title, QWidget *parent)
    : AuditTextButton(title, AuditFont::system(15), QMargins(0, 10, 0, 10), {AuditRole::muted, 1.0},
                      {AuditRole::text, 1.0}, parent)
{
}
