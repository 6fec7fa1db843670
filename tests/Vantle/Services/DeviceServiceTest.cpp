#include "Platform/InMemoryKeychain.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/KeychainHelper.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>

namespace {

const QString kDerived = QStringLiteral("dfcdd70c-9eb9-47ae-945e-8bacb29b002f");

class KeychainScope {
public:
    KeychainScope() { KeychainHelper::setKeychain(keychain); }
    ~KeychainScope() { KeychainHelper::setKeychain(nullptr); }
    std::shared_ptr<InMemoryKeychain> keychain = std::make_shared<InMemoryKeychain>();
};

QString writeMachineId(const QTemporaryDir &dir, const QByteArray &content)
{
    QFile file(dir.filePath(QStringLiteral("machine-id")));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
    return file.fileName();
}

bool isLowerCaseUuid(const QString &text)
{
    return QRegularExpression(QStringLiteral("\\A[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\\z"))
        .match(text)
        .hasMatch();
}

TEST(DeviceService, ApplicationSpecificIdentifierOfAMachine)
{
    const struct {
        const char *name;
        QByteArray machineId;
        std::optional<QString> expected; // absent: refused
    } cases[] = {
        // Computed independently: HMAC-SHA256 keyed with the machine identifier over the
        // application's key, marked as a version 4 UUID.
        {"as the file holds it", "3d1219c7c4c5404aaa1f6d2a48adfda4\n", kDerived},
        {"upper case, surrounding space", "  3D1219C7C4C5404AAA1F6D2A48ADFDA4 \n", kDerived},
        {"another machine", "00000000000000000000000000000001", QStringLiteral("e5036dda-c503-498d-a86b-d5b8f57e9f46")},
        {"all zeros", "00000000000000000000000000000000\n", std::nullopt},
        {"too short", "3d1219c7c4c5404aaa1f6d2a48adfda\n", std::nullopt},
        {"too long", "3d1219c7c4c5404aaa1f6d2a48adfda40\n", std::nullopt},
        {"in UUID form", "3d1219c7-c4c5-404a-aa1f-6d2a48adfda4\n", std::nullopt},
        {"not hexadecimal", "3d1219c7c4c5404aaa1f6d2a48adfdzz\n", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DeviceService::applicationSpecificId(c.machineId), c.expected) << c.name;
}

TEST(DeviceService, IdentifierIsKeptAcrossMachineIdChanges)
{
    enum class Stored { none, same, other, malformed };
    const struct {
        const char *name;
        Stored stored;
        QByteArray machineId; // empty: no file
        std::optional<QString> expected; // absent: a random one
    } cases[] = {
        {"first launch", Stored::none, "3d1219c7c4c5404aaa1f6d2a48adfda4\n", kDerived},
        {"later launch", Stored::same, "3d1219c7c4c5404aaa1f6d2a48adfda4\n", kDerived},
        {"machine identifier changed since", Stored::other, "00000000000000000000000000000001\n",
         QStringLiteral("0b8c1b0e-7f1a-4c3e-9d2a-5e6f7a8b9c0d")},
        {"stored value damaged", Stored::malformed, "3d1219c7c4c5404aaa1f6d2a48adfda4\n", kDerived},
        {"no machine identifier", Stored::none, QByteArray(), std::nullopt},
    };
    for (const auto &c : cases) {
        KeychainScope scope;
        QTemporaryDir dir;
        if (c.stored == Stored::same)
            KeychainHelper::save(kDerived, DeviceService::deviceIdKey);
        if (c.stored == Stored::other)
            KeychainHelper::save(QStringLiteral("0b8c1b0e-7f1a-4c3e-9d2a-5e6f7a8b9c0d"), DeviceService::deviceIdKey);
        if (c.stored == Stored::malformed)
            KeychainHelper::save(QStringLiteral("DFCDD70C-not-a-uuid"), DeviceService::deviceIdKey);
        const QString path = c.machineId.isEmpty() ? dir.filePath(QStringLiteral("missing")) : writeMachineId(dir, c.machineId);

        const DeviceService service(path);

        if (c.expected) {
            EXPECT_EQ(service.currentDeviceId(), *c.expected) << c.name;
        }
        EXPECT_TRUE(isLowerCaseUuid(service.currentDeviceId())) << c.name << " " << service.currentDeviceId().toStdString();
        EXPECT_EQ(KeychainHelper::load(DeviceService::deviceIdKey), service.currentDeviceId()) << c.name;
        // The machine's own identifier is never what leaves.
        if (!c.machineId.isEmpty()) {
            EXPECT_FALSE(service.currentDeviceId().remove(u'-').contains(QString::fromLatin1(c.machineId.trimmed())))
                << c.name;
        }
        EXPECT_EQ(service.appVersion(), Constants::version()) << c.name;
    }
}

TEST(DeviceService, WithoutAKeychainTheIdentifierIsStillStable)
{
    KeychainScope scope;
    scope.keychain->failAlways(InMemoryKeychain::Op::copyMatching, KeychainStatus::interactionNotAllowed);
    scope.keychain->failAlways(InMemoryKeychain::Op::update, KeychainStatus::interactionNotAllowed);
    scope.keychain->failAlways(InMemoryKeychain::Op::add, KeychainStatus::interactionNotAllowed);
    QTemporaryDir dir;
    const QString path = writeMachineId(dir, "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    EXPECT_EQ(DeviceService(path).currentDeviceId(), kDerived);
    EXPECT_EQ(DeviceService(path).currentDeviceId(), kDerived);
}

} // namespace
