#pragma once

#include "tools/fakes/FakeService.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

namespace Fakes {

// A loopback stand-in for the ledger service: the category list and the audit
// submission under "/api/v1", with the service's bearer-token check.
//
//   GET  /api/v1/categories  -> 200 {"categories": [...]}
//   POST /api/v1/audit       -> 201 {"audit": {...}} after checking the body strictly;
//                               creates the categories it lists, so a later GET returns them
//
// Answers queued with enqueue()/failNext() take precedence over these routes, so a test
// can script an error for one request and let the next one through.
//
// Without a token resolver the service holds one ledger for whoever calls; with one
// (the local stack asks the identity service), each account has its own ledger and a
// token that names no live session is refused.
class FakeLedgerService : public FakeService {
    Q_OBJECT
public:
    static constexpr const char *categoriesPath = "/api/v1/categories";
    static constexpr const char *auditPath = "/api/v1/audit";

    explicit FakeLedgerService(QObject *parent = nullptr);

    // The service's base address as the application is given it (no "/api/v1").
    QUrl ledgerURL() const { return baseUrl(); }

    // The account a session token belongs to; nothing when the token is not live.
    using TokenResolver = std::function<std::optional<QString>(const QString &token)>;

    // When set, only "Bearer <token>" is accepted; otherwise any non-empty bearer token is.
    // A refused request gets 401 {"error":"unauthorized"}.
    void setAcceptedToken(const QString &token) { m_acceptedToken = token; }
    void setTokenResolver(TokenResolver resolver) { m_resolveToken = std::move(resolver); }

    // The categories the service holds, in the wire form ("weekly_budget_half_hours", ...),
    // for one account ("": the one ledger of a service without a token resolver).
    QJsonArray categories(const QString &account = {}) const { return m_ledgers.value(account).categories; }
    void setCategories(const QJsonArray &categories) { m_ledgers[QString()].categories = categories; }
    // Adds one category and returns its id.
    QString addCategory(const QString &name, const QString &kind, int position, bool archived = false);

    // Every accepted audit body, in order of arrival.
    QList<QJsonObject> audits(const QString &account = {}) const { return m_ledgers.value(account).audits; }

    // Every account's categories and audits.
    QJsonObject saveState() const override;
    void restoreState(const QJsonObject &state) override;

    // The next request to (method, path) answers `status` with {"error": code},
    // or with no "error" member when `code` is empty.
    void failNext(const QString &method, const QString &path, int status, const QString &code);

    // Why a body would be refused, or nothing when the service accepts it.
    // The rules follow what the service enforces on an audit submission.
    static std::optional<QString> auditBodyProblem(const QByteArray &body);

private:
    struct Ledger {
        QJsonArray categories;
        QList<QJsonObject> audits;
    };
    // The account whose ledger the request may use, or the refusal to send.
    std::optional<ScriptedAnswer> refusal(const RecordedRequest &request, QString &account) const;
    ScriptedAnswer getCategories(const RecordedRequest &request) const;
    ScriptedAnswer postAudit(const RecordedRequest &request);

    std::optional<QString> m_acceptedToken;
    TokenResolver m_resolveToken;
    QMap<QString, Ledger> m_ledgers;
    int m_nextAudit = 1;
};

} // namespace Fakes
