#include "core/ZorbBound.h"

#include "core/ZorbDm.h"
#include "platform/rtl/Money.h"
#include "platform/sqltable/Sqlite.h"

#include <cmath>
#include <cstring>

namespace zorbel {
namespace {

// The rowid of the record a table is editing: the stored row it replaces.
bool EditedRowId(TTable &Table, int64_t &RowId)
{
    if (Table.State() != dsEdit)
        return false;
    const TBookmark mark = Table.GetBookmark();
    if (mark.size() != sizeof RowId)
        return false;
    std::memcpy(&RowId, mark.constData(), sizeof RowId);
    return true;
}

int64_t Units(const TField *f) { return f->IsNull() ? 0 : MoneyToUnits(f->AsFloat()); }

// A balance in whole units from its units, exactly enough to compare with
// BalanceLimit (long double holds 64 bits of mantissa).
long double Whole(__int128 units) { return static_cast<long double>(units) / MoneyScale; }

bool Outside(long double value) { return !(value < BalanceLimit && value > -BalanceLimit); }

// Past the bound and not nearer to zero than the value stored before: a row
// of a file written before may stay as it is, or come back inside.
bool MovesOutside(long double now, long double before)
{
    return Outside(now) && !(std::fabs(now) < std::fabs(before)) && now != before;
}

struct TStoredAccount {
    bool Found = false;
    double Rest = 0;
    QString Name;
};

TStoredAccount StoredAccount(TDm &Dm, int Account)
{
    TStoredAccount a;
    TSqliteStatement st(Dm.Db.Db(), QStringLiteral("SELECT \"Rest\", \"Account\" FROM \"Tb_Account\" "
                                                   "WHERE \"Id_Account\" = ?"));
    st.BindInt(1, Account);
    if (st.Step()) {
        a.Found = true;
        a.Rest = st.ColumnDouble(0);
        a.Name = st.ColumnText(1);
    }
    return a;
}

} // namespace

TField *AmountOutOfRange(TDataSet &Row)
{
    for (const char *name : OperationAmountFields) {
        TField *f = Row.FieldByName(QString::fromLatin1(name));
        if (!f->IsNull() && !MoneyInRange(f->AsFloat()))
            return f;
    }
    return nullptr;
}

__int128 PlannedUnits(TDm &Dm, int Account)
{
    // Years 1 to 9999, the dates a row can hold: every planned row. Day sums
    // taken back and not yet checked against the rows do not decide a write.
    int64_t income = 0, expense = 0;
    if (Dm.HistSums.Checked() && Dm.HistSums.Sums(Account, TSumClass::Planned, -693593, 2958465, income, expense))
        return __int128(income) - expense;
    __int128 sum = 0;
    TSqliteStatement st(Dm.Db.Db(), QStringLiteral("SELECT \"Dt\", \"Ct\" FROM \"Tb_Hist\" "
                                                   "WHERE \"Id_Account\" = ? AND \"Kind\" > '1'"));
    st.BindInt(1, Account);
    while (st.Step())
        sum += __int128(MoneyToUnits(st.ColumnDouble(0))) - MoneyToUnits(st.ColumnDouble(1));
    return sum;
}

namespace {

// What a row gives its account's planned total: Dt - Ct of a planned row.
struct TPlannedPart {
    bool Planned = false;
    int Account = 0;
    int64_t Units = 0;
};

// Refuses the change of Account's planned total by Delta when it takes the
// account's balance with its planned rows past BalanceLimit.
void CheckPlannedChange(TDm &Dm, int Account, int64_t Delta)
{
    if (Delta == 0)
        return;
    const TStoredAccount stored = StoredAccount(Dm, Account);
    if (!stored.Found)
        return;
    const __int128 planned = PlannedUnits(Dm, Account);
    const long double rest = stored.Rest;
    if (MovesOutside(rest + Whole(planned + Delta), rest + Whole(planned)))
        throw EConvertError(BalanceRangeMessage(stored.Name, true));
}

} // namespace

void CheckOperationRow(TDm &Dm, TTable &Hist)
{
    if (AmountOutOfRange(Hist))
        throw EConvertError(MoneyRangeMessage());
    TPlannedPart now, before;
    const TField *account = Hist.FieldByName(QStringLiteral("Id_Account"));
    now.Planned = !account->IsNull() && Hist.FieldByName(QStringLiteral("Kind"))->AsString() > u"1";
    now.Account = account->AsInteger();
    now.Units = Units(Hist.FieldByName(QStringLiteral("Dt"))) - Units(Hist.FieldByName(QStringLiteral("Ct")));
    int64_t rowId = 0;
    if (EditedRowId(Hist, rowId)) {
        TSqliteStatement st(Dm.Db.Db(), QStringLiteral("SELECT \"Id_Account\", \"Kind\", \"Dt\", \"Ct\" "
                                                       "FROM \"Tb_Hist\" WHERE rowid = ?"));
        st.BindInt(1, rowId);
        if (st.Step() && !st.IsNull(0)) {
            before.Planned = st.ColumnText(1) > u"1";
            before.Account = int(st.ColumnInt(0));
            before.Units = MoneyToUnits(st.ColumnDouble(2)) - MoneyToUnits(st.ColumnDouble(3));
        }
    }
    // A planned row realised in its account moves its amount from the
    // planned rows into Rest: the post of Rest checks the sum of both.
    if (before.Planned && !now.Planned && !account->IsNull() && before.Account == now.Account)
        return;
    if (now.Planned && before.Planned && now.Account == before.Account) {
        CheckPlannedChange(Dm, now.Account, now.Units - before.Units);
        return;
    }
    if (before.Planned)
        CheckPlannedChange(Dm, before.Account, -before.Units);
    if (now.Planned)
        CheckPlannedChange(Dm, now.Account, now.Units);
}

void CheckOperationDelete(TDm &Dm, TTable &Hist)
{
    const TField *account = Hist.FieldByName(QStringLiteral("Id_Account"));
    if (account->IsNull() || !(Hist.FieldByName(QStringLiteral("Kind"))->AsString() > u"1"))
        return; // a realised row gives its amount back through Rest, whose post checks it
    CheckPlannedChange(Dm, account->AsInteger(),
                       Units(Hist.FieldByName(QStringLiteral("Ct"))) - Units(Hist.FieldByName(QStringLiteral("Dt"))));
}

void CheckAccountRow(TDm &Dm, TTable &Accounts)
{
    const TField *restField = Accounts.FieldByName(QStringLiteral("Rest"));
    const TField *begField = Accounts.FieldByName(QStringLiteral("Beg"));
    const double rest = restField->AsFloat(), beg = begField->AsFloat();
    double oldRest = 0, oldBeg = 0;
    int64_t rowId = 0;
    if (EditedRowId(Accounts, rowId)) {
        TSqliteStatement st(Dm.Db.Db(), QStringLiteral("SELECT \"Rest\", \"Beg\" FROM \"Tb_Account\" WHERE rowid = ?"));
        st.BindInt(1, rowId);
        if (st.Step()) {
            oldRest = st.ColumnDouble(0);
            oldBeg = st.ColumnDouble(1);
        }
    }
    const QString name = Accounts.FieldByName(QStringLiteral("Account"))->AsString();
    if (MovesOutside(rest, oldRest) || MovesOutside(beg, oldBeg))
        throw EConvertError(BalanceRangeMessage(name, false));
    const TField *account = Accounts.FieldByName(QStringLiteral("Id_Account"));
    if (rest == oldRest || account->IsNull() || Accounts.State() != dsEdit)
        return;
    const long double planned = Whole(PlannedUnits(Dm, account->AsInteger()));
    if (MovesOutside(rest + planned, oldRest + planned))
        throw EConvertError(BalanceRangeMessage(name, true));
}

} // namespace zorbel
