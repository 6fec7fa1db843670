#include "OrvalenAccount/InMemoryStorage.h"
#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/OrvalenJSON.h"
#include "OrvalenAccount/StoredSession.h"
#include "Platform/InMemoryKeychain.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

StoredSession sampleSession()
{
    return StoredSession{
        QStringLiteral("oas_token/+="),
        QStringLiteral("rt_1"),
        utc(2026, 12, 7, 10, 0, 0, 250),
        OrvalenAccount{OrvalenAccountID(QStringLiteral("oa_01939a3e-5b8c-7d2e-9f10-123456789abc")),
                       QStringLiteral("ada@example.com"), std::nullopt},
        QStringLiteral("vantle"),
        utc(2026, 12, 6, 10, 0, 0),
    };
}

const char *const sampleJson =
    R"({"oas":"oas_token/+=","refreshToken":"rt_1","expiresAt":"2026-12-07T10:00:00.250Z",)"
    R"("account":{"email_primary":"ada@example.com","orvalen_account_id":"oa_01939a3e-5b8c-7d2e-9f10-123456789abc"},)"
    R"("appSlug":"vantle","issuedAt":"2026-12-06T10:00:00.000Z"})";

std::optional<StoredSession> readBack(const QByteArray &bytes)
{
    InMemoryStorage storage;
    storage.setData(bytes, KeychainStorage::Keys::session);
    return storage.getJSON<StoredSession>(KeychainStorage::Keys::session);
}

} // namespace

TEST(StoredSessionTest, EncodesCamelCaseKeysInOrder)
{
    EXPECT_EQ(sampleSession().toJsonBytes(), QByteArray(sampleJson));
    EXPECT_EQ(StoredSession::fromJson(OrvalenJSON::parseObject(sampleJson)), sampleSession());

    StoredSession withoutRefresh = sampleSession();
    withoutRefresh.refreshToken.reset();
    const QByteArray encoded = withoutRefresh.toJsonBytes();
    EXPECT_FALSE(encoded.contains("refreshToken"));
    EXPECT_EQ(QJsonDocument::fromJson(encoded).object(), withoutRefresh.toJson());
    EXPECT_EQ(readBack(encoded), withoutRefresh);
}

TEST(StoredSessionTest, DecodingFollowsPresenceRules)
{
    const QJsonObject full = OrvalenJSON::parseObject(sampleJson);
    const auto variant = [&](const std::function<void(QJsonObject &)> &change) {
        QJsonObject object = full;
        change(object);
        return QJsonDocument(object).toJson(QJsonDocument::Compact);
    };

    struct Case {
        const char *name;
        QByteArray json;
        bool decodes;
        std::optional<QString> refreshToken;
    };
    const Case cases[] = {
        {"all keys", QByteArray(sampleJson), true, QStringLiteral("rt_1")},
        {"no refreshToken", variant([](QJsonObject &o) { o.remove("refreshToken"); }), true, std::nullopt},
        {"null refreshToken", variant([](QJsonObject &o) { o.insert("refreshToken", QJsonValue::Null); }), true, std::nullopt},
        {"unknown key", variant([](QJsonObject &o) { o.insert("deviceName", "mac"); }), true, QStringLiteral("rt_1")},
        {"date without fraction", variant([](QJsonObject &o) { o.insert("expiresAt", "2026-12-07T10:00:00Z"); }), true,
         QStringLiteral("rt_1")},
        {"no oas", variant([](QJsonObject &o) { o.remove("oas"); }), false, std::nullopt},
        {"no expiresAt", variant([](QJsonObject &o) { o.remove("expiresAt"); }), false, std::nullopt},
        {"no account", variant([](QJsonObject &o) { o.remove("account"); }), false, std::nullopt},
        {"no appSlug", variant([](QJsonObject &o) { o.remove("appSlug"); }), false, std::nullopt},
        {"no issuedAt", variant([](QJsonObject &o) { o.remove("issuedAt"); }), false, std::nullopt},
        {"null oas", variant([](QJsonObject &o) { o.insert("oas", QJsonValue::Null); }), false, std::nullopt},
        {"numeric oas", variant([](QJsonObject &o) { o.insert("oas", 5); }), false, std::nullopt},
        {"numeric refreshToken", variant([](QJsonObject &o) { o.insert("refreshToken", 5); }), false, std::nullopt},
        {"date with a space", variant([](QJsonObject &o) { o.insert("issuedAt", "2026-12-06 10:00:00Z"); }), false, std::nullopt},
        {"snake case keys", QByteArray(sampleJson).replace("expiresAt", "expires_at"), false, std::nullopt},
        {"account without e-mail", variant([](QJsonObject &o) { o.insert("account", QJsonObject{{"orvalen_account_id", "oa_x"}}); }),
         false, std::nullopt},
        {"a JSON array", QByteArray("[]"), false, std::nullopt},
        {"not JSON", QByteArray("\x01\x02not json"), false, std::nullopt},
        {"empty", QByteArray(), false, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto session = readBack(c.json);
        ASSERT_EQ(session.has_value(), c.decodes);
        if (session) {
            EXPECT_EQ(session->refreshToken, c.refreshToken);
            EXPECT_EQ(session->account, sampleSession().account);
        }
    }
}

TEST(StoredSessionTest, ExpiresExactlyAtExpiresAt)
{
    const StoredSession session = sampleSession();
    const QDateTime at = session.expiresAt;
    EXPECT_TRUE(session.isExpired(at));
    EXPECT_TRUE(session.isExpired(at.addMSecs(1)));
    EXPECT_FALSE(session.isExpired(at.addMSecs(-1)));
    EXPECT_FALSE(session.isExpired(at.addSecs(-1)));
    // The same instant in another zone is the same moment.
    EXPECT_TRUE(session.isExpired(at.toOffsetFromUtc(3600)));

    StoredSession past = session;
    past.expiresAt = QDateTime::currentDateTimeUtc().addSecs(-1);
    EXPECT_TRUE(past.isExpired());
    StoredSession future = session;
    future.expiresAt = QDateTime::currentDateTimeUtc().addSecs(3600);
    EXPECT_FALSE(future.isExpired());
}

// A session is only written when every reader can read it back: a date field that
// cannot be written as a four-digit-year instant is refused, and the stored session
// stays; the first and last writable instants go through in either field.
TEST(StoredSessionTest, EveryDateFieldIsWrittenOnlyWhenItCanBeReadBack)
{
    using Field = QDateTime StoredSession::*;
    const struct {
        const char *name;
        Field field;
    } fields[] = {{"expiresAt", &StoredSession::expiresAt}, {"issuedAt", &StoredSession::issuedAt}};
    const struct {
        const char *name;
        QDateTime value;
        bool writable;
    } values[] = {
        {"no date", QDateTime(), false},
        {"year 10000", utc(10000, 1, 1, 0, 0, 0), false},
        {"year before 1", utc(-1, 12, 31, 23, 59, 59, 999), false},
        {"last instant of 9999", utc(9999, 12, 31, 23, 59, 59, 999), true},
        {"first instant of 0001", utc(1, 1, 1, 0, 0, 0), true},
        {"an offset that stays in 9999", QDateTime(QDate(9999, 12, 31), QTime(23, 0), Qt::OffsetFromUTC, 3600), true},
        {"an offset that crosses into 10000", QDateTime(QDate(9999, 12, 31), QTime(23, 59), Qt::OffsetFromUTC, -60), false},
    };
    for (const auto &field : fields) {
        for (const auto &value : values) {
            SCOPED_TRACE(std::string(field.name) + ": " + value.name);
            InMemoryStorage storage;
            storage.setJSON(sampleSession(), KeychainStorage::Keys::session);
            StoredSession session = sampleSession();
            session.oas = QStringLiteral("oas_new");
            session.*field.field = value.value;
            if (value.writable) {
                storage.setJSON(session, KeychainStorage::Keys::session);
                const auto back = storage.getJSON<StoredSession>(KeychainStorage::Keys::session);
                ASSERT_TRUE(back);
                EXPECT_EQ((*back).*field.field, value.value);
            } else {
                EXPECT_THROW(storage.setJSON(session, KeychainStorage::Keys::session), std::invalid_argument);
                EXPECT_EQ(storage.getJSON<StoredSession>(KeychainStorage::Keys::session), sampleSession());
            }
        }
    }
}
