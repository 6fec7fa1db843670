#include "AuditScreenView.h"

#include "AuditBackButton.h"
#include "AuditStack.h"

#include "VantleKit/Audit/AuditStore.h"

#include <QVBoxLayout>

AuditScreenView::AuditScreenView(AuditStore *store, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
    , m_column(new QVBoxLayout(this))
{
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(0);
    const auto resync = [this] {
        if (m_store)
            sync();
    };
    connect(store, &AuditStore::stateChanged, this, resync);
    connect(store, &AuditStore::isSubmittingChanged, this, resync);
    connect(store, &AuditStore::submitErrorChanged, this, resync);
}

AuditStore *AuditScreenView::store() const
{
    return m_store.data();
}

void AuditScreenView::add(QWidget *widget)
{
    AuditStack::addLeading(m_column, widget);
}

AuditBackButton *AuditScreenView::backButton(const QString &title, AuditScreen target, const QString &name) const
{
    auto *back = new AuditBackButton(title);
    back->setObjectName(name);
    AuditStore *store = m_store.data();
    connect(back, &AuditBackButton::clicked, store, [store, target] { store->show(target); });
    return back;
}
