// The zip component's buffered stream over another stream (read, write and putback states).
#include "archive/ZipSStrm.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zorbel {

TS_BufferStream::TS_BufferStream(TStream &Underlying) : under_(Underlying) {}

TS_BufferStream::~TS_BufferStream()
{
    if (state_ == TState::Writing) {
        try {
            FlushBuffer();
        } catch (const Exception &) {
            // Reached only when a failure is already on its way: a writer
            // that finishes flushes first and hears of a failing disk there.
        }
    }
}

int64_t TS_BufferStream::LogicalPosition()
{
    const int64_t p = under_.Position();
    switch (state_) {
    case TState::Reading:
        return p - (end_ - pos_);
    case TState::Writing:
        return p + pos_;
    case TState::Unknown:
        break;
    }
    return p;
}

bool TS_BufferStream::FlushBuffer()
{
    const int held = pos_;
    if (held == 0)
        return true;
    const int64_t written = under_.Write(buffer_.data(), held);
    if (written > 0 && written < held)
        std::memmove(buffer_.data(), buffer_.data() + written, size_t(held - written));
    pos_ = held - int(std::max<int64_t>(written, 0));
    if (OnFlush)
        OnFlush();
    return written == held;
}

void TS_BufferStream::DropBuffer()
{
    if (state_ == TState::Reading && end_ > pos_)
        under_.Seek(-(end_ - pos_), soFromCurrent);
    pos_ = end_ = 0;
    state_ = TState::Unknown;
}

int64_t TS_BufferStream::Read(void *buffer, int64_t count)
{
    if (state_ == TState::Writing) {
        FlushBuffer();
        pos_ = end_ = 0;
        state_ = TState::Unknown;
    }
    auto *out = static_cast<uint8_t *>(buffer);
    int64_t done = 0;
    while (done < count) {
        if ((state_ != TState::Reading || pos_ == end_) && count - done >= BufferSize) {
            // A read of a buffer or more goes straight to the caller; its
            // last byte stays behind for PutBack.
            const int64_t got = std::max<int64_t>(under_.Read(out + done, count - done), 0);
            if (OnRefill)
                OnRefill();
            done += got;
            if (got == 0) {
                pos_ = end_ = 0;
                state_ = TState::Unknown;
                break;
            }
            buffer_[0] = out[done - 1];
            pos_ = end_ = 1;
            state_ = TState::Reading;
            continue;
        }
        if (state_ != TState::Reading || pos_ == end_) {
            const int64_t got = under_.Read(buffer_.data(), BufferSize);
            pos_ = 0;
            end_ = int(std::max<int64_t>(got, 0));
            state_ = TState::Reading;
            if (OnRefill)
                OnRefill();
            if (end_ == 0)
                break;
        }
        const int64_t n = std::min<int64_t>(count - done, end_ - pos_);
        std::memcpy(out + done, buffer_.data() + pos_, size_t(n));
        pos_ += int(n);
        done += n;
    }
    return done;
}

int64_t TS_BufferStream::Write(const void *buffer, int64_t count)
{
    if (state_ != TState::Writing) {
        DropBuffer();
        state_ = TState::Writing;
    }
    const auto *in = static_cast<const uint8_t *>(buffer);
    int64_t done = 0;
    while (done < count) {
        if (pos_ + (count - done) > BufferSize && count - done >= BufferSize) {
            // A buffer or more goes to the stream beneath in one write,
            // after what waits.
            if (pos_ > 0 && !FlushBuffer())
                break;
            done += std::max<int64_t>(under_.Write(in + done, count - done), 0);
            if (OnFlush)
                OnFlush();
            break;
        }
        if (pos_ == BufferSize && !FlushBuffer())
            break;
        const int64_t n = std::min<int64_t>(count - done, BufferSize - pos_);
        std::memcpy(buffer_.data() + pos_, in + done, size_t(n));
        pos_ += int(n);
        done += n;
    }
    return done;
}

int64_t TS_BufferStream::Seek(int64_t offset, int origin)
{
    const int64_t current = LogicalPosition();
    int64_t target = 0;
    switch (origin) {
    case soFromBeginning:
        target = offset;
        break;
    case soFromCurrent:
        target = current + offset;
        break;
    case soFromEnd:
        target = std::max(under_.Size(), current) - std::llabs(offset);
        break;
    default:
        throw EStreamError(QStringLiteral("Invalid seek origin (%1)").arg(origin));
    }
    if (target == current)
        return current;
    if (state_ == TState::Writing && !FlushBuffer())
        throw EStreamError(QStringLiteral("\nSeek error"));
    pos_ = end_ = 0;
    state_ = TState::Unknown;
    return under_.Seek(target, soFromBeginning);
}

int64_t TS_BufferStream::Size()
{
    return std::max(under_.Size(), LogicalPosition());
}

void TS_BufferStream::SetSize(int64_t newSize)
{
    FlushWrites();
    DropBuffer();
    under_.SetSize(newSize);
}

void TS_BufferStream::PutBack(uint8_t Value)
{
    if (state_ != TState::Reading || pos_ == 0)
        throw EStreamError(QStringLiteral("Putback overflow"));
    buffer_[size_t(--pos_)] = Value;
}

void TS_BufferStream::FlushWrites()
{
    if (state_ == TState::Writing && !FlushBuffer())
        throw EWriteError(QStringLiteral("Stream write error"));
}

TLFNFileStream::TLFNFileStream(const QString &FileName, uint16_t Mode)
    : detail::OwnedFile{std::make_unique<TFileStream>(FileName, Mode)}, TS_BufferStream(*File)
{
}

TLFNFileStream::~TLFNFileStream() = default;

void TLFNFileStream::Flush()
{
    FlushWrites();
    File->Flush(false);
}

} // namespace zorbel
