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

} // namespace
} // namespace zorbel
