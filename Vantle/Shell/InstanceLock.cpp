#include "Vantle/Shell/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QScopeGuard>
#include <QStandardPaths>

#include <optional>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isUsableDirectory(const QString &directory)
{
    return !directory.isEmpty() && QDir::isAbsolutePath(directory);
}

// The names in the folder open as `folder`; nothing when it cannot be read.
std::optional<std::vector<QByteArray>> entryNames(int folder)
{
    // Opened afresh, not duplicated: a duplicate would share the position a listing
    // before this one left at the end.
    const int copy = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0)
        return std::nullopt;
    DIR *listing = ::fdopendir(copy);
    if (!listing) {
        ::close(copy);
        return std::nullopt;
    }
    std::vector<QByteArray> names;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(listing);
    return names;
}

// Removes what the folder open as `folder` holds, without following links or entering
// folders: what cannot go that way (a folder that is not empty) leaves it not empty.
// Whether it is empty now.
bool removeContents(int folder)
{
    const auto names = entryNames(folder);
    if (!names)
        return false;
    for (const QByteArray &name : *names) {
        if (::unlinkat(folder, name.constData(), 0) != 0)
            ::unlinkat(folder, name.constData(), AT_REMOVEDIR);
    }
    const auto left = entryNames(folder);
    return left && left->empty();
}

// "vantle-<uid>" in the temporary folder: made private when missing; one that is there
// already is used only when it is this user's own folder. One that others could reach is
// narrowed to this user and emptied first: what someone else left in it (a lock naming a
// live process, a socket listening for this user's sign-in links) must not be trusted.
QString privateTempFolder()
{
    const QString path = QDir(QDir::tempPath()).filePath(QStringLiteral("vantle-%1").arg(::geteuid()));
    if (!QDir::isAbsolutePath(path))
        return {};
    const QByteArray native = QFile::encodeName(path);
    ::mkdir(native.constData(), S_IRWXU);
    const int folder = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return {};
    const auto closeFolder = qScopeGuard([folder]() { ::close(folder); });
    struct stat info {};
    if (::fstat(folder, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return {};
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0 && (::fchmod(folder, S_IRWXU) != 0 || !removeContents(folder)))
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
