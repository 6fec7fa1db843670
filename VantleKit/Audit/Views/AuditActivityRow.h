#pragma once

#include "VantleKit/Audit/AuditActivity.h"

#include <QWidget>

class AuditLabel;
class AuditRemoveButton;

// One activity on the dashboard: its swatch, its name in semibold 16 over the detail line
// "3× (1h + ½h in and out) = 4½h" in regular 13, and a remove button at the trailing edge;
// 16 above and below.
class AuditActivityRow final : public QWidget {
    Q_OBJECT
public:
    explicit AuditActivityRow(QWidget *parent = nullptr);

    void setActivity(const AuditActivity &activity);
    // "3× (1h + ½h in and out) = 4½h".
    static QString detail(const AuditActivity &activity);

    AuditLabel *nameLabel() const { return m_name; }
    AuditLabel *detailLabel() const { return m_detail; }
    AuditRemoveButton *removeButton() const { return m_remove; }

Q_SIGNALS:
    void removeClicked();

private:
    void nameParts();

    AuditLabel *m_name;
    AuditLabel *m_detail;
    AuditRemoveButton *m_remove;
};
