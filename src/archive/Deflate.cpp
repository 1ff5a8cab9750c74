// Deflate of one file (RFC 1951), in three layers:
//
//  1. The matcher slides a 64 KB window over the input. Every position is
//     entered into a hash chain keyed by its next three bytes
//     (h = ((h << 5) ^ byte) & 0x7FFF); Head[h] holds the newest position,
//     Prev[pos & 0x7FFF] the one before it. Levels 1-3 take the longest match
//     at each position at once ("fast"); levels 4-9 first look one position
//     further and keep the better of the two ("lazy"). The level table decides
//     how far the chains are followed.
//  2. Recording appends each literal or match to the run's buffers
//     (LiteralBuf, DistBuf, FlagBuf) and counts its code frequencies. A block
//     ends when the buffers fill, or earlier above level 2 when the block
//     compresses poorly.
//  3. Flushing a block builds Huffman trees from the frequencies, prices the
//     block stored, with the fixed trees and with dynamic trees, and emits the
//     cheapest through a bit writer (least significant bit first) into a
//     1024-byte output buffer that goes to the writer's output function.
//
// Positions in the window are unsigned offsets; position 0 doubles as "no
// candidate", so a match is never taken from the very first byte of the window.

#include "archive/Deflate.h"
#include "archive/DeflateCodes.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace zorbel {

namespace {

constexpr unsigned WSize = DeflateWindowSize;
constexpr unsigned WMask = WSize - 1;
constexpr unsigned WindowBytes = 2 * WSize;
constexpr unsigned MinMatch = 3;
constexpr unsigned MaxMatch = 258;
constexpr unsigned MinLookahead = MaxMatch + MinMatch + 1; // 262
constexpr unsigned MaxDist = WSize - MinLookahead;         // 32506
constexpr unsigned HashMask = 0x7FFF;
constexpr unsigned HashShift = 5;
constexpr unsigned TooFar = 4096;

constexpr int Literals = 256;
constexpr int EndBlock = 256;
constexpr int LCodes = 286;
constexpr int DCodes = 30;
constexpr int BLCodes = 19;
constexpr int MaxBits = huff::MaxCodeBits;
constexpr int MaxBLBits = 7;
constexpr int OutBufSize = 1024;

enum class TBlockType { Stored = 0, Fixed = 1, Dynamic = 2 };

// Per level: a previous match at least Good shortens the chain search to a
// quarter; Lazy is the longest match still improved lazily (fast levels: the
// longest match whose strings are all hashed); a match of Nice ends the
// search; Chain is the most chain links followed.
struct TLevelConfig {
    unsigned Good, Lazy, Nice, Chain;
    bool Fast;
};
constexpr TLevelConfig LevelTable[10] = {
    //  good  lazy  nice  chain  fast
    {0, 0, 0, 0, true}, // 0: not used, the writer stores
    {4, 4, 8, 4, true},
    {4, 5, 16, 8, true},
    {4, 6, 32, 32, true},
    {4, 4, 16, 16, false},
    {8, 16, 32, 32, false},
    {8, 16, 128, 128, false},
    {8, 32, 128, 256, false},
    {32, 128, 258, 1024, false},
    {32, 258, 258, 4096, false},
};

constexpr uint8_t ExtraBLBits[BLCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
constexpr const uint8_t *ExtraLBits = huff::LengthExtra;
constexpr const uint8_t *ExtraDBits = huff::DistExtra;
constexpr const uint8_t *BLOrder = huff::CodeLengthOrder;

// One Huffman tree of a block: frequencies in, code lengths and codes out.
template <int Elems> struct THuffTree {
    uint32_t Freq[Elems];
    uint8_t Len[Elems];
    uint16_t Code[Elems];
    int MaxCode; // highest symbol with a code
};

// Builds length-limited Huffman code lengths for tree.Freq and the codes.
// At least two symbols always get a code (dummies of frequency 0 when the
// block uses fewer), so every tree forms a complete prefix code.
template <int Elems> void BuildTree(THuffTree<Elems> &tree, int maxLength)
{
    uint16_t sym[Elems];
    int n = 0;
    for (int s = 0; s < Elems; ++s) {
        tree.Len[s] = 0;
        if (tree.Freq[s])
            sym[n++] = uint16_t(s);
    }
    if (n < 2) {
        // One or no used symbol: two codes of one bit.
        int a = n ? sym[0] : 0;
        int b = a == 0 ? 1 : 0;
        tree.Len[a] = tree.Len[b] = 1;
        tree.MaxCode = std::max(a, b);
        huff::AssignCanonicalCodes(Elems, tree.Len, tree.Code);
        return;
    }
    tree.MaxCode = sym[n - 1];
    std::stable_sort(sym, sym + n, [&](uint16_t x, uint16_t y) { return tree.Freq[x] < tree.Freq[y]; });

    // Two-queue Huffman: leaves 0..n-1 in ascending weight, internal nodes
    // n..2n-2 created in ascending weight; parent links give the depths.
    uint32_t weight[2 * Elems];
    uint16_t parent[2 * Elems];
    for (int i = 0; i < n; ++i)
        weight[i] = tree.Freq[sym[i]];
    int leaf = 0, inner = n, next = n;
    auto takeSmallest = [&]() {
        if (leaf < n && (inner >= next || weight[leaf] <= weight[inner]))
            return leaf++;
        return inner++;
    };
    while (next < 2 * n - 1) {
        int a = takeSmallest();
        int b = takeSmallest();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = uint16_t(next);
        ++next;
    }
    uint8_t depth[2 * Elems];
    depth[2 * n - 2] = 0;
    for (int i = 2 * n - 3; i >= 0; --i)
        depth[i] = uint8_t(depth[parent[i]] + 1);

    // Codes longer than maxLength: the adjustment of JPEG (ITU T.81, K.3)
    // moves pairs of deepest leaves up, which keeps the code complete.
    int lengthCount[2 * Elems] = {};
    int deepest = 0;
    for (int i = 0; i < n; ++i) {
        ++lengthCount[depth[i]];
        deepest = std::max<int>(deepest, depth[i]);
    }
    for (int i = deepest; i > maxLength; --i) {
        while (lengthCount[i] > 0) {
            int j = i - 2;
            while (lengthCount[j] == 0)
                --j;
            lengthCount[i] -= 2;
            lengthCount[i - 1] += 1;
            lengthCount[j + 1] += 2;
            lengthCount[j] -= 1;
        }
    }
    // Longest codes to the rarest symbols (sym is in ascending frequency).
    int i = 0;
    for (int bits = std::min(deepest, maxLength); bits >= 1; --bits)
        for (int k = lengthCount[bits]; k > 0; --k)
            tree.Len[sym[i++]] = uint8_t(bits);
    huff::AssignCanonicalCodes(Elems, tree.Len, tree.Code);
}

// Loads two bytes as one value (for comparing byte pairs).
inline uint16_t Load16(const uint8_t *p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Number of equal leading bytes of a and b, at most max (a multiple of 8).
inline unsigned CommonLength(const uint8_t *a, const uint8_t *b, unsigned max)
{
    for (unsigned n = 0; n < max; n += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (uint64_t diff = x ^ y) {
            if constexpr (std::endian::native == std::endian::little)
                return n + unsigned(__builtin_ctzll(diff)) / 8;
            else
                return n + unsigned(__builtin_clzll(diff)) / 8;
        }
    }
    return max;
}

// The state of one deflate call.
class TDeflater {
public:
    TDeflater(TDeflateIO &io, int level, TDeflateTables &tables, TDeflateBuffers &buffers, TDeflateEntry &entry)
        : io_(io), level_(level), config_(LevelTable[level]), tables_(tables), buf_(buffers),
          window_(buffers.Window), entry_(entry)
    {
    }
    TDeflater(const TDeflater &) = delete;
    TDeflater &operator=(const TDeflater &) = delete;

    int64_t Run();

private:
    // Matcher
    void StartMatcher();
    void FillWindow();
    unsigned InsertString(unsigned pos);
    unsigned LongestMatch(unsigned candidate);
    void CheckMatch(unsigned start, unsigned match, unsigned length) const;
    void DeflateFast();
    void DeflateLazy();
    void EndBlockHere(bool last);

    // Recording
    void StartBlock();
    bool TallyLiteral(uint8_t c);
    bool TallyMatch(unsigned distance, unsigned lengthMinus3);
    bool EndOfTally();
    unsigned DistCode(unsigned distMinus1) const
    {
        return distMinus1 < 256 ? tables_.DistCode[distMinus1] : tables_.DistCode[256 + (distMinus1 >> 7)];
    }

    // Block output
    void FlushBlock(const uint8_t *data, uint64_t storedLength, bool last);
    void SetFileType();
    int BuildBitLengthTree();
    void SendAllTrees();
    void CompressBlock(const uint16_t *litCode, const uint8_t *litLen, const uint16_t *distCode,
                       const uint8_t *distLen);
    void CopyBlock(const uint8_t *data, uint64_t length, bool header);

    // Bit writer
    void PutBits(uint32_t value, unsigned count)
    {
        bitBuf_ |= uint64_t(value) << bitCount_;
        bitCount_ += count;
        if (bitCount_ >= 32) {
            uint8_t *p = out_ + outFill_;
            p[0] = uint8_t(bitBuf_);
            p[1] = uint8_t(bitBuf_ >> 8);
            p[2] = uint8_t(bitBuf_ >> 16);
            p[3] = uint8_t(bitBuf_ >> 24);
            outFill_ += 4;
            bitBuf_ >>= 32;
            bitCount_ -= 32;
            if (outFill_ > OutBufSize - 4)
                FlushOutput();
        }
    }
    void PutByte(uint8_t b)
    {
        out_[outFill_++] = b;
        if (outFill_ > OutBufSize - 4)
            FlushOutput();
    }
    void WindUp();
    void FlushOutput();

    TDeflateIO &io_;
    const int level_;
    const TLevelConfig config_;
    TDeflateTables &tables_;
    TDeflateBuffers &buf_;
    uint8_t *const window_;
    TDeflateEntry &entry_;

    // Matcher state
    unsigned strStart_ = 0;   // current string start in the window
    int64_t blockStart_ = 0;  // window position where the current block began (negative once slid out)
    unsigned lookahead_ = 0;  // valid bytes from strStart_ on
    unsigned matchStart_ = 0; // start of the match found by LongestMatch
    unsigned prevLength_ = MinMatch - 1;
    unsigned insH_ = 0;       // rolling hash of the next string
    bool eof_ = false;

    // Block being recorded
    THuffTree<LCodes> lit_;
    THuffTree<DCodes> dist_;
    THuffTree<BLCodes> bl_;
    unsigned lastLit_ = 0, lastDist_ = 0, lastFlags_ = 0;
    unsigned flags_ = 0, flagBit_ = 1;
    uint64_t optLen_ = 0, staticLen_ = 0; // bit costs of the block with dynamic and with fixed trees
    // Run-length coded code lengths of the dynamic trees: symbol and extra bits.
    uint8_t rleSym_[LCodes + DCodes];
    uint8_t rleExtra_[LCodes + DCodes];
    int rleCount_ = 0;
    int blCount_ = 0; // bit-length codes sent (HCLEN + 4)

    // Output
    uint64_t compressedBits_ = 0;
    uint64_t bitBuf_ = 0;
    unsigned bitCount_ = 0;
    uint8_t out_[OutBufSize];
    int outFill_ = 0;
    int64_t bytesWritten_ = 0;
};

int64_t TDeflater::Run()
{
    if (!tables_.Built)
        tables_.Build();
    StartBlock();
    StartMatcher();
    if (config_.Fast)
        DeflateFast();
    else
        DeflateLazy();
    return int64_t(compressedBits_ >> 3);
}

void TDeflater::StartMatcher()
{
    std::fill(std::begin(buf_.Head), std::end(buf_.Head), uint16_t(0));
    if (level_ <= 2)
        entry_.Flags |= 4;
    else if (level_ >= 8)
        entry_.Flags |= 2;
    strStart_ = 0;
    blockStart_ = 0;
    int n = io_.ReadInput(window_, int(WSize));
    if (n == 0 || n == -1) {
        eof_ = true;
        lookahead_ = 0;
        return;
    }
    lookahead_ = unsigned(n);
    while (lookahead_ < MinLookahead && !eof_)
        FillWindow();
    insH_ = 0;
    for (unsigned j = 0; j < MinMatch - 1; ++j)
        insH_ = ((insH_ << HashShift) ^ window_[j]) & HashMask;
}

// Reads more input after the lookahead, first sliding the upper half of the
// window down when the string start has gone far enough.
void TDeflater::FillWindow()
{
    unsigned more = WindowBytes - lookahead_ - strStart_;
    if (strStart_ >= WSize + MaxDist) {
        std::memcpy(window_, window_ + WSize, WSize);
        matchStart_ -= WSize;
        strStart_ -= WSize;
        blockStart_ -= WSize;
        for (uint16_t &h : buf_.Head)
            h = h >= WSize ? uint16_t(h - WSize) : 0;
        for (uint16_t &p : buf_.Prev)
            p = p >= WSize ? uint16_t(p - WSize) : 0;
        more += WSize;
    }
    int n = io_.ReadInput(window_ + strStart_ + lookahead_, int(more));
    if (n == 0 || n == -1)
        eof_ = true;
    else
        lookahead_ += unsigned(n);
}

// Enters the string at pos into its hash chain; returns the previous head.
inline unsigned TDeflater::InsertString(unsigned pos)
{
    insH_ = ((insH_ << HashShift) ^ window_[pos + MinMatch - 1]) & HashMask;
    unsigned head = buf_.Head[insH_];
    buf_.Prev[pos & WMask] = uint16_t(head);
    buf_.Head[insH_] = uint16_t(pos);
    return head;
}

// Follows the chain from candidate and returns the longest match length
// found (at least prevLength_); matchStart_ is set when a longer one is found.
// Compares up to 258 bytes even past the lookahead; the caller caps.
inline unsigned TDeflater::LongestMatch(unsigned candidate)
{
    unsigned chain = config_.Chain;
    const uint8_t *scan = window_ + strStart_;
    unsigned best = prevLength_;
    const unsigned limit = strStart_ > MaxDist ? strStart_ - MaxDist : 0;
    if (prevLength_ >= config_.Good)
        chain >>= 2;
    const uint16_t scanStart = Load16(scan);
    uint16_t scanEnd = Load16(scan + best - 1);
    do {
        const uint8_t *match = window_ + candidate;
        if (Load16(match + best - 1) != scanEnd || Load16(match) != scanStart)
            continue;
        unsigned len = 2 + CommonLength(scan + 2, match + 2, MaxMatch - 2);
        if (len > best) {
            matchStart_ = candidate;
            best = len;
            if (len >= config_.Nice)
                break;
            scanEnd = Load16(scan + best - 1);
        }
    } while ((candidate = buf_.Prev[candidate & WMask]) > limit && --chain != 0);
    return best;
}

void TDeflater::CheckMatch(unsigned start, unsigned match, unsigned length) const
{
    if (std::memcmp(window_ + start, window_ + match, length) != 0)
        throw EInvalidMatch(QStringLiteral("Start: %1, Match: %2, Length: %3").arg(start).arg(match).arg(length));
}

void TDeflater::EndBlockHere(bool last)
{
    const uint8_t *data = blockStart_ >= 0 ? window_ + blockStart_ : nullptr;
    FlushBlock(data, uint64_t(int64_t(strStart_) - blockStart_), last);
    blockStart_ = strStart_;
}

// Levels 1-3: take the longest match at each position; hash the strings
// inside short matches only.
void TDeflater::DeflateFast()
{
    unsigned matchLength = 0;
    prevLength_ = MinMatch - 1;
    while (lookahead_ != 0) {
        unsigned head = InsertString(strStart_);
        if (head != 0 && strStart_ - head <= MaxDist) {
            matchLength = std::min(LongestMatch(head), lookahead_);
        }
        bool flush;
        if (matchLength >= MinMatch) {
            CheckMatch(strStart_, matchStart_, matchLength);
            flush = TallyMatch(strStart_ - matchStart_, matchLength - MinMatch);
            lookahead_ -= matchLength;
            if (matchLength <= config_.Lazy) {
                --matchLength; // the string at strStart_ is in the chains already
                do {
                    ++strStart_;
                    InsertString(strStart_);
                } while (--matchLength != 0);
                ++strStart_;
            } else {
                strStart_ += matchLength;
                matchLength = 0;
                insH_ = window_[strStart_];
                insH_ = ((insH_ << HashShift) ^ window_[strStart_ + 1]) & HashMask;
            }
        } else {
            flush = TallyLiteral(window_[strStart_]);
            --lookahead_;
            ++strStart_;
        }
        if (flush)
            EndBlockHere(false);
        while (lookahead_ < MinLookahead && !eof_)
            FillWindow();
    }
    EndBlockHere(true);
}

// Levels 4-9: a match is emitted only when the match at the next position is
// not longer; otherwise its first byte becomes a literal.
void TDeflater::DeflateLazy()
{
    unsigned matchLength = MinMatch - 1;
    bool matchAvailable = false; // a byte at strStart_ - 1 waits for its decision
    while (lookahead_ != 0) {
        unsigned head = InsertString(strStart_);
        prevLength_ = matchLength;
        const unsigned prevMatch = matchStart_;
        matchLength = MinMatch - 1;
        if (head != 0 && prevLength_ < config_.Lazy && strStart_ - head <= MaxDist) {
            matchLength = std::min(LongestMatch(head), lookahead_);
            if (matchLength == MinMatch && strStart_ - matchStart_ > TooFar)
                --matchLength;
        }
        if (prevLength_ >= MinMatch && matchLength <= prevLength_) {
            CheckMatch(strStart_ - 1, prevMatch, prevLength_);
            bool flush = TallyMatch(strStart_ - 1 - prevMatch, prevLength_ - MinMatch);
            lookahead_ -= prevLength_ - 1;
            for (unsigned n = prevLength_ - 2; n != 0; --n) {
                ++strStart_;
                InsertString(strStart_);
            }
            matchAvailable = false;
            matchLength = MinMatch - 1;
            ++strStart_;
            if (flush)
                EndBlockHere(false);
        } else if (matchAvailable) {
            if (TallyLiteral(window_[strStart_ - 1]))
                EndBlockHere(false);
            ++strStart_;
            --lookahead_;
        } else {
            matchAvailable = true;
            ++strStart_;
            --lookahead_;
        }
        while (lookahead_ < MinLookahead && !eof_)
            FillWindow();
    }
    if (matchAvailable)
        TallyLiteral(window_[strStart_ - 1]);
    EndBlockHere(true);
}

void TDeflater::StartBlock()
{
    std::fill(std::begin(lit_.Freq), std::end(lit_.Freq), 0u);
    std::fill(std::begin(dist_.Freq), std::end(dist_.Freq), 0u);
    std::fill(std::begin(bl_.Freq), std::end(bl_.Freq), 0u);
    lit_.Freq[EndBlock] = 1;
    optLen_ = staticLen_ = 0;
    lastLit_ = lastDist_ = lastFlags_ = 0;
    flags_ = 0;
    flagBit_ = 1;
}

inline bool TDeflater::TallyLiteral(uint8_t c)
{
    buf_.LiteralBuf[lastLit_++] = c;
    ++lit_.Freq[c];
    return EndOfTally();
}

inline bool TDeflater::TallyMatch(unsigned distance, unsigned lengthMinus3)
{
    buf_.LiteralBuf[lastLit_++] = uint8_t(lengthMinus3);
    --distance;
    ++lit_.Freq[tables_.LengthCode[lengthMinus3] + Literals + 1];
    ++dist_.Freq[DistCode(distance)];
    buf_.DistBuf[lastDist_++] = uint16_t(distance);
    flags_ |= flagBit_;
    return EndOfTally();
}

// Stores every eighth flag byte; tells whether the block must end here.
inline bool TDeflater::EndOfTally()
{
    flagBit_ <<= 1;
    if ((lastLit_ & 7) == 0) {
        buf_.FlagBuf[lastFlags_++] = uint8_t(flags_);
        flags_ = 0;
        flagBit_ = 1;
    }
    if (level_ > 2 && (lastLit_ & 0xFFF) == 0) {
        // End early when matches are rare and the block would shrink well.
        uint64_t outLength = uint64_t(lastLit_) * 8;
        const uint64_t inLength = uint64_t(int64_t(strStart_) - blockStart_);
        for (int code = 0; code < DCodes; ++code)
            outLength += uint64_t(dist_.Freq[code]) * (5 + ExtraDBits[code]);
        outLength >>= 3;
        if (lastDist_ < lastLit_ / 2 && outLength < inLength / 2)
            return true;
    }
    return lastLit_ == DeflateLitBufSize - 1 || lastDist_ == DeflateDistBufSize;
}

// Literal frequencies decide: bytes 0-6 and 128-255 are binary, 7-127 text.
void TDeflater::SetFileType()
{
    uint64_t binary = 0, text = 0;
    for (int n = 0; n < Literals; ++n)
        (n < 7 || n > 127 ? binary : text) += lit_.Freq[n];
    entry_.InternalAttributes = binary <= text / 4 ? 1 : 0;
}

// Run-length codes the code lengths of both trees (one sequence, as RFC 1951
// allows), builds the bit-length tree over them and adds the cost of the whole
// tree description to optLen_. Returns the number of bit-length codes sent.
int TDeflater::BuildBitLengthTree()
{
    const int lcodes = lit_.MaxCode + 1, dcodes = dist_.MaxCode + 1;
    uint8_t seq[LCodes + DCodes];
    std::copy(lit_.Len, lit_.Len + lcodes, seq);
    std::copy(dist_.Len, dist_.Len + dcodes, seq + lcodes);
    const int total = lcodes + dcodes;
    rleCount_ = 0;
    auto addSymbol = [&](int sym, int extra) {
        rleSym_[rleCount_] = uint8_t(sym);
        rleExtra_[rleCount_++] = uint8_t(extra);
        ++bl_.Freq[sym];
    };
    for (int i = 0; i < total;) {
        const int v = seq[i];
        int run = 1;
        while (i + run < total && seq[i + run] == v)
            ++run;
        i += run;
        if (v == 0) {
            for (; run >= 11; run -= std::min(run, 138))
                addSymbol(18, std::min(run, 138) - 11);
            if (run >= 3) {
                addSymbol(17, run - 3);
                run = 0;
            }
        } else {
            addSymbol(v, 0);
            for (--run; run >= 3; run -= std::min(run, 6))
                addSymbol(16, std::min(run, 6) - 3);
        }
        for (; run > 0; --run)
            addSymbol(v, 0);
    }
    BuildTree(bl_, MaxBLBits);
    int count = BLCodes;
    while (count > 4 && bl_.Len[BLOrder[count - 1]] == 0)
        --count;
    optLen_ += 5 + 5 + 4 + 3 * uint64_t(count);
    for (int s = 0; s < BLCodes; ++s)
        optLen_ += uint64_t(bl_.Freq[s]) * (bl_.Len[s] + ExtraBLBits[s]);
    return count;
}

void TDeflater::SendAllTrees()
{
    PutBits(unsigned(lit_.MaxCode + 1 - 257), 5);
    PutBits(unsigned(dist_.MaxCode + 1 - 1), 5);
    PutBits(unsigned(blCount_ - 4), 4);
    for (int rank = 0; rank < blCount_; ++rank)
        PutBits(bl_.Len[BLOrder[rank]], 3);
    for (int i = 0; i < rleCount_; ++i) {
        const int s = rleSym_[i];
        PutBits(bl_.Code[s], bl_.Len[s]);
        if (ExtraBLBits[s])
            PutBits(rleExtra_[i], ExtraBLBits[s]);
    }
}

// Emits the recorded literals and matches with the given trees, then the
// end-of-block code. A literal or length code and its extra bits go out in
// one PutBits, and so do a distance code and its extra bits.
void TDeflater::CompressBlock(const uint16_t *litCode, const uint8_t *litLen, const uint16_t *distCode,
                              const uint8_t *distLen)
{
    const uint8_t *literals = buf_.LiteralBuf;
    const uint16_t *distances = buf_.DistBuf;
    const uint8_t *flagBytes = buf_.FlagBuf;
    unsigned flag = 0;
    for (unsigned lx = 0; lx < lastLit_; ++lx) {
        if ((lx & 7) == 0)
            flag = *flagBytes++;
        const unsigned lc = literals[lx];
        if ((flag & 1) == 0) {
            PutBits(litCode[lc], litLen[lc]);
        } else {
            const unsigned code = tables_.LengthCode[lc];
            const unsigned sym = code + Literals + 1;
            PutBits(litCode[sym] | ((lc - tables_.BaseLength[code]) << litLen[sym]),
                    litLen[sym] + ExtraLBits[code]);
            const unsigned dist = *distances++;
            const unsigned dcode = DistCode(dist);
            PutBits(distCode[dcode] | ((dist - tables_.BaseDist[dcode]) << distLen[dcode]),
                    distLen[dcode] + ExtraDBits[dcode]);
        }
        flag >>= 1;
    }
    PutBits(litCode[EndBlock], litLen[EndBlock]);
}

// Ends the block of storedLength bytes at data (null when they have slid out
// of the window), choosing the cheapest form.
void TDeflater::FlushBlock(const uint8_t *data, uint64_t storedLength, bool last)
{
    buf_.FlagBuf[lastFlags_] = uint8_t(flags_);
    if (entry_.InternalAttributes == 2)
        SetFileType();

    BuildTree(lit_, MaxBits);
    BuildTree(dist_, MaxBits);
    for (int n = 0; n <= lit_.MaxCode; ++n) {
        const unsigned extra = n > Literals ? ExtraLBits[n - Literals - 1] : 0;
        optLen_ += uint64_t(lit_.Freq[n]) * (lit_.Len[n] + extra);
        staticLen_ += uint64_t(lit_.Freq[n]) * (tables_.FixedLitLen[n] + extra);
    }
    for (int n = 0; n <= dist_.MaxCode; ++n) {
        optLen_ += uint64_t(dist_.Freq[n]) * (dist_.Len[n] + ExtraDBits[n]);
        staticLen_ += uint64_t(dist_.Freq[n]) * (5 + ExtraDBits[n]);
    }
    blCount_ = BuildBitLengthTree();

    switch (ChooseDeflateBlock(storedLength, optLen_, staticLen_, data != nullptr, last && compressedBits_ == 0)) {
    case TDeflateBlockKind::WholeFileStored:
        CopyBlock(data, storedLength, false);
        compressedBits_ = storedLength << 3;
        entry_.Method = 0;
        break;
    case TDeflateBlockKind::Stored:
        PutBits((unsigned(TBlockType::Stored) << 1) + last, 3);
        compressedBits_ = (compressedBits_ + 3 + 7) & ~uint64_t(7);
        compressedBits_ += (storedLength + 4) << 3;
        CopyBlock(data, storedLength, true);
        break;
    case TDeflateBlockKind::Fixed:
        PutBits((unsigned(TBlockType::Fixed) << 1) + last, 3);
        CompressBlock(tables_.FixedLitCode, tables_.FixedLitLen, tables_.FixedDistCode, tables_.FixedDistLen);
        compressedBits_ += 3 + staticLen_;
        break;
    case TDeflateBlockKind::Dynamic:
        PutBits((unsigned(TBlockType::Dynamic) << 1) + last, 3);
        SendAllTrees();
        CompressBlock(lit_.Code, lit_.Len, dist_.Code, dist_.Len);
        compressedBits_ += 3 + optLen_;
        break;
    }
    StartBlock();
    if (last) {
        WindUp();
        FlushOutput();
        compressedBits_ += 7;
    }
}

// Copies bytes of the window through the output buffer (never hands window
// memory to the output function, which may encrypt in place); a stored block
// gets its aligned header LEN, NLEN first.
void TDeflater::CopyBlock(const uint8_t *data, uint64_t length, bool header)
{
    WindUp();
    if (header) {
        PutByte(uint8_t(length));
        PutByte(uint8_t(length >> 8));
        PutByte(uint8_t(~length));
        PutByte(uint8_t(~length >> 8));
    }
    while (length > 0) {
        const int chunk = int(std::min<uint64_t>(length, uint64_t(OutBufSize - outFill_)));
        std::memcpy(out_ + outFill_, data, size_t(chunk));
        outFill_ += chunk;
        data += chunk;
        length -= uint64_t(chunk);
        if (outFill_ > OutBufSize - 4)
            FlushOutput();
    }
}

// Puts out the bits still held, padded to a whole byte.
void TDeflater::WindUp()
{
    while (bitCount_ > 0) {
        out_[outFill_++] = uint8_t(bitBuf_);
        bitBuf_ >>= 8;
        bitCount_ = bitCount_ > 8 ? bitCount_ - 8 : 0;
    }
    bitBuf_ = 0;
    if (outFill_ > OutBufSize - 4)
        FlushOutput();
}

void TDeflater::FlushOutput()
{
    if (outFill_ == 0)
        return;
    io_.WriteOutput(out_, outFill_);
    bytesWritten_ += outFill_;
    outFill_ = 0;
}

} // namespace

TDeflateBlockKind ChooseDeflateBlock(uint64_t storedLength, uint64_t dynamicBits, uint64_t fixedBits,
                                     bool dataAvailable, bool onlyBlock)
{
    // Block lengths in whole bytes, counting the 3 header bits.
    const uint64_t dynamicBytes = (dynamicBits + 3 + 7) >> 3;
    const uint64_t fixedBytes = (fixedBits + 3 + 7) >> 3;
    const uint64_t blockBytes = std::min(dynamicBytes, fixedBytes);
    if (onlyBlock && dataAvailable && storedLength <= blockBytes)
        return TDeflateBlockKind::WholeFileStored;
    if (dataAvailable && storedLength + 4 <= blockBytes)
        return TDeflateBlockKind::Stored;
    if (fixedBytes == blockBytes)
        return TDeflateBlockKind::Fixed;
    return TDeflateBlockKind::Dynamic;
}

void TDeflateTables::Build()
{
    unsigned length = 0;
    for (int code = 0; code < 28; ++code) {
        BaseLength[code] = uint16_t(length);
        for (int n = 0; n < (1 << ExtraLBits[code]); ++n)
            LengthCode[length++] = uint8_t(code);
    }
    // Length 258 has its own code (285) in place of the last value of 284.
    LengthCode[length - 1] = 28;
    BaseLength[28] = uint16_t(MaxMatch - MinMatch);

    unsigned dist = 0;
    for (int code = 0; code < 16; ++code) {
        BaseDist[code] = uint16_t(dist);
        for (int n = 0; n < (1 << ExtraDBits[code]); ++n)
            DistCode[dist++] = uint8_t(code);
    }
    dist >>= 7;
    for (int code = 16; code < DCodes; ++code) {
        BaseDist[code] = uint16_t(dist << 7);
        for (int n = 0; n < (1 << (ExtraDBits[code] - 7)); ++n)
            DistCode[256 + dist++] = uint8_t(code);
    }

    for (int n = 0; n < 288; ++n)
        FixedLitLen[n] = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
    huff::AssignCanonicalCodes(288, FixedLitLen, FixedLitCode);
    for (int n = 0; n < DCodes; ++n) {
        FixedDistLen[n] = 5;
        FixedDistCode[n] = huff::ReverseBits(unsigned(n), 5);
    }
    Built = true;
}

int64_t DeflateFile(TDeflateIO &io, int packLevel, TDeflateTables &tables, TDeflateBuffers &buffers,
                    TDeflateEntry &entry)
{
    TDeflater deflater(io, std::clamp(packLevel, 1, 9), tables, buffers, entry);
    return deflater.Run();
}

} // namespace zorbel
