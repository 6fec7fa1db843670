#pragma once

#include "OrvalenAccount/OasResponse.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QSet>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

// One running refresh that every concurrent caller waits for.
class TokenRefreshFlight final : public QObject {
    Q_OBJECT
public:
    bool done = false;
    std::optional<OasResponse> result;
    std::exception_ptr error;

Q_SIGNALS:
    void finished();
};

// Makes session refreshes single-flight: concurrent callers share one request and
// its one result, and a refresh token with which a refresh succeeded is never sent
// again in this process. Lives on the GUI thread; held in a shared_ptr.
class TokenRefresher final : public std::enable_shared_from_this<TokenRefresher> {
    struct Tag {};

public:
    using Perform = std::function<QCoro::Task<OasResponse>()>;
    // Receives the refresh token that was used and the new session, once per success,
    // before any waiter resumes.
    using OnRotated = std::function<void(const QString &usedToken, const OasResponse &response)>;

    static std::shared_ptr<TokenRefresher> create();
    explicit TokenRefresher(Tag) {}

    // The last result when `token` has already been used; else the running refresh's
    // outcome, whichever token it refreshes; else a new refresh through `perform`.
    // Throws what `perform` threw.
    QCoro::Task<OasResponse> refresh(QString token, Perform perform, OnRotated onRotated = {});

    bool isInFlight() const { return m_inFlight != nullptr; }
    bool hasConsumed(const QString &token) const { return m_consumedTokens.contains(token); }
    std::optional<OasResponse> lastResult() const { return m_lastResult; }

private:
    static QCoro::Task<void> fly(std::weak_ptr<TokenRefresher> owner, std::shared_ptr<TokenRefreshFlight> flight,
                                 QString token, Perform perform, OnRotated onRotated);

    std::shared_ptr<TokenRefreshFlight> m_inFlight;
    QSet<QString> m_consumedTokens;
    std::optional<OasResponse> m_lastResult;
};
