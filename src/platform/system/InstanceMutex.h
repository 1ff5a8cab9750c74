// The named mutex that lets only one copy of the program run for a user.
//
// The name stands for a lock file "<folder>/<name>.lock" held with an
// exclusive flock(2) for the lifetime of the object. The kernel drops the lock
// when the holding process ends in any way, so a lock left by a crashed
// process never blocks the next start; the file itself is left in place (it
// carries no state). The descriptor is not inherited by programs the process
// starts.
#pragma once

#include <QString>

namespace zorbel {

// Where the user's locks live: the session folder (UserRuntimeFolder), else
// a private folder in the user's configuration folder; never the temporary
// folder, which differs between copies started with different TMPDIR.
QString UserLockFolder();

class TInstanceMutex {
public:
    // Takes the mutex "name" (a plain file name, no separators) in folder,
    // by default UserLockFolder(). Never blocks.
    explicit TInstanceMutex(const QString &name, const QString &folder = QString());
    // Releases the mutex.
    ~TInstanceMutex();
    TInstanceMutex(const TInstanceMutex &) = delete;
    TInstanceMutex &operator=(const TInstanceMutex &) = delete;

    // True when another holder (another process, or another object here) had
    // the mutex. When the lock file cannot be made at all this is false and
    // Owned() is false too: the program then runs unguarded, as it would when
    // the system refuses to create a mutex.
    bool AlreadyExists() const { return alreadyExists_; }
    // True when this object holds the mutex.
    bool Owned() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    bool alreadyExists_ = false;
};

} // namespace zorbel
