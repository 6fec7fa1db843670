#pragma once

#include "AuditScreenView.h"

class AuditChips;
class AuditPrimaryButton;

// Question 4: hours a week with family and friends; "See my week →" opens the dashboard.
class AuditFamilyScreen final : public AuditScreenView {
    Q_OBJECT
public:
    explicit AuditFamilyScreen(AuditStore *store, QWidget *parent = nullptr);

protected:
    void sync() override;

private:
    AuditChips *m_family;
    AuditPrimaryButton *m_next;
};
