// CRC-32 over a buffer, two ways that give the same value:
//
// - Slicing by 16: each step folds sixteen input bytes with sixteen
//   independent table lookups instead of sixteen dependent ones. Works
//   everywhere and serves short buffers and the ends of long ones.
// - Folding with carry-less multiplication (x86 PCLMULQDQ, used when the
//   processor has it, checked once at run time). The message is a polynomial
//   over GF(2); a 128-bit block B followed by N more bits contributes
//   B(x)·x^N, and that is congruent modulo the CRC polynomial P to
//   B_hi·(x^(N+64) mod P) + B_lo·(x^N mod P), two 64×32-bit carry-less
//   products that are again no wider than 128 bits. Eight such lanes run side
//   by side over 128-byte strides, are then folded into one, and the last
//   128-bit remainder goes through the table code, which finishes the
//   reduction modulo P exactly as if those sixteen bytes were the message.
//
// Bit order: the CRC is reflected, so a register loaded little-endian holds
// the message's highest power in bit 0. In that order a carry-less product
// of two 64-bit operands comes out multiplied by one extra x, so each fold
// constant is x^(e-1) mod P for the power x^e it stands for.
#include "archive/ZipCrc.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ZORBEL_CRC_CLMUL 1
#endif

namespace zorbel {

namespace {

uint32_t UpdateCrcSliced(uint32_t crc, const uint8_t *p, size_t count)
{
    const auto &t = CrcTables;
    for (; count >= 16; count -= 16, p += 16) {
        uint32_t w[4];
        std::memcpy(w, p, 16);
        if constexpr (std::endian::native == std::endian::big)
            for (uint32_t &x : w)
                x = __builtin_bswap32(x);
        w[0] ^= crc;
        crc = t[15][w[0] & 255] ^ t[14][(w[0] >> 8) & 255] ^ t[13][(w[0] >> 16) & 255] ^ t[12][w[0] >> 24]
            ^ t[11][w[1] & 255] ^ t[10][(w[1] >> 8) & 255] ^ t[9][(w[1] >> 16) & 255] ^ t[8][w[1] >> 24]
            ^ t[7][w[2] & 255] ^ t[6][(w[2] >> 8) & 255] ^ t[5][(w[2] >> 16) & 255] ^ t[4][w[2] >> 24]
            ^ t[3][w[3] & 255] ^ t[2][(w[3] >> 8) & 255] ^ t[1][(w[3] >> 16) & 255] ^ t[0][w[3] >> 24];
    }
    for (; count > 0; --count)
        crc = UpdCRC(*p++, crc);
    return crc;
}

#ifdef ZORBEL_CRC_CLMUL

// x^e mod P (P = x^32 + 0x04C11DB7 in normal bit order), reflected into the
// top 32 bits of a 64-bit operand: coefficient of x^d at bit 63 - d.
constexpr uint64_t FoldConstant(int e)
{
    uint64_t r = 1;
    for (int i = 0; i < e - 1; ++i) {
        r <<= 1;
        if (r & (uint64_t(1) << 32))
            r ^= 0x104C11DB7u;
    }
    uint64_t reflected = 0;
    for (int d = 0; d < 32; ++d)
        if (r & (uint64_t(1) << d))
            reflected |= uint64_t(1) << (63 - d);
    return reflected;
}

// Multipliers that carry a 128-bit lane over N bits: the low half of the lane
// (the higher powers) by x^(N+64), the high half by x^N.
struct TFold {
    uint64_t Lo, Hi;
};

constexpr TFold FoldBy(int bits) { return {FoldConstant(bits + 64), FoldConstant(bits)}; }

constexpr TFold Fold128 = FoldBy(128);   // one lane onto the next
constexpr TFold Fold1024 = FoldBy(1024); // a lane onto itself, eight lanes on

constexpr size_t Lanes = 8;
constexpr size_t Stride = Lanes * 16;

__attribute__((target("pclmul,sse4.1"))) inline __m128i FoldLane(__m128i lane, __m128i k)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11));
}

// Requires count >= Stride.
__attribute__((target("pclmul,sse4.1"))) uint32_t UpdateCrcClmul(uint32_t crc, const uint8_t *p, size_t count)
{
    __m128i x[Lanes];
    for (size_t i = 0; i < Lanes; ++i)
        x[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
    // The running value enters as the first four message bytes XORed with it.
    x[0] = _mm_xor_si128(x[0], _mm_cvtsi32_si128(static_cast<int>(crc)));
    p += Stride;
    count -= Stride;

    const __m128i kStride = _mm_set_epi64x(static_cast<long long>(Fold1024.Hi), static_cast<long long>(Fold1024.Lo));
    for (; count >= Stride; p += Stride, count -= Stride)
        for (size_t i = 0; i < Lanes; ++i)
            x[i] = _mm_xor_si128(FoldLane(x[i], kStride),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i)));

    const __m128i kNext = _mm_set_epi64x(static_cast<long long>(Fold128.Hi), static_cast<long long>(Fold128.Lo));
    __m128i acc = x[0];
    for (size_t i = 1; i < Lanes; ++i)
        acc = _mm_xor_si128(FoldLane(acc, kNext), x[i]);
    for (; count >= 16; p += 16, count -= 16)
        acc = _mm_xor_si128(FoldLane(acc, kNext), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));

    uint8_t rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(rest), acc);
    crc = UpdateCrcSliced(0, rest, sizeof rest);
    return UpdateCrcSliced(crc, p, count);
}

bool HaveClmul()
{
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    }();
    return have;
}

#endif

} // namespace

uint32_t UpdateCRC(uint32_t crc, const void *buffer, size_t count)
{
    const auto *p = static_cast<const uint8_t *>(buffer);
#ifdef ZORBEL_CRC_CLMUL
    // Below a few strides the table code is as fast and needs no set-up.
    if (count >= 4 * Stride && HaveClmul())
        return UpdateCrcClmul(crc, p, count);
#endif
    return UpdateCrcSliced(crc, p, count);
}

namespace {

// The CRC table with the low two bits of each entry forced to 11 and to 10:
// (T[j] ^ m) | 3 and that minus 1, for an m whose low two bits are 0, are
// T3[j] ^ m and T2[j] ^ m, each one lookup away from j.
constexpr std::array<uint32_t, 256> MakeLowBits(uint32_t low)
{
    std::array<uint32_t, 256> t{};
    for (size_t j = 0; j < 256; ++j)
        t[j] = (CrcTables[0][j] & ~3u) | low;
    return t;
}
constexpr std::array<uint32_t, 256> CrcOr3 = MakeLowBits(3);
constexpr std::array<uint32_t, 256> CrcOr3Less1 = MakeLowBits(2);
// The low byte of each CRC table entry, for key1's step.
constexpr std::array<uint8_t, 256> CrcLowByte = [] {
    std::array<uint8_t, 256> t{};
    for (size_t j = 0; j < 256; ++j)
        t[j] = static_cast<uint8_t>(CrcTables[0][j]);
    return t;
}();

} // namespace

// Each plain byte feeds the keys that make the next key-stream byte, so the
// cipher is one serial chain per byte; everything that does not depend on
// the byte just decrypted is taken off that chain:
// - the key-stream byte: with t = key2 | 2, t * (t ^ 1) equals u * (u - 1)
//   for u = key2 | 3, and u and u - 1 come straight from key2's lookup
//   (CrcOr3, CrcOr3Less1); only bits 8-15 of the product are used;
// - key0's table index: the low byte of key0 XOR the cipher byte is known
//   before the key-stream byte is;
// - key1: (key1 + b) * K + 1 is key1 * K + 1 (known early) plus b * K, and
//   b, the new key0's low byte, is a byte lookup XOR a byte known early;
// - key2's table index: the low byte of key2 is known early, and key1 >> 24
//   needs no mask.
void TZipKeys::DecryptBuffer(uint8_t *buffer, size_t count)
{
    constexpr uint32_t K = 134775813u;
    const auto &t = CrcTables[0];
    uint32_t k0 = key_[0], k1 = key_[1], k2 = key_[2];
    uint32_t u = k2 | 3, v = u - 1;
    for (size_t i = 0; i < count; ++i) {
        uint32_t early0 = (k0 & 255) ^ buffer[i];
        uint32_t early1 = k1 * K + 1;
        uint32_t early2 = k2 & 255;
        uint32_t early3 = (k0 >> 8) & 255;
        // Keeps the compiler from folding these back into the chain.
        asm("" : "+r"(early0), "+r"(early1), "+r"(early2), "+r"(early3));
        const uint32_t stream = static_cast<uint8_t>((u * v) >> 8);
        const uint32_t index0 = early0 ^ stream; // (key0 ^ plain byte) & 255
        buffer[i] = static_cast<uint8_t>(buffer[i] ^ stream);
        k0 = t[index0] ^ (k0 >> 8);
        k1 = early1 + (CrcLowByte[index0] ^ early3) * K; // (k0 & 255) * K
        const uint32_t j = early2 ^ (k1 >> 24);
        const uint32_t m = k2 >> 8;
        k2 = t[j] ^ m;
        u = CrcOr3[j] ^ (m & ~3u);
        v = CrcOr3Less1[j] ^ (m & ~3u);
    }
    key_ = {k0, k1, k2};
}

uint32_t UpdateCrcPortable(uint32_t crc, const void *buffer, size_t count)
{
    return UpdateCrcSliced(crc, static_cast<const uint8_t *>(buffer), count);
}

} // namespace zorbel
