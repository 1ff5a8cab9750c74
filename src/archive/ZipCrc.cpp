// Slicing-by-8 CRC-32: each step folds eight input bytes with eight table
// lookups instead of eight dependent ones.
#include "archive/ZipCrc.h"

#include <bit>
#include <cstring>

namespace zorbel {

uint32_t UpdateCRC(uint32_t crc, const void *buffer, size_t count)
{
    const auto *p = static_cast<const uint8_t *>(buffer);
    const auto &t = CrcTables;
    for (; count >= 8; count -= 8, p += 8) {
        uint32_t lo;
        uint32_t hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        if constexpr (std::endian::native == std::endian::big) {
            lo = __builtin_bswap32(lo);
            hi = __builtin_bswap32(hi);
        }
        lo ^= crc;
        crc = t[7][lo & 255] ^ t[6][(lo >> 8) & 255] ^ t[5][(lo >> 16) & 255] ^ t[4][lo >> 24]
            ^ t[3][hi & 255] ^ t[2][(hi >> 8) & 255] ^ t[1][(hi >> 16) & 255] ^ t[0][hi >> 24];
    }
    for (; count > 0; --count)
        crc = UpdCRC(*p++, crc);
    return crc;
}

} // namespace zorbel
