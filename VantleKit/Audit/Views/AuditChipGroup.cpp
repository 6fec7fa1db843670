#include "AuditChipGroup.h"

#include "AuditFont.h"
#include "AuditLabel.h"
#include "AuditObjectNames.h"
#include "AuditStack.h"

#include <QVBoxLayout>

AuditChipGroup::AuditChipGroup(const QString &label, bool last, QWidget *content, QWidget *parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
    , m_label(new AuditLabel(label, AuditFont::system(14, QFont::DemiBold), AuditRole::muted, this))
    , m_last(last)
{
    m_layout->setSpacing(12);
    m_layout->setContentsMargins(0, 0, 0, last ? 0 : 26);
    m_layout->addWidget(m_label);
    connect(this, &QObject::objectNameChanged, this,
            [this] { m_label->setObjectName(AuditObjectNames::part(this, u"label")); });
    if (content)
        setContent(content);
}

void AuditChipGroup::setContent(QWidget *content)
{
    if (m_content == content)
        return;
    delete m_content.data();
    m_content = content;
    if (content)
        AuditStack::addLeading(m_layout, content);
}

void AuditChipGroup::setLast(bool last)
{
    m_last = last;
    m_layout->setContentsMargins(0, 0, 0, last ? 0 : 26);
}
