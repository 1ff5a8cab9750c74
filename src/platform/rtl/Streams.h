// Byte streams: the abstract TStream with its seek origins and
// exact-transfer helpers, a file stream and a growable memory stream.
//
// Read and Write transfer at most the requested count and return what they
// moved (a file read that fails, rather than ending, raises EReadError);
// ReadBuffer and WriteBuffer insist on the whole count and raise EReadError /
// EWriteError (both EStreamError) on a short transfer.
#pragma once

#include "platform/rtl/Exceptions.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace zorbel {

// Seek origins: from the start, from the current position, from the end.
constexpr int soFromBeginning = 0;
constexpr int soFromCurrent = 1;
constexpr int soFromEnd = 2;

class TStream {
public:
    TStream() = default;
    TStream(const TStream &) = delete;
    TStream &operator=(const TStream &) = delete;
    virtual ~TStream() = default;

    virtual int64_t Read(void *buffer, int64_t count) = 0;
    virtual int64_t Write(const void *buffer, int64_t count) = 0;
    // Moves the position; returns the new position. Seeking past the end is
    // allowed (a following write extends the stream); before 0 raises.
    virtual int64_t Seek(int64_t offset, int origin) = 0;
    virtual void SetSize(int64_t newSize) = 0;

    virtual int64_t Size();
    int64_t Position() { return Seek(0, soFromCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, soFromBeginning); }

    void ReadBuffer(void *buffer, int64_t count);
    void WriteBuffer(const void *buffer, int64_t count);
    // Copies count bytes from source's position; count 0 copies the whole
    // source from its start. Returns the number of bytes copied.
    int64_t CopyFrom(TStream &source, int64_t count);
};

// File open modes: one access mode, or fmCreate, combined with a share flag;
// share flags are accepted and ignored (POSIX has no mandatory sharing).
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyNone = 0x0040;
constexpr uint16_t fmCreate = 0xFF00;

class TFileStream : public TStream {
public:
    // fmCreate creates or truncates the file (EFCreateError on failure);
    // the open modes open an existing file (EFOpenError on failure), of at
    // most sizeBound bytes when it is not negative. Only a regular file (or a
    // link to one) is opened, never waiting: a folder, FIFO, device or socket
    // is refused (SysRead.h). Every file operation goes through the system
    // seam (SysEnv.h).
    TFileStream(const QString &fileName, uint16_t mode, int64_t sizeBound = -1);
    ~TFileStream() override;

    int64_t Read(void *buffer, int64_t count) override;
    int64_t Write(const void *buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    void SetSize(int64_t newSize) override;
    int64_t Size() override;

    // Pushes written data to the file and, with ToDisk, through to the disk
    // (fsync); raises EWriteError.
    void Flush(bool ToDisk = true);
    const QString &FileName() const { return fileName_; }

private:
    QString fileName_;
    int fd_ = -1;
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;

    int64_t Read(void *buffer, int64_t count) override;
    int64_t Write(const void *buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    void SetSize(int64_t newSize) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }

    void Clear();
    uint8_t *Memory() { return data_.data(); }
    const uint8_t *Memory() const { return data_.data(); }
    void LoadFromStream(TStream &source);
    void SaveToStream(TStream &target);
    void LoadFromFile(const QString &fileName);
    void SaveToFile(const QString &fileName);

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};

} // namespace zorbel
