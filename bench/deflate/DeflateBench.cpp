// Throughput and output size of our deflate against zlib's at levels 1, 6
// and 9 on the 20 MB mix, each part compressed as one file (as the zip writer
// does). Each figure is the best of three runs.
#include "BenchMix.h"

#include "archive/Deflate.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

using namespace zorbel;
using namespace zorbel::bench;

namespace {

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

template <typename F> double BestSeconds(F f)
{
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

size_t Ours(const std::vector<TMixPart> &mix, int level, TDeflateTables &tables, TDeflateBuffers &buffers,
            TBytes &out)
{
    size_t total = 0;
    for (const TMixPart &part : mix) {
        TMemoryIO io(part.Data, out);
        TDeflateEntry entry;
        total += size_t(DeflateFile(io, level, tables, buffers, entry));
    }
    return total;
}

size_t Zlib(const std::vector<TMixPart> &mix, int level, TBytes &out)
{
    size_t total = 0;
    for (const TMixPart &part : mix) {
        z_stream z{};
        deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        z.next_in = const_cast<Bytef *>(part.Data.data());
        z.avail_in = uInt(part.Data.size());
        z.next_out = out.data();
        z.avail_out = uInt(out.size());
        deflate(&z, Z_FINISH);
        total += z.total_out;
        deflateEnd(&z);
    }
    return total;
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
    TDeflateTables tables;
    auto buffers = std::make_unique<TDeflateBuffers>();
    const double mb = double(inputBytes) / 1e6;

    std::printf("\nlevel  ours MB/s  zlib MB/s  speed ours/zlib  ours bytes  zlib bytes  size ours/zlib\n");
    for (int level : {1, 6, 9}) {
        size_t ourSize = 0, zlibSize = 0;
        const double ourTime = BestSeconds([&] { ourSize = Ours(mix, level, tables, *buffers, out); });
        const double zlibTime = BestSeconds([&] { zlibSize = Zlib(mix, level, out); });
        std::printf("%5d  %9.1f  %9.1f  %15.2f  %10zu  %10zu  %14.3f\n", level, mb / ourTime, mb / zlibTime,
                    zlibTime / ourTime, ourSize, zlibSize, double(ourSize) / double(zlibSize));
    }
    return 0;
}
