// The decoding context: input blocks, the bit reader, output blocks with the
// CRC and the size limit, the encryption header, stored entries, and the
// dispatch by method. The decoders themselves are in ZipInflate.cpp (method
// 8) and ZipLegacy.cpp (methods 1 to 6).
#include "archive/ZipDecode.h"

#include "archive/ZipHuffman.h"
#include "archive/ZipLib.h"
#include "platform/rtl/CodePages.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace zorbel {

// Decrypts an entry's input a few chunks ahead of the decoder, on a second
// thread, so that the byte-serial cipher overlaps the decoding instead of
// adding to it.
//
// The calling thread reads raw chunks (ReadRaw: the archive, its volumes and
// the fault seam stay on that thread) into a ring of Slots buffers and posts
// them; the worker decrypts them in order with its copy of the keys; Read
// hands the decrypted bytes on in order. Slot i (counting from the entry's
// start) is in slots_[i % Slots]:
//
//   consumed_ <= decrypted_ <= filled_ <= consumed_ + Slots
//
//   [consumed_, decrypted_)  decrypted, being read by the calling thread
//   [decrypted_, filled_)    raw, the worker's
//   the rest                 free, the calling thread's to fill
//
// A read that fails (premature end, a volume the user refuses) is kept and
// raised once the bytes read before it have been handed on.
class TDecryptAhead {
public:
    using TReadRaw = std::function<size_t(uint8_t *Buffer, size_t Count)>;

    // Throws std::system_error when no thread can be started.
    TDecryptAhead(const TZipKeys &Keys, TReadRaw ReadRaw) : keys_(Keys), readRaw_(std::move(ReadRaw))
    {
        for (TSlot &s : slots_)
            s.Data.reset(new uint8_t[TZipDecoder::DecryptChunk]);
        worker_ = std::thread([this] { Work(); });
    }
    ~TDecryptAhead()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        toWorker_.notify_one();
        worker_.join();
    }
    TDecryptAhead(const TDecryptAhead &) = delete;
    TDecryptAhead &operator=(const TDecryptAhead &) = delete;

    // Up to Count decrypted bytes; fewer only at the end of the input.
    size_t Read(uint8_t *Buffer, size_t Count)
    {
        size_t done = 0;
        while (done < Count) {
            Submit();
            if (consumed_ == filled_) {
                if (error_ && done == 0)
                    std::rethrow_exception(std::exchange(error_, nullptr));
                break;
            }
            {
                std::unique_lock lock(mutex_);
                fromWorker_.wait(lock, [&] { return decrypted_.load(std::memory_order_acquire) > consumed_; });
            }
            const TSlot &s = slots_[consumed_ % Slots];
            const size_t k = std::min(Count - done, s.Size - offset_);
            std::memcpy(Buffer + done, s.Data.get() + offset_, k);
            offset_ += k;
            done += k;
            if (offset_ == s.Size) {
                offset_ = 0;
                ++consumed_;
            }
        }
        return done;
    }

private:
    static constexpr size_t Slots = 4;
    struct TSlot {
        std::unique_ptr<uint8_t[]> Data;
        size_t Size = 0;
    };

    // Fills the free slots with raw input and hands them to the worker.
    void Submit()
    {
        while (!inputDone_ && filled_ - consumed_ < Slots) {
            TSlot &s = slots_[filled_ % Slots];
            // The archive is read in blocks of at most BufferSize, as without
            // the second thread; a slot takes several.
            s.Size = 0;
            try {
                while (s.Size < TZipDecoder::DecryptChunk) {
                    const size_t n = readRaw_(s.Data.get() + s.Size, TZipDecoder::BufferSize);
                    if (n == 0) {
                        inputDone_ = true;
                        break;
                    }
                    s.Size += n;
                }
            } catch (...) {
                // Kept for the reader: the bytes before it are handed on first.
                error_ = std::current_exception();
                inputDone_ = true;
            }
            if (s.Size == 0)
                break;
            {
                std::lock_guard lock(mutex_);
                filled_.store(filled_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
            }
            toWorker_.notify_one();
        }
    }

    void Work()
    {
        for (;;) {
            uint64_t next;
            {
                std::unique_lock lock(mutex_);
                toWorker_.wait(lock, [&] {
                    return stop_ || decrypted_.load(std::memory_order_relaxed) < filled_.load(std::memory_order_acquire);
                });
                if (stop_)
                    return;
                next = decrypted_.load(std::memory_order_relaxed);
            }
            TSlot &s = slots_[next % Slots];
            keys_.DecryptBuffer(s.Data.get(), s.Size);
            {
                std::lock_guard lock(mutex_);
                decrypted_.store(next + 1, std::memory_order_release);
            }
            fromWorker_.notify_one();
        }
    }

    TZipKeys keys_; // the worker's
    TReadRaw readRaw_;
    std::array<TSlot, Slots> slots_;
    std::mutex mutex_;
    std::condition_variable toWorker_;   // a slot was filled, or stop
    std::condition_variable fromWorker_; // a slot was decrypted
    // Written under mutex_ (so that no wake-up is lost), read with acquire:
    // a slot's bytes are published with the count that covers it.
    std::atomic<uint64_t> filled_ = 0;    // by the calling thread
    std::atomic<uint64_t> decrypted_ = 0; // by the worker
    bool stop_ = false;                  // under mutex_
    // The calling thread's alone:
    uint64_t consumed_ = 0;
    size_t offset_ = 0; // bytes of slot consumed_ already handed on
    bool inputDone_ = false;
    std::exception_ptr error_;
    std::thread worker_; // last: starts once everything above is built
};

TZipDecoder::TZipDecoder()
    : in_(new uint8_t[BufferSize + 1]), out_(new uint8_t[BufferSize + 1]), work_(std::make_unique<TWork>())
{
    BuildFixedTables();
}

TZipDecoder::~TZipDecoder() = default;

void TZipDecoder::BeginSelection(int64_t TotalBytes)
{
    selectionTotal_ = TotalBytes;
    selectionWritten_ = 0;
}

void TZipDecoder::Begin(int64_t CompressedSize, int64_t UncompressedSize, bool Encrypted)
{
    inPtr_ = inEnd_ = in_.get();
    outCount_ = 0;
    leftToRead_ = std::max<int64_t>(CompressedSize, 0);
    compressed_ = leftToRead_;
    uncompressed_ = UncompressedSize;
    encrypted_ = Encrypted;
    bitBuf_ = 0;
    bitCount_ = 0;
    padBytes_ = 0;
    afterStored_ = false;
    crc_ = 0xFFFFFFFFu;
    written_ = 0;
    ahead_.reset();
    outArea_ = nullptr;
    outAreaSize_ = 0;
    failReason_ = nullptr;
}

uint8_t TZipDecoder::DecryptHeader(const QString &Password)
{
    return DecryptHeader(UnicodeToWin1251(Password));
}

uint8_t TZipDecoder::DecryptHeader(const QByteArray &Password)
{
    uint8_t header[12];
    ReadFully(header, sizeof header);
    keys_.InitKeys(Password);
    keys_.DecryptBuffer(header, sizeof header);
    return header[11];
}

bool TZipDecoder::Decode(int Method, uint16_t Flags)
{
    // The decrypting thread ends with the entry, however the entry ends.
    struct TStopAhead {
        std::unique_ptr<TDecryptAhead> &Ahead;
        ~TStopAhead() { Ahead.reset(); }
    } stopAhead{ahead_};
    switch (Method) {
    case 0:
        Unstore();
        return true;
    case 1:
        Unshrink();
        return true;
    case 2:
    case 3:
    case 4:
    case 5:
        Unreduce(Method - 1);
        return true;
    case 6:
        Explode(Flags);
        return true;
    case 8:
        Inflate();
        return true;
    default:
        return false;
    }
}

void TZipDecoder::Fail(const char *Reason)
{
    if (!failReason_)
        failReason_ = Reason;
}

// ---- input -----------------------------------------------------------------

void TZipDecoder::ReadFully(uint8_t *Buffer, int64_t Count)
{
    int64_t got = ReadArchive(Buffer, Count);
    while (got < Count) {
        if (!NextVolume || !NextVolume())
            throw EFatalUnzipError(QStringLiteral("Premature end of file reached"));
        const int64_t more = ReadArchive(Buffer + got, Count - got);
        if (more <= 0)
            throw EFatalUnzipError(QStringLiteral("Premature end of file reached"));
        got += more;
    }
}

bool TZipDecoder::FillInput()
{
    // After a stored block the next is likely stored too (data that do not
    // compress): read only its header's neighbourhood here, so that its
    // bytes go straight into the window instead of through this buffer.
    const size_t n = ReadInput(in_.get(), afterStored_ ? StoredLookahead : BufferSize);
    inPtr_ = in_.get();
    inEnd_ = in_.get() + n;
    return n > 0;
}

size_t TZipDecoder::ReadInput(uint8_t *Buffer, size_t Count)
{
    if (encrypted_ && !ahead_ && leftToRead_ >= DecryptAheadFrom) {
        try {
            ahead_ = std::make_unique<TDecryptAhead>(
                keys_, [this](uint8_t *buffer, size_t count) { return ReadRawInput(buffer, count); });
        } catch (const std::system_error &) {
            // No second thread: decrypt here.
        }
    }
    if (ahead_)
        return ahead_->Read(Buffer, Count);
    const size_t n = ReadRawInput(Buffer, Count);
    if (encrypted_)
        keys_.DecryptBuffer(Buffer, n);
    return n;
}

size_t TZipDecoder::ReadRawInput(uint8_t *Buffer, size_t Count)
{
    if (leftToRead_ <= 0)
        return 0;
    if (ProcessMessages)
        ProcessMessages();
    const int64_t n = std::min<int64_t>(leftToRead_, static_cast<int64_t>(Count));
    leftToRead_ -= n;
    ReadFully(Buffer, n);
    return static_cast<size_t>(n);
}

void TZipDecoder::RefillBits()
{
    // Padding already consumed: the stream ran past its end.
    if (padBytes_ * 8 > bitCount_)
        throw TCorruptData{"unexpected end of compressed data"};
    if (inEnd_ - inPtr_ >= 8) {
        // Eight bytes at once; the bits loaded above the new count are the
        // stream's next bits and are loaded again, unchanged, next time.
        uint64_t word;
        std::memcpy(&word, inPtr_, 8);
        if constexpr (std::endian::native == std::endian::big)
            word = __builtin_bswap64(word);
        bitBuf_ |= word << bitCount_;
        inPtr_ += (63 - bitCount_) >> 3;
        bitCount_ |= 56;
        return;
    }
    // Up to 56-63 bits, never 64: inflate's hot loop keeps the count modulo
    // 64 and shifts by it.
    while (bitCount_ < 56) {
        const int b = ReadByte();
        if (b < 0)
            ++padBytes_;
        else
            bitBuf_ |= uint64_t(b) << bitCount_;
        bitCount_ += 8;
    }
}

bool TZipDecoder::GetCode(unsigned n, uint32_t &Value)
{
    if (bitCount_ < n && padBytes_ == 0)
        RefillBits();
    if (RealBits() < n)
        return false;
    Value = PeekBits(n);
    DumpBits(n);
    return true;
}

bool TZipDecoder::GetSymbol(const uint32_t *Table, unsigned TableBits, uint32_t &Value)
{
    if (bitCount_ < 32 && padBytes_ == 0)
        RefillBits();
    uint32_t e = Table[PeekBits(TableBits)];
    unsigned used = 0;
    if (huff::EntryOp(e) & huff::OpLink) {
        used = huff::EntryBits(e);
        e = Table[huff::EntryValue(e) + ((bitBuf_ >> used) & ((1u << (huff::EntryOp(e) & 15)) - 1))];
    }
    used += huff::EntryBits(e);
    if (huff::EntryOp(e) & huff::OpInvalid)
        throw TCorruptData{"invalid code"};
    if (used > RealBits())
        return false;
    DumpBits(used);
    Value = huff::EntryValue(e);
    return true;
}

// ---- output ----------------------------------------------------------------

void TZipDecoder::FlushWindow(const uint8_t *Data, size_t n)
{
    // Top up a partly filled output block first; whole blocks then go out
    // straight from the caller's bytes, and the rest waits in the buffer.
    if (outCount_ > 0) {
        const size_t k = std::min(n, size_t(BufferSize - outCount_));
        std::memcpy(out_.get() + outCount_, Data, k);
        outCount_ += static_cast<int>(k);
        Data += k;
        n -= k;
        if (outCount_ < BufferSize)
            return;
        FlushOutput();
    }
    for (; n >= size_t(BufferSize); Data += BufferSize, n -= BufferSize)
        EmitBlock(Data, BufferSize);
    std::memcpy(out_.get(), Data, n);
    outCount_ = static_cast<int>(n);
}

void TZipDecoder::FlushOutput()
{
    const int n = outCount_;
    if (n <= 0)
        return;
    EmitBlock(out_.get(), n);
    outCount_ = 0;
}

void TZipDecoder::EmitBlock(const uint8_t *Data, int n)
{
    if (written_ + n > uncompressed_)
        throw EBiggerThanUncompressed(QStringLiteral("File is larger than uncompressed size!"));
    WriteOutput(Data, n);
    crc_ = UpdateCRC(crc_, Data, static_cast<size_t>(n));
    written_ += n;
    selectionWritten_ += n;
    if (OnFilePercentDone)
        OnFilePercentDone(Percent(written_, uncompressed_));
    if (OnTotalPercentDone)
        OnTotalPercentDone(Percent(selectionWritten_, selectionTotal_));
}

// ---- stored ----------------------------------------------------------------

void TZipDecoder::Unstore()
{
    for (;;) {
        const size_t n = ReadInput(out_.get(), BufferSize);
        if (n == 0)
            break;
        outCount_ = static_cast<int>(n);
        FlushOutput();
    }
    FlushOutput();
}

// ---- whole buffers ---------------------------------------------------------

TDecodeStatus DecodeBuffer(int Method, uint16_t Flags, const uint8_t *Data, size_t Size, int64_t UncompressedSize,
                           std::vector<uint8_t> &Out, const char **Error)
{
    Out.clear();
    TZipDecoder decoder;
    size_t pos = 0;
    decoder.ReadArchive = [&](uint8_t *buffer, int64_t count) {
        const size_t n = std::min(Size - pos, static_cast<size_t>(count));
        std::memcpy(buffer, Data + pos, n);
        pos += n;
        return static_cast<int64_t>(n);
    };
    // Deflated data decode straight into Out, when the stated size is one
    // the data could reach (a deflate stream grows at most 1032 times), so
    // that a forged size allocates nothing it could not fill; the blocks
    // handed on then already lie in Out.
    size_t done = 0;
    const bool direct = Method == 8 && UncompressedSize >= 0
                        && UncompressedSize <= static_cast<int64_t>(Size) * 1032 + 1024;
    decoder.WriteOutput = [&](const uint8_t *buffer, int64_t count) {
        if (direct && buffer == Out.data() + done) {
            done += static_cast<size_t>(count);
            return;
        }
        if (direct) {
            // A block from the decoder's own buffers (other methods).
            std::memcpy(Out.data() + done, buffer, static_cast<size_t>(count));
            done += static_cast<size_t>(count);
            return;
        }
        Out.insert(Out.end(), buffer, buffer + count);
    };
    decoder.Begin(static_cast<int64_t>(Size), UncompressedSize, false);
    if (direct) {
        Out.resize(static_cast<size_t>(UncompressedSize) + TZipDecoder::OutputSlack);
        decoder.UseOutputBuffer(Out.data(), Out.size());
    }
    const auto finish = [&] {
        if (direct)
            Out.resize(done);
    };
    try {
        if (!decoder.Decode(Method, Flags))
            return TDecodeStatus::UnknownMethod;
    } catch (const EBiggerThanUncompressed &) {
        finish();
        return TDecodeStatus::TooLarge;
    }
    finish();
    if (Error)
        *Error = decoder.FailReason();
    return decoder.Failed() ? TDecodeStatus::Corrupt : TDecodeStatus::Ok;
}

} // namespace zorbel
