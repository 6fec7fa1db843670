#pragma once

#include "VantleKit/Audit/AuditScreen.h"

#include <QPointer>
#include <QWidget>

class AuditBackButton;
class AuditStore;
class QVBoxLayout;

// What every screen of the audit shares: the store it reads and acts through, and its
// column, a leading-aligned vertical stack with no spacing (the components carry their own
// paddings). A screen holds no copy of the audit: sync() shows the store's state again, and
// runs after every change the store announces.
class AuditScreenView : public QWidget {
    Q_OBJECT
public:
    // Nothing once the store is gone (the flow that owns it is being torn down).
    AuditStore *store() const;

protected:
    AuditScreenView(AuditStore *store, QWidget *parent);

    // Adds `widget` to the column: one that can grow sideways takes the column's width, one of
    // fixed width stays at the leading edge.
    void add(QWidget *widget);
    QVBoxLayout *column() const { return m_column; }

    // The foot row's way back: `title`, named `name`, showing `target` when pressed.
    AuditBackButton *backButton(const QString &title, AuditScreen target, const QString &name) const;

    // Shows the store's state. Screens call it once at the end of their constructor.
    virtual void sync() = 0;

private:
    QPointer<AuditStore> m_store;
    QVBoxLayout *m_column;
};
