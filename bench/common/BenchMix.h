// The 20 MB benchmark mix of the archive, the same inputs bench/inflate
// compresses: 8 MB of ledger-like text (Latin and Cyrillic words, amounts,
// dates), the first 8 MB of a SQLite database with 400000 operation rows, and
// 4 MB of already deflated bytes (incompressible). Built deterministically.
#pragma once

#include <QTemporaryDir>
#include <sqlite3.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace zorbel::bench {

using TBytes = std::vector<uint8_t>;

struct TMixPart {
    std::string Name;
    TBytes Data;
};

inline TBytes MixText(size_t size)
{
    static const char *const words[] = {"счёт ", "balance ", "the ", "income ", "expense ", "transfer ", "2024-01-31 ",
                                        "1234.56\r\n", "category ", "rate ", "и ", "plan ", "Продукты ", "Зарплата "};
    std::mt19937 rng(1);
    TBytes out;
    while (out.size() < size)
        for (const char *w = words[rng() % std::size(words)]; *w && out.size() < size; ++w)
            out.push_back(uint8_t(*w));
    return out;
}

inline TBytes MixDatabase(size_t size)
{
    QTemporaryDir dir;
    const QByteArray name = (dir.path() + "/bench.db").toUtf8();
    sqlite3 *db = nullptr;
    sqlite3_open(name.constData(), &db);
    sqlite3_exec(db,
                 "create table hist(id integer primary key, date_real real, ct real, dt real, level1 int,"
                 " level2 int, comment text); begin;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db, "insert into hist values(?,?,?,?,?,?,?)", -1, &insert, nullptr);
    static const char *const notes[] = {"хлеб", "молоко", "бензин", "rent", "", "подарок маме", "coffee"};
    std::mt19937 rng(2);
    for (int row = 0; row < 400000; ++row) {
        sqlite3_bind_int(insert, 1, row);
        sqlite3_bind_double(insert, 2, 45000 + row / 40);
        sqlite3_bind_double(insert, 3, double(rng() % 100000) / 100.0);
        sqlite3_bind_double(insert, 4, 0);
        sqlite3_bind_int(insert, 5, int(rng() % 30));
        sqlite3_bind_int(insert, 6, int(rng() % 200));
        sqlite3_bind_text(insert, 7, notes[rng() % std::size(notes)], -1, SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "commit;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    TBytes out(size);
    if (FILE *f = std::fopen(name.constData(), "rb")) {
        out.resize(std::fread(out.data(), 1, size, f));
        std::fclose(f);
    }
    return out;
}

// Random letters deflated by zlib: bytes that do not compress again.
inline TBytes MixCompressed(size_t size)
{
    std::mt19937 rng(3);
    TBytes letters(size * 2);
    for (uint8_t &b : letters)
        b = uint8_t('a' + rng() % 26);
    TBytes out(compressBound(uLong(letters.size())));
    uLongf length = uLongf(out.size());
    compress2(out.data(), &length, letters.data(), uLong(letters.size()), 9);
    out.resize(std::min<size_t>(length, size));
    return out;
}

inline std::vector<TMixPart> BuildMix()
{
    return {{"text", MixText(8u << 20)}, {"sqlite", MixDatabase(8u << 20)}, {"compressed", MixCompressed(4u << 20)}};
}

} // namespace zorbel::bench
