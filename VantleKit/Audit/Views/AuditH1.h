#pragma once

#include "AuditLabel.h"

// The heading of an audit screen: heavy 34, letter spacing -0.5, 3 between lines, `text`,
// every line shown, 14 below. Read by accessibility as a heading.
class AuditH1 final : public AuditLabel {
    Q_OBJECT
public:
    explicit AuditH1(const QString &text, QWidget *parent = nullptr);
};
