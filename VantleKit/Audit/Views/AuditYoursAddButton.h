#pragma once

#include "AuditDashedButton.h"

// "+ Add another": adds a row to the yours step.
class AuditYoursAddButton final : public AuditDashedButton {
    Q_OBJECT
public:
    explicit AuditYoursAddButton(QWidget *parent = nullptr);
};
