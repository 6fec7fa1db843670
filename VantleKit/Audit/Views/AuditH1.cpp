#include "AuditH1.h"

#include "AuditFont.h"

AuditH1::AuditH1(const QString &text, QWidget *parent)
    : AuditLabel(text, AuditFont::system(34, QFont::ExtraBold), AuditRole::text, parent)
{
    setLetterSpacing(-0.5);
    setLineSpacing(3);
    setPadding(QMargins(0, 0, 0, 14));
    setAccessibleRole(QAccessible::Heading);
}
