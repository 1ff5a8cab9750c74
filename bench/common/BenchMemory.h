// The process's resident memory, read from /proc/self/status (Linux).
//
// The peak is the VmHWM of the process's own address space: getrusage's
// ru_maxrss survives exec, so a child started by a large benchmark process
// would report its parent's size at the fork instead of its own.
#pragma once

#include <cstdio>

namespace zorbel::bench {

struct TResident {
    double NowMiB = 0;
    double PeakMiB = 0;
};

inline TResident Resident()
{
    TResident r;
    FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return r;
    char line[256];
    long rss = 0, peak = 0;
    while (std::fgets(line, sizeof line, status)) {
        std::sscanf(line, "VmRSS: %ld", &rss);
        std::sscanf(line, "VmHWM: %ld", &peak);
    }
    std::fclose(status);
    r.NowMiB = rss / 1024.0;
    r.PeakMiB = peak / 1024.0;
    return r;
}

} // namespace zorbel::bench
