#include "OrvalenAccount/OrvalenInstallMetrics.h"

#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/OrvalenConfig.h"

#include <QStringDecoder>
#include <QUuid>

#include <mutex>

namespace OrvalenInstallMetrics {
namespace {

std::mutex &lock()
{
    static std::mutex instance;
    return instance;
}

std::shared_ptr<KeychainBackend> &replacement()
{
    static std::shared_ptr<KeychainBackend> instance;
    return instance;
}

QString newIdentifier()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// The stored text, or nothing when the bytes are empty or not UTF-8.
std::optional<QString> decode(const QByteArray &data)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(data);
    if (utf8.hasError() || text.isEmpty())
        return std::nullopt;
    return text;
}

} // namespace

std::shared_ptr<KeychainBackend> keychain()
{
    const std::lock_guard guard(lock());
    return replacement() ? replacement() : Keychain::system();
}

void setKeychain(std::shared_ptr<KeychainBackend> keychain)
{
    const std::lock_guard guard(lock());
    replacement() = std::move(keychain);
}

QString installID(const QString &appSlug)
{
    return installID(appSlug, keychain());
}

QString installID(const QString &appSlug, const std::shared_ptr<KeychainBackend> &keychain)
{
    if (!keychain)
        return newIdentifier();
    // One process makes at most one identifier per slug at a time.
    const std::lock_guard guard(lock());
    const auto query = KeychainItemQuery::genericPassword(KeychainStorage::serviceFor(appSlug), installIDKey);

    QByteArray stored;
    const std::int32_t read = keychain->copyMatching(query, &stored);
    if (read == KeychainStatus::success) {
        if (auto text = decode(stored))
            return *text;
        // An item that holds no identifier is replaced in place.
        const QString fresh = newIdentifier();
        keychain->update(query, fresh.toUtf8());
        return fresh;
    }
    // A keychain that cannot be read now may still hold the identifier: writing a new
    // one would replace it for good, so this call's identifier is not stored.
    if (read != KeychainStatus::itemNotFound)
        return newIdentifier();

    const QString fresh = newIdentifier();
    const std::int32_t added = keychain->add(query, fresh.toUtf8());
    if (added == KeychainStatus::duplicateItem) {
        // Another process stored one meanwhile; both go on with that one.
        QByteArray theirs;
        if (keychain->copyMatching(query, &theirs) == KeychainStatus::success) {
            if (auto text = decode(theirs))
                return *text;
        }
    }
    return fresh;
}

} // namespace OrvalenInstallMetrics

OrvalenConfig OrvalenConfig::withAutoInstallID() const
{
    OrvalenConfig copy = *this;
    if (!copy.installID)
        copy.installID = OrvalenInstallMetrics::installID(appSlug);
    return copy;
}
