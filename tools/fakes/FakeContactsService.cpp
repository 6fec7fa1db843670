#include "tools/fakes/FakeContactsService.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <stdexcept>

namespace Fakes {

namespace {
ScriptedAnswer unauthorized()
{
    return ScriptedAnswer::json(401, R"({"error":"unauthorized"})");
}

std::optional<QString> bearerOf(const RecordedRequest &request)
{
    const QByteArray authorization = request.header("Authorization");
    if (!authorization.startsWith("Bearer ") || authorization.size() <= 7)
        return std::nullopt;
    return QString::fromUtf8(authorization.mid(7));
}
} // namespace

FakeContactsService::FakeContactsService(QObject *parent) : FakeService(parent)
{
    on(QStringLiteral("GET"), mePath, [this](const RecordedRequest &r) { return me(r); });
    on(QStringLiteral("POST"), capturePath, [this](const RecordedRequest &r) { return capture(r); });
}

std::optional<QString> FakeContactsService::contactOf(const RecordedRequest &request) const
{
    const std::optional<QString> bearer = bearerOf(request);
    if (!bearer)
        return std::nullopt;
    if (!m_resolve)
        return QString();
    return m_resolve(*bearer);
}

ScriptedAnswer FakeContactsService::me(const RecordedRequest &request) const
{
    const std::optional<QString> contact = contactOf(request);
    if (!contact)
        return unauthorized();
    QStringList joined = m_subscriptions.value(*contact).values();
    std::sort(joined.begin(), joined.end());
    QJsonArray lists;
    for (const QString &slug : joined)
        lists.append(QJsonObject{{QStringLiteral("list_slug"), slug}, {QStringLiteral("state"), QStringLiteral("subscribed")}});
    return ScriptedAnswer::json(200, QJsonDocument(QJsonObject{{QStringLiteral("lists"), lists}}).toJson(QJsonDocument::Compact));
}

ScriptedAnswer FakeContactsService::capture(const RecordedRequest &request)
{
    const std::optional<QString> contact = contactOf(request);
    if (!contact)
        return unauthorized();
    const QJsonDocument document = request.json();
    const QJsonObject body = document.object();
    const QStringList required{QStringLiteral("email"),         QStringLiteral("list_slug"),
                               QStringLiteral("source_type"),   QStringLiteral("consent_method"),
                               QStringLiteral("consent_text"),  QStringLiteral("consent_version")};
    bool complete = document.isObject();
    for (const QString &key : required)
        complete = complete && body.value(key).isString() && !body.value(key).toString().isEmpty();
    if (!complete)
        return ScriptedAnswer::json(400, R"({"error":"invalid_body"})");
    m_captures.append(body);
    m_subscriptions[*contact].insert(body.value(QStringLiteral("list_slug")).toString());
    return ScriptedAnswer::json(200, R"({"ok":true})");
}

QJsonObject FakeContactsService::saveState() const
{
    QJsonObject contacts;
    for (auto it = m_subscriptions.constBegin(); it != m_subscriptions.constEnd(); ++it) {
        QStringList joined = it.value().values();
        std::sort(joined.begin(), joined.end());
        contacts.insert(it.key(), QJsonArray::fromStringList(joined));
    }
    return QJsonObject{{QStringLiteral("subscriptions"), contacts}};
}

void FakeContactsService::restoreState(const QJsonObject &state)
{
    const QJsonValue saved = state.value(QStringLiteral("subscriptions"));
    if (!saved.isUndefined() && !saved.isObject())
        throw std::runtime_error("contacts state: \"subscriptions\" is not an object");
    QHash<QString, QSet<QString>> subscriptions;
    const QJsonObject contacts = saved.toObject();
    for (auto it = contacts.begin(); it != contacts.end(); ++it) {
        if (!it.value().isArray())
            throw std::runtime_error("contacts state: a contact's lists are not an array");
        for (const QJsonValue &slug : it.value().toArray()) {
            if (!slug.isString())
                throw std::runtime_error("contacts state: a list slug is not text");
            subscriptions[it.key()].insert(slug.toString());
        }
    }
    m_subscriptions = subscriptions;
}

} // namespace Fakes
