// Inflate (RFC 1951) and the decode-table builder it shares with explode.
//
// Blocks are decoded into TWork::Window, a linear buffer of eight times the 32 KB
// history: output is appended at winPos_; when it reaches SlideAt the
// unflushed bytes go to the output buffer (FlushWindow) and the last 32768
// bytes slide down to the start. So a match is always one plain forward
// copy, which may run up to 32 bytes past its end into the slack (those
// bytes lie beyond the write position and are overwritten later).
//
// Lookup bits: 11 for literal/length codes and 8 for distance codes, for
// the fixed codes too (so the hot loop's masks are constants); longer codes
// go through a second-level table (see ZipHuffman.h).
#include "archive/ZipHuffman.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace zorbel {

namespace huff {

namespace {

// BuildTable with each entry passed through Make as it is stored (inflate
// stores its own layout this way; see BuildFastTable). Make keeps an entry's
// value in bits 16-31 and a link's index bits in bits 8-11.
template <class TMake>
bool BuildTableAs(uint32_t *Table, size_t Capacity, unsigned TableBits, unsigned Count, const uint8_t *Lengths,
                  const uint16_t *Codes, const uint32_t *Payloads, TMake Make)
{
    const uint32_t invalid = Make(Payload(OpInvalid, 0));
    const size_t primary = size_t(1) << TableBits;
    if (primary > Capacity || TableBits > 11)
        return false;
    std::fill(Table, Table + primary, invalid);

    // Short codes fill every primary entry they prefix; for long codes note
    // the longest length behind each primary entry.
    uint8_t longest[2048] = {};
    bool anyLong = false;
    for (unsigned s = 0; s < Count; ++s) {
        const unsigned len = Lengths[s];
        if (len == 0)
            continue;
        if (len > 16)
            return false;
        const unsigned code = Codes[s];
        if (len <= TableBits) {
            const uint32_t entry = Make(Payloads[s] | len);
            for (size_t i = code; i < primary; i += size_t(1) << len) {
                if (Table[i] != invalid)
                    return false;
                Table[i] = entry;
            }
        } else {
            uint8_t &l = longest[code & (primary - 1)];
            l = std::max<uint8_t>(l, static_cast<uint8_t>(len));
            anyLong = true;
        }
    }
    if (!anyLong)
        return true;

    // One second-level table per primary entry with long codes behind it.
    size_t next = primary;
    for (size_t p = 0; p < primary; ++p) {
        if (longest[p] == 0)
            continue;
        if (Table[p] != invalid)
            return false;
        const unsigned subBits = longest[p] - TableBits;
        const size_t size = size_t(1) << subBits;
        if (next + size > Capacity)
            return false;
        Table[p] = Make(Payload(OpLink | subBits, static_cast<uint32_t>(next)) | TableBits);
        std::fill(Table + next, Table + next + size, invalid);
        next += size;
    }

    for (unsigned s = 0; s < Count; ++s) {
        const unsigned len = Lengths[s];
        if (len <= TableBits)
            continue;
        const unsigned code = Codes[s];
        const uint32_t link = Table[code & (primary - 1)];
        uint32_t *sub = Table + EntryValue(link);
        const size_t size = size_t(1) << (EntryOp(link) & 15);
        const uint32_t entry = Make(Payloads[s] | (len - TableBits));
        for (size_t i = code >> TableBits; i < size; i += size_t(1) << (len - TableBits)) {
            if (sub[i] != invalid)
                return false;
            sub[i] = entry;
        }
    }
    return true;
}

} // namespace

bool BuildTable(uint32_t *Table, size_t Capacity, unsigned TableBits, unsigned Count, const uint8_t *Lengths,
                const uint16_t *Codes, const uint32_t *Payloads)
{
    return BuildTableAs(Table, Capacity, TableBits, Count, Lengths, Codes, Payloads, [](uint32_t e) { return e; });
}

bool CanonicalCodes(unsigned Count, const uint8_t *Lengths, uint16_t *Codes, bool AllowEmpty)
{
    unsigned count[16] = {};
    for (unsigned s = 0; s < Count; ++s) {
        if (Lengths[s] > 15)
            return false;
        ++count[Lengths[s]];
    }
    count[0] = 0;
    int left = 1;
    unsigned used = 0;
    for (unsigned len = 1; len <= 15; ++len) {
        left = 2 * left - static_cast<int>(count[len]);
        if (left < 0)
            return false; // over-subscribed
        used += count[len];
    }
    if (left > 0) {
        const bool single = used == 1 && count[1] == 1;
        if (!single && !(used == 0 && AllowEmpty))
            return false; // incomplete
    }
    AssignCanonicalCodes(Count, Lengths, Codes);
    return true;
}

} // namespace huff

namespace {

using huff::OpEnd;
using huff::OpInvalid;
using huff::OpLink;
using huff::OpLiteral;
using huff::Payload;

using huff::CodeLengthOrder;
using huff::DistBase;
using huff::DistExtra;
using huff::LengthBase;
using huff::LengthExtra;

// Payloads of the 288 literal/length symbols: literals, end of block, length
// bases; 286 and 287 never occur in valid data.
constexpr std::array<uint32_t, 288> MakeLitPayloads()
{
    std::array<uint32_t, 288> p{};
    for (unsigned s = 0; s < 256; ++s)
        p[s] = Payload(OpLiteral, s);
    p[256] = Payload(OpEnd, 0);
    for (unsigned s = 257; s < 286; ++s)
        p[s] = Payload(LengthExtra[s - 257], LengthBase[s - 257]);
    p[286] = p[287] = Payload(OpInvalid, 0);
    return p;
}
// Payloads of the 32 distance symbols; 30 and 31 never occur in valid data.
constexpr std::array<uint32_t, 32> MakeDistPayloads()
{
    std::array<uint32_t, 32> p{};
    for (unsigned s = 0; s < 30; ++s)
        p[s] = Payload(DistExtra[s], DistBase[s]);
    p[30] = p[31] = Payload(OpInvalid, 0);
    return p;
}
constexpr std::array<uint32_t, 288> LitPayloads = MakeLitPayloads();
constexpr std::array<uint32_t, 32> DistPayloads = MakeDistPayloads();
constexpr std::array<uint32_t, 19> CodeLengthPayloads = [] {
    std::array<uint32_t, 19> p{};
    for (unsigned s = 0; s < 19; ++s)
        p[s] = Payload(0, s);
    return p;
}();


// The literal/length and distance tables are rewritten for the hot loop
// after BuildTable (the code-length table keeps the shared layout):
//
//   bits 0-7    bits to drop for the whole symbol: the code at this level
//               plus its extra bits, so one shift consumes both
//   bits 8-11   code length at this level (where the extra bits start); for
//               a link, the second-level table's index bits
//   bits 12-15  flags: FInvalid, FLink, FEnd, FLiteral
//   bits 16-31  literal byte, length or distance base, or link target
//
// A length or distance is then value + ((bits & mask(bits 0-7)) >> bits 8-11),
// computed beside the shift that drops the symbol instead of after it.
constexpr uint32_t FInvalid = 0x1000;
constexpr uint32_t FLink = 0x2000;
constexpr uint32_t FEnd = 0x4000;
constexpr uint32_t FLiteral = 0x8000;

constexpr uint32_t FastEntry(uint32_t e)
{
    const uint32_t len = huff::EntryBits(e);
    const uint32_t op = huff::EntryOp(e);
    const uint32_t value = huff::EntryValue(e);
    if (op & OpLiteral)
        return value << 16 | FLiteral | len << 8 | len;
    if (op & OpEnd)
        return FEnd | len << 8 | len;
    if (op & OpLink)
        return value << 16 | FLink | (op & 15) << 8 | len;
    if (op & OpInvalid)
        return FInvalid;
    return value << 16 | len << 8 | (len + op); // op: the number of extra bits
}

// Builds a literal/length or distance table in the hot loop's layout.
bool BuildFastTable(uint32_t *Table, size_t Capacity, unsigned TableBits, unsigned Count, const uint8_t *Lengths,
                    const uint16_t *Codes, const uint32_t *Payloads)
{
    return huff::BuildTableAs(Table, Capacity, TableBits, Count, Lengths, Codes, Payloads, FastEntry);
}

// Steps of the pattern fill for distances below 8 (a multiple of the
// distance, at most 8).
constexpr uint8_t PatternStep[8] = {0, 8, 8, 6, 8, 5, 6, 7};

// Sixteen bytes in a vector register.
typedef uint8_t TVec16 __attribute__((vector_size(16)));

// Copies forward in Step-byte pieces until dst reaches End, overrunning it by
// less than Step; a piece may read bytes an earlier piece wrote (an
// overlapping match), so Step must not exceed the distance.
template <size_t Step>
inline void CopyInSteps(uint8_t *dst, const uint8_t *src, const uint8_t *End)
{
    do {
        std::memcpy(dst, src, Step);
        dst += Step;
        src += Step;
    } while (dst < End);
}

} // namespace

void TZipDecoder::BuildFixedTables()
{
    uint8_t lens[288];
    uint16_t codes[288];
    std::fill(lens, lens + 144, 8);
    std::fill(lens + 144, lens + 256, 9);
    std::fill(lens + 256, lens + 280, 7);
    std::fill(lens + 280, lens + 288, 8);
    huff::CanonicalCodes(288, lens, codes, false);
    BuildFastTable(work_->FixedLit, TWork::LitCapacity, LitBits, 288, lens, codes, LitPayloads.data());
    std::fill(lens, lens + 32, 5);
    huff::CanonicalCodes(32, lens, codes, false);
    BuildFastTable(work_->FixedDist, TWork::DistCapacity, DistBits, 32, lens, codes, DistPayloads.data());
}

void TZipDecoder::Inflate()
{
    winPos_ = winFlushed_ = 0;
    // Straight into the caller's buffer when it holds the whole entry with
    // the slack of the match copy: one past the stated size is where a
    // "slide" finds the output too large.
    const bool direct = outArea_ && uncompressed_ >= 0 && size_t(uncompressed_) + OutputSlack <= outAreaSize_;
    win_ = direct ? outArea_ : work_->Window;
    slideAt_ = direct ? size_t(uncompressed_) + 1 : TWork::SlideAt;
    try {
        InflateBlocks();
    } catch (const TCorruptData &corrupt) {
        // Nonsense read from the zero padding past the end is a truncation.
        Fail(padBytes_ * 8 > bitCount_ ? "unexpected end of compressed data" : corrupt.Reason);
    }
    FlushWindow(win_ + winFlushed_, winPos_ - winFlushed_);
    winFlushed_ = winPos_;
    FlushOutput();
}

void TZipDecoder::InflateBlocks()
{
    bool last;
    do {
        NeedBits(3);
        last = PeekBits(1);
        const unsigned type = (bitBuf_ >> 1) & 3;
        DumpBits(3);
        afterStored_ = false;
        switch (type) {
        case 0:
            InflateStored();
            afterStored_ = true;
            break;
        case 1:
            InflateCodes(work_->FixedLit, work_->FixedDist);
            break;
        case 2:
            InflateDynamic();
            break;
        default:
            throw TCorruptData{"invalid block type"};
        }
    } while (!last);
    if (padBytes_ * 8 > bitCount_)
        throw TCorruptData{"unexpected end of compressed data"};
}

void TZipDecoder::SlideWindow()
{
    uint8_t *win = win_;
    FlushWindow(win + winFlushed_, winPos_ - winFlushed_);
    if (win != work_->Window) {
        // The caller's buffer: the output passed the stated size, which the
        // flush of its last block reports.
        FlushOutput();
        throw EBiggerThanUncompressed(QStringLiteral("File is larger than uncompressed size!"));
    }
    std::memmove(win, win + winPos_ - TWork::WindowSize, TWork::WindowSize);
    winPos_ = winFlushed_ = TWork::WindowSize;
}

void TZipDecoder::InflateStored()
{
    AlignToByte();
    NeedBits(32);
    const unsigned len = PeekBits(16);
    const unsigned nlen = (bitBuf_ >> 16) & 0xFFFF;
    DumpBits(32);
    if (len != (~nlen & 0xFFFF))
        throw TCorruptData{"invalid stored block lengths"};
    if (padBytes_ * 8 > bitCount_)
        throw TCorruptData{"unexpected end of compressed data"};
    uint8_t *win = win_;
    unsigned left = len;
    // Whole bytes still held by the bit reader come first.
    while (left > 0 && bitCount_ > 0) {
        if (RealBits() < 8)
            throw TCorruptData{"unexpected end of compressed data"};
        if (winPos_ >= slideAt_)
            SlideWindow();
        win[winPos_++] = static_cast<uint8_t>(bitBuf_);
        DumpBits(8);
        --left;
    }
    if (bitCount_ == 0)
        bitBuf_ = 0; // drop look-ahead bits: the next bytes are read directly
    while (left > 0) {
        if (winPos_ >= slideAt_)
            SlideWindow();
        const size_t room = std::min(size_t(left), slideAt_ - winPos_);
        size_t k;
        if (inPtr_ < inEnd_) {
            k = std::min(room, size_t(inEnd_ - inPtr_));
            std::memcpy(win + winPos_, inPtr_, k);
            inPtr_ += k;
        } else {
            // Nothing buffered: read the block's bytes straight into the window.
            k = ReadInput(win + winPos_, room);
            if (k == 0)
                throw TCorruptData{"unexpected end of compressed data"};
        }
        winPos_ += k;
        left -= static_cast<unsigned>(k);
    }
}

void TZipDecoder::InflateDynamic()
{
    NeedBits(14);
    const unsigned nlit = PeekBits(5) + 257;
    DumpBits(5);
    const unsigned ndist = PeekBits(5) + 1;
    DumpBits(5);
    const unsigned nclen = PeekBits(4) + 4;
    DumpBits(4);
    if (nlit > 286 || ndist > 30)
        throw TCorruptData{"too many length or distance symbols"};

    uint8_t clens[19] = {};
    for (unsigned i = 0; i < nclen; ++i)
        clens[CodeLengthOrder[i]] = static_cast<uint8_t>(TakeBits(3));
    uint16_t codes[286 + 30];
    if (!huff::CanonicalCodes(19, clens, codes, false)
        || !huff::BuildTable(work_->CodeLen, 128, 7, 19, clens, codes, CodeLengthPayloads.data()))
        throw TCorruptData{"invalid code lengths set"};

    uint8_t lens[286 + 30] = {};
    const unsigned total = nlit + ndist;
    for (unsigned i = 0; i < total;) {
        NeedBits(14);
        const uint32_t e = work_->CodeLen[PeekBits(7)];
        if (huff::EntryOp(e) & OpInvalid)
            throw TCorruptData{"invalid code lengths set"};
        DumpBits(huff::EntryBits(e));
        const unsigned sym = huff::EntryValue(e);
        if (sym < 16) {
            lens[i++] = static_cast<uint8_t>(sym);
            continue;
        }
        uint8_t value = 0;
        unsigned repeat;
        if (sym == 16) {
            if (i == 0)
                throw TCorruptData{"invalid bit length repeat"};
            value = lens[i - 1];
            repeat = 3 + TakeBits(2);
        } else if (sym == 17) {
            repeat = 3 + TakeBits(3);
        } else {
            repeat = 11 + TakeBits(7);
        }
        if (i + repeat > total)
            throw TCorruptData{"invalid bit length repeat"};
        std::fill(lens + i, lens + i + repeat, value);
        i += repeat;
    }
    if (lens[256] == 0)
        throw TCorruptData{"invalid code -- missing end-of-block"};
    if (!huff::CanonicalCodes(nlit, lens, codes, false)
        || !BuildFastTable(work_->Lit, TWork::LitCapacity, LitBits, nlit, lens, codes, LitPayloads.data()))
        throw TCorruptData{"invalid literal/lengths set"};
    if (!huff::CanonicalCodes(ndist, lens + nlit, codes + nlit, true)
        || !BuildFastTable(work_->Dist, TWork::DistCapacity, DistBits, ndist, lens + nlit, codes + nlit,
                           DistPayloads.data()))
        throw TCorruptData{"invalid distances set"};
    InflateCodes(work_->Lit, work_->Dist);
}

// The hot loop. Bit buffer, input pointer and window position live in locals
// (the byte stores into the window would otherwise force the members to be
// reloaded); they go back to the members around the slow paths, and a
// failure leaves the loop through a variable (no call may take the locals'
// addresses, or they would live in memory instead of registers).
//
// Each lookup is made before the refill that precedes its use, so the
// refill never lengthens the chain from one table entry to the next: e is
// always the literal/length entry for the next bits, looked up while at
// least LitBits bits were held. Bit budget of one turn, from the refill at
// its top (at least 56 bits): three primary literals (3 x 11) and the next
// lookup (11), or a primary length code with its extra bits (11+5), a
// primary distance code with its extra bits (8+13) and the next lookup (11).
// Codes that need a second-level table refill once more after their first
// level.
template <int Variant>
__attribute__((always_inline)) inline void TZipDecoder::InflateCodesLoop(const uint32_t *LitTable,
                                                                         const uint32_t *DistTable)
{
    constexpr uint64_t LitMask = (uint64_t(1) << LitBits) - 1;
    constexpr uint64_t DistMask = (uint64_t(1) << DistBits) - 1;
    uint8_t *const win = win_;
    const size_t slideAt = slideAt_;
    size_t wp = winPos_;
    uint64_t bits = bitBuf_;
    unsigned count = bitCount_;
    const uint8_t *in = inPtr_;
    const uint8_t *inEnd = inEnd_;
    const char *failure = nullptr;

    // Only the low six bits of count are kept exact: drops subtract whole
    // entries and shifts use the count modulo 64, which saves the masking
    // on the bit buffer's critical path (the true count never exceeds 63).
    auto store = [&] {
        bitBuf_ = bits;
        bitCount_ = count & 63;
        inPtr_ = in;
        winPos_ = wp;
    };
    auto load = [&] {
        bits = bitBuf_;
        count = bitCount_;
        in = inPtr_;
        inEnd = inEnd_;
        wp = winPos_;
    };
    // Tops the bit buffer up to 56-63 bits; the held bits stay as they are,
    // so an entry looked up before stays valid. Eight bytes at once while the
    // input buffer has them (the bits loaded above the new count are the
    // stream's next bits and are loaded again, unchanged, next time); near
    // its end through RefillBits, which may read the next input block.
    auto refill = [&] {
        if (inEnd - in >= 8) [[likely]] {
            uint64_t word;
            std::memcpy(&word, in, 8);
            if constexpr (std::endian::native == std::endian::big)
                word = __builtin_bswap64(word);
            bits |= word << (count & 63);
            in += 7 - ((count >> 3) & 7);
            count |= 56;
        } else if ((count & 63) < 56) {
            store();
            RefillBits();
            load();
        }
    };
    auto drop = [&](uint32_t e) {
        bits >>= e & 63;
        count -= e;
    };
    // The extra bits of a length or distance entry, over its base (such an
    // entry has no flags, so bits 8-13 are its code length).
    auto value = [&](uint32_t e) {
        return (e >> 16) + static_cast<unsigned>((bits & ((uint64_t(1) << (e & 63)) - 1)) >> ((e >> 8) & 63));
    };

    refill();
    uint32_t e = LitTable[bits & LitMask];
    for (;;) {
        if (wp >= slideAt) {
            store();
            SlideWindow();
            load();
        }
        refill();
        if (e & FLiteral) {
            // Up to three literals before the next refill and window check;
            // the slack takes the overrun.
            drop(e);
            win[wp++] = static_cast<uint8_t>(e >> 16);
            e = LitTable[bits & LitMask];
            if (e & FLiteral) {
                drop(e);
                win[wp++] = static_cast<uint8_t>(e >> 16);
                e = LitTable[bits & LitMask];
                if (e & FLiteral) {
                    drop(e);
                    win[wp++] = static_cast<uint8_t>(e >> 16);
                    e = LitTable[bits & LitMask];
                }
            }
            continue;
        }
        if (e & FLink) {
            drop(e);
            refill();
            e = LitTable[(e >> 16) + (bits & ((uint64_t(1) << ((e >> 8) & 15)) - 1))];
            if (e & FLiteral) {
                drop(e);
                win[wp++] = static_cast<uint8_t>(e >> 16);
                e = LitTable[bits & LitMask];
                continue;
            }
        }
        if (e & (FEnd | FInvalid)) {
            if (e & FInvalid)
                failure = "invalid literal/length code";
            else
                drop(e);
            break;
        }
        const unsigned length = value(e);
        drop(e);

        e = DistTable[bits & DistMask];
        if (e & FLink) {
            drop(e);
            refill();
            e = DistTable[(e >> 16) + (bits & ((uint64_t(1) << ((e >> 8) & 15)) - 1))];
        }
        if (e & FInvalid) {
            failure = "invalid distance code";
            break;
        }
        const size_t dist = value(e);
        drop(e);
        e = LitTable[bits & LitMask];
        if (dist > wp) {
            failure = "invalid distance too far back";
            break;
        }

        uint8_t *const dst = win + wp;
        const uint8_t *src = dst - dist;
        wp += length;
        uint8_t *const end = win + wp;
        if (dist >= 32 || (dist >= 16 && length <= dist)) {
            // Most matches are short: 32 bytes at once, both loads before
            // both stores (bytes past the length are don't-cares, so this
            // holds while the needed bytes all lie before dst), then 16 at a
            // time for the rest.
            TVec16 a, b;
            std::memcpy(&a, src, 16);
            std::memcpy(&b, src + 16, 16);
            std::memcpy(dst, &a, 16);
            std::memcpy(dst + 16, &b, 16);
            if (length > 32)
                CopyInSteps<16>(dst + 32, src + 32, end);
        } else if (dist >= 16) {
            CopyInSteps<16>(dst, src, end);
        } else if (dist >= 8) {
            CopyInSteps<8>(dst, src, end);
        } else if constexpr (std::endian::native == std::endian::little) {
            // A period below 8: its bytes widened to a word, stored at a
            // step that is a multiple of the period (stores only, so nothing
            // waits on bytes just stored).
            uint64_t pattern;
            std::memcpy(&pattern, src, 8);
            pattern &= (uint64_t(1) << (8 * dist)) - 1;
            for (size_t w = dist; w < 8; w *= 2)
                pattern |= pattern << (8 * w);
            const unsigned step = PatternStep[dist];
            for (uint8_t *p = dst; p < end; p += step)
                std::memcpy(p, &pattern, 8);
        } else {
            for (unsigned i = 0; i < length; ++i)
                dst[i] = src[i];
        }
    }
    store();
    if (failure)
        throw TCorruptData{failure};
}

#if defined(__x86_64__) && defined(__GNUC__)
#define ZORBEL_INFLATE_BMI2 1
#endif

void TZipDecoder::InflateCodes(const uint32_t *LitTable, const uint32_t *DistTable)
{
#ifdef ZORBEL_INFLATE_BMI2
    static const bool bmi2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("bmi2");
    }();
    if (bmi2) {
        InflateCodesBmi2(LitTable, DistTable);
        return;
    }
#endif
    InflateCodesPlain(LitTable, DistTable);
}

void TZipDecoder::InflateCodesPlain(const uint32_t *LitTable, const uint32_t *DistTable)
{
    InflateCodesLoop<0>(LitTable, DistTable);
}

#ifdef ZORBEL_INFLATE_BMI2
__attribute__((target("bmi2")))
#endif
void TZipDecoder::InflateCodesBmi2(const uint32_t *LitTable, const uint32_t *DistTable)
{
    InflateCodesLoop<1>(LitTable, DistTable);
}

} // namespace zorbel
