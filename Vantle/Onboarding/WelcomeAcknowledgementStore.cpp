#include "Vantle/Onboarding/WelcomeAcknowledgementStore.h"

#include "Platform/Preferences.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "Vantle/Utilities/Log.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace WelcomeAcknowledgementStore {

namespace {
QStringList keepAccountIDs(const QStringList &ids)
{
    QStringList kept;
    for (const QString &id : ids) {
        const QString normalised = normalise(id);
        if (isAccountID(normalised))
            kept.append(normalised);
    }
    return kept;
}
} // namespace

QString normalise(const QString &id)
{
    return id.trimmed().toLower();
}

bool isAccountID(const QString &normalisedID)
{
    return normalisedID.startsWith(QLatin1String("oa_"));
}

QStringList decodeIDs(const QString &text)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return {};
    QStringList ids;
    for (const QJsonValue &value : document.array()) {
        // One element of another type makes the whole text unreadable, not just that element.
        if (!value.isString())
            return {};
        ids.append(value.toString());
    }
    return keepAccountIDs(ids);
}

bool saveIDs(const QStringList &ids)
{
    const QByteArray json = QJsonDocument(QJsonArray::fromStringList(ids)).toJson(QJsonDocument::Compact);
    if (!KeychainHelper::save(QString::fromUtf8(json), key))
        return false;
    Preferences::standard().remove(key);
    return true;
}

namespace {

// The stored list; nothing when the keychain could not be read (a locked keyring, no
// Secret Service). Only a missing item is an empty list: a list written over one that
// could not be read would lose every account it held.
std::optional<QStringList> readIDs()
{
    const KeychainHelper::Read stored = KeychainHelper::read(key);
    if (stored.status == KeychainStatus::success)
        return decodeIDs(stored.text.value_or(QString()));
    if (stored.status != KeychainStatus::itemNotFound) {
        Log(QStringLiteral("onboarding"))
            .emit(QStringLiteral("error"),
                  QStringLiteral("welcomed_accounts_read_failed error=") + KeychainStatus::describe(stored.status));
        return std::nullopt;
    }

    Preferences &preferences = Preferences::standard();
    const QStringList legacy = keepAccountIDs(preferences.stringListValue(key));
    if (legacy.isEmpty()) {
        // Nothing worth keeping: the old value can go.
        preferences.remove(key);
        return QStringList();
    }
    // saveIDs removes the old copy once the keychain holds the list; if it could not be
    // written the copy stays, to be moved on a later read.
    saveIDs(legacy);
    return legacy;
}

} // namespace

QStringList loadIDs()
{
    return readIDs().value_or(QStringList());
}

void acknowledge(const QString &id)
{
    const QString normalised = normalise(id);
    if (!isAccountID(normalised))
        return;
    std::optional<QStringList> ids = readIDs();
    // Unreadable: this account goes unrecorded (at worst it is welcomed again) rather than
    // the stored ones being replaced by it.
    if (!ids || ids->contains(normalised))
        return;
    ids->append(normalised);
    saveIDs(*ids);
}

} // namespace WelcomeAcknowledgementStore
