// The lock of an open data file (TDataFileLock, see ZorbFile.h).
#include "core/ZorbFile.h"

#include "platform/system/SysEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorbel {

namespace {

QString LockFileOf(const QString &file)
{
    const QFileInfo info(file);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".lock");
}

QString UserName()
{
    if (const passwd *pw = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(::getuid());
}

// What a lock file says of its holder: "user\nhost\npid\n" (read from the
// start of a descriptor just opened).
QString HolderOf(int fd)
{
    char buffer[512] = {};
    const int64_t n = TSysEnv::Read(fd, buffer, sizeof buffer - 1);
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
    const QByteArray path = QFile::encodeName(lockFile);
    for (int attempt = 0; attempt < 5; ++attempt) {
        int fd = TSysEnv::Open(lockFile, O_RDWR | O_CREAT | O_NOFOLLOW, 0644);
        // Another user's lock file is locked just as well through a reading descriptor.
        if (fd < 0 && errno == EACCES)
            fd = TSysEnv::Open(lockFile, O_RDONLY | O_NOFOLLOW);
        if (fd < 0) {
            // A folder that takes no new file takes no new data file either.
            if (errno == EACCES || errno == EROFS || errno == EPERM) {
                file_ = QFileInfo(File).absoluteFilePath();
                return true;
            }
            // No lock file could be made (a full disk, a link planted at its
            // name): the file stays closed, and the caller says why rather
            // than naming another copy that does not exist.
            error_ = errno != 0 ? errno : EIO;
            return false;
        }
        int rc;
        do
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            Holder = HolderOf(fd);
            TSysEnv::Close(fd);
            return false;
        }
        // The holder before may have removed the file between our open and
        // our lock: then the lock is on a name no one sees, and we try again.
        struct stat held {}, named {};
        if (::fstat(fd, &held) != 0 || ::stat(path.constData(), &named) != 0 || held.st_ino != named.st_ino ||
            held.st_dev != named.st_dev) {
            TSysEnv::Close(fd);
            continue;
        }
        const QByteArray who = (UserName() + u'\n' + QSysInfo::machineHostName() + u'\n' +
                                QString::number(::getpid()) + u'\n')
                                   .toUtf8();
        if (!TSysEnv::Truncate(fd, 0) || !TSysEnv::WriteAll(fd, who.constData(), who.size())) {
            // Locked all the same; only the holder's name is missing.
        }
        fd_ = fd;
        file_ = QFileInfo(File).absoluteFilePath();
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
        TSysEnv::Remove(lockFile_);
        TSysEnv::Close(fd_);
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
    error_ = 0;
    file_ = Other.file_;
    lockFile_ = Other.lockFile_;
    Other.fd_ = -1;
    Other.file_.clear();
    Other.lockFile_.clear();
}

QString LockFailedText(const QString &File)
{
    return QStringLiteral("Рядом с файлом данных не удалось создать файл блокировки, который не даёт "
                          "другой копии программы писать в него.\r") +
           File;
}

QString LockedFileText(const QString &File, const QString &Holder)
{
    return QStringLiteral("Файл данных открыт в другой копии программы") +
           (Holder.isEmpty() ? QString() : QStringLiteral(" (") + Holder + u')') +
           QStringLiteral(".\rЗакройте его там и откройте снова.\r") + File;
}

} // namespace zorbel
