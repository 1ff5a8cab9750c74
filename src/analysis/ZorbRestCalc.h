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
#include "core/ZorbSums.h"
#include "platform/sqltable/Database.h"

#include <QStringList>

#include <map>
#include <optional>

namespace zorbel {

// Defines and opens (empty) TbRest: y, m, Per (hidden chart label), Dt, Ct,
// Bn, Rest; and TbY: Yr, Dt1/Ct1/Bn1/Rs1 .. Dt12/Ct12/Bn12/Rs12, SmDt, SmCt,
// SmBn, SmRs. Labels and formats are those the grids show.
void OpenRestTables(TVemtMemTable &TbRest, TVemtMemTable &TbY);

// Income and expense in units by (year, month), for the months that have a
// realised operation of the scope.
using TRestMonths = std::map<std::pair<int, int>, std::pair<int64_t, int64_t>>;
// From the operations.
TRestMonths MonthsFromQuery(TDatabase &Db, const TAccountScope &Scope);
// The same from the ledger's day sums: at a million operations milliseconds
// instead of a walk of every operation of the scope. Nothing when the sums
// cannot answer exactly (not built, a row of the scope's accounts they do
// not model, transfers to leave out, an account id or a date out of their
// range): the caller asks MonthsFromQuery.
std::optional<TRestMonths> MonthsFromSums(TDatabase &Db, const TAccountScope &Scope, THistSums &Sums);

// Empties both tables and fills them for Scope. Beg is the current account's
// opening balance; with Scope.SameCurrency the opening balances of every
// account of the currency are summed instead. Returns the years with data,
// ascending, as texts. Sums, when given and able to answer, gives the
// months' income and expense instead of a query over the operations.
// Requires: both tables opened by OpenRestTables, unfiltered.
QStringList ComputeMonthlyBalances(TDatabase &Db, const TAccountScope &Scope, double Beg, TVemtMemTable &TbRest,
                                   TVemtMemTable &TbY, THistSums *Sums = nullptr);

// The chart label of a month: "янв.05".
QString MonthLabel(int Year, int Month);

} // namespace zorbel
