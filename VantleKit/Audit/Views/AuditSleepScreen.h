#pragma once

#include "AuditScreenView.h"

class AuditChips;
class AuditHelp;
class AuditLabel;
class AuditPrimaryButton;

// Question 1: hours of sleep a night and the time the user is up, with the waking week they
// leave. The footer the flow passes (the web fallback in the application) stands last.
class AuditSleepScreen final : public AuditScreenView {
    Q_OBJECT
public:
    AuditSleepScreen(AuditStore *store, QWidget *footer = nullptr, QWidget *parent = nullptr);

    QWidget *footer() const { return m_footer; }

protected:
    void sync() override;

private:
    AuditChips *m_sleep;
    AuditChips *m_wake;
    AuditHelp *m_help;
    AuditPrimaryButton *m_next;
    QWidget *m_footer;
};
