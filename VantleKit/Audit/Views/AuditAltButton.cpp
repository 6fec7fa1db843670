#include "AuditAltButton.h"

#include "AuditFont.h"

namespace {
QFont underlined()
{
    QFont font = AuditFont::system(14);
    font.setUnderline(true);
    return font;
}
} // namespace

AuditAltButton::AuditAltButton(const QString &title, QWidget *parent)
    : AuditTextButton(title, underlined(), QMargins(0, 8, 0, 8), {AuditRole::muted, 0.7},
                      {AuditRole::muted, 1.0}, parent)
{
}
