#pragma once

#include <QString>

#include <memory>

class QLockFile;

// The lock that makes one running Vantle per user: a lock file in the user's runtime
// folder, held by the running instance for as long as it runs. The lock of an instance
// that died is stale (its process is gone) and taken over; the lock of a live one never
// is, however old.
namespace InstanceLock {

enum class Claim {
    primary,   // this process holds the lock: it is the running instance
    taken,     // a live instance holds it
    unguarded, // no lock can be made in the folder: nothing to coordinate with
};

// The user's runtime folder ($XDG_RUNTIME_DIR).
QString defaultDirectory();
QString lockPath(const QString &directory);

// The lock file of `directory` (made when missing), not yet claimed.
std::unique_ptr<QLockFile> make(const QString &directory);
// One attempt, without waiting. `lock` holds the lock when the answer is primary.
Claim tryClaim(QLockFile &lock);

} // namespace InstanceLock
