#include "tools/fakes/FakeService.h"

#include <QDebug>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <stdexcept>

namespace Fakes {

namespace {
QString methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get: return QStringLiteral("GET");
    case QHttpServerRequest::Method::Put: return QStringLiteral("PUT");
    case QHttpServerRequest::Method::Delete: return QStringLiteral("DELETE");
    case QHttpServerRequest::Method::Post: return QStringLiteral("POST");
    case QHttpServerRequest::Method::Head: return QStringLiteral("HEAD");
    case QHttpServerRequest::Method::Options: return QStringLiteral("OPTIONS");
    case QHttpServerRequest::Method::Patch: return QStringLiteral("PATCH");
    default: return QStringLiteral("UNKNOWN");
    }
}

QString routeKey(const QString &method, const QString &path)
{
    return method.toUpper() + QLatin1Char(' ') + path;
}

void writeAnswer(QHttpServerResponder &responder, const ScriptedAnswer &answer)
{
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(answer.status));
    bool hasType = false;
    for (const auto &[name, value] : answer.headers) {
        if (name.compare("content-type", Qt::CaseInsensitive) == 0)
            hasType = true;
        responder.writeHeader(name, value);
    }
    if (!hasType && !answer.body.isEmpty())
        responder.writeHeader("Content-Type", "application/json");
    responder.writeHeader("Content-Length", QByteArray::number(answer.body.size()));
    responder.writeBody(answer.body);
}
} // namespace

QByteArray RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool RecordedRequest::hasHeader(const QByteArray &name) const
{
    for (const auto &pair : headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

ScriptedAnswer ScriptedAnswer::json(int status, const QByteArray &body)
{
    ScriptedAnswer answer;
    answer.status = status;
    answer.body = body;
    answer.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
    return answer;
}

FakeService::FakeService(QObject *parent) : QObject(parent)
{
    m_server.setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        respond(request, std::move(responder));
    });
    m_port = m_server.listen(QHostAddress(QHostAddress::LocalHost), 0);
    if (m_port == 0)
        throw std::runtime_error("fake service could not listen on 127.0.0.1");
}

FakeService::~FakeService() = default;

bool FakeService::moveTo(quint16 port)
{
    if (port == m_port)
        return true;
    auto server = std::make_unique<QTcpServer>();
    if (port == 0 || !server->listen(QHostAddress(QHostAddress::LocalHost), port))
        return false;
    const auto listening = m_server.servers();
    for (QTcpServer *old : listening)
        old->close();
    m_server.bind(server.release());
    m_port = port;
    return true;
}

QUrl FakeService::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

QUrl FakeService::url(const QString &path) const
{
    QUrl u = baseUrl();
    u.setPath(path);
    return u;
}

void FakeService::on(const QString &method, const QString &path, Handler handler)
{
    m_handlers[routeKey(method, path)] = std::move(handler);
}

void FakeService::on(const QString &method, const QString &path, ScriptedAnswer answer)
{
    on(method, path, [answer](const RecordedRequest &) { return answer; });
}

void FakeService::enqueue(const QString &method, const QString &path, ScriptedAnswer answer)
{
    m_queues[routeKey(method, path)].push_back(std::move(answer));
}

QList<RecordedRequest> FakeService::requestsTo(const QString &path) const
{
    QList<RecordedRequest> out;
    for (const auto &r : m_requests) {
        if (r.path == path)
            out.append(r);
    }
    return out;
}

int FakeService::countOf(const QString &method, const QString &path) const
{
    int n = 0;
    for (const auto &r : m_requests) {
        if (r.method == method && r.path == path)
            ++n;
    }
    return n;
}

quint16 FakeService::closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress(QHostAddress::LocalHost), 0))
        throw std::runtime_error("could not find a free loopback port");
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

void FakeService::mount(FakeService *guest)
{
    if (guest && guest != this && !m_guests.contains(guest))
        m_guests.append(guest);
}

std::optional<ScriptedAnswer> FakeService::receive(const RecordedRequest &recorded)
{
    m_requests.append(recorded);
    Q_EMIT requestReceived(recorded.method, recorded.path);

    std::optional<ScriptedAnswer> answer;
    ScriptedAnswer special;
    if (handleSpecial(recorded, special)) {
        answer = std::move(special);
    } else {
        const QString key = routeKey(recorded.method, recorded.path);
        auto queue = m_queues.find(key);
        if (queue != m_queues.end() && !queue->second.empty()) {
            answer = queue->second.front();
            queue->second.pop_front();
        } else if (auto handler = m_handlers.find(key); handler != m_handlers.end()) {
            answer = handler->second(recorded);
        }
    }
    if (answer)
        Q_EMIT requestAnswered(recorded.method, recorded.path);
    return answer;
}

void FakeService::respond(const QHttpServerRequest &request, QHttpServerResponder &&responder)
{
    RecordedRequest recorded;
    recorded.method = methodName(request.method());
    recorded.path = request.url().path();
    recorded.query = QUrlQuery(request.url());
    for (const auto &pair : request.headers())
        recorded.headers.append(qMakePair(pair.first, pair.second));
    recorded.body = request.body();

    std::optional<ScriptedAnswer> found;
    try {
        found = receive(recorded);
        for (qsizetype i = 0; !found && i < m_guests.size(); ++i)
            found = m_guests.at(i)->receive(recorded);
    } catch (const std::exception &error) {
        // Called from the event loop, which no exception may cross: a route that fails
        // answers this one request as a server fault, and the service (with the local
        // stack running on it) stays up.
        qWarning("fake service: %s %s failed: %s", qPrintable(recorded.method), qPrintable(recorded.path),
                 error.what());
        found = ScriptedAnswer::json(500, R"({"error":"fake_route_failed"})");
    } catch (...) {
        qWarning("fake service: %s %s failed", qPrintable(recorded.method), qPrintable(recorded.path));
        found = ScriptedAnswer::json(500, R"({"error":"fake_route_failed"})");
    }
    const ScriptedAnswer answer = found ? *found : ScriptedAnswer::json(404, R"({"error":"not_found"})");

    if (answer.dropConnection) {
        if (QTcpSocket *socket = responder.socket())
            socket->abort();
        return;
    }
    if (answer.delay.count() <= 0) {
        writeAnswer(responder, answer);
        return;
    }
    // The responder must outlive this call; a client that hangs up meanwhile
    // takes its socket with it, so write only while the socket is still there.
    auto held = std::make_shared<QHttpServerResponder>(std::move(responder));
    QPointer<QTcpSocket> socket = held->socket();
    QTimer::singleShot(answer.delay, this, [held, socket, answer]() {
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            writeAnswer(*held, answer);
    });
}

} // namespace Fakes
