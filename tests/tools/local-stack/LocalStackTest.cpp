#include "../fakes/HttpFetch.h"
#include "tools/fakes/FakeUpdateFeed.h"
#include "Platform/Deployment.h"
#include "support/TaskRunner.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <memory>

using TestSupport::waitUntil;

namespace {

// The local-stack program, started on a data folder, with the addresses it wrote.
class StackProcess {
public:
    explicit StackProcess(const QString &data) : m_data(data)
    {
        m_process.start(QStringLiteral(VANTLE_LOCAL_STACK),
                        {QStringLiteral("--data"), data, QStringLiteral("--env-file"), envFile()});
        waitUntil([this]() {
            m_output += m_process.readAllStandardOutput();
            return m_output.contains("local-stack: ready") || m_process.state() == QProcess::NotRunning;
        });
        QFile env(envFile());
        if (env.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : env.readAll().split('\n')) {
                if (line.isEmpty() || line.startsWith('#'))
                    continue;
                const QString text = QString::fromUtf8(line);
                m_urls.insert(text.section(QLatin1Char('='), 0, 0), QUrl(text.section(QLatin1Char('='), 1)));
            }
        }
    }
    ~StackProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    bool ready() const { return m_output.contains("local-stack: ready"); }
    QMap<QString, QUrl> urls() const { return m_urls; }
    QString envFile() const { return QDir(m_data).filePath(QStringLiteral("env")); }
    QUrl url(const QString &variable, const QString &path) const
    {
        QUrl u = m_urls.value(variable);
        u.setPath(path);
        return u;
    }

    // Waits for the end of a stack that stopped on its own; its exit status.
    int finish()
    {
        m_process.waitForFinished();
        return m_process.exitCode();
    }
    int stop(bool gracefully)
    {
        if (gracefully)
            m_process.terminate();
        else
            m_process.kill();
        m_process.waitForFinished();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QByteArray errors() { return m_process.readAllStandardError(); }

private:
    QString m_data;
    QProcess m_process;
    QByteArray m_output;
    QMap<QString, QUrl> m_urls;
};

struct Session {
    QString account;
    QByteArray token;
    QByteArray refreshToken;
};

// Signs in on the authority's page as a person would, then exchanges the code as the
// application would.
Session signIn(const StackProcess &stack, const QString &email)
{
    QUrlQuery form;
    const QPair<QString, QString> fields[] = {
        {"redirect_uri", "vantle://auth/callback"}, {"response_type", "code"}, {"state", "st"},
        // The S256 challenge of the verifier the exchange sends.
        {"code_challenge", "UWxLI_vp_8rVJXb6RbvHilqxwz5yIo5XBtvbv6vTWf4"}, {"code_challenge_method", "S256"},
        {"signin_email", email}, {"signin_provider", "email"}, {"signin_decision", "allow"},
    };
    QByteArray body;
    for (const auto &[key, value] : fields)
        body += (body.isEmpty() ? "" : "&") + QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
    const HttpFetch page =
        HttpFetch::run(QStringLiteral("POST"), stack.url(QStringLiteral("VANTLE_AUTHORITY_URL"), "/authorize"), body);
    const QString code = QUrlQuery(QUrl::fromEncoded(page.backLink())).queryItemValue("code", QUrl::FullyDecoded);
    const HttpFetch exchange = HttpFetch::run(
        QStringLiteral("POST"), stack.url(QStringLiteral("VANTLE_IDENTITY_URL"), "/api/app-sessions/exchange"),
        QJsonDocument(QJsonObject{{"app_slug", "vantle"},
                                  {"code", code},
                                  {"code_verifier", "dBjftJeZ4CVP-mJ92K1SahEiJo6g9bTFeA-ZX06y1bU"},
                                  {"redirect_uri", "vantle://auth/callback"}})
            .toJson(),
        {}, "application/json");
    return Session{exchange.json().value("orvalen_account_id").toString(),
                   exchange.json().value("oas").toString().toUtf8(),
                   exchange.json().value("refresh_token").toString().toUtf8()};
}

QByteArray auditBody()
{
    const QJsonObject audit{
        {"answers", QJsonObject{{"sleep", 8}}},
        {"derived", QJsonObject{}},
        {"sleep_hours", 8},
        {"wake_time", 7},
        {"timezone", "Europe/Berlin"},
        {"categories", QJsonArray{QJsonObject{{"name", "Work"}, {"kind", "committed"}, {"position", 0},
                                              {"weekly_budget_half_hours", 80}},
                                  QJsonObject{{"name", "Piano"}, {"kind", "yours"}, {"position", 1},
                                              {"weekly_budget_half_hours", 10}}}},
    };
    return QJsonDocument(audit).toJson();
}

QStringList categoryNames(const StackProcess &stack, const QByteArray &token)
{
    const HttpFetch answer =
        HttpFetch::run(QStringLiteral("GET"), stack.url(QStringLiteral("VANTLE_LEDGER_URL"), "/api/v1/categories"), {}, token);
    if (answer.status != 200)
        return {QStringLiteral("status %1").arg(answer.status)};
    QStringList names;
    for (const QJsonValue &category : answer.json().value("categories").toArray())
        names.append(category.toObject().value("name").toString());
    return names;
}

} // namespace

TEST(LocalStack, AccountsSessionsAndLedgersOutliveARestart)
{
    struct Case {
        const char *name;
        bool gracefully;
    };
    const Case cases[] = {{"stopped with SIGTERM", true}, {"killed", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir data;
        Session ann;
        {
            StackProcess stack(data.path());
            ASSERT_TRUE(stack.ready());
            ann = signIn(stack, QStringLiteral("ann@example.test"));
            ASSERT_TRUE(ann.account.startsWith(QStringLiteral("oa_")));
            const HttpFetch audit = HttpFetch::run(QStringLiteral("POST"),
                                                   stack.url(QStringLiteral("VANTLE_LEDGER_URL"), "/api/v1/audit"),
                                                   auditBody(), ann.token, "application/json");
            ASSERT_EQ(audit.status, 201);
            EXPECT_EQ(categoryNames(stack, ann.token), QStringList({"Work", "Piano"}));
            const int status = stack.stop(c.gracefully);
            if (c.gracefully) {
                EXPECT_EQ(status, 0);
                EXPECT_FALSE(QFile::exists(stack.envFile()));
            }
        }

        StackProcess again(data.path());
        ASSERT_TRUE(again.ready());
        // The session token still opens the same ledger.
        EXPECT_EQ(categoryNames(again, ann.token), QStringList({"Work", "Piano"}));
        // The refresh token is still good, once, for the same account.
        const QUrl refresh = again.url(QStringLiteral("VANTLE_IDENTITY_URL"), "/api/app-sessions/refresh");
        const QByteArray body = QJsonDocument(QJsonObject{{"app_slug", "vantle"}, {"refresh_token", QString::fromUtf8(ann.refreshToken)}}).toJson();
        const HttpFetch refreshed = HttpFetch::run(QStringLiteral("POST"), refresh, body, {}, "application/json");
        EXPECT_EQ(refreshed.status, 200);
        EXPECT_EQ(refreshed.json().value("orvalen_account_id").toString(), ann.account);
        EXPECT_EQ(HttpFetch::run(QStringLiteral("POST"), refresh, body, {}, "application/json").status, 401);
        // The address is still the same account; another address has a ledger of its own.
        EXPECT_EQ(signIn(again, QStringLiteral("ann@example.test")).account, ann.account);
        const Session bo = signIn(again, QStringLiteral("bo@example.test"));
        EXPECT_NE(bo.account, ann.account);
        EXPECT_EQ(categoryNames(again, bo.token), QStringList());
        // A token the identity service never issued opens nothing.
        EXPECT_EQ(categoryNames(again, "oas_made_up"), QStringList({"status 401"}));
    }
}

TEST(LocalStack, RefusesDataItCannotReadAndLeavesItAlone)
{
    struct Case {
        const char *file;
        QByteArray content;
    };
    const Case cases[] = {
        {"ledger.json", "{not json"},
        {"ledger.json", R"({"accounts": {"oa_x": {"categories": 3, "audits": []}}})"},
        {"identity.json", R"({"sessions": {"oas_1": {"account": "oa_x", "expires_at": "tomorrow"}}})"},
        {"identity.json", R"({"accounts": []})"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.content.toStdString());
        QTemporaryDir data;
        const QString path = QDir(data.path()).filePath(QString::fromLatin1(c.file));
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.content);
        }
        StackProcess stack(data.path());
        EXPECT_FALSE(stack.ready());
        EXPECT_NE(stack.finish(), 0);
        EXPECT_TRUE(stack.errors().contains(path.toLocal8Bit()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), c.content);
    }
}

TEST(LocalStack, ASecondStackOnTheSameFolderIsRefused)
{
    QTemporaryDir data;
    StackProcess first(data.path());
    ASSERT_TRUE(first.ready());
    StackProcess second(data.path());
    EXPECT_FALSE(second.ready());
    EXPECT_EQ(second.finish(), 3);
    // The first one's addresses are still the ones on file.
    EXPECT_TRUE(QFile::exists(first.envFile()));
    EXPECT_EQ(first.stop(true), 0);
}

// Everything the application calls besides sessions and the ledger is served too, so a run
// against the stack sends nothing to the real services.
TEST(LocalStack, ServesWhatTheApplicationCallsAtLaunch)
{
    QTemporaryDir data;
    StackProcess stack(data.path());
    ASSERT_TRUE(stack.ready());
    struct Row {
        const char *variable;
        const char *method;
        const char *path;
        QByteArray body;
    };
    const Row rows[] = {
        {"VANTLE_IDENTITY_URL", "GET", "/api/whoami", {}},
        {"VANTLE_IDENTITY_URL", "GET", "/api/geo", {}},
        {"VANTLE_IDENTITY_URL", "POST", "/api/app-events", R"({"event":"app_relaunched","properties":{}})"},
        {"VANTLE_IDENTITY_URL", "POST", "/api/error-events", R"({"app_slug":"vantle","platform":"linux","app_version":"0.1.0","os_version":"12.0.0",)"
                                                         R"("install_id":"i","dropped":0,"events":[{"time":"2026-01-01T00:00:00.000Z",)"
                                                         R"("level":"warn","subsystem":"dev.orvalen.vantle","category":"ledger","message":"m"}]})"},
        {"VANTLE_ANALYTICS_URL", "POST", "/capture/",
         R"({"api_key":"k","event":"vantle_app_relaunched","distinct_id":"dev_x"})"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path);
        const HttpFetch answer = HttpFetch::run(QString::fromLatin1(row.method),
                                                stack.url(QString::fromLatin1(row.variable), QString::fromLatin1(row.path)),
                                                row.body, {}, row.body.isEmpty() ? QByteArray() : "application/json");
        EXPECT_GE(answer.status, 200);
        EXPECT_LT(answer.status, 300);
    }
}

// Every page the application opens in the browser is there on the stack, a plain page that
// says what the real site does at that address: the account page of "Manage devices",
// "Export my data" and "Delete account", the footer's pages, and the Hour Audit's page at
// "/audit" of the ledger's address.
TEST(LocalStack, ThePagesTheApplicationOpensAreThere)
{
    QTemporaryDir data;
    StackProcess stack(data.path());
    ASSERT_TRUE(stack.ready());
    struct Row {
        const char *variable;
        const char *path;
        const char *query;
        QList<QByteArray> says;
    };
    const Row rows[] = {
        {"VANTLE_WEB_URL", "/account", nullptr,
         {"lists the devices signed in", "download a copy of your data", "delete your account"}},
        {"VANTLE_LEDGER_URL", "/audit", nullptr, {"runs the Hour Audit in the browser"}},
        {"VANTLE_WEB_URL", "/privacy/vantle", nullptr, {"Vantle's privacy policy"}},
        {"VANTLE_WEB_URL", "/terms/vantle", nullptr, {"terms under which you use Vantle"}},
        {"VANTLE_WEB_URL", "/contact", "app=vantle", {"sends your message"}},
        {"VANTLE_WEB_URL", "/privacy", nullptr, {"id=\"error-reports\"", "section on error reports"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path);
        QUrl url = stack.url(QString::fromLatin1(row.variable), QString::fromLatin1(row.path));
        ASSERT_TRUE(url.isValid() && !url.host().isEmpty()) << row.variable << " is not in the env file";
        if (row.query)
            url.setQuery(QString::fromLatin1(row.query));
        const HttpFetch answer = HttpFetch::run(QStringLiteral("GET"), url);
        EXPECT_EQ(answer.status, 200);
        EXPECT_TRUE(answer.contentType.startsWith("text/html")) << answer.contentType.constData();
        for (const QByteArray &text : row.says)
            EXPECT_TRUE(answer.body.contains(text)) << text.constData() << "\n" << answer.body.constData();
        EXPECT_TRUE(answer.body.contains("standing in for the real one"));
    }
}

// Every service keeps its port across restarts, so an application still running reaches the
// stack started again under it. The update feed holds this build's version (a check finds
// the application up to date) and, on request, a newer one.
TEST(LocalStack, PortsOutliveARestartAndTheFeedKnowsThisBuild)
{
    QTemporaryDir data;
    QMap<QString, QUrl> before;
    {
        StackProcess stack(data.path());
        ASSERT_TRUE(stack.ready());
        before = stack.urls();
        const QUrl feed = stack.url(QStringLiteral("VANTLE_UPDATE_FEED_URL"), "/updates/feed.xml");
        const QString version = Deployment::buildVersion();
        EXPECT_TRUE(HttpFetch::run(QStringLiteral("GET"), feed).body.contains(">" + version.toUtf8() + "<"));
        const HttpFetch newer = HttpFetch::run(QStringLiteral("POST"),
                                               stack.url(QStringLiteral("VANTLE_UPDATE_FEED_URL"), "/updates/newer"));
        EXPECT_EQ(newer.status, 201);
        const QString next = newer.json().value("version").toString();
        EXPECT_EQ(next, Fakes::FakeUpdateFeed::nextVersion(version));
        EXPECT_TRUE(HttpFetch::run(QStringLiteral("GET"), feed).body.contains(">" + next.toUtf8() + "<"));
        EXPECT_EQ(HttpFetch::run(QStringLiteral("GET"), stack.url(QStringLiteral("VANTLE_UPDATE_FEED_URL"),
                                                                    "/download/" + next)).status, 200);
        EXPECT_EQ(stack.stop(true), 0);
    }
    StackProcess again(data.path());
    ASSERT_TRUE(again.ready());
    EXPECT_EQ(again.urls(), before);
    EXPECT_EQ(Fakes::FakeUpdateFeed::nextVersion(QStringLiteral("0.1.9")), QStringLiteral("0.1.10"));
}
