// TQrs: the printout of the results window's grouped totals (portrait): the
// chosen distribution and conditions in the title, one line per group with
// income, expense and result, their sums and the opening and closing
// balances.
#pragma once

#include "analysis/ZorbPrnKit.h"
#include "analysis/ZorbPrnFilters.h"
#include "memtable/VemtMemTable.h"

#include <memory>

namespace zorbel {

class TQrs : public TBandReport {
public:
    // dataSet: the grouped totals the report runs over (may be null).
    explicit TQrs(TDataSet *dataSet = nullptr);
    // A run on its own thread still going ends before Rows is freed.
    ~TQrs() override;

    // The rows the report runs over when it owns them (a snapshot of a
    // window's totals, SnapshotDataSet); null when it runs over the dataset
    // it was given.
    std::unique_ptr<TVemtMemTable> Rows;

    TRepBand *RepBand1, *RepBand5, *RepBand2, *RepBand3, *RepBand4;
    TRepSysData *RepSysData4, *RepSysData2, *RepSysData5;
    TRepLabel *RepLItm, *RepLAcc, *RepLPers, *RepLFirm;
    TRepShape *RepShape1, *RepShape2;
    TRepLabel *RepLSdt, *RepLSct, *RepLSrs;
    TRepLabel *RepLComm, *RepLDt, *RepLCt, *RepLPrice, *RepLRate, *RepLQDt, *RepLQct;
    TRepLabel *RepL, *RepLBeg, *RepLEnd;
    TRepDBText *RepDBName, *RepDBDt, *RepDBCt, *RepDBRs;
    TRepExpr *RepEDt, *RepECt, *RepERs;
    TPrintoutFilters Filters;
};

} // namespace zorbel
