// The failure of a ZORBEL_ASSERT: the broken invariant on stderr, then abort.
#include "platform/rtl/Assert.h"

#include <cstdio>
#include <cstdlib>

namespace zorbel {

void AssertFailed(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}

} // namespace zorbel
