// The ledger's arithmetic and its data steps (see ZorbLedger.h).
//
// Balances: the opening balance of a period is the account's opening amount
// Beg plus the realised income minus the realised expense dated before the
// period; income and expense of the period come from the rows Qsum sums,
// planned amounts from today to the period's end from those of Qplan. Every
// amount is converted to units as it leaves the table and added as integers.
#include "core/ZorbLedger.h"

#include "platform/sqltable/Database.h"
#include "core/ZorbDm.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"
#include "platform/rtl/StrUtils.h"
#include "platform/sqltable/Sqlite.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace zorbel {

namespace {

QString MoneyText(int64_t units) { return Trim(FormatFloat(QStringLiteral("#,##0.00"), UnitsToMoney(units))); }

// Income and expense of one account over d1..d2, in units: from the data
// module's day sums when they can answer, else by the query. True when the
// answer came from sums taken back and not yet checked against the rows.
bool RunSums(TDm &dm, TSumClass kind, int account, TDateTime d1, TDateTime d2, int64_t &income, int64_t &expense)
{
    if (dm.HistSums.Sums(account, kind, d1, d2, income, expense))
        return !dm.HistSums.Checked();
    QueryLedgerSums(dm, kind, account, d1, d2, income, expense);
    return false;
}

// The first day of the quarter that holds month m.
int QuarterStart(int m) { return (m - 1) / 3 * 3 + 1; }

} // namespace

void QueryLedgerSums(TDm &dm, TSumClass kind, int account, TDateTime d1, TDateTime d2, int64_t &income,
                     int64_t &expense)
{
    // The rows of Qsum and Qplan, each amount taken as units and added as
    // integers: SQL's sum adds the doubles, which past about 10^11 rounds
    // away units, so the status bar would differ from the rows it sums.
    TSqliteStatement st(dm.Db.Db(), QStringLiteral("SELECT \"Dt\", \"Ct\" FROM \"Tb_Hist\" WHERE \"Id_Account\" = ? "
                                                   "AND \"Date_Real\" BETWEEN ? AND ? AND \"Kind\" %1")
                                        .arg(kind == TSumClass::Realised ? QStringLiteral("= '1'")
                                                                         : QStringLiteral("> '1'")));
    st.BindInt(1, account);
    st.BindDouble(2, d1);
    st.BindDouble(3, d2);
    __int128 in = 0, out = 0;
    while (st.Step()) {
        in += MoneyToUnits(st.ColumnDouble(0));
        out += MoneyToUnits(st.ColumnDouble(1));
    }
    // Beyond 64 bits (some 92 000 amounts of the money bound) the figure
    // stops at the largest one rather than wrapping round.
    const auto narrow = [](__int128 v) {
        return int64_t(std::clamp<__int128>(v, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()));
    };
    income = narrow(in);
    expense = narrow(out);
}

TPeriod LedgerPeriod(int Kind, TDateTime EntryDate, TDateTime AllBegin, TDateTime AllEnd)
{
    int y, m, d;
    const TDateTime day = DateOf(EntryDate);
    DecodeDate(day, y, m, d);
    switch (Kind) {
    case pkYear: return {EncodeDate(y, 1, 1), EncodeDate(y, 12, 31)};
    case pkQuarter: {
        const int first = QuarterStart(m);
        return {EncodeDate(y, first, 1), EncodeDate(y, first + 2, DaysInAMonth(y, first + 2))};
    }
    case pkMonth: return {EncodeDate(y, m, 1), EncodeDate(y, m, DaysInAMonth(y, m))};
    case pkWeek: {
        // Monday .. Sunday, Sunday counting as day 7.
        const int dow = (DayOfWeek(day) + 5) % 7 + 1;
        return {day - (dow - 1), day + (7 - dow)};
    }
    case pkDay: return {day, day};
    default: return {AllBegin, AllEnd};
    }
}

TDateTime StepEntryDate(int Kind, TDateTime EntryDate, int Tag, TDateTime Today)
{
    switch (Tag) {
    case 1: return EntryDate - 1;
    case 2: return EntryDate + 1;
    case 3:
    case 4: {
        const int sign = Tag == 3 ? -1 : 1;
        switch (Kind) {
        case pkYear: return IncMonth(EntryDate, 12 * sign);
        case pkQuarter: return IncMonth(EntryDate, 3 * sign);
        case pkMonth: return IncMonth(EntryDate, sign);
        case pkWeek: return EntryDate + 7 * sign;
        case pkDay: return EntryDate + sign;
        default: return Today;
        }
    }
    default: return EntryDate;
    }
}

QString DecimalsFormat(int N)
{
    switch (N) {
    case 1: return QStringLiteral("0.0000");
    case 2: return QStringLiteral("0.000");
    case 3: return QStringLiteral("0.00");
    case 4: return QStringLiteral("0.0");
    case 5: return QStringLiteral("0");
    default: return QStringLiteral("0.####");
    }
}

TDisplayFormats MakeDisplayFormats(int FormatQnt, int FormatPrc, int FormatRte)
{
    TDisplayFormats f{DecimalsFormat(FormatQnt), DecimalsFormat(FormatPrc), DecimalsFormat(FormatRte)};
    if (FormatRte == 0)
        f.Rte += QStringLiteral("####");
    if (!f.Prc.startsWith(u'#'))
        f.Prc = QStringLiteral("#,##") + f.Prc;
    return f;
}

QString EntryDateCaption(TDateTime EntryDate)
{
    return FormatDateTime(QStringLiteral("dd.mm.yy"), EntryDate) + QStringLiteral(" ") +
           FormatSettings().ShortDayNames[DayOfWeek(EntryDate) - 1];
}

void SetLedgerRange(TTable &Table, int Account, const TPeriod &Period, bool Whole)
{
    // Dates are whole days, so the closed bounds (account, first day) and
    // (account, last day) over the leading key fields hold every row of the
    // period, the last day's included, and none of the next day's.
    const Variant account = Variant(int16_t(Account));
    Table.DisableControls();
    try {
        if (Whole)
            Table.SetRange({account}, {account});
        else
            Table.SetRange({account, Variant::FromDate(Period.Begin)}, {account, Variant::FromDate(Period.End)});
    } catch (...) {
        Table.EnableControls();
        throw;
    }
    Table.EnableControls();
}

void SetDayRange(TTable &Table, const Variant &Account, const Variant &Day)
{
    Table.SetRange({Account, Day}, {Account, Day});
}

void UpdateLedgerBalances(TDm &dm, const TBalanceContext &Context, bool RecomputeOpening, int64_t Delta,
                          TLedgerTotals &Totals)
{
    TTable &acc = dm.Tb_Account;
    Totals.Repaired = false;
    const int64_t beg = MoneyToUnits(acc.FieldByName(QStringLiteral("Beg"))->AsFloat());
    const int64_t r0 = MoneyToUnits(acc.FieldByName(QStringLiteral("Rest"))->AsFloat());
    const int account = acc.FieldByName(QStringLiteral("Id_Account"))->AsInteger();

    if (Delta != 0) {
        acc.DisableControls();
        try {
            const int64_t rest = MoneyToUnits(acc.FieldByName(QStringLiteral("Rest"))->AsFloat());
            acc.Edit();
            acc.FieldByName(QStringLiteral("Rest"))->SetAsFloat(UnitsToMoney(Delta + rest));
            acc.Post();
        } catch (...) {
            if (acc.State() == dsEdit)
                acc.Cancel();
            acc.EnableControls();
            throw;
        }
        acc.EnableControls();
    }
    if (!Context.ShowStatus)
        return;

    if (RecomputeOpening) {
        int64_t in = 0, out = 0;
        Totals.OpeningUnchecked = RunSums(dm, TSumClass::Realised, account, 0, Context.Period.Begin - 1, in, out);
        Totals.OpeningBalance = in - out + beg;
    }
    const bool unchecked = RunSums(dm, TSumClass::Realised, account, Context.Period.Begin, Context.Period.End,
                                   Totals.Income, Totals.Expense) ||
                           Totals.OpeningUnchecked;
    int64_t closing = Totals.OpeningBalance + Totals.Income - Totals.Expense;
    const bool repairs =
        Context.WholeView && Context.Period.End == Context.AllEnd && std::llabs(r0 - closing) > 10;
    if (repairs && unchecked) {
        // Sums taken back from the user's folder and not yet checked against
        // the rows never decide a stored balance: the rows do. Sums that
        // differ from them are dropped and walked again.
        int64_t in = 0, out = 0;
        QueryLedgerSums(dm, TSumClass::Realised, account, 0, Context.Period.Begin - 1, in, out);
        const int64_t opening = in - out + beg;
        QueryLedgerSums(dm, TSumClass::Realised, account, Context.Period.Begin, Context.Period.End, in, out);
        if (opening != Totals.OpeningBalance || in != Totals.Income || out != Totals.Expense)
            dm.HistSums.Drop();
        Totals.OpeningBalance = opening;
        Totals.OpeningUnchecked = false;
        Totals.Income = in;
        Totals.Expense = out;
        closing = opening + in - out;
    }
    Totals.Panels[0] = U("Начало");
    Totals.Panels[1] = MoneyText(Totals.OpeningBalance);
    Totals.Panels[2] = U("Приход");
    Totals.Panels[3] = MoneyText(Totals.Income);
    Totals.Panels[4] = U("Расход");
    Totals.Panels[5] = MoneyText(Totals.Expense);
    Totals.Panels[6] = U("Конец ");
    Totals.Panels[7] = MoneyText(closing);

    if (repairs && std::llabs(r0 - closing) > 10) {
        // More than 0.001 apart: the stored balance follows the operations.
        try {
            acc.Edit();
            acc.FieldByName(QStringLiteral("Rest"))->SetAsFloat(UnitsToMoney(closing));
            acc.Post();
            Totals.Repaired = true;
        } catch (const Exception &) {
            if (acc.State() == dsEdit || acc.State() == dsInsert)
                acc.Cancel();
        }
    }

    Totals.PlannedIncomeText.clear();
    Totals.PlannedExpenseText.clear();
    if (Context.Today < Context.Period.End) {
        int64_t pin = 0, pout = 0;
        RunSums(dm, TSumClass::Planned, account, Context.Today, Context.Period.End, pin, pout);
        if (pin - pout != 0)
            Totals.Panels[7] += QStringLiteral("  (") + MoneyText(closing + pin - pout) + QStringLiteral(")");
        if (pin != 0)
            Totals.PlannedIncomeText =
                Totals.Panels[3] + QStringLiteral("  (") + MoneyText(Totals.Income + pin) + QStringLiteral(")");
        if (pout != 0)
            Totals.PlannedExpenseText =
                Totals.Panels[5] + QStringLiteral("  (") + MoneyText(Totals.Expense + pout) + QStringLiteral(")");
    }
    Totals.Hint = U("Баланс = ") + MoneyText(Totals.Income - Totals.Expense) + QStringLiteral("  (") +
                  Trim(FormatFloat(QStringLiteral("#,##0"), dm.Tb_Hist.RecordCount())) + u' ' +
                  PluralForm(dm.Tb_Hist.RecordCount(), U("строка"), U("строки"), U("строк")) + u')';
}

bool MoveOperationRow(TDm &dm, bool Up)
{
    TTable &hist = dm.Tb_Hist;
    if (!hist.Active() || hist.IsEmpty())
        return false;
    hist.CheckBrowseMode();
    TField *stamp = hist.FieldByName(QStringLiteral("Date_Create"));
    if (stamp->IsNull())
        return false;
    const TDateTime s1 = stamp->AsDateTime();
    const int account = hist.FieldByName(QStringLiteral("Id_Account"))->AsInteger();
    const Variant ref1 = hist.FieldByName(QStringLiteral("Ref_Account"))->AsVariant();

    hist.DisableControls();
    const TBookmark here = hist.GetBookmark();
    const int moved = hist.MoveBy(Up ? -1 : 1);
    const bool neighbour = moved != 0 && !stamp->IsNull();
    const TDateTime s2 = neighbour ? stamp->AsDateTime() : 0;
    const Variant ref2 = neighbour ? hist.FieldByName(QStringLiteral("Ref_Account"))->AsVariant() : Variant();
    hist.GotoBookmark(here);
    hist.EnableControls();
    if (!neighbour)
        return false;

    // One stamp value at a time: the row itself and, for a transfer leg, the
    // partner that shares its stamp in the other account.
    TQuery &q = dm.Qtemp;
    const auto restamp = [&](TDateTime from, TDateTime to, const Variant &ref) {
        q.Close();
        q.SQL() = QStringList{QStringLiteral("update tb_hist set date_create=:t"),
                              QStringLiteral("where date_create=:s and (id_account=:a"),
                              QStringLiteral("or (id_account=:r and ref_account=:a))")};
        q.ParamByName(QStringLiteral("t"))->SetAsDateTime(to);
        q.ParamByName(QStringLiteral("s"))->SetAsDateTime(from);
        q.ParamByName(QStringLiteral("a"))->SetAsSmallInt(account);
        if (VarIsClear(ref))
            q.ParamByName(QStringLiteral("r"))->Clear();
        else
            q.ParamByName(QStringLiteral("r"))->SetAsSmallInt(ref.AsInteger());
        q.ExecSQL();
    };
    const TDateTime temporary = dm.NextStamp();
    try {
        TTransactionScope tx(dm.Db);
        restamp(s1, temporary, ref1);
        restamp(s2, s1, ref2);
        restamp(temporary, s2, ref1);
        tx.Commit();
    } catch (const Exception &) {
        q.Close();
        hist.Refresh();
        return false;
    }
    q.Close();
    hist.DisableControls();
    hist.Refresh();
    hist.Locate(QStringLiteral("Date_Create"), Variant::FromDate(s2), {});
    hist.EnableControls();
    return true;
}

} // namespace zorbel
