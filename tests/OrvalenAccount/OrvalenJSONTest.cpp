#include "OrvalenAccount/OrvalenJSON.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

namespace {

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

TEST(OrvalenJSONDate, AcceptsInternetDateTimes)
{
    const struct {
        const char *text;
        QDateTime expected;
    } cases[] = {
        {"2026-03-01T12:34:56Z", utc(2026, 3, 1, 12, 34, 56)},
        {"2026-03-01T12:34:56.789Z", utc(2026, 3, 1, 12, 34, 56, 789)},
        {"2026-03-01T12:34:56.7Z", utc(2026, 3, 1, 12, 34, 56, 700)},
        // Beyond the millisecond is dropped, never carried into the next second.
        {"2026-03-01T12:34:56.999999Z", utc(2026, 3, 1, 12, 34, 56, 999)},
        {"2026-03-01T12:34:56+02:00", utc(2026, 3, 1, 10, 34, 56)},
        {"2026-03-01T00:10:00.500-05:30", utc(2026, 3, 1, 5, 40, 0, 500)},
        {"2026-12-31T23:30:00-01:00", utc(2027, 1, 1, 0, 30, 0)},
        {"2024-02-29T00:00:00Z", utc(2024, 2, 29, 0, 0, 0)},
        // The offsets RFC 3339 allows run to 23:59 either way.
        {"2026-03-01T12:00:00+23:59", utc(2026, 2, 28, 12, 1, 0)},
        {"2026-03-01T12:00:00-23:59", utc(2026, 3, 2, 11, 59, 0)},
        {"2026-03-01T12:00:00+15:00", utc(2026, 2, 28, 21, 0, 0)},
        {"2026-03-01T12:00:00-00:00", utc(2026, 3, 1, 12, 0, 0)},
        // The first and last instants with a four-digit year, also through an offset.
        {"0001-01-01T00:00:00Z", utc(1, 1, 1, 0, 0, 0)},
        {"0001-01-01T00:01:00+00:01", utc(1, 1, 1, 0, 0, 0)},
        {"9999-12-31T23:59:59.999Z", utc(9999, 12, 31, 23, 59, 59, 999)},
        {"9999-12-31T23:58:59-00:01", utc(9999, 12, 31, 23, 59, 59)},
    };
    for (const auto &c : cases) {
        const QDateTime decoded = OrvalenJSON::decodeDate(QString::fromLatin1(c.text));
        EXPECT_EQ(decoded, c.expected) << c.text;
        EXPECT_EQ(decoded.timeSpec(), Qt::UTC) << c.text;
    }
}

TEST(OrvalenJSONDate, RejectsOtherFormsWithTheText)
{
    const char *const cases[] = {
        "2026-03-01",                // date alone
        "2026-03-01 12:34:56Z",      // space separator
        "2026-03-01T12:34:56",       // no zone
        "2026-03-01T12:34Z",         // no seconds
        "2026-03-01T12:34:56.Z",     // dot without digits
        "2026-03-01T12:34:56+0200",  // offset without colon
        "2026-03-01T12:34:56+02",    // offset without minutes
        "20260301T123456Z",          // basic format
        "2026-13-01T12:34:56Z",      // month 13
        "2026-02-30T12:34:56Z",      // no such day
        "2025-02-29T00:00:00Z",      // not a leap year
        "2026-03-01T24:00:00Z",      // hour 24
        "2026-03-01T12:60:00Z",      // minute 60
        "2026-03-01T12:34:56+24:00", // offset hours out of range
        "2026-03-01T12:34:56-24:00",
        "2026-03-01T12:34:56+00:60", // offset minutes out of range
        "2026-03-01T12:34:56-23:60",
        "0001-01-01T00:00:00+00:01", // before the year 0001
        "9999-12-31T23:59:00-00:01", // after the year 9999
        "0000-12-31T23:59:59Z",
        "2026-03-01T12:34:56Z\n",   // a final newline
        "2026-03-01T12:34:56Z ",     // trailing blank
        " 2026-03-01T12:34:56Z",     // leading blank
        "2026-03-01T12:34:56ZZ",
        "2026-03-01t12:34:56z",
        "\u0662026-03-01T12:34:56Z", // a non-ASCII digit
        "",
        "garbage",
    };
    for (const char *text : cases) {
        const QString input = QString::fromUtf8(text);
        try {
            OrvalenJSON::decodeDate(input);
            ADD_FAILURE() << "accepted " << text;
        } catch (const OrvalenJSON::DecodingError &error) {
            EXPECT_EQ(error.description(), QStringLiteral("Bad ISO 8601 date: ") + input);
            EXPECT_EQ(QString::fromStdString(error.what()), error.description());
        }
    }
}

TEST(OrvalenJSONDate, EncodesUtcWithMillisecondsAndRoundTrips)
{
    const QDateTime local(QDate(2026, 7, 4), QTime(9, 5, 3, 7), Qt::OffsetFromUTC, 3600);
    EXPECT_EQ(OrvalenJSON::encodeDate(local), QStringLiteral("2026-07-04T08:05:03.007Z"));

    const QDateTime instants[] = {
        utc(2026, 1, 1, 0, 0, 0, 0),
        utc(2026, 6, 15, 13, 14, 15, 1),
        utc(1999, 12, 31, 23, 59, 59, 999),
        QDateTime::fromMSecsSinceEpoch(1767225600123, Qt::UTC),
    };
    for (const QDateTime &instant : instants) {
        const QDateTime back = OrvalenJSON::decodeDate(OrvalenJSON::encodeDate(instant));
        EXPECT_EQ(back.toMSecsSinceEpoch(), instant.toMSecsSinceEpoch()) << OrvalenJSON::encodeDate(instant).toStdString();
    }
}

QJsonObject object(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

TEST(OrvalenJSONReaders, TypesMissingAndNull)
{
    const QJsonObject o = object(R"({"s":"x","b":true,"i":42,"neg":-7,"f":3.5,"big":1e300,"whole":2.0,
                                     "n":null,"d":"2026-03-01T12:34:56Z","o":{},"a":[]})");
    EXPECT_EQ(OrvalenJSON::requireString(o, "s"), QStringLiteral("x"));
    EXPECT_EQ(OrvalenJSON::requireBool(o, "b"), true);
    EXPECT_EQ(OrvalenJSON::requireInt(o, "i"), 42);
    EXPECT_EQ(OrvalenJSON::requireInt(o, "neg"), -7);
    EXPECT_EQ(OrvalenJSON::requireInt(o, "whole"), 2);
    EXPECT_EQ(OrvalenJSON::optionalInt(o, "n"), std::nullopt);
    EXPECT_EQ(OrvalenJSON::optionalString(o, "absent"), std::nullopt);
    EXPECT_EQ(OrvalenJSON::optionalDate(o, "d"), utc(2026, 3, 1, 12, 34, 56));

    const std::function<void()> failing[] = {
        [&] { OrvalenJSON::requireString(o, "absent"); },
        [&] { OrvalenJSON::requireString(o, "n"); },
        [&] { OrvalenJSON::requireString(o, "i"); },
        [&] { OrvalenJSON::optionalString(o, "b"); },
        [&] { OrvalenJSON::requireBool(o, "i"); },
        [&] { OrvalenJSON::optionalBool(o, "s"); },
        [&] { OrvalenJSON::requireInt(o, "f"); },
        [&] { OrvalenJSON::requireInt(o, "big"); },
        [&] { OrvalenJSON::optionalInt(o, "s"); },
        [&] { OrvalenJSON::requireDate(o, "i"); },
        [&] { OrvalenJSON::optionalDate(o, "s"); },
        [&] { OrvalenJSON::requireObject(o, "a"); },
        [&] { OrvalenJSON::optionalArray(o, "o"); },
    };
    for (size_t i = 0; i < std::size(failing); ++i)
        EXPECT_THROW(failing[i](), OrvalenJSON::DecodingError) << "case " << i;
}

TEST(OrvalenJSONReaders, ParseObjectRejectsNonObjects)
{
    for (const char *body : {"", "not json", "[1,2]", "\"text\"", "42", "{\"a\":"})
        EXPECT_THROW(OrvalenJSON::parseObject(QByteArray(body)), OrvalenJSON::DecodingError) << body;
    EXPECT_EQ(OrvalenJSON::parseObject(QByteArray("{\"a\":1}")).value(QStringLiteral("a")).toInt(), 1);
}

} // namespace
