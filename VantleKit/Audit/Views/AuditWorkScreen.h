#pragma once

#include "AuditScreenView.h"

#include "AuditTextRun.h"

struct QuizAnswers;
class AuditAltButton;
class AuditBackButton;
class AuditChipGroup;
class AuditChips;
class AuditHelp;
class AuditPrimaryButton;

// Question 2: the workdays, and either the times out the door and back home or, working
// from home, the hours a day; or the flat 45-hour week penciled in.
class AuditWorkScreen final : public AuditScreenView {
    Q_OBJECT
public:
    explicit AuditWorkScreen(AuditStore *store, QWidget *parent = nullptr);

    // The help sentence for these answers, `days` workdays and `away` hours door to door.
    static AuditTextRuns helpText(const QuizAnswers &s, int days, double away);

protected:
    void sync() override;

private:
    AuditChips *m_days;
    AuditChipGroup *m_leaveGroup;
    AuditChips *m_leave;
    AuditChipGroup *m_backGroup;
    AuditChips *m_back;
    AuditChipGroup *m_wfhHoursGroup;
    AuditChips *m_wfhHours;
    AuditHelp *m_help;
    AuditAltButton *m_wfh;
    AuditPrimaryButton *m_next;
};
