#pragma once

#include <QCoreApplication>
#include <QMetaObject>

#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

// A value or an error that a callback hands to one waiting coroutine, at most once:
// the first resume wins and later ones are ignored. Copies share the same slot, so a
// callback may hold one while the coroutine awaits another. The waiting coroutine
// continues on a later turn of the event loop, never inside the callback that
// resumed it (that callback may still be in the middle of its owner's work).
template <typename T>
class OneShotContinuation final {
    // Declared first: the awaiter below names it in its signatures.
    struct Slot {
        std::optional<T> value;
        std::exception_ptr error;
        bool resumed = false;
        std::coroutine_handle<> waiter;
    };

public:
    OneShotContinuation() : m_slot(std::make_shared<Slot>()) {}

    // False when the continuation was already resumed (nothing changes then).
    bool resume(T value) { return settle(std::move(value), nullptr); }
    bool resumeThrowing(std::exception_ptr error) { return settle(std::nullopt, std::move(error)); }
    template <typename E>
    bool resumeThrowing(E error)
    {
        return resumeThrowing(std::make_exception_ptr(std::move(error)));
    }

    bool isResumed() const { return m_slot->resumed; }

    class Awaiter {
    public:
        explicit Awaiter(std::shared_ptr<Slot> slot) : m_slot(std::move(slot)) {}
        bool await_ready() const noexcept { return m_slot->resumed; }
        void await_suspend(std::coroutine_handle<> waiter) noexcept { m_slot->waiter = waiter; }
        T await_resume()
        {
            if (m_slot->error)
                std::rethrow_exception(m_slot->error);
            return std::move(*m_slot->value);
        }

    private:
        std::shared_ptr<Slot> m_slot;
    };

    Awaiter operator co_await() const { return Awaiter(m_slot); }

private:
    bool settle(std::optional<T> value, std::exception_ptr error)
    {
        if (m_slot->resumed)
            return false;
        m_slot->resumed = true;
        m_slot->value = std::move(value);
        m_slot->error = std::move(error);
        if (const std::coroutine_handle<> waiter = std::exchange(m_slot->waiter, {})) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [waiter]() { waiter.resume(); }, Qt::QueuedConnection);
        }
        return true;
    }

    std::shared_ptr<Slot> m_slot;
};
