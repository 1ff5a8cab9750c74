// Refusing what is not a regular file before and after the open, and reading
// within a bound (see SysRead.h).
#include "platform/system/SysRead.h"

#include "platform/system/SysEnv.h"
#include "platform/system/SysNames.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorbel {

namespace {

// What a stat of the path says of it; None for a regular file within Bound.
TReadResult Judge(const struct stat &st, int64_t bound)
{
    TReadResult r;
    r.Bound = bound;
    if (S_ISDIR(st.st_mode))
        r.Fault = TReadFault::Folder;
    else if (!S_ISREG(st.st_mode))
        r.Fault = TReadFault::NotAFile;
    else if (bound >= 0 && int64_t(st.st_size) > bound)
        r.Fault = TReadFault::TooLarge;
    return r;
}

TReadResult Failure(int error)
{
    TReadResult r;
    r.Fault = error == ENOENT || error == ENOTDIR ? TReadFault::Missing : TReadFault::Failed;
    r.Error = error;
    return r;
}

} // namespace

int OpenRegularFile(const QString &Path, int Flags, int64_t Bound, TReadResult &Result)
{
    Result = {};
    Result.Bound = Bound;
    // A device is never opened at all (opening some has effects of its own);
    // what is missing may be made when the caller asks for it.
    struct stat st {};
    if (::stat(EncodeSystemName(Path).constData(), &st) == 0) {
        Result = Judge(st, Bound);
        if (!Result.Ok())
            return -1;
    } else if (errno != ENOENT || !(Flags & O_CREAT)) {
        Result = Failure(errno);
        return -1;
    }
    // Without blocking, so a FIFO put there since the look above does not
    // hold the program up; it is refused below.
    const int fd = TSysEnv::Open(Path, Flags | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        Result = Failure(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0) {
        Result = Failure(errno);
        TSysEnv::Close(fd);
        return -1;
    }
    Result = Judge(st, Bound);
    if (!Result.Ok()) {
        TSysEnv::Close(fd);
        return -1;
    }
    // A regular file's reads never wait anyway; the descriptor is handed on
    // as a plain one.
    const int status = ::fcntl(fd, F_GETFL);
    if (status != -1)
        ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

TReadResult ReadWholeFile(const QString &Path, int64_t Bound, QByteArray &Data)
{
    Data.clear();
    TReadResult r;
    const int fd = OpenRegularFile(Path, O_RDONLY, Bound, r);
    if (fd < 0)
        return r;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        Data.reserve(qsizetype(Bound >= 0 ? std::min<int64_t>(st.st_size, Bound) : st.st_size));
    char buffer[65536];
    for (;;) {
        // Never more than Bound + 1 bytes in all: one byte past the bound
        // tells a file that grew past it.
        int64_t want = int64_t(sizeof buffer);
        if (Bound >= 0)
            want = std::min<int64_t>(want, Bound + 1 - Data.size());
        const int64_t n = TSysEnv::Read(fd, buffer, want);
        if (n < 0) {
            r = Failure(errno);
            r.Fault = TReadFault::Failed;
            break;
        }
        if (n == 0)
            break;
        Data.append(buffer, qsizetype(n));
        if (Bound >= 0 && Data.size() > Bound) {
            r.Fault = TReadFault::TooLarge;
            break;
        }
    }
    TSysEnv::Close(fd);
    if (!r.Ok())
        Data.clear();
    return r;
}

QString ReadFaultText(const TReadResult &Result)
{
    switch (Result.Fault) {
    case TReadFault::None:
        return {};
    case TReadFault::Missing:
        return QStringLiteral("Файл не найден.");
    case TReadFault::Folder:
        return QStringLiteral("Это папка, а не файл.");
    case TReadFault::NotAFile:
        return QStringLiteral("Это не обычный файл, а канал, устройство или сокет.");
    case TReadFault::TooLarge: {
        const int64_t mib = (Result.Bound + (int64_t(1) << 20) - 1) >> 20;
        return mib > 1 ? QStringLiteral("Файл больше %1 МБ.").arg(mib)
                       : QStringLiteral("Файл больше %1 КБ.").arg((Result.Bound + 1023) / 1024);
    }
    case TReadFault::Failed:
        return SystemErrorText(Result.Error) + u'.';
    }
    return {};
}

namespace {

// The errno values a file or disk operation meets, with their words.
constexpr TCodeWords ErrorWords[] = {
    // errno        words
    {EPERM, u"Действие не разрешено"},
    {ENOENT, u"Нет такого файла или папки"},
    {EINTR, u"Действие прервано"},
    {EIO, u"Ошибка ввода-вывода"},
    {ENXIO, u"Нет такого устройства или адреса"},
    {EBADF, u"Файл не открыт"},
    {EAGAIN, u"Ресурс временно недоступен"},
    {ENOMEM, u"Недостаточно памяти"},
    {EACCES, u"Нет доступа"},
    {EBUSY, u"Устройство или файл заняты"},
    {EEXIST, u"Файл уже существует"},
    {EXDEV, u"Файлы на разных дисках"},
    {ENODEV, u"Нет такого устройства"},
    {ENOTDIR, u"Часть пути — не папка"},
    {EISDIR, u"Это папка, а не файл"},
    {EINVAL, u"Недопустимое значение"},
    {ENFILE, u"В системе открыто слишком много файлов"},
    {EMFILE, u"Открыто слишком много файлов"},
    {ETXTBSY, u"Файл занят"},
    {EFBIG, u"Файл слишком велик"},
    {ENOSPC, u"Нет места на диске"},
    {ESPIPE, u"Файл не допускает перемещения по нему"},
    {EROFS, u"Диск доступен только для чтения"},
    {EMLINK, u"Слишком много ссылок"},
    {EPIPE, u"Канал закрыт"},
    {ENAMETOOLONG, u"Слишком длинное имя файла"},
    {ENOLCK, u"Нет свободных блокировок"},
    {ENOSYS, u"Действие не поддерживается системой"},
    {ENOTEMPTY, u"Папка не пуста"},
    {ELOOP, u"Слишком много уровней символических ссылок"},
    {EOVERFLOW, u"Значение слишком велико"},
    {ENOTSUP, u"Действие не поддерживается"},
    {ETIMEDOUT, u"Время ожидания истекло"},
    {ESTALE, u"Файл на сетевом диске больше недоступен"},
    {EDQUOT, u"Превышена квота на диске"},
};

} // namespace

QString CodeWords(std::span<const TCodeWords> Table, int Code)
{
    for (const TCodeWords &w : Table)
        if (w.Code == Code)
            return QString::fromUtf16(w.Text);
    return {};
}

QString SystemErrorText(int Error)
{
    const QString words = CodeWords(ErrorWords, Error);
    return words.isNull() ? QStringLiteral("Системная ошибка %1").arg(Error) : words;
}

} // namespace zorbel
