#include "OrvalenAccount/Internal/CancellationToken.h"

#include <QCoro/QCoroSignal>
#include <QTimer>

#include <chrono>
#include <cmath>

void CancellationState::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    Q_EMIT cancelled();
}

CancellationToken CancellationToken::make()
{
    CancellationToken token;
    token.m_state = std::make_shared<CancellationState>();
    return token;
}

void CancellationToken::cancel() const
{
    if (m_state)
        m_state->cancel();
}

bool CancellationToken::isCancelled() const
{
    return m_state && m_state->isCancelled();
}

QCoro::Task<void> CancellationToken::sleep(double seconds, CancellationToken cancel)
{
    if (cancel.isCancelled())
        throw CancellationError();
    if (!(seconds > 0))
        co_return;
    // The waker and the timer live in this frame, so the wait always has someone to
    // wake it: the timer, or the token's cancellation.
    CancellationState waker;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &waker, &CancellationState::cancel);
    if (CancellationState *notifier = cancel.notifier())
        QObject::connect(notifier, &CancellationState::cancelled, &waker, &CancellationState::cancel);
    const double ms = std::min(seconds * 1000.0, 24.0 * 3600.0 * 1000.0);
    timer.start(std::chrono::milliseconds(std::max<long long>(1, std::llround(ms))));
    co_await qCoro(&waker, &CancellationState::cancelled);
    if (cancel.isCancelled())
        throw CancellationError();
}
