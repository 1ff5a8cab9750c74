// The monthly balances of an account, or of every account of its currency:
// per month the income, the expense, their difference and the running
// balance from the opening balance (table TbRest, one row per month with
// operations), and per year the same months side by side with yearly sums
// and the average balance (table TbY, one row per year).
//
// Only realised operations count; accounts of another currency never enter;
// no rate is applied. The running balance is kept in units of 1/10000.
#pragma once

#include "analysis/ZorbAnalysisTables.h"
#include "platform/sqltable/Database.h"

#include <QStringList>

namespace zorbel {

// Defines and opens (empty) TbRest: y, m, Per (hidden chart label), Dt, Ct,
// Bn, Rest; and TbY: Yr, Dt1/Ct1/Bn1/Rs1 .. Dt12/Ct12/Bn12/Rs12, SmDt, SmCt,
// SmBn, SmRs. Labels and formats are those the grids show.
void OpenRestTables(TVemtMemTable &TbRest, TVemtMemTable &TbY);

// Empties both tables and fills them for Scope. Beg is the current account's
// opening balance; with Scope.SameCurrency the opening balances of every
// account of the currency are summed instead. Returns the years with data,
// ascending, as texts.
// Requires: both tables opened by OpenRestTables, unfiltered.
QStringList ComputeMonthlyBalances(TDatabase &Db, const TAccountScope &Scope, double Beg, TVemtMemTable &TbRest,
                                   TVemtMemTable &TbY);

// The chart label of a month: "янв.05".
QString MonthLabel(int Year, int Month);

} // namespace zorbel
