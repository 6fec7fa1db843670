#include "Vantle/Shell/InstanceLock.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

QString InstanceLock::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString InstanceLock::lockPath(const QString &directory)
{
    return QDir(directory).filePath(QStringLiteral("vantle.lock"));
}

std::unique_ptr<QLockFile> InstanceLock::make(const QString &directory)
{
    QDir().mkpath(directory);
    auto lock = std::make_unique<QLockFile>(lockPath(directory));
    // Age alone must never free a live instance's lock. Where file locks work the kernel
    // already guarantees that; elsewhere the default would count a lock older than 30
    // seconds as stale.
    lock->setStaleLockTime(0);
    return lock;
}

InstanceLock::Claim InstanceLock::tryClaim(QLockFile &lock)
{
    if (lock.isLocked() || lock.tryLock(0))
        return Claim::primary;
    return lock.error() == QLockFile::LockFailedError ? Claim::taken : Claim::unguarded;
}
