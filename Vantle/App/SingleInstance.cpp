#include "Vantle/App/SingleInstance.h"

#include "Vantle/Utilities/Log.h"

#include <QCoro/QCoroLocalSocket>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <utility>

namespace {

constexpr char ackByte = '\x01';
constexpr qsizetype headerBytes = 4;

const Log &lifecycleLog()
{
    static const Log log(QStringLiteral("lifecycle"));
    return log;
}

QByteArray frame(const QByteArray &payload)
{
    QByteArray out(headerBytes, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), out.data());
    return out + payload;
}

} // namespace

QString SingleInstance::defaultDirectory()
{
    const InstanceLock::Folder folder = InstanceLock::defaultFolder();
    switch (folder.kind) {
    case InstanceLock::Folder::Kind::runtime:
        break;
    case InstanceLock::Folder::Kind::privateTemp:
        lifecycleLog().emit(QStringLiteral("warn"), QStringLiteral("single_instance_folder kind=private_temp "
                                                                   "reason=no_runtime_folder"));
        break;
    case InstanceLock::Folder::Kind::none:
        lifecycleLog().emit(QStringLiteral("warn"), QStringLiteral("single_instance_folder kind=none "
                                                                   "reason=no_private_folder forwarding=off"));
        break;
    }
    return folder.path;
}

SingleInstance::SingleInstance(QString directory, QObject *parent)
    : QObject(parent), m_directory(std::move(directory))
{
    // Only this user may hand arguments to this user's instance.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    m_listenRetry.setSingleShot(true);
    connect(&m_listenRetry, &QTimer::timeout, this, &SingleInstance::listen);
}

void SingleInstance::setListenRetryInterval(std::chrono::milliseconds interval)
{
    m_firstListenRetry = interval;
    m_nextListenRetry = interval;
}

std::chrono::milliseconds SingleInstance::plannedListenRetry() const
{
    return m_listenRetry.isActive() ? m_listenRetry.intervalAsDuration() : std::chrono::milliseconds(0);
}

void SingleInstance::retryListenNow()
{
    if (!m_listenRetry.isActive())
        return;
    m_listenRetry.stop();
    listen();
}

SingleInstance::~SingleInstance()
{
    // Close the server before the lock goes: a start that finds the lock free must
    // not find this socket still listening.
    m_server.close();
}

QString SingleInstance::lockPath() const
{
    return InstanceLock::lockPath(m_directory);
}

QString SingleInstance::socketPath() const
{
    // Never a bare name: the local server would put it in the shared temporary folder.
    if (m_directory.isEmpty() || !QDir::isAbsolutePath(m_directory))
        return {};
    return QDir(m_directory).filePath(QStringLiteral("vantle.socket"));
}

SingleInstance::Claim SingleInstance::tryClaim()
{
    if (m_primary)
        return Claim::primary;
    if (!m_lock)
        m_lock = InstanceLock::make(m_directory);
    const Claim claim = InstanceLock::tryClaim(*m_lock);
    if (claim == Claim::primary) {
        m_primary = true;
        listen();
    } else if (claim == Claim::unguarded) {
        lifecycleLog().emit(QStringLiteral("warn"), QStringLiteral("single_instance_unavailable lock_error=%1")
                                                        .arg(static_cast<int>(m_lock->error())));
    }
    return claim;
}

void SingleInstance::adopt(std::unique_ptr<QLockFile> lock)
{
    if (!m_primary && lock && lock->isLocked() && lock->fileName() == lockPath())
        m_lock = std::move(lock);
}

void SingleInstance::listen()
{
    const QString path = socketPath();
    if (path.isEmpty() || m_server.isListening())
        return;
    // The socket of a crashed instance may still be there; holding the lock means no
    // live instance is behind it.
    QLocalServer::removeServer(path);
    if (m_server.listen(path)) {
        if (m_listenFailureLogged)
            lifecycleLog().emit(QStringLiteral("info"), QStringLiteral("single_instance_listening"));
        m_listenFailureLogged = false;
        m_nextListenRetry = m_firstListenRetry;
        return;
    }
    // Later starts cannot reach this one until it listens: it keeps trying.
    if (!m_listenFailureLogged) {
        lifecycleLog().emit(QStringLiteral("warn"), QStringLiteral("single_instance_listen_failed error=%1")
                                                        .arg(static_cast<int>(m_server.serverError())));
        m_listenFailureLogged = true;
    }
    m_listenRetry.start(m_nextListenRetry);
    m_nextListenRetry = std::min(m_nextListenRetry * 2, m_firstListenRetry * 32);
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        m_buffers.insert(socket, QByteArray());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket]() { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket]() {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
        QPointer<QLocalSocket> guarded(socket);
        QTimer::singleShot(m_readTimeout, this, [guarded]() {
            if (guarded)
                guarded->abort();
        });
        if (socket->bytesAvailable() > 0)
            readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket *socket)
{
    auto buffer = m_buffers.find(socket);
    if (buffer == m_buffers.end())
        return;
    buffer->append(socket->readAll());
    if (buffer->size() < headerBytes)
        return;
    const quint32 length = qFromBigEndian<quint32>(buffer->constData());
    if (length > static_cast<quint32>(maxMessageBytes)) {
        lifecycleLog().emit(QStringLiteral("warn"), QStringLiteral("single_instance_message_refused reason=too_long"));
        m_buffers.erase(buffer);
        socket->abort();
        return;
    }
    if (buffer->size() < headerBytes + static_cast<qsizetype>(length))
        return;

    const QJsonDocument document = QJsonDocument::fromJson(buffer->mid(headerBytes, length));
    m_buffers.erase(buffer);
    QStringList arguments;
    bool wellFormed = document.isArray();
    for (const QJsonValue &value : document.array()) {
        wellFormed = wellFormed && value.isString();
        arguments.append(value.toString());
    }
    if (!wellFormed) {
        lifecycleLog().emit(QStringLiteral("warn"), QStringLiteral("single_instance_message_refused reason=malformed"));
        socket->abort();
        return;
    }
    // Acknowledge before acting, so the later start can exit while this one works.
    socket->write(QByteArray(1, ackByte));
    socket->flush();
    socket->disconnectFromServer();
    Q_EMIT argumentsReceived(arguments);
}

QCoro::Task<bool> SingleInstance::forward(QString socketPath, QStringList arguments, std::chrono::milliseconds timeout)
{
    try {
        const QByteArray payload = QJsonDocument(QJsonArray::fromStringList(arguments)).toJson(QJsonDocument::Compact);
        if (payload.size() > maxMessageBytes)
            co_return false;
        if (socketPath.isEmpty())
            co_return false;
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        // A local socket connects at once or fails at once; only a full backlog waits.
        if (socket.state() == QLocalSocket::UnconnectedState)
            co_return false;
        if (socket.state() != QLocalSocket::ConnectedState && !co_await qCoro(socket).waitForConnected(timeout))
            co_return false;
        socket.write(frame(payload));
        while (socket.bytesAvailable() < 1) {
            if (socket.state() != QLocalSocket::ConnectedState || !co_await qCoro(socket).waitForReadyRead(timeout))
                co_return false;
        }
        co_return socket.read(1) == QByteArray(1, ackByte);
    } catch (...) {
        co_return false;
    }
}
