#pragma once

#include "AuditScreenView.h"

#include <QList>
#include <QPair>

class AuditDivider;
class AuditH1;
class AuditLabel;
class AuditPrimaryButton;
class AuditYoursAddButton;
class AuditYoursRow;
class QVBoxLayout;

// The last step: what the hours left over are for. One to five named rows with their hours
// a week, a line that says how much is still unclaimed (or that the rows ask too much),
// and "Start tracking", which sends the whole audit once. A failed submission shows its code
// in a box under the rows and the button turns into "Try again"; the answers stay.
class AuditYoursScreen final : public AuditScreenView {
    Q_OBJECT
public:
    explicit AuditYoursScreen(AuditStore *store, QWidget *parent = nullptr);

    // The status line for the store's current rows, and the role it is drawn in.
    static QPair<QString, bool> statusText(const AuditStore &store);

protected:
    void sync() override;

private:
    void syncRows();
    void addRow();
    void submit();

    AuditH1 *m_title;
    QVBoxLayout *m_rowsLayout;
    QList<QPair<AuditDivider *, AuditYoursRow *>> m_rows;
    QWidget *m_add;
    AuditLabel *m_status;
    QWidget *m_errorBox;
    AuditLabel *m_error;
    AuditPrimaryButton *m_submit;
};
