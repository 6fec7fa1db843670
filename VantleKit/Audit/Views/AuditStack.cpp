#include "AuditStack.h"

#include <QBoxLayout>
#include <QVBoxLayout>
#include <QWidget>

void AuditStack::addLeading(QBoxLayout *layout, QWidget *widget)
{
    const bool grows = widget->sizePolicy().horizontalPolicy() & QSizePolicy::GrowFlag;
    if (grows)
        layout->addWidget(widget);
    else
        layout->addWidget(widget, 0, Qt::AlignLeft);
}

QWidget *AuditStack::roomAbove(QWidget *content, int top)
{
    auto *wrapper = new QWidget;
    auto *column = new QVBoxLayout(wrapper);
    column->setContentsMargins(0, top, 0, 0);
    column->setSpacing(0);
    column->addWidget(content);
    return wrapper;
}
