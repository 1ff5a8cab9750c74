// CRC-32 against known vectors and zlib, and the traditional encryption keys.
#include "archive/ZipCrc.h"

#include "archive/ZipTestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace zorbel {
namespace {

TEST(ZipCrcTest, KnownVectors)
{
    EXPECT_EQ(Crc32Of("abc", 3), 0x352441C2u);
    EXPECT_EQ(Crc32Of("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32Of("", 0), 0u);
    EXPECT_EQ(Crc32Of("The quick brown fox jumps over the lazy dog", 43), 0x414FA339u);
}

TEST(ZipCrcTest, SlicedUpdateMatchesZlibAtEveryLengthAndSplit)
{
    const test::Bytes data = test::SampleRandom(4099, 7);
    for (size_t len : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 1000u, 4099u}) {
        const uint32_t expected = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(len)));
        EXPECT_EQ(Crc32Of(data.data(), len), expected) << len;
        // Folding in two pieces at an odd split gives the same value.
        const size_t split = len / 3;
        const uint32_t running = UpdateCRC(UpdateCRC(0xFFFFFFFFu, data.data(), split), data.data() + split, len - split);
        EXPECT_EQ(~running, expected) << len;
    }
    // The byte step is the table step.
    uint32_t byByte = 0xFFFFFFFFu;
    for (uint8_t b : data)
        byByte = UpdCRC(b, byByte);
    EXPECT_EQ(~byByte, Crc32Of(data.data(), data.size()));
}

// Long buffers take the folding code: every length around its strides, every
// start alignment, running values other than the initial one, and splits
// that leave a short head or tail give zlib's value and the table code's.
TEST(ZipCrcTest, FoldedUpdateMatchesTablesAndZlibOnLongBuffers)
{
    const test::Bytes data = test::SampleRandom(70000, 11);
    for (size_t len : {511u, 512u, 513u, 527u, 1023u, 1024u, 1040u, 1151u, 2048u, 4099u, 65536u, 69983u}) {
        for (size_t offset : {0u, 1u, 3u, 8u, 15u}) {
            const uint8_t *p = data.data() + offset;
            const uint32_t expected = static_cast<uint32_t>(crc32(0, p, static_cast<uInt>(len)));
            EXPECT_EQ(Crc32Of(p, len), expected) << len << '+' << offset;
            EXPECT_EQ(~UpdateCrcPortable(0xFFFFFFFFu, p, len), expected) << len << '+' << offset;
            for (size_t split : {size_t(5), len / 2, len - 7}) {
                const uint32_t running = UpdateCRC(UpdateCRC(0xFFFFFFFFu, p, split), p + split, len - split);
                EXPECT_EQ(~running, expected) << len << '+' << offset << " split " << split;
            }
        }
    }
    // A buffer of zeros and one of ones: no lane may cancel another.
    const test::Bytes zeros(5000, 0), ones(5000, 0xFF);
    EXPECT_EQ(Crc32Of(zeros.data(), zeros.size()), static_cast<uint32_t>(crc32(0, zeros.data(), 5000)));
    EXPECT_EQ(Crc32Of(ones.data(), ones.size()), static_cast<uint32_t>(crc32(0, ones.data(), 5000)));
}

TEST(ZipCrcTest, KeysFollowTheTraditionalScheme)
{
    TZipKeys keys;
    EXPECT_EQ(keys.Keys()[0], 0x12345678u);
    EXPECT_EQ(keys.Keys()[1], 0x23456789u);
    EXPECT_EQ(keys.Keys()[2], 0x34567890u);
    // An empty password leaves the initial keys.
    keys.InitKeys(QByteArray());
    EXPECT_EQ(keys.Keys()[2], 0x34567890u);

    // Encrypting with the same key stream and decrypting gives the plain bytes
    // back; the key stream depends on the password.
    const QByteArray plain = "some plain text, repeated; some plain text";
    auto encrypt = [&](const QByteArray &password) {
        TZipKeys k;
        k.InitKeys(password);
        QByteArray out = plain;
        for (char &c : out) {
            const uint8_t p = static_cast<uint8_t>(c);
            c = static_cast<char>(p ^ k.DecryptByte());
            k.UpdateKeys(p);
        }
        return out;
    };
    QByteArray cipher = encrypt("secret");
    EXPECT_NE(cipher, plain);
    EXPECT_NE(cipher, encrypt("secreT"));
    TZipKeys k;
    k.InitKeys("secret");
    k.DecryptBuffer(reinterpret_cast<uint8_t *>(cipher.data()), static_cast<size_t>(cipher.size()));
    EXPECT_EQ(cipher, plain);
}

// DecryptBuffer is arranged for speed; byte by byte with DecryptByte and
// UpdateKeys is the scheme itself. Both must give the same bytes and leave
// the same keys, for any password and any split of the buffer.
TEST(ZipCrcTest, DecryptBufferMatchesTheByteByByteScheme)
{
    const test::Bytes data = test::SampleRandom(100000, 12);
    for (const QByteArray &password : {QByteArray(), QByteArray("p"), QByteArray("пароль 2"), QByteArray(80, '\xFF')}) {
        TZipKeys reference;
        reference.InitKeys(password);
        test::Bytes expected = data;
        for (uint8_t &b : expected) {
            b ^= reference.DecryptByte();
            reference.UpdateKeys(b);
        }
        for (size_t split : {size_t(0), size_t(1), size_t(4095), size_t(99999)}) {
            TZipKeys keys;
            keys.InitKeys(password);
            test::Bytes got = data;
            keys.DecryptBuffer(got.data(), split);
            keys.DecryptBuffer(got.data() + split, got.size() - split);
            EXPECT_TRUE(got == expected) << split;
            EXPECT_EQ(keys.Keys(), reference.Keys()) << split;
        }
    }
}

} // namespace
} // namespace zorbel
