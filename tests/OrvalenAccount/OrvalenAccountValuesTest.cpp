#include "OrvalenAccount/OrvalenAccount.h"
#include "OrvalenAccount/OrvalenJSON.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QSet>

namespace {

const char *const wellFormed = "oa_0190f5a2-3b4c-7d8e-9f01-23456789abcd";

TEST(OrvalenAccountID, WellFormedShape)
{
    const struct {
        const char *raw;
        bool expected;
    } cases[] = {
        {wellFormed, true},
        {"oa_0190f5a2-3b4c-7d8e-8f01-23456789abcd", true},
        {"oa_0190f5a2-3b4c-7d8e-af01-23456789abcd", true},
        {"oa_0190f5a2-3b4c-7d8e-bf01-23456789abcd", true},
        {"oa_0190F5A2-3b4c-7d8e-9f01-23456789abcd", false}, // upper-case hex
        {"oa_0190f5a2-3b4c-4d8e-9f01-23456789abcd", false}, // version 4
        {"oa_0190f5a2-3b4c-7d8e-cf01-23456789abcd", false}, // variant c
        {"oa_0190f5a2-3b4c-7d8e-7f01-23456789abcd", false}, // variant 7
        {"0190f5a2-3b4c-7d8e-9f01-23456789abcd", false},    // no prefix
        {"OA_0190f5a2-3b4c-7d8e-9f01-23456789abcd", false},
        {"xoa_0190f5a2-3b4c-7d8e-9f01-23456789abcd", false}, // before
        {"oa_0190f5a2-3b4c-7d8e-9f01-23456789abcd\n", false}, // after
        {"oa_0190f5a2-3b4c-7d8e-9f01-23456789abc", false},   // short
        {"oa_0190f5a23b4c-7d8e-9f01-23456789abcd-", false},  // hyphen moved
        {"oa_0190f5g2-3b4c-7d8e-9f01-23456789abcd", false},  // not hex
        {"", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(OrvalenAccountID(QString::fromLatin1(c.raw)).isWellFormed(), c.expected) << c.raw;
}

TEST(OrvalenAccountID, MalformedStillCodesAndCompares)
{
    const OrvalenAccountID id(QStringLiteral("OA_NOT-AN-ID"));
    EXPECT_EQ(OrvalenAccountID::fromJson(id.toJson()), id);
    EXPECT_EQ(id.description(), QStringLiteral("OA_NOT-AN-ID"));
    EXPECT_NE(id, OrvalenAccountID(QStringLiteral("oa_not-an-id")));
    EXPECT_EQ(qHash(id), qHash(OrvalenAccountID(QStringLiteral("OA_NOT-AN-ID"))));
    EXPECT_THROW(OrvalenAccountID::fromJson(QJsonValue(3)), OrvalenJSON::DecodingError);
}

TEST(OrvalenProvider, RawValuesInOrder)
{
    const QStringList expected{"password", "email-link", "google.com", "apple.com", "passkey"};
    QStringList raws;
    for (const OrvalenProvider provider : OrvalenProviders::allCases) {
        raws << toRaw(provider);
        EXPECT_EQ(fromRaw<OrvalenProvider>(toRaw(provider)), provider);
    }
    EXPECT_EQ(raws, expected);
    for (const char *other : {"Google.com", "google", " passkey", "email_link", ""})
        EXPECT_EQ(fromRaw<OrvalenProvider>(QString::fromLatin1(other)), std::nullopt) << other;
}

QJsonObject object(const char *json)
{
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray(json), &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return o;
}

TEST(OrvalenAccountRecord, DecodeRules)
{
    const struct {
        const char *json;
        std::optional<QList<OrvalenProvider>> providers; // expected when it decodes
        bool decodes;
        bool writesProviders;
    } cases[] = {
        {R"({"orvalen_account_id":"oa_1","email_primary":"a@b.c"})", std::nullopt, true, false},
        {R"({"orvalen_account_id":"oa_1","email_primary":"a@b.c","providers":null})", std::nullopt, true, false},
        {R"({"orvalen_account_id":"oa_1","email_primary":"a@b.c","providers":[]})", QList<OrvalenProvider>{}, true, true},
        {R"({"orvalen_account_id":"oa_1","email_primary":"a@b.c","providers":["google.com","passkey"],"x":1})",
         QList<OrvalenProvider>{OrvalenProvider::google, OrvalenProvider::passkey}, true, true},
        {R"({"orvalen_account_id":"oa_1","email_primary":"a@b.c","providers":["google.com","github"]})", {}, false, false},
        {R"({"orvalen_account_id":"oa_1","email_primary":"a@b.c","providers":[1]})", {}, false, false},
        {R"({"orvalen_account_id":"oa_1","email_primary":"a@b.c","providers":"apple.com"})", {}, false, false},
        {R"({"email_primary":"a@b.c"})", {}, false, false},
        {R"({"orvalen_account_id":"oa_1"})", {}, false, false},
        {R"({"orvalen_account_id":7,"email_primary":"a@b.c"})", {}, false, false},
        {R"({"orvalen_account_id":"oa_1","email_primary":null})", {}, false, false},
    };
    for (const auto &c : cases) {
        const QJsonObject input = object(c.json);
        if (!c.decodes) {
            EXPECT_THROW(OrvalenAccount::fromJson(input), OrvalenJSON::DecodingError) << c.json;
            continue;
        }
        const OrvalenAccount account = OrvalenAccount::fromJson(input);
        EXPECT_EQ(account.orvalenAccountId.raw, QStringLiteral("oa_1")) << c.json;
        EXPECT_EQ(account.emailPrimary, QStringLiteral("a@b.c")) << c.json;
        EXPECT_EQ(account.providers, c.providers) << c.json;
        const QJsonObject written = account.toJson();
        EXPECT_EQ(written.contains(QStringLiteral("providers")), c.writesProviders) << c.json;
        EXPECT_EQ(OrvalenAccount::fromJson(written), account) << c.json;
    }
}

TEST(OrvalenAccountRecord, EqualityAndHashCoverEveryField)
{
    const OrvalenAccount base{OrvalenAccountID(QString::fromLatin1(wellFormed)), QStringLiteral("a@b.c"), std::nullopt};
    OrvalenAccount emptyList = base;
    emptyList.providers = QList<OrvalenProvider>{};
    OrvalenAccount otherMail = base;
    otherMail.emailPrimary = QStringLiteral("A@b.c");
    EXPECT_NE(base, emptyList);
    EXPECT_NE(base, otherMail);
    const QSet<OrvalenAccount> set{base, emptyList, otherMail, base};
    EXPECT_EQ(set.size(), 3);
}

} // namespace
