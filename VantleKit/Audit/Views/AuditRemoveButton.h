#pragma once

#include "AuditTextButton.h"

// Removes a row: the multiplication sign "×" in regular 19, `muted` at 60 % (`danger` under
// the pointer), padding 10 sideways and 6 above and below. `label` is what accessibility reads.
class AuditRemoveButton final : public AuditTextButton {
    Q_OBJECT
public:
    explicit AuditRemoveButton(const QString &label, QWidget *parent = nullptr);
};
