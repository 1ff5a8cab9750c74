// The 20 MB benchmark mix of the archive: 8 MB of text (Latin and
// Windows-1251 Cyrillic words with a skewed word frequency, as in notes and
// comments), an 8 MB SQLite database file with many rows of operations, and
// 4 MB of incompressible bytes. Built deterministically in memory.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace zorbel::bench {

using TBytes = std::vector<uint8_t>;

struct TMixPart {
    std::string Name;
    TBytes Data;
};

inline TBytes MixText(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<std::string> words;
    for (int i = 0; i < 6000; ++i) {
        std::string w;
        const bool cyrillic = i % 3 == 0;
        for (int n = 2 + int(rng() % 9); n > 0; --n)
            w += cyrillic ? char(0xE0 + rng() % 32) : char('a' + rng() % 26);
        words.push_back(w);
    }
    // Zipf-like choice: word i with weight 1 / (i + 1).
    std::vector<double> weights(words.size());
    for (size_t i = 0; i < words.size(); ++i)
        weights[i] = 1.0 / double(i + 1);
    std::discrete_distribution<size_t> pick(weights.begin(), weights.end());
    TBytes out;
    out.reserve(size + 16);
    while (out.size() < size) {
        const std::string &w = words[pick(rng)];
        out.insert(out.end(), w.begin(), w.end());
        const unsigned r = unsigned(rng() % 100);
        if (r < 6) {
            out.push_back('.');
            out.push_back('\r');
            out.push_back('\n');
        } else if (r < 14) {
            out.push_back(',');
            out.push_back(' ');
        } else {
            out.push_back(' ');
        }
    }
    out.resize(size);
    return out;
}

// A database file of operations rows, grown until it reaches about size bytes.
inline TBytes MixSqlite(size_t size, uint32_t seed)
{
    const std::string path = "/tmp/zorbel-bench-mix-" + std::to_string(seed) + ".db";
    std::remove(path.c_str());
    sqlite3 *db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                 "CREATE TABLE TB_HIST(ACC INTEGER, DAT TEXT, STAMP REAL, KIND TEXT, DT REAL, CT REAL,"
                 " LEVEL1 INTEGER, LEVEL2 INTEGER, LEVEL3 INTEGER, PRICE REAL, COMM TEXT);"
                 "CREATE INDEX IX_HIST ON TB_HIST(ACC, DAT, STAMP);",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt *ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO TB_HIST VALUES(?,?,?,?,?,?,?,?,?,?,?)", -1, &ins, nullptr);
    static const char *notes[] = {"хлеб", "молоко", "бензин", "аренда", "зарплата", "подарок", "кафе", "такси"};
    std::mt19937 rng(seed);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int row = 0;; ++row) {
        if (row % 5000 == 0) {
            sqlite3_exec(db, "COMMIT; BEGIN", nullptr, nullptr, nullptr);
            std::ifstream f(path, std::ios::binary | std::ios::ate);
            if (size_t(f.tellg()) >= size)
                break;
        }
        char date[16];
        std::snprintf(date, sizeof date, "20%02u-%02u-%02u", unsigned(10 + rng() % 15), unsigned(1 + rng() % 12),
                      unsigned(1 + rng() % 28));
        const std::string note = std::string(notes[rng() % 8]) + " " + std::to_string(rng() % 1000);
        sqlite3_bind_int(ins, 1, int(1 + rng() % 6));
        sqlite3_bind_text(ins, 2, date, -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(ins, 3, 40000.0 + row * 0.0001);
        sqlite3_bind_text(ins, 4, rng() % 5 ? "1" : "2", -1, SQLITE_STATIC);
        sqlite3_bind_double(ins, 5, rng() % 4 ? 0.0 : double(rng() % 100000) / 100.0);
        sqlite3_bind_double(ins, 6, double(rng() % 50000) / 100.0);
        sqlite3_bind_int(ins, 7, int(rng() % 40));
        sqlite3_bind_int(ins, 8, int(rng() % 300));
        sqlite3_bind_null(ins, 9);
        sqlite3_bind_double(ins, 10, double(rng() % 10000) / 100.0);
        sqlite3_bind_text(ins, 11, note.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(ins);
    sqlite3_close(db);
    std::ifstream in(path, std::ios::binary);
    TBytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    return data;
}

inline TBytes MixRandom(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    TBytes out(size);
    for (uint8_t &c : out)
        c = uint8_t(rng());
    return out;
}

inline std::vector<TMixPart> BuildMix()
{
    return {{"text", MixText(8u << 20, 1)}, {"sqlite", MixSqlite(8u << 20, 2)}, {"random", MixRandom(4u << 20, 3)}};
}

} // namespace zorbel::bench
