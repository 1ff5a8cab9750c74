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

#include "memtable/VemtMemTable.h"
#include "platform/rtl/DateTime.h"

#include <QString>

#include <array>
#include <cstdint>

namespace zorbel {

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

// Appends a row of TabDyn per row of Source, in Source's order. Source is one
// of the day, month or year queries (fields date_real | yr,mn | yr, then dt ct
// price dty cty pricey rate qdt qct); Unit is duDays, duMonths or duYears.
// Requires: TabDyn open (OpenDynTable), Source open.
// A row without a label is dropped; a row that fails to post is cancelled.
void FillDynamicRows(TDataSet &Source, int Unit, const TDynOpening &Opening, TDataSet &TabDyn);

// Appends a row of TabDyn per week of the day query's rows: a week runs from
// a day with operations while the following days are within 7 days of it,
// not a Monday, and not earlier in the week than it. Sums in 1/10000; price,
// pricey and rate averaged over the days where they are not 0; a week whose
// sums are all 0 gives no row; vr is the week's first day with operations.
// Requires: TabDyn open, Qday open.
void FillWeekRows(TDataSet &Qday, const TDynOpening &Opening, TDataSet &TabDyn);

} // namespace zorbel
