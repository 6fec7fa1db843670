#pragma once

#include <QByteArray>
#include <QHttpServer>
#include <QJsonDocument>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <QUrlQuery>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace Fakes {

// One request as the fake service received it.
struct RecordedRequest {
    QString method; // "GET", "POST", ...
    QString path;
    QUrlQuery query;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // Case-insensitive header lookup; empty when the header was not sent.
    QByteArray header(const QByteArray &name) const;
    bool hasHeader(const QByteArray &name) const;
    QJsonDocument json() const { return QJsonDocument::fromJson(body); }
};

// What the fake service answers to one request.
struct ScriptedAnswer {
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    std::chrono::milliseconds delay{0};
    // Close the connection without an answer (a server that dies mid-request).
    bool dropConnection = false;

    static ScriptedAnswer json(int status, const QByteArray &body);
};

// A loopback HTTP service for tests: 127.0.0.1 on a port the OS chooses, answers
// scripted per method and path, and a record of every request it received.
// Fakes of the identity service, the OAuth authority and the ledger build on it.
class FakeService : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<ScriptedAnswer(const RecordedRequest &)>;

    explicit FakeService(QObject *parent = nullptr);
    ~FakeService() override;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>" with no trailing slash.
    QUrl baseUrl() const;
    QUrl url(const QString &path) const;

    // The answer for every request to (method, path) that no queued answer takes.
    void on(const QString &method, const QString &path, Handler handler);
    void on(const QString &method, const QString &path, ScriptedAnswer answer);
    // Answers used once each, in order, before the route's standing answer.
    void enqueue(const QString &method, const QString &path, ScriptedAnswer answer);

    QList<RecordedRequest> requests() const { return m_requests; }
    QList<RecordedRequest> requestsTo(const QString &path) const;
    int countOf(const QString &method, const QString &path) const;
    void clearRequests() { m_requests.clear(); }

    // A loopback port nothing listens on: stands in for an unreachable service.
    static quint16 closedPort();

Q_SIGNALS:
    void requestReceived(const QString &method, const QString &path);

protected:
    // Hook for subclasses: called before the scripted routes; return true when handled.
    virtual bool handleSpecial(const RecordedRequest &, ScriptedAnswer &) { return false; }

private:
    void respond(const QHttpServerRequest &request, QHttpServerResponder &&responder);

    QHttpServer m_server;
    quint16 m_port = 0;
    QList<RecordedRequest> m_requests;
    std::map<QString, Handler> m_handlers;
    std::map<QString, std::deque<ScriptedAnswer>> m_queues;
};

} // namespace Fakes
