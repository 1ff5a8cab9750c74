// Throughput and output size of our deflate against zlib's and libdeflate's
// at levels 1, 6 and 9 on the 20 MB mix, each part compressed as one file
// (as the zip writer does). Every contender's output is first inflated by
// zlib and compared with the input; then the contenders run interleaved,
// round after round, and the table gives each one's minimum and median.
#include "BenchMix.h"
#include "BenchTiming.h"
#include "ZlibRaw.h"

#include "archive/Deflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <memory>

using namespace zorbel;
using namespace zorbel::bench;

namespace {

constexpr int Rounds = 7;

class TMemoryIO : public TDeflateIO {
public:
    TMemoryIO(const TBytes &input, TBytes &output) : input_(input), output_(output) {}
    int ReadInput(uint8_t *buffer, int count) override
    {
        const size_t n = std::min(size_t(count), input_.size() - pos_);
        std::memcpy(buffer, input_.data() + pos_, n);
        pos_ += n;
        return int(n);
    }
    void WriteOutput(uint8_t *buffer, int count) override
    {
        std::memcpy(output_.data() + fill_, buffer, size_t(count));
        fill_ += size_t(count);
    }

private:
    const TBytes &input_;
    TBytes &output_;
    size_t pos_ = 0;
    size_t fill_ = 0;
};

// One compressor: deflates Input into Out (large enough) and returns the
// bytes written.
using TCompress = std::function<size_t(const TBytes &Input, TBytes &Out)>;

TCompress Ours(int level)
{
    auto tables = std::make_shared<TDeflateTables>();
    auto buffers = std::make_shared<TDeflateBuffers>();
    return [=](const TBytes &input, TBytes &out) {
        TMemoryIO io(input, out);
        TDeflateEntry entry;
        return size_t(DeflateFile(io, level, *tables, *buffers, entry));
    };
}

TCompress Zlib(int level)
{
    return [=](const TBytes &input, TBytes &out) {
        return ZlibDeflateRaw(input.data(), input.size(), level, out.data(), out.size());
    };
}

TCompress Libdeflate(int level)
{
    std::shared_ptr<libdeflate_compressor> c(libdeflate_alloc_compressor(level), libdeflate_free_compressor);
    return [=](const TBytes &input, TBytes &out) {
        return libdeflate_deflate_compress(c.get(), input.data(), input.size(), out.data(), out.size());
    };
}

// zlib's raw inflate of Packed must give Plain back.
bool InflatesTo(const TBytes &packed, const TBytes &plain)
{
    TBytes out(plain.size() + 1);
    size_t n = 0;
    return ZlibInflateRaw(packed.data(), packed.size(), out.data(), out.size(), n) && n == plain.size()
        && std::equal(plain.begin(), plain.end(), out.begin());
}

} // namespace

int main()
{
    const std::vector<TMixPart> mix = BuildMix();
    size_t inputBytes = 0, largest = 0;
    for (const TMixPart &p : mix) {
        inputBytes += p.Data.size();
        largest = std::max(largest, p.Data.size());
        std::printf("%-10s %9zu bytes\n", p.Name.c_str(), p.Data.size());
    }
    TBytes out(largest + largest / 100 + 4096);
    const double mb = double(inputBytes) / 1e6;
    std::printf("\n%d interleaved rounds; MB/s from the minimum and the median time\n", Rounds);
    std::printf("level  contender    min MB/s  median MB/s  ours speed x (median)       bytes  size vs ours\n");
    for (int level : {1, 6, 9}) {
        const std::pair<const char *, TCompress> compressors[] = {
            {"ours", Ours(level)}, {"zlib", Zlib(level)}, {"libdeflate", Libdeflate(level)}};
        std::vector<TContender> contenders;
        std::vector<size_t> sizes;
        for (const auto &[name, compress] : compressors) {
            size_t total = 0;
            for (const TMixPart &part : mix) {
                const size_t n = compress(part.Data, out);
                if (!InflatesTo(TBytes(out.begin(), out.begin() + long(n)), part.Data)) {
                    std::printf("%s at level %d: %s does not inflate back\n", name, level, part.Name.c_str());
                    return 1;
                }
                total += n;
            }
            sizes.push_back(total);
            contenders.push_back({name, [&mix, &out, compress = compress] {
                                      for (const TMixPart &part : mix)
                                          compress(part.Data, out);
                                  }, {}});
        }
        RunInterleaved(contenders, Rounds);
        const double ourMedian = contenders[0].Median();
        for (size_t i = 0; i < contenders.size(); ++i) {
            const TContender &c = contenders[i];
            std::printf("%5d  %-10s  %10.1f  %11.1f  %21.2f  %10zu  %12.3f\n", level, c.Name.c_str(), mb / c.Min(),
                        mb / c.Median(), c.Median() / ourMedian, sizes[i], double(sizes[i]) / double(sizes[0]));
        }
    }
    return 0;
}
