#include "OrvalenAccount/InMemoryStorage.h"
#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/OrvalenError.h"
#include "OrvalenAccount/StoredSession.h"
#include "Platform/InMemoryKeychain.h"

#include <QUuid>

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

namespace {

using Op = InMemoryKeychain::Op;

std::optional<std::int32_t> keychainStatusOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const OrvalenError &error) {
        if (const auto *failure = error.as<OrvalenError::KeychainFailure>())
            return failure->status;
        ADD_FAILURE() << "unexpected error: " << error.what();
    }
    return std::nullopt;
}

QByteArray itemData(InMemoryKeychain &keychain, const QString &service, const QString &account,
                    std::optional<QString> group = std::nullopt)
{
    QByteArray data;
    if (keychain.copyMatching(KeychainItemQuery::genericPassword(service, account, std::move(group)), &data)
        != KeychainStatus::success)
        return QByteArray("<none>");
    return data;
}

StoredSession session(const QString &token)
{
    return StoredSession{token,
                         std::nullopt,
                         QDateTime(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC),
                         OrvalenAccount{OrvalenAccountID(QStringLiteral("oa_1")), QStringLiteral("a@example.com"), std::nullopt},
                         QStringLiteral("vantle"),
                         QDateTime(QDate(2026, 12, 6), QTime(10, 0), Qt::UTC)};
}

} // namespace

TEST(KeychainStorageTest, SessionItemOfTheApplication)
{
    auto keychain = std::make_shared<InMemoryKeychain>();
    KeychainStorage storage(QStringLiteral("vantle"), std::nullopt, keychain);
    EXPECT_EQ(storage.service(), "com.orvalen.account.vantle");
    EXPECT_EQ(KeychainStorage::Keys::session, "orvalen_session");
    EXPECT_EQ(KeychainStorage::Keys::dpopJwkThumbprint, "orvalen_dpop_jkt");
    EXPECT_EQ(KeychainStorage::Keys::oidcAuthState, "orvalen_oidc_authstate");

    storage.setJSON(session(QStringLiteral("oas_1")), KeychainStorage::Keys::session);
    EXPECT_EQ(itemData(*keychain, "com.orvalen.account.vantle", "orvalen_session"), session("oas_1").toJsonBytes());

    // A second store for the same slug sees the same item; another slug does not.
    const KeychainStorage again(QStringLiteral("vantle"), std::nullopt, keychain);
    EXPECT_EQ(again.getJSON<StoredSession>(KeychainStorage::Keys::session), session("oas_1"));
    const KeychainStorage other(QStringLiteral("other"), std::nullopt, keychain);
    EXPECT_EQ(other.getJSON<StoredSession>(KeychainStorage::Keys::session), std::nullopt);
}

TEST(KeychainStorageTest, WritingTwiceUpdatesInPlace)
{
    auto keychain = std::make_shared<InMemoryKeychain>();
    KeychainStorage storage(QStringLiteral("vantle"), std::nullopt, keychain);
    storage.setData("first", "k");
    storage.setData("second", "k");
    EXPECT_EQ(keychain->itemCount(), 1);
    EXPECT_EQ(storage.getData("k"), QByteArray("second"));
    EXPECT_EQ(keychain->callCount(Op::add), 1);
    EXPECT_EQ(keychain->callCount(Op::update), 2);
    EXPECT_EQ(keychain->callCount(Op::remove), 0) << "no delete before a write";
}

TEST(KeychainStorageTest, AccessGroupIsPartOfTheItem)
{
    auto keychain = std::make_shared<InMemoryKeychain>();
    KeychainStorage grouped(QStringLiteral("vantle"), QStringLiteral("TEAM.dev.orvalen"), keychain);
    KeychainStorage plain(QStringLiteral("vantle"), std::nullopt, keychain);
    grouped.setData("in group", "k");
    EXPECT_EQ(plain.getData("k"), std::nullopt);
    plain.setData("no group", "k");
    EXPECT_EQ(grouped.getData("k"), QByteArray("in group"));
    EXPECT_EQ(itemData(*keychain, "com.orvalen.account.vantle", "k", QStringLiteral("TEAM.dev.orvalen")), "in group");
    EXPECT_EQ(itemData(*keychain, "com.orvalen.account.vantle", "k"), "no group");
    plain.deleteData("k");
    EXPECT_EQ(grouped.getData("k"), QByteArray("in group"));
}

TEST(KeychainStorageTest, KeychainStatusesMapAsPromised)
{
    struct Case {
        const char *name;
        std::function<void(InMemoryKeychain &)> script;
        std::optional<std::int32_t> thrown; // by setData
    };
    const Case cases[] = {
        {"missing item is added", [](InMemoryKeychain &) {}, std::nullopt},
        {"racing writer added it first",
         [](InMemoryKeychain &k) {
             k.failNext(Op::update, KeychainStatus::itemNotFound);
             k.failNext(Op::add, KeychainStatus::duplicateItem);
         },
         KeychainStatus::duplicateItem},
        {"locked keyring on update", [](InMemoryKeychain &k) { k.failNext(Op::update, KeychainStatus::interactionNotAllowed); },
         KeychainStatus::interactionNotAllowed},
        {"no Secret Service", [](InMemoryKeychain &k) { k.failNext(Op::update, KeychainStatus::notAvailable); },
         KeychainStatus::notAvailable},
        {"add refused", [](InMemoryKeychain &k) {
             k.failNext(Op::update, KeychainStatus::itemNotFound);
             k.failNext(Op::add, KeychainStatus::userCanceled);
         },
         KeychainStatus::userCanceled},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto keychain = std::make_shared<InMemoryKeychain>();
        KeychainStorage storage(QStringLiteral("vantle"), std::nullopt, keychain);
        c.script(*keychain);
        EXPECT_EQ(keychainStatusOf([&] { storage.setData("v", "k"); }), c.thrown);
        EXPECT_EQ(storage.getData("k").has_value(), !c.thrown.has_value());
    }

    EXPECT_EQ(OrvalenError::keychainFailure(KeychainStatus::duplicateItem).message(), "Couldn't read your stored sign-in (-25299).");
}

TEST(KeychainStorageTest, LockedKeyringKeepsThePreviousItem)
{
    auto keychain = std::make_shared<InMemoryKeychain>();
    KeychainStorage storage(QStringLiteral("vantle"), std::nullopt, keychain);
    storage.setJSON(session(QStringLiteral("oas_old")), KeychainStorage::Keys::session);

    for (const Op op : {Op::update, Op::add, Op::copyMatching, Op::remove})
        keychain->failAlways(op, KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(keychainStatusOf([&] { storage.setJSON(session(QStringLiteral("oas_new")), KeychainStorage::Keys::session); }),
              KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(storage.getData(KeychainStorage::Keys::session), std::nullopt);
    EXPECT_EQ(storage.getJSON<StoredSession>(KeychainStorage::Keys::session), std::nullopt);
    storage.deleteData(KeychainStorage::Keys::session); // dropped silently

    for (const Op op : {Op::update, Op::add, Op::copyMatching, Op::remove})
        keychain->failAlways(op, std::nullopt);
    EXPECT_EQ(storage.getJSON<StoredSession>(KeychainStorage::Keys::session), session(QStringLiteral("oas_old")));

    // A session that cannot be encoded never replaces the stored one.
    StoredSession broken = session(QStringLiteral("oas_broken"));
    broken.expiresAt = QDateTime();
    EXPECT_THROW(storage.setJSON(broken, KeychainStorage::Keys::session), std::invalid_argument);
    EXPECT_EQ(storage.getJSON<StoredSession>(KeychainStorage::Keys::session), session(QStringLiteral("oas_old")));
}

TEST(KeychainStorageTest, ReadsAndDeletesOfMissingOrForeignItems)
{
    auto keychain = std::make_shared<InMemoryKeychain>();
    KeychainStorage storage(QStringLiteral("vantle"), std::nullopt, keychain);
    EXPECT_EQ(storage.getJSON<StoredSession>(KeychainStorage::Keys::session), std::nullopt);
    storage.deleteData(KeychainStorage::Keys::session);
    storage.deleteData(KeychainStorage::Keys::session);

    storage.setData("{\"oas\":\"only\"}", KeychainStorage::Keys::session);
    EXPECT_EQ(storage.getJSON<StoredSession>(KeychainStorage::Keys::session), std::nullopt);
    EXPECT_EQ(storage.getData(KeychainStorage::Keys::session), QByteArray("{\"oas\":\"only\"}"));
    storage.deleteData(KeychainStorage::Keys::session);
    storage.deleteData(KeychainStorage::Keys::session);
    EXPECT_EQ(storage.getData(KeychainStorage::Keys::session), std::nullopt);
    EXPECT_EQ(keychain->itemCount(), 0);
}

TEST(KeychainStorageTest, BothStoragesKeepTheSameContract)
{
    auto keychain = std::make_shared<InMemoryKeychain>();
    KeychainStorage keychainStorage(QStringLiteral("vantle"), std::nullopt, keychain);
    InMemoryStorage memoryStorage;
    for (OrvalenAccountDataStorage *storage : std::initializer_list<OrvalenAccountDataStorage *>{&keychainStorage, &memoryStorage}) {
        SCOPED_TRACE(storage == &memoryStorage ? "in memory" : "keychain");
        EXPECT_EQ(storage->getData("a"), std::nullopt);
        storage->setData(QByteArray(), "a");
        EXPECT_EQ(storage->getData("a"), QByteArray()) << "empty bytes are a value, not an absence";
        storage->setData(QByteArray("\x00\xff", 2), "a");
        storage->setData("b-value", "b");
        EXPECT_EQ(storage->getData("a"), QByteArray("\x00\xff", 2));
        storage->deleteData("a");
        EXPECT_EQ(storage->getData("a"), std::nullopt);
        EXPECT_EQ(storage->getData("b"), QByteArray("b-value"));
        storage->setJSON(session(QStringLiteral("oas_j")), KeychainStorage::Keys::session);
        EXPECT_EQ(storage->getJSON<StoredSession>(KeychainStorage::Keys::session), session(QStringLiteral("oas_j")));
    }
}

TEST(KeychainStorageTest, InMemoryStorageUnderConcurrentWriters)
{
    InMemoryStorage storage;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&storage, t] {
            for (int i = 0; i < 200; ++i) {
                const QString key = QStringLiteral("k%1-%2").arg(t).arg(i % 10);
                storage.setJSON(session(QStringLiteral("oas_%1_%2").arg(t).arg(i)), key);
                storage.getJSON<StoredSession>(key);
                if (i % 3 == 0)
                    storage.deleteData(key);
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t) {
        // i = 199 was the last write of k<t>-9 and was not deleted.
        EXPECT_EQ(storage.getJSON<StoredSession>(QStringLiteral("k%1-9").arg(t)), session(QStringLiteral("oas_%1_199").arg(t)));
    }
}

// Against the Secret Service of the session (scripts/test starts one). Outside CI a
// machine without one skips; under CI=true its absence is a failure.
TEST(KeychainStorageTest, SystemKeyringRoundTrip)
{
    const QString slug = QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    KeychainStorage storage(slug);
    QByteArray probe;
    if (Keychain::system()->copyMatching(KeychainItemQuery::genericPassword(storage.service(), QStringLiteral("probe")), &probe)
        == KeychainStatus::notAvailable) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            FAIL() << "no Secret Service reachable under CI";
        GTEST_SKIP() << "no Secret Service reachable";
    }
    storage.setJSON(session(QStringLiteral("oas_1")), KeychainStorage::Keys::session);
    storage.setJSON(session(QStringLiteral("oas_2")), KeychainStorage::Keys::session);
    const KeychainStorage again(slug);
    EXPECT_EQ(again.getJSON<StoredSession>(KeychainStorage::Keys::session), session(QStringLiteral("oas_2")));
    storage.deleteData(KeychainStorage::Keys::session);
    storage.deleteData(KeychainStorage::Keys::session);
    EXPECT_EQ(again.getData(KeychainStorage::Keys::session), std::nullopt);
}
