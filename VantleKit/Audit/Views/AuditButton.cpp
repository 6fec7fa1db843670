#include "AuditButton.h"

#include "AuditHover.h"

AuditButton::AuditButton(QWidget *parent)
    : QAbstractButton(parent)
    , m_hover(new AuditHover(this))
{
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_hover, &AuditHover::hoveredChanged, this, qOverload<>(&QWidget::update));
}

bool AuditButton::isHovered() const
{
    return m_hover->isHovered();
}
