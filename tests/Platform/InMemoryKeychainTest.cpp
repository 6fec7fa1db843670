#include "Platform/InMemoryKeychain.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Op = InMemoryKeychain::Op;

KeychainItemQuery password(const char *account, std::optional<QString> group = std::nullopt)
{
    return KeychainItemQuery::genericPassword(QStringLiteral("com.orvalen.account.vantle"),
                                              QString::fromUtf8(account), std::move(group));
}

struct Step {
    std::function<std::int32_t(InMemoryKeychain &)> call;
    std::int32_t status;
};

struct SemanticsCase {
    std::string name;
    std::vector<Step> steps;
    int items;
};

std::int32_t read(InMemoryKeychain &keychain, const KeychainItemQuery &query, QByteArray expected)
{
    QByteArray data("untouched");
    const std::int32_t status = keychain.copyMatching(query, &data);
    if (status == KeychainStatus::success)
        EXPECT_EQ(data, expected);
    else
        EXPECT_EQ(data, QByteArray("untouched"));
    return status;
}

TEST(InMemoryKeychain, SemanticsTable)
{
    const QByteArray binary("a\0b\xff", 4);
    const std::vector<SemanticsCase> cases = {
        {"add then read", {
            {[](auto &k) { return k.add(password("s"), "one"); }, KeychainStatus::success},
            {[](auto &k) { return read(k, password("s"), "one"); }, KeychainStatus::success},
        }, 1},
        {"read missing", {
            {[](auto &k) { return read(k, password("s"), {}); }, KeychainStatus::itemNotFound},
        }, 0},
        {"duplicate add keeps the first data", {
            {[](auto &k) { return k.add(password("s"), "one"); }, KeychainStatus::success},
            {[](auto &k) { return k.add(password("s"), "two"); }, KeychainStatus::duplicateItem},
            {[](auto &k) { return read(k, password("s"), "one"); }, KeychainStatus::success},
        }, 1},
        {"update missing adds nothing", {
            {[](auto &k) { return k.update(password("s"), "one"); }, KeychainStatus::itemNotFound},
        }, 0},
        {"update replaces", {
            {[](auto &k) { return k.add(password("s"), "one"); }, KeychainStatus::success},
            {[](auto &k) { return k.update(password("s"), "two"); }, KeychainStatus::success},
            {[](auto &k) { return read(k, password("s"), "two"); }, KeychainStatus::success},
        }, 1},
        {"remove then read and remove again", {
            {[](auto &k) { return k.add(password("s"), "one"); }, KeychainStatus::success},
            {[](auto &k) { return k.remove(password("s")); }, KeychainStatus::success},
            {[](auto &k) { return read(k, password("s"), {}); }, KeychainStatus::itemNotFound},
            {[](auto &k) { return k.remove(password("s")); }, KeychainStatus::itemNotFound},
        }, 0},
        {"accounts are separate", {
            {[](auto &k) { return k.add(password("a"), "A"); }, KeychainStatus::success},
            {[](auto &k) { return k.add(password("b"), "B"); }, KeychainStatus::success},
            {[](auto &k) { return read(k, password("a"), "A"); }, KeychainStatus::success},
        }, 2},
        {"services are separate", {
            {[](auto &k) { return k.add(password("a"), "A"); }, KeychainStatus::success},
            {[](auto &k) { return k.add(KeychainItemQuery::genericPassword("other", "a"), "O"); },
             KeychainStatus::success},
            {[](auto &k) { return read(k, password("a"), "A"); }, KeychainStatus::success},
        }, 2},
        {"access group is part of the identity only when set", {
            {[](auto &k) { return k.add(password("a"), "none"); }, KeychainStatus::success},
            {[](auto &k) { return k.add(password("a", QStringLiteral("g1")), "g1"); }, KeychainStatus::success},
            {[](auto &k) { return k.add(password("a", QStringLiteral("g2")), "g2"); }, KeychainStatus::success},
            {[](auto &k) { return read(k, password("a"), "none"); }, KeychainStatus::success},
            {[](auto &k) { return read(k, password("a", QStringLiteral("g1")), "g1"); }, KeychainStatus::success},
            {[](auto &k) { return k.remove(password("a", QStringLiteral("g2"))); }, KeychainStatus::success},
            {[](auto &k) { return read(k, password("a", QStringLiteral("g2")), {}); }, KeychainStatus::itemNotFound},
        }, 2},
        {"key items never match passwords", {
            {[](auto &k) { return k.add(KeychainItemQuery::key("tag"), "key"); }, KeychainStatus::success},
            {[](auto &k) { return k.add(password("tag"), "pw"); }, KeychainStatus::success},
            {[](auto &k) { return read(k, KeychainItemQuery::key("tag"), "key"); }, KeychainStatus::success},
            {[](auto &k) { return k.add(KeychainItemQuery::key("tag"), "again"); }, KeychainStatus::duplicateItem},
            {[](auto &k) { return read(k, KeychainItemQuery::key("other"), {}); }, KeychainStatus::itemNotFound},
        }, 2},
        {"binary data survives", {
            {[binary](auto &k) { return k.add(password("bin"), binary); }, KeychainStatus::success},
            {[binary](auto &k) { return read(k, password("bin"), binary); }, KeychainStatus::success},
        }, 1},
        {"malformed queries", {
            {[](auto &k) { return k.add(KeychainItemQuery::genericPassword({}, "a"), "x"); }, KeychainStatus::param},
            {[](auto &k) { return k.add(KeychainItemQuery::key({}), "x"); }, KeychainStatus::param},
            {[](auto &k) { return k.remove(KeychainItemQuery::key({})); }, KeychainStatus::param},
        }, 0},
    };
    for (const SemanticsCase &c : cases) {
        SCOPED_TRACE(c.name);
        InMemoryKeychain keychain;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            EXPECT_EQ(c.steps[i].call(keychain), c.steps[i].status);
        }
        EXPECT_EQ(keychain.itemCount(), c.items);
    }
}

TEST(InMemoryKeychain, ForcedStatusesQueueBeforeTheStandingOneAndTouchNothing)
{
    InMemoryKeychain keychain;
    keychain.failNext(Op::add, KeychainStatus::interactionNotAllowed);
    keychain.failNext(Op::add, KeychainStatus::notAvailable);
    EXPECT_EQ(keychain.add(password("a"), "x"), KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(keychain.add(password("a"), "x"), KeychainStatus::notAvailable);
    EXPECT_EQ(keychain.itemCount(), 0);
    EXPECT_EQ(keychain.add(password("a"), "x"), KeychainStatus::success);

    keychain.failAlways(Op::copyMatching, KeychainStatus::userCanceled);
    keychain.failNext(Op::copyMatching, KeychainStatus::internalComponent);
    QByteArray data;
    EXPECT_EQ(keychain.copyMatching(password("a"), &data), KeychainStatus::internalComponent);
    EXPECT_EQ(keychain.copyMatching(password("a"), &data), KeychainStatus::userCanceled);
    EXPECT_EQ(keychain.copyMatching(password("a"), &data), KeychainStatus::userCanceled);
    EXPECT_TRUE(data.isEmpty());
    keychain.failAlways(Op::copyMatching, std::nullopt);
    EXPECT_EQ(keychain.copyMatching(password("a"), &data), KeychainStatus::success);
    EXPECT_EQ(data, "x");

    // A forced status of one operation leaves the others alone, even a forced success.
    keychain.failNext(Op::remove, KeychainStatus::success);
    EXPECT_EQ(keychain.update(password("a"), "y"), KeychainStatus::success);
    EXPECT_EQ(keychain.remove(password("a")), KeychainStatus::success);
    EXPECT_EQ(keychain.itemCount(), 1);

    EXPECT_EQ(keychain.callCount(Op::add), 3);
    EXPECT_EQ(keychain.callCount(Op::copyMatching), 4);
    EXPECT_EQ(keychain.callCount(Op::update), 1);
    EXPECT_EQ(keychain.callCount(Op::remove), 1);
}

} // namespace
