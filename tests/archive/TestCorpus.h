// Deterministic test inputs for the compressor and the zip writer, beside
// those of ZipTestSupport.h: text with CR LF lines, Windows-1251 Cyrillic
// text, structured binary records, and the SQLite fixture of
// tests/data/archive.
#pragma once

#include "archive/ZipTestSupport.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace zorbel::test {

// Words separated by spaces, lines ending in CR LF.
inline Bytes TextBytes(size_t size, uint32_t seed)
{
    static const char *words[] = {"account", "balance", "transfer", "income", "expense", "the", "of", "rate",
                                  "category", "operation", "planned", "realised", "firm", "person", "diary"};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        const std::string w = words[rng() % std::size(words)];
        out.insert(out.end(), w.begin(), w.end());
        if (rng() % 12 == 0) {
            out.push_back('\r');
            out.push_back('\n');
        } else {
            out.push_back(rng() % 5 == 0 ? ',' : ' ');
        }
    }
    out.resize(size);
    return out;
}

// Russian-looking words in Windows-1251 (bytes 0xC0-0xFF), spaces and CR LF.
inline Bytes CyrillicBytes(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<Bytes> words;
    for (int i = 0; i < 40; ++i) {
        Bytes w(3 + rng() % 7);
        for (uint8_t &c : w)
            c = uint8_t(0xE0 + rng() % 32);
        w[0] = uint8_t(w[0] - 0x20); // capital first letter
        words.push_back(w);
    }
    Bytes out;
    while (out.size() < size) {
        const Bytes &w = words[rng() % words.size()];
        out.insert(out.end(), w.begin(), w.end());
        out.push_back(rng() % 10 == 0 ? '\n' : ' ');
    }
    out.resize(size);
    return out;
}

// Little-endian records of small integers and slowly changing amounts.
inline Bytes BinaryBytes(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out;
    uint32_t amount = 1000;
    while (out.size() < size) {
        const uint32_t fields[4] = {uint32_t(rng() % 8), amount += uint32_t(rng() % 50), uint32_t(rng() % 300), 0};
        for (uint32_t f : fields)
            for (int b = 0; b < 4; ++b)
                out.push_back(uint8_t(f >> (8 * b)));
    }
    out.resize(size);
    return out;
}

inline Bytes SqliteFixture() { return ReadFile(QStringLiteral(ZORBEL_TEST_DATA "/archive/operations.db")); }

} // namespace zorbel::test
