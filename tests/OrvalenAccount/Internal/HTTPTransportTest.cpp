#include "OrvalenAccount/Internal/HTTPTransport.h"
#include "OrvalenAccount/OrvalenTransportError.h"
#include "tools/fakes/FakeService.h"
#include "support/TaskRunner.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTcpSocket>
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
    // The time limit is the subject of "timeout" only; the others' must not be raced.
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
        // Cancelled while the request is under way, before the slow answer could come.
        if (c.cancel)
            fake.beforeAnswering(QStringLiteral("/slow"), [token] { token.cancel(); });
        try {
            TestSupport::runTask(HTTPTransport::send(nullptr, request, token));
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

namespace {
// Answers every connection with a 200 that announces 200 bytes and sends 8, then
// closes the connection or leaves it open and silent.
class ShortBodyServer final : public QObject {
public:
    explicit ShortBodyServer(bool close) : m_close(close)
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_received += socket->readAll();
                    if (!m_received.contains("\r\n\r\n") || m_answered)
                        return;
                    m_answered = true;
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 200\r\n\r\n"
                                  "{\"ok\":tr");
                    socket->flush();
                    if (m_close)
                        socket->disconnectFromHost();
                });
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/thing").arg(m_server.serverPort())); }
    bool answered() const { return m_answered; }

private:
    QTcpServer m_server;
    QByteArray m_received;
    bool m_close;
    bool m_answered = false;
};
} // namespace

// A status line is not an answer: a body cut short, stalled or cancelled after the
// headers is a failed transfer, not a whole 200 with 8 bytes of JSON.
TEST(HTTPTransport, ABodyCutShortAfterTheStatusIsATransportFailure)
{
    struct Case {
        const char *name;
        bool close;
        std::chrono::milliseconds timeout;
        bool cancelAfterHeaders;
    };
    const Case cases[] = {
        {"connection closed mid-body", true, std::chrono::seconds(10), false},
        {"stalled mid-body", false, std::chrono::milliseconds(500), false},
        {"cancelled after the headers", false, std::chrono::seconds(10), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ShortBodyServer server(c.close);
        HTTPRequest request;
        request.url = server.url();
        request.method = QStringLiteral("POST");
        request.body = QByteArray("{}");
        request.timeout = c.timeout;
        CancellationToken token = CancellationToken::make();
        if (c.cancelAfterHeaders) {
            // Polled, so that the cancel lands after the answer began to arrive.
            auto *poll = new QTimer(&server);
            QObject::connect(poll, &QTimer::timeout, &server, [&server, token, poll] {
                if (server.answered()) {
                    QTimer::singleShot(200, [token] { token.cancel(); });
                    poll->stop();
                }
            });
            poll->start(10);
        }
        try {
            const HTTPResponse r = TestSupport::runTask(HTTPTransport::send(nullptr, request, token));
            ADD_FAILURE() << "taken as an answer: " << r.status << " " << r.body.toStdString();
        } catch (const OrvalenTransportError &error) {
            EXPECT_TRUE(error.isURLError);
            EXPECT_NE(error.code, 0);
        }
    }
}
