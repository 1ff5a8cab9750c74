// TQHist: the printout of the results window's operations list (landscape):
// account and period in the title, one line per operation, sums of money
// and quantities, and the balances in money, common unit and quantity.
#pragma once

#include "analysis/ZorbPrnKit.h"
#include "analysis/ZorbPrnFilters.h"

namespace zorbel {

class TQHist : public TBandReport {
public:
    explicit TQHist(TDataSet *dataSet = nullptr);

    TRepBand *RepBand1, *RepBand2, *RepBand3, *RepBand4, *RepBand5;
    TRepSysData *RepSysData3, *RepSysData2, *RepSysData4, *RepSysData1;
    TRepLabel *RepLacc, *RepLPer, *RepLRes;
    TRepLabel *RepLabDate, *RepLabDt, *RepLabCt, *RepLabPrice, *RepLabQdt, *RepLabQct, *RepLabPers, *RepLabFirm,
        *RepLabCom;
    TRepDBText *RepDBDate, *RepDBText1, *RepDBText6, *RepDBText5, *RepDBText7, *RepDBQ1, *RepDBQ2, *RepDBText10,
        *RepDBText11, *RepDBText12;
    TRepExpr *RepEDt, *RepExpr1, *RepExpr4, *RepEQ1, *RepEQ2, *RepEQ;
    TRepLabel *RepL, *RepLq, *RepLy;
    TPrintoutFilters Filters;
};

} // namespace zorbel
