#pragma once

#include <QCoro/QCoroTask>
#include <QObject>

#include <exception>
#include <memory>

// Thrown when the work a caller asked for was cancelled before it finished.
class CancellationError final : public std::exception {
public:
    const char *what() const noexcept override { return "cancelled"; }
};

// The shared flag behind a cancellation token; cancelled() fires once, when cancel() first runs.
class CancellationState final : public QObject {
    Q_OBJECT
public:
    bool isCancelled() const { return m_cancelled; }
    void cancel();

Q_SIGNALS:
    void cancelled();

private:
    bool m_cancelled = false;
};

// A caller's handle for cancelling a request it started. Copies share one flag.
// A default-constructed token can never be cancelled.
class CancellationToken final {
public:
    CancellationToken() = default;
    static CancellationToken make();

    void cancel() const;
    bool isCancelled() const;
    // Fires cancelled() when the token is cancelled; null for a token that never can be.
    CancellationState *notifier() const { return m_state.get(); }

    // Waits `seconds` on the event loop (returns at once for 0 or less); throws
    // CancellationError when the token is or becomes cancelled meanwhile.
    static QCoro::Task<void> sleep(double seconds, CancellationToken cancel);

private:
    std::shared_ptr<CancellationState> m_state;
};
