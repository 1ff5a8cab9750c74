// A month's turnovers per category at a chosen depth of the category tree,
// against the categories' money and quantity limits and the month's planned
// operations (table TabLim of the limits window), and the totals strip
// (table TabSum: one row for money, one for quantities).
//
// Signs: expense turnovers are negative and money limits of expense
// categories are held negative; quantity limits of income categories are
// held negative (an expense operation carries its quantity in Qdt, an income
// operation in Qct). Totals are summed in units of 1/10000.
#pragma once

#include "analysis/ZorbAnalysisTables.h"
#include "platform/sqltable/Database.h"

namespace zorbel {

// What TabLim lists (the contents selector).
enum class TLimContents {
    AllTurnovers = 0,      // "Все Обороты за месяц"
    LimitedTurnovers = 1,  // "Обороты с лимитами": categories with a limit only
    TurnoversAndLimits = 2 // "Все Обороты и Лимиты": also limited categories without turnover
};

struct TLimOptions {
    int Year = 2000, Month = 1; // the month shown
    int Depth = 1;              // 1..3 levels of the category tree
    TAccountScope Scope;
    TLimContents Contents = TLimContents::AllTurnovers;
};

// Defines and opens (empty) TabLim (itm, Lim, Ct, CtP, Dt, DtP, Bal, Rb, RbX,
// the hidden quantity fields QLim .. QRbX, and id_itm, lev, Id_Ref, C) and
// TabSum (itm, SumLimDt .. SumLimPlanCt). TabLim sorts by itm.
void OpenLimTables(TVemtMemTable &TabLim, TVemtMemTable &TabSum);

// Empties TabLim and fills it for Options (unsorted: the caller sorts).
// Requires: TabLim opened by OpenLimTables.
void ComputeLimitTurnovers(TDatabase &Db, const TLimOptions &Options, TVemtMemTable &TabLim);

// Empties TabSum and, when TabLim has rows, appends the rows "Деньги" and
// "Кол-во". Leaves TabLim on its first row.
void ComputeLimitTotals(TVemtMemTable &TabLim, TVemtMemTable &TabSum);

// The percentage of a limit used: Value x 100 / Limit to the nearest integer
// (halves to even).
int LimitPercent(double Value, double Limit);

} // namespace zorbel
