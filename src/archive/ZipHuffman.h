// Decode tables shared by inflate (Huffman codes of RFC 1951) and explode
// (Shannon-Fano codes of implode), and the work area of TZipDecoder.
//
// A table is a primary level indexed by the next TableBits input bits (least
// significant bit first), followed by second-level tables for the codes that
// are longer than TableBits. Each entry is 32 bits:
//
//   bits 0-7    bits to drop at this level (code length, or for a link the
//               primary TableBits, and in a second-level table the length
//               minus TableBits)
//   bits 8-15   op: 0-15 a base value with that many extra bits (lengths,
//               distances; plain symbols have 0), or one of the flags below
//   bits 16-31  value: the literal byte, the base, the symbol, or for a link
//               the index of the second-level table
//
// A link's op is OpLink plus the second-level table's index bits. Entries
// that no code reaches are OpInvalid: decoding one fails the entry.
#pragma once

#include "archive/DeflateCodes.h"
#include "archive/ZipDecode.h"

#include <cstddef>
#include <cstdint>

namespace zorbel {

// Thrown inside the decoders when the data are corrupt; the decoder's entry
// point catches it and records the reason (TZipDecoder::FailReason).
struct TCorruptData {
    const char *Reason;
};

namespace huff {

constexpr uint32_t OpLiteral = 0x80;
constexpr uint32_t OpEnd = 0x40;
constexpr uint32_t OpLink = 0x20;
constexpr uint32_t OpInvalid = 0x10;

constexpr uint32_t Payload(uint32_t op, uint32_t value) { return (value << 16) | (op << 8); }
constexpr unsigned EntryBits(uint32_t e) { return e & 0xFF; }
constexpr unsigned EntryOp(uint32_t e) { return (e >> 8) & 0xFF; }
constexpr unsigned EntryValue(uint32_t e) { return e >> 16; }

// Builds a table for Count symbols, each with its code length (0 = unused,
// at most 16) and its code as read from the stream (first bit in bit 0).
// Payloads[i] is the op and value of symbol i (Payload()). Returns false
// when two codes collide or the table would need more than Capacity entries.
bool BuildTable(uint32_t *Table, size_t Capacity, unsigned TableBits, unsigned Count, const uint8_t *Lengths,
                const uint16_t *Codes, const uint32_t *Payloads);

// Checks lengths read from a stream (at most 15) and assigns their canonical
// codes (AssignCanonicalCodes). Returns false for an over-subscribed set and
// for an incomplete one, except that a single code of length 1 and (with
// AllowEmpty) no code at all are accepted, as RFC 1951 allows for distance
// codes.
bool CanonicalCodes(unsigned Count, const uint8_t *Lengths, uint16_t *Codes, bool AllowEmpty);

} // namespace huff

// The decoders' work area, allocated once per decoder.
struct TZipDecoder::TWork {
    static constexpr size_t WindowSize = 32768;
    // Inflate writes linearly into Window and slides the last 32768 bytes
    // down when SlideAt is reached; the slack takes one longest match and the
    // overrun of the match copy (at most 32 bytes past the write position).
    // The wide linear part keeps the slide (a 32 KB move) rare.
    static constexpr size_t SlideAt = 8 * WindowSize;
    uint8_t Window[SlideAt + 258 + 32];

    // An 11-bit primary literal/length table needs at most about 930 entries
    // of second-level tables (each long-code subtable of 2^k entries holds at
    // least k+1 of the 286 symbols); an 8-bit distance table about 100.
    static constexpr size_t LitCapacity = 2048 + 1024;
    static constexpr size_t DistCapacity = 256 + 256;
    uint32_t Lit[LitCapacity];       // literal/length codes of a dynamic block
    uint32_t Dist[DistCapacity];     // distance codes of a dynamic block
    uint32_t CodeLen[128];           // code length codes (7 bits, one level)
    uint32_t FixedLit[LitCapacity];  // the fixed codes, built once
    uint32_t FixedDist[DistCapacity];

    // Shrink: the LZW tree (parent code and last byte of each code) and the
    // stack on which a code's string is spelled backwards.
    static constexpr unsigned ShrinkCodes = 8192;
    int16_t Parent[ShrinkCodes];
    uint8_t Suffix[ShrinkCodes];
    uint8_t Stack[ShrinkCodes];
    bool HasChild[ShrinkCodes];

    // Reduce: the follower sets.
    uint8_t FollowerCount[256];
    uint8_t Followers[256][32];

    // Explode: the three Shannon-Fano trees (up to 16-bit codes).
    static constexpr size_t SfCapacity = 16896;
    uint32_t SfLit[SfCapacity];
    uint32_t SfLen[SfCapacity];
    uint32_t SfDist[SfCapacity];

    // Reduce and explode: the last 8192 bytes of output (zeros before the
    // start, as both formats require).
    static constexpr uint32_t RingSize = 8192;
    uint8_t Ring[RingSize];
};

} // namespace zorbel
