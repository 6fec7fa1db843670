#pragma once

#include "AuditLabel.h"

// The help sentence at the foot of a card: the caller's runs in regular 15, `muted` (runs may
// set their own weight and colour), 4 between lines, 24 above.
class AuditHelp final : public AuditLabel {
    Q_OBJECT
public:
    explicit AuditHelp(const AuditTextRuns &content = {}, QWidget *parent = nullptr);
};
