#pragma once

#include <QByteArray>
#include <QHttpServer>
#include <QJsonDocument>
#include <QJsonObject>
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
#include <optional>

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
    // Serves on `port` from now on instead (the local stack keeps each service's port across
    // restarts). False, and nothing changes, when the port cannot be had.
    bool moveTo(quint16 port);
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

    // Serves `guest`'s routes at this service's address too: a request this service
    // has no answer for goes to the guests in the order they were mounted (each
    // records it as its own). Several remote services share one host name; their
    // fakes share one port this way. The guest must outlive this service's use of it.
    void mount(FakeService *guest);

    // What outlives a restart of the local stack: the service's data as one JSON
    // object, and its reading back. Fakes with nothing worth keeping leave both as
    // they are. restoreState() throws std::runtime_error for data it cannot use.
    virtual QJsonObject saveState() const { return {}; }
    virtual void restoreState(const QJsonObject &) {}

Q_SIGNALS:
    void requestReceived(const QString &method, const QString &path);
    // After the answer to a request was decided (its state may have changed).
    void requestAnswered(const QString &method, const QString &path);

protected:
    // Hook for subclasses: called before the scripted routes; return true when handled.
    virtual bool handleSpecial(const RecordedRequest &, ScriptedAnswer &) { return false; }

private:
    void respond(const QHttpServerRequest &request, QHttpServerResponder &&responder);
    // Records the request and answers it from this service's own routes; nothing
    // when none of them takes it.
    std::optional<ScriptedAnswer> receive(const RecordedRequest &request);

    QHttpServer m_server;
    quint16 m_port = 0;
    QList<RecordedRequest> m_requests;
    std::map<QString, Handler> m_handlers;
    std::map<QString, std::deque<ScriptedAnswer>> m_queues;
    QList<FakeService *> m_guests;
};

} // namespace Fakes
