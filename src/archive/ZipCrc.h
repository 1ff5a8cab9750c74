// CRC-32 of the zip format and the key stream of traditional PKWARE
// encryption, which is built on it.
//
// The CRC is the reflected CRC-32 (polynomial 0xEDB88320). A running value
// starts at 0xFFFFFFFF, folds bytes in with UpdateCRC, and its complement is
// the CRC-32 stored in the headers. The table code works on sixteen bytes at
// a time ("slicing by 16"): CrcTables[0] is the classic byte table,
// CrcTables[k] the effect of a byte followed by k zero bytes.
//
// The cipher keeps three 32-bit keys. InitKeys seeds them from the password
// bytes (the ANSI code page); each plain byte then advances them with
// UpdateKeys, and DecryptByte gives the key-stream byte to XOR with the next
// byte.
#pragma once

#include <QByteArray>
#include <array>
#include <cstddef>
#include <cstdint>

namespace zorbel {

using TCrcTables = std::array<std::array<uint32_t, 256>, 16>;

// Generator of the slicing-by-16 tables (evaluated at compile time).
constexpr TCrcTables MakeCrcTables()
{
    TCrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
        for (int k = 1; k < 16; ++k)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 255];
    return t;
}

inline constexpr TCrcTables CrcTables = MakeCrcTables();

// One byte folded into a running CRC value.
constexpr uint32_t UpdCRC(uint8_t b, uint32_t crc)
{
    return CrcTables[0][(crc ^ b) & 255] ^ (crc >> 8);
}

// Folds Count bytes into a running CRC value and returns the new value.
// Long buffers use carry-less multiplication where the processor has it.
uint32_t UpdateCRC(uint32_t crc, const void *buffer, size_t count);

// The same with the table code alone, whatever the processor (the reference
// the folding code is checked against).
uint32_t UpdateCrcPortable(uint32_t crc, const void *buffer, size_t count);

// The finished CRC-32 of a buffer ("abc" gives 0x352441C2).
inline uint32_t Crc32Of(const void *buffer, size_t count)
{
    return ~UpdateCRC(0xFFFFFFFFu, buffer, count);
}

// The three keys of traditional PKWARE encryption.
class TZipKeys {
public:
    TZipKeys() { InitKeys(QByteArray()); }

    // Seeds the keys from the password bytes; an empty password leaves the
    // initial keys.
    void InitKeys(const QByteArray &password)
    {
        key_ = {0x12345678u, 0x23456789u, 0x34567890u};
        for (char c : password)
            UpdateKeys(static_cast<uint8_t>(c));
    }

    // Advances the keys by one plain byte.
    void UpdateKeys(uint8_t c)
    {
        key_[0] = UpdCRC(c, key_[0]);
        key_[1] = (key_[1] + (key_[0] & 255)) * 134775813u + 1;
        key_[2] = UpdCRC(static_cast<uint8_t>(key_[1] >> 24), key_[2]);
    }

    // The key-stream byte for the next data byte.
    uint8_t DecryptByte() const
    {
        const uint32_t t = (key_[2] & 0xFFFF) | 2;
        return static_cast<uint8_t>(((t * (t ^ 1)) >> 8) & 255);
    }

    // Decrypts Count bytes in place, advancing the keys by each plain byte:
    // the same as DecryptByte and UpdateKeys byte by byte, arranged so that
    // the chain from one key-stream byte to the next is as short as it can
    // be (ZipCrc.cpp).
    void DecryptBuffer(uint8_t *buffer, size_t count);

    const std::array<uint32_t, 3> &Keys() const { return key_; }

private:
    std::array<uint32_t, 3> key_;
};

} // namespace zorbel
