// Shrink, reduce and implode. No tool at hand writes these methods, so the
// tests carry tiny encoders (shrink, implode) whose output Info-ZIP unzip
// checks independently, and hand-derived reduce streams (unzip cannot
// unreduce).
#include "archive/ZipDecode.h"
#include "archive/ZipReader.h"

#include "archive/ZipTestSupport.h"

#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <queue>
#include <unordered_map>

namespace zorbel {
namespace {

using test::BitWriter;
using test::Bytes;

// ---- test-side encoders --------------------------------------------------------

// LZW as shrink writes it: codes of 9 to 13 bits, 256 1 to widen the code,
// 256 2 for a partial clear as soon as the table is full (unzip refuses a
// stream that goes on with a full table). The new code that could not be
// added before the clear is added after it, as the decoder does.
Bytes Shrink(const Bytes &in, int *clears = nullptr)
{
    constexpr unsigned MaxCode = 8192;
    BitWriter w;
    if (in.empty())
        return {};
    std::vector<int> parent(MaxCode, -1);
    std::vector<bool> used(MaxCode, false);
    std::unordered_map<uint32_t, unsigned> dict; // (prefix << 8 | byte) -> code
    std::fill(used.begin(), used.begin() + 257, true);
    unsigned codeSize = 9;
    unsigned nextFree = 257;
    auto send = [&](unsigned code) {
        while (code >= (1u << codeSize)) {
            w.Put(256, codeSize);
            w.Put(1, codeSize);
            ++codeSize;
        }
        w.Put(code, codeSize);
    };
    auto add = [&](unsigned prefix, uint8_t c) {
        parent[nextFree] = static_cast<int>(prefix);
        used[nextFree] = true;
        dict[(prefix << 8) | c] = nextFree;
        while (nextFree < MaxCode && used[nextFree])
            ++nextFree;
    };
    auto partialClear = [&] {
        std::vector<bool> hasChild(MaxCode, false);
        for (unsigned c = 257; c < MaxCode; ++c)
            if (used[c] && parent[c] >= 257)
                hasChild[parent[c]] = true;
        for (auto it = dict.begin(); it != dict.end();) {
            if (!hasChild[it->second]) {
                used[it->second] = false;
                it = dict.erase(it);
            } else {
                ++it;
            }
        }
        nextFree = 257;
        while (nextFree < MaxCode && used[nextFree])
            ++nextFree;
    };
    unsigned cur = in[0];
    for (size_t i = 1; i < in.size(); ++i) {
        const uint8_t c = in[i];
        const auto found = dict.find((cur << 8) | c);
        if (found != dict.end()) {
            cur = found->second;
            continue;
        }
        send(cur);
        if (nextFree >= MaxCode) {
            w.Put(256, codeSize);
            w.Put(2, codeSize);
            partialClear();
            if (clears)
                ++*clears;
        }
        if (nextFree < MaxCode)
            add(cur, c);
        cur = c;
    }
    send(cur);
    return w.Data();
}

// Code lengths (1..16) of a Huffman code over the frequencies, every symbol
// present.
std::vector<uint8_t> CodeLengths(std::vector<uint64_t> freq)
{
    for (;;) {
        using Node = std::pair<uint64_t, int>;
        std::priority_queue<Node, std::vector<Node>, std::greater<>> heap;
        std::vector<int> up(freq.size() * 2, -1);
        for (size_t s = 0; s < freq.size(); ++s)
            heap.push({freq[s] + 1, static_cast<int>(s)});
        int next = static_cast<int>(freq.size());
        while (heap.size() > 1) {
            const Node a = heap.top();
            heap.pop();
            const Node b = heap.top();
            heap.pop();
            up[a.second] = up[b.second] = next;
            heap.push({a.first + b.first, next++});
        }
        std::vector<uint8_t> lengths(freq.size());
        bool fits = true;
        for (size_t s = 0; s < freq.size(); ++s) {
            int depth = 0;
            for (int n = static_cast<int>(s); up[n] >= 0; n = up[n])
                ++depth;
            fits = fits && depth <= 16;
            lengths[s] = static_cast<uint8_t>(depth);
        }
        if (fits)
            return lengths;
        for (auto &f : freq)
            f /= 2;
    }
}

// Implode's Shannon-Fano tree: stored lengths, and the APPNOTE codes
// (left-aligned in 16 bits, sent from the top bit).
struct SfTree {
    std::vector<uint8_t> lengths;
    std::vector<uint16_t> codes;

    explicit SfTree(std::vector<uint8_t> l) : lengths(std::move(l)), codes(lengths.size())
    {
        std::vector<size_t> order(lengths.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return lengths[a] < lengths[b]; });
        uint32_t code = 0, increment = 0;
        unsigned last = 0;
        for (size_t i = order.size(); i-- > 0;) {
            code += increment;
            if (lengths[order[i]] != last) {
                last = lengths[order[i]];
                increment = 1u << (16 - last);
            }
            codes[order[i]] = static_cast<uint16_t>(code);
        }
    }
    void Store(BitWriter &w) const
    {
        std::vector<uint8_t> packed;
        for (size_t i = 0; i < lengths.size();) {
            size_t run = 1;
            while (run < 16 && i + run < lengths.size() && lengths[i + run] == lengths[i])
                ++run;
            packed.push_back(static_cast<uint8_t>(((run - 1) << 4) | (lengths[i] - 1)));
            i += run;
        }
        w.Put(static_cast<uint32_t>(packed.size() - 1), 8);
        for (uint8_t b : packed)
            w.Put(b, 8);
    }
    void Put(BitWriter &w, unsigned symbol) const { w.PutCode(codes[symbol] >> (16 - lengths[symbol]), lengths[symbol]); }
};

Bytes Implode(const Bytes &in, bool bigWindow, bool literalTree)
{
    const unsigned minMatch = literalTree ? 3 : 2;
    const size_t window = bigWindow ? 8192 : 4096;
    const unsigned lowBits = bigWindow ? 7 : 6;
    const size_t maxMatch = minMatch + 63 + 255;
    struct Token {
        unsigned literal;
        size_t length, distance; // length 0: literal
    };
    std::vector<Token> tokens;
    std::unordered_map<uint32_t, std::vector<size_t>> recent; // first two bytes -> positions
    for (size_t i = 0; i < in.size();) {
        size_t bestLen = 0, bestDist = 0;
        if (i + 1 < in.size()) {
            auto &list = recent[(in[i] << 8) | in[i + 1]];
            for (size_t k = list.size(); k-- > 0 && list.size() - k <= 32;) {
                const size_t p = list[k];
                if (i - p > window)
                    break;
                size_t len = 0;
                while (i + len < in.size() && len < maxMatch && in[p + len] == in[i + len])
                    ++len;
                if (len > bestLen) {
                    bestLen = len;
                    bestDist = i - p;
                }
            }
        }
        const size_t step = bestLen >= minMatch ? bestLen : 1;
        tokens.push_back(bestLen >= minMatch ? Token{0, bestLen, bestDist} : Token{in[i], 0, 0});
        for (size_t j = i; j < i + step && j + 1 < in.size(); ++j)
            recent[(in[j] << 8) | in[j + 1]].push_back(j);
        i += step;
    }
    std::vector<uint64_t> litFreq(256), lenFreq(64), distFreq(64);
    for (const Token &t : tokens) {
        if (t.length == 0) {
            ++litFreq[t.literal];
        } else {
            ++lenFreq[std::min<size_t>(t.length - minMatch, 63)];
            ++distFreq[(t.distance - 1) >> lowBits];
        }
    }
    const SfTree lit(CodeLengths(litFreq)), len(CodeLengths(lenFreq)), dist(CodeLengths(distFreq));
    BitWriter w;
    if (literalTree)
        lit.Store(w);
    len.Store(w);
    dist.Store(w);
    for (const Token &t : tokens) {
        if (t.length == 0) {
            w.Put(1, 1);
            if (literalTree)
                lit.Put(w, t.literal);
            else
                w.Put(t.literal, 8);
            continue;
        }
        w.Put(0, 1);
        w.Put(static_cast<uint32_t>((t.distance - 1) & ((1u << lowBits) - 1)), lowBits);
        dist.Put(w, static_cast<unsigned>((t.distance - 1) >> lowBits));
        const size_t l = t.length - minMatch;
        len.Put(w, static_cast<unsigned>(std::min<size_t>(l, 63)));
        if (l >= 63)
            w.Put(static_cast<uint32_t>(l - 63), 8);
    }
    return w.Data();
}

// Checks a stream with unzip -t (inside a one-entry zip) and with our decoder.
void CheckWithUnzipAndDecoder(int method, uint16_t flags, const Bytes &stream, const Bytes &plain)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::WriteFile(dir.path() + "/t.zip", test::MakeZip("data.bin", static_cast<uint16_t>(method), flags, stream, plain));
    QString output;
    EXPECT_EQ(test::RunTool("unzip", {"-t", "t.zip"}, dir.path(), &output), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("No errors detected")) << output.toStdString();
    Bytes out;
    const char *error = nullptr;
    ASSERT_EQ(DecodeBuffer(method, flags, stream.data(), stream.size(), static_cast<int64_t>(plain.size()), out, &error),
              TDecodeStatus::Ok)
        << (error ? error : "");
    EXPECT_TRUE(out == plain);
}

Bytes MixedSample(size_t size, uint32_t seed)
{
    Bytes data = test::SampleText(size, seed);
    const Bytes noise = test::SampleRandom(size / 4, seed + 1);
    data.insert(data.begin() + static_cast<long>(size / 3), noise.begin(), noise.end());
    return data;
}

// ---- shrink ----------------------------------------------------------------------

TEST(ZipLegacyTest, ShrunkDataMatchUnzip)
{
    CheckWithUnzipAndDecoder(1, 0, Shrink(Bytes{'a'}), Bytes{'a'});
    // "abababab..." exercises the code defined by its own first use.
    Bytes ab;
    for (int i = 0; i < 500; ++i)
        ab.push_back(i % 2 ? 'b' : 'a');
    CheckWithUnzipAndDecoder(1, 0, Shrink(ab), ab);
    const Bytes text = test::SampleText(30000, 2);
    CheckWithUnzipAndDecoder(1, 0, Shrink(text), text);
}

TEST(ZipLegacyTest, ShrinkWithPartialClearsMatchesUnzip)
{
    const Bytes data = MixedSample(250000, 11);
    int clears = 0;
    const Bytes stream = Shrink(data, &clears);
    EXPECT_GT(clears, 0);
    CheckWithUnzipAndDecoder(1, 0, stream, data);
}

TEST(ZipLegacyTest, BadShrinkStreamsFail)
{
    Bytes out;
    const char *error = nullptr;
    // Widening the code five times asks for 14 bits.
    BitWriter wide;
    wide.Put('a', 9);
    for (unsigned size = 9; size <= 13; ++size) {
        wide.Put(256, size);
        wide.Put(1, size);
    }
    wide.Put('a', 14);
    EXPECT_EQ(DecodeBuffer(1, 0, wide.Data().data(), wide.Data().size(), 100, out, &error), TDecodeStatus::Corrupt);
    EXPECT_STREQ(error, "shrink code size above 13 bits");

    // A code that was never defined (and is not the next one).
    BitWriter undefined;
    undefined.Put('a', 9);
    undefined.Put(300, 9);
    EXPECT_EQ(DecodeBuffer(1, 0, undefined.Data().data(), undefined.Data().size(), 100, out, &error),
              TDecodeStatus::Corrupt);
    EXPECT_STREQ(error, "invalid shrink code");

    // An unknown control code.
    BitWriter control;
    control.Put('a', 9);
    control.Put(256, 9);
    control.Put(3, 9);
    EXPECT_EQ(DecodeBuffer(1, 0, control.Data().data(), control.Data().size(), 100, out, &error), TDecodeStatus::Corrupt);
}

// ---- implode ---------------------------------------------------------------------

TEST(ZipLegacyTest, ImplodedDataMatchUnzip)
{
    const Bytes text = MixedSample(40000, 3);
    for (uint16_t flags : {0, 2, 4, 6}) // 4K/8K dictionary, with/without literal tree
        CheckWithUnzipAndDecoder(6, flags, Implode(text, flags & 2, flags & 4), text);
    Bytes runs(3000, 'x'); // longest matches: 63 + extra byte
    CheckWithUnzipAndDecoder(6, 6, Implode(runs, true, true), runs);
}

TEST(ZipLegacyTest, LargeImplodedEntryUsesTheWiderDistanceTable)
{
    // Over 200000 compressed bytes: distance codes are looked up with 8 bits.
    const Bytes data = test::SampleRandom(220000, 5);
    const Bytes stream = Implode(data, true, true);
    ASSERT_GT(stream.size(), 200000u);
    CheckWithUnzipAndDecoder(6, 6, stream, data);
}

TEST(ZipLegacyTest, BadImplodeTreesFail)
{
    Bytes out;
    const char *error = nullptr;
    // A length tree describing only 16 of its 64 values.
    BitWriter shortTree;
    shortTree.Put(0, 8);          // one byte follows
    shortTree.Put(0xF5, 8);       // 16 values of length 6
    EXPECT_EQ(DecodeBuffer(6, 0, shortTree.Data().data(), shortTree.Data().size(), 10, out, &error),
              TDecodeStatus::Corrupt);
    EXPECT_STREQ(error, "invalid length tree");
    // 64 values of length 1: over-subscribed.
    BitWriter over;
    over.Put(3, 8);
    for (int i = 0; i < 4; ++i)
        over.Put(0xF0, 8);
    EXPECT_EQ(DecodeBuffer(6, 0, over.Data().data(), over.Data().size(), 10, out, &error), TDecodeStatus::Corrupt);
    EXPECT_STREQ(error, "invalid length tree");
}

// ---- reduce ------------------------------------------------------------------------

// Hand-derived reduce streams: the follower sets, then each byte of the
// intermediate stream through the follower set of the byte before it.
class ReduceStream {
public:
    explicit ReduceStream(std::map<uint8_t, Bytes> sets = {}) : sets_(std::move(sets))
    {
        for (int j = 255; j >= 0; --j) {
            const Bytes &s = Set(static_cast<uint8_t>(j));
            w_.Put(static_cast<uint32_t>(s.size()), 6);
            for (uint8_t b : s)
                w_.Put(b, 8);
        }
    }
    ReduceStream &Byte(uint8_t b)
    {
        const Bytes &s = Set(last_);
        if (!s.empty()) {
            const auto at = std::find(s.begin(), s.end(), b);
            if (at != s.end()) {
                w_.Put(0, 1); // from the set
                unsigned bits = 1;
                while ((1u << bits) < s.size())
                    ++bits;
                w_.Put(static_cast<uint32_t>(at - s.begin()), bits);
                last_ = b;
                return *this;
            }
            w_.Put(1, 1); // a plain byte
        }
        w_.Put(b, 8);
        last_ = b;
        return *this;
    }
    ReduceStream &Text(const char *s)
    {
        for (; *s; ++s)
            Byte(static_cast<uint8_t>(*s));
        return *this;
    }
    const Bytes &Data() const { return w_.Data(); }

private:
    const Bytes &Set(uint8_t j) const
    {
        static const Bytes empty;
        const auto it = sets_.find(j);
        return it == sets_.end() ? empty : it->second;
    }
    std::map<uint8_t, Bytes> sets_;
    BitWriter w_;
    uint8_t last_ = 0;
};

Bytes Unreduce(int factor, const Bytes &stream, size_t size)
{
    Bytes out;
    const char *error = nullptr;
    EXPECT_EQ(DecodeBuffer(1 + factor, 0, stream.data(), stream.size(), static_cast<int64_t>(size), out, &error),
              TDecodeStatus::Ok)
        << (error ? error : "");
    return out;
}

Bytes B(const char *s) { return Bytes(s, s + strlen(s)); }

TEST(ZipLegacyTest, ReducedLiteralsAndFollowerSets)
{
    for (int factor = 1; factor <= 4; ++factor) {
        EXPECT_EQ(Unreduce(factor, ReduceStream().Text("Hello").Data(), 5), B("Hello"));
        // Followers of 'a' are "bc" (one index bit); of 'b' just "a" (still one
        // bit); 'x' is outside the set of 'a' and goes as a flagged plain byte.
        const ReduceStream s = std::move(ReduceStream({{'a', B("bc")}, {'b', B("a")}}).Text("abacabax"));
        EXPECT_EQ(Unreduce(factor, s.Data(), 8), B("abacabax"));
        // DLE 0 is a literal DLE.
        EXPECT_EQ(Unreduce(factor, ReduceStream().Byte('q').Byte(144).Byte(0).Data(), 2), (Bytes{'q', 144}));
    }
}

TEST(ZipLegacyTest, ReducedMatches)
{
    for (int factor = 1; factor <= 4; ++factor) {
        SCOPED_TRACE(factor);
        // "ABC", then DLE V D: length L(V) + 3 = 6, distance D + 1 = 3.
        EXPECT_EQ(Unreduce(factor, ReduceStream().Text("ABC").Byte(144).Byte(3).Byte(2).Data(), 9), B("ABCABCABC"));
        // L(V) at its maximum takes one more length byte: 15 + 10 + 3 = 28 more.
        const uint8_t maxLen = static_cast<uint8_t>(0xFF >> factor);
        const Bytes run = ReduceStream().Byte('A').Byte(144).Byte(maxLen).Byte(10).Byte(0).Data();
        EXPECT_EQ(Unreduce(factor, run, 1 + maxLen + 10 + 3), Bytes(1 + maxLen + 10 + 3, 'A'));
        // Before the start of the output there are zeros.
        EXPECT_EQ(Unreduce(factor, ReduceStream().Byte('z').Byte(144).Byte(1).Byte(3).Data(), 5),
                  (Bytes{'z', 0, 0, 0, 'z'}));
        // The high distance bits come from V: distance = hi * 256 + D + 1.
        Bytes text = test::SampleText(4200, 4);
        std::replace(text.begin(), text.end(), uint8_t(144), uint8_t(' '));
        ReduceStream far;
        for (uint8_t b : text)
            far.Byte(b);
        const unsigned hi = (1u << factor) - 1; // largest high part
        const size_t distance = hi * 256 + 0x40 + 1;
        far.Byte(144).Byte(static_cast<uint8_t>((hi << (8 - factor)) | 2)).Byte(0x40);
        Bytes expected = text;
        for (size_t i = 0; i < 5; ++i)
            expected.push_back(expected[expected.size() - distance]);
        EXPECT_EQ(Unreduce(factor, far.Data(), expected.size()), expected);
    }
}

TEST(ZipLegacyTest, BadReduceStreamsFail)
{
    Bytes out;
    const char *error = nullptr;
    BitWriter big;
    big.Put(33, 6); // a follower set of 33 bytes
    EXPECT_EQ(DecodeBuffer(2, 0, big.Data().data(), big.Data().size(), 10, out, &error), TDecodeStatus::Corrupt);
    EXPECT_STREQ(error, "invalid follower set");
    const Bytes shortStream = ReduceStream().Text("abc").Data();
    EXPECT_EQ(DecodeBuffer(2, 0, shortStream.data(), shortStream.size(), 10, out, &error), TDecodeStatus::Corrupt);
    EXPECT_STREQ(error, "unexpected end of compressed data");
    EXPECT_EQ(out, B("abc"));
}

// The reader extracts entries of every legacy method (the dispatch passes
// implode its flag bits).
TEST(ZipLegacyTest, ReaderExtractsLegacyEntries)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Bytes text = MixedSample(6000, 21);
    const Bytes reducePlain = B("ABCABCABC");
    struct Entry {
        uint16_t method, flags;
        Bytes stream;
        const Bytes &plain;
    } entries[] = {
        {1, 0, Shrink(text), text},
        {6, 0, Implode(text, false, false), text},
        {6, 6, Implode(text, true, true), text},
        {3, 0, ReduceStream().Text("ABC").Byte(144).Byte(3).Byte(2).Data(), reducePlain},
    };
    for (const Entry &e : entries) {
        SCOPED_TRACE(e.method * 10 + e.flags);
        const QString archive = dir.path() + "/legacy.zip";
        test::WriteFile(archive, test::MakeZip("data.bin", e.method, e.flags, e.stream, e.plain));
        TZipReader zip;
        zip.SetZipName(archive);
        zip.SetDestDir(dir.path() + "/out");
        zip.SetDoAll(true);
        zip.SetOverwriteMode(TUZOverwriteMode::Always);
        EXPECT_EQ(zip.ExtractFiles(), 1);
        EXPECT_TRUE(test::ReadFile(dir.path() + "/out/data.bin") == e.plain);
    }
}

} // namespace
} // namespace zorbel
