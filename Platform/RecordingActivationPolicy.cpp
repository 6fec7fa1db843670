#include "Platform/RecordingActivationPolicy.h"

RecordingActivationPolicy::RecordingActivationPolicy(Policy initial, QObject *parent)
    : ActivationPolicy(parent), m_policy(initial)
{
}

void RecordingActivationPolicy::setPolicy(Policy policy)
{
    m_calls.append(policy == Policy::regular ? QStringLiteral("policy regular") : QStringLiteral("policy accessory"));
    if (m_policy == policy)
        return;
    m_policy = policy;
    Q_EMIT policyChanged(policy);
}

void RecordingActivationPolicy::activateIgnoringOtherApps() { m_calls.append(QStringLiteral("activate")); }
