#include "Vantle/Services/DeviceService.h"

#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/KeychainHelper.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>
#include <QUuid>

namespace {

// This application's key for deriving identifiers from the machine identifier. Fixed for
// good: a new key would give every device a new identifier.
const QByteArray applicationKey = QByteArray::fromHex("359d873e074542c69d9308a89084a4d6");

bool isLowerCaseUuid(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("\\A[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\z"));
    return pattern.match(text).hasMatch();
}

std::optional<QByteArray> readMachineId(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The file holds 33 bytes; anything much longer is not a machine identifier.
    return file.read(256);
}

} // namespace

DeviceService::DeviceService(QObject *parent) : DeviceService(defaultMachineIdPath, parent) {}

DeviceService::DeviceService(QString machineIdPath, QObject *parent)
    : QObject(parent), m_appVersion(Constants::version())
{
    const std::optional<QString> stored = KeychainHelper::load(deviceIdKey);
    if (stored && isLowerCaseUuid(*stored)) {
        m_currentDeviceId = *stored;
        return;
    }
    std::optional<QString> derived;
    if (const std::optional<QByteArray> machineId = readMachineId(machineIdPath))
        derived = applicationSpecificId(*machineId);
    // Without a machine identifier a random one is kept in the keychain instead.
    m_currentDeviceId = derived ? *derived : QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    // When the keychain cannot take it, the next launch derives the same value again.
    KeychainHelper::save(m_currentDeviceId, deviceIdKey);
}

std::optional<QString> DeviceService::applicationSpecificId(const QByteArray &machineIdText)
{
    const QByteArray text = machineIdText.trimmed();
    static const QRegularExpression hex(QStringLiteral("\\A[0-9a-fA-F]{32}\\z"));
    if (!hex.match(QString::fromLatin1(text)).hasMatch())
        return std::nullopt;
    const QByteArray machineId = QByteArray::fromHex(text);
    if (machineId.count('\0') == machineId.size())
        return std::nullopt;
    QByteArray digest =
        QMessageAuthenticationCode::hash(applicationKey, machineId, QCryptographicHash::Sha256).left(16);
    digest[6] = static_cast<char>((static_cast<unsigned char>(digest[6]) & 0x0F) | 0x40);
    digest[8] = static_cast<char>((static_cast<unsigned char>(digest[8]) & 0x3F) | 0x80);
    return QUuid::fromRfc4122(digest).toString(QUuid::WithoutBraces).toLower();
}
