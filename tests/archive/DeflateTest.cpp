// Deflate: every level inflates with zlib and the walker; stored files, flag bits and block choice.
#include "archive/Deflate.h"
#include "archive/ZipDecode.h"

#include "archive/DeflateWalker.h"
#include "archive/TestCorpus.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>

using namespace zorbel;
using namespace zorbel::test;

namespace {

// Reads from a byte vector in chunks of at most `chunk` bytes; collects the
// output. With `scramble`, changes the output in place as encryption would,
// and undoes it on its own copy.
class TVectorIO : public TDeflateIO {
public:
    explicit TVectorIO(const Bytes &input, int chunk = 1 << 30, bool scramble = false)
        : input_(input), chunk_(chunk), scramble_(scramble)
    {
    }
    int ReadInput(uint8_t *buffer, int count) override
    {
        const size_t n = std::min({size_t(count), size_t(chunk_), input_.size() - pos_});
        if (n == 0)
            return eofResult_;
        std::copy_n(input_.begin() + long(pos_), n, buffer);
        pos_ += n;
        return int(n);
    }
    void WriteOutput(uint8_t *buffer, int count) override
    {
        for (int i = 0; i < count; ++i) {
            if (scramble_)
                buffer[i] ^= 0x5A;
            Output.push_back(scramble_ ? uint8_t(buffer[i] ^ 0x5A) : buffer[i]);
        }
    }
    Bytes Output;
    int eofResult_ = 0;

private:
    const Bytes &input_;
    size_t pos_ = 0;
    int chunk_;
    bool scramble_;
};

struct TPacked {
    Bytes Data;
    int64_t Size = 0;
    TDeflateEntry Entry;
};

class DeflateTest : public ::testing::Test {
protected:
    TPacked Pack(const Bytes &input, int level, int chunk = 1 << 30, bool scramble = false)
    {
        TVectorIO io(input, chunk, scramble);
        TPacked p;
        p.Size = DeflateFile(io, level, tables_, *buffers_, p.Entry);
        p.Data = io.Output;
        return p;
    }

    static Bytes ZlibInflate(const Bytes &data, std::string &error)
    {
        z_stream z{};
        inflateInit2(&z, -15);
        Bytes out;
        uint8_t chunk[65536];
        z.next_in = const_cast<Bytef *>(data.data());
        z.avail_in = uInt(data.size());
        int rc;
        do {
            z.next_out = chunk;
            z.avail_out = sizeof chunk;
            rc = inflate(&z, Z_NO_FLUSH);
            out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
        } while (rc == Z_OK);
        if (rc != Z_STREAM_END)
            error = z.msg ? z.msg : "zlib inflate failed";
        else if (z.avail_in != 0)
            error = "bytes after the stream";
        inflateEnd(&z);
        return out;
    }

    // Packs input at level and checks it against zlib, our inflate and the walker.
    TWalk CheckRoundTrip(const Bytes &input, int level, const std::string &what)
    {
        SCOPED_TRACE(what + " at level " + std::to_string(level));
        const TPacked p = Pack(input, level);
        EXPECT_EQ(p.Size, int64_t(p.Data.size()));
        if (p.Entry.Method == 0) {
            EXPECT_EQ(p.Data, input);
            return {};
        }
        EXPECT_EQ(p.Entry.Method, 8);
        std::string error;
        EXPECT_EQ(ZlibInflate(p.Data, error), input);
        EXPECT_EQ(error, "");
        Bytes ours;
        const char *oursError = nullptr;
        EXPECT_EQ(DecodeBuffer(8, p.Entry.Flags, p.Data.data(), p.Data.size(), int64_t(input.size()), ours, &oursError),
                  TDecodeStatus::Ok)
            << (oursError ? oursError : "");
        EXPECT_EQ(ours, input);
        TWalk walk = TDeflateWalker(p.Data).Walk();
        EXPECT_EQ(walk.Error, "");
        EXPECT_EQ(walk.Output, input);
        return walk;
    }

    TDeflateTables tables_;
    std::unique_ptr<TDeflateBuffers> buffers_ = std::make_unique<TDeflateBuffers>();
};

// Text and binary mixed, to reach the window slide with matches across it.
Bytes Mixed(size_t size)
{
    Bytes out = TextBytes(size / 2, 11);
    const Bytes bin = BinaryBytes(size - size / 2, 12);
    out.insert(out.end(), bin.begin(), bin.end());
    return out;
}

// Checks the block choices that can be seen from the stream: a dynamic block
// is shorter than the fixed trees would be, and neither form is used where a
// stored block of the same bytes would not be longer.
void CheckBlockChoices(const TWalk &walk)
{
    for (const TWalkedBlock &b : walk.Blocks) {
        const uint64_t fixedBytes = (b.FixedBits + 7) / 8;
        const uint64_t bytes = (b.EndBit - b.StartBit + 7) / 8;
        if (b.Type == 2) {
            EXPECT_LT(bytes, fixedBytes) << "dynamic block where the fixed trees are not longer";
        }
        if (b.Type != 0 && b.InputBytes <= 32506) {
            EXPECT_LT(bytes, b.InputBytes + 4) << "coded block where a stored block is not longer";
        }
    }
}

} // namespace

TEST_F(DeflateTest, EveryLevelInflatesWithZlibAndTheWalker)
{
    const std::vector<std::pair<std::string, Bytes>> inputs = {
        {"text", TextBytes(150000, 1)},
        {"cyrillic", CyrillicBytes(90000, 2)},
        {"binary", BinaryBytes(80000, 3)},
        {"sqlite", SqliteFixture()},
        {"empty", {}},
        {"one byte", {'x'}},
        {"random", SampleRandom(70000, 4)},
        {"zeros", Bytes(300000, 0)},
        {"window-1", Mixed(32767)},
        {"window", Mixed(32768)},
        {"window+1", Mixed(32769)},
        {"slide point", Mixed(65274)},
        {"slide point+1", Mixed(65275)},
        {"two windows", Mixed(65536)},
        {"two windows+1", Mixed(65537)},
    };
    ASSERT_GT(inputs[3].second.size(), 100000u) << "SQLite fixture missing";
    for (int level = 1; level <= 9; ++level)
        for (const auto &[name, data] : inputs)
            CheckBlockChoices(CheckRoundTrip(data, level, name));
}

TEST_F(DeflateTest, EmptyAndIncompressibleFilesAreStoredWhole)
{
    TPacked empty = Pack({}, 1);
    EXPECT_EQ(empty.Entry.Method, 0);
    EXPECT_EQ(empty.Size, 0);
    EXPECT_TRUE(empty.Data.empty());

    const Bytes noise = SampleRandom(5000, 9);
    TPacked p = Pack(noise, 6);
    EXPECT_EQ(p.Entry.Method, 0);
    EXPECT_EQ(p.Size, 5000);
    EXPECT_EQ(p.Data, noise);

    // A compressible file of the same size is deflated.
    EXPECT_EQ(Pack(TextBytes(5000, 9), 6).Entry.Method, 8);
}

TEST_F(DeflateTest, FlagBitsFollowTheLevelAndFileTypeTheBytes)
{
    const Bytes text = TextBytes(20000, 5);
    const uint16_t expected[10] = {0, 4, 4, 0, 0, 0, 0, 0, 2, 2};
    Bytes first;
    for (int level = 1; level <= 9; ++level) {
        TPacked p = Pack(text, level);
        EXPECT_EQ(p.Entry.Flags, expected[level]) << "level " << level;
        EXPECT_EQ(p.Entry.InternalAttributes, 1) << "level " << level;
    }

    TPacked bin = Pack(BinaryBytes(20000, 5), 6);
    EXPECT_EQ(bin.Entry.InternalAttributes, 0);
    Bytes cyr = CyrillicBytes(20000, 5);
    EXPECT_EQ(Pack(cyr, 6).Entry.InternalAttributes, 0); // bytes above 127 count as binary

    // A type already known is kept.
    TVectorIO io(text);
    TDeflateEntry entry;
    entry.InternalAttributes = 0;
    DeflateFile(io, 6, tables_, *buffers_, entry);
    EXPECT_EQ(entry.InternalAttributes, 0);
}

TEST_F(DeflateTest, BlockChoiceFollowsTheCosts)
{
    // Stored when input + 4 <= block length, not one byte later.
    EXPECT_EQ(ChooseDeflateBlock(100, 8 * 104 - 3, 9000, true, false), TDeflateBlockKind::Stored);
    EXPECT_EQ(ChooseDeflateBlock(101, 8 * 104 - 3, 9000, true, false), TDeflateBlockKind::Dynamic);
    EXPECT_EQ(ChooseDeflateBlock(100, 8 * 104 - 3, 9000, false, false), TDeflateBlockKind::Dynamic);
    // Fixed when it costs the same bytes as dynamic trees (bits may differ).
    EXPECT_EQ(ChooseDeflateBlock(1000, 800, 805, true, false), TDeflateBlockKind::Fixed);
    EXPECT_EQ(ChooseDeflateBlock(1000, 800, 805 + 8, true, false), TDeflateBlockKind::Dynamic);
    // Whole file stored when the only block is not smaller than the input.
    EXPECT_EQ(ChooseDeflateBlock(100, 8 * 100 - 3, 9000, true, true), TDeflateBlockKind::WholeFileStored);
    EXPECT_EQ(ChooseDeflateBlock(101, 8 * 100 - 3, 9000, true, true), TDeflateBlockKind::Dynamic);
    EXPECT_EQ(ChooseDeflateBlock(100, 8 * 100 - 3, 9000, false, true), TDeflateBlockKind::Dynamic);

    // In streams: random data goes in stored blocks, a short text in fixed trees.
    TPacked noise = Pack(SampleRandom(100000, 6), 6);
    TWalk walk = TDeflateWalker(noise.Data).Walk();
    ASSERT_EQ(walk.Error, "");
    ASSERT_GE(walk.Blocks.size(), 3u);
    for (const TWalkedBlock &b : walk.Blocks)
        EXPECT_EQ(b.Type, 0);
    // 32767 entries end the block; chance matches make it a little longer.
    EXPECT_GE(walk.Blocks[0].InputBytes, 32767u);
    EXPECT_LT(walk.Blocks[0].InputBytes, 32900u);

    const std::string hello = "hello hello hello hello, hello world";
    walk = TDeflateWalker(Pack(Bytes(hello.begin(), hello.end()), 6).Data).Walk();
    ASSERT_EQ(walk.Blocks.size(), 1u);
    EXPECT_EQ(walk.Blocks[0].Type, 1);
    EXPECT_TRUE(walk.Blocks[0].Final);

    walk = TDeflateWalker(Pack(TextBytes(100000, 6), 6).Data).Walk();
    for (const TWalkedBlock &b : walk.Blocks)
        EXPECT_EQ(b.Type, 2);
}

TEST_F(DeflateTest, BuffersCarryNothingFromOneFileToTheNext)
{
    // The window keeps the previous file's bytes; a new file must not match them.
    CheckRoundTrip(TextBytes(200000, 7), 9, "first");
    CheckRoundTrip(SqliteFixture(), 1, "second");
    CheckRoundTrip(TextBytes(1000, 7), 6, "third, a prefix of the first");
    CheckRoundTrip(TextBytes(1000, 7), 1, "fourth");
}

TEST_F(DeflateTest, ShortReadsAndOutputChangedInPlace)
{
    // Stored blocks of random bytes followed by copies of them: the copies
    // match into the stored blocks, which must reach the output unchanged
    // while the window keeps the plain bytes.
    Bytes input = SampleRandom(40000, 8);
    input.insert(input.end(), input.begin() + 20000, input.begin() + 40000);
    input.insert(input.end(), input.begin() + 30000, input.begin() + 40000);
    for (int level : {1, 6}) {
        TPacked p = Pack(input, level, 777, true);
        ASSERT_EQ(p.Entry.Method, 8);
        std::string error;
        EXPECT_EQ(ZlibInflate(p.Data, error), input) << "level " << level;
        EXPECT_EQ(p.Size, int64_t(p.Data.size()));
        // Changing the output must not disturb the window: the copies still match.
        EXPECT_EQ(p.Size, Pack(input, level).Size) << "level " << level;
        EXPECT_LT(p.Size, 42000) << "level " << level;
    }

    // A read result of -1 ends the input as 0 does.
    const Bytes text = TextBytes(50000, 8);
    TVectorIO io(text, 4096);
    io.eofResult_ = -1;
    TDeflateEntry entry;
    DeflateFile(io, 6, tables_, *buffers_, entry);
    std::string error;
    EXPECT_EQ(ZlibInflate(io.Output, error), text);
}

TEST_F(DeflateTest, SizeStaysNearZlib)
{
    Bytes input = TextBytes(300000, 10);
    const Bytes sql = SqliteFixture();
    input.insert(input.end(), sql.begin(), sql.end());
    for (int level : {1, 6, 9}) {
        const double ratio = double(Pack(input, level).Size) / double(ZlibDeflate(input, level, Z_DEFAULT_STRATEGY).size());
        EXPECT_LT(ratio, level == 1 ? 1.06 : 1.03) << "level " << level;
    }
}
