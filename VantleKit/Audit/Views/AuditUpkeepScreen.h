#pragma once

#include "AuditScreenView.h"

#include <chrono>

class AuditChips;
class AuditHelp;
class AuditPrimaryButton;

// Question 3: upkeep hours a day. Picking a chip moves on to the people question by itself
// a moment later.
class AuditUpkeepScreen final : public AuditScreenView {
    Q_OBJECT
public:
    // How long after a pick the people question follows.
    static constexpr std::chrono::milliseconds autoAdvanceDelay{240};

    explicit AuditUpkeepScreen(AuditStore *store, QWidget *parent = nullptr);

protected:
    void sync() override;

private:
    AuditChips *m_upkeep;
    AuditHelp *m_help;
    AuditPrimaryButton *m_next;
};
