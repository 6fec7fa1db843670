#include "Platform/PrefetchedKeychain.h"

#include "Platform/InMemoryKeychain.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

KeychainItemQuery item(const char *account)
{
    return KeychainItemQuery::genericPassword(QStringLiteral("dev.orvalen.vantle"), QString::fromUtf8(account));
}

// A read ahead is answered once from memory, and never after the item changed: start-up
// must not act on a session or an identifier that is no longer what the keychain holds.
TEST(PrefetchedKeychain, ReadsAheadAreAnsweredOnceAndNeverStale)
{
    using Op = InMemoryKeychain::Op;
    const struct {
        const char *name;
        // Between the read ahead and the read: on the keychain wrapped, or through the wrapper.
        std::function<void(InMemoryKeychain &inner, PrefetchedKeychain &keychain)> meanwhile;
        std::int32_t status;
        QByteArray data;
        int innerReads; // by the read itself
    } cases[] = {
        {"nothing changed: from memory", [](InMemoryKeychain &, PrefetchedKeychain &) {}, KeychainStatus::success,
         "stored", 0},
        {"changed elsewhere: what was read ahead",
         [](InMemoryKeychain &inner, PrefetchedKeychain &) { inner.update(item("a"), "elsewhere"); },
         KeychainStatus::success, "stored", 0},
        {"updated through it", [](InMemoryKeychain &, PrefetchedKeychain &k) { k.update(item("a"), "new"); },
         KeychainStatus::success, "new", 1},
        {"removed through it", [](InMemoryKeychain &, PrefetchedKeychain &k) { k.remove(item("a")); },
         KeychainStatus::itemNotFound, "", 1},
        {"forgotten", [](InMemoryKeychain &inner, PrefetchedKeychain &k) {
             inner.update(item("a"), "later");
             k.forgetPrefetched();
         },
         KeychainStatus::success, "later", 1},
    };
    for (const auto &c : cases) {
        auto inner = std::make_shared<InMemoryKeychain>();
        inner->add(item("a"), "stored");
        PrefetchedKeychain keychain(inner);
        keychain.prefetch({item("a"), item("missing")});
        c.meanwhile(*inner, keychain);

        const int before = inner->callCount(Op::copyMatching);
        QByteArray data;
        EXPECT_EQ(keychain.copyMatching(item("a"), &data), c.status) << c.name;
        EXPECT_EQ(data, c.data) << c.name;
        EXPECT_EQ(inner->callCount(Op::copyMatching) - before, c.innerReads) << c.name;

        // Once only: the next read asks the keychain.
        QByteArray again;
        keychain.copyMatching(item("a"), &again);
        EXPECT_EQ(inner->callCount(Op::copyMatching) - before, c.innerReads + 1) << c.name;
    }
}

TEST(PrefetchedKeychain, AFailedReadAheadIsAnsweredAsTheKeychainAnsweredIt)
{
    auto inner = std::make_shared<InMemoryKeychain>();
    inner->add(item("a"), "stored");
    inner->failNext(InMemoryKeychain::Op::copyMatching, KeychainStatus::interactionNotAllowed);
    PrefetchedKeychain keychain(inner);
    keychain.prefetch({item("a"), item("missing")});
    QByteArray data("untouched");
    EXPECT_EQ(keychain.copyMatching(item("a"), &data), KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(data, QByteArray("untouched"));
    EXPECT_EQ(keychain.copyMatching(item("missing"), &data), KeychainStatus::itemNotFound);
    // Unlocked since: the next read is the keychain's.
    EXPECT_EQ(keychain.copyMatching(item("a"), &data), KeychainStatus::success);
    EXPECT_EQ(data, QByteArray("stored"));
}

} // namespace
