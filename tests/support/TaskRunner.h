#pragma once

#include <QCoro/QCoroTask>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace TestSupport {

// Runs a coroutine to completion on a nested event loop and hands back its value,
// rethrowing what it threw. QCoro's own waitFor() never returns when the task throws.
// A task still running after `timeout` fails the test with an exception. The bounds are
// generous on purpose: they only end a test that would never finish, and a sanitized build
// on a machine whose every core is busy can be twenty times slower than an idle one.
class TaskTimeout final : public std::runtime_error {
public:
    TaskTimeout() : std::runtime_error("task did not finish before the timeout") {}
};

namespace detail {
template <typename T>
struct TaskState {
    std::optional<T> value;
    std::exception_ptr error;
    bool done = false;
    QEventLoop *loop = nullptr;
};

template <>
struct TaskState<void> {
    std::exception_ptr error;
    bool done = false;
    QEventLoop *loop = nullptr;
};

template <typename T>
QCoro::Task<void> drive(QCoro::Task<T> task, std::shared_ptr<TaskState<T>> state)
{
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
        } else {
            state->value.emplace(co_await std::move(task));
        }
    } catch (...) {
        state->error = std::current_exception();
    }
    state->done = true;
    if (state->loop)
        state->loop->quit();
}
} // namespace detail

template <typename T>
T runTask(QCoro::Task<T> task, std::chrono::milliseconds timeout = std::chrono::seconds(120))
{
    auto state = std::make_shared<detail::TaskState<T>>();
    auto driver = detail::drive<T>(std::move(task), state);
    if (!state->done) {
        QEventLoop loop;
        state->loop = &loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(timeout);
        loop.exec();
        state->loop = nullptr;
    }
    if (!state->done)
        throw TaskTimeout();
    if (state->error)
        std::rethrow_exception(state->error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*state->value);
}

// Turns the event loop until `condition` holds or `timeout` passes; returns the condition.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Turns the event loop for `duration` (lets queued work and socket traffic run).
void spinFor(std::chrono::milliseconds duration);

} // namespace TestSupport
