#pragma once

#include "AuditTextButton.h"

// The way back: the title in regular 15, `muted` (`text` under the pointer), 10 above and below.
class AuditBackButton final : public AuditTextButton {
    Q_OBJECT
public:
    explicit AuditBackButton(const QString &title, QWidget *parent = nullptr);
};
