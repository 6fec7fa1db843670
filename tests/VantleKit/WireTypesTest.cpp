#include "VantleKit/CategoryKind.h"
#include "VantleKit/VantAPIError.h"
#include "VantleKit/VantAuditCategoryInput.h"
#include "VantleKit/VantAuditRecord.h"
#include "VantleKit/VantCategory.h"
#include "VantleKit/VantJSONValue.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonObject parse(const char *text)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return document.object();
}

TEST(CategoryKind, RawValues)
{
    const struct {
        CategoryKind kind;
        const char *raw;
    } cases[] = {
        {CategoryKind::committed, "committed"},
        {CategoryKind::yours, "yours"},
        {CategoryKind::sleep, "sleep"},
        {CategoryKind::unaccounted, "unaccounted"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(toRaw(c.kind), QString::fromLatin1(c.raw));
        EXPECT_EQ(fromRaw<CategoryKind>(QString::fromLatin1(c.raw)), c.kind);
    }
    for (const char *bad : {"", "Committed", "yours ", "other"})
        EXPECT_FALSE(fromRaw<CategoryKind>(QString::fromLatin1(bad)).has_value()) << bad;
}

TEST(VantCategory, DecodesByTheRecordRules)
{
    const struct {
        const char *label;
        const char *json;
        std::optional<VantCategory> expected;
    } cases[] = {
        {"every member",
         R"({"id":"c1","name":"Work","kind":"committed","color":"#7C9EF5","icon":"briefcase",
             "weekly_budget_half_hours":95,"position":0,"archived":false})",
         VantCategory{QStringLiteral("c1"), QStringLiteral("Work"), CategoryKind::committed,
                      QStringLiteral("#7C9EF5"), QStringLiteral("briefcase"), 95, 0, false}},
        {"optional members missing",
         R"({"id":"c2","name":"Piano","kind":"yours","position":4,"archived":true})",
         VantCategory{QStringLiteral("c2"), QStringLiteral("Piano"), CategoryKind::yours, std::nullopt,
                      std::nullopt, std::nullopt, 4, true}},
        {"optional members null, unknown members ignored",
         R"({"id":"c3","name":"Sleep","kind":"sleep","color":null,"icon":null,"weekly_budget_half_hours":null,
             "position":1.0,"archived":false,"created_at":"2026-01-01T00:00:00Z","extra":{"a":[1]}})",
         VantCategory{QStringLiteral("c3"), QStringLiteral("Sleep"), CategoryKind::sleep, std::nullopt,
                      std::nullopt, std::nullopt, 1, false}},
        {"id missing", R"({"name":"W","kind":"yours","position":0,"archived":false})", std::nullopt},
        {"id a number", R"({"id":7,"name":"W","kind":"yours","position":0,"archived":false})", std::nullopt},
        {"name null", R"({"id":"c","name":null,"kind":"yours","position":0,"archived":false})", std::nullopt},
        {"unknown kind", R"({"id":"c","name":"W","kind":"other","position":0,"archived":false})", std::nullopt},
        {"kind a number", R"({"id":"c","name":"W","kind":1,"position":0,"archived":false})", std::nullopt},
        {"color a number", R"({"id":"c","name":"W","kind":"yours","color":1,"position":0,"archived":false})",
         std::nullopt},
        {"budget a string",
         R"({"id":"c","name":"W","kind":"yours","weekly_budget_half_hours":"9","position":0,"archived":false})",
         std::nullopt},
        {"budget fractional",
         R"({"id":"c","name":"W","kind":"yours","weekly_budget_half_hours":9.5,"position":0,"archived":false})",
         std::nullopt},
        {"budget beyond 64 bits",
         R"({"id":"c","name":"W","kind":"yours","weekly_budget_half_hours":1e19,"position":0,"archived":false})",
         std::nullopt},
        {"position missing", R"({"id":"c","name":"W","kind":"yours","archived":false})", std::nullopt},
        {"archived a number", R"({"id":"c","name":"W","kind":"yours","position":0,"archived":0})", std::nullopt},
        {"archived missing", R"({"id":"c","name":"W","kind":"yours","position":0})", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(VantCategory::fromJson(parse(c.json)), c.expected) << c.label;
}

TEST(VantCategory, WritesOnlyPresentMembers)
{
    VantCategory category{QStringLiteral("c1"), QStringLiteral("Work"), CategoryKind::committed, std::nullopt,
                          std::nullopt, std::nullopt, 2, false};
    QJsonObject json = category.toJson();
    EXPECT_EQ(json.keys(), (QStringList{QStringLiteral("archived"), QStringLiteral("id"), QStringLiteral("kind"),
                                        QStringLiteral("name"), QStringLiteral("position")}));
    category.color = QStringLiteral("#000000");
    category.weeklyBudgetHalfHours = 3;
    json = category.toJson();
    EXPECT_EQ(json.value(QStringLiteral("weekly_budget_half_hours")).toInteger(), 3);
    EXPECT_EQ(VantCategory::fromJson(json), category);
}

TEST(VantAuditCategoryInput, LeavesOutAbsentColorAndIcon)
{
    const VantAuditCategoryInput bare{QStringLiteral("Piano"), CategoryKind::yours, std::nullopt, std::nullopt, 9,
                                      4};
    EXPECT_EQ(QJsonDocument(bare.toJson()).toJson(QJsonDocument::Compact),
              QByteArray(R"({"kind":"yours","name":"Piano","position":4,"weekly_budget_half_hours":9})"));
    const VantAuditCategoryInput full{QStringLiteral("Work"), CategoryKind::committed, QStringLiteral("#7C9EF5"),
                                      QStringLiteral("bag"), 95, 0};
    EXPECT_EQ(QJsonDocument(full.toJson()).toJson(QJsonDocument::Compact),
              QByteArray(R"({"color":"#7C9EF5","icon":"bag","kind":"committed","name":"Work","position":0,)"
                         R"("weekly_budget_half_hours":95})"));
    EXPECT_EQ(VantAuditCategoryInput::fromJson(full.toJson()), full);
    EXPECT_EQ(VantAuditCategoryInput::fromJson(bare.toJson()), bare);
    // A budget far beyond what a double holds exactly still travels as its exact integer.
    const VantAuditCategoryInput big{QStringLiteral("x"), CategoryKind::yours, std::nullopt, std::nullopt,
                                     std::numeric_limits<qint64>::max(), 0};
    EXPECT_TRUE(QJsonDocument(big.toJson()).toJson(QJsonDocument::Compact).contains("9223372036854775807"));
}

TEST(VantJSONValue, DecodesExactlyOneValue)
{
    const struct {
        const char *text;
        std::optional<VantJSONValue> expected;
    } cases[] = {
        {"null", VantJSONValue::null()},
        {"true", VantJSONValue::boolean(true)},
        {" 2.5 ", VantJSONValue::number(2.5)},
        {"\"a\\u00e9\"", VantJSONValue::string(QStringLiteral("a\u00E9"))},
        {"[1,\"x\",null]",
         VantJSONValue::array({VantJSONValue::number(1), VantJSONValue::string(QStringLiteral("x")), VantJSONValue()})},
        {"{\"b\":{\"c\":[]},\"a\":false}",
         VantJSONValue::object({{QStringLiteral("a"), VantJSONValue::boolean(false)},
                                {QStringLiteral("b"), VantJSONValue::object({{QStringLiteral("c"), VantJSONValue::array({})}})}})},
        {"", std::nullopt},
        {"1,2", std::nullopt},
        {"1]", std::nullopt},
        {"][", std::nullopt},
        {"{", std::nullopt},
        {"nul", std::nullopt},
        {"1e400", std::nullopt},
        {"NaN", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(VantJSONValue::decode(QByteArray(c.text)), c.expected) << c.text;
}

TEST(VantJSONValue, ComparesByValueAndRoundTrips)
{
    // Integers and doubles of the same value are one number; member order never matters.
    EXPECT_EQ(*VantJSONValue::decode("{\"a\":1,\"b\":2}"),
              VantJSONValue::object({{QStringLiteral("b"), VantJSONValue::number(2.0)},
                                     {QStringLiteral("a"), VantJSONValue::number(1.0)}}));
    EXPECT_FALSE(VantJSONValue::number(1) == VantJSONValue::boolean(true));
    EXPECT_FALSE(VantJSONValue::null() == VantJSONValue::number(0));
    EXPECT_FALSE(VantJSONValue::array({VantJSONValue::number(1)}) == VantJSONValue::array({}));
    EXPECT_FALSE(*VantJSONValue::decode("{\"a\":1}") == *VantJSONValue::decode("{\"b\":1}"));

    const VantJSONValue value = *VantJSONValue::decode("{\"n\":47.5,\"s\":\"\\u2212\",\"l\":[true,{}]}");
    EXPECT_EQ(VantJSONValue::decode(value.encode()), value);
    EXPECT_EQ(VantJSONValue::fromJson(value.toJson()), value);
    EXPECT_FALSE(VantJSONValue::fromJson(QJsonValue(QJsonValue::Undefined)).has_value());
    EXPECT_EQ(VantJSONValue::number(3).encode(), QByteArray("3"));

    EXPECT_EQ(value.member(QStringLiteral("n"))->numberValue(), 47.5);
    EXPECT_FALSE(value.member(QStringLiteral("n"))->stringValue().has_value());
    EXPECT_FALSE(value.member(QStringLiteral("missing")).has_value());
    EXPECT_FALSE(VantJSONValue::number(1).member(QStringLiteral("n")).has_value());
    EXPECT_EQ(value.member(QStringLiteral("l"))->arrayValue()->size(), 2);
    EXPECT_EQ(value.objectValue()->keys(), (QStringList{QStringLiteral("l"), QStringLiteral("n"), QStringLiteral("s")}));
    EXPECT_EQ(VantJSONValue().kind(), VantJSONValue::Kind::null);
}

TEST(VantAPIError, CarriesStatusAndCode)
{
    try {
        throw VantAPIError(422, QStringLiteral("invalid_budget"));
    } catch (const std::exception &error) {
        const auto *api = dynamic_cast<const VantAPIError *>(&error);
        ASSERT_NE(api, nullptr);
        EXPECT_EQ(api->status(), 422);
        EXPECT_EQ(api->code(), QStringLiteral("invalid_budget"));
        EXPECT_NE(std::string(error.what()).find("invalid_budget"), std::string::npos);
    }
}

} // namespace

namespace {

TEST(VantAuditRecord, DecodesByTheRecordRules)
{
    VantAuditRecord full;
    full.id = QStringLiteral("a1");
    full.answers = VantJSONValue::object({{QStringLiteral("sleep"), VantJSONValue::number(8)}});
    full.derived = VantJSONValue::object({{QStringLiteral("w"), VantJSONValue::number(112)}});
    full.sleepHours = 8;
    full.wakeTime = 6.5;
    full.timezone = QStringLiteral("Europe/Paris");
    full.createdAt = QDateTime(QDate(2026, 12, 7), QTime(4, 30, 0, 250), Qt::UTC);

    const struct {
        const char *label;
        const char *json;
        std::optional<VantAuditRecord> expected;
    } cases[] = {
        {"every member",
         R"({"id":"a1","answers":{"sleep":8},"derived":{"w":112},"sleep_hours":8,"wake_time":6.5,
             "timezone":"Europe/Paris","created_at":"2026-12-07T05:30:00.25+01:00","user":"u"})",
         full},
        {"empty", "{}", VantAuditRecord{}},
        {"nulls", R"({"id":null,"answers":null,"created_at":null})", VantAuditRecord{}},
        {"date without fraction",
         R"({"created_at":"2026-12-07T04:30:00Z"})",
         VantAuditRecord{std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                         QDateTime(QDate(2026, 12, 7), QTime(4, 30), Qt::UTC)}},
        {"date alone", R"({"created_at":"2026-12-07"})", std::nullopt},
        {"date with a space", R"({"created_at":"2026-12-07 04:30:00Z"})", std::nullopt},
        {"date a number", R"({"created_at":1765081800})", std::nullopt},
        {"id a number", R"({"id":1})", std::nullopt},
        {"sleep_hours a string", R"({"sleep_hours":"8"})", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(VantAuditRecord::fromJson(parse(c.json)), c.expected) << c.label;

    const QJsonObject written = full.toJson();
    EXPECT_EQ(written.value(QStringLiteral("created_at")).toString(), QStringLiteral("2026-12-07T04:30:00.250Z"));
    EXPECT_EQ(VantAuditRecord::fromJson(written), full);
    EXPECT_TRUE(VantAuditRecord{}.toJson().isEmpty());
}

} // namespace
