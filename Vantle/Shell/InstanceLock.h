#pragma once

#include <QString>

#include <memory>

class QLockFile;

// The lock that makes one running Vantle per user: a lock file in a folder only this user
// can reach, held by the running instance for as long as it runs. The lock of an instance
// that died is stale (its process is gone) and taken over; the lock of a live one never
// is, however old.
namespace InstanceLock {

enum class Claim {
    primary,   // this process holds the lock: it is the running instance
    taken,     // a live instance holds it
    unguarded, // no lock can be made in the folder: nothing to coordinate with
};

// Where the lock and the running instance's socket live.
struct Folder {
    enum class Kind {
        runtime,      // the user's runtime folder ($XDG_RUNTIME_DIR, or Qt's own fallback)
        privateTemp,  // none of those: "vantle-<uid>" in the temporary folder, private to this user
        none,         // no private folder at all: no lock, no socket, no forwarding
    };
    Kind kind = Kind::none;
    QString path; // absolute; empty for none
};

// The user's runtime folder when it is private to this user; else "vantle-<uid>" in the
// temporary folder, made 0700 when missing and used only when this user owns it (one that
// others could reach is narrowed to this user and emptied, or not used when it cannot be
// emptied); else none. Never an empty or relative path: a lock in
// the working folder and a socket in the shared temporary folder would let another local
// user take this user's sign-in links.
Folder defaultFolder();
// defaultFolder()'s path.
QString defaultDirectory();
// Whether `path` is an absolute folder (not a link) owned by this user that no one else
// may read, write or enter.
bool isPrivateFolder(const QString &path);
QString lockPath(const QString &directory);

// The lock file of `directory` (the folder made when missing), not yet claimed. For an
// empty or relative `directory` nothing is made, and the lock is never claimed.
std::unique_ptr<QLockFile> make(const QString &directory);
// One attempt, without waiting. `lock` holds the lock when the answer is primary.
Claim tryClaim(QLockFile &lock);

} // namespace InstanceLock
