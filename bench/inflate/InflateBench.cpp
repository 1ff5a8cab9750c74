// Inflate throughput of the archive's decoder against zlib on the same
// input: a 20 MB mix of text, a SQLite database with many rows and bytes
// that are already compressed, each deflated by zlib at level 6 (raw
// deflate, as in zip entries). Prints MB/s of output and the ratio
// ours/zlib, without and with the CRC-32 that extraction computes.
#include "archive/ZipDecode.h"

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <sqlite3.h>
#include <vector>
#include <zlib.h>

using Bytes = std::vector<uint8_t>;

namespace {

Bytes Text(size_t size)
{
    static const char *const words[] = {"счёт ", "balance ", "the ", "income ", "expense ", "transfer ", "2024-01-31 ",
                                        "1234.56\r\n", "category ", "rate ", "и ", "plan ", "Продукты ", "Зарплата "};
    std::mt19937 rng(1);
    Bytes out;
    while (out.size() < size)
        for (const char *w = words[rng() % 14]; *w && out.size() < size; ++w)
            out.push_back(static_cast<uint8_t>(*w));
    return out;
}

Bytes Database(size_t size)
{
    QTemporaryDir dir;
    const QByteArray name = (dir.path() + "/bench.db").toUtf8();
    sqlite3 *db = nullptr;
    sqlite3_open(name.constData(), &db);
    sqlite3_exec(db, "create table hist(id integer primary key, date_real real, ct real, dt real, level1 int,"
                     " level2 int, comment text); begin;", nullptr, nullptr, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "insert into hist values(?,?,?,?,?,?,?)", -1, &st, nullptr);
    std::mt19937 rng(2);
    static const char *const notes[] = {"хлеб", "молоко", "бензин", "rent", "", "подарок маме", "coffee"};
    for (int i = 0; i < 400000; ++i) {
        sqlite3_bind_int(st, 1, i);
        sqlite3_bind_double(st, 2, 45000 + i / 40);
        sqlite3_bind_double(st, 3, (rng() % 100000) / 100.0);
        sqlite3_bind_double(st, 4, 0);
        sqlite3_bind_int(st, 5, rng() % 30);
        sqlite3_bind_int(st, 6, rng() % 200);
        sqlite3_bind_text(st, 7, notes[rng() % 7], -1, SQLITE_STATIC);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "commit;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    FILE *f = fopen(name.constData(), "rb");
    Bytes out(size);
    out.resize(fread(out.data(), 1, size, f));
    fclose(f);
    return out;
}

Bytes Compressed(size_t size)
{
    // Deflated random-ish text: what a zip of zips holds.
    std::mt19937 rng(3);
    Bytes noise(size * 2);
    for (auto &b : noise)
        b = static_cast<uint8_t>('a' + rng() % 26);
    Bytes out(compressBound(static_cast<uLong>(noise.size())));
    uLongf len = out.size();
    compress2(out.data(), &len, noise.data(), static_cast<uLong>(noise.size()), 9);
    out.resize(std::min<size_t>(len, size));
    return out;
}

Bytes Deflate(const Bytes &data)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, data.size()));
    z.next_in = const_cast<uint8_t *>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct Sample {
    const char *name;
    Bytes plain, packed;
};

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Best of several runs, in seconds.
template <typename F> double Best(F run)
{
    double best = 1e9;
    for (int i = 0; i < 7; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        run();
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - t0));
    }
    return best;
}

} // namespace

int main()
{
    std::vector<Sample> samples;
    samples.push_back({"text", Text(8 << 20), {}});
    samples.push_back({"sqlite", Database(8 << 20), {}});
    samples.push_back({"compressed", Compressed(4 << 20), {}});
    for (Sample &s : samples)
        s.packed = Deflate(s.plain);

    zorbel::TZipDecoder decoder;
    Bytes out(10 << 20);
    size_t outPos = 0;
    decoder.WriteOutput = [&](const uint8_t *b, int64_t n) {
        std::copy_n(b, n, out.data() + outPos);
        outPos += static_cast<size_t>(n);
    };

    double oursTotal = 0, zlibTotal = 0, zlibCrcTotal = 0;
    size_t bytes = 0;
    std::printf("%-11s %9s %9s %10s %12s %7s\n", "input", "MB", "ours MB/s", "zlib MB/s", "zlib+crc MB/s", "ratio");
    for (const Sample &s : samples) {
        const double mb = s.plain.size() / 1e6;
        const double ours = Best([&] {
            size_t inPos = 0;
            decoder.ReadArchive = [&](uint8_t *b, int64_t n) {
                const size_t k = std::min(s.packed.size() - inPos, static_cast<size_t>(n));
                std::copy_n(s.packed.data() + inPos, k, b);
                inPos += k;
                return static_cast<int64_t>(k);
            };
            outPos = 0;
            decoder.Begin(static_cast<int64_t>(s.packed.size()), static_cast<int64_t>(s.plain.size()), false);
            decoder.Decode(8, 0);
        });
        if (decoder.Failed() || outPos != s.plain.size() || !std::equal(s.plain.begin(), s.plain.end(), out.begin())) {
            std::printf("%s: our output differs\n", s.name);
            return 1;
        }
        auto zlibRun = [&](bool crc) {
            z_stream z{};
            inflateInit2(&z, -15);
            z.next_in = const_cast<uint8_t *>(s.packed.data());
            z.avail_in = static_cast<uInt>(s.packed.size());
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            inflate(&z, Z_FINISH);
            inflateEnd(&z);
            if (crc)
                (void)crc32(0, out.data(), static_cast<uInt>(z.total_out));
        };
        const double zl = Best([&] { zlibRun(false); });
        const double zlc = Best([&] { zlibRun(true); });
        std::printf("%-11s %9.1f %9.0f %10.0f %12.0f %7.2f\n", s.name, mb, mb / ours, mb / zl, mb / zlc, zlc / ours);
        oursTotal += ours;
        zlibTotal += zl;
        zlibCrcTotal += zlc;
        bytes += s.plain.size();
    }
    const double mb = bytes / 1e6;
    std::printf("%-11s %9.1f %9.0f %10.0f %12.0f %7.2f\n", "all", mb, mb / oursTotal, mb / zlibTotal, mb / zlibCrcTotal,
                zlibCrcTotal / oursTotal);
    std::printf("ratio ours/zlib without CRC on zlib's side: %.2f (ours always computes the CRC)\n", zlibTotal / oursTotal);

    // The CRC alone, over the text sample.
    const Bytes &text = samples[0].plain;
    uint32_t sink = 0;
    const double ourCrc = Best([&] { sink ^= zorbel::Crc32Of(text.data(), text.size()); });
    const double zlibCrc = Best([&] { sink ^= static_cast<uint32_t>(crc32(0, text.data(), static_cast<uInt>(text.size()))); });
    std::printf("CRC-32 MB/s: ours %.0f, zlib %.0f (%08x)\n", text.size() / 1e6 / ourCrc, text.size() / 1e6 / zlibCrc, sink);
    return 0;
}
