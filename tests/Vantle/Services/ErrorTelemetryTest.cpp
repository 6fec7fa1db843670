#include "Vantle/Services/ErrorTelemetry.h"

#include "Platform/Preferences.h"
#include "Vantle/Services/ErrorTelemetryConsent.h"
#include "Vantle/Services/GeoProbeClient.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/LogCenter.h"
#include "tools/fakes/FakeErrorEventsService.h"
#include "tools/fakes/FakeGeoService.h"
#include "support/TaskRunner.h"

#include <QJsonArray>
#include <QNetworkAccessManager>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using Fakes::FakeErrorEventsService;
using Fakes::FakeGeoService;
using Fakes::FakeService;
using Fakes::ScriptedAnswer;
using TestSupport::runTask;

namespace {

LogRecord record(SystemLogLevel level, const QString &message)
{
    return LogRecord{1714550400000, level, Log::appSubsystem, QStringLiteral("ledger"), message};
}

class ErrorTelemetryTest : public ::testing::Test {
protected:
    void SetUp() override { Preferences::setStandard(m_preferences); }
    void TearDown() override { Preferences::setStandard(nullptr); }

    std::unique_ptr<ErrorTelemetry> makeClient(std::function<bool()> consent = [] { return true; })
    {
        auto client = std::make_unique<ErrorTelemetry>();
        ErrorTelemetry::Configuration configuration;
        configuration.appVersion = QStringLiteral("1.2.3");
        configuration.osVersion = QStringLiteral("12.0.0");
        configuration.installID = QStringLiteral("install-1");
        configuration.identityURL = m_events.identityURL();
        client->configure(configuration);
        client->setConsent(std::move(consent));
        client->setNetwork(&m_network);
        return client;
    }

    std::shared_ptr<InMemoryPreferences> m_preferences = std::make_shared<InMemoryPreferences>();
    QNetworkAccessManager m_network;
    FakeErrorEventsService m_events;
};

TEST_F(ErrorTelemetryTest, ConsentIsTheUsersChoiceElseOffInTheEU)
{
    struct Case {
        const char *name;
        std::optional<bool> stored;
        std::optional<bool> cachedIsEU; // nothing: never probed
        bool enabled;
    };
    const Case cases[] = {
        {"never chose, never probed", std::nullopt, std::nullopt, true},
        {"never chose, outside the EU", std::nullopt, false, true},
        {"never chose, in the EU", std::nullopt, true, false},
        {"chose on, in the EU", true, true, true},
        {"chose off, outside the EU", false, false, false},
        {"chose off, never probed", false, std::nullopt, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_preferences->remove(ErrorTelemetryConsent::Keys::enabled);
        m_preferences->remove(GeoProbeClient::cachedIsEUKey);
        if (c.stored)
            ErrorTelemetryConsent::setEnabled(*c.stored);
        if (c.cachedIsEU)
            m_preferences->setValue(GeoProbeClient::cachedIsEUKey, *c.cachedIsEU);
        EXPECT_EQ(ErrorTelemetryConsent::isEnabled(), c.enabled);
        EXPECT_EQ(GeoProbeClient::cachedIsEU(), c.cachedIsEU.value_or(false));
    }
    EXPECT_EQ(ErrorTelemetryConsent::Keys::enabled, QStringLiteral("orvalen.error_telemetry_enabled"));
    EXPECT_EQ(ErrorTelemetryConsent::Keys::optOutShown, QStringLiteral("orvalen.error_telemetry_opt_out_shown"));
    EXPECT_EQ(ErrorTelemetryConsent::Keys::euOptInShown, QStringLiteral("orvalen.error_telemetry_eu_optin_shown"));
    EXPECT_TRUE(ErrorTelemetryConsent::shouldShowOptOutNote());
    ErrorTelemetryConsent::markOptOutNoteShown();
    EXPECT_FALSE(ErrorTelemetryConsent::shouldShowOptOutNote());
    EXPECT_TRUE(m_preferences->boolValue(ErrorTelemetryConsent::Keys::optOutShown));
}

TEST_F(ErrorTelemetryTest, TheRegionProbeCachesUsableAnswersOnly)
{
    FakeGeoService geo;
    struct Case {
        const char *name;
        std::optional<ScriptedAnswer> answer; // nothing: the fake's own answer
        bool regionIsEU;
        std::optional<bool> returned;
        std::optional<bool> cachedAfter;
    };
    const Case cases[] = {
        {"EU answer", std::nullopt, true, true, true},
        {"outside the EU", std::nullopt, false, false, false},
        {"not JSON keeps the cache", ScriptedAnswer::json(200, "<html>"), true, std::nullopt, false},
        {"no is_eu keeps the cache", ScriptedAnswer::json(200, R"({"country":"DE"})"), true, std::nullopt, false},
        {"server error keeps the cache", ScriptedAnswer::json(503, R"({"is_eu":true})"), true, std::nullopt, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        geo.setRegion(c.regionIsEU, c.regionIsEU ? QStringLiteral("DE") : QStringLiteral("US"));
        if (c.answer)
            geo.enqueue(QStringLiteral("GET"), FakeGeoService::geoPath, *c.answer);
        EXPECT_EQ(runTask(GeoProbeClient::probe(geo.identityURL(), &m_network)), c.returned);
        EXPECT_EQ(GeoProbeClient::cachedAnswer(), c.cachedAfter);
    }
    QUrl dead(QStringLiteral("http://127.0.0.1"));
    dead.setPort(FakeService::closedPort());
    EXPECT_EQ(runTask(GeoProbeClient::probe(dead, &m_network)), std::nullopt);
    EXPECT_EQ(GeoProbeClient::cachedAnswer(), false) << "an unreachable service keeps the last answer";
}

TEST_F(ErrorTelemetryTest, WarningsAndErrorsLeaveInOneBatchWhileConsentAllows)
{
    bool consent = false;
    auto client = makeClient([&consent] { return consent; });
    client->record(record(SystemLogLevel::info, QStringLiteral("not sent")));
    client->record(record(SystemLogLevel::debug, QStringLiteral("not sent")));
    client->record(record(SystemLogLevel::warn, QStringLiteral("timer_start_failed error=500")));
    EXPECT_EQ(client->pendingCount(), 1);

    runTask(client->flush());
    EXPECT_EQ(m_events.requests().size(), 0) << "no consent: nothing leaves";
    EXPECT_EQ(client->pendingCount(), 0) << "and nothing waits for a later consent";

    consent = true;
    client->record(record(SystemLogLevel::warn, QStringLiteral("timer_start_failed error=500")));
    client->record(record(SystemLogLevel::error, QStringLiteral("consent_submission_failed")));
    runTask(client->flush());
    ASSERT_EQ(m_events.batches().size(), 1) << (m_events.requests().isEmpty() ? "" : m_events.requests().last().body.toStdString());
    const QJsonObject batch = m_events.batches().first();
    EXPECT_EQ(batch.value(QStringLiteral("app_slug")).toString(), QStringLiteral("vantle"));
    EXPECT_EQ(batch.value(QStringLiteral("platform")).toString(), QStringLiteral("linux"));
    EXPECT_EQ(batch.value(QStringLiteral("app_version")).toString(), QStringLiteral("1.2.3"));
    EXPECT_EQ(batch.value(QStringLiteral("os_version")).toString(), QStringLiteral("12.0.0"));
    EXPECT_EQ(batch.value(QStringLiteral("install_id")).toString(), QStringLiteral("install-1"));
    const QJsonArray events = batch.value(QStringLiteral("events")).toArray();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events.at(1).toObject().value(QStringLiteral("level")).toString(), QStringLiteral("error"));
    EXPECT_EQ(client->pendingCount(), 0);
    runTask(client->flush());
    EXPECT_EQ(m_events.requests().size(), 1) << "an empty queue sends nothing";
}

TEST_F(ErrorTelemetryTest, TheQueueIsBoundedAndABatchTheServiceCouldNotTakeIsKept)
{
    auto client = makeClient();
    for (int i = 0; i < ErrorTelemetry::queueLimit + 30; ++i)
        client->record(record(SystemLogLevel::error, QStringLiteral("n=%1").arg(i)));
    EXPECT_EQ(client->pendingCount(), ErrorTelemetry::queueLimit);

    // A service that hangs up on every request (the network layer retries once by itself).
    FakeService hangsUp;
    ScriptedAnswer dropped;
    dropped.dropConnection = true;
    hangsUp.on(QStringLiteral("POST"), FakeErrorEventsService::eventsPath, dropped);
    QUrl dead(QStringLiteral("http://127.0.0.1"));
    dead.setPort(FakeService::closedPort());
    struct Case {
        const char *name;
        std::optional<ScriptedAnswer> answer;
        QUrl service; // empty: the fake
    };
    const Case cases[] = {
        {"server error", ScriptedAnswer::json(503, R"({"error":"busy"})"), {}},
        {"rate limited", ScriptedAnswer::json(429, R"({"error":"slow_down"})"), {}},
        {"connection dropped", std::nullopt, hangsUp.baseUrl()},
        {"service unreachable", std::nullopt, dead},
    };
    ErrorTelemetry::Configuration configuration = client->configuration();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ErrorTelemetry::Configuration changed = configuration;
        if (!c.service.isEmpty())
            changed.identityURL = c.service;
        client->configure(changed);
        if (c.answer)
            m_events.enqueue(QStringLiteral("POST"), FakeErrorEventsService::eventsPath, *c.answer);
        runTask(client->flush());
        EXPECT_EQ(client->pendingCount(), ErrorTelemetry::queueLimit) << "the batch waits for the next flush";
    }
    client->configure(configuration);
    runTask(client->flush());
    ASSERT_EQ(m_events.batches().size(), 1);
    const QJsonObject batch = m_events.batches().first();
    EXPECT_EQ(batch.value(QStringLiteral("events")).toArray().size(), ErrorTelemetry::queueLimit);
    EXPECT_EQ(batch.value(QStringLiteral("events")).toArray().first().toObject().value(QStringLiteral("message")).toString(),
              QStringLiteral("n=0")) << "the first failures, usually the cause, are the ones kept";
    EXPECT_EQ(batch.value(QStringLiteral("dropped")).toInt(), 30);

    client->record(record(SystemLogLevel::error, QStringLiteral("refused")));
    m_events.enqueue(QStringLiteral("POST"), FakeErrorEventsService::eventsPath,
                     ScriptedAnswer::json(400, R"({"error":"invalid_payload"})"));
    runTask(client->flush());
    EXPECT_EQ(client->pendingCount(), 0) << "a batch the service refuses is not sent again";
}

TEST_F(ErrorTelemetryTest, StartedItTakesTheLogsWarningsAndErrors)
{
    auto client = makeClient();
    ASSERT_TRUE(LogCenter::shared().drain()) << "lines of earlier tests are not this client's";
    client->start(std::chrono::hours(1));
    Log(QStringLiteral("ledger")).emit(QStringLiteral("info"), QStringLiteral("not for telemetry"));
    Log(QStringLiteral("ledger")).emit(QStringLiteral("warn"), QStringLiteral("timer_stop_failed token=abc"));
    ASSERT_TRUE(LogCenter::shared().drain());
    EXPECT_EQ(client->pendingCount(), 1);
    client->stop();
    Log(QStringLiteral("ledger")).emit(QStringLiteral("error"), QStringLiteral("after stop"));
    ASSERT_TRUE(LogCenter::shared().drain());
    EXPECT_EQ(client->pendingCount(), 1);
    runTask(client->flush());
    ASSERT_EQ(m_events.events().size(), 1);
    EXPECT_EQ(m_events.events().first().value(QStringLiteral("message")).toString(),
              QStringLiteral("timer_stop_failed token=<redacted>"));
}

} // namespace
