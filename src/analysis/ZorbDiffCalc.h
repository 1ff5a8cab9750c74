// A year by category: for one calendar year the net result (income minus
// expense) of realised operations per category path and month, the row sums
// and an optional totals row (table TbY of the year window).
//
// A row's name is the category path to the chosen level: "Еда", "Еда:Хлеб",
// "Еда:Хлеб:Батон". Operations booked on a category above that level appear
// under the shorter name. A category missing from tb_items gives an empty
// name part, so rows of missing categories merge; merged rows add up.
#pragma once

#include "analysis/ZorbAnalysisTables.h"
#include "platform/sqltable/Database.h"

namespace zorbel {

struct TDiffOptions {
    int Year = 2000;
    int Level = 1;       // 1..3 category levels form a row
    TAccountScope Scope;
    bool Totals = false; // append the totals row (Itm " ", sorted first)
};

struct TDiffOutcome {
    int Count = 0;          // category rows (the totals row not counted)
    int64_t GrandTotal = 0; // sum of the row sums, units of 1/10000
};

// Defines and opens (empty) TbY: Itm, Rs1..Rs12 (labelled with the long month
// names), SmRs; sorted by Itm.
void OpenDiffTable(TVemtMemTable &TbY);

// Empties TbY and fills it for Options.
// Requires: TbY opened by OpenDiffTable.
TDiffOutcome ComputeYearItemTotals(TDatabase &Db, const TDiffOptions &Options, TVemtMemTable &TbY);

} // namespace zorbel
