// The export writers a printout layout carries: while a layout lives, its
// preview offers these file types.
#pragma once

namespace zorbel {

struct TPrintoutFilters {
};

} // namespace zorbel
