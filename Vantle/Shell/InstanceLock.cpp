#include "Vantle/Shell/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isUsableDirectory(const QString &directory)
{
    return !directory.isEmpty() && QDir::isAbsolutePath(directory);
}

// "vantle-<uid>" in the temporary folder: made private when missing; one that is there
// already is used only when it is this user's own folder, and its access is narrowed.
QString privateTempFolder()
{
    const QString path = QDir(QDir::tempPath()).filePath(QStringLiteral("vantle-%1").arg(::geteuid()));
    if (!QDir::isAbsolutePath(path))
        return {};
    const QByteArray native = QFile::encodeName(path);
    ::mkdir(native.constData(), S_IRWXU);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return {};
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0 && ::chmod(native.constData(), S_IRWXU) != 0)
        return {};
    return InstanceLock::isPrivateFolder(path) ? path : QString();
}

} // namespace

bool InstanceLock::isPrivateFolder(const QString &path)
{
    if (!isUsableDirectory(path))
        return false;
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

InstanceLock::Folder InstanceLock::defaultFolder()
{
    // Qt checks the runtime folder's owner and access itself, and answers nothing when they
    // are wrong; the check here also refuses a relative $XDG_RUNTIME_DIR.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (isPrivateFolder(runtime))
        return {Folder::Kind::runtime, runtime};
    if (const QString fallback = privateTempFolder(); !fallback.isEmpty())
        return {Folder::Kind::privateTemp, fallback};
    return {Folder::Kind::none, QString()};
}

QString InstanceLock::defaultDirectory()
{
    return defaultFolder().path;
}

QString InstanceLock::lockPath(const QString &directory)
{
    if (!isUsableDirectory(directory))
        return {};
    return QDir(directory).filePath(QStringLiteral("vantle.lock"));
}

std::unique_ptr<QLockFile> InstanceLock::make(const QString &directory)
{
    if (isUsableDirectory(directory))
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
    if (lock.fileName().isEmpty())
        return Claim::unguarded;
    if (lock.isLocked() || lock.tryLock(0))
        return Claim::primary;
    return lock.error() == QLockFile::LockFailedError ? Claim::taken : Claim::unguarded;
}
