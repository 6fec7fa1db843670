#include "AuditStack.h"

#include <QBoxLayout>
#include <QWidget>

void AuditStack::addLeading(QBoxLayout *layout, QWidget *widget)
{
    const bool grows = widget->sizePolicy().horizontalPolicy() & QSizePolicy::GrowFlag;
    if (grows)
        layout->addWidget(widget);
    else
        layout->addWidget(widget, 0, Qt::AlignLeft);
}
