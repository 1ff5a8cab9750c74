// The real system behind the seam, and the switch to an installed environment.
#include "platform/system/SysEnv.h"

#include "platform/system/SysNames.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace zorbel {

namespace {

TSysEnv &RealEnv()
{
    static TSysEnv real;
    return real;
}

std::atomic<TSysEnv *> current{nullptr};
std::atomic<int> noSpace{0};

// Passes Ok on, counting a failure for want of space.
template <typename T> T Counted(T Result, bool Ok)
{
    if (!Ok && (errno == ENOSPC || errno == EDQUOT))
        noSpace.fetch_add(1, std::memory_order_relaxed);
    return Result;
}

// True when the installed environment lets Op run; else errno is set.
bool Allowed(TSysOp Op)
{
    const int error = TSysEnv::Current().Fault(Op);
    if (error == 0)
        return true;
    errno = error;
    return false;
}

// True when the installed environment lets Op run on Path; else errno is set.
bool AllowedAt(TSysOp Op, const QString &Path, bool Changes)
{
    const int error = TSysEnv::Current().PathFault(Op, Path, Changes);
    if (error == 0)
        return true;
    errno = error;
    return false;
}

} // namespace

TSysEnv &TSysEnv::Current()
{
    TSysEnv *env = current.load(std::memory_order_acquire);
    return env ? *env : RealEnv();
}

int TSysEnv::Fault(TSysOp Op)
{
    (void)Op;
    return 0;
}

int TSysEnv::PathFault(TSysOp Op, const QString &Path, bool Changes)
{
    (void)Op;
    (void)Path;
    (void)Changes;
    return 0;
}

QDateTime TSysEnv::Now()
{
    return QDateTime::currentDateTime();
}

int64_t TSysEnv::DiskFree(const QString &Path)
{
    struct statvfs st {};
    if (::statvfs(EncodeSystemName(Path).constData(), &st) != 0)
        return -1;
    return int64_t(st.f_bavail) * int64_t(st.f_frsize);
}

int64_t TSysEnv::FreeBytes(const QString &Path)
{
    return Current().DiskFree(Path);
}

int TSysEnv::Open(const QString &Path, int Flags, int Mode)
{
    if (!Allowed(TSysOp::Open) ||
        !AllowedAt(TSysOp::Open, Path, (Flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0))
        return Counted(-1, false);
    int fd;
    do
        fd = ::open(EncodeSystemName(Path).constData(), Flags | O_CLOEXEC, Mode);
    while (fd < 0 && errno == EINTR);
    return Counted(fd, fd >= 0);
}

int TSysEnv::OpenTemp(QByteArray &Template, int SuffixLength)
{
    if (!Allowed(TSysOp::Open) || !AllowedAt(TSysOp::Open, DecodeSystemName(Template), true))
        return Counted(-1, false);
    const int fd = ::mkostemps(Template.data(), SuffixLength, O_CLOEXEC);
    return Counted(fd, fd >= 0);
}

int64_t TSysEnv::Read(int Fd, void *Buffer, int64_t Count)
{
    if (!Allowed(TSysOp::Read))
        return -1;
    ssize_t n;
    do
        n = ::read(Fd, Buffer, size_t(Count));
    while (n < 0 && errno == EINTR);
    return n;
}

bool TSysEnv::WriteAll(int Fd, const void *Data, int64_t Count)
{
    const char *p = static_cast<const char *>(Data);
    while (Count > 0) {
        if (!Allowed(TSysOp::Write))
            return Counted(false, false);
        const ssize_t n = ::write(Fd, p, size_t(Count));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Counted(false, false);
        }
        p += n;
        Count -= n;
    }
    return true;
}

bool TSysEnv::Flush(int Fd)
{
    const bool ok = Allowed(TSysOp::Flush) && ::fsync(Fd) == 0;
    return Counted(ok, ok);
}

void TSysEnv::SyncFolder(const QString &Folder)
{
    const int fd = ::open(EncodeSystemName(Folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    Flush(fd);
    ::close(fd);
}

bool TSysEnv::Truncate(int Fd, int64_t Size)
{
    const bool ok = Allowed(TSysOp::Truncate) && ::ftruncate(Fd, off_t(Size)) == 0;
    return Counted(ok, ok);
}

bool TSysEnv::Rename(const QString &From, const QString &To)
{
    return Allowed(TSysOp::Rename) && AllowedAt(TSysOp::Rename, From, true) && AllowedAt(TSysOp::Rename, To, true)
           && ::rename(EncodeSystemName(From).constData(), EncodeSystemName(To).constData()) == 0;
}

bool TSysEnv::Remove(const QString &Path)
{
    return Allowed(TSysOp::Remove) && AllowedAt(TSysOp::Remove, Path, true) &&
           ::unlink(EncodeSystemName(Path).constData()) == 0;
}

bool TSysEnv::Copy(int From, int To)
{
    if (!Allowed(TSysOp::Copy))
        return false;
    char buffer[65536];
    for (;;) {
        const int64_t n = Read(From, buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0 || !WriteAll(To, buffer, n))
            return false;
    }
}

void TSysEnv::Close(int Fd)
{
    if (Fd >= 0)
        ::close(Fd);
}

QDateTime TSysEnv::ModifiedTime(const QString &Path)
{
    struct stat st {};
    if (!Allowed(TSysOp::FileTime) || ::stat(EncodeSystemName(Path).constData(), &st) != 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
}

int TSysEnv::SetModifiedTime(const QString &Path, const QDateTime &Time)
{
    if (!Time.isValid())
        return EINVAL;
    if (!Allowed(TSysOp::FileTime))
        return errno;
    const qint64 ms = Time.toMSecsSinceEpoch();
    timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    times[1].tv_nsec = static_cast<long>((ms - qint64(times[1].tv_sec) * 1000) * 1000000);
    return ::utimensat(AT_FDCWD, EncodeSystemName(Path).constData(), times, 0) == 0 ? 0 : errno;
}

bool TSysEnv::CopyTimes(const struct stat &From, int Fd)
{
    const timespec times[2] = {From.st_atim, From.st_mtim};
    return Allowed(TSysOp::FileTime) && ::futimens(Fd, times) == 0;
}

QDateTime TSysEnv::CurrentTime()
{
    return Current().Now();
}

int TSysEnv::NoSpaceCount()
{
    return noSpace.load(std::memory_order_relaxed);
}

TSysEnvScope::TSysEnvScope(TSysEnv &Env) : previous_(current.exchange(&Env, std::memory_order_acq_rel)) {}

TSysEnvScope::~TSysEnvScope()
{
    current.store(previous_, std::memory_order_release);
}

} // namespace zorbel
