// Slicing-by-16 CRC-32: each step folds sixteen input bytes with sixteen
// independent table lookups instead of sixteen dependent ones.
#include "archive/ZipCrc.h"

#include <bit>
#include <cstring>

namespace zorbel {

uint32_t UpdateCRC(uint32_t crc, const void *buffer, size_t count)
{
    const auto *p = static_cast<const uint8_t *>(buffer);
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

} // namespace zorbel
