// The buffered stream against a plain stream: short reads, seeks, mixed reads and writes, putback.
#include "archive/ZipSStrm.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <numeric>
#include <random>

using namespace zorbel;

namespace {

// A memory stream that counts the calls reaching it.
class CountingStream : public TMemoryStream {
public:
    int64_t Read(void *b, int64_t n) override
    {
        ++reads;
        return TMemoryStream::Read(b, n);
    }
    int64_t Write(const void *b, int64_t n) override
    {
        ++writes;
        return TMemoryStream::Write(b, n);
    }
    int64_t Seek(int64_t o, int origin) override
    {
        if (!(o == 0 && origin == soFromCurrent))
            ++seeks;
        return TMemoryStream::Seek(o, origin);
    }
    int reads = 0, writes = 0, seeks = 0;
};

std::vector<uint8_t> Pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 7 + i / 251);
    return v;
}

} // namespace

TEST(BufferStream, ReadsShortAtEndOfFile)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("f.bin");
    const auto data = Pattern(9000);
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer(data.data(), int64_t(data.size()));
    }
    TLFNFileStream s(name, fmOpenRead | fmShareDenyWrite);
    std::vector<uint8_t> got(10000);
    EXPECT_EQ(s.Read(got.data(), 10000), 9000);
    got.resize(9000);
    EXPECT_EQ(got, data);
    EXPECT_EQ(s.Position(), 9000);
}

TEST(BufferStream, SeekToCurrentPositionLeavesUnderlyingAlone)
{
    CountingStream under;
    const auto data = Pattern(20000);
    under.WriteBuffer(data.data(), int64_t(data.size()));
    under.SetPosition(0);
    TS_BufferStream s(under);
    uint8_t b[100];
    s.ReadBuffer(b, 100);
    const int seeks = under.seeks, reads = under.reads;
    EXPECT_EQ(s.Seek(100, soFromBeginning), 100);
    EXPECT_EQ(s.Seek(0, soFromCurrent), 100);
    EXPECT_EQ(under.seeks, seeks);
    s.ReadBuffer(b, 100);
    EXPECT_EQ(under.reads, reads); // still served from the buffer
    EXPECT_EQ(b[0], data[100]);
    // Seeking from the end counts backwards whatever the sign.
    EXPECT_EQ(s.Seek(10, soFromEnd), 19990);
    EXPECT_EQ(s.Seek(-10, soFromEnd), 19990);
    EXPECT_THROW(s.Seek(0, 3), EStreamError);
}

TEST(BufferStream, MixedReadsWritesAndSeeksMatchAPlainStream)
{
    TMemoryStream under, plain;
    std::mt19937 rng(7);
    {
        TS_BufferStream s(under);
        std::vector<uint8_t> buf(30000);
        for (int step = 0; step < 400; ++step) {
            const int64_t n = rng() % 12000;
            switch (rng() % 3) {
            case 0:
                for (int64_t i = 0; i < n; ++i)
                    buf[size_t(i)] = uint8_t(rng());
                ASSERT_EQ(s.Write(buf.data(), n), n);
                plain.Write(buf.data(), n);
                break;
            case 1: {
                std::vector<uint8_t> a(size_t(n) + 1), b(size_t(n) + 1);
                ASSERT_EQ(s.Read(a.data(), n), plain.Read(b.data(), n));
                ASSERT_EQ(a, b);
                break;
            }
            default: {
                const int64_t to = int64_t(rng() % uint32_t(plain.Size() + 1));
                ASSERT_EQ(s.Seek(to, soFromBeginning), plain.Seek(to, soFromBeginning));
            }
            }
            ASSERT_EQ(s.Position(), plain.Position());
            ASSERT_EQ(s.Size(), plain.Size());
        }
    }
    ASSERT_EQ(under.Size(), plain.Size());
    EXPECT_EQ(0, memcmp(under.Memory(), plain.Memory(), size_t(plain.Size())));
}

TEST(BufferStream, PutBack)
{
    TMemoryStream under;
    const uint8_t data[] = {1, 2, 3};
    under.WriteBuffer(data, 3);
    under.SetPosition(0);
    TS_BufferStream s(under);
    EXPECT_THROW(s.PutBack(9), EStreamError);
    uint8_t b = 0;
    s.ReadBuffer(&b, 1);
    s.PutBack(9);
    s.ReadBuffer(&b, 1);
    EXPECT_EQ(b, 9);
    try {
        s.ReadBuffer(&b, 1);
        s.PutBack(1);
        s.PutBack(1);
        s.PutBack(1);
        FAIL();
    } catch (const EStreamError &e) {
        EXPECT_EQ(e.Message(), "Putback overflow");
    }
}

// A read or write of a buffer or more reaches the stream beneath in one call,
// after what waits; the byte before the position can still be put back.
TEST(BufferStream, LargeReadsAndWritesPassThroughInOneCall)
{
    CountingStream under;
    const auto data = Pattern(100000);
    {
        TS_BufferStream s(under);
        s.WriteBuffer(data.data(), 100);
        EXPECT_EQ(under.writes, 0);
        s.WriteBuffer(data.data() + 100, 60000);
        EXPECT_EQ(under.writes, 2); // the 100 waiting, then the 60,000
        s.WriteBuffer(data.data() + 60100, 39900);
        EXPECT_EQ(under.writes, 3);
        EXPECT_EQ(s.Position(), 100000);
    }
    ASSERT_EQ(under.Size(), 100000);
    EXPECT_EQ(0, memcmp(under.Memory(), data.data(), data.size()));

    under.SetPosition(0);
    TS_BufferStream s(under);
    std::vector<uint8_t> got(100000);
    const int reads = under.reads;
    s.ReadBuffer(got.data(), 50000);
    EXPECT_EQ(under.reads, reads + 1);
    EXPECT_EQ(s.Position(), 50000);
    s.PutBack(data[49999]);
    EXPECT_EQ(s.Position(), 49999);
    s.ReadBuffer(got.data() + 49999, 50001);
    EXPECT_EQ(got, data);
    EXPECT_EQ(s.Read(got.data(), 20000), 0);
}
