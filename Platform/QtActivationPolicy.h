#pragma once

#include "Platform/ActivationPolicy.h"

// The activation policy over Qt's windows (see ActivationPolicy for the mapping).
// Starts regular, like any desktop application; the shell chooses otherwise at launch.
class QtActivationPolicy final : public ActivationPolicy {
    Q_OBJECT
public:
    explicit QtActivationPolicy(QObject *parent = nullptr);

    Policy policy() const override { return m_policy; }
    void setPolicy(Policy policy) override;
    void activateIgnoringOtherApps() override;

private:
    Policy m_policy = Policy::regular;
};
