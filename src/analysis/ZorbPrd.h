// TQprd: the printout of the results window's dynamics table (landscape):
// one line per period with money, common-unit and quantity columns and
// their sums. The data set is given at run time.
#pragma once

#include "analysis/ZorbPrnKit.h"
#include "analysis/ZorbPrnFilters.h"

#include <vector>

namespace zorbel {

class TQprd : public TBandReport {
public:
    TQprd();

    TRepBand *RepBand1, *RepBand3, *RepBandet, *RepBand5;
    TRepLabel *RepLDate, *RepLQ1, *RepLQ2;
    TRepSysData *RepSysData1;
    TRepDBText *RepDBDate;
    std::vector<TRepDBText *> DetailTexts; // every data printable of the detail band, RepDBDate first
    std::vector<TRepExpr *> Sums;
    TPrintoutFilters Filters;
    // Runs over dataSet: the controller, the expressions and every data
    // printable of the detail band read it.
    void SetDataSet(TDataSet *dataSet);
};

} // namespace zorbel
