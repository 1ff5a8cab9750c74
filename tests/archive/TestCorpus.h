// Deterministic test inputs for the compressor and the zip writer: text in
// ASCII and in Windows-1251 Cyrillic, structured binary records, random
// (incompressible) bytes, and the SQLite fixture of tests/data/archive.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace zorbel::testing {

using TBytes = std::vector<uint8_t>;

// Words separated by spaces, lines ending in CR LF.
inline TBytes TextBytes(size_t size, uint32_t seed)
{
    static const char *words[] = {"account", "balance", "transfer", "income", "expense", "the", "of", "rate",
                                  "category", "operation", "planned", "realised", "firm", "person", "diary"};
    std::mt19937 rng(seed);
    TBytes out;
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
inline TBytes CyrillicBytes(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<TBytes> words;
    for (int i = 0; i < 40; ++i) {
        TBytes w(3 + rng() % 7);
        for (uint8_t &c : w)
            c = uint8_t(0xE0 + rng() % 32);
        w[0] = uint8_t(w[0] - 0x20); // capital first letter
        words.push_back(w);
    }
    TBytes out;
    while (out.size() < size) {
        const TBytes &w = words[rng() % words.size()];
        out.insert(out.end(), w.begin(), w.end());
        out.push_back(rng() % 10 == 0 ? '\n' : ' ');
    }
    out.resize(size);
    return out;
}

// Little-endian records of small integers and slowly changing amounts.
inline TBytes BinaryBytes(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    TBytes out;
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

inline TBytes RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    TBytes out(size);
    for (uint8_t &c : out)
        c = uint8_t(rng());
    return out;
}

inline TBytes ReadFileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline TBytes SqliteFixture() { return ReadFileBytes(std::string(ZORBEL_TEST_DATA) + "/archive/operations.db"); }

} // namespace zorbel::testing
