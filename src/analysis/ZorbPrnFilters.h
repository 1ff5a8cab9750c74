// The export writers a printout layout carries: while a layout lives, its
// preview offers these file types.
#pragma once

#include "export/ExportHtml.h"
#include "export/ExportRtf.h"
#include "export/ExportText.h"
#include "export/ExportXls.h"

namespace zorbel {

struct TPrintoutFilters {
    TRepTextFilter RepTextFilter1;
    TRepCSVFilter RepCSVFilter1;
    TRepHTMLFilter RepHTMLFilter1;
    TRepExcelFilter RepExcelFilter1;
    TRepRTFFilter RepRTFFilter1;
    TRepWMFFilter RepWMFFilter1;
};

} // namespace zorbel
