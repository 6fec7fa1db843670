#pragma once

#include "Vantle/Shell/InstanceLock.h"

#include <QCoro/QCoroTask>
#include <QHash>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

class QLocalSocket;
class QLockFile;

// One running Vantle per user. The running instance holds a lock file in the user's
// runtime folder and listens on a local socket beside it; a later start hands its
// arguments (a "vantle://" link the browser opened, say) over that socket and exits.
// A lock or socket left behind by a crashed instance is taken over.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    using Claim = InstanceLock::Claim;

    // Largest message a later start may send; a longer one is dropped unread.
    static constexpr qsizetype maxMessageBytes = 64 * 1024;
    // How long a later start may take to send its message.
    static constexpr std::chrono::milliseconds readTimeout{5000};

    // The user's runtime folder ($XDG_RUNTIME_DIR).
    static QString defaultDirectory();

    explicit SingleInstance(QString directory, QObject *parent = nullptr);
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
};
