#pragma once

#include "tools/fakes/FakeService.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

namespace Fakes {

// The marketing-contacts service on loopback:
//
//   GET  /api/v1/contacts/me?app=<slug>  -> 200 {"lists": [{"list_slug", "state"}, ...]}:
//                                           "subscribed" for every list this contact joined
//   POST /api/v1/contacts/capture        -> 200 {"ok": true} for a complete capture body;
//                                           400 {"error": "invalid_body"} otherwise
//
// Both want a bearer token (401 {"error": "unauthorized"} without one). Who the contact
// is comes from the resolver (the local stack asks the identity fake whose session the
// token is); without one every token is the same contact. Tests script other answers
// with enqueue()/on().
class FakeContactsService : public FakeService {
    Q_OBJECT
public:
    static inline const QString mePath = QStringLiteral("/api/v1/contacts/me");
    static inline const QString capturePath = QStringLiteral("/api/v1/contacts/capture");

    // The contact a bearer token stands for; nothing for a token it does not know.
    using ContactResolver = std::function<std::optional<QString>(const QString &bearer)>;

    explicit FakeContactsService(QObject *parent = nullptr);

    void setContactResolver(ContactResolver resolver) { m_resolve = std::move(resolver); }

    // Every accepted capture body, in order of arrival.
    QList<QJsonObject> captures() const { return m_captures; }

    QJsonObject saveState() const override;
    void restoreState(const QJsonObject &state) override;

private:
    std::optional<QString> contactOf(const RecordedRequest &request) const;
    ScriptedAnswer me(const RecordedRequest &request) const;
    ScriptedAnswer capture(const RecordedRequest &request);

    ContactResolver m_resolve;
    QList<QJsonObject> m_captures;
    QHash<QString, QSet<QString>> m_subscriptions; // contact -> list slugs joined
};

} // namespace Fakes
