#include "Platform/ActivationPolicy.h"

#include "Platform/QtActivationPolicy.h"

namespace {
std::shared_ptr<ActivationPolicy> &current()
{
    static std::shared_ptr<ActivationPolicy> layer;
    return layer;
}
} // namespace

ActivationPolicy::ActivationPolicy(QObject *parent) : QObject(parent) {}
ActivationPolicy::~ActivationPolicy() = default;

ActivationPolicy &ActivationPolicy::shared()
{
    auto &layer = current();
    if (!layer)
        layer = std::make_shared<QtActivationPolicy>();
    return *layer;
}

void ActivationPolicy::setShared(std::shared_ptr<ActivationPolicy> layer) { current() = std::move(layer); }
