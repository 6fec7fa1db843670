#include "OrvalenAccount/LibVersionPolicy.h"
#include "OrvalenAccount/OasResponse.h"
#include "OrvalenAccount/OrvalenConfig.h"
#include "OrvalenAccount/OrvalenDeprecationNotice.h"
#include "OrvalenAccount/OrvalenJSON.h"
#include "OrvalenAccount/OrvalenRedaction.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

namespace {

QJsonObject object(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(json, &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json.constData();
    return o;
}

// A complete session answer; each case below removes or replaces one key.
QJsonObject fullAnswer()
{
    return object(R"({"ok":true,"oas":"tok","session_token":"st","refresh_token":"rt","expires_in":3600,
        "expires_at":"2026-03-01T12:00:00.250Z","orvalen_account_id":"oa_x","email":"a@b.c","app_slug":"vantle",
        "platform":"linux","app_data_token":"adt","app_data_token_expires_at":"2026-03-02T00:00:00Z",
        "orvalen_lib_version":{"minVersion":"0.10.0","expires":"2026-06-01T00:00:00+02:00"},"unknown":[1]})");
}

TEST(OasResponse, DecodesEveryField)
{
    const OasResponse r = OasResponse::fromJson(fullAnswer());
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.oas, QStringLiteral("tok"));
    EXPECT_EQ(r.sessionToken, QStringLiteral("st"));
    EXPECT_EQ(r.refreshToken, QStringLiteral("rt"));
    EXPECT_EQ(r.expiresIn, 3600);
    EXPECT_EQ(r.expiresAt, QDateTime(QDate(2026, 3, 1), QTime(12, 0, 0, 250), Qt::UTC));
    EXPECT_EQ(r.orvalenAccountId.raw, QStringLiteral("oa_x"));
    EXPECT_EQ(r.email, QStringLiteral("a@b.c"));
    EXPECT_EQ(r.appSlug, QStringLiteral("vantle"));
    EXPECT_EQ(r.platform, QStringLiteral("linux"));
    EXPECT_EQ(r.appDataToken, QStringLiteral("adt"));
    EXPECT_EQ(r.appDataTokenExpiresAt, QDateTime(QDate(2026, 3, 2), QTime(0, 0), Qt::UTC));
    ASSERT_TRUE(r.libVersionPolicy);
    EXPECT_EQ(r.libVersionPolicy->minVersion, QStringLiteral("0.10.0"));
    EXPECT_EQ(r.libVersionPolicy->expires, QDateTime(QDate(2026, 5, 31), QTime(22, 0), Qt::UTC));
    EXPECT_EQ(OasResponse::fromJson(r.toJson()), r);
    EXPECT_FALSE(r.toJson().contains(QStringLiteral("unknown")));
}

TEST(OasResponse, DecodeRules)
{
    const struct {
        const char *key;
        QJsonValue value; // Undefined: remove the key
        bool decodes;
    } cases[] = {
        {"expires_at", QJsonValue::Undefined, false},
        {"expires_at", QStringLiteral("2026-03-01"), false},
        {"expires_at", QStringLiteral("2026-03-01 12:00:00Z"), false},
        {"expires_at", 1767225600, false},
        {"expires_at", QStringLiteral("2026-03-01T12:00:00Z"), true},
        {"ok", QJsonValue::Undefined, false},
        {"ok", QStringLiteral("true"), false},
        {"ok", 1, false},
        {"oas", QJsonValue::Undefined, false},
        {"oas", QJsonValue::Null, false},
        {"orvalen_account_id", QJsonValue::Undefined, false},
        {"email", 5, false},
        {"app_slug", QJsonValue::Undefined, false},
        {"refresh_token", QJsonValue::Undefined, true},
        {"refresh_token", QJsonValue::Null, true},
        {"refresh_token", 7, false},
        {"expires_in", 3.5, false},
        {"expires_in", QStringLiteral("3600"), false},
        {"expires_in", QJsonValue::Null, true},
        {"app_data_token_expires_at", QStringLiteral("tomorrow"), false},
        {"app_data_token_expires_at", QJsonValue::Null, true},
        {"orvalen_lib_version", QStringLiteral("0.11.5"), false},
        {"orvalen_lib_version", QJsonObject{{QStringLiteral("minVersion"), 1}}, false},
        {"orvalen_lib_version", QJsonValue::Null, true},
        {"orvalen_lib_version", QJsonObject{}, true},
    };
    for (const auto &c : cases) {
        QJsonObject input = fullAnswer();
        if (c.value.isUndefined())
            input.remove(QLatin1String(c.key));
        else
            input.insert(QLatin1String(c.key), c.value);
        const auto label = QJsonDocument(QJsonObject{{QLatin1String(c.key), c.value}}).toJson(QJsonDocument::Compact);
        if (!c.decodes) {
            EXPECT_THROW(OasResponse::fromJson(input), OrvalenJSON::DecodingError) << label.constData();
            continue;
        }
        const OasResponse r = OasResponse::fromJson(input);
        const QJsonObject written = r.toJson();
        // Absent optional fields are not written back.
        EXPECT_EQ(written.contains(QLatin1String(c.key)), !c.value.isUndefined() && !c.value.isNull()) << label.constData();
        EXPECT_EQ(OasResponse::fromJson(written), r) << label.constData();
    }
}

TEST(LibVersionPolicy, EmptyObjectRoundTrips)
{
    const LibVersionPolicy policy = LibVersionPolicy::fromJson(QJsonObject{});
    EXPECT_EQ(policy, LibVersionPolicy{});
    EXPECT_TRUE(policy.toJson().isEmpty());

    const LibVersionPolicy full{QStringLiteral("0.10.0"), QStringLiteral("0.11.5"), QStringLiteral("https://x.test"),
                                QStringLiteral("old"), QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0, 5), Qt::UTC)};
    const QJsonObject written = full.toJson();
    EXPECT_EQ(written.keys(), (QStringList{"currentVersion", "expires", "minVersion", "reason", "replacement"}));
    EXPECT_EQ(written.value(QStringLiteral("expires")).toString(), QStringLiteral("2027-01-01T00:00:00.005Z"));
    EXPECT_EQ(LibVersionPolicy::fromJson(written), full);
    // Snake-case keys are not this record's keys.
    EXPECT_EQ(LibVersionPolicy::fromJson(object(R"({"min_version":"1.0"})")), LibVersionPolicy{});
}

TEST(OrvalenDeprecationNotice, Equality)
{
    const QDateTime instant(QDate(2026, 5, 1), QTime(12, 0), Qt::UTC);
    const QDateTime sameInstant(QDate(2026, 5, 1), QTime(14, 0), Qt::OffsetFromUTC, 7200);
    const QUrl url(QStringLiteral("https://example.test/v2"));
    EXPECT_EQ(OrvalenDeprecationNotice::endpoint(url, instant, std::nullopt),
              OrvalenDeprecationNotice::endpoint(QUrl(QStringLiteral("https://example.test/v2")), sameInstant, std::nullopt));
    EXPECT_NE(OrvalenDeprecationNotice::endpoint(url, instant, std::nullopt),
              OrvalenDeprecationNotice::endpoint(url, instant, QString()));
    EXPECT_NE(OrvalenDeprecationNotice::endpoint(std::nullopt, std::nullopt, std::nullopt),
              OrvalenDeprecationNotice::client(QString(), std::nullopt, std::nullopt));
    EXPECT_EQ(OrvalenDeprecationNotice::client(QStringLiteral("2.0"), QStringLiteral("2.1"), std::nullopt),
              OrvalenDeprecationNotice::client(QStringLiteral("2.0"), QStringLiteral("2.1"), std::nullopt));
    EXPECT_NE(OrvalenDeprecationNotice::client(QStringLiteral("2.0"), std::nullopt, std::nullopt),
              OrvalenDeprecationNotice::client(QStringLiteral("2.0"), QStringLiteral("2.0"), std::nullopt));
}

TEST(OrvalenRedaction, Endpoint)
{
    const struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"/api/sessions/refresh", "/api/sessions/refresh"},
        {"/api/x?code=secret#frag", "/api/x"},
        {"/api/x#frag?not=query", "/api/x"},
        {"?only", ""},
        {"", ""},
        {"https://id.test/api/whoami?t=1", "https://id.test/api/whoami"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(OrvalenRedaction::endpoint(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
}

TEST(OrvalenRedaction, FailureFields)
{
    EXPECT_EQ(OrvalenRedaction::decodeFailure(QStringLiteral("/api/a?x=1")),
              (OrvalenLogFields{{"endpoint", "/api/a"}, {"class", "decode"}}));
    EXPECT_EQ(OrvalenRedaction::decodeFailure(QStringLiteral("/api/a"), QStringLiteral("OasResponse")),
              (OrvalenLogFields{{"endpoint", "/api/a"}, {"class", "decode"}, {"field", "OasResponse"}}));

    const auto network = OrvalenTransportError::fromNetworkError(QNetworkReply::TimeoutError, QStringLiteral("timed out"));
    EXPECT_EQ(OrvalenRedaction::transportFailure(QStringLiteral("/api/b#f"), network),
              (OrvalenLogFields{{"endpoint", "/api/b"},
                                {"class", "transport"},
                                {"error_domain", "QNetworkReply::NetworkError"},
                                {"error_code", QString::number(int(QNetworkReply::TimeoutError))},
                                {"url_error", QString::number(int(QNetworkReply::TimeoutError))}}));
    EXPECT_STREQ(network.what(), "timed out");

    const OrvalenTransportError other(QStringLiteral("Other"), -3, false, QString());
    EXPECT_EQ(OrvalenRedaction::transportFailure(QStringLiteral("/api/b"), other),
              (OrvalenLogFields{{"endpoint", "/api/b"}, {"class", "transport"}, {"error_domain", "Other"}, {"error_code", "-3"}}));
}

TEST(OrvalenConfig, RawValuesAndVersionLine)
{
    EXPECT_EQ(OrvalenAccountLibrary::versionLine(QString()), QStringLiteral("OrvalenAccount/0.11.5 ()"));
    EXPECT_EQ(OrvalenAccountLibrary::versionLine(QStringLiteral("0.1.0")), QStringLiteral("OrvalenAccount/0.11.5 (0.1.0)"));

    QStringList schemes;
    for (const AuthScheme scheme : AuthSchemes::allCases) {
        schemes << toRaw(scheme);
        EXPECT_EQ(fromRaw<AuthScheme>(toRaw(scheme)), scheme);
    }
    EXPECT_EQ(schemes, (QStringList{"aswas", "loopback", "systemBrowser"}));
    for (const char *other : {"SystemBrowser", " systemBrowser", "systemBrowser ", "systembrowser", ""})
        EXPECT_EQ(fromRaw<AuthScheme>(QString::fromLatin1(other)), std::nullopt) << other;

    const struct {
        OrvalenLogLevel level;
        const char *raw;
    } levels[] = {{OrvalenLogLevel::debug, "debug"}, {OrvalenLogLevel::info, "info"},
                  {OrvalenLogLevel::warning, "warning"}, {OrvalenLogLevel::error, "error"}};
    for (const auto &l : levels) {
        EXPECT_EQ(toRaw(l.level), QString::fromLatin1(l.raw));
        EXPECT_EQ(fromRaw<OrvalenLogLevel>(QString::fromLatin1(l.raw)), l.level);
    }
    EXPECT_EQ(fromRaw<OrvalenLogLevel>(QStringLiteral("warn")), std::nullopt);
}

TEST(OrvalenConfig, LogReachesTheLoggerAndSwallowsItsFailures)
{
    OrvalenConfig config;
    config.log(OrvalenLogLevel::info, QStringLiteral("no_logger")); // no logger: nothing happens

    QStringList seen;
    config.logger = [&seen](OrvalenLogLevel level, const QString &event, const OrvalenLogFields &fields) {
        seen << toRaw(level) + QLatin1Char(' ') + event + QLatin1Char(' ') + fields.value(QStringLiteral("status"));
        throw std::runtime_error("sink failed");
    };
    EXPECT_NO_THROW(config.log(OrvalenLogLevel::warning, QStringLiteral("request_failed"), {{"status", "500"}}));
    EXPECT_EQ(seen, QStringList{QStringLiteral("warning request_failed 500")});
}

} // namespace
