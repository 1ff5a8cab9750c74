// The ledger without its window: the viewed period and the steps of the
// working date, the key range that restricts the operations table to one
// account and period, the account's totals with the self-repair of its stored
// balance, the display formats, and the exchange of two operations' places
// within their day.
//
// Money is handled in units of 1/10000 (Money.h); dates are day serials.
// The period kinds are the positions of the main window's period combo:
//   0 whole period, 1 year, 2 quarter, 3 month, 4 week, 5 day.
#pragma once

#include "core/ZorbSums.h"
#include "platform/rtl/DateTime.h"

#include <QString>
#include <cstdint>

namespace zorbel {

class TDm;
class TTable;

enum TPeriodKind : int { pkTotal = 0, pkYear, pkQuarter, pkMonth, pkWeek, pkDay };

struct TPeriod {
    TDateTime Begin = 0; // first day, included
    TDateTime End = 0;   // last day, included
};

// The period of a kind around the working date (whole days). A kind outside
// 0..5 is taken as the whole period, AllBegin..AllEnd.
TPeriod LedgerPeriod(int Kind, TDateTime EntryDate, TDateTime AllBegin, TDateTime AllEnd);

// The step commands of the working date, by the sender's Tag:
// 1 one day back, 2 one day ahead, 3 one period back, 4 one period ahead.
// A period step moves by calendar months for year (12), quarter (3) and month
// (1), keeping the day clipped to the month's length; week by 7 days, day by
// 1; in the whole-period view both period steps go to Today. Other tags give
// EntryDate unchanged.
TDateTime StepEntryDate(int Kind, TDateTime EntryDate, int Tag, TDateTime Today);

// "0.0000" for 1 ... "0" for 5, "0.####" for any other value.
QString DecimalsFormat(int N);

// The display formats of quantities, prices and rates from the settings
// Format_Qnt, Format_Prc and Format_Rte.
struct TDisplayFormats {
    QString Qnt, Prc, Rte;
};
TDisplayFormats MakeDisplayFormats(int FormatQnt, int FormatPrc, int FormatRte);

// The caption of the working-date button: "dd.mm.yy" and the short day name.
QString EntryDateCaption(TDateTime EntryDate);

// Restricts Table (ordered by ID_ACCOUNT;DATE_REAL;DATE_CREATE;KIND) to the
// operations of Account dated Period.Begin..Period.End, or to all of them
// when Whole. Controls are disabled while the range is applied.
void SetLedgerRange(TTable &Table, int Account, const TPeriod &Period, bool Whole);
// Restricts Table (in the same order) to the operations of Account dated Day
// exactly. A write or a search that leaves the ledger's range for one row
// (a transfer's other leg, a move, a mark) settles among that day's rows:
// with no range the cursor would list the whole table after each write.
void SetDayRange(TTable &Table, const Variant &Account, const Variant &Day);

// What the balance routine needs of the main window.
struct TBalanceContext {
    TPeriod Period;
    TDateTime AllEnd = 0;
    bool WholeView = false;   // the whole-period item is checked
    bool ShowStatus = true;   // the status bar is switched on
    TDateTime Today = 0;
};

// The totals the status bar shows, kept by the main window between calls.
struct TLedgerTotals {
    int64_t OpeningBalance = 0;     // units; recomputed on request only
    bool OpeningUnchecked = false;  // it came from day sums not yet checked against the rows
    int64_t Income = 0, Expense = 0;
    QString Panels[8];              // the status bar's texts, labels included
    QString PlannedIncomeText, PlannedExpenseText;
    QString Hint;
    bool Repaired = false;          // the stored balance was corrected
};

// Adds Delta (units, income positive) to the stored balance Rest of the
// current account of dm.Tb_Account, then, while the status bar is on,
// recomputes the totals of the period (and with RecomputeOpening the opening
// balance) into Totals and, in the whole-period view reaching AllEnd,
// corrects a stored balance that differs from the computed one by more than
// 0.001; the correction is computed from the rows, never from day sums that
// have not been checked against them. A failing correction is cancelled; a
// failing Delta raises.
// Requires: dm's tables open and Tb_Account on an account.
void UpdateLedgerBalances(TDm &dm, const TBalanceContext &Context, bool RecomputeOpening, int64_t Delta,
                          TLedgerTotals &Totals);

// Income and expense of one account over d1..d2, in units, over the rows of
// the kind's query (Qsum realised, Qplan planned), each amount taken as units
// and added exactly: what the day sums stand in for.
void QueryLedgerSums(TDm &dm, TSumClass kind, int account, TDateTime d1, TDateTime d2, int64_t &income,
                     int64_t &expense);

// Exchanges the creation stamps of the current row of dm.Tb_Hist and the row
// before it (Up) or after it, which exchanges their order within the day. A
// transfer leg's partner in the other account takes the same new stamp, so a
// pair keeps one stamp. All of it runs in one transaction: after a failure no
// row is left with a changed or temporary stamp. Returns true when the rows
// were exchanged; Tb_Hist then stands on the moved row. Nothing happens at
// either end of the range or when the neighbour has no stamp.
bool MoveOperationRow(TDm &dm, bool Up);

} // namespace zorbel
