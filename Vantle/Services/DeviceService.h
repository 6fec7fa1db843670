#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

// This device's stable identifier and the application's version, resolved once when the
// service is built. The identifier is a lower-case UUID derived from the machine's
// identifier with a key of this application's own (the machine identifier itself never
// leaves this class), and kept in the keychain, so it stays the same when the machine
// identifier changes later (a re-imaged system, a cloned virtual machine).
class DeviceService final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString currentDeviceId READ currentDeviceId CONSTANT)
    Q_PROPERTY(QString appVersion READ appVersion CONSTANT)

public:
    // The application's keychain item (KeychainHelper) holding the identifier.
    static inline const QString deviceIdKey = QStringLiteral("vantle.deviceId");
    static inline const QString defaultMachineIdPath = QStringLiteral("/etc/machine-id");

    explicit DeviceService(QObject *parent = nullptr);
    // `machineIdPath`: where the machine identifier is read; tests point elsewhere.
    explicit DeviceService(QString machineIdPath, QObject *parent = nullptr);

    QString currentDeviceId() const { return m_currentDeviceId; }
    // The application's short version.
    QString appVersion() const { return m_appVersion; }

    // The application-specific identifier for a machine identifier (32 hexadecimal
    // digits, as in /etc/machine-id, surrounding white space ignored): HMAC-SHA256 keyed
    // with the machine identifier's 16 bytes over this application's 16-byte key, cut to
    // 16 bytes and marked as a random (version 4) UUID, the convention of systemd's
    // application-specific machine identifiers. Nothing for anything else, or all zeros.
    static std::optional<QString> applicationSpecificId(const QByteArray &machineIdText);

private:
    QString m_currentDeviceId;
    QString m_appVersion;
};
