// The older zip methods of PKWARE's APPNOTE: shrink (1), reduce (2-5) and
// implode (6). All three read their codes least significant bit first.
//
// Shrink is LZW with codes of 9 to 13 bits and 8192 codes; the first free
// code is 257. Code 256 is a control code followed by 1 (the code size grows
// by one) or 2 (partial clear: every code that is not the prefix of another
// becomes free; free codes are reused lowest first). Each code after the
// first defines a new code, at the lowest free one: its prefix is the
// previous code and its last byte the first byte of the current string.
//
// Reduce and implode carry no end mark: they decode until the entry's stated
// size is reached. Their matches may reach back before the start of the
// output, where both formats see zeros; the ring in TWork gives them that.
#include "archive/ZipHuffman.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zorbel {

namespace {

constexpr int16_t FreeCode = -2; // Parent of an unused shrink code
constexpr int16_t RootCode = -1; // Parent of the 256 single-byte codes

constexpr std::array<uint32_t, 256> SymbolPayloads = [] {
    std::array<uint32_t, 256> p{};
    for (unsigned s = 0; s < 256; ++s)
        p[s] = huff::Payload(0, s);
    return p;
}();

// Bits spent on the index into a follower set of N bytes: enough for N - 1,
// and at least one.
unsigned FollowerIndexBits(unsigned n)
{
    unsigned bits = 1;
    while ((1u << bits) < n)
        ++bits;
    return bits;
}

} // namespace

void TZipDecoder::EmitByte(uint8_t b)
{
    work_->Ring[ringPos_++ & (TWork::RingSize - 1)] = b;
    ++produced_;
    PutByte(b);
}

void TZipDecoder::CopyMatch(unsigned Distance, unsigned Length)
{
    const uint8_t *ring = work_->Ring;
    for (; Length > 0 && produced_ < uncompressed_; --Length)
        EmitByte(ring[(ringPos_ - Distance) & (TWork::RingSize - 1)]);
}

// ---- shrink ------------------------------------------------------------------

void TZipDecoder::Unshrink()
{
    TWork &w = *work_;
    constexpr unsigned MaxCode = TWork::ShrinkCodes;
    try {
        for (unsigned c = 0; c < 256; ++c) {
            w.Parent[c] = RootCode;
            w.Suffix[c] = static_cast<uint8_t>(c);
        }
        std::fill(w.Parent + 256, w.Parent + MaxCode, FreeCode);
        unsigned codeSize = 9;
        unsigned nextFree = 257;
        int prev = -1;
        uint32_t code;
        while (GetCode(codeSize, code)) {
            if (code == 256) {
                uint32_t control;
                if (!GetCode(codeSize, control))
                    break;
                if (control == 1) {
                    if (++codeSize > 13)
                        throw TCorruptData{"shrink code size above 13 bits"};
                } else if (control == 2) {
                    std::fill(w.HasChild, w.HasChild + MaxCode, false);
                    for (unsigned c = 257; c < MaxCode; ++c)
                        if (w.Parent[c] >= 257)
                            w.HasChild[w.Parent[c]] = true;
                    for (unsigned c = 257; c < MaxCode; ++c)
                        if (w.Parent[c] != FreeCode && !w.HasChild[c])
                            w.Parent[c] = FreeCode;
                    nextFree = 257;
                    while (nextFree < MaxCode && w.Parent[nextFree] != FreeCode)
                        ++nextFree;
                } else {
                    throw TCorruptData{"invalid shrink control code"};
                }
                continue;
            }
            // Spell the code's string backwards onto the stack. A code not yet
            // defined is legal only as the one about to be defined: its string
            // is the previous string plus that string's first byte.
            const bool undefined = w.Parent[code] == FreeCode;
            if (undefined && (prev < 0 || code != nextFree))
                throw TCorruptData{"invalid shrink code"};
            unsigned c = undefined ? static_cast<unsigned>(prev) : code;
            unsigned sp = 0;
            while (c >= 256) {
                if (sp >= MaxCode - 1 || w.Parent[c] == FreeCode)
                    throw TCorruptData{"invalid shrink code"};
                w.Stack[sp++] = w.Suffix[c];
                c = static_cast<unsigned>(w.Parent[c]);
            }
            const uint8_t first = static_cast<uint8_t>(c);
            PutByte(first);
            while (sp > 0)
                PutByte(w.Stack[--sp]);
            if (undefined)
                PutByte(first);
            if (prev >= 0 && nextFree < MaxCode) {
                w.Parent[nextFree] = static_cast<int16_t>(prev);
                w.Suffix[nextFree] = first;
                do
                    ++nextFree;
                while (nextFree < MaxCode && w.Parent[nextFree] != FreeCode);
            }
            prev = static_cast<int>(code);
        }
    } catch (const TCorruptData &corrupt) {
        Fail(corrupt.Reason);
    }
    FlushOutput();
}

// ---- reduce ------------------------------------------------------------------

void TZipDecoder::Unreduce(int Factor)
{
    TWork &w = *work_;
    std::memset(w.Ring, 0, sizeof w.Ring);
    ringPos_ = 0;
    produced_ = 0;
    auto take = [this](unsigned n) {
        uint32_t v;
        if (!GetCode(n, v))
            throw TCorruptData{"unexpected end of compressed data"};
        return v;
    };
    try {
        // Follower sets, stored from byte 255 down to byte 0.
        for (int j = 255; j >= 0; --j) {
            const unsigned n = take(6);
            if (n > 32)
                throw TCorruptData{"invalid follower set"};
            w.FollowerCount[j] = static_cast<uint8_t>(n);
            for (unsigned i = 0; i < n; ++i)
                w.Followers[j][i] = static_cast<uint8_t>(take(8));
        }
        const unsigned lengthMask = 0xFFu >> Factor; // L(V): the low 8 - Factor bits
        constexpr unsigned DLE = 144;
        enum class TState {
            Literal,  // copying bytes; DLE starts a match
            AfterDLE, // DLE seen: 0 means a literal DLE, else V (length and high distance)
            LongLen,  // the length needs one more byte
            Distance, // the low distance byte
        } state = TState::Literal;
        unsigned last = 0;
        unsigned v = 0;
        unsigned length = 0;
        while (produced_ < uncompressed_) {
            // First layer: the next byte through the follower set of the last.
            unsigned c;
            const unsigned n = w.FollowerCount[last];
            if (n == 0 || take(1)) {
                c = take(8);
            } else {
                const unsigned i = take(FollowerIndexBits(n));
                if (i >= n)
                    throw TCorruptData{"invalid follower index"};
                c = w.Followers[last][i];
            }
            last = c;
            // Second layer: literals and (length, distance) matches.
            switch (state) {
            case TState::Literal:
                if (c == DLE)
                    state = TState::AfterDLE;
                else
                    EmitByte(static_cast<uint8_t>(c));
                break;
            case TState::AfterDLE:
                if (c == 0) {
                    EmitByte(DLE);
                    state = TState::Literal;
                } else {
                    v = c;
                    length = v & lengthMask;
                    state = length == lengthMask ? TState::LongLen : TState::Distance;
                }
                break;
            case TState::LongLen:
                length += c;
                state = TState::Distance;
                break;
            case TState::Distance:
                CopyMatch(((v >> (8 - Factor)) << 8) + c + 1, length + 3);
                state = TState::Literal;
                break;
            }
        }
    } catch (const TCorruptData &corrupt) {
        Fail(corrupt.Reason);
    }
    FlushOutput();
}

// ---- implode -----------------------------------------------------------------

bool TZipDecoder::ReadShannonFanoTree(uint32_t *Table, size_t Capacity, unsigned TableBits, unsigned Count)
{
    // Stored as a byte count - 1, then per byte: high nibble = number of
    // values - 1, low nibble = their bit length - 1.
    uint32_t bytes;
    if (!GetCode(8, bytes))
        return false;
    uint8_t lengths[256];
    unsigned k = 0;
    for (unsigned i = 0; i <= bytes; ++i) {
        uint32_t b;
        if (!GetCode(8, b))
            return false;
        const unsigned n = (b >> 4) + 1;
        if (k + n > Count)
            return false;
        std::fill(lengths + k, lengths + k + n, static_cast<uint8_t>((b & 15) + 1));
        k += n;
    }
    if (k != Count)
        return false;
    // APPNOTE's codes: sort by length (stable), then hand out left-aligned
    // 16-bit codes from the last (longest) value upwards; the stream sends
    // each code's bits from the top, hence the reversal.
    uint16_t order[256];
    unsigned n = 0;
    for (unsigned len = 1; len <= 16; ++len)
        for (unsigned s = 0; s < Count; ++s)
            if (lengths[s] == len)
                order[n++] = static_cast<uint16_t>(s);
    uint16_t codes[256];
    uint32_t code = 0;
    uint32_t increment = 0;
    unsigned lastLength = 0;
    for (int i = static_cast<int>(Count) - 1; i >= 0; --i) {
        const unsigned s = order[i];
        code += increment;
        if (code > 0xFFFF)
            return false; // over-subscribed
        if (lengths[s] != lastLength) {
            lastLength = lengths[s];
            increment = 1u << (16 - lastLength);
        }
        codes[s] = huff::ReverseBits(code >> (16 - lastLength), lastLength);
    }
    return huff::BuildTable(Table, Capacity, TableBits, Count, lengths, codes, SymbolPayloads.data());
}

void TZipDecoder::Explode(uint16_t Flags)
{
    TWork &w = *work_;
    std::memset(w.Ring, 0, sizeof w.Ring);
    ringPos_ = 0;
    produced_ = 0;
    const bool bigWindow = Flags & 2;  // 8 KB dictionary, else 4 KB
    const bool literalTree = Flags & 4; // literals coded, else sent as bytes
    const unsigned minMatch = literalTree ? 3 : 2;
    const unsigned lowBits = bigWindow ? 7 : 6;
    const unsigned distTableBits = compressed_ > 200000 ? 8 : 7;
    auto take = [this](unsigned n) {
        uint32_t v;
        if (!GetCode(n, v))
            throw TCorruptData{"unexpected end of compressed data"};
        return v;
    };
    auto symbol = [this](const uint32_t *table, unsigned tableBits) {
        uint32_t v;
        if (!GetSymbol(table, tableBits, v))
            throw TCorruptData{"unexpected end of compressed data"};
        return v;
    };
    try {
        if (literalTree && !ReadShannonFanoTree(w.SfLit, TWork::SfCapacity, 9, 256))
            throw TCorruptData{"invalid literal tree"};
        if (!ReadShannonFanoTree(w.SfLen, TWork::SfCapacity, 7, 64))
            throw TCorruptData{"invalid length tree"};
        if (!ReadShannonFanoTree(w.SfDist, TWork::SfCapacity, distTableBits, 64))
            throw TCorruptData{"invalid distance tree"};
        while (produced_ < uncompressed_) {
            if (take(1)) {
                EmitByte(static_cast<uint8_t>(literalTree ? symbol(w.SfLit, 9) : take(8)));
                continue;
            }
            const unsigned low = take(lowBits);
            const unsigned distance = (symbol(w.SfDist, distTableBits) << lowBits) | low;
            unsigned length = symbol(w.SfLen, 7);
            if (length == 63)
                length += take(8);
            CopyMatch(distance + 1, length + minMatch);
        }
    } catch (const TCorruptData &corrupt) {
        Fail(corrupt.Reason);
    }
    FlushOutput();
}

} // namespace zorbel
