#include "OrvalenAccount/Internal/TokenRefresher.h"

#include <QCoro/QCoroSignal>

std::shared_ptr<TokenRefresher> TokenRefresher::create()
{
    return std::make_shared<TokenRefresher>(Tag{});
}

QCoro::Task<OasResponse> TokenRefresher::refresh(QString token, Perform perform, OnRotated onRotated)
{
    const std::shared_ptr<TokenRefresher> self = shared_from_this();

    // Copies: QCoro's co_return of an lvalue moves from it, which would empty the shared result.
    if (m_consumedTokens.contains(token) && m_lastResult)
        co_return OasResponse(*m_lastResult);

    // The flight is registered before it starts, so a caller arriving while it runs
    // finds it and waits instead of sending its own request.
    std::shared_ptr<TokenRefreshFlight> flight = m_inFlight;
    if (!flight) {
        flight = std::make_shared<TokenRefreshFlight>();
        m_inFlight = flight;
        fly(weak_from_this(), flight, token, std::move(perform), std::move(onRotated));
    }
    if (!flight->done)
        co_await qCoro(flight.get(), &TokenRefreshFlight::finished);
    if (flight->error)
        std::rethrow_exception(flight->error);
    co_return OasResponse(*flight->result);
}

QCoro::Task<void> TokenRefresher::fly(std::weak_ptr<TokenRefresher> owner, std::shared_ptr<TokenRefreshFlight> flight,
                                      QString token, Perform perform, OnRotated onRotated)
{
    try {
        OasResponse response = co_await perform();
        if (onRotated) {
            try {
                onRotated(token, response);
            } catch (...) {
                // The refresh itself succeeded; keeping the new session is the hook's business.
            }
        }
        flight->result = std::move(response);
    } catch (...) {
        flight->error = std::current_exception();
    }
    if (const std::shared_ptr<TokenRefresher> refresher = owner.lock()) {
        if (flight->result) {
            refresher->m_consumedTokens.insert(token);
            refresher->m_lastResult = flight->result;
        }
        if (refresher->m_inFlight == flight)
            refresher->m_inFlight.reset();
    }
    flight->done = true;
    Q_EMIT flight->finished();
}
