#include "AuditActions.h"

#include <QHBoxLayout>

AuditActions::AuditActions(QWidget *leading, QWidget *trailing, QWidget *parent)
    : QWidget(parent)
    , m_layout(new QHBoxLayout(this))
    , m_leading(leading)
    , m_trailing(trailing)
{
    m_layout->setContentsMargins(0, 34, 0, 0);
    m_layout->setSpacing(18);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    rebuild();
}

void AuditActions::setLeading(QWidget *leading)
{
    if (m_leading == leading)
        return;
    delete m_leading.data();
    m_leading = leading;
    rebuild();
}

void AuditActions::setTrailing(QWidget *trailing)
{
    if (m_trailing == trailing)
        return;
    delete m_trailing.data();
    m_trailing = trailing;
    rebuild();
}

void AuditActions::rebuild()
{
    while (QLayoutItem *item = m_layout->takeAt(0))
        delete item;
    if (m_leading)
        m_layout->addWidget(m_leading, 0, Qt::AlignVCenter);
    // The room between the sides is one of the row's children, 18 from each neighbour; the
    // box layout puts no spacing next to a spacer, so the spacer carries that 18 itself.
    const int room = (m_leading || m_trailing) ? m_layout->spacing() : 0;
    m_layout->addSpacerItem(new QSpacerItem(room, 0, QSizePolicy::MinimumExpanding, QSizePolicy::Minimum));
    if (m_trailing)
        m_layout->addWidget(m_trailing, 0, Qt::AlignVCenter);
}
