// Timing of benchmark contenders. A round runs every contender once, in
// turn, so that a slow spell of the shared machine falls on all of them
// alike; after all rounds each contender's figures are the minimum (what the
// code can do) and the median (what it usually does).
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace zorbel::bench {

struct TContender {
    std::string Name;
    std::function<void()> Run;
    std::vector<double> Seconds; // one per round

    double Min() const { return *std::min_element(Seconds.begin(), Seconds.end()); }
    double Median() const
    {
        std::vector<double> sorted = Seconds;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
};

// Requires: Rounds > 0 and every contender's Run set. Settle, when set, runs
// untimed after each contender (work a contender leaves behind, such as
// pending painting, that must not fall on the next one).
inline void RunInterleaved(std::vector<TContender> &Contenders, int Rounds, const std::function<void()> &Settle = {})
{
    for (int round = 0; round < Rounds; ++round)
        for (TContender &c : Contenders) {
            const auto t0 = std::chrono::steady_clock::now();
            c.Run();
            c.Seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
            if (Settle)
                Settle();
        }
}

} // namespace zorbel::bench
