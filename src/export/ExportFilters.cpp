#include "export/ExportFilters.h"

#include "export/ExportHtml.h"
#include "export/ExportRtf.h"
#include "export/ExportText.h"
#include "export/ExportXls.h"
#include "report/RepFilter.h"

#include <algorithm>

namespace zorbel {

namespace {

void AddOnce(TRepExportFilterClass writer)
{
    TRepExportFilterLibrary &library = ExportFilterLibrary();
    const auto &r = library.Registered();
    if (std::none_of(r.begin(), r.end(), [&](const TRepExportFilterLibraryEntry &e) { return e.WriterClass == writer; }))
        library.AddFilter(writer);
}

} // namespace

void RegisterExportFilters()
{
    // In the order the Save dialog lists them.
    AddOnce(&MakeRepExportFilter<TRepAsciiExportFilter>);
    AddOnce(&MakeRepExportFilter<TRepCommaSeparatedFilter>);
    AddOnce(&MakeRepExportFilter<TRepGHTMLDocumentFilter>);
    AddOnce(&MakeRepExportFilter<TRepXLSFilter>);
    AddOnce(&MakeRepExportFilter<TRepRTFExportFilter>);
    AddOnce(&MakeRepExportFilter<TRepWMFExportFilter>);
}

} // namespace zorbel
