#pragma once

#include "AuditTextButton.h"

// A secondary action: the title underlined in regular 14, `muted` at 70 % (full under the
// pointer), 8 above and below.
class AuditAltButton final : public AuditTextButton {
    Q_OBJECT
public:
    explicit AuditAltButton(const QString &title, QWidget *parent = nullptr);
};
