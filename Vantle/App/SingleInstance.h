#pragma once

#include "Vantle/Shell/InstanceLock.h"

#include <QCoro/QCoroTask>
#include <QHash>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <memory>

class QLocalSocket;
class QLockFile;

// One running Vantle per user. The running instance holds a lock file in a folder private
// to the user (see InstanceLock::defaultFolder) and listens on a local socket beside it,
// open to this user alone; a later start hands its arguments (a "vantle://" link the
// browser opened, say) over that socket and exits. A lock or socket left behind by a
// crashed instance is taken over. Without a private folder (an empty directory) there is
// neither lock nor socket: every start runs on its own and nothing is forwarded.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    using Claim = InstanceLock::Claim;

    // Largest message a later start may send; a longer one is dropped unread.
    static constexpr qsizetype maxMessageBytes = 64 * 1024;
    // How long a later start may take to send its message.
    static constexpr std::chrono::milliseconds readTimeout{5000};
    // How long the running instance waits before it tries again to listen, after failing;
    // twice as long after each failure in a row, up to 32 times as long: a socket that can
    // never be made must not wake the process every few seconds for good.
    static constexpr std::chrono::milliseconds listenRetryInterval{10000};

    // InstanceLock::defaultDirectory(); says in the log which folder it is when it is not
    // the user's runtime folder.
    static QString defaultDirectory();

    explicit SingleInstance(QString directory, QObject *parent = nullptr);
    // Tests: a shorter wait before listening again, and for a later start's message.
    void setListenRetryInterval(std::chrono::milliseconds interval);
    void setReadTimeout(std::chrono::milliseconds timeout) { m_readTimeout = timeout; }
    bool isListening() const { return m_server.isListening(); }
    // Tests: the wait planned before the next attempt to listen (zero when none is), and
    // that attempt made now instead.
    std::chrono::milliseconds plannedListenRetry() const;
    void retryListenNow();
    ~SingleInstance() override;

    QString lockPath() const;
    QString socketPath() const;

    // One attempt, without waiting. The lock of an instance that died is stale (its
    // process is gone) and taken over; the lock of a live one is never, however old.
    Claim tryClaim();
    // Takes over the lock of this folder that the executable claimed before its first
    // window: the next tryClaim() makes this the running instance. A lock not held is
    // ignored.
    void adopt(std::unique_ptr<QLockFile> lock);
    bool isPrimary() const { return m_primary; }

    // Hands `arguments` to the instance listening at `socketPath`; true once it has
    // acknowledged them, false when none answers within `timeout`. Never throws.
    static QCoro::Task<bool> forward(QString socketPath, QStringList arguments, std::chrono::milliseconds timeout);

Q_SIGNALS:
    // A later start's arguments (without its program name), after it was acknowledged.
    void argumentsReceived(const QStringList &arguments);

private:
    void listen();
    void acceptConnections();
    void readFrom(QLocalSocket *socket);

    QString m_directory;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
    bool m_primary = false;
    QHash<QLocalSocket *, QByteArray> m_buffers;
    QTimer m_listenRetry;
    std::chrono::milliseconds m_firstListenRetry = listenRetryInterval;
    std::chrono::milliseconds m_nextListenRetry = listenRetryInterval;
    std::chrono::milliseconds m_readTimeout = readTimeout;
    bool m_listenFailureLogged = false;
};
