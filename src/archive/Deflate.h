// Deflate compressor of the zip writer: turns one file into raw deflate data
// (RFC 1951) for a zip entry of method 8.
//
// The compressor reads its input and emits its output only through a
// TDeflateIO given by the writer, so it knows nothing of files, CRCs or
// passwords. It finds matches with hash chains over a 32 KB window (lazy
// evaluation from level 4 up), collects literals and matches of one block in
// the run's buffers, and ends each block with the cheapest of a stored block,
// the fixed trees and dynamic trees. A file that does not shrink at all is
// written as raw bytes and its entry becomes method 0.
//
// Usage:
//   TDeflateTables tables;                                    // lives with the writer
//   auto buffers = std::make_unique<TDeflateBuffers>();       // once per pack run
//   TDeflateEntry entry;                                      // from the entry header
//   int64_t size = DeflateFile(io, level, tables, *buffers, entry);
//   // entry.Method, .Flags, .InternalAttributes go back into the header
#pragma once

#include "platform/rtl/Exceptions.h"

#include <cstdint>

namespace zorbel {

// A recorded match does not repeat the bytes it points at: an internal fault.
ZORBEL_EXCEPTION(EInvalidMatch, Exception);

// Source and sink of one deflate call, implemented by the writer.
class TDeflateIO {
public:
    virtual ~TDeflateIO() = default;
    // Reads up to count bytes of the file; 0 (or -1) at its end.
    virtual int ReadInput(uint8_t *buffer, int count) = 0;
    // Writes all count bytes. May change them in place (encryption): the
    // compressor only ever passes its own output buffer.
    virtual void WriteOutput(uint8_t *buffer, int count) = 0;
};

// The fields of the entry header that the compressor decides.
struct TDeflateEntry {
    uint16_t Flags = 0;              // general-purpose flags; bit 2 (4) levels 1-2, bit 1 (2) levels 8-9
    uint16_t InternalAttributes = 2; // 2 = not known; set to 1 (text) or 0 (binary) at the first block
    uint16_t Method = 8;             // 8 deflated; 0 when the whole file is stored
};

constexpr int DeflateWindowSize = 32768;
constexpr int DeflateLitBufSize = 32768;
constexpr int DeflateDistBufSize = 32768;
// Bytes past the 64 KB window that the match compare may read near the end of
// the input (the longest match plus one 8-byte word); kept zero.
constexpr int DeflateWindowSlack = 258 + 8;

// Large buffers of one pack run, shared by every file of the run. Allocate
// with std::make_unique (value-initialised, so the window starts zeroed).
struct TDeflateBuffers {
    uint8_t Window[2 * DeflateWindowSize + DeflateWindowSlack]; // slides by 32 KB
    uint16_t Prev[DeflateWindowSize];                           // chain links, by position AND 0x7FFF
    uint16_t Head[32768];                                       // chain heads, by hash
    uint8_t LiteralBuf[DeflateLitBufSize];                      // literal byte, or match length - 3
    uint16_t DistBuf[DeflateDistBufSize];                       // match distance - 1
    uint8_t FlagBuf[DeflateLitBufSize / 8];                     // one bit per literal entry: 1 = match
};

// Fixed trees and code tables, built on first use and kept with the writer.
struct TDeflateTables {
    bool Built = false;
    uint8_t LengthCode[256];     // match length - 3 -> length code 0..28
    uint8_t DistCode[512];       // distance - 1 < 256 directly, else 256 + (distance - 1) / 128
    uint16_t BaseLength[29];     // first length - 3 of each length code
    uint16_t BaseDist[30];       // first distance - 1 of each distance code
    uint16_t FixedLitCode[288];  // fixed literal/length tree, codes bit-reversed for sending
    uint8_t FixedLitLen[288];
    uint16_t FixedDistCode[30];  // fixed distance tree: 5 bits each, bit-reversed
    uint8_t FixedDistLen[30];

    // On return: every table above is filled and Built is true.
    void Build();
};

// Forms of a block, in the order they are considered.
enum class TDeflateBlockKind {
    WholeFileStored, // the file's raw bytes without deflate framing; the entry becomes stored
    Stored,          // a stored block
    Fixed,           // a block with the fixed trees
    Dynamic,         // a block with dynamic trees
};

// Chooses the form of a block of storedLength input bytes that costs
// dynamicBits with dynamic trees (tree description included) and fixedBits
// with the fixed trees, both without the 3 header bits. dataAvailable: the
// block's bytes are still in the window. onlyBlock: the block is the last
// one and nothing was emitted for the file before it.
TDeflateBlockKind ChooseDeflateBlock(uint64_t storedLength, uint64_t dynamicBits, uint64_t fixedBits,
                                     bool dataAvailable, bool onlyBlock);

// Deflates one file from its first byte to its end.
// Requires: packLevel in 1..9 (other values are clamped); entry as the writer
// prepared it (InternalAttributes 2 when the file type is still unknown).
// On return: the number of bytes handed to io.WriteOutput; entry updated.
// Read and write exceptions of io propagate; EInvalidMatch on an internal fault.
int64_t DeflateFile(TDeflateIO &io, int packLevel, TDeflateTables &tables, TDeflateBuffers &buffers,
                    TDeflateEntry &entry);

} // namespace zorbel
