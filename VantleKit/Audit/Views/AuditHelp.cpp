#include "AuditHelp.h"

#include "AuditFont.h"

AuditHelp::AuditHelp(const AuditTextRuns &content, QWidget *parent)
    : AuditLabel(parent)
{
    setBaseFont(AuditFont::system(15));
    setColorRole(AuditRole::muted);
    setLineSpacing(4);
    setPadding(QMargins(0, 24, 0, 0));
    setRuns(content);
}
