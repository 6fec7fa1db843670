#include "Platform/SecretServiceKeychain.h"

#include "Platform/RecordingSystemLog.h"

#include <QCoreApplication>
#include <QProcess>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Failure = SecretServiceKeychain::Failure;
using Domain = Failure::Domain;
using Codes = SecretServiceKeychain::Codes;

TEST(SecretServiceKeychainErrors, MapsEveryFailureToItsStatus)
{
    struct Row {
        const char *name;
        Failure failure;
        std::int32_t status;
    };
    const std::vector<Row> rows = {
        {"no daemon and nothing to start", {Domain::dbus, Codes::dbusServiceUnknown, false}, KeychainStatus::notAvailable},
        {"daemon left the bus", {Domain::dbus, Codes::dbusNameHasNoOwner, false}, KeychainStatus::notAvailable},
        {"daemon does not answer", {Domain::dbus, Codes::dbusNoReply, false}, KeychainStatus::notAvailable},
        {"bus has no server", {Domain::dbus, Codes::dbusNoServer, true}, KeychainStatus::notAvailable},
        {"bus disconnected", {Domain::dbus, Codes::dbusDisconnected, false}, KeychainStatus::notAvailable},
        {"timeout", {Domain::dbus, Codes::dbusTimeout, false}, KeychainStatus::notAvailable},
        {"timed out", {Domain::dbus, Codes::dbusTimedOut, false}, KeychainStatus::notAvailable},
        {"activation exec failed", {Domain::dbus, Codes::dbusSpawnExecFailed, false}, KeychainStatus::notAvailable},
        {"activation file invalid", {Domain::dbus, Codes::dbusSpawnFileInvalid, false}, KeychainStatus::notAvailable},
        {"activation out of memory", {Domain::dbus, Codes::dbusSpawnNoMemory, false}, KeychainStatus::notAvailable},
        {"other bus error while connecting", {Domain::dbus, 0, true}, KeychainStatus::notAvailable},
        {"other bus error on an item", {Domain::dbus, 0, false}, KeychainStatus::internalComponent},
        {"code after the activation range", {Domain::dbus, Codes::dbusSpawnNoMemory + 1, false}, KeychainStatus::internalComponent},
        {"no session bus socket", {Domain::io, Codes::ioNotFound, true}, KeychainStatus::notAvailable},
        {"cannot autolaunch a bus", {Domain::io, 0, true}, KeychainStatus::notAvailable},
        {"bus connection refused", {Domain::io, Codes::ioConnectionRefused, false}, KeychainStatus::notAvailable},
        {"bus connection closed", {Domain::io, Codes::ioClosed, false}, KeychainStatus::notAvailable},
        {"prompt dismissed", {Domain::io, Codes::ioCancelled, false}, KeychainStatus::userCanceled},
        {"prompt dismissed while connecting", {Domain::io, Codes::ioCancelled, true}, KeychainStatus::userCanceled},
        {"unknown remote error", {Domain::io, 36, false}, KeychainStatus::internalComponent},
        {"keyring locked", {Domain::secret, Codes::secretIsLocked, false}, KeychainStatus::interactionNotAllowed},
        {"prompt we refused", {Domain::promptRefused, 1, false}, KeychainStatus::interactionNotAllowed},
        {"prompt we refused while connecting", {Domain::promptRefused, 1, true}, KeychainStatus::interactionNotAllowed},
        {"item vanished", {Domain::secret, Codes::secretNoSuchObject, false}, KeychainStatus::itemNotFound},
        {"item exists", {Domain::secret, Codes::secretAlreadyExists, false}, KeychainStatus::duplicateItem},
        {"protocol error", {Domain::secret, Codes::secretProtocol, false}, KeychainStatus::internalComponent},
        {"protocol error while connecting", {Domain::secret, Codes::secretProtocol, true}, KeychainStatus::internalComponent},
        {"foreign domain", {Domain::other, 2, false}, KeychainStatus::internalComponent},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SecretServiceKeychain::statusFor(row.failure), row.status);
    }
}

TEST(SecretServiceKeychainErrors, DescribesEveryStatusDistinctly)
{
    const std::vector<std::int32_t> statuses = {
        KeychainStatus::success, KeychainStatus::itemNotFound, KeychainStatus::duplicateItem,
        KeychainStatus::notAvailable, KeychainStatus::interactionNotAllowed, KeychainStatus::userCanceled,
        KeychainStatus::param, KeychainStatus::internalComponent,
    };
    QStringList texts;
    for (std::int32_t status : statuses)
        texts << KeychainStatus::describe(status);
    texts.removeDuplicates();
    EXPECT_EQ(texts.size(), static_cast<qsizetype>(statuses.size()));
    EXPECT_EQ(KeychainStatus::describe(-1), QStringLiteral("Unknown keychain status -1"));
}

// Runs against the Secret Service of the session bus (scripts/test starts gnome-keyring).
class SecretServiceKeychainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Adding shows more than reading: a locked keyring or a missing default one
        // still answers searches.
        const auto probeItem = password("probe");
        std::int32_t probe = m_keychain.add(probeItem, "probe");
        if (probe == KeychainStatus::success)
            probe = m_keychain.remove(probeItem);
        if (probe == KeychainStatus::success)
            return;
        const std::string why = "no usable Secret Service: " + KeychainStatus::describe(probe).toStdString()
            + " (status " + std::to_string(probe) + "). Run under dbus-run-session with an unlocked "
              "gnome-keyring, as scripts/test does.";
        if (probe == KeychainStatus::notAvailable && qEnvironmentVariable("CI") != QLatin1String("true"))
            GTEST_SKIP() << why;
        FAIL() << why;
    }

    void TearDown() override
    {
        for (const KeychainItemQuery &query : m_added)
            m_keychain.remove(query);
    }

    KeychainItemQuery password(const char *account, std::optional<QString> group = std::nullopt) const
    {
        return KeychainItemQuery::genericPassword(m_service, QString::fromUtf8(account), std::move(group));
    }

    KeychainItemQuery key(const char *name) const
    {
        return KeychainItemQuery::key(m_service.toUtf8() + '.' + name);
    }

    std::int32_t add(const KeychainItemQuery &query, const QByteArray &data)
    {
        m_added.push_back(query);
        return m_keychain.add(query, data);
    }

    QByteArray read(const KeychainItemQuery &query, std::int32_t expectedStatus = KeychainStatus::success)
    {
        QByteArray data("untouched");
        EXPECT_EQ(m_keychain.copyMatching(query, &data), expectedStatus);
        return data;
    }

    SecretServiceKeychain m_keychain;
    const QString m_service = QStringLiteral("dev.orvalen.vantle.tests.")
        + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::vector<KeychainItemQuery> m_added;
};

TEST_F(SecretServiceKeychainTest, RoundTrip)
{
    const auto item = password("orvalen_session");
    EXPECT_EQ(m_keychain.update(item, "early"), KeychainStatus::itemNotFound);
    EXPECT_EQ(read(item, KeychainStatus::itemNotFound), "untouched");
    EXPECT_EQ(m_keychain.remove(item), KeychainStatus::itemNotFound);

    EXPECT_EQ(add(item, "first"), KeychainStatus::success);
    EXPECT_EQ(read(item), "first");
    EXPECT_EQ(add(item, "second"), KeychainStatus::duplicateItem);
    EXPECT_EQ(read(item), "first");

    EXPECT_EQ(m_keychain.update(item, "second"), KeychainStatus::success);
    EXPECT_EQ(read(item), "second");
    EXPECT_EQ(m_keychain.copyMatching(item, nullptr), KeychainStatus::success);

    EXPECT_EQ(m_keychain.remove(item), KeychainStatus::success);
    EXPECT_EQ(read(item, KeychainStatus::itemNotFound), "untouched");
    EXPECT_EQ(m_keychain.remove(item), KeychainStatus::itemNotFound);
    EXPECT_EQ(m_keychain.update(item, "third"), KeychainStatus::itemNotFound);
}

// Each libsecret call's failure, with an error of each kind the classification tells
// apart, reaches the caller as its status; what is stored stays as it was, and once the
// failure has passed the same operation works again (after a failure that may mean the
// daemon went away, on a fresh connection).
TEST_F(SecretServiceKeychainTest, EveryLibsecretFailureReachesTheCallerAsItsStatus)
{
    using Call = SecretServiceKeychain::Call;
    enum class Op { update, add, copy, remove };
    struct Row {
        const char *name;
        Call call;
        Op op;
        Domain domain;
        int code;
        std::int32_t status;
    };
    const std::vector<Row> rows = {
        {"no bus while connecting", Call::openService, Op::copy, Domain::io, Codes::ioNotFound, KeychainStatus::notAvailable},
        {"no daemon while connecting", Call::openService, Op::add, Domain::dbus, Codes::dbusServiceUnknown, KeychainStatus::notAvailable},
        {"prompt refused while connecting", Call::openService, Op::update, Domain::promptRefused, 1, KeychainStatus::interactionNotAllowed},
        {"search: daemon left the bus", Call::search, Op::copy, Domain::dbus, Codes::dbusNameHasNoOwner, KeychainStatus::notAvailable},
        {"search: foreign error", Call::search, Op::remove, Domain::other, 7, KeychainStatus::internalComponent},
        {"search before adding: locked", Call::search, Op::add, Domain::secret, Codes::secretIsLocked, KeychainStatus::interactionNotAllowed},
        {"set secret: locked", Call::setSecret, Op::update, Domain::secret, Codes::secretIsLocked, KeychainStatus::interactionNotAllowed},
        {"set secret: item vanished", Call::setSecret, Op::update, Domain::secret, Codes::secretNoSuchObject, KeychainStatus::itemNotFound},
        {"default keyring: prompt refused", Call::defaultCollection, Op::add, Domain::promptRefused, 1, KeychainStatus::interactionNotAllowed},
        {"default keyring: bus closed", Call::defaultCollection, Op::add, Domain::io, Codes::ioClosed, KeychainStatus::notAvailable},
        {"create: already exists", Call::createItem, Op::add, Domain::secret, Codes::secretAlreadyExists, KeychainStatus::duplicateItem},
        {"create: protocol error", Call::createItem, Op::add, Domain::secret, Codes::secretProtocol, KeychainStatus::internalComponent},
        {"load: prompt dismissed", Call::loadSecret, Op::copy, Domain::io, Codes::ioCancelled, KeychainStatus::userCanceled},
        {"load: timeout", Call::loadSecret, Op::copy, Domain::dbus, Codes::dbusTimeout, KeychainStatus::notAvailable},
        {"no secret after loading", Call::getSecret, Op::copy, Domain::other, 0, KeychainStatus::internalComponent},
        {"delete: item vanished", Call::deleteItem, Op::remove, Domain::secret, Codes::secretNoSuchObject, KeychainStatus::itemNotFound},
        {"delete: connection refused", Call::deleteItem, Op::remove, Domain::io, Codes::ioConnectionRefused, KeychainStatus::notAvailable},
    };
    int n = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        SecretServiceKeychain keychain; // a fresh one: not yet connected
        const auto item = password(("row" + std::to_string(++n)).c_str());
        if (row.op == Op::add)
            m_added.push_back(item);
        else
            ASSERT_EQ(add(item, "before"), KeychainStatus::success);

        const auto perform = [&](QByteArray *data) {
            switch (row.op) {
            case Op::update: return keychain.update(item, "after");
            case Op::add: return keychain.add(item, "after");
            case Op::copy: return keychain.copyMatching(item, data);
            case Op::remove: return keychain.remove(item);
            }
            return KeychainStatus::param;
        };
        keychain.failNext(row.call, row.domain, row.code);
        QByteArray data("untouched");
        EXPECT_EQ(perform(&data), row.status);
        EXPECT_EQ(data, "untouched");
        EXPECT_EQ(read(item, row.op == Op::add ? KeychainStatus::itemNotFound : KeychainStatus::success),
                  row.op == Op::add ? QByteArray("untouched") : QByteArray("before"));

        EXPECT_EQ(perform(&data), KeychainStatus::success);
        if (row.op == Op::copy) {
            EXPECT_EQ(data, "before");
        }
    }
}

TEST_F(SecretServiceKeychainTest, AccountsAndAccessGroupsAreSeparateItems)
{
    const auto plain = password("shared");
    const auto groupA = password("shared", QStringLiteral("team.a"));
    const auto groupB = password("shared", QStringLiteral("team.b"));
    const auto other = password("other");

    EXPECT_EQ(add(groupA, "in A"), KeychainStatus::success);
    // An item in a group is not the item without a group.
    EXPECT_EQ(read(plain, KeychainStatus::itemNotFound), "untouched");
    EXPECT_EQ(m_keychain.update(plain, "x"), KeychainStatus::itemNotFound);
    EXPECT_EQ(m_keychain.remove(plain), KeychainStatus::itemNotFound);

    EXPECT_EQ(add(plain, "no group"), KeychainStatus::success);
    EXPECT_EQ(add(groupB, "in B"), KeychainStatus::success);
    EXPECT_EQ(add(other, "other account"), KeychainStatus::success);
    EXPECT_EQ(read(plain), "no group");
    EXPECT_EQ(read(groupA), "in A");
    EXPECT_EQ(read(groupB), "in B");

    EXPECT_EQ(m_keychain.update(plain, "no group 2"), KeychainStatus::success);
    EXPECT_EQ(read(groupA), "in A");
    EXPECT_EQ(m_keychain.remove(groupA), KeychainStatus::success);
    EXPECT_EQ(read(plain), "no group 2");
    EXPECT_EQ(read(groupB), "in B");
    EXPECT_EQ(read(other), "other account");
    EXPECT_EQ(m_keychain.remove(plain), KeychainStatus::success);
    EXPECT_EQ(read(groupB), "in B");
}

// Reading several items at once answers each as reading it alone does.
TEST_F(SecretServiceKeychainTest, ReadingTogetherAnswersEachAsReadingItAlone)
{
    ASSERT_EQ(add(password("plain"), "no group"), KeychainStatus::success);
    ASSERT_EQ(add(password("grouped only", QStringLiteral("team.a")), "in A"), KeychainStatus::success);
    ASSERT_EQ(add(password("both"), "no group"), KeychainStatus::success);
    ASSERT_EQ(add(password("both", QStringLiteral("team.a")), "in A"), KeychainStatus::success);
    ASSERT_EQ(add(key("dpop"), QByteArray("\x00\x01key", 5)), KeychainStatus::success);
    ASSERT_EQ(add(password("empty"), ""), KeychainStatus::success);
    const struct {
        const char *name;
        KeychainItemQuery query;
        std::int32_t status;
        QByteArray data;
    } rows[] = {
        {"an item", password("plain"), KeychainStatus::success, "no group"},
        {"no item", password("missing"), KeychainStatus::itemNotFound, ""},
        {"only an item in a group", password("grouped only"), KeychainStatus::itemNotFound, ""},
        {"the item in the group", password("grouped only", QStringLiteral("team.a")), KeychainStatus::success, "in A"},
        {"the item without a group beside one in a group", password("both"), KeychainStatus::success, "no group"},
        {"a key item", key("dpop"), KeychainStatus::success, QByteArray("\x00\x01key", 5)},
        {"no key item of a password's name", KeychainItemQuery::key("plain"), KeychainStatus::itemNotFound, ""},
        {"an empty item", password("empty"), KeychainStatus::success, ""},
        {"the same item again", password("plain"), KeychainStatus::success, "no group"},
        {"a malformed query", KeychainItemQuery::genericPassword(QString(), QStringLiteral("a")), KeychainStatus::param, ""},
    };
    QList<KeychainItemQuery> queries;
    for (const auto &row : rows)
        queries.append(row.query);
    const QList<KeychainBackend::Read> reads = m_keychain.copyEach(queries);
    ASSERT_EQ(reads.size(), queries.size());
    for (qsizetype i = 0; i < reads.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(reads[i].status, rows[i].status);
        EXPECT_EQ(reads[i].data, rows[i].data);
        QByteArray alone;
        EXPECT_EQ(m_keychain.copyMatching(queries[i], &alone), reads[i].status);
        EXPECT_EQ(alone, reads[i].data);
    }
}

TEST_F(SecretServiceKeychainTest, KeyItemsAreApartFromPasswords)
{
    const auto dpop = key("dpop");
    EXPECT_EQ(read(dpop, KeychainStatus::itemNotFound), "untouched");
    const QByteArray pkcs8("\x30\x81\x87\x02\x01\x00\x30\x13", 8);
    EXPECT_EQ(add(dpop, pkcs8), KeychainStatus::success);
    EXPECT_EQ(add(dpop, "again"), KeychainStatus::duplicateItem);
    EXPECT_EQ(read(dpop), pkcs8);
    EXPECT_EQ(read(key("other"), KeychainStatus::itemNotFound), "untouched");

    // A password whose account is the tag text is another item.
    const auto lookalike = KeychainItemQuery::genericPassword(m_service, QString::fromUtf8(dpop.applicationTag));
    EXPECT_EQ(read(lookalike, KeychainStatus::itemNotFound), "untouched");
    EXPECT_EQ(add(lookalike, "password"), KeychainStatus::success);
    EXPECT_EQ(m_keychain.remove(lookalike), KeychainStatus::success);
    EXPECT_EQ(read(dpop), pkcs8);

    EXPECT_EQ(m_keychain.remove(dpop), KeychainStatus::success);
    EXPECT_EQ(read(dpop, KeychainStatus::itemNotFound), "untouched");
}

TEST_F(SecretServiceKeychainTest, KeepsBinaryDataExactly)
{
    QByteArray everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte.append(static_cast<char>(i));
    const std::vector<std::pair<const char *, QByteArray>> cases = {
        {"nul inside", QByteArray("a\0b\0", 4)},
        {"only nul", QByteArray(3, '\0')},
        {"every byte", everyByte},
        {"utf-8 text", QStringLiteral("Ünïcødé — “quoted” …").toUtf8()},
        {"large", QByteArray(64 * 1024, '\xa5')},
    };
    for (const auto &[name, data] : cases) {
        SCOPED_TRACE(name);
        const auto item = password(name);
        EXPECT_EQ(add(item, data), KeychainStatus::success);
        EXPECT_EQ(read(item), data);
        EXPECT_EQ(m_keychain.update(item, data + data), KeychainStatus::success);
        EXPECT_EQ(read(item), data + data);
    }
}

TEST_F(SecretServiceKeychainTest, EmptyDataIsAnItem)
{
    const auto item = password("empty");
    EXPECT_EQ(add(item, QByteArray()), KeychainStatus::success);
    EXPECT_EQ(read(item), QByteArray());
    EXPECT_EQ(add(item, "x"), KeychainStatus::duplicateItem);
}

// A keyring's failures reach the application's log (its files, ring and report), not
// only stderr.
TEST_F(SecretServiceKeychainTest, FailuresAreWarnedInTheSystemLog)
{
    using Call = SecretServiceKeychain::Call;
    const auto recording = std::make_shared<RecordingSystemLog>();
    SystemLog::setSink(recording);
    const auto item = password("logged");
    ASSERT_EQ(add(item, "x"), KeychainStatus::success);
    m_keychain.failNext(Call::search, Domain::secret, Codes::secretIsLocked);
    EXPECT_EQ(m_keychain.copyMatching(item, nullptr), KeychainStatus::interactionNotAllowed);
    m_keychain.failNext(Call::getSecret, Domain::other, 0);
    QByteArray data;
    EXPECT_EQ(m_keychain.copyMatching(item, &data), KeychainStatus::internalComponent);
    SystemLog::setSink(nullptr);

    const auto records = recording->records();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records.at(0).field("MESSAGE"),
              QByteArray(R"(keychain_call_failed status=-25308 call="Searching the keychain" error=injected failure)"));
    EXPECT_EQ(records.at(1).field("MESSAGE"), QByteArray("keychain_item_without_data"));
    for (const auto &record : records) {
        EXPECT_EQ(record.field("PRIORITY"), QByteArray("4"));
        EXPECT_EQ(record.field("SUBSYSTEM"), QByteArray("dev.orvalen.vantle"));
        EXPECT_EQ(record.field("CATEGORY"), QByteArray("keychain"));
    }
}

TEST(SecretServiceKeychainErrors, RejectsMalformedQueriesWithoutAsking)
{
    SecretServiceKeychain m_keychain;
    const auto noService = KeychainItemQuery::genericPassword(QString(), QStringLiteral("a"));
    const auto noTag = KeychainItemQuery::key(QByteArray());
    EXPECT_EQ(m_keychain.add(noService, "x"), KeychainStatus::param);
    EXPECT_EQ(m_keychain.update(noTag, "x"), KeychainStatus::param);
    EXPECT_EQ(m_keychain.copyMatching(noService, nullptr), KeychainStatus::param);
    EXPECT_EQ(m_keychain.remove(noTag), KeychainStatus::param);
}

TEST_F(SecretServiceKeychainTest, SystemKeychainIsOneSharedSecretService)
{
    const auto keychain = Keychain::system();
    ASSERT_EQ(keychain, Keychain::system());
    const auto item = password("system");
    m_added.push_back(item);
    EXPECT_EQ(keychain->add(item, "via system"), KeychainStatus::success);
    EXPECT_EQ(read(item), "via system");
}

// The tests below run a DISABLED_ test of this binary in a child process, with a bus or
// keyring of its own, so that breaking them does not disturb the shared keyring.
struct ChildRun {
    int exitCode = -1;
    std::string output;
};

ChildRun runChild(const QString &test, const QProcessEnvironment &environment, QStringList arguments = {})
{
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    arguments << QCoreApplication::applicationFilePath() << QStringLiteral("--gtest_also_run_disabled_tests")
              << QStringLiteral("--gtest_filter=SecretServiceKeychainIsolated.") + test;
    const QString program = arguments.takeFirst();
    child.start(program, arguments);
    ChildRun run;
    if (!child.waitForFinished(180000)) {
        child.kill();
        child.waitForFinished();
        run.output = "timed out (a prompt shown?)\n";
    }
    run.output += child.readAll().toStdString();
    if (child.exitStatus() == QProcess::NormalExit)
        run.exitCode = child.exitCode();
    if (run.output.find("[  PASSED  ] 1 test") == std::string::npos)
        run.exitCode = run.exitCode == 0 ? -1 : run.exitCode;
    return run;
}

// Runs `test` in a new D-Bus session whose gnome-keyring was started by activation, or
// unlocked with a password when `unlock` is set, with fresh XDG folders.
ChildRun runInPrivateKeyring(const QString &test, bool unlock, QTemporaryDir &scratch)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "HOME"}) {
        const QString dir = scratch.filePath(QString::fromLatin1(name));
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        environment.insert(QString::fromLatin1(name), dir);
    }
    const QString start = unlock
        ? QStringLiteral("echo -n vantle | gnome-keyring-daemon --unlock --components=secrets >/dev/null; ")
        : QString();
    return runChild(test, environment,
                    {QStringLiteral("dbus-run-session"), QStringLiteral("--"), QStringLiteral("bash"), QStringLiteral("-c"),
                     start + QStringLiteral("exec \"$@\""), QStringLiteral("bash")});
}

bool haveKeyringTools()
{
    return !QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("gdbus")).isEmpty();
}

#define REQUIRE_KEYRING_TOOLS()                                                                  \
    do {                                                                                         \
        if (!haveKeyringTools()) {                                                               \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                             \
                FAIL() << "dbus-run-session, gnome-keyring-daemon or gdbus is missing";          \
            GTEST_SKIP() << "dbus-run-session, gnome-keyring-daemon or gdbus is missing";        \
        }                                                                                        \
    } while (false)

const KeychainItemQuery isolatedItem = KeychainItemQuery::genericPassword(QStringLiteral("dev.orvalen.vantle.tests"),
                                                                          QStringLiteral("a"));

TEST(SecretServiceKeychainIsolated, DISABLED_NoBus)
{
    SecretServiceKeychain keychain;
    QByteArray data;
    EXPECT_EQ(keychain.copyMatching(isolatedItem, &data), KeychainStatus::notAvailable);
    EXPECT_EQ(keychain.add(isolatedItem, "x"), KeychainStatus::notAvailable);
    EXPECT_EQ(keychain.update(isolatedItem, "x"), KeychainStatus::notAvailable);
    EXPECT_EQ(keychain.remove(isolatedItem), KeychainStatus::notAvailable);
    const QList<KeychainBackend::Read> reads = keychain.copyEach({isolatedItem, KeychainItemQuery::key({})});
    ASSERT_EQ(reads.size(), 2);
    EXPECT_EQ(reads[0].status, KeychainStatus::notAvailable);
    EXPECT_EQ(reads[1].status, KeychainStatus::param);
}

TEST(SecretServiceKeychainIsolated, DISABLED_LockedKeyring)
{
    SecretServiceKeychain keychain;
    ASSERT_EQ(keychain.add(isolatedItem, "x"), KeychainStatus::success);

    QProcess gdbus;
    const QStringList call = {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                              QStringLiteral("org.freedesktop.secrets"), QStringLiteral("--object-path"),
                              QStringLiteral("/org/freedesktop/secrets"), QStringLiteral("--method")};
    gdbus.start(QStringLiteral("gdbus"), call + QStringList{QStringLiteral("org.freedesktop.Secret.Service.ReadAlias"),
                                                            QStringLiteral("default")});
    ASSERT_TRUE(gdbus.waitForFinished());
    const QString alias = QString::fromUtf8(gdbus.readAllStandardOutput());
    const auto match = QRegularExpression(QStringLiteral("'(/org/freedesktop/secrets/collection/[^']+)'")).match(alias);
    ASSERT_TRUE(match.hasMatch()) << alias.toStdString();
    gdbus.start(QStringLiteral("gdbus"), call + QStringList{QStringLiteral("org.freedesktop.Secret.Service.Lock"),
                                                            QStringLiteral("['%1']").arg(match.captured(1))});
    ASSERT_TRUE(gdbus.waitForFinished());
    ASSERT_EQ(gdbus.exitCode(), 0) << gdbus.readAllStandardError().toStdString();

    QByteArray data("untouched");
    EXPECT_EQ(keychain.copyMatching(isolatedItem, &data), KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(data, "untouched");
    EXPECT_EQ(keychain.update(isolatedItem, "y"), KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(keychain.remove(isolatedItem), KeychainStatus::interactionNotAllowed);
    const auto other = KeychainItemQuery::genericPassword(QStringLiteral("dev.orvalen.vantle.tests"), QStringLiteral("b"));
    EXPECT_EQ(keychain.add(other, "x"), KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(keychain.copyMatching(other, &data), KeychainStatus::itemNotFound);
    const QList<KeychainBackend::Read> reads = keychain.copyEach({isolatedItem, other});
    ASSERT_EQ(reads.size(), 2);
    EXPECT_EQ(reads[0].status, KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(reads[0].data, QByteArray());
    EXPECT_EQ(reads[1].status, KeychainStatus::itemNotFound);
}

TEST(SecretServiceKeychainIsolated, DISABLED_NoDefaultKeyring)
{
    const auto recording = std::make_shared<RecordingSystemLog>();
    SystemLog::setSink(recording);
    SecretServiceKeychain keychain;
    EXPECT_EQ(keychain.add(isolatedItem, "x"), KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(keychain.copyMatching(isolatedItem, nullptr), KeychainStatus::itemNotFound);
    SystemLog::setSink(nullptr);
    ASSERT_EQ(recording->records().size(), 1);
    EXPECT_EQ(recording->records().first().field("MESSAGE"), QByteArray("keychain_no_default_keyring"));
}

TEST(SecretServiceKeychainIsolated, NoSessionBusIsNotAvailable)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/vantle-bus"));
    environment.remove(QStringLiteral("DISPLAY"));
    const ChildRun run = runChild(QStringLiteral("DISABLED_NoBus"), environment);
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

// Never an unlock dialog: a locked keyring answers at once with a status.
TEST(SecretServiceKeychainIsolated, LockedKeyringIsInteractionNotAllowed)
{
    REQUIRE_KEYRING_TOOLS();
    QTemporaryDir scratch;
    const ChildRun run = runInPrivateKeyring(QStringLiteral("DISABLED_LockedKeyring"), true, scratch);
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

// Without a default keyring, making one would ask the user for a password.
TEST(SecretServiceKeychainIsolated, NoDefaultKeyringIsInteractionNotAllowed)
{
    REQUIRE_KEYRING_TOOLS();
    QTemporaryDir scratch;
    const ChildRun run = runInPrivateKeyring(QStringLiteral("DISABLED_NoDefaultKeyring"), false, scratch);
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

} // namespace
