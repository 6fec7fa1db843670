#include "Vantle/Services/DiagnosticUploader.h"

#include "Platform/AppModule.h"
#include "Platform/Preferences.h"
#include "Platform/RecordingSystemLog.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/LogCenter.h"
#include "tools/fakes/FakeDiagnosticsService.h"
#include "support/TaskRunner.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using Fakes::FakeDiagnosticsService;
using Fakes::FakeService;
using Fakes::ScriptedAnswer;
using TestSupport::runTask;

namespace {

const QString token = QStringLiteral("oas_7_3f1c2e9a7b5d");

class DiagnosticUploaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Preferences::setStandard(m_preferences);
        SystemLog::setSink(std::make_shared<RecordingSystemLog>());
        LogCenter::Settings settings;
        settings.directory = m_dir.filePath(QStringLiteral("logs"));
        settings.keepDebug = [] { return false; };
        m_center = std::make_unique<LogCenter>(settings);
        m_uploader.setLogCenter(m_center.get());
        m_uploader.setNetwork(&m_network);
        m_uploader.setIdentityURL([this] { return m_url; });
        m_uploader.setSessionTokenReader([this] { return m_token; });
        m_service.setAcceptedToken(token);
    }
    void TearDown() override
    {
        SystemLog::setSink(nullptr);
        Preferences::setStandard(nullptr);
    }

    QString errorOf(QCoro::Task<QString> task)
    {
        try {
            const QString code = runTask(std::move(task));
            return QStringLiteral("(succeeded with %1)").arg(code);
        } catch (const DiagnosticError &error) {
            return error.message();
        }
    }

    std::shared_ptr<InMemoryPreferences> m_preferences = std::make_shared<InMemoryPreferences>();
    QTemporaryDir m_dir;
    std::unique_ptr<LogCenter> m_center;
    QNetworkAccessManager m_network;
    FakeDiagnosticsService m_service;
    QUrl m_url = m_service.identityURL();
    std::optional<QString> m_token = token;
    DiagnosticUploader m_uploader;
};

TEST_F(DiagnosticUploaderTest, TheReportArrivesWholeAndTheSupportCodeComesBack)
{
    m_center->submit(SystemLogLevel::info, Log::appSubsystem, QStringLiteral("ledger"),
                     QStringLiteral("refresh_ok categories=4"));
    m_center->submit(SystemLogLevel::warn, Log::appSubsystem, QStringLiteral("auth"),
                     QStringLiteral("retry with Bearer ") + token);
    m_uploader.setAccountSummaryProvider([] {
        return QJsonObject{{QStringLiteral("state"), QStringLiteral("signed_in")},
                           {QStringLiteral("account_id"), QStringLiteral("oa_0190")},
                           {QStringLiteral("note"), QStringLiteral("token=") + token}};
    });
    m_uploader.setLedgerSummaryProvider([] { return QJsonObject{{QStringLiteral("categories"), 4}}; });

    const QString code = runTask(m_uploader.uploadManualAsync());
    ASSERT_EQ(m_service.uploads().size(), 1);
    const auto upload = m_service.uploads().first();
    EXPECT_EQ(code, upload.code);
    EXPECT_EQ(code.size(), 6);
    EXPECT_EQ(upload.fields.value(QStringLiteral("app_slug")), QByteArray("vantle"));
    EXPECT_EQ(m_service.requests().first().header("Authorization"), "Bearer " + token.toUtf8());

    EXPECT_TRUE(upload.members.contains(QStringLiteral("logs/vantle-0.log")));
    const QJsonObject summary = QJsonDocument::fromJson(upload.members.value(QStringLiteral("summary.json"))).object();
    EXPECT_EQ(summary.value(QStringLiteral("platform")).toString(), QStringLiteral("linux"));
    EXPECT_EQ(summary.value(QStringLiteral("ledger")).toObject().value(QStringLiteral("categories")).toInt(), 4);
    const QJsonObject account = summary.value(QStringLiteral("account")).toObject();
    EXPECT_EQ(account.value(QStringLiteral("state")).toString(), QStringLiteral("signed_in"));
    for (auto it = upload.members.begin(); it != upload.members.end(); ++it) {
        EXPECT_FALSE(it.value().contains(token.toUtf8())) << it.key().toStdString() << " carries the session token";
    }
    EXPECT_TRUE(upload.members.value(QStringLiteral("ring.log")).contains("refresh_ok categories=4"));
    EXPECT_FALSE(m_uploader.isUploading());
}

TEST_F(DiagnosticUploaderTest, EveryFailureGivesItsOwnText)
{
    struct Case {
        const char *name;
        std::optional<QString> storedToken;
        std::optional<ScriptedAnswer> answer; // nothing: the fake's own answer
        QUrl service;                          // empty: the fake
        QString expected;
    };
    const QString notSignedIn = QStringLiteral("Sign in to vantle before sending a report.");
    const QString transport = QStringLiteral("Couldn't reach the diagnostics server. Check your network and try again.");
    const QString malformed = QStringLiteral("The diagnostics server returned an unexpected response.");
    // A service that hangs up on every request (the network layer retries once by itself).
    FakeService hangsUp;
    ScriptedAnswer dropped;
    dropped.dropConnection = true;
    hangsUp.on(QStringLiteral("POST"), FakeDiagnosticsService::diagnosticsPath, dropped);
    QUrl dead(QStringLiteral("http://127.0.0.1"));
    dead.setPort(FakeService::closedPort());
    const Case cases[] = {
        {"no stored session", std::nullopt, std::nullopt, {}, notSignedIn},
        {"empty session token", QString(), std::nullopt, {}, notSignedIn},
        {"session no longer accepted", QStringLiteral("oas_other"), std::nullopt, {}, notSignedIn},
        {"5xx with an error text", token, ScriptedAnswer::json(500, R"({"error":"Report storage is down."})"), {},
         QStringLiteral("Report storage is down.")},
        {"5xx with a message text", token, ScriptedAnswer::json(503, R"({"message":"Try again in an hour."})"), {},
         QStringLiteral("Try again in an hour.")},
        {"refusal with both texts", token, ScriptedAnswer::json(413, R"({"error":"too_large","message":"x"})"), {},
         QStringLiteral("too_large")},
        {"5xx that is not JSON", token, ScriptedAnswer::json(502, "<html>Bad gateway</html>"), {}, malformed},
        {"5xx with an empty error", token, ScriptedAnswer::json(500, R"({"error":""})"), {}, malformed},
        {"5xx with a blank error", token, ScriptedAnswer::json(500, R"({"error":"  "})"), {}, malformed},
        {"5xx with an empty error beside a message", token,
         ScriptedAnswer::json(500, R"({"error":"","message":"Try again in an hour."})"), {}, malformed},
        {"success that is not JSON", token, ScriptedAnswer::json(200, "ok"), {}, malformed},
        {"success without a code", token, ScriptedAnswer::json(201, R"({"ok":true})"), {}, malformed},
        {"success with a blank code", token, ScriptedAnswer::json(201, R"({"code":"  "})"), {}, malformed},
        {"connection dropped", token, std::nullopt, hangsUp.baseUrl(), transport},
        {"dead service", token, std::nullopt, dead, transport},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_token = c.storedToken;
        m_url = c.service.isEmpty() ? m_service.identityURL() : c.service;
        if (c.answer)
            m_service.enqueue(QStringLiteral("POST"), FakeDiagnosticsService::diagnosticsPath, *c.answer);
        EXPECT_EQ(errorOf(m_uploader.uploadManualAsync()).toStdString(), c.expected.toStdString());
        EXPECT_FALSE(m_uploader.isUploading()) << "a failed upload never blocks the next";
    }
    EXPECT_TRUE(m_service.uploads().isEmpty());
}

TEST_F(DiagnosticUploaderTest, ASecondUploadWhileOneRunsIsRefused)
{
    ScriptedAnswer slow = ScriptedAnswer::json(201, R"({"code":"SLOW42"})");
    slow.delay = std::chrono::milliseconds(400);
    m_service.enqueue(QStringLiteral("POST"), FakeDiagnosticsService::diagnosticsPath, slow);

    QCoro::Task<QString> first = m_uploader.uploadManualAsync();
    EXPECT_TRUE(m_uploader.isUploading());
    EXPECT_EQ(errorOf(m_uploader.uploadManualAsync()).toStdString(), "A diagnostic report is already being sent.");
    EXPECT_EQ(runTask(std::move(first)), QStringLiteral("SLOW42"));
    EXPECT_FALSE(m_uploader.isUploading());
    EXPECT_EQ(runTask(m_uploader.uploadManualAsync()).size(), 6) << "the next upload runs normally";
}

TEST_F(DiagnosticUploaderTest, WithoutItsZipWriterAReportFailsBeforeAnythingIsSent)
{
    QTemporaryDir noModules;
    AppModule::setDirectories({noModules.path()});
    try {
        runTask(m_uploader.uploadManualAsync());
        ADD_FAILURE() << "a report without its zip writer must not succeed";
    } catch (const DiagnosticError &error) {
        ADD_FAILURE() << "not a server or sign-in failure: " << error.message().toStdString();
    } catch (const std::runtime_error &error) {
        EXPECT_STREQ(error.what(), "the diagnostic report could not be built");
    }
    AppModule::setDirectories({});
    EXPECT_FALSE(m_uploader.isUploading());
    EXPECT_TRUE(m_service.uploads().isEmpty());
    // Once the writer is there again, the next report goes through.
    EXPECT_EQ(runTask(m_uploader.uploadManualAsync()).size(), 6);
}

TEST(DiagnosticUploader, ParseErrorReadsErrorThenMessage)
{
    struct Case {
        QByteArray body;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {R"({"error":"rate_limited","message":"Slow down"})", QStringLiteral("rate_limited")},
        {R"({"message":"Slow down"})", QStringLiteral("Slow down")},
        {R"({"error":42,"message":"Slow down"})", QStringLiteral("Slow down")},
        {R"({"error":null,"message":"Slow down"})", QStringLiteral("Slow down")},
        // A text is a text, even an empty one: callers decide what an empty one means.
        {R"({"error":"","message":"Slow down"})", QString()},
        {R"({"error":""})", QString()},
        {R"({"message":""})", QString()},
        {R"({"error":{"code":1}})", std::nullopt},
        {R"(["error"])", std::nullopt},
        {"not json", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DiagnosticUploader::parseError(c.body), c.expected) << c.body.toStdString();
}

TEST(DiagnosticUploader, AutomaticReportsAreOnUntilTurnedOff)
{
    auto preferences = std::make_shared<InMemoryPreferences>();
    Preferences::setStandard(preferences);
    EXPECT_TRUE(DiagnosticUploader::isDiagnosticsEnabled());
    preferences->setValue(DiagnosticUploader::enabledKey, false);
    EXPECT_FALSE(DiagnosticUploader::isDiagnosticsEnabled());
    Preferences::setStandard(nullptr);
}

} // namespace
