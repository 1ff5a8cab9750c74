#include "platform/rtl/Streams.h"

#include <QFile>
#include <algorithm>
#include <cstring>
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
        throw EReadError(QStringLiteral("Stream read error"));
}

void TStream::WriteBuffer(const void *buffer, int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError(QStringLiteral("Stream write error"));
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

TFileStream::TFileStream(const QString &fileName, uint16_t mode)
    : fileName_(fileName), file_(std::make_unique<QFile>(fileName))
{
    if (mode == fmCreate || (mode & 0xFF00) == fmCreate) {
        if (!file_->open(QIODevice::ReadWrite | QIODevice::Truncate))
            throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, file_->errorString()));
        return;
    }
    QIODevice::OpenMode qtMode;
    switch (mode & 0x3) {
    case fmOpenWrite:
        qtMode = QIODevice::WriteOnly | QIODevice::ExistingOnly;
        break;
    case fmOpenReadWrite:
        qtMode = QIODevice::ReadWrite | QIODevice::ExistingOnly;
        break;
    default:
        qtMode = QIODevice::ReadOnly;
        break;
    }
    if (!file_->open(qtMode))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file_->errorString()));
}

TFileStream::~TFileStream() = default;

int64_t TFileStream::Read(void *buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const qint64 n = file_->read(static_cast<char *>(buffer), count);
    // A failed read is an error, never an early end: a caller packing the file
    // would otherwise store it short with a matching CRC.
    if (n < 0)
        throw EReadError(QStringLiteral("Stream read error on \"%1\". %2").arg(fileName_, file_->errorString()));
    return n;
}

int64_t TFileStream::Write(const void *buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const qint64 n = file_->write(static_cast<const char *>(buffer), count);
    return n < 0 ? 0 : n;
}

int64_t TFileStream::Seek(int64_t offset, int origin)
{
    int64_t target = offset;
    if (origin == soFromCurrent)
        target += file_->pos();
    else if (origin == soFromEnd)
        target += file_->size();
    if (target < 0 || !file_->seek(target))
        throw EStreamError(QStringLiteral("Seek error on \"%1\"").arg(fileName_));
    return target;
}

void TFileStream::SetSize(int64_t newSize)
{
    if (newSize < 0 || !file_->resize(newSize))
        throw EWriteError(QStringLiteral("Stream write error"));
    if (file_->pos() > newSize)
        file_->seek(newSize);
}

int64_t TFileStream::Size()
{
    return file_->size();
}

void TFileStream::Flush(bool ToDisk)
{
    if (!file_->flush() || (ToDisk && ::fsync(file_->handle()) != 0))
        throw EWriteError(QStringLiteral("Stream write error"));
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
        throw EStreamError(QStringLiteral("Seek error"));
    position_ = target;
    return position_;
}

void TMemoryStream::SetSize(int64_t newSize)
{
    if (newSize < 0)
        throw EStreamError(QStringLiteral("Stream write error"));
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
