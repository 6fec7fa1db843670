#include "tools/fakes/FakeLedgerService.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>
#include <QSet>
#include <QUuid>

#include <cmath>
#include <stdexcept>

namespace Fakes {

namespace {

ScriptedAnswer jsonAnswer(int status, const QJsonObject &object)
{
    return ScriptedAnswer::json(status, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

ScriptedAnswer errorAnswer(int status, const QString &code, const QString &message = {})
{
    QJsonObject object{{QStringLiteral("error"), code}};
    if (!message.isEmpty())
        object.insert(QStringLiteral("message"), message);
    return jsonAnswer(status, object);
}

// A JSON number that is a whole number from 0 up, as the service stores positions and budgets.
bool isWholeNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    return std::isfinite(d) && d >= 0 && d == std::floor(d) && d <= 9007199254740991.0;
}

std::optional<QString> categoryProblem(const QJsonValue &value, int index, QSet<qint64> &positions)
{
    const QString at = QStringLiteral("categories[%1]").arg(index);
    if (!value.isObject())
        return at + QStringLiteral(" must be an object");
    const QJsonObject category = value.toObject();

    const QJsonValue name = category.value(QStringLiteral("name"));
    if (!name.isString() || name.toString().trimmed().isEmpty())
        return at + QStringLiteral(".name must be a non-empty string");

    const QString kind = category.value(QStringLiteral("kind")).toString();
    if (kind != QLatin1String("committed") && kind != QLatin1String("yours"))
        return at + QStringLiteral(".kind must be \"committed\" or \"yours\"");

    const QJsonValue position = category.value(QStringLiteral("position"));
    if (!isWholeNumber(position))
        return at + QStringLiteral(".position must be a whole number from 0");
    const auto positionValue = static_cast<qint64>(position.toDouble());
    if (positions.contains(positionValue))
        return at + QStringLiteral(".position repeats another category's position");
    positions.insert(positionValue);

    if (!isWholeNumber(category.value(QStringLiteral("weekly_budget_half_hours"))))
        return at + QStringLiteral(".weekly_budget_half_hours must be a whole number from 0");

    // Absent values are left out, never sent as null.
    if (category.contains(QStringLiteral("color"))) {
        static const QRegularExpression hex(QStringLiteral("^#[0-9A-Fa-f]{6}$"));
        const QJsonValue color = category.value(QStringLiteral("color"));
        if (!color.isString() || !hex.match(color.toString()).hasMatch())
            return at + QStringLiteral(".color must be \"#\" and six hexadecimal digits");
    }
    if (category.contains(QStringLiteral("icon")) && !category.value(QStringLiteral("icon")).isString())
        return at + QStringLiteral(".icon must be a string");
    return std::nullopt;
}

} // namespace

FakeLedgerService::FakeLedgerService(QObject *parent) : FakeService(parent)
{
    on(QStringLiteral("GET"), QString::fromLatin1(categoriesPath),
       [this](const RecordedRequest &request) { return getCategories(request); });
    on(QStringLiteral("POST"), QString::fromLatin1(auditPath),
       [this](const RecordedRequest &request) { return postAudit(request); });
}

QString FakeLedgerService::addCategory(const QString &name, const QString &kind, int position, bool archived)
{
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_ledgers[QString()].categories.append(QJsonObject{
        {QStringLiteral("id"), id},
        {QStringLiteral("name"), name},
        {QStringLiteral("kind"), kind},
        {QStringLiteral("position"), position},
        {QStringLiteral("archived"), archived},
    });
    return id;
}

void FakeLedgerService::failNext(const QString &method, const QString &path, int status, const QString &code)
{
    enqueue(method, path,
            code.isEmpty() ? ScriptedAnswer::json(status, QByteArrayLiteral("{}")) : errorAnswer(status, code));
}

std::optional<ScriptedAnswer> FakeLedgerService::refusal(const RecordedRequest &request, QString &account) const
{
    const QByteArray authorization = request.header("Authorization");
    static const QByteArray prefix("Bearer ");
    const bool wellFormed = authorization.startsWith(prefix) && authorization.size() > prefix.size();
    if (!wellFormed)
        return errorAnswer(401, QStringLiteral("unauthorized"));
    const QByteArray token = authorization.mid(prefix.size());
    if (m_acceptedToken && token != m_acceptedToken->toUtf8())
        return errorAnswer(401, QStringLiteral("unauthorized"));
    account.clear();
    if (m_resolveToken) {
        const std::optional<QString> owner = m_resolveToken(QString::fromUtf8(token));
        if (!owner || owner->isEmpty())
            return errorAnswer(401, QStringLiteral("unauthorized"));
        account = *owner;
    }
    return std::nullopt;
}

ScriptedAnswer FakeLedgerService::getCategories(const RecordedRequest &request) const
{
    QString account;
    if (auto refused = refusal(request, account))
        return *refused;
    return jsonAnswer(200, QJsonObject{{QStringLiteral("categories"), m_ledgers.value(account).categories}});
}

QJsonObject FakeLedgerService::saveState() const
{
    QJsonObject accounts;
    for (auto it = m_ledgers.constBegin(); it != m_ledgers.constEnd(); ++it) {
        QJsonArray audits;
        for (const QJsonObject &audit : it->audits)
            audits.append(audit);
        accounts.insert(it.key(), QJsonObject{{QStringLiteral("categories"), it->categories},
                                              {QStringLiteral("audits"), audits}});
    }
    return QJsonObject{{QStringLiteral("next_audit"), m_nextAudit}, {QStringLiteral("accounts"), accounts}};
}

void FakeLedgerService::restoreState(const QJsonObject &state)
{
    const QJsonValue next = state.value(QStringLiteral("next_audit"));
    const QJsonValue accounts = state.value(QStringLiteral("accounts"));
    if ((!next.isUndefined() && !next.isDouble()) || (!accounts.isUndefined() && !accounts.isObject()))
        throw std::runtime_error("ledger state: \"next_audit\" or \"accounts\" has the wrong type");
    QMap<QString, Ledger> ledgers;
    const QJsonObject saved = accounts.toObject();
    for (auto it = saved.begin(); it != saved.end(); ++it) {
        const QJsonObject record = it.value().toObject();
        const QJsonValue categories = record.value(QStringLiteral("categories"));
        const QJsonValue audits = record.value(QStringLiteral("audits"));
        if (!it.value().isObject() || !categories.isArray() || !audits.isArray())
            throw std::runtime_error("ledger state: an account's ledger is malformed");
        Ledger ledger;
        ledger.categories = categories.toArray();
        for (const QJsonValue &audit : audits.toArray()) {
            if (!audit.isObject())
                throw std::runtime_error("ledger state: an audit is not an object");
            ledger.audits.append(audit.toObject());
        }
        ledgers.insert(it.key(), std::move(ledger));
    }
    m_ledgers = std::move(ledgers);
    m_nextAudit = next.isUndefined() ? 1 : next.toInt();
}

std::optional<QString> FakeLedgerService::auditBodyProblem(const QByteArray &body)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return QStringLiteral("the body must be one JSON object");
    const QJsonObject object = document.object();

    struct Member {
        const char *key;
        bool (QJsonValue::*is)() const;
        const char *kind;
    };
    static const Member members[] = {
        {"answers", &QJsonValue::isObject, "an object"},
        {"derived", &QJsonValue::isObject, "an object"},
        {"sleep_hours", &QJsonValue::isDouble, "a number"},
        {"wake_time", &QJsonValue::isDouble, "a number"},
        {"timezone", &QJsonValue::isString, "a string"},
        {"categories", &QJsonValue::isArray, "an array"},
    };
    for (const Member &member : members) {
        const QString key = QString::fromLatin1(member.key);
        if (!object.contains(key))
            return QStringLiteral("\"%1\" is missing").arg(key);
        if (!(object.value(key).*member.is)())
            return QStringLiteral("\"%1\" must be %2").arg(key, QString::fromLatin1(member.kind));
    }
    if (object.value(QStringLiteral("timezone")).toString().isEmpty())
        return QStringLiteral("\"timezone\" must not be empty");

    const QJsonArray categories = object.value(QStringLiteral("categories")).toArray();
    if (categories.isEmpty())
        return QStringLiteral("\"categories\" must not be empty");
    QSet<qint64> positions;
    for (int i = 0; i < categories.size(); ++i) {
        if (auto problem = categoryProblem(categories.at(i), i, positions))
            return problem;
    }
    return std::nullopt;
}

ScriptedAnswer FakeLedgerService::postAudit(const RecordedRequest &request)
{
    QString account;
    if (auto refused = refusal(request, account))
        return *refused;
    if (auto problem = auditBodyProblem(request.body))
        return errorAnswer(400, QStringLiteral("invalid_audit"), *problem);

    const QJsonObject body = request.json().object();
    Ledger &ledger = m_ledgers[account];
    ledger.audits.append(body);

    QJsonArray created;
    for (const QJsonValue &value : body.value(QStringLiteral("categories")).toArray()) {
        QJsonObject category = value.toObject();
        category.insert(QStringLiteral("id"), QUuid::createUuid().toString(QUuid::WithoutBraces));
        category.insert(QStringLiteral("archived"), false);
        ledger.categories.append(category);
        created.append(category);
    }

    const QJsonObject audit{
        {QStringLiteral("id"), QStringLiteral("aud_%1").arg(m_nextAudit++)},
        {QStringLiteral("answers"), body.value(QStringLiteral("answers"))},
        {QStringLiteral("derived"), body.value(QStringLiteral("derived"))},
        {QStringLiteral("sleep_hours"), body.value(QStringLiteral("sleep_hours"))},
        {QStringLiteral("wake_time"), body.value(QStringLiteral("wake_time"))},
        {QStringLiteral("timezone"), body.value(QStringLiteral("timezone"))},
        {QStringLiteral("created_at"),
         QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"))},
    };
    return jsonAnswer(201, QJsonObject{{QStringLiteral("audit"), audit}, {QStringLiteral("categories"), created}});
}

} // namespace Fakes
