#include "Vantle/Onboarding/WelcomeAcknowledgementStore.h"

#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "Vantle/Utilities/LogCenter.h"

#include <gtest/gtest.h>

#include <QVariant>

#include <memory>
#include <optional>

namespace {

namespace Store = WelcomeAcknowledgementStore;

const QString kID = QStringLiteral("oa_01890a5d-ac96-774b-bcce-b302099a8057");
const QString kOther = QStringLiteral("oa_01890a5d-ac96-774b-bcce-b302099a8058");
constexpr std::int32_t kIOError = -36;

// A fresh in-memory keychain and preferences for each test, restored afterwards.
class WelcomeStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_keychain = std::make_shared<InMemoryKeychain>();
        m_preferences = std::make_shared<InMemoryPreferences>();
        KeychainHelper::setKeychain(m_keychain);
        Preferences::setStandard(m_preferences);
    }
    void TearDown() override
    {
        KeychainHelper::setKeychain(nullptr);
        Preferences::setStandard(nullptr);
    }

    std::optional<QString> stored() const { return KeychainHelper::load(Store::key); }
    bool hasLegacy() const { return m_preferences->contains(Store::key); }
    void setLegacy(const QStringList &ids) { m_preferences->setValue(Store::key, ids); }

    std::shared_ptr<InMemoryKeychain> m_keychain;
    std::shared_ptr<InMemoryPreferences> m_preferences;
};

TEST_F(WelcomeStore, StoredTextDecodesToNormalisedAccountIDs)
{
    const struct {
        const char *name;
        QString text;
        QStringList ids;
    } cases[] = {
        {"compact array", QStringLiteral(R"(["%1"])").arg(kID), {kID}},
        {"padded upper case", QStringLiteral(R"([" %1\n"])").arg(kID.toUpper()), {kID}},
        {"foreign ids dropped, order kept", QStringLiteral(R"(["%1","usr_1","%2"])").arg(kOther, kID), {kOther, kID}},
        {"duplicates kept as stored", QStringLiteral(R"(["%1","%1"])").arg(kID), {kID, kID}},
        {"not JSON", QStringLiteral("oa_1,oa_2"), {}},
        {"an object", QStringLiteral(R"({"ids":["%1"]})").arg(kID), {}},
        {"a number among the strings", QStringLiteral(R"(["%1",7])").arg(kID), {}},
        {"empty text", QString(), {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Store::decodeIDs(c.text), c.ids);
    }
}

TEST_F(WelcomeStore, AcknowledgingNormalisesAndStoresEachAccountOnce)
{
    const struct {
        const char *name;
        QString id;
        QStringList after;
    } steps[] = {
        {"padded upper case", QStringLiteral("  %1\n").arg(kID.toUpper()), {kID}},
        {"again, other spacing", QStringLiteral("\t%1 ").arg(kID), {kID}},
        {"without the prefix", QStringLiteral("usr_123"), {kID}},
        {"prefix in upper case counts", QStringLiteral("OA_X"), {kID, QStringLiteral("oa_x")}},
        {"empty", QString(), {kID, QStringLiteral("oa_x")}},
        {"a second account", kOther, {kID, QStringLiteral("oa_x"), kOther}},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.name);
        Store::acknowledge(s.id);
        EXPECT_EQ(Store::loadIDs(), s.after);
    }
    EXPECT_EQ(stored(), QStringLiteral(R"(["%1","oa_x","%2"])").arg(kID, kOther));
}

TEST_F(WelcomeStore, AnUnreadableItemIsReplacedByTheNextAcknowledgement)
{
    KeychainHelper::save(QStringLiteral("{broken"), Store::key);
    setLegacy({kOther});
    EXPECT_TRUE(Store::loadIDs().isEmpty()) << "a present item wins over the old preferences copy";
    Store::acknowledge(kID);
    EXPECT_EQ(stored(), QStringLiteral(R"(["%1"])").arg(kID));
}

TEST_F(WelcomeStore, TheOldPreferencesListMovesToTheKeychain)
{
    const struct {
        const char *name;
        QStringList legacy;
        bool keychainWrites;
        QStringList loaded;
        std::optional<QString> storedAfter;
        bool legacyKept;
    } cases[] = {
        {"one valid among others", {QStringLiteral(" %1 ").arg(kID.toUpper()), QStringLiteral("usr_1")}, true, {kID},
         QStringLiteral(R"(["%1"])").arg(kID), false},
        {"nothing valid", {QStringLiteral("usr_1"), QString()}, true, {}, std::nullopt, false},
        {"no list at all", {}, true, {}, std::nullopt, false},
        // The keychain refuses the write: the old copy is the only one left, so it stays.
        {"keychain refuses", {kID}, false, {kID}, std::nullopt, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        if (!c.legacy.isEmpty())
            setLegacy(c.legacy);
        if (!c.keychainWrites) {
            m_keychain->failAlways(InMemoryKeychain::Op::add, kIOError);
            m_keychain->failAlways(InMemoryKeychain::Op::update, kIOError);
        }
        EXPECT_EQ(Store::loadIDs(), c.loaded);
        EXPECT_EQ(stored(), c.storedAfter);
        EXPECT_EQ(hasLegacy(), c.legacyKept);
    }
}

TEST_F(WelcomeStore, AFailedWriteKeepsTheOldListForTheNextLaunch)
{
    setLegacy({kOther});
    m_keychain->failAlways(InMemoryKeychain::Op::add, kIOError);
    m_keychain->failAlways(InMemoryKeychain::Op::update, kIOError);
    Store::acknowledge(kID);
    EXPECT_TRUE(hasLegacy()) << "the only copy of the welcomed accounts must survive a failed save";

    // The keychain works again: the next acknowledgement carries both over.
    m_keychain->failAlways(InMemoryKeychain::Op::add, std::nullopt);
    m_keychain->failAlways(InMemoryKeychain::Op::update, std::nullopt);
    Store::acknowledge(kID);
    EXPECT_EQ(Store::loadIDs(), (QStringList{kOther, kID}));
    EXPECT_FALSE(hasLegacy());
}


// A keyring that cannot be read (locked, its service gone) is not an empty list: nothing is
// written over the accounts it holds, nor is the old preferences copy moved or removed.
TEST_F(WelcomeStore, AListThatCannotBeReadIsNeverWrittenOver)
{
    for (const std::int32_t status : {KeychainStatus::interactionNotAllowed, KeychainStatus::notAvailable}) {
        SCOPED_TRACE(status);
        SetUp();
        ASSERT_TRUE(LogCenter::shared().drain());
        LogCenter::shared().ring().clear();
        const QString before = QStringLiteral(R"(["%1"])").arg(kOther);
        KeychainHelper::save(before, Store::key);
        setLegacy({kOther});
        m_keychain->failNext(InMemoryKeychain::Op::copyMatching, status);
        Store::acknowledge(kID);
        m_keychain->failNext(InMemoryKeychain::Op::copyMatching, status);
        EXPECT_TRUE(Store::loadIDs().isEmpty()) << "routing reads nothing it can trust";

        EXPECT_EQ(stored(), before);
        EXPECT_TRUE(hasLegacy());
        ASSERT_TRUE(LogCenter::shared().drain());
        const QString line = QStringLiteral("welcomed_accounts_read_failed error=") + KeychainStatus::describe(status);
        int logged = 0;
        for (const LogRecord &record : LogCenter::shared().ring().snapshot())
            logged += record.category == QLatin1String("onboarding") && record.message == line;
        EXPECT_EQ(logged, 2);
        // Readable again: the account is recorded beside the others.
        Store::acknowledge(kID);
        EXPECT_EQ(Store::loadIDs(), (QStringList{kOther, kID}));
    }
}

} // namespace
