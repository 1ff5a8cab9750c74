// Byte streams: the file stream over the system seam and the memory stream.
#include "platform/rtl/Streams.h"

#include "platform/system/SysEnv.h"
#include "platform/system/SysRead.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorbel {

int64_t TStream::Size()
{
    const int64_t pos = Seek(0, soFromCurrent);
    const int64_t size = Seek(0, soFromEnd);
    Seek(pos, soFromBeginning);
    return size;
}

void TStream::ReadBuffer(void *buffer, int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError(QStringLiteral("Ошибка чтения данных"));
}

void TStream::WriteBuffer(const void *buffer, int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError(QStringLiteral("Ошибка записи данных"));
}

int64_t TStream::CopyFrom(TStream &source, int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    constexpr int64_t kChunk = 64 * 1024;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(count, kChunk)));
    const int64_t total = count;
    while (count > 0) {
        const int64_t n = std::min(count, kChunk);
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        count -= n;
    }
    return total;
}

// ---- TFileStream -------------------------------------------------------------

namespace {

QString SystemError() { return SystemErrorText(errno); }

} // namespace

TFileStream::TFileStream(const QString &fileName, uint16_t mode, int64_t sizeBound) : fileName_(fileName)
{
    const bool create = mode == fmCreate || (mode & 0xFF00) == fmCreate;
    int flags = O_RDONLY;
    if (create)
        flags = O_RDWR | O_CREAT | O_TRUNC;
    else if ((mode & 0x3) == fmOpenWrite)
        flags = O_WRONLY;
    else if ((mode & 0x3) == fmOpenReadWrite)
        flags = O_RDWR;
    // Only a regular file: a folder, or a FIFO or device under a file's name
    // (whose open or reads would wait or never end), is turned away unopened.
    TReadResult refused;
    fd_ = OpenRegularFile(fileName, flags, create ? -1 : sizeBound, refused);
    if (fd_ >= 0)
        return;
    const QString why = ReadFaultText(refused);
    if (create)
        throw EFCreateError(QStringLiteral("Не удаётся создать файл «%1». %2").arg(fileName, why));
    throw EFOpenError(QStringLiteral("Не удаётся открыть файл «%1». %2").arg(fileName, why));
}

TFileStream::~TFileStream()
{
    TSysEnv::Close(fd_);
}

int64_t TFileStream::Read(void *buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    // Short reads are retried until the count or the end; a failed read is an
    // error, never an early end: a caller packing the file would otherwise
    // store it short with a matching CRC.
    int64_t total = 0;
    while (total < count) {
        const int64_t n = TSysEnv::Read(fd_, static_cast<char *>(buffer) + total, count - total);
        if (n < 0)
            throw EReadError(QStringLiteral("Ошибка чтения файла «%1». %2.").arg(fileName_, SystemError()));
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

int64_t TFileStream::Write(const void *buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    return TSysEnv::WriteAll(fd_, buffer, count) ? count : 0;
}

int64_t TFileStream::Seek(int64_t offset, int origin)
{
    int64_t target = offset;
    if (origin == soFromCurrent)
        target += ::lseek(fd_, 0, SEEK_CUR);
    else if (origin == soFromEnd)
        target += Size();
    if (target < 0 || ::lseek(fd_, off_t(target), SEEK_SET) != off_t(target))
        throw EStreamError(QStringLiteral("Ошибка перемещения по файлу «%1»").arg(fileName_));
    return target;
}

void TFileStream::SetSize(int64_t newSize)
{
    if (newSize < 0 || !TSysEnv::Truncate(fd_, newSize))
        throw EWriteError(QStringLiteral("Ошибка записи данных"));
    if (::lseek(fd_, 0, SEEK_CUR) > newSize)
        ::lseek(fd_, off_t(newSize), SEEK_SET);
}

int64_t TFileStream::Size()
{
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? int64_t(st.st_size) : 0;
}

void TFileStream::Flush(bool ToDisk)
{
    // Writes go straight to the file; only the way to the disk is left.
    if (ToDisk && !TSysEnv::Flush(fd_))
        throw EWriteError(QStringLiteral("Ошибка записи данных"));
}

// ---- TMemoryStream -----------------------------------------------------------

int64_t TMemoryStream::Read(void *buffer, int64_t count)
{
    const int64_t available = Size() - position_;
    const int64_t n = std::max<int64_t>(0, std::min(count, available));
    if (n > 0) {
        std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
        position_ += n;
    }
    return n;
}

int64_t TMemoryStream::Write(const void *buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const int64_t end = position_ + count;
    if (end > Size())
        data_.resize(static_cast<size_t>(end));
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin)
{
    int64_t target = offset;
    if (origin == soFromCurrent)
        target += position_;
    else if (origin == soFromEnd)
        target += Size();
    if (target < 0)
        throw EStreamError(QStringLiteral("Ошибка перемещения по данным"));
    position_ = target;
    return position_;
}

void TMemoryStream::SetSize(int64_t newSize)
{
    if (newSize < 0)
        throw EStreamError(QStringLiteral("Ошибка записи данных"));
    data_.resize(static_cast<size_t>(newSize));
    position_ = std::min(position_, newSize);
}

void TMemoryStream::Clear()
{
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream &source)
{
    source.SetPosition(0);
    const int64_t size = source.Size();
    SetSize(size);
    source.ReadBuffer(data_.data(), size);
    position_ = 0;
}

void TMemoryStream::SaveToStream(TStream &target)
{
    target.WriteBuffer(data_.data(), Size());
}

void TMemoryStream::LoadFromFile(const QString &fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const QString &fileName)
{
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}

} // namespace zorbel
