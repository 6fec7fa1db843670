#pragma once

#include <functional>
#include <utility>

// Keeps one state handler of the account manager registered: the handler stays for
// exactly as long as this object lives (or until cancel()). Move-only.
class OrvalenAccountStateSubscription final {
public:
    OrvalenAccountStateSubscription() = default;
    explicit OrvalenAccountStateSubscription(std::function<void()> cancel) : m_cancel(std::move(cancel)) {}
    ~OrvalenAccountStateSubscription() { cancel(); }

    OrvalenAccountStateSubscription(OrvalenAccountStateSubscription &&other) noexcept
        : m_cancel(std::exchange(other.m_cancel, {}))
    {
    }
    OrvalenAccountStateSubscription &operator=(OrvalenAccountStateSubscription &&other) noexcept
    {
        if (this != &other) {
            cancel();
            m_cancel = std::exchange(other.m_cancel, {});
        }
        return *this;
    }
    OrvalenAccountStateSubscription(const OrvalenAccountStateSubscription &) = delete;
    OrvalenAccountStateSubscription &operator=(const OrvalenAccountStateSubscription &) = delete;

    // Removes the handler now; later calls do nothing.
    void cancel()
    {
        if (auto cancel = std::exchange(m_cancel, {}))
            cancel();
    }
    bool isActive() const { return static_cast<bool>(m_cancel); }

private:
    std::function<void()> m_cancel;
};
