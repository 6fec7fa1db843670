#include "AuditDivider.h"

#include "AuditPalette.h"

#include <QPainter>

AuditDivider::AuditDivider(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(1);
}

void AuditDivider::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), AuditPalette::of(this).elevated);
}
