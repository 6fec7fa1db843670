#include "OrvalenAccount/OrvalenConfig.h"
#include "OrvalenAccount/OrvalenInstallMetrics.h"
#include "Platform/InMemoryKeychain.h"

#include <QUuid>

#include <gtest/gtest.h>

namespace {

using Op = InMemoryKeychain::Op;

const KeychainItemQuery vantleItem =
    KeychainItemQuery::genericPassword(QStringLiteral("com.orvalen.account.vantle"), QStringLiteral("orvalen_install_id"));

QByteArray stored(InMemoryKeychain &keychain, const KeychainItemQuery &query = vantleItem)
{
    QByteArray data;
    return keychain.copyMatching(query, &data) == KeychainStatus::success ? data : QByteArray("<none>");
}

bool isUuid(const QString &text)
{
    return !QUuid::fromString(text).isNull() && !text.startsWith(QLatin1Char('{'));
}

// Points withAutoInstallID() at an in-memory keychain for one test.
class InstallMetricsTest : public ::testing::Test {
protected:
    void SetUp() override { OrvalenInstallMetrics::setKeychain(keychain); }
    void TearDown() override { OrvalenInstallMetrics::setKeychain(nullptr); }

    std::shared_ptr<InMemoryKeychain> keychain = std::make_shared<InMemoryKeychain>();
};

} // namespace

TEST_F(InstallMetricsTest, CreatedOnceAndKeptPerSlug)
{
    const QString first = OrvalenInstallMetrics::installID(QStringLiteral("vantle"));
    EXPECT_TRUE(isUuid(first)) << first.toStdString();
    EXPECT_EQ(stored(*keychain), first.toUtf8());
    EXPECT_EQ(OrvalenInstallMetrics::installID(QStringLiteral("vantle")), first);
    EXPECT_EQ(OrvalenInstallMetrics::installID(QStringLiteral("vantle"), keychain), first);
    EXPECT_EQ(keychain->callCount(Op::add), 1);

    const QString other = OrvalenInstallMetrics::installID(QStringLiteral("other"));
    EXPECT_NE(other, first);
    EXPECT_EQ(keychain->itemCount(), 2);
}

TEST_F(InstallMetricsTest, StoredIdentifierSurvivesKeychainTrouble)
{
    ASSERT_EQ(keychain->add(vantleItem, "kept-id"), KeychainStatus::success);

    struct Case {
        const char *name;
        std::function<void(InMemoryKeychain &)> script;
        bool answersStored;
    };
    const Case cases[] = {
        {"plain read", [](InMemoryKeychain &) {}, true},
        // A locked keyring: this call gets an identifier of its own; nothing is overwritten.
        {"locked on read", [](InMemoryKeychain &k) { k.failNext(Op::copyMatching, KeychainStatus::interactionNotAllowed); }, false},
        {"no Secret Service", [](InMemoryKeychain &k) { k.failNext(Op::copyMatching, KeychainStatus::notAvailable); }, false},
        // The read missed an item another process had just added: its identifier wins.
        {"read raced an add", [](InMemoryKeychain &k) { k.failNext(Op::copyMatching, KeychainStatus::itemNotFound); }, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.script(*keychain);
        const QString id = OrvalenInstallMetrics::installID(QStringLiteral("vantle"));
        EXPECT_EQ(id == QLatin1String("kept-id"), c.answersStored);
        EXPECT_FALSE(id.isEmpty());
        EXPECT_EQ(stored(*keychain), "kept-id");
        EXPECT_EQ(keychain->itemCount(), 1);
    }
}

TEST_F(InstallMetricsTest, UnusableStoredValueIsReplaced)
{
    for (const QByteArray &bad : {QByteArray(), QByteArray("\xff\xfe\x80")}) {
        SCOPED_TRACE(bad.toHex().toStdString());
        keychain->remove(vantleItem);
        ASSERT_EQ(keychain->add(vantleItem, bad), KeychainStatus::success);
        const QString id = OrvalenInstallMetrics::installID(QStringLiteral("vantle"));
        EXPECT_TRUE(isUuid(id));
        EXPECT_EQ(stored(*keychain), id.toUtf8());
        EXPECT_EQ(OrvalenInstallMetrics::installID(QStringLiteral("vantle")), id);
    }
}

TEST_F(InstallMetricsTest, WithAutoInstallIDFillsOnlyAnAbsentIdentifier)
{
    OrvalenConfig config;
    config.identityURL = QUrl(QStringLiteral("https://id.example.com"));
    config.appSlug = QStringLiteral("vantle");
    config.clientID = QStringLiteral("vantle");
    config.scopes = {QStringLiteral("orvalen.account")};
    config.keychainAccessGroup = QStringLiteral("group");
    config.logger = [](OrvalenLogLevel, const QString &, const OrvalenLogFields &) {};

    EXPECT_FALSE(config.installID.has_value());
    const OrvalenConfig filled = config.withAutoInstallID();
    EXPECT_FALSE(config.installID.has_value()) << "the original stays as it was";
    ASSERT_TRUE(filled.installID.has_value());
    EXPECT_EQ(filled.installID->toUtf8(), stored(*keychain));
    const int reads = keychain->callCount(Op::copyMatching);
    EXPECT_EQ(filled.withAutoInstallID().installID, filled.installID);
    EXPECT_EQ(filled.identityURL, config.identityURL);
    EXPECT_EQ(filled.appSlug, config.appSlug);
    EXPECT_EQ(filled.scopes, config.scopes);
    EXPECT_EQ(filled.keychainAccessGroup, config.keychainAccessGroup);
    EXPECT_TRUE(static_cast<bool>(filled.logger));

    OrvalenConfig given = config;
    given.installID = QStringLiteral("dev_given");
    EXPECT_EQ(given.withAutoInstallID().installID, QStringLiteral("dev_given"));
    OrvalenConfig empty = config;
    empty.installID = QString();
    EXPECT_EQ(empty.withAutoInstallID().installID, QString()) << "a present identifier stays, even an empty one";
    EXPECT_EQ(keychain->callCount(Op::copyMatching), reads) << "a present identifier is not looked up";
}
