// Window-free core of the results window: the period it shows and the SQL of
// its queries. The window keeps the state of its condition boxes, its kind box
// and the extra-conditions dialog in a TRstConditions; BuildRstSql turns that
// state into the grouping column and the condition lines shared by all of its
// queries, and ApplyRstConditions writes them into one query after its fixed
// head, with every value typed by the user bound as a parameter.
#pragma once

#include "platform/rtl/DateTime.h"
#include "platform/rtl/Variant.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace zorbel {

class TDataSet;
class TDatabase;
class TQuery;

// ---- period ---------------------------------------------------------------

// PeriodKind of the results window: 1 whole period .. 6 day.
enum TRstPeriodKind : int { rpWhole = 1, rpYear, rpQuarter, rpMonth, rpWeek, rpDay };

struct TRstPeriod {
    int Kind = rpYear;
    TDateTime FromDate = 0;
    TDateTime ToDate = 0;
    TDateTime FirstDate = 0; // first Date_Real of the operations, 0 until loaded
    TDateTime LastDate = 0;
};

// ApplyPeriod: Step -1 one period back, 0 one period forward, 1 recompute.
// Requires: FirstDate/LastDate loaded by the caller when Kind is whole.
// On return FromDate/ToDate bound the period; a zero bound makes both Today.
void RstApplyPeriod(TRstPeriod &P, int Step, TDateTime EntryDate, TDateTime Today);
// SetPeriodKind without the refresh: a repeated kind (above whole) whose start
// is still the first operation's date moves the start to Today first.
void RstSetPeriodKind(TRstPeriod &P, int Kind, TDateTime EntryDate, TDateTime Today);

// ---- conditions -----------------------------------------------------------

enum class TRstDistribution { Items, Accounts, Persons, Firms };

// One condition box: ticked, include or exclude, the chosen id and name.
struct TRstBox {
    bool Ticked = false;
    bool Exclude = false;
    int Tag = 0;
    QString Caption;
};

// Comparison items of the dialog's boxes.
enum TRstCompare : int { rcEqual = 0, rcGreater, rcLess, rcNotEqual };

struct TRstNumber {
    QString Text; // as typed, with the locale's decimal separator
    int Compare = rcEqual;
};

// The numeric rows of the conditions dialog, in the order the queries take them.
enum TRstNumberRow : int { rnDt = 0, rnCt, rnPrice, rnRate, rnQdt, rnQct, rnCount };

struct TRstConditions {
    TRstDistribution Distribution = TRstDistribution::Items;
    TRstBox Itm1, Itm2, Itm3, Acc, Pers, Firm;
    bool AccGroup = false;         // account box stands for the marked group
    std::vector<int> GroupAccounts; // ids of the group (read by the caller)
    QString Comment;
    int CommentCompare = rcEqual;
    std::array<TRstNumber, rnCount> Numbers;
    int Kind = 0; // 0 realised, 1 planned, 2 all
    bool Mark = false;
    int MarkTag = 0; // 1 = without a bookmark
    bool Trans = false;
};

// What the name column of the grouped totals looks up.
enum class TRstLookup { Items, Accounts, Persons, Firms };

struct TRstSql {
    QString GroupColumn;            // line 1 of the grouped query
    TRstLookup Lookup = TRstLookup::Items;
    bool CorrAccounts = false;      // grouped by the other account of transfers
    QStringList Lines;              // the condition lines, in order
    std::vector<std::pair<QString, Variant>> Params; // bound values of the lines
    QString AccCaption;             // the account box caption in group mode
    QString ExtendCaption;          // caption and hint of the dialog button
    QString ExtendHint;
    int ExtraCount = 0;
};

// One numeric condition line ("" for no valid number); its value, when any,
// is bound under ParamName.
QString NumericCondition(const QString &Text, const QString &Name, int Compare, const QString &ParamName,
                         std::vector<std::pair<QString, Variant>> &Params);
// Include: "and " + L; exclude: "and not(" + L + ")".
QString WrapIncludeExclude(const QString &Line, const TRstBox &Box);

TRstSql BuildRstSql(const TRstConditions &C);

// The fixed heads and tails of the window's queries. DayTerms, MnTerms and
// YrTerms select, without grouping, each operation's key (date_real | yr,mn
// | yr) and the nine terms the day, month and year queries add up or average
// (dt, ct, price*10, dt/rate, ct/rate, 10*price/rate, rate*10, qdt, qct),
// under the same head condition: the dynamics fold them in memory. ResTerms
// selects each operation's group (Sql.GroupColumn) and the six terms the
// grouped totals add up (dt, ct, dt/rate, ct/rate, qdt, qct).
enum class TRstQueryKind { Res, Hs, Sm, BegSum, Day, Mn, Yr, DayTerms, MnTerms, YrTerms, ResTerms };
QStringList RstQueryHead(TRstQueryKind Kind);

// Rewrites Q: its head (the grouped query's head takes Sql.GroupColumn as line
// 1), the condition lines, then the tail (the grouped query's "group by", the
// operations list's HsOrder, the dynamics' group lines); binds d1, d2 and the
// condition values.
void ApplyRstConditions(TQuery &Q, TRstQueryKind Kind, const TRstSql &Sql, TDateTime D1, TDateTime D2,
                        const QString &HsOrder = QString());

// One row of the grouped totals: the group's id (null for the operations
// without one) and sdt, sct, sdr, scr, sdq, scq, null where the engine's sum
// is null.
struct TRstTotalRow {
    std::optional<int> Id;
    std::array<std::optional<double>, 6> Sums;
    bool operator==(const TRstTotalRow &) const = default;
};
using TRstTotals = std::vector<TRstTotalRow>;

// The rows of the open grouped query (fields id, sdt .. scq), in its order.
TRstTotals ReadRstTotals(TDataSet &Qres);

// The rows the grouped query of Sql over D1..D2 gives, computed in one pass
// over the matching operations that adds them up per group in memory, in
// the order the engine reads them, instead of the engine sorting a period's
// operations by their group first. The engine still selects the rows and
// computes their terms; the groups come in the query's order (null first,
// then ascending). Nothing when a value appears that the pass does not add
// up the way the engine does (text or blob where a number or null is
// expected, a group that is not a whole number of the id range, a whole sum
// past 64 bits): the caller runs the grouped query instead.
std::optional<TRstTotals> FoldRstTotals(TDatabase &Db, const TRstSql &Sql, TDateTime D1, TDateTime D2);

} // namespace zorbel
