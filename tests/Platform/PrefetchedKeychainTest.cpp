#include "Platform/PrefetchedKeychain.h"

#include "Platform/InMemoryKeychain.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

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

// A failure read ahead (a locked keyring, no Secret Service) may be over by the time the
// item is asked for: that read asks the keychain. That there is no item is kept.
TEST(PrefetchedKeychain, AFailureReadAheadIsNeverAnsweredFromMemory)
{
    using Op = InMemoryKeychain::Op;
    for (const std::int32_t failure : {KeychainStatus::interactionNotAllowed, KeychainStatus::notAvailable,
                                       KeychainStatus::userCanceled, KeychainStatus::internalComponent}) {
        auto inner = std::make_shared<InMemoryKeychain>();
        inner->add(item("a"), "stored");
        inner->failNext(Op::copyMatching, failure);
        PrefetchedKeychain keychain(inner);
        keychain.prefetch({item("a"), item("missing")});
        const int before = inner->callCount(Op::copyMatching);
        QByteArray data;
        EXPECT_EQ(keychain.copyMatching(item("a"), &data), KeychainStatus::success) << failure;
        EXPECT_EQ(data, QByteArray("stored")) << failure;
        EXPECT_EQ(keychain.copyMatching(item("missing"), &data), KeychainStatus::itemNotFound) << failure;
        EXPECT_EQ(inner->callCount(Op::copyMatching) - before, 1) << failure << ": the missing item from memory";
    }
}

// A keychain whose writes let something happen after they were asked for and before they
// reach the items: another thread's read ahead, landing in between.
class InterleavingKeychain final : public KeychainBackend {
public:
    explicit InterleavingKeychain(std::shared_ptr<InMemoryKeychain> items) : m_items(std::move(items)) {}
    std::function<void()> beforeWrite;

    std::int32_t update(const KeychainItemQuery &q, const QByteArray &d) override { return write([&] { return m_items->update(q, d); }); }
    std::int32_t add(const KeychainItemQuery &q, const QByteArray &d) override { return write([&] { return m_items->add(q, d); }); }
    std::int32_t remove(const KeychainItemQuery &q) override { return write([&] { return m_items->remove(q); }); }
    std::int32_t copyMatching(const KeychainItemQuery &q, QByteArray *d) override { return m_items->copyMatching(q, d); }

private:
    std::int32_t write(const std::function<std::int32_t()> &apply)
    {
        if (const auto meanwhile = std::exchange(beforeWrite, nullptr))
            meanwhile();
        return apply();
    }
    std::shared_ptr<InMemoryKeychain> m_items;
};

// A read ahead that lands while a write of the item is under way has read what the write
// replaces: the next read must still see the write.
TEST(PrefetchedKeychain, AReadAheadDuringAWriteNeverOutlivesTheWrite)
{
    const struct {
        const char *name;
        bool storedBefore;
        std::function<std::int32_t(PrefetchedKeychain &)> write;
        std::int32_t status;
        QByteArray data;
    } cases[] = {
        {"update", true, [](PrefetchedKeychain &k) { return k.update(item("a"), "new"); }, KeychainStatus::success, "new"},
        {"add", false, [](PrefetchedKeychain &k) { return k.add(item("a"), "new"); }, KeychainStatus::success, "new"},
        {"remove", true, [](PrefetchedKeychain &k) { return k.remove(item("a")); }, KeychainStatus::itemNotFound, ""},
    };
    for (const auto &c : cases) {
        auto items = std::make_shared<InMemoryKeychain>();
        if (c.storedBefore)
            items->add(item("a"), "stored");
        auto inner = std::make_shared<InterleavingKeychain>(items);
        PrefetchedKeychain keychain(inner);
        inner->beforeWrite = [&keychain]() { keychain.prefetch({item("a")}); };
        EXPECT_EQ(c.write(keychain), KeychainStatus::success) << c.name;
        QByteArray data;
        EXPECT_EQ(keychain.copyMatching(item("a"), &data), c.status) << c.name;
        EXPECT_EQ(data, c.data) << c.name;
    }
}

} // namespace
