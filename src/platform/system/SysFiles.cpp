// File primitives over POSIX calls. Every replacement of a file goes through
// TempBeside: the new contents are written into a fresh temporary file in the
// target's own folder (so the final rename never crosses a file system), synced
// and renamed over the target. Until that rename the target is untouched; a
// temporary file is removed whenever the operation does not complete.
#include "platform/system/SysFiles.h"

#include "platform/rtl/Exceptions.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorbel {

namespace {

QByteArray Native(const QString &path) { return EncodeSystemName(path); }

// A temporary file beside a target that replaces the target on Replace().
// Requires: the target's folder exists. On return from the constructor Fd()
// is the open file, or -1 with errno set.
class TempBeside {
public:
    explicit TempBeside(const QString &target) : target_(target), path_(Native(target) + ".XXXXXX")
    {
        fd_ = TSysEnv::OpenTemp(path_);
        created_ = fd_ >= 0;
    }
    ~TempBeside()
    {
        TSysEnv::Close(fd_);
        if (created_ && !replaced_)
            TSysEnv::Remove(DecodeSystemName(path_));
    }
    TempBeside(const TempBeside &) = delete;
    TempBeside &operator=(const TempBeside &) = delete;

    int Fd() const { return fd_; }

    // Flushes the contents to the disk and closes the file.
    bool Sync()
    {
        const bool ok = TSysEnv::Flush(fd_);
        const int saved = errno;
        TSysEnv::Close(fd_);
        fd_ = -1;
        errno = saved;
        return ok;
    }

    // Renames the synced file over the target.
    bool Replace()
    {
        replaced_ = TSysEnv::Rename(DecodeSystemName(path_), target_);
        return replaced_;
    }

private:
    QString target_;
    QByteArray path_;
    int fd_ = -1;
    bool created_ = false;
    bool replaced_ = false;
};

} // namespace

TPrivateFolder TakePrivateFolder(const QString &folder, bool make)
{
    const QByteArray native = Native(folder);
    if (make && ::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return TPrivateFolder::Failed;
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return errno == ENOENT ? TPrivateFolder::Missing : TPrivateFolder::Failed;
    if (S_ISLNK(st.st_mode))
        return TPrivateFolder::Link;
    if (!S_ISDIR(st.st_mode))
        return TPrivateFolder::NotFolder;
    if (st.st_uid != ::getuid())
        return TPrivateFolder::Foreign;
    if ((st.st_mode & 07777) != 0700 && ::chmod(native.constData(), 0700) != 0)
        return TPrivateFolder::Failed;
    return TPrivateFolder::Ok;
}

namespace {

// folder made (mode 0700) or taken when it is a real folder of this user,
// narrowed to 0700; with a trailing separator, empty otherwise.
QString OwnPrivateFolder(const QString &folder)
{
    return TakePrivateFolder(folder, true) == TPrivateFolder::Ok ? folder + QLatin1Char('/') : QString();
}

} // namespace

QString UserTempFolder(const QString &systemTemp)
{
    const QString base = systemTemp.isEmpty() ? SystemTempFolder() : systemTemp;
    // The folder may have been planted by someone else: accept only our own.
    return OwnPrivateFolder(QDir::cleanPath(base) + QStringLiteral("/zorbel-") + QString::number(::getuid()));
}

QString UserRuntimeFolder()
{
    const QString runtime = DecodeSystemName(qgetenv("XDG_RUNTIME_DIR"));
    if (runtime.isEmpty() || !QDir::isAbsolutePath(runtime))
        return {};
    struct stat st {};
    // The session's own folder: a real folder of this user that no one else may enter.
    if (::lstat(Native(runtime).constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 0077) != 0)
        return {};
    return OwnPrivateFolder(QDir::cleanPath(runtime) + QStringLiteral("/zorbel"));
}

QString FreshPrivateFolder(const QString &systemTemp)
{
    const QString base = systemTemp.isEmpty() ? SystemTempFolder() : systemTemp;
    QByteArray name = Native(QDir::cleanPath(base) + QStringLiteral("/zorbel-") + QString::number(::getuid()) +
                             QStringLiteral("-XXXXXX"));
    if (!::mkdtemp(name.data()))
        return {};
    return DecodeSystemName(name) + QLatin1Char('/');
}

QString MountPointOf(const QString &path)
{
    QString folder = AbsoluteName(path);
    struct stat st {};
    while (::stat(Native(folder).constData(), &st) != 0 && folder != QLatin1String("/"))
        folder = AbsoluteFolderOf(folder);
    for (;;) {
        const QString parent = AbsoluteFolderOf(folder);
        struct stat up {};
        if (folder == QLatin1String("/") || ::stat(Native(parent).constData(), &up) != 0 || up.st_dev != st.st_dev)
            return folder;
        folder = parent;
    }
}

bool CopyFile(const QString &source, const QString &target, bool failIfExists, int *targetError)
{
    if (targetError)
        *targetError = 0;
    // Only a regular file is copied: a FIFO or a device under the source's
    // name would hold the copy up for good or never end.
    TReadResult refused;
    const int from = OpenRegularFile(source, O_RDONLY, -1, refused);
    if (from < 0) {
        errno = refused.Fault == TReadFault::Failed || refused.Fault == TReadFault::Missing ? refused.Error : EINVAL;
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(from, &st) == 0;
    if (ok && failIfExists && PathExists(target))
        ok = false;
    if (ok) {
        TempBeside copy(target);
        if (copy.Fd() < 0 && targetError)
            *targetError = errno;
        ok = copy.Fd() >= 0 && TSysEnv::Copy(from, copy.Fd()) && ::fchmod(copy.Fd(), st.st_mode & 07777) == 0
             && TSysEnv::CopyTimes(st, copy.Fd()) && copy.Sync() && copy.Replace();
    }
    TSysEnv::Close(from);
    return ok;
}

bool MoveFileReplace(const QString &source, const QString &target)
{
    if (TSysEnv::Rename(source, target))
        return true;
    if (errno != EXDEV)
        return false;
    return CopyFile(source, target, false) && TSysEnv::Remove(source);
}

TFileIdentity FileIdentity(const QString &fileName)
{
    struct stat st {};
    if (::stat(Native(fileName).constData(), &st) != 0)
        return {};
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size), qint64(st.st_mtim.tv_sec),
            qint64(st.st_mtim.tv_nsec)};
}

QDateTime FileAge(const QString &fileName)
{
    if (IsFolder(fileName))
        return {};
    return TSysEnv::ModifiedTime(fileName);
}

int FileSetDate(const QString &fileName, const QDateTime &time) { return TSysEnv::SetModifiedTime(fileName, time); }

int FileGetAttr(const QString &fileName)
{
    struct stat st {};
    if (::stat(Native(fileName).constData(), &st) != 0)
        return -1;
    int attr = S_ISDIR(st.st_mode) ? faDirectory : S_ISREG(st.st_mode) ? faArchive : 0;
    if (!(st.st_mode & S_IWUSR))
        attr |= faReadOnly;
    if (QFileInfo(fileName).fileName().startsWith(QLatin1Char('.')))
        attr |= faHidden;
    return attr;
}

int FileSetAttr(const QString &fileName, int attr)
{
    const QByteArray native = Native(fileName);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return errno;
    const mode_t mode = (attr & faReadOnly) ? (st.st_mode & 07777 & ~mode_t(0222)) : ((st.st_mode & 07777) | S_IWUSR);
    return ::chmod(native.constData(), mode) == 0 ? 0 : errno;
}

void SaveFileAtomically(const QString &fileName, const QByteArray &data)
{
    bool given = false;
    SaveFileAtomically(fileName, [&](QByteArray &block) {
        if (given)
            return false;
        block = data;
        given = true;
        return true;
    });
}

void SaveFileAtomically(const QString &fileName, const std::function<bool(QByteArray &block)> &next)
{
    std::optional<TFileReplacer> file;
    try {
        file.emplace(fileName, false);
    } catch (const EFCreateError &e) {
        throw EWriteError(e.Message());
    }
    QByteArray block;
    while (next(block))
        file->WriteBlock(block);
    file->Commit();
}

namespace {
constexpr qsizetype ReplacerBuffer = 1 << 16;
}

TFileReplacer::TFileReplacer(const QString &fileName, bool readable, bool synced)
    : fileName_(fileName), tempPath_(Native(fileName) + ".XXXXXX"), readable_(readable), synced_(synced)
{
    const QString folder = AbsoluteFolderOf(fileName);
    if (!MakeFolders(folder) || (fd_ = TSysEnv::OpenTemp(tempPath_)) < 0)
        throw EFCreateError(QStringLiteral("Не удаётся создать файл «%1». %2.").arg(fileName, SystemErrorText(errno)));
}

TFileReplacer::~TFileReplacer()
{
    if (fd_ >= 0)
        TSysEnv::Close(fd_);
    if (!committed_ && !tempPath_.isEmpty())
        TSysEnv::Remove(DecodeSystemName(tempPath_));
}

void TFileReplacer::Fail(int error)
{
    TSysEnv::Close(fd_);
    fd_ = -1;
    TSysEnv::Remove(DecodeSystemName(tempPath_));
    tempPath_.clear();
    throw EWriteError(QStringLiteral("Не удаётся записать файл «%1». %2.").arg(fileName_, SystemErrorText(error)));
}

void TFileReplacer::Flush()
{
    if (buffer_.isEmpty())
        return;
    if (fd_ < 0 || !TSysEnv::WriteAll(fd_, buffer_.constData(), buffer_.size()))
        Fail(fd_ < 0 ? EBADF : errno);
    written_ += buffer_.size();
    buffer_.clear();
}

void TFileReplacer::Write(const char *data, qsizetype size)
{
    if (buffer_.size() + size > ReplacerBuffer)
        Flush();
    if (size >= ReplacerBuffer)
        WriteBlock(QByteArray::fromRawData(data, size));
    else
        buffer_.append(data, size);
}

void TFileReplacer::WriteBlock(const QByteArray &data)
{
    Flush();
    if (fd_ < 0 || !TSysEnv::WriteAll(fd_, data.constData(), data.size()))
        Fail(fd_ < 0 ? EBADF : errno);
    written_ += data.size();
}

void TFileReplacer::Commit()
{
    if (committed_)
        return;
    Flush();
    if (fd_ < 0)
        Fail(EBADF);
    if (readable_)
        ::fchmod(fd_, 0644);
    const bool synced = !synced_ || TSysEnv::Flush(fd_);
    const int error = errno;
    TSysEnv::Close(fd_);
    fd_ = -1;
    if (!synced)
        Fail(error);
    if (!TSysEnv::Rename(DecodeSystemName(tempPath_), fileName_))
        Fail(errno);
    committed_ = true;
    if (synced_)
        TSysEnv::SyncFolder(AbsoluteFolderOf(fileName_));
}

} // namespace zorbel
