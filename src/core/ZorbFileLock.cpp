// The lock of an open data file (TDataFileLock, see ZorbFile.h).
#include "core/ZorbFile.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysFiles.h"
#include "platform/system/SysNames.h"

#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorbel {

namespace {

QString LockFileOf(const QString &file)
{
    return AbsoluteFolderOf(file) + QStringLiteral("/.") + QFileInfo(file).fileName() + QStringLiteral(".lock");
}

QString UserName()
{
    if (const passwd *pw = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(::getuid());
}

// What a lock file says of its holder: "user\nhost\npid\n".
QString HolderOf(int fd)
{
    char buffer[512] = {};
    const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
    const QStringList lines = QString::fromUtf8(buffer, n > 0 ? int(n) : 0).split(u'\n');
    if (lines.size() < 3 || lines[0].isEmpty())
        return {};
    return lines[0] + u'@' + lines[1] + QStringLiteral(", процесс ") + lines[2];
}

} // namespace

TDataFileLock::~TDataFileLock() { Release(); }

bool TDataFileLock::Acquire(const QString &File, QString &Holder)
{
    Release();
    Holder.clear();
    error_ = 0;
    const QString lockFile = LockFileOf(File);
    const QByteArray path = EncodeSystemName(lockFile);
    for (int attempt = 0; attempt < 5; ++attempt) {
        // Never waiting: a FIFO under the lock's name would hold the opening up.
        int fd = TSysEnv::Open(lockFile, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
        // Another user's lock file is locked just as well through a reading
        // descriptor. In a folder the user cannot write there may be none at
        // all (ENOENT): no copy then holds one.
        bool unwritable = fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM);
        if (unwritable) {
            fd = TSysEnv::Open(lockFile, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
            unwritable = fd < 0 && (errno == ENOENT || errno == EACCES || errno == EROFS || errno == EPERM);
        }
        if (fd < 0) {
            // A folder that takes no new file takes no new data file either:
            // no copy can write there, so none needs keeping out.
            if (unwritable) {
                file_ = AbsoluteName(File);
                return true;
            }
            Holder.clear();
            error_ = errno;
            return false;
        }
        int rc;
        do
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            error_ = errno == EWOULDBLOCK ? 0 : errno;
            if (error_ == 0)
                Holder = HolderOf(fd);
            ::close(fd);
            return false;
        }
        // The holder before may have removed the file between our open and
        // our lock: then the lock is on a name no one sees, and we try again.
        struct stat held {}, named {};
        if (::fstat(fd, &held) != 0 || ::stat(path.constData(), &named) != 0 || held.st_ino != named.st_ino ||
            held.st_dev != named.st_dev) {
            ::close(fd);
            continue;
        }
        const QByteArray who = (UserName() + u'\n' + QSysInfo::machineHostName() + u'\n' +
                                QString::number(::getpid()) + u'\n')
                                   .toUtf8();
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, who.constData(), size_t(who.size()), 0) != who.size()) {
            // Locked all the same; only the holder's name is missing.
        }
        fd_ = fd;
        file_ = AbsoluteName(File);
        lockFile_ = lockFile;
        return true;
    }
    return false;
}

void TDataFileLock::Release()
{
    if (fd_ >= 0) {
        // Removed while still locked, so no other copy takes a lock on a
        // file that is about to vanish unnoticed (it checks the name).
        ::unlink(EncodeSystemName(lockFile_).constData());
        ::close(fd_);
    }
    fd_ = -1;
    file_.clear();
    lockFile_.clear();
}

void TDataFileLock::Take(TDataFileLock &Other)
{
    if (&Other == this)
        return;
    Release();
    fd_ = Other.fd_;
    file_ = Other.file_;
    lockFile_ = Other.lockFile_;
    Other.fd_ = -1;
    Other.file_.clear();
    Other.lockFile_.clear();
}

bool DataFileWritable(const QString &File)
{
    // The file's own mode does not matter: the new archive is renamed over it.
    return PathAccessible(AbsoluteFolderOf(File), W_OK | X_OK);
}

QString ReadOnlyDataFileText(const QString &File)
{
    return QStringLiteral("Файл данных открыт только для чтения: в его папку нельзя записать.\r"
                          "Чтобы сохранить изменения, выберите «Сохранить как…».\r") +
           ShownName(File);
}

QString LockFailedText(const QString &File, int Error)
{
    return QStringLiteral("Не удалось заблокировать файл данных от записи другой копией программы (%1).\r")
               .arg(SystemErrorText(Error)) +
           ShownName(File);
}

QString LockedFileText(const QString &File, const QString &Holder)
{
    return QStringLiteral("Файл данных открыт в другой копии программы") +
           (Holder.isEmpty() ? QString() : QStringLiteral(" (") + Holder + u')') +
           QStringLiteral(".\rЗакройте его там и откройте снова.\r") + ShownName(File);
}

} // namespace zorbel
