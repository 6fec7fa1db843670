#include "OrvalenAccount/Internal/HTTPTransport.h"
#include "OrvalenAccount/OrvalenTransportError.h"
#include "tools/fakes/FakeService.h"
#include "support/TaskRunner.h"

#include <QNetworkAccessManager>
#include <QTimer>

#include <gtest/gtest.h>

using Fakes::FakeService;
using Fakes::ScriptedAnswer;

TEST(HTTPTransport, ErrorStatusesAreAnswersWithTheirHeadersAndBody)
{
    FakeService fake;
    for (int status : {200, 401, 404, 426, 429, 503}) {
        ScriptedAnswer a = ScriptedAnswer::json(status, R"({"error":"x"})");
        a.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("7")));
        fake.enqueue(QStringLiteral("POST"), QStringLiteral("/thing"), a);
        HTTPRequest request;
        request.url = fake.url(QStringLiteral("/thing"));
        request.method = QStringLiteral("POST");
        request.headers = {{"Content-Type", "application/json"}, {"X-Probe", "1"}};
        request.body = QByteArray("{}");
        const HTTPResponse r = TestSupport::runTask(HTTPTransport::send(nullptr, request));
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.body, QByteArray(R"({"error":"x"})"));
        EXPECT_EQ(r.header("retry-after"), QStringLiteral("7"));
        EXPECT_EQ(r.url, request.url);
    }
    ASSERT_EQ(fake.requests().size(), 6);
    EXPECT_EQ(fake.requests().first().header("x-probe"), QByteArray("1"));
    EXPECT_EQ(fake.requests().first().body, QByteArray("{}"));
}

TEST(HTTPTransport, FailuresWithoutAnAnswerThrowTransportErrors)
{
    FakeService fake;
    ScriptedAnswer slow = ScriptedAnswer::json(200, "{}");
    slow.delay = std::chrono::seconds(3);
    fake.on(QStringLiteral("GET"), QStringLiteral("/slow"), slow);
    ScriptedAnswer dropped;
    dropped.dropConnection = true;
    fake.on(QStringLiteral("GET"), QStringLiteral("/drop"), dropped);

    struct Case {
        const char *name;
        QUrl url;
        std::chrono::milliseconds timeout;
        bool cancel;
    };
    const Case cases[] = {
        {"refused", QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(FakeService::closedPort())),
         std::chrono::seconds(10), false},
        {"timeout", fake.url(QStringLiteral("/slow")), std::chrono::milliseconds(200), false},
        {"dropped", fake.url(QStringLiteral("/drop")), std::chrono::seconds(10), false},
        {"cancelled", fake.url(QStringLiteral("/slow")), std::chrono::seconds(10), true},
    };
    for (const Case &c : cases) {
        HTTPRequest request;
        request.url = c.url;
        request.timeout = c.timeout;
        CancellationToken token = CancellationToken::make();
        if (c.cancel)
            QTimer::singleShot(100, [token] { token.cancel(); });
        try {
            TestSupport::runTask(HTTPTransport::send(nullptr, request, token), std::chrono::seconds(5));
            ADD_FAILURE() << c.name << ": expected a transport error";
        } catch (const OrvalenTransportError &error) {
            EXPECT_TRUE(error.isURLError) << c.name;
            EXPECT_NE(error.code, 0) << c.name;
        }
    }
}

TEST(HTTPTransport, NonHttpReplyIsNotAnAnswer)
{
    HTTPRequest request;
    request.url = QUrl::fromLocalFile(QStringLiteral("/etc/hostname"));
    EXPECT_THROW(TestSupport::runTask(HTTPTransport::send(nullptr, request)), NonHTTPResponseError);
}
