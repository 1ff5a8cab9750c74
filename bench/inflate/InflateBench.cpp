// Inflate throughput of the archive's decoder against zlib and libdeflate on
// the same input: the 20 MB mix of the deflate benchmark (text, a SQLite
// database with many rows, bytes that are already compressed), each part
// deflated by zlib at level 1 (raw deflate, as the program saves data files;
// ZORBEL_BENCH_LEVEL=6 for other archives). Our decoder always computes the
// CRC-32 that extraction checks, so the others run with and without it.
// "ours, blocks" is the extraction's path: it decodes through its window and
// each block handed on is copied into the output, as extraction gathers them
// for the file; "ours" decodes straight into the output buffer, as
// libdeflate does (UseOutputBuffer, as DecodeBuffer does). The headline
// ratio is the extraction's path against libdeflate with CRC. Contenders run
// interleaved, round after round; MB/s of output from the minimum and the
// median time.
#include "BenchMix.h"
#include "BenchTiming.h"
#include "ZlibRaw.h"

#include "archive/ZipCrc.h"
#include "archive/ZipDecode.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace zorbel::bench;

namespace {

int Rounds = 9; // or the first argument

int Level = 1; // or ZORBEL_BENCH_LEVEL

TBytes Deflate(const TBytes &data)
{
    TBytes out(compressBound(uLong(data.size())));
    out.resize(ZlibDeflateRaw(data.data(), data.size(), Level, out.data(), out.size()));
    return out;
}

struct TSample {
    std::string Name;
    TBytes Plain, Packed;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1)
        Rounds = std::max(1, std::atoi(argv[1]));
    if (const char *level = std::getenv("ZORBEL_BENCH_LEVEL"))
        Level = std::clamp(std::atoi(level), 1, 9);
    std::vector<TSample> samples;
    for (TMixPart &part : BuildMix())
        samples.push_back({part.Name, std::move(part.Data), {}});
    for (TSample &s : samples)
        s.Packed = Deflate(s.Plain);

    zorbel::TZipDecoder decoder;
    TBytes out(10 << 20);
    size_t outPos = 0;
    decoder.WriteOutput = [&](const uint8_t *b, int64_t n) {
        if (b != out.data() + outPos) // a block not already in place
            std::copy_n(b, n, out.data() + outPos);
        outPos += static_cast<size_t>(n);
    };
    std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor *)> ld(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    uint32_t sink = 0;

    std::printf("streams deflated at level %d; %d interleaved rounds; MB/s of output from the minimum / the median "
                "time\n",
                Level, Rounds);
    std::printf("%-11s %6s %13s %13s %13s %13s %13s %13s %9s %9s %9s\n", "input", "MB", "ours(+crc)", "blocks(+crc)",
                "zlib", "zlib+crc", "libdeflate", "libdefl+crc", "ours/zlib", "ours/libd", "blks/libd");
    std::vector<double> totals(6, 0.0);
    size_t bytes = 0;
    for (const TSample &s : samples) {
        const auto ours = [&](bool direct) {
            size_t inPos = 0;
            decoder.ReadArchive = [&](uint8_t *b, int64_t n) {
                const size_t k = std::min(s.Packed.size() - inPos, static_cast<size_t>(n));
                std::copy_n(s.Packed.data() + inPos, k, b);
                inPos += k;
                return static_cast<int64_t>(k);
            };
            outPos = 0;
            decoder.Begin(static_cast<int64_t>(s.Packed.size()), static_cast<int64_t>(s.Plain.size()), false);
            if (direct)
                decoder.UseOutputBuffer(out.data(), out.size());
            decoder.Decode(8, 0);
        };
        const auto zlib = [&](bool crc) {
            ZlibInflateRaw(s.Packed.data(), s.Packed.size(), out.data(), out.size(), outPos);
            if (crc)
                sink ^= static_cast<uint32_t>(crc32(0, out.data(), static_cast<uInt>(outPos)));
        };
        const auto libdeflate = [&](bool crc) {
            size_t n = 0;
            libdeflate_deflate_decompress(ld.get(), s.Packed.data(), s.Packed.size(), out.data(), out.size(), &n);
            outPos = n;
            if (crc)
                sink ^= libdeflate_crc32(0, out.data(), n);
        };
        std::vector<TContender> contenders{{"ours", [&] { ours(true); }, {}},
                                           {"ours, blocks", [&] { ours(false); }, {}},
                                           {"zlib", [&] { zlib(false); }, {}},
                                           {"zlib+crc", [&] { zlib(true); }, {}},
                                           {"libdeflate", [&] { libdeflate(false); }, {}},
                                           {"libdeflate+crc", [&] { libdeflate(true); }, {}}};
        // Every contender must give the input back before it is timed.
        for (TContender &c : contenders) {
            c.Run();
            if (outPos != s.Plain.size() || !std::equal(s.Plain.begin(), s.Plain.end(), out.begin())) {
                std::printf("%s: %s output differs\n", s.Name.c_str(), c.Name.c_str());
                return 1;
            }
        }
        RunInterleaved(contenders, Rounds);
        const double mb = s.Plain.size() / 1e6;
        std::printf("%-11s %6.1f", s.Name.c_str(), mb);
        for (size_t i = 0; i < contenders.size(); ++i) {
            std::printf(" %6.0f/%6.0f", mb / contenders[i].Min(), mb / contenders[i].Median());
            totals[i] += contenders[i].Median();
        }
        std::printf(" %9.2f %9.2f %9.2f\n", contenders[3].Median() / contenders[0].Median(),
                    contenders[5].Median() / contenders[0].Median(), contenders[5].Median() / contenders[1].Median());
        bytes += s.Plain.size();
    }
    const double mb = bytes / 1e6;
    std::printf("%-11s %6.1f", "all", mb);
    for (double t : totals)
        std::printf(" %13.0f", mb / t);
    std::printf(" %9.2f %9.2f %9.2f  (medians; ratios are ours' speed against the others with CRC)\n",
                totals[3] / totals[0], totals[5] / totals[0], totals[5] / totals[1]);
    std::printf("extraction's path (blocks, CRC) against libdeflate with CRC, level %d: %.2fx of its speed\n", Level,
                totals[5] / totals[1]);

    // The CRC alone, over the text sample: ours (folding where the processor
    // can), ours with the table code only, zlib, libdeflate.
    const TBytes &text = samples[0].Plain;
    std::vector<TContender> crcs{
        {"ours", [&] { sink ^= zorbel::Crc32Of(text.data(), text.size()); }, {}},
        {"ours, tables", [&] { sink ^= ~zorbel::UpdateCrcPortable(0xFFFFFFFFu, text.data(), text.size()); }, {}},
        {"zlib", [&] { sink ^= static_cast<uint32_t>(crc32(0, text.data(), static_cast<uInt>(text.size()))); }, {}},
        {"libdeflate", [&] { sink ^= libdeflate_crc32(0, text.data(), text.size()); }, {}}};
    RunInterleaved(crcs, Rounds * 3);
    std::printf("CRC-32 over %.1f MB, GB/s from the minimum / the median time:", text.size() / 1e6);
    for (const TContender &c : crcs)
        std::printf(" %s %.1f/%.1f;", c.Name.c_str(), text.size() / 1e9 / c.Min(), text.size() / 1e9 / c.Median());
    std::printf(" ours/libdeflate %.2f (median) [%08x]\n", crcs[3].Median() / crcs[0].Median(), sink);
    return 0;
}
