#include "AuditYoursAddButton.h"

AuditYoursAddButton::AuditYoursAddButton(QWidget *parent)
    : AuditDashedButton(QStringLiteral("+ Add another"), parent)
{
}
