// Buffered stream of the zip component.
//
// TS_BufferStream puts an 8192-byte buffer in front of another stream (not
// owned). The buffer is in one of three states:
//   Unknown  empty; the underlying position is the logical position
//   Reading  bytes [Pos, End) are read ahead; logical = underlying - (End - Pos)
//   Writing  bytes [0, Pos) wait to be flushed; logical = underlying + Pos
// Switching between reading and writing drops read-ahead data (the underlying
// stream is put back at the logical position) or flushes pending writes.
// Reads and writes of a buffer or more pass straight through, one call each.
//
// TLFNFileStream opens a file as a TFileStream, buffers it and frees it.
#pragma once

#include "platform/rtl/Streams.h"

#include <array>
#include <functional>
#include <memory>

namespace zorbel {

class TS_BufferStream : public TStream {
public:
    static constexpr int BufferSize = 8192;

    explicit TS_BufferStream(TStream &Underlying);
    // Flushes a pending write (errors are swallowed: a destructor can't raise).
    ~TS_BufferStream() override;

    // Reads up to count bytes; fewer only at the end of the data.
    int64_t Read(void *buffer, int64_t count) override;
    // Writes count bytes unless a flush writes short; returns bytes taken.
    int64_t Write(const void *buffer, int64_t count) override;
    // origin 0 from the start, 1 from the logical position, 2 backwards from
    // the end whatever the offset's sign. Any other origin raises.
    int64_t Seek(int64_t offset, int origin) override;
    void SetSize(int64_t newSize) override;
    int64_t Size() override;

    // Steps the read pointer back one byte and stores Value there.
    // Raises EStreamError "Putback overflow" at the start of the buffer.
    void PutBack(uint8_t Value);

    // Writes the pending bytes; raises EWriteError when the underlying
    // stream takes fewer.
    void FlushWrites();

    std::function<void()> OnRefill; // after each refill from the underlying stream
    std::function<void()> OnFlush;  // after each flush to the underlying stream

private:
    enum class TState {
        Unknown, // buffer empty
        Reading, // [pos_, end_) holds read-ahead bytes
        Writing, // [0, pos_) holds bytes not yet written
    };

    int64_t LogicalPosition();
    // Writes the pending bytes; false when the underlying stream took fewer.
    bool FlushBuffer();
    // Leaves the buffer empty with the underlying stream at the logical position.
    void DropBuffer();

    TStream &under_;
    std::array<uint8_t, BufferSize> buffer_{};
    int pos_ = 0;
    int end_ = 0;
    TState state_ = TState::Unknown;
};

namespace detail {
struct OwnedFile {
    std::unique_ptr<TFileStream> File;
};
} // namespace detail

class TLFNFileStream : private detail::OwnedFile, public TS_BufferStream {
public:
    // Mode as for TFileStream (the reader opens with fmOpenRead |
    // fmShareDenyWrite, extraction with fmCreate). Raises the file-stream
    // errors EFOpenError / EFCreateError.
    TLFNFileStream(const QString &FileName, uint16_t Mode);
    // The buffered base is destroyed first, so pending writes reach the file.
    ~TLFNFileStream() override;

    const QString &FileName() const { return File->FileName(); }

    // Hands everything written so far to the file; raises EWriteError when
    // the file refuses any of it (a full disk), which closing can't report.
    void Flush();
};

} // namespace zorbel
