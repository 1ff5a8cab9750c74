// The number of operations a benchmark builds its data set with: the first
// argument when it is a whole number (10000, 100000, 300000, 1000000 ...),
// else the benchmark's own default. Lets one benchmark print its figures at
// every size without a rebuild.
#pragma once

#include <cstdlib>
#include <cstring>

namespace zorbel::bench {

inline int OperationCount(int argc, char **argv, int fallback)
{
    if (argc > 1 && argv[1][0] >= '1' && argv[1][0] <= '9' && std::strspn(argv[1], "0123456789") == std::strlen(argv[1]))
        return std::atoi(argv[1]);
    return fallback;
}

} // namespace zorbel::bench
