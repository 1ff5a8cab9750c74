// Window-free core of the results window's dynamics: the rows of TabDyn, one
// per day, week, month or year of the operations that pass the window's
// period and conditions, with income, expense, their difference, the running
// balance from the opening balance, averages, rate and quantities, in the
// account currency and in the common unit ("у.е.").
//
// TabDyn fields, in order:
//   vr (string 15: the unit's label) dt ct bal rest price dty cty baly resty
//   pricey rate qdt qct (floats) dw (hidden: 1 Sunday, 7 Saturday, else null)
//
// Running balances R (money) and RY (common unit) are held in 1/10000 and
// advanced by each row's bal and baly, each rounded to the nearest unit
// (halves to even), so a row's rest is the opening balance plus the sum of
// bal of every row up to it.
#pragma once

#include "analysis/ZorbRstQuery.h"
#include "memtable/VemtMemTable.h"
#include "platform/rtl/DateTime.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace zorbel {

class TDatabase;
class TQuery;

// The period units, in the order the unit box lists them.
enum TDynUnit : int { duDays = 0, duWeeks = 1, duMonths = 2, duYears = 3, duCenturies = 4 };

// A value kind of the dynamics charts: its caption in the kind box and the
// TabDyn field charted.
struct TDynKind {
    const char *Caption;
    const char *Field;
};

// Kind box index | caption | charted field
inline constexpr std::array<TDynKind, 13> DynKinds{{
    {"Расход", "ct"},      // 0
    {"Приход", "dt"},      // 1
    {"Баланс", "bal"},     // 2
    {"Остаток", "rest"},   // 3
    {"Цена", "price"},     // 4
    {"Расх. у.е.", "cty"}, // 5
    {"Прих. у.е.", "dty"}, // 6
    {"Бал-с у.е.", "baly"},  // 7
    {"Ост-к у.е.", "resty"}, // 8
    {"Цена у.е.", "pricey"}, // 9
    {"Курс", "rate"},      // 10
    {"Кол-во++", "qdt"},   // 11
    {"Кол-во --", "qct"},  // 12
}};

// The unit box's items: "Дни", "Недели", "Месяцы", "Годы", "Века...".
QString DynUnitName(int Unit);
// The filter text of a value kind: "rest<>null and rest<>0".
QString DynFilterText(int Kind);

// Closes TabDyn, defines its fields and opens it empty; vr is headed Title.
void OpenDynTable(TVemtMemTable &TabDyn, const QString &Title);

// Row labels: a day "dd.mm.yy ddd"; a month the short month name + "." +
// the year's last two digits ("" for a month outside 1..12).
QString DynDayLabel(TDateTime Date);
QString DynMonthLabel(int Year, int Month);
// Weekday counted Monday = 1 .. Sunday = 7.
int DynWeekday(TDateTime Date);

// Opening balances R and RY in 1/10000.
struct TDynOpening {
    int64_t Amount = 0;
    int64_t Common = 0;
};

// One row of the day, month or year query: its date (days) or its year and
// month, and its values dt ct price dty cty pricey rate qdt qct, null where
// the query gives null.
struct TDynSourceRow {
    std::optional<TDateTime> Date;
    std::optional<int> Yr, Mn;
    std::array<std::optional<double>, 9> Values;
    bool operator==(const TDynSourceRow &) const = default;
};
using TDynSource = std::vector<TDynSourceRow>;

// The rows of an open day, month or year query (fields date_real | yr,mn |
// yr, then the nine values), in its order; Unit is duDays, duMonths or duYears.
TDynSource ReadDynSource(TDataSet &Source, int Unit);

// The rows the day (duDays), month (duMonths) or year (duYears) query of the
// conditions Sql over D1..D2 gives, computed in one pass over the matching
// operations that folds them in memory by date, month or year, instead of
// the engine sorting every operation by its group first: at a million
// operations the sort took seconds. The engine still selects the rows (the
// same condition lines and bound values) and computes each row's terms
// (price*10, dt/rate, ...); the pass adds them as the engine's sum and avg
// do, group by group in ascending order with the null date first.
// Nothing when a value appears that the pass does not fold the way the
// engine does (text or blob where a number or null is expected, a date that
// is not a whole day, a year or month that is not a whole number, a whole
// sum past 64 bits): the caller runs the query instead.
std::optional<TDynSource> FoldDynSource(TDatabase &Db, const TRstSql &Sql, int Unit, TDateTime D1, TDateTime D2);

// True when the engine reads the rows of Query (a grouped query of the
// window, text and parameters set) in the order of its groups, adding them
// up as it reads them: the day query of a period whose conditions leave the
// engine to the date index. Then the grouped query costs no more than the
// fold and adds the rows in the same order. False when it would sort the
// rows first (another index chosen for a condition, the month and year
// groups) or when its plan cannot be read: the caller folds.
bool GroupsWithoutSort(TQuery &Query);

// Appends a row of TabDyn per row of Source, in Source's order; Unit is
// duDays, duMonths or duYears.
// Requires: TabDyn open (OpenDynTable).
// A row without a label is dropped; a row that fails to post is cancelled.
void FillDynamicRows(const TDynSource &Source, int Unit, const TDynOpening &Opening, TDataSet &TabDyn);
// The same from an open day, month or year query.
void FillDynamicRows(TDataSet &Source, int Unit, const TDynOpening &Opening, TDataSet &TabDyn);

// Appends a row of TabDyn per week of the day query's rows: a week runs from
// a day with operations while the following days are within 7 days of it,
// not a Monday, and not earlier in the week than it. Sums in 1/10000; price,
// pricey and rate averaged over the days where they are not 0; a week whose
// sums are all 0 gives no row; vr is the week's first day with operations.
// Requires: TabDyn open; Days the day query's rows.
void FillWeekRows(const TDynSource &Days, const TDynOpening &Opening, TDataSet &TabDyn);
// The same from the open day query.
void FillWeekRows(TDataSet &Qday, const TDynOpening &Opening, TDataSet &TabDyn);

} // namespace zorbel
