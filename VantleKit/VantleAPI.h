#pragma once

#include "VantleKit/VantAPIError.h"
#include "VantleKit/VantAuditCategoryInput.h"
#include "VantleKit/VantAuditRecord.h"
#include "VantleKit/VantCategory.h"
#include "VantleKit/VantJSONValue.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QNetworkReply>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class QNetworkAccessManager;
class OrvalenAccountDataStorage;

// No answer came back from the ledger service: refused, reset, timed out, or the body
// broke off. Distinct from VantAPIError, which always carries the service's own status.
class VantTransportError final : public std::runtime_error {
public:
    VantTransportError(QNetworkReply::NetworkError error, const QString &detail);
    QNetworkReply::NetworkError error() const { return m_error; }

private:
    QNetworkReply::NetworkError m_error;
};

// A successful answer whose body is not what the ledger service sends.
class VantDecodingError final : public std::runtime_error {
public:
    explicit VantDecodingError(const QString &detail);
};

// REST client of the ledger service. Every request presents the stored session's token,
// read afresh for each request so that a sign-in, refresh or sign-out is seen at once.
// Requests in flight hold what they need themselves: the client may be destroyed while
// one is suspended.
class VantleAPI final {
public:
    // Returns the session token, or nothing when no session is stored.
    using SessionTokenReader = std::function<std::optional<QString>()>;

    static constexpr std::chrono::seconds requestTimeout{30};

    // `serviceBase` is the ledger service's base address (Deployment::ledgerURL() in the
    // application); the requests go to it followed by "/api/v1". The session token is the
    // stored session's in `storage` (in the application a KeychainStorage for the slug
    // "vantle"), key "orvalen_session". `network` is the application's shared manager;
    // it is not owned.
    VantleAPI(QUrl serviceBase, std::shared_ptr<const OrvalenAccountDataStorage> storage,
              QNetworkAccessManager *network);
    VantleAPI(QUrl serviceBase, SessionTokenReader sessionToken, QNetworkAccessManager *network);

    // The token of the session stored in `storage`; nothing when none is stored or it
    // cannot be read.
    static std::optional<QString> storedSessionToken(const OrvalenAccountDataStorage &storage);
    ~VantleAPI();

    VantleAPI(const VantleAPI &) = delete;
    VantleAPI &operator=(const VantleAPI &) = delete;

    // The service base address followed by "/api/v1".
    QUrl baseURL() const;

    // GET "/categories".
    QCoro::Task<QList<VantCategory>> categories();

    // POST "/audit" with all six members; returns the stored audit when the answer has one.
    // Any 2xx answer is a success, whatever its body: a record that does not decode is
    // logged as a warning (category "vantle.ledger") and returned as nothing.
    QCoro::Task<std::optional<VantAuditRecord>> postAudit(VantJSONValue answers, VantJSONValue derived,
                                                          double sleepHours, double wakeTime,
                                                          QString timezone,
                                                          QList<VantAuditCategoryInput> categories);

    struct Context;

private:
    std::shared_ptr<const Context> m_context;
};
