#pragma once

#include "AuditLabel.h"

// The sub-heading under a screen's heading: regular 17, 5 between lines, `muted`, wrapping
// at no more than 620 (set at the leading edge), 30 below.
class AuditQSub final : public AuditLabel {
    Q_OBJECT
public:
    explicit AuditQSub(const QString &text, QWidget *parent = nullptr);
};
