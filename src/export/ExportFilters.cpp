#include "export/ExportFilters.h"

#include "report/RepFilter.h"

namespace zorbel {

void RegisterExportFilters()
{
    // Each writer adds its line here, in the order the Save dialog lists them.
}

} // namespace zorbel
