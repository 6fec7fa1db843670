#pragma once

#include "Platform/ActivationPolicy.h"

#include <QStringList>

// An activation policy that only remembers: for tests. Every call is kept in order as
// "policy regular", "policy accessory" or "activate".
class RecordingActivationPolicy final : public ActivationPolicy {
    Q_OBJECT
public:
    explicit RecordingActivationPolicy(Policy initial = Policy::accessory, QObject *parent = nullptr);

    Policy policy() const override { return m_policy; }
    void setPolicy(Policy policy) override;
    void activateIgnoringOtherApps() override;

    QStringList calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }

private:
    Policy m_policy;
    QStringList m_calls;
};
