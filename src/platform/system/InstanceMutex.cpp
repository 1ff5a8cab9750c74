// Named mutex as a lock file with flock(2); see InstanceMutex.h.
#include "platform/system/InstanceMutex.h"

#include "platform/system/SysFiles.h"

#include <cassert>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zorbel {

QString UserLockFolder()
{
    // Not the temporary folder: copies started with different TMPDIR must meet.
    const QString runtime = UserRuntimeFolder();
    if (!runtime.isEmpty())
        return runtime;
    const QString config = UserConfigHome();
    if (config.isEmpty())
        return {};
    MakeFolders(config);
    return UserTempFolder(config);
}

TInstanceMutex::TInstanceMutex(const QString &name, const QString &folder)
{
    assert(!name.isEmpty() && !name.contains(QLatin1Char('/')));
    QString base = folder.isEmpty() ? UserLockFolder() : folder;
    if (base.isEmpty())
        return;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    const QByteArray path = EncodeSystemName(base + name + QStringLiteral(".lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        fd_ = fd;
        return;
    }
    alreadyExists_ = errno == EWOULDBLOCK;
    ::close(fd);
}

TInstanceMutex::~TInstanceMutex()
{
    if (fd_ >= 0)
        ::close(fd_); // closing the only descriptor drops the lock
}

} // namespace zorbel
