// The decoding half of the zip component: one TZipDecoder is the decoding
// context of an extraction run, reset for each entry. It pulls the entry's
// compressed bytes from the archive in blocks of at most 16000 bytes
// (decrypting them when the entry is encrypted), decodes them with the
// entry's method, and hands the output on in blocks of at most 16000 bytes,
// folding every byte into the running CRC-32 and refusing to write past the
// entry's stated uncompressed size.
//
// Methods: 0 stored, 1 shrunk (LZW), 2-5 reduced, 6 imploded, 8 deflated
// (RFC 1951). The decoders trust nothing in their input: a bad code, an
// impossible length or distance, a truncated stream or a table that cannot
// be built puts the context into a sticky failed state (Failed(),
// FailReason()) and ends the entry; the output written so far then fails the
// CRC check, and callers treat Failed() as a failed entry too.
//
// Exceptions: EFatalUnzipError when the archive ends inside the entry's
// data, EBiggerThanUncompressed when the output would pass the stated size
// (raised before any byte of that block is written), and whatever the
// owner's read and write functions raise.
//
// The context is usable on its own: wire ReadArchive and WriteOutput to
// anything (DecodeBuffer below does so for bytes in memory).
//
// Threads: the cipher is byte-serial (each key depends on the previous plain
// byte), so a long encrypted entry is decrypted on a second thread a few
// chunks ahead of the decoder (TDecryptAhead). Every callback (ReadArchive,
// NextVolume, WriteOutput, ProcessMessages, progress) still runs on the
// caller's thread; the second thread only ever sees bytes already read.
#pragma once

#include "archive/ZipCrc.h"
#include "platform/rtl/Exceptions.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zorbel {

ZORBEL_EXCEPTION(EFatalUnzipError, Exception);
ZORBEL_EXCEPTION(EBiggerThanUncompressed, Exception);

class TDecryptAhead;

class TZipDecoder {
public:
    static constexpr int BufferSize = 16000;
    // Encrypted entries with at least this much input are decrypted ahead
    // on a second thread, in chunks of DecryptChunk bytes (the archive is
    // still read in blocks of at most BufferSize).
    static constexpr int64_t DecryptAheadFrom = 256 * 1024;
    static constexpr size_t DecryptChunk = 4 * BufferSize;

    // Reads up to Count bytes from the archive at its current position and
    // returns how many it read (fewer only at the end of the volume).
    std::function<int64_t(uint8_t *Buffer, int64_t Count)> ReadArchive;
    // Spanned archives only: switches ReadArchive to the next volume and
    // returns true, or returns false (or raises) when there is none. Unset,
    // a short read is fatal.
    std::function<bool()> NextVolume;
    // Receives each block of output (1 to 16000 bytes).
    std::function<void(const uint8_t *Buffer, int64_t Count)> WriteOutput;
    // Called before each input block is read (lets the window thread breathe).
    std::function<void()> ProcessMessages;
    // Progress after each output block, in percent of the entry's size and
    // of the selection's total.
    std::function<void(int Percent)> OnFilePercentDone;
    std::function<void(int Percent)> OnTotalPercentDone;

    TZipDecoder();
    ~TZipDecoder();
    TZipDecoder(const TZipDecoder &) = delete;
    TZipDecoder &operator=(const TZipDecoder &) = delete;

    // Starts a selection: the byte total that OnTotalPercentDone counts
    // against; the running total starts at 0.
    void BeginSelection(int64_t TotalBytes);
    // Lowers the selection's total (an entry was given up).
    void LowerSelectionTotal(int64_t Bytes) { selectionTotal_ -= Bytes; }

    // Reads the 12-byte encryption header through ReadArchive, seeds the keys
    // from Password (converted to the ANSI code page) and decrypts the header;
    // returns its last byte, which the caller compares with the check byte.
    // The keys stay for the entry's data (Begin does not reset them).
    uint8_t DecryptHeader(const QString &Password);
    // The same with the password already in bytes.
    uint8_t DecryptHeader(const QByteArray &Password);

    // Starts an entry: CompressedSize bytes follow at the archive position
    // (without the encryption header), decoding to UncompressedSize bytes.
    // Resets the buffers, the bit reader, the CRC and the failed state.
    void Begin(int64_t CompressedSize, int64_t UncompressedSize, bool Encrypted);

    // Bytes a buffer for UseOutputBuffer needs beyond the entry's size.
    static constexpr size_t OutputSlack = 1 + 258 + 32;
    // After Begin: deflated data are decoded straight into Buffer when its
    // Size is at least the entry's uncompressed size plus OutputSlack (the
    // bytes past the output are scratch), instead of through the decoder's
    // window; WriteOutput then receives blocks that lie in Buffer, in order
    // from its start. Begin forgets the buffer.
    void UseOutputBuffer(uint8_t *Buffer, size_t Size)
    {
        outArea_ = Buffer;
        outAreaSize_ = Size;
    }

    // Decodes the entry begun with the given method and general purpose
    // flags (implode reads its options there). Returns false, touching
    // nothing, for a method it does not know.
    bool Decode(int Method, uint16_t Flags);

    // One decoder per method; each consumes the entry's input and ends with
    // FlushOutput.
    void Inflate();
    void Unstore();
    void Unshrink();
    void Unreduce(int Factor);
    void Explode(uint16_t Flags);

    bool Failed() const { return failReason_ != nullptr; }
    const char *FailReason() const { return failReason_; }
    // The finished CRC-32 of what was written for this entry.
    uint32_t Crc() const { return ~crc_; }
    int64_t BytesWritten() const { return written_; }

    // The window and code tables of the decoders (ZipHuffman.h).
    struct TWork;

private:
    // ---- input ---------------------------------------------------------
    // Reads exactly Count bytes from the archive (next volumes as needed).
    void ReadFully(uint8_t *Buffer, int64_t Count);
    // Refills the input buffer; false when the entry's input is used up.
    bool FillInput();
    // Reads up to Count of the entry's next input bytes (decrypted) into
    // Buffer, bypassing the input buffer; fewer only at the end of the
    // entry's input, 0 when it is used up.
    size_t ReadInput(uint8_t *Buffer, size_t Count);
    // The same without decryption.
    size_t ReadRawInput(uint8_t *Buffer, size_t Count);
    // One input byte, or -1 when the entry's input is used up.
    int ReadByte()
    {
        if (inPtr_ == inEnd_ && !FillInput())
            return -1;
        return *inPtr_++;
    }

    // ---- bit reader ----------------------------------------------------
    // Bits are taken least significant first. NeedBits(n) makes sure at least
    // n bits (n <= 56) are held, PeekBits(n) looks at the next n, DumpBits(n)
    // drops them, AlignToByte drops the rest of a partly used byte. Past the
    // end of the input the reader supplies zero bytes ("padding", counted in
    // padBytes_); consuming padding means the stream was truncated: the
    // refill then fails the entry, and RealBits tells how many held bits are
    // genuine.
    void NeedBits(unsigned n)
    {
        if (bitCount_ < n)
            RefillBits();
    }
    uint32_t PeekBits(unsigned n) const { return static_cast<uint32_t>(bitBuf_ & ((uint64_t(1) << n) - 1)); }
    void DumpBits(unsigned n)
    {
        bitBuf_ >>= n;
        bitCount_ -= n;
    }
    uint32_t TakeBits(unsigned n)
    {
        NeedBits(n);
        const uint32_t v = PeekBits(n);
        DumpBits(n);
        return v;
    }
    void AlignToByte() { DumpBits(bitCount_ & 7); }
    unsigned RealBits() const { return bitCount_ > padBytes_ * 8 ? bitCount_ - padBytes_ * 8 : 0; }
    void RefillBits();
    // For shrink, reduce and implode: the next n bits, or false when fewer
    // than n genuine bits are left.
    bool GetCode(unsigned n, uint32_t &Value);
    // Decodes one symbol with a table of ZipInflate.cpp; false at the end of
    // the input.
    bool GetSymbol(const uint32_t *Table, unsigned TableBits, uint32_t &Value);

    // ---- output --------------------------------------------------------
    void PutByte(uint8_t b)
    {
        out_[outCount_++] = b;
        if (outCount_ == BufferSize)
            FlushOutput();
    }
    // Hands n bytes on in blocks of BufferSize; a last partial block waits
    // in the output buffer.
    void FlushWindow(const uint8_t *Data, size_t n);
    // Hands on what waits in the output buffer.
    void FlushOutput();
    // Checks the size limit, hands one block to WriteOutput, folds it into
    // the CRC and reports progress.
    void EmitBlock(const uint8_t *Data, int n);

    // ---- decoders --------------------------------------------------------
    void Fail(const char *Reason);
    void BuildFixedTables();
    void InflateBlocks();
    void InflateStored();
    void InflateDynamic();
    // Decodes one block's codes with tables of LitBits and DistBits lookup
    // bits (ZipInflate.cpp).
    static constexpr unsigned LitBits = 11;
    static constexpr unsigned DistBits = 8;
    void InflateCodes(const uint32_t *LitTable, const uint32_t *DistTable);
    // The hot loop of InflateCodes, compiled twice: for any x86-64 and for
    // processors with BMI2 (shifts and masks by a register without CL).
    template <int Variant>
    [[gnu::always_inline]] void InflateCodesLoop(const uint32_t *LitTable, const uint32_t *DistTable);
    void InflateCodesPlain(const uint32_t *LitTable, const uint32_t *DistTable);
    void InflateCodesBmi2(const uint32_t *LitTable, const uint32_t *DistTable);
    void SlideWindow();
    // Output of the legacy decoders through their history ring.
    void EmitByte(uint8_t b);
    void CopyMatch(unsigned Distance, unsigned Length);
    bool ReadShannonFanoTree(uint32_t *Table, size_t Capacity, unsigned TableBits, unsigned Count);

    std::unique_ptr<uint8_t[]> in_;  // input buffer
    std::unique_ptr<uint8_t[]> out_; // output buffer
    std::unique_ptr<TWork> work_;    // window and code tables
    const uint8_t *inPtr_ = nullptr;
    const uint8_t *inEnd_ = nullptr;
    int outCount_ = 0;
    int64_t leftToRead_ = 0;  // compressed bytes not yet read from the archive
    uint64_t bitBuf_ = 0;
    unsigned bitCount_ = 0;
    unsigned padBytes_ = 0;
    bool afterStored_ = false; // inflate: the last block was a stored one
    static constexpr size_t StoredLookahead = 64;
    uint8_t *outArea_ = nullptr; // UseOutputBuffer
    size_t outAreaSize_ = 0;
    uint8_t *win_ = nullptr;  // inflate: the window, or the caller's buffer
    size_t slideAt_ = 0;      // inflate: where the window slides (or the output is too large)
    size_t winPos_ = 0;       // inflate: write position in the window
    size_t winFlushed_ = 0;   // inflate: start of the bytes not yet flushed
    uint32_t ringPos_ = 0;    // legacy decoders: write position in the ring
    int64_t produced_ = 0;    // legacy decoders: bytes decoded so far
    uint32_t crc_ = 0xFFFFFFFFu;
    int64_t written_ = 0;
    int64_t uncompressed_ = 0;
    int64_t compressed_ = 0;
    int64_t selectionTotal_ = 0;
    int64_t selectionWritten_ = 0;
    bool encrypted_ = false;
    TZipKeys keys_;
    std::unique_ptr<TDecryptAhead> ahead_; // long encrypted entries only
    const char *failReason_ = nullptr;
};

enum class TDecodeStatus {
    Ok,            // decoded completely, Out holds the data
    Corrupt,       // the decoder refused the data (Error tells why)
    TooLarge,      // the data decode to more than UncompressedSize bytes
    UnknownMethod, // no decoder for the method
};

// Decodes one entry's compressed data held in memory (without encryption
// header) into Out. UncompressedSize is the entry's stated size: it bounds
// the output and ends the legacy methods, which carry no end mark.
TDecodeStatus DecodeBuffer(int Method, uint16_t Flags, const uint8_t *Data, size_t Size, int64_t UncompressedSize,
                           std::vector<uint8_t> &Out, const char **Error = nullptr);

} // namespace zorbel
