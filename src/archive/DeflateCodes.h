// The code tables of the deflate format that both directions share: the
// length and distance symbols with their base values and extra bits, the
// order in which code length code lengths are sent, and the canonical code
// assignment. Codes are kept bit-reversed because a deflate stream sends a
// code's first bit in bit 0 of its byte; both the bit writer and the table
// builder of the decoder read them that way.
#pragma once

#include "platform/rtl/Assert.h"

#include <array>
#include <cstdint>

namespace zorbel::huff {

// Length symbols 257..285: the shortest length each stands for, and the
// extra bits that follow it.
constexpr uint16_t LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                     31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance symbols 0..29: the shortest distance each stands for, and the
// extra bits that follow it.
constexpr uint16_t DistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                   193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t DistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block header sends the code length code lengths.
constexpr uint8_t CodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// The longest code a deflate stream may use.
constexpr unsigned MaxCodeBits = 15;

// Every byte with its bits in reverse order.
inline constexpr std::array<uint8_t, 256> ReversedBytes = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v)
        for (unsigned i = 0; i < 8; ++i)
            t[v] |= static_cast<uint8_t>(((v >> i) & 1) << (7 - i));
    return t;
}();

// Reverses the low n bits of v (n at most 16).
constexpr uint16_t ReverseBits(uint32_t v, unsigned n)
{
    const uint32_t r = uint32_t(ReversedBytes[v & 255]) << 8 | ReversedBytes[(v >> 8) & 255];
    return n == 0 ? 0 : static_cast<uint16_t>(r >> (16 - n));
}

// Assigns the canonical codes to Lengths[0..Count), bit-reversed; an unused
// symbol (length 0) gets code 0.
// Requires: every length at most MaxCodeBits. An over-subscribed set gets
// colliding codes, so input read from a stream is checked first
// (CanonicalCodes of ZipHuffman.h).
inline void AssignCanonicalCodes(unsigned Count, const uint8_t *Lengths, uint16_t *Codes)
{
    unsigned count[MaxCodeBits + 1] = {};
    for (unsigned s = 0; s < Count; ++s) {
        ZORBEL_ASSERT(Lengths[s] <= MaxCodeBits);
        ++count[Lengths[s]];
    }
    count[0] = 0;
    unsigned next[MaxCodeBits + 1] = {};
    unsigned code = 0;
    for (unsigned len = 1; len <= MaxCodeBits; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    for (unsigned s = 0; s < Count; ++s)
        Codes[s] = Lengths[s] ? ReverseBits(next[Lengths[s]]++, Lengths[s]) : 0;
}

} // namespace zorbel::huff
