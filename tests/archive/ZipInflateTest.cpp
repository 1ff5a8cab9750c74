// Inflate against zlib's deflate, and hand-made malformed streams.
#include "archive/ZipDecode.h"

#include "archive/ZipTestSupport.h"

#include <gtest/gtest.h>
#include <random>
#include <zlib.h>

namespace zorbel {
namespace {

using test::BitWriter;
using test::Bytes;

constexpr int64_t NoLimit = int64_t(1) << 40;

TDecodeStatus Inflate(const Bytes &stream, Bytes &out, int64_t limit = NoLimit, const char **error = nullptr)
{
    return DecodeBuffer(8, 0, stream.data(), stream.size(), limit, out, error);
}

TEST(ZipInflateTest, ZlibStreamsOfEveryKindInflateExactly)
{
    Bytes mixed = test::SampleText(300000, 3);
    const Bytes noise = test::SampleRandom(70000, 4);
    mixed.insert(mixed.begin() + 100000, noise.begin(), noise.end());
    mixed.insert(mixed.end(), 40000, 'z'); // long runs: distance 1
    const std::vector<Bytes> inputs = {Bytes{}, Bytes{'a'}, test::SampleText(100), mixed};
    struct Kind {
        const char *name;
        int level;
        int strategy;
    };
    const Kind kinds[] = {{"stored", 0, Z_DEFAULT_STRATEGY}, {"fixed", 6, Z_FIXED},  {"huffman-only", 6, Z_HUFFMAN_ONLY},
                          {"rle", 6, Z_RLE},                 {"level 1", 1, Z_DEFAULT_STRATEGY},
                          {"dynamic", 9, Z_DEFAULT_STRATEGY}};
    for (const Kind &kind : kinds) {
        for (const Bytes &input : inputs) {
            const Bytes stream = test::ZlibDeflate(input, kind.level, kind.strategy);
            Bytes out;
            const char *error = nullptr;
            ASSERT_EQ(Inflate(stream, out, static_cast<int64_t>(input.size()), &error), TDecodeStatus::Ok)
                << kind.name << " size " << input.size() << ": " << (error ? error : "");
            EXPECT_TRUE(out == input) << kind.name << " size " << input.size();
        }
    }
}

// The match copy works in strides of 8, 16 and 32 bytes by distance: every
// short distance with lengths from 3 to 258, runs of literals between them,
// and more than the window's linear part so that it slides several times.
TEST(ZipInflateTest, MatchesOfEveryShortDistanceAndLengthInflateExactly)
{
    std::mt19937 rng(21);
    Bytes input;
    while (input.size() < 700000) {
        for (unsigned dist = 1; dist <= 40; ++dist) {
            for (unsigned length : {3u, 7u, 15u, 16u, 17u, 31u, 32u, 33u, 64u, 100u, 258u}) {
                for (unsigned i = 0; i < dist; ++i)
                    input.push_back(static_cast<uint8_t>(rng() % 7));
                for (unsigned i = 0; i < length; ++i)
                    input.push_back(input[input.size() - dist]);
                for (unsigned i = rng() % 4; i > 0; --i)
                    input.push_back(static_cast<uint8_t>(rng()));
            }
        }
    }
    for (int level : {1, 6, 9}) {
        const Bytes stream = test::ZlibDeflate(input, level, Z_DEFAULT_STRATEGY);
        Bytes out;
        const char *error = nullptr;
        ASSERT_EQ(Inflate(stream, out, static_cast<int64_t>(input.size()), &error), TDecodeStatus::Ok)
            << level << ": " << (error ? error : "");
        EXPECT_TRUE(out == input) << level;
    }
}

// After a stored block the decoder reads only a little ahead, so that the
// next stored block goes straight into the window: stored blocks of every
// length around that look-ahead, back to back, between fixed-code blocks
// that use them as history, and a final block that is stored or not.
TEST(ZipInflateTest, StoredBlocksOfEveryLengthBackToBack)
{
    std::mt19937 rng(5);
    const unsigned lengths[] = {0, 1, 2, 7, 8, 9, 55, 56, 57, 58, 59, 60, 63, 64, 65, 70, 100, 15999, 16000, 16001, 40000, 65535};
    for (bool storedLast : {true, false}) {
        BitWriter w;
        Bytes input;
        auto stored = [&](unsigned length, bool last) {
            w.Put(last ? 1 : 0, 1); // BFINAL
            w.Put(0, 2);            // BTYPE 00: stored
            w.AlignToByte();
            w.Put(length, 16);          // LEN
            w.Put(~length & 0xFFFF, 16); // NLEN
            for (unsigned i = 0; i < length; ++i) {
                const auto b = static_cast<uint8_t>(rng());
                w.Put(b, 8);
                input.push_back(b);
            }
        };
        // A fixed-code block: a literal, then a match of length 3 at distance 1
        // (symbol 257: 0000001; distance code 0: 00000), then the end of block.
        auto fixed = [&](bool last) {
            w.Put(last ? 1 : 0, 1);
            w.Put(1, 2);          // BTYPE 01: fixed codes
            w.PutCode(0x30 + 'q', 8); // literal 'q' (0-143: 00110000 + value)
            w.PutCode(1, 7);      // length 3
            w.PutCode(0, 5);      // distance 1
            w.PutCode(0, 7);      // end of block
            input.insert(input.end(), 4, 'q');
        };
        for (unsigned a : lengths) {
            stored(a, false);
            for (unsigned b : {0u, 1u, 59u, 64u, 65u, 16000u})
                stored(b, false);
            fixed(false);
        }
        if (storedLast)
            stored(64, true);
        else
            fixed(true);
        Bytes out;
        const char *error = nullptr;
        ASSERT_EQ(Inflate(w.Data(), out, static_cast<int64_t>(input.size()), &error), TDecodeStatus::Ok)
            << storedLast << ": " << (error ? error : "");
        EXPECT_TRUE(out == input) << storedLast;
    }
}

// Blocks that end and begin at every bit position relative to the 16000-byte
// input blocks: many small blocks (zlib flushed at random points, the sync
// flushes adding empty stored blocks that leave the reader byte-aligned) in
// many streams, so that blocks start with the bit reader refilled from the
// end of one input block into the next.
TEST(ZipInflateTest, BlocksStartingAtEveryBitAcrossInputBlocks)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 24; ++round) {
        Bytes input = test::SampleText(150000 + rng() % 50000, static_cast<uint32_t>(round));
        z_stream z{};
        ASSERT_EQ(deflateInit2(&z, 1 + round % 9, Z_DEFLATED, -15, 8, round % 3 == 0 ? Z_FIXED : Z_DEFAULT_STRATEGY),
                  Z_OK);
        Bytes stream(deflateBound(&z, input.size()) + input.size() / 8 + 4096);
        z.next_out = stream.data();
        z.avail_out = static_cast<uInt>(stream.size());
        size_t at = 0;
        while (at < input.size()) {
            const size_t piece = std::min<size_t>(input.size() - at, 50 + rng() % 3000);
            z.next_in = input.data() + at;
            z.avail_in = static_cast<uInt>(piece);
            at += piece;
            const int flush = at == input.size() ? Z_FINISH : (rng() % 2 ? Z_SYNC_FLUSH : Z_BLOCK);
            ASSERT_NE(deflate(&z, flush), Z_STREAM_ERROR);
        }
        stream.resize(z.total_out);
        deflateEnd(&z);
        Bytes out;
        const char *error = nullptr;
        ASSERT_EQ(Inflate(stream, out, static_cast<int64_t>(input.size()), &error), TDecodeStatus::Ok)
            << round << ": " << (error ? error : "");
        EXPECT_TRUE(out == input) << round;
        out.clear();
        ASSERT_EQ(Inflate(stream, out, NoLimit, &error), TDecodeStatus::Ok) << round << ": " << (error ? error : "");
        EXPECT_TRUE(out == input) << round;
    }
}

// Tiny fixed-code blocks, back to back: a block starts at every bit of
// every byte around the ends of the 16000-byte input blocks, with the bit
// reader holding every count of bits when the next input block is read.
TEST(ZipInflateTest, TinyBlocksAcrossInputBlockEnds)
{
    std::mt19937 rng(3);
    BitWriter w;
    Bytes input;
    while (w.Data().size() < 100000) {
        w.Put(0, 1); // BFINAL
        w.Put(1, 2); // BTYPE 01: fixed codes
        for (unsigned k = rng() % 6; k > 0; --k) {
            const auto b = static_cast<uint8_t>('0' + rng() % 64); // literals 48-111: 8-bit codes
            w.PutCode(0x30 + b, 8);
            input.push_back(b);
        }
        w.PutCode(0, 7); // end of block
    }
    w.Put(1, 1); // the last block: empty
    w.Put(1, 2);
    w.PutCode(0, 7);
    Bytes out;
    const char *error = nullptr;
    ASSERT_EQ(Inflate(w.Data(), out, static_cast<int64_t>(input.size()), &error), TDecodeStatus::Ok)
        << (error ? error : "");
    EXPECT_TRUE(out == input);
}

TEST(ZipInflateTest, OutputPastTheStatedSizeIsRefused)
{
    const Bytes input = test::SampleText(50000);
    const Bytes stream = test::ZlibDeflate(input, 6, Z_DEFAULT_STRATEGY);
    Bytes out;
    EXPECT_EQ(Inflate(stream, out, 49999), TDecodeStatus::TooLarge);
    EXPECT_LE(out.size(), 49999u);
}

TEST(ZipInflateTest, TruncatedStreamsFailCleanly)
{
    const Bytes input = test::SampleText(60000);
    const Bytes stream = test::ZlibDeflate(input, 6, Z_DEFAULT_STRATEGY);
    for (size_t keep : {size_t(0), size_t(1), stream.size() / 2, stream.size() - 1}) {
        Bytes cut(stream.begin(), stream.begin() + static_cast<long>(keep));
        Bytes out;
        const char *error = nullptr;
        EXPECT_EQ(Inflate(cut, out, NoLimit, &error), TDecodeStatus::Corrupt) << keep;
        EXPECT_STREQ(error, "unexpected end of compressed data") << keep;
    }
}

// Hand-made streams: each must fail with its reason, never crash or hang.
struct Malformed {
    const char *name;
    Bytes stream;
    const char *reason;
};

Bytes BlockType3()
{
    BitWriter w;
    w.Put(1, 1); // BFINAL
    w.Put(3, 2); // BTYPE 11: reserved
    return w.Data();
}

Bytes StoredLengthMismatch()
{
    BitWriter w;
    w.Put(1, 1); // BFINAL
    w.Put(0, 2); // stored
    w.AlignToByte();
    w.Put(5, 16);      // LEN
    w.Put(0xFFFF, 16); // NLEN should be 0xFFFA
    w.Put('a', 8);
    return w.Data();
}

Bytes StoredShorterThanLen()
{
    BitWriter w;
    w.Put(1, 1);
    w.Put(0, 2);
    w.AlignToByte();
    w.Put(10, 16);     // LEN 10
    w.Put(0xFFF5, 16); // NLEN
    w.Put('a', 8);     // but only 2 bytes follow
    w.Put('b', 8);
    return w.Data();
}

// Fixed-code symbols (RFC 1951 3.2.6).
void FixedLiteral(BitWriter &w, uint8_t c)
{
    if (c < 144)
        w.PutCode(0x30 + c, 8);
    else
        w.PutCode(0x190 + c - 144, 9);
}
void FixedEnd(BitWriter &w) { w.PutCode(0, 7); }

Bytes DistanceTooFarBack()
{
    BitWriter w;
    w.Put(1, 1); // BFINAL
    w.Put(1, 2); // fixed codes
    FixedLiteral(w, 'a');
    w.PutCode(1, 7); // length code 257: length 3
    w.PutCode(1, 5); // distance code 1: distance 2, but only 1 byte was produced
    FixedEnd(w);
    return w.Data();
}

Bytes FixedDistanceCode30()
{
    BitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    FixedLiteral(w, 'a');
    w.PutCode(1, 7);  // length 3
    w.PutCode(30, 5); // distance code 30 does not exist
    FixedEnd(w);
    return w.Data();
}

Bytes FixedLengthCode286()
{
    BitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    FixedLiteral(w, 'a');
    w.PutCode(0xC0 + 286 - 280, 8); // length code 286 does not exist
    FixedEnd(w);
    return w.Data();
}

Bytes DynamicHeader(unsigned hlit, unsigned hdist, unsigned hclen)
{
    BitWriter w;
    w.Put(1, 1);        // BFINAL
    w.Put(2, 2);        // dynamic
    w.Put(hlit - 257, 5);
    w.Put(hdist - 1, 5);
    w.Put(hclen - 4, 4);
    return w.Data();
}

Bytes TooManyLengthCodes() { return DynamicHeader(287, 1, 4); }

Bytes TooManyDistanceCodes()
{
    // HDIST 31 (the format can say 32).
    BitWriter w;
    w.Put(1, 1);
    w.Put(2, 2);
    w.Put(0, 5);
    w.Put(30, 5);
    w.Put(0, 4);
    return w.Data();
}

Bytes OversubscribedCodeLengthCode()
{
    BitWriter w;
    w.Put(1, 1);
    w.Put(2, 2);
    w.Put(0, 5); // 257 literal/length codes
    w.Put(0, 5); // 1 distance code
    w.Put(0, 4); // 4 code length codes: for 16, 17, 18, 0
    for (int i = 0; i < 4; ++i)
        w.Put(1, 3); // all of length 1: four codes of one bit
    return w.Data();
}

// A valid code length code (0: "0", 1: "10", 2: "11") describing an
// incomplete literal/length code: symbol 0 of length 1, end of block of
// length 2, nothing else.
Bytes IncompleteLiteralCode()
{
    BitWriter w;
    w.Put(1, 1);
    w.Put(2, 2);
    w.Put(0, 5);  // 257 literal/length codes
    w.Put(0, 5);  // 1 distance code
    w.Put(14, 4); // 18 code length codes, in the order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1
    const unsigned lengths[18] = {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2};
    for (unsigned l : lengths)
        w.Put(l, 3);
    w.PutCode(2, 2); // symbol 0: length 1
    for (int s = 1; s < 256; ++s)
        w.PutCode(0, 1); // length 0
    w.PutCode(3, 2); // symbol 256: length 2
    w.PutCode(0, 1); // the distance code: length 0
    return w.Data();
}

// Code lengths where the first entry asks to repeat a previous one.
Bytes RepeatWithoutPrevious()
{
    BitWriter w;
    w.Put(1, 1);
    w.Put(2, 2);
    w.Put(0, 5);
    w.Put(0, 5);
    w.Put(0, 4);     // code lengths for 16, 17, 18, 0
    w.Put(1, 3);     // 16: length 1, code "1"
    w.Put(0, 3);     // 17 unused
    w.Put(0, 3);     // 18 unused
    w.Put(1, 3);     // 0: length 1, code "0"
    w.PutCode(1, 1); // 16 first: nothing to repeat
    w.Put(0, 2);
    return w.Data();
}

TEST(ZipInflateTest, MalformedStreamsFailWithTheirReason)
{
    const Malformed cases[] = {
        {"block type 3", BlockType3(), "invalid block type"},
        {"stored LEN/NLEN", StoredLengthMismatch(), "invalid stored block lengths"},
        {"stored too short", StoredShorterThanLen(), "unexpected end of compressed data"},
        {"distance too far", DistanceTooFarBack(), "invalid distance too far back"},
        {"distance code 30", FixedDistanceCode30(), "invalid distance code"},
        {"length code 286", FixedLengthCode286(), "invalid literal/length code"},
        {"287 length codes", TooManyLengthCodes(), "too many length or distance symbols"},
        {"31 distance codes", TooManyDistanceCodes(), "too many length or distance symbols"},
        {"over-subscribed", OversubscribedCodeLengthCode(), "invalid code lengths set"},
        {"incomplete", IncompleteLiteralCode(), "invalid literal/lengths set"},
        {"repeat first", RepeatWithoutPrevious(), "invalid bit length repeat"},
    };
    for (const Malformed &c : cases) {
        Bytes out;
        const char *error = nullptr;
        EXPECT_EQ(Inflate(c.stream, out, NoLimit, &error), TDecodeStatus::Corrupt) << c.name;
        EXPECT_STREQ(error, c.reason) << c.name;
    }
}

TEST(ZipInflateTest, HandMadeFixedBlockWithOverlappingMatchDecodes)
{
    BitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    FixedLiteral(w, 'a');
    FixedLiteral(w, 'b');
    w.PutCode(0xC0 + 284 - 280, 8); // length code 284: 227 + 5 extra bits
    w.Put(30, 5);                    // length 257
    w.PutCode(1, 5);                 // distance 2
    FixedEnd(w);
    Bytes out;
    ASSERT_EQ(Inflate(w.Data(), out), TDecodeStatus::Ok);
    ASSERT_EQ(out.size(), 259u);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], i % 2 ? 'b' : 'a');
}

// zlib's raw inflate as the oracle for a damaged stream: what our decoder
// must report for it given an output limit.
TDecodeStatus ZlibVerdict(const Bytes &stream, size_t limit, Bytes &out)
{
    z_stream z{};
    inflateInit2(&z, -15);
    out.assign(limit + 1, 0);
    z.next_in = const_cast<Bytes::value_type *>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    if (out.size() > limit)
        return TDecodeStatus::TooLarge;
    return rc == Z_STREAM_END ? TDecodeStatus::Ok : TDecodeStatus::Corrupt;
}

TEST(ZipInflateTest, CorruptedStreamsAreJudgedAsZlibJudgesThem)
{
    // Every damaged stream decodes to exactly what zlib makes of it, or is
    // refused exactly when zlib refuses it: never a crash, a hang or output
    // past the limit.
    const Bytes input = test::SampleText(20000, 9);
    const Bytes streams[] = {test::ZlibDeflate(input, 6, Z_DEFAULT_STRATEGY), test::ZlibDeflate(input, 6, Z_FIXED)};
    constexpr size_t Limit = 40000;
    std::mt19937 rng(42);
    int refused = 0;
    for (const Bytes &stream : streams) {
        for (int round = 0; round < 300; ++round) {
            Bytes bad = stream;
            for (int k = 0; k < 1 + round % 4; ++k)
                bad[rng() % bad.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
            Bytes expected;
            const TDecodeStatus verdict = ZlibVerdict(bad, Limit, expected);
            Bytes out;
            const TDecodeStatus status = Inflate(bad, out, Limit);
            EXPECT_EQ(status, verdict) << "round " << round;
            if (verdict == TDecodeStatus::Ok) {
                EXPECT_TRUE(out == expected) << "round " << round;
            }
            EXPECT_LE(out.size(), Limit);
            refused += status != TDecodeStatus::Ok;
        }
    }
    // The damage is real: most streams are refused by both.
    EXPECT_GT(refused, 300);
}

} // namespace
} // namespace zorbel
