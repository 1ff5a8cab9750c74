// Timing helper shared by the benchmarks.
#pragma once

#include <algorithm>
#include <chrono>

namespace zorbel::bench {

// The shortest wall time of runs calls of run, in seconds.
template <typename F> double BestSeconds(int runs, F run)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace zorbel::bench
