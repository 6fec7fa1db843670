#include "Vantle/Utilities/KeychainHelper.h"

#include <QStringDecoder>

#include <utility>

namespace {
std::shared_ptr<KeychainBackend> &slot()
{
    static std::shared_ptr<KeychainBackend> backend;
    return backend;
}

KeychainItemQuery queryFor(const QString &key)
{
    return KeychainItemQuery::genericPassword(KeychainHelper::service, key);
}
} // namespace

std::shared_ptr<KeychainBackend> KeychainHelper::keychain()
{
    auto &backend = slot();
    return backend ? backend : Keychain::system();
}

void KeychainHelper::setKeychain(std::shared_ptr<KeychainBackend> keychain)
{
    slot() = std::move(keychain);
}

KeychainHelper::Read KeychainHelper::read(const QString &key)
{
    Read read;
    QByteArray data;
    read.status = keychain()->copyMatching(queryFor(key), &data);
    if (read.status != KeychainStatus::success)
        return read;
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(data);
    if (!decoder.hasError())
        read.text = std::move(text);
    return read;
}

std::optional<QString> KeychainHelper::load(const QString &key)
{
    return read(key).text;
}

bool KeychainHelper::save(const QString &value, const QString &key)
{
    const QByteArray data = value.toUtf8();
    const auto backend = keychain();
    const auto query = queryFor(key);
    const std::int32_t updated = backend->update(query, data);
    if (updated == KeychainStatus::success)
        return true;
    if (updated != KeychainStatus::itemNotFound)
        return false;
    return backend->add(query, data) == KeychainStatus::success;
}

bool KeychainHelper::remove(const QString &key)
{
    const std::int32_t status = keychain()->remove(queryFor(key));
    return status == KeychainStatus::success || status == KeychainStatus::itemNotFound;
}
