#include "OrvalenAccount/Internal/OrvalenDeprecationParser.h"
#include "OrvalenAccount/OrvalenJSON.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

using Notice = OrvalenDeprecationNotice;

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc());
}

std::string describe(const QList<Notice> &notices)
{
    std::string out;
    for (const Notice &n : notices) {
        if (const auto *e = n.as<Notice::Endpoint>()) {
            out += "endpoint(replacement=" + (e->replacement ? e->replacement->toString().toStdString() : "-")
                + ", expires=" + (e->expires ? e->expires->toString(Qt::ISODate).toStdString() : "-")
                + ", reason=" + (e->reason ? e->reason->toStdString() : "-") + ") ";
        } else if (const auto *c = n.as<Notice::Client>()) {
            out += "client(min=" + c->minVersion.toStdString()
                + ", current=" + (c->currentVersion ? c->currentVersion->toStdString() : "-")
                + ", reason=" + (c->reason ? c->reason->toStdString() : "-") + ") ";
        }
    }
    return out;
}

} // namespace

TEST(OrvalenDeprecationParser, Parse)
{
    struct Case {
        QString header;
        QList<Notice> expected;
    };
    const QUrl v2(QStringLiteral("https://id.example.test/api/v2/sessions"));
    const Case cases[] = {
        {QStringLiteral("endpoint; replacement=https://id.example.test/api/v2/sessions; expires=2026-09-01; reason=moved"),
         {Notice::endpoint(v2, utc(2026, 9, 1), QStringLiteral("moved"))}},
        {QStringLiteral("client; min-version=2.1.0; current=2.3.0, endpoint"),
         {Notice::client(QStringLiteral("2.1.0"), QStringLiteral("2.3.0"), std::nullopt),
          Notice::endpoint(std::nullopt, std::nullopt, std::nullopt)}},
        {QStringLiteral("CLIENT; MIN-VERSION=2.0; Reason=Old"),
         {Notice::client(QStringLiteral("2.0"), std::nullopt, QStringLiteral("Old"))}},
        {QStringLiteral("client; current=2.3.0"), {}},
        {QStringLiteral(R"(endpoint; reason="moved, sorry")"),
         {Notice::endpoint(std::nullopt, std::nullopt, QStringLiteral("\"moved"))}},
        {QStringLiteral("endpoint; expires=2026-09-01T10:00:00+02:00"),
         {Notice::endpoint(std::nullopt, utc(2026, 9, 1, 8), std::nullopt)}},
        {QStringLiteral("endpoint; expires=2026-09-01T10:00:00Z"),
         {Notice::endpoint(std::nullopt, utc(2026, 9, 1, 10), std::nullopt)}},
        {QStringLiteral("endpoint; expires=next week; reason=r"),
         {Notice::endpoint(std::nullopt, std::nullopt, QStringLiteral("r"))}},
        {QStringLiteral("endpoint; expires=2026-09-01T10:00:00.5Z"),
         {Notice::endpoint(std::nullopt, std::nullopt, std::nullopt)}},
        {QStringLiteral("endpoint; expires=2026-02-30"), {Notice::endpoint(std::nullopt, std::nullopt, std::nullopt)}},
        {QStringLiteral("deprecated; reason=x"), {}},
        {QString(), {}},
        {QStringLiteral("  \t "), {}},
        {QStringLiteral(",,endpoint,,"), {Notice::endpoint(std::nullopt, std::nullopt, std::nullopt)}},
        {QStringLiteral("endpoint; reason=a=b"), {Notice::endpoint(std::nullopt, std::nullopt, QStringLiteral("a=b"))}},
        {QStringLiteral("endpoint; reason="), {Notice::endpoint(std::nullopt, std::nullopt, std::nullopt)}},
        {QStringLiteral("endpoint; ==reason=x"), {Notice::endpoint(std::nullopt, std::nullopt, QStringLiteral("x"))}},
        {QStringLiteral("endpoint; reason; =x"), {Notice::endpoint(std::nullopt, std::nullopt, std::nullopt)}},
        {QStringLiteral("endpoint;;  reason = late ;; reason=later"),
         {Notice::endpoint(std::nullopt, std::nullopt, QStringLiteral("later"))}},
        {QStringLiteral("endpoint; replacement=http://exa mple"), {Notice::endpoint(std::nullopt, std::nullopt, std::nullopt)}},
        {QStringLiteral("client; min-version=3.0; reason=%41"),
         {Notice::client(QStringLiteral("3.0"), std::nullopt, QStringLiteral("%41"))}},
    };
    for (const Case &c : cases) {
        const QList<Notice> got = OrvalenDeprecationParser::parse(c.header);
        EXPECT_EQ(got, c.expected) << "header: " << c.header.toStdString() << "\n got: " << describe(got)
                                   << "\n want: " << describe(c.expected);
    }
}

TEST(OrvalenDeprecationParser, HeaderOfAnAnswerIsFoundInAnyCase)
{
    HTTPResponse response;
    EXPECT_TRUE(OrvalenDeprecationParser::notices(response).isEmpty());
    response.headers.append(qMakePair(QByteArray("orvalen-deprecation"), QByteArray("client; min-version=9")));
    ASSERT_EQ(OrvalenDeprecationParser::notices(response).size(), 1);
    EXPECT_EQ(OrvalenDeprecationParser::notices(response).first(),
              Notice::client(QStringLiteral("9"), std::nullopt, std::nullopt));
}

// The expiry's offset is applied over the whole range RFC 3339 allows (to 23:59 either
// way), never dropped, and only the whole text is a date.
TEST(OrvalenDeprecationParser, ExpiryOffsetsAndWholeText)
{
    struct Case {
        const char *text;
        std::optional<QDateTime> expected;
    };
    const Case cases[] = {
        {"2026-09-01T10:00:00+14:00", utc(2026, 8, 31, 20)},
        {"2026-09-01T10:00:00-14:00", utc(2026, 9, 2, 0)},
        {"2026-09-01T10:00:00+15:00", utc(2026, 8, 31, 19)},
        {"2026-09-01T10:00:00-15:30", utc(2026, 9, 2, 1, 30)},
        {"2026-09-01T10:00:00+23:59", utc(2026, 8, 31, 10, 1)},
        {"2026-09-01T10:00:00-23:59", utc(2026, 9, 2, 9, 59)},
        {"2026-09-01T10:00:00+24:00", std::nullopt},
        {"2026-09-01T10:00:00+00:60", std::nullopt},
        {"2026-09-01T10:00:00Z\n", std::nullopt},
        {"2026-09-01T10:00:00+02:00\n", std::nullopt},
        {"2026-09-01\n", std::nullopt},
        {"2026-09-01", utc(2026, 9, 1)},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(OrvalenDeprecationParser::parseISO8601(QString::fromLatin1(c.text)), c.expected) << c.text;
    }
    EXPECT_EQ(OrvalenDeprecationParser::parse(QStringLiteral("endpoint; expires=2026-09-01T10:00:00+15:00")),
              QList<Notice>{Notice::endpoint(std::nullopt, utc(2026, 8, 31, 19), std::nullopt)});
}

// An expiry means the same instant, and the same years, as any other date the account layer
// reads: an offset that carries it out of 0001 to 9999 makes it no date at all.
TEST(OrvalenDeprecationParser, ExpiriesKeepToTheYearsEveryDateReaderKeepsTo)
{
    struct Case {
        const char *text;
        std::optional<QDateTime> expected;
    };
    const Case cases[] = {
        {"0001-01-01T12:34:56+23:59", std::nullopt},
        {"0001-01-01T00:00:00+00:01", std::nullopt},
        {"0001-01-01T23:59:00+23:59", utc(1, 1, 1)},
        {"0001-01-01T00:00:00Z", utc(1, 1, 1)},
        {"9999-12-31T23:59:59Z", utc(9999, 12, 31, 23, 59, 59)},
        {"9999-12-31T23:59:59-00:01", std::nullopt},
        {"9999-12-31T00:00:00-23:59", utc(9999, 12, 31, 23, 59)},
        {"0000-06-01T00:00:00Z", std::nullopt},
    };
    for (const Case &c : cases) {
        const QString text = QString::fromLatin1(c.text);
        EXPECT_EQ(OrvalenDeprecationParser::parseISO8601(text), c.expected) << c.text;
        std::optional<QDateTime> decoded;
        try {
            decoded = OrvalenJSON::decodeDate(text);
        } catch (const OrvalenJSON::DecodingError &) {
        }
        EXPECT_EQ(decoded, c.expected) << c.text << ": the session's reader agrees";
    }
}
