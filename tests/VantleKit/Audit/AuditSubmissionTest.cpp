#include "VantleKit/Audit/AuditCategoryColors.h"
#include "VantleKit/Audit/AuditMath.h"
#include "VantleKit/Audit/AuditText.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <functional>
#include <iomanip>
#include <limits>

namespace {

VantJSONValue num(double x)
{
    return VantJSONValue::number(x);
}

AuditState dashState()
{
    AuditState state = AuditState::initial();
    state.enterDash();
    return state;
}

struct ExpectedCategory {
    const char16_t *name;
    CategoryKind kind;
    QString color;
    qint64 budget;
};

void expectCategories(const QList<VantAuditCategoryInput> &actual, const QList<ExpectedCategory> &expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (qsizetype i = 0; i < actual.size(); ++i) {
        const VantAuditCategoryInput &c = actual[i];
        EXPECT_EQ(c.name, QString::fromUtf16(expected[i].name)) << i;
        EXPECT_EQ(c.kind, expected[i].kind) << i;
        EXPECT_EQ(c.color, expected[i].color) << i;
        EXPECT_FALSE(c.icon.has_value()) << i;
        EXPECT_EQ(c.weeklyBudgetHalfHours, expected[i].budget) << i;
        EXPECT_EQ(c.position, i);
    }
}

TEST(AuditSubmission, InitialDashboardPayload)
{
    const AuditSubmission submission = AuditMath::buildSubmitBody(dashState(), QStringLiteral("Europe/Paris"));
    expectCategories(submission.categories, {
                                                {u"Work", CategoryKind::committed, QStringLiteral("#7C9EF5"), 95},
                                                {u"Upkeep", CategoryKind::committed, QStringLiteral("#C58BF2"), 28},
                                                {u"People", CategoryKind::committed, QStringLiteral("#6FD1A6"), 30},
                                                {u"", CategoryKind::yours, QStringLiteral("#F0A32A"), 2},
                                            });
    EXPECT_EQ(submission.sleepHours, 8);
    EXPECT_EQ(submission.wakeTime, 6.5);
    EXPECT_EQ(submission.timezone, QStringLiteral("Europe/Paris"));

    const VantJSONValue days = VantJSONValue::array({
        VantJSONValue::boolean(true), VantJSONValue::boolean(true), VantJSONValue::boolean(true),
        VantJSONValue::boolean(true), VantJSONValue::boolean(true), VantJSONValue::boolean(false),
        VantJSONValue::boolean(false),
    });
    const VantJSONValue answers = VantJSONValue::object({
        {QStringLiteral("sleep"), num(8)},
        {QStringLiteral("wake"), num(6.5)},
        {QStringLiteral("days"), days},
        {QStringLiteral("leave"), num(8)},
        {QStringLiteral("back"), num(17.5)},
        {QStringLiteral("wfh"), VantJSONValue::boolean(false)},
        {QStringLiteral("wfhHours"), num(8)},
        {QStringLiteral("upkeepDay"), num(2)},
        {QStringLiteral("familyWk"), num(15)},
        {QStringLiteral("workPenciled"), VantJSONValue::boolean(false)},
        {QStringLiteral("activities"), VantJSONValue::array({})},
        {QStringLiteral("yoursCategories"),
         VantJSONValue::array({VantJSONValue::object(
             {{QStringLiteral("name"), VantJSONValue::string(QString())}, {QStringLiteral("hours"), num(1)}})})},
    });
    EXPECT_EQ(submission.answers, answers) << submission.answers.encode().toStdString();
    const VantJSONValue derived = VantJSONValue::object({
        {QStringLiteral("w"), num(112)},
        {QStringLiteral("committed"), num(76.5)},
        {QStringLiteral("yours"), num(35.5)},
        {QStringLiteral("sleep_weekly"), num(56)},
        {QStringLiteral("receipt"), VantJSONValue::object({{QStringLiteral("total"), num(168)},
                                                           {QStringLiteral("asleep"), num(56)},
                                                           {QStringLiteral("committed"), num(76.5)}})},
    });
    EXPECT_EQ(submission.derived, derived) << submission.derived.encode().toStdString();
}

TEST(AuditSubmission, RequestBodyCarriesAllSixMembers)
{
    const QJsonObject body = AuditMath::buildSubmitBody(dashState(), QStringLiteral("UTC")).requestBody();
    EXPECT_EQ(body.keys(), (QStringList{QStringLiteral("answers"), QStringLiteral("categories"),
                                        QStringLiteral("derived"), QStringLiteral("sleep_hours"),
                                        QStringLiteral("timezone"), QStringLiteral("wake_time")}));
    EXPECT_EQ(body.value(QStringLiteral("sleep_hours")).toDouble(), 8);
    EXPECT_EQ(body.value(QStringLiteral("wake_time")).toDouble(), 6.5);
    EXPECT_EQ(body.value(QStringLiteral("timezone")).toString(), QStringLiteral("UTC"));
    const QJsonObject work = body.value(QStringLiteral("categories")).toArray().at(0).toObject();
    EXPECT_EQ(work.keys(), (QStringList{QStringLiteral("color"), QStringLiteral("kind"), QStringLiteral("name"),
                                        QStringLiteral("position"), QStringLiteral("weekly_budget_half_hours")}));
    EXPECT_EQ(work.value(QStringLiteral("kind")).toString(), QStringLiteral("committed"));
    EXPECT_EQ(work.value(QStringLiteral("weekly_budget_half_hours")).toInteger(), 95);
    // The budgets travel as whole numbers.
    const QByteArray text = QJsonDocument(body).toJson(QJsonDocument::Compact);
    EXPECT_TRUE(text.contains("\"weekly_budget_half_hours\":95")) << text.toStdString();
    EXPECT_TRUE(text.contains("\"kind\":\"yours\"")) << text.toStdString();
}

TEST(AuditSubmission, ActivitiesThenRowsInPositionOrder)
{
    AuditState state = dashState();
    state.addActivity({QStringLiteral("Gym"), 3, 1, 0.5});
    state.addActivity({QStringLiteral(" Choir "), 1, 2.25, 0});
    state.yoursCats = {{QStringLiteral("  Piano \n"), 4.25}, {QStringLiteral("Reading"), 10}};
    const AuditSubmission submission = AuditMath::buildSubmitBody(state, QStringLiteral("UTC"));
    const QString activity = AuditCategoryColors::activity;
    const QString yours = AuditCategoryColors::yours;
    expectCategories(submission.categories, {
                                                {u"Work", CategoryKind::committed, AuditCategoryColors::work, 95},
                                                {u"Upkeep", CategoryKind::committed, AuditCategoryColors::upkeep, 28},
                                                {u"People", CategoryKind::committed, AuditCategoryColors::people, 30},
                                                {u"Gym", CategoryKind::committed, activity, 9},
                                                {u" Choir ", CategoryKind::committed, activity, 5},
                                                {u"Piano", CategoryKind::yours, yours, 9},
                                                {u"Reading", CategoryKind::yours, yours, 20},
                                            });
    // The rows keep their typed names in the answers.
    const auto rows = submission.answers.member(QStringLiteral("yoursCategories"))->arrayValue();
    ASSERT_TRUE(rows && rows->size() == 2);
    EXPECT_EQ(rows->at(0).member(QStringLiteral("name"))->stringValue(), QStringLiteral("  Piano \n"));
    EXPECT_EQ(rows->at(0).member(QStringLiteral("hours"))->numberValue(), 4.25);
    const auto acts = submission.answers.member(QStringLiteral("activities"))->arrayValue();
    ASSERT_TRUE(acts && acts->size() == 2);
    EXPECT_EQ(acts->at(1),
              VantJSONValue::object({{QStringLiteral("name"), VantJSONValue::string(QStringLiteral(" Choir "))},
                                     {QStringLiteral("times"), num(1)},
                                     {QStringLiteral("len"), num(2.25)},
                                     {QStringLiteral("over"), num(0)}}));
    // Committed counts the activities (4.5 + 2.25) unrounded.
    EXPECT_EQ(submission.derived.member(QStringLiteral("committed"))->numberValue(), 83.25);
    EXPECT_EQ(submission.derived.member(QStringLiteral("yours"))->numberValue(), 28.75);
}

TEST(AuditSubmission, FixedCategoriesStayAtZeroAndOverCommittedIsNegative)
{
    AuditState state = AuditState::initial();
    state.v = {0, 0, 0};
    state.s.sleep = 6;
    state.addActivity({QStringLiteral("Shifts"), 7, 20, 0});
    const AuditSubmission submission = AuditMath::buildSubmitBody(state, QString());
    ASSERT_EQ(submission.categories.size(), 5);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(submission.categories[i].weeklyBudgetHalfHours, 0);
    EXPECT_EQ(submission.derived.member(QStringLiteral("yours"))->numberValue(), 126 - 140);
    EXPECT_EQ(submission.derived.member(QStringLiteral("sleep_weekly"))->numberValue(), 42);
}

TEST(AuditSubmission, NonFiniteBudgetsSaturateInsteadOfBreaking)
{
    AuditState state = AuditState::initial();
    const double huge = std::numeric_limits<double>::max();
    state.v = {huge, -huge, std::numeric_limits<double>::quiet_NaN()};
    state.addActivity({QStringLiteral("a"), huge, huge, 0});
    const AuditSubmission submission = AuditMath::buildSubmitBody(state, QString());
    EXPECT_EQ(submission.categories[0].weeklyBudgetHalfHours, std::numeric_limits<qint64>::max());
    EXPECT_EQ(submission.categories[1].weeklyBudgetHalfHours, std::numeric_limits<qint64>::min());
    EXPECT_EQ(submission.categories[2].weeklyBudgetHalfHours, 0);
    EXPECT_EQ(submission.categories[3].weeklyBudgetHalfHours, std::numeric_limits<qint64>::max());
}

// Every budget of the submission goes through the same half-hour rounding: ties go up,
// and a value past what 64 bits hold stops at the largest number instead of wrapping.
// The rows sit on both sides of each boundary, for each kind of category.
TEST(AuditSubmission, EveryBudgetRoundsAndSaturatesAtTheSamePoints)
{
    constexpr double two62 = 4611686018427387904.0; // twice this is the first value 64 bits miss
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    const struct {
        double hours;
        qint64 halves;
    } values[] = {
        {0.25, 1},
        {0.24999, 0},
        {0.75, 2},
        {0.74999, 1},
        {-0.25, 0},
        {-0.25001, -1},
        {two62, max},
        {std::nextafter(two62, 0.0), 9223372036854774784},
        {std::nextafter(two62, 1e300), max},
        {-two62, min},
        {std::nextafter(-two62, -1e300), min},
        {std::nextafter(-two62, 0.0), -9223372036854774784},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    using Place = std::function<void(AuditState &, double)>;
    const struct {
        const char *kind;
        Place place;
        int index;
    } kinds[] = {
        {"work", [](AuditState &s, double h) { s.v.work = h; }, 0},
        {"upkeep", [](AuditState &s, double h) { s.v.upkeep = h; }, 1},
        {"people", [](AuditState &s, double h) { s.v.family = h; }, 2},
        {"activity", [](AuditState &s, double h) { s.acts = {{QStringLiteral("Gym"), 1, h, 0}}; }, 3},
        {"yours row", [](AuditState &s, double h) { s.yoursCats = {{QStringLiteral("Piano"), h}}; }, 3},
    };
    for (const auto &kind : kinds) {
        for (const auto &value : values) {
            AuditState state = AuditState::initial();
            kind.place(state, value.hours);
            const AuditSubmission submission = AuditMath::buildSubmitBody(state, QStringLiteral("UTC"));
            ASSERT_GT(submission.categories.size(), kind.index);
            EXPECT_EQ(submission.categories[kind.index].weeklyBudgetHalfHours, value.halves)
                << kind.kind << " " << std::setprecision(20) << value.hours;
        }
    }
    for (const auto &value : values)
        EXPECT_EQ(AuditMath::halfHours(value.hours), value.halves) << std::setprecision(20) << value.hours;

    // The hours shown saturate at the same point of their own whole part.
    const struct {
        double hours;
        const char16_t *shown;
    } shown[] = {
        {2 * two62, u"9223372036854775807"},
        {std::nextafter(2 * two62, 0.0), u"9223372036854774784"},
        {-2 * two62, u"\u22129223372036854775807"},
        {std::nextafter(-2 * two62, 0.0), u"\u22129223372036854774784"},
    };
    for (const auto &c : shown)
        EXPECT_EQ(AuditMath::fmtH(c.hours), QString::fromUtf16(c.shown)) << std::setprecision(20) << c.hours;
}

// --- import ---------------------------------------------------------------------------

QString hashOf(const QByteArray &json)
{
    return QStringLiteral("#a=")
        + QString::fromLatin1(json.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString hashOf(const QJsonObject &root)
{
    return hashOf(QJsonDocument(root).toJson(QJsonDocument::Compact));
}

QJsonObject wellFormedAnswers()
{
    return QJsonObject{
        {QStringLiteral("sleep"), 7.5},
        {QStringLiteral("wake"), 6},
        {QStringLiteral("days"), QJsonArray{true, true, false, true, true, false, true}},
        {QStringLiteral("leave"), 9},
        {QStringLiteral("back"), 18},
        {QStringLiteral("wfh"), true},
        {QStringLiteral("wfhHours"), 7},
        {QStringLiteral("upkeepDay"), 1.5},
        {QStringLiteral("familyWk"), 20},
        {QStringLiteral("workPenciled"), false},
        {QStringLiteral("activities"),
         QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("Gym")},
                                {QStringLiteral("times"), 3},
                                {QStringLiteral("len"), 1},
                                {QStringLiteral("over"), 0.5}}}},
        {QStringLiteral("yoursCategories"),
         QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral(" Piano ")}, {QStringLiteral("hours"), 3}}}},
    };
}

QString hashWith(const std::function<void(QJsonObject &)> &change)
{
    QJsonObject answers = wellFormedAnswers();
    change(answers);
    return hashOf(QJsonObject{{QStringLiteral("answers"), answers}});
}

TEST(AuditImport, ReadsAWellFormedImport)
{
    const auto imported = AuditMath::parseImportHash(hashWith([](QJsonObject &) {}));
    ASSERT_TRUE(imported.has_value());
    EXPECT_EQ(imported->s, (QuizAnswers{7.5, 6, {true, true, false, true, true, false, true}, 9, 18, true, 7, 1.5,
                                        20, false}));
    EXPECT_EQ(imported->acts, (QList<AuditActivity>{{QStringLiteral("Gym"), 3, 1, 0.5}}));
    EXPECT_EQ(imported->yoursCats, (QList<YoursCategoryDraft>{{QStringLiteral(" Piano "), 3}}));
}

TEST(AuditImport, RoundTripsASubmission)
{
    AuditState state = dashState();
    state.toggleWfh();
    state.pickWfhHours(9);
    state.addActivity({QStringLiteral("Gym"), 3, 1, 0.5});
    state.yoursCats = {{QStringLiteral("Piano"), 4}, {QStringLiteral("Walks"), 2.5}};
    const AuditSubmission submission = AuditMath::buildSubmitBody(state, QStringLiteral("UTC"));
    const QJsonObject root{{QStringLiteral("answers"), submission.answers.toJson()},
                           {QStringLiteral("derived"), submission.derived.toJson()}};
    const auto imported = AuditMath::parseImportHash(hashOf(root));
    ASSERT_TRUE(imported.has_value());
    EXPECT_EQ(imported->s, state.s);
    EXPECT_EQ(imported->acts, state.acts);
    EXPECT_EQ(imported->yoursCats, state.yoursCats);
}

TEST(AuditImport, PaddingAndAlphabet)
{
    // A text whose base64 needs padding, sent with the padding, without it, and with the
    // url-safe characters that the reader turns back.
    const QByteArray json = QJsonDocument(QJsonObject{{QStringLiteral("answers"), wellFormedAnswers()}})
                                .toJson(QJsonDocument::Compact);
    const QByteArray padded = json.toBase64(QByteArray::Base64UrlEncoding);
    const QByteArray bare = json.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    ASSERT_NE(padded, bare) << "pick a text whose encoding needs padding";
    EXPECT_TRUE(AuditMath::parseImportHash(QStringLiteral("#a=") + QString::fromLatin1(padded)).has_value());
    EXPECT_TRUE(AuditMath::parseImportHash(QStringLiteral("#a=") + QString::fromLatin1(bare)).has_value());
    // A name full of '?' and '>' makes the url-safe characters appear.
    const QString special = hashWith([](QJsonObject &a) {
        a.insert(QStringLiteral("yoursCategories"),
                 QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("?? ?> >>~~~")},
                                        {QStringLiteral("hours"), 1}}});
    });
    ASSERT_TRUE(special.contains(QLatin1Char('_')) || special.contains(QLatin1Char('-'))) << special.toStdString();
    const auto imported = AuditMath::parseImportHash(special);
    ASSERT_TRUE(imported.has_value());
    EXPECT_EQ(imported->yoursCats->at(0).name, QStringLiteral("?? ?> >>~~~"));
    // The standard alphabet's '+' and '/' are read as well.
    QString standard = special;
    standard.replace(QLatin1Char('-'), QLatin1Char('+')).replace(QLatin1Char('_'), QLatin1Char('/'));
    EXPECT_TRUE(AuditMath::parseImportHash(standard).has_value());
}

TEST(AuditImport, RejectsMalformedTexts)
{
    const QString good = hashWith([](QJsonObject &) {});
    const auto without = [](const char *key) {
        return hashWith([key](QJsonObject &a) { a.remove(QString::fromLatin1(key)); });
    };
    const auto with = [](const char *key, const QJsonValue &value) {
        return hashWith([key, value](QJsonObject &a) { a.insert(QString::fromLatin1(key), value); });
    };
    const struct {
        const char *label;
        QString text;
    } cases[] = {
        {"empty", QString()},
        {"no prefix", good.mid(3)},
        {"other prefix", QStringLiteral("#b=") + good.mid(3)},
        {"prefix without '#'", good.mid(1)},
        {"leading space", QLatin1Char(' ') + good},
        {"prefix alone", QStringLiteral("#a=")},
        {"truncated by one", good.left(good.size() - 1)},
        {"truncated by five", good.left(good.size() - 5)},
        {"truncated to half", good.left(3 + (good.size() - 3) / 2)},
        {"one character of base64", QStringLiteral("#a=e")},
        {"too much padding", good + QStringLiteral("====")},
        {"whitespace inside", good.left(10) + QStringLiteral(" ") + good.mid(10)},
        {"newline at the end", good + QLatin1Char('\n')},
        {"non-ASCII", good + QStringLiteral("\u00E9")},
        {"emoji", good + QStringLiteral("\U0001F600")},
        {"base64 of nonsense", hashOf(QByteArray("not json"))},
        {"a bare number", hashOf(QByteArray("42"))},
        {"an array", hashOf(QByteArray("[{\"answers\":{}}]"))},
        {"answers not an object", hashOf(QByteArray("{\"answers\":[1,2]}"))},
        {"answers null", hashOf(QByteArray("{\"answers\":null}"))},
        {"no answers", hashOf(QJsonObject{{QStringLiteral("sleep"), 8}})},
        {"trailing garbage", hashOf(QJsonDocument(QJsonObject{{QStringLiteral("answers"), wellFormedAnswers()}})
                                        .toJson(QJsonDocument::Compact)
                                    + "}")},
        {"deep nesting", hashOf(QByteArray(100000, '['))},
        {"sleep missing", without("sleep")},
        {"wake missing", without("wake")},
        {"leave missing", without("leave")},
        {"back missing", without("back")},
        {"wfhHours missing", without("wfhHours")},
        {"upkeepDay missing", without("upkeepDay")},
        {"familyWk missing", without("familyWk")},
        {"days missing", without("days")},
        {"sleep a string", with("sleep", QStringLiteral("8"))},
        {"sleep null", with("sleep", QJsonValue::Null)},
        {"familyWk a bool", with("familyWk", true)},
        {"days of 6", with("days", QJsonArray{true, true, true, true, true, false})},
        {"days of 8", with("days", QJsonArray{true, true, true, true, true, false, false, false})},
        {"days an object", with("days", QJsonObject{})},
    };
    for (const auto &c : cases)
        EXPECT_FALSE(AuditMath::parseImportHash(c.text).has_value()) << c.label;
}

TEST(AuditImport, SkipsWhatItCannotUse)
{
    const auto imported = [](const std::function<void(QJsonObject &)> &change) {
        const auto result = AuditMath::parseImportHash(hashWith(change));
        EXPECT_TRUE(result.has_value());
        return result.value_or(ImportedAudit{});
    };
    const auto row = [](const QJsonValue &name, const QJsonValue &hours) {
        return QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("hours"), hours}};
    };

    // Optional booleans.
    auto result = imported([](QJsonObject &a) {
        a.remove(QStringLiteral("wfh"));
        a.remove(QStringLiteral("workPenciled"));
    });
    EXPECT_FALSE(result.s.wfh);
    EXPECT_FALSE(result.s.workPenciled);
    result = imported([](QJsonObject &a) {
        a.insert(QStringLiteral("wfh"), 1);
        a.insert(QStringLiteral("workPenciled"), QStringLiteral("true"));
    });
    EXPECT_FALSE(result.s.wfh);
    EXPECT_FALSE(result.s.workPenciled);
    result = imported([](QJsonObject &a) { a.insert(QStringLiteral("workPenciled"), true); });
    EXPECT_TRUE(result.s.workPenciled);

    // Days that are not booleans read as false.
    result = imported([](QJsonObject &a) {
        a.insert(QStringLiteral("days"), QJsonArray{1, true, QStringLiteral("true"), QJsonValue::Null,
                                                    QJsonObject{}, QJsonArray{}, false});
    });
    EXPECT_EQ(result.s.days, (QList<bool>{false, true, false, false, false, false, false}));

    // Activities: malformed ones are skipped, names cut to 40 whole characters.
    const QString fifty = QString(50, QLatin1Char('n'));
    const QString flags = QString(45, QLatin1Char('x')).replace(QLatin1String("x"), QStringLiteral("\U0001F1EB\U0001F1F7"));
    result = imported([&](QJsonObject &a) {
        a.insert(QStringLiteral("activities"),
                 QJsonArray{
                     QJsonObject{{QStringLiteral("name"), fifty}, {QStringLiteral("times"), 1},
                                 {QStringLiteral("len"), 1}, {QStringLiteral("over"), 0}},
                     QJsonObject{{QStringLiteral("name"), 5}, {QStringLiteral("times"), 1},
                                 {QStringLiteral("len"), 1}, {QStringLiteral("over"), 0}},
                     QJsonObject{{QStringLiteral("name"), QStringLiteral("no over")}, {QStringLiteral("times"), 1},
                                 {QStringLiteral("len"), 1}},
                     QJsonObject{{QStringLiteral("name"), QStringLiteral("len text")}, {QStringLiteral("times"), 1},
                                 {QStringLiteral("len"), QStringLiteral("1")}, {QStringLiteral("over"), 0}},
                     QStringLiteral("Gym"),
                     QJsonValue::Null,
                     QJsonObject{{QStringLiteral("name"), flags}, {QStringLiteral("times"), 2},
                                 {QStringLiteral("len"), 0.5}, {QStringLiteral("over"), 0.5}},
                 });
    });
    ASSERT_EQ(result.acts.size(), 2);
    EXPECT_EQ(result.acts[0], (AuditActivity{QString(40, QLatin1Char('n')), 1, 1, 0}));
    EXPECT_EQ(AuditText::graphemeCount(result.acts[1].name), 40);
    EXPECT_EQ(result.acts[1].name, flags.left(160)); // 40 flags of two surrogate pairs each
    result = imported([](QJsonObject &a) { a.insert(QStringLiteral("activities"), QJsonObject{}); });
    EXPECT_TRUE(result.acts.isEmpty());
    result = imported([](QJsonObject &a) { a.remove(QStringLiteral("activities")); });
    EXPECT_TRUE(result.acts.isEmpty());

    // Rows: skipped when malformed, at most five, absent when none is usable.
    result = imported([&](QJsonObject &a) {
        QJsonArray rows;
        for (int i = 0; i < 7; ++i)
            rows.append(row(QStringLiteral("row %1").arg(i), i + 1));
        rows.prepend(row(7, 1));
        rows.prepend(QStringLiteral("row"));
        a.insert(QStringLiteral("yoursCategories"), rows);
    });
    ASSERT_TRUE(result.yoursCats.has_value());
    ASSERT_EQ(result.yoursCats->size(), 5);
    EXPECT_EQ(result.yoursCats->first(), (YoursCategoryDraft{QStringLiteral("row 0"), 1}));
    EXPECT_EQ(result.yoursCats->last(), (YoursCategoryDraft{QStringLiteral("row 4"), 5}));
    // Row names are not cut.
    result = imported([&](QJsonObject &a) {
        a.insert(QStringLiteral("yoursCategories"), QJsonArray{row(fifty, 2)});
    });
    EXPECT_EQ(result.yoursCats->first().name, fifty);
    for (const QJsonValue &rows : {QJsonValue(QJsonArray{}), QJsonValue(QJsonArray{row(QStringLiteral("x"), QStringLiteral("1")), QJsonValue(3)}),
                                   QJsonValue(QJsonObject{}), QJsonValue(QJsonValue::Null)}) {
        result = imported([&](QJsonObject &a) { a.insert(QStringLiteral("yoursCategories"), rows); });
        EXPECT_FALSE(result.yoursCats.has_value());
    }
    result = imported([](QJsonObject &a) { a.remove(QStringLiteral("yoursCategories")); });
    EXPECT_FALSE(result.yoursCats.has_value());
}

// A JSON escape can name half of a surrogate pair; such a name is no text at all and would
// be sent back to the service as it came. The element carrying it is skipped like any
// other malformed one; a whole pair is a character like any other.
TEST(AuditImport, NamesThatAreNotWellFormedTextAreSkipped)
{
    const struct {
        const char *label;
        const char *escaped; // the name as it stands inside the JSON string
        bool kept;
        const char16_t *name;
    } cases[] = {
        {"a lone high half", R"(\ud800)", false, nullptr},
        {"a lone low half", R"(\udc00)", false, nullptr},
        {"a high half at the end", R"(Piano \ud83d)", false, nullptr},
        {"a low half at the start", R"(\ude00 Piano)", false, nullptr},
        {"halves in the wrong order", R"(\ude00\ud83d)", false, nullptr},
        {"two high halves", R"(\ud83d\ud83d)", false, nullptr},
        {"a whole pair", R"(\ud83d\ude00)", true, u"\U0001F600"},
        {"a pair written as text", "\xF0\x9F\x8E\xB8 Guitar", true, u"\U0001F3B8 Guitar"},
        {"plain escapes", R"(Caf\u00e9 \"Nord\")", true, u"Café \"Nord\""},
    };
    for (const auto &c : cases) {
        const QByteArray name = QByteArray("\"") + c.escaped + "\"";
        const QByteArray json = R"({"answers":{"sleep":8,"wake":6.5,"days":[true,true,true,true,true,false,false],)"
                                R"("leave":8,"back":17.5,"wfhHours":8,"upkeepDay":2,"familyWk":15,)"
                                R"("activities":[{"name":)" + name + R"(,"times":1,"len":1,"over":0},)"
                                R"({"name":"Gym","times":2,"len":1,"over":0}],)"
                                R"("yoursCategories":[{"name":)" + name + R"(,"hours":2},{"name":"Walks","hours":1}]}})";
        const auto imported = AuditMath::parseImportHash(hashOf(json));
        ASSERT_TRUE(imported.has_value()) << c.label;
        QStringList activities, rows;
        for (const AuditActivity &activity : imported->acts)
            activities.append(activity.name);
        for (const YoursCategoryDraft &row : imported->yoursCats.value_or(QList<YoursCategoryDraft>()))
            rows.append(row.name);
        if (c.kept) {
            EXPECT_EQ(activities, (QStringList{QString::fromUtf16(c.name), QStringLiteral("Gym")})) << c.label;
            EXPECT_EQ(rows, (QStringList{QString::fromUtf16(c.name), QStringLiteral("Walks")})) << c.label;
        } else {
            EXPECT_EQ(activities, QStringList{QStringLiteral("Gym")}) << c.label;
            EXPECT_EQ(rows, QStringList{QStringLiteral("Walks")}) << c.label;
        }
        for (const QString &text : activities + rows)
            EXPECT_TRUE(text.isValidUtf16()) << c.label;
    }
}

TEST(AuditImport, HydrateOpensTheDashboard)
{
    // Rows are kept when the import has none; activities are always replaced.
    AuditState state = AuditState::initial();
    state.yoursCats = {{QStringLiteral("Keep me"), 3}};
    state.addActivity({QStringLiteral("Old"), 1, 1, 0});
    const auto noRows = AuditMath::parseImportHash(hashWith([](QJsonObject &a) {
        a.insert(QStringLiteral("yoursCategories"), QJsonArray{});
        a.insert(QStringLiteral("activities"), QJsonArray{});
    }));
    ASSERT_TRUE(noRows.has_value());
    state.hydrate(*noRows);
    EXPECT_EQ(state.yoursCats, (QList<YoursCategoryDraft>{{QStringLiteral("Keep me"), 3}}));
    EXPECT_TRUE(state.acts.isEmpty());
    EXPECT_EQ(state.screen, AuditScreen::dash);
    EXPECT_EQ(state.revealNonce, 1);
    EXPECT_EQ(state.s.sleep, 7.5);
    EXPECT_EQ(state.v.work, 35); // 5 days at home of 7 hours
    EXPECT_EQ(state.v.upkeep, 10.5);
    EXPECT_EQ(state.v.family, 20);

    const auto withRows = AuditMath::parseImportHash(hashWith([](QJsonObject &) {}));
    state.hydrate(*withRows);
    EXPECT_EQ(state.yoursCats, (QList<YoursCategoryDraft>{{QStringLiteral(" Piano "), 3}}));
    EXPECT_EQ(state.acts.size(), 1);
    EXPECT_EQ(state.revealNonce, 2);
}

TEST(AuditImport, HydrateKeepsATunedValueOverTheSameAnswers)
{
    AuditState state = AuditState::initial();
    state.enterDash();
    state.tune(TuneCat::work, 1);
    ASSERT_EQ(state.v.work, 48);
    // An import of the same work answers but another family answer.
    QJsonObject answers = AuditMath::buildSubmitBody(state, QString()).answers.toJson().toObject();
    answers.insert(QStringLiteral("familyWk"), 25);
    const auto same = AuditMath::parseImportHash(hashOf(QJsonObject{{QStringLiteral("answers"), answers}}));
    ASSERT_TRUE(same.has_value());
    state.hydrate(*same);
    EXPECT_EQ(state.v.work, 48);
    EXPECT_TRUE(state.tuned.work);
    EXPECT_EQ(state.v.family, 25);
    // Another workday re-derives.
    answers.insert(QStringLiteral("days"), QJsonArray{true, true, true, true, false, false, false});
    state.hydrate(*AuditMath::parseImportHash(hashOf(QJsonObject{{QStringLiteral("answers"), answers}})));
    EXPECT_EQ(state.v.work, 38);
    EXPECT_FALSE(state.tuned.work);
}

TEST(AuditImport, HostileNumbersNeverBreakTheArithmetic)
{
    // Values far beyond anything the audit offers: the week and its budgets stay defined.
    const auto imported = AuditMath::parseImportHash(hashWith([](QJsonObject &a) {
        a.insert(QStringLiteral("sleep"), -1e308);
        a.insert(QStringLiteral("wfhHours"), 1e308);
        a.insert(QStringLiteral("upkeepDay"), 1e308);
        a.insert(QStringLiteral("familyWk"), -1e308);
        a.insert(QStringLiteral("activities"),
                 QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("up")}, {QStringLiteral("times"), 1e308},
                                        {QStringLiteral("len"), 1e308}, {QStringLiteral("over"), 0}},
                            QJsonObject{{QStringLiteral("name"), QStringLiteral("down")}, {QStringLiteral("times"), -1e308},
                                        {QStringLiteral("len"), 1e308}, {QStringLiteral("over"), 0}}});
        a.insert(QStringLiteral("yoursCategories"),
                 QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("x")}, {QStringLiteral("hours"), 1e308}}});
    }));
    ASSERT_TRUE(imported.has_value());
    AuditState state = AuditState::initial();
    state.hydrate(*imported);
    const AuditSubmission submission = AuditMath::buildSubmitBody(state, QStringLiteral("UTC"));
    const qint64 max = std::numeric_limits<qint64>::max();
    const qint64 min = std::numeric_limits<qint64>::min();
    ASSERT_EQ(submission.categories.size(), 6);
    EXPECT_EQ(submission.categories[0].weeklyBudgetHalfHours, max); // 5 days of 1e308 hours
    EXPECT_EQ(submission.categories[1].weeklyBudgetHalfHours, max);
    EXPECT_EQ(submission.categories[2].weeklyBudgetHalfHours, min);
    EXPECT_EQ(submission.categories[3].weeklyBudgetHalfHours, max);
    EXPECT_EQ(submission.categories[4].weeklyBudgetHalfHours, min);
    EXPECT_EQ(submission.categories[5].weeklyBudgetHalfHours, max);
    // inf - inf: not a number, shown as 0 rather than undefined.
    EXPECT_EQ(AuditMath::fmtH(AuditMath::committed(state)), QStringLiteral("0"));
    EXPECT_FALSE(AuditMath::fmtH(AuditMath::yoursHours(state)).isEmpty());
}

} // namespace
