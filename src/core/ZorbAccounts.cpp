// The accounts book's rules on the data module's account table. Every change
// of one row is posted at once; a post that fails cancels that row's change
// and the walk goes on, so one bad row never stops the book.
#include "core/ZorbAccounts.h"
#include "platform/rtl/StrUtils.h"

#include "platform/rtl/Money.h"
#include "platform/sqltable/Database.h"
#include "core/ZorbDm.h"
#include "core/ZorbRates.h"
#include "platform/rtl/Format.h"
#include "platform/sqltable/Sqlite.h"

namespace zorbel {
namespace {

TField *F(TDm &dm, const char *name) { return dm.Tb_Account.FieldByName(QString::fromLatin1(name)); }

// Posts the pending change of the current account; a failure cancels it.
void PostOrCancel(TDm &dm)
{
    try {
        dm.Tb_Account.Post();
    } catch (const Exception &) {
        dm.Tb_Account.Cancel();
    }
}

// Writes Value into the current account's field Name unless it holds it.
void SetMark(TDm &dm, const char *name, const QString &value)
{
    if (F(dm, name)->AsString() == value)
        return;
    dm.Tb_Account.Edit();
    if (value.isEmpty())
        F(dm, name)->Clear();
    else
        F(dm, name)->SetAsString(value);
    PostOrCancel(dm);
}

int64_t ScalarCount(TDm &dm, const QString &sql, const std::function<void(TSqliteStatement &)> &bind)
{
    dm.Db.ReleaseStatements();
    TSqliteStatement st(dm.Db.Db(), sql);
    bind(st);
    return st.Step() ? st.ColumnInt(0) : 0;
}

QString Sum(int64_t units) { return FormatFloat(QStringLiteral("#,##0.00"), UnitsToMoney(units)); }

const QString YeSuffix = QStringLiteral(" y.e.  ");

QString TotalsCaption(const TAccountTotals &t)
{
    if (!t.SeveralCurrencies) {
        QString s = Sum(t.RestSum) + u' ' + t.Currency.left(3) + QStringLiteral("  ");
        if (t.AllRatesKnown)
            s += QStringLiteral(" / ") + Sum(t.YeSum) + YeSuffix;
        return s;
    }
    return t.AllRatesKnown ? Sum(t.YeSum) + YeSuffix : QString();
}

} // namespace

TAccountTotals RefreshAccountTotals(TDm &dm, bool Synchronise)
{
    TAccountTotals t;
    TTable &acc = dm.Tb_Account;
    if (acc.IsEmpty())
        return t;
    if (acc.State() == TDataSetState::dsEdit || acc.State() == TDataSetState::dsInsert)
        PostOrCancel(dm);
    const Variant rate = F(dm, "Rate")->AsVariant();
    const bool isDefault = F(dm, "C")->AsString() == u"!";
    t.Currency = F(dm, "Currency")->AsString();
    const int id = F(dm, "Id_Account")->AsInteger();
    const TBookmark place = acc.Bookmark();
    acc.DisableControls();
    acc.First();
    while (!acc.Eof()) {
        ++t.Count;
        const QString currency = F(dm, "Currency")->AsString();
        if (!t.SeveralCurrencies && currency != t.Currency)
            t.SeveralCurrencies = true;
        const QString mark = F(dm, "C")->AsString();
        if (!mark.isEmpty() && mark != u"!")
            SetMark(dm, "C", QString());
        if (Synchronise && F(dm, "Id_Account")->AsInteger() != id) {
            if (isDefault && !F(dm, "C")->AsString().isEmpty())
                SetMark(dm, "C", QString());
            const Variant own = F(dm, "Rate")->AsVariant();
            if (currency == t.Currency && (own.IsNull() != rate.IsNull() || (!own.IsNull() && own.AsDouble() != rate.AsDouble()))) {
                acc.Edit();
                F(dm, "Rate")->SetAsVariant(rate);
                PostOrCancel(dm);
            }
        }
        if (!F(dm, "A")->AsString().isEmpty())
            ++t.GroupCount;
        const double rest = F(dm, "Rest")->AsFloat();
        t.RestSum += MoneyToUnits(rest);
        const double r = F(dm, "Rate")->AsFloat();
        if (r == 0)
            t.AllRatesKnown = false;
        else
            t.YeSum += MoneyToUnits(rest / r);
        acc.Next();
    }
    try {
        acc.GotoBookmark(place);
    } catch (const Exception &) {
        // Only the accounts' current row: the totals are summed whole.
    }
    acc.EnableControls();
    t.Caption = TotalsCaption(t);
    return t;
}

QString CheckAccountEntry(const QString &Name, const QString &Currency, const QString &RateText,
                          TAccountField &Field)
{
    Field = TAccountField::None;
    if (Name.trimmed().isEmpty()) {
        Field = TAccountField::Name;
        return U("Не указано наименование счёта!");
    }
    if (Currency.trimmed().isEmpty()) {
        Field = TAccountField::Currency;
        return U("Не указана валюта!");
    }
    double rate = 0;
    if (!RateText.trimmed().isEmpty() && !ReadRate(RateText, rate)) {
        Field = TAccountField::Rate;
        return U("Надо указать положительное число!");
    }
    return QString();
}

TAccountEdit BeginAccountEdit(TDm &dm, bool Adding)
{
    TAccountEdit e;
    e.Adding = Adding;
    e.FirstAccount = dm.Tb_Account.IsEmpty();
    if (Adding) {
        e.Default = e.FirstAccount;
        dm.Tb_Account.Insert();
    } else {
        e.KeptRest = MoneyToUnits(F(dm, "Rest")->AsFloat());
        e.KeptBeg = MoneyToUnits(F(dm, "Beg")->AsFloat());
        e.Default = F(dm, "C")->AsString() == u"!";
        e.Group = F(dm, "A")->AsString() == u"+";
        dm.Tb_Account.Edit();
    }
    return e;
}

TAccountTotals FinishAccountEdit(TDm &dm, const TAccountEdit &Edit, bool Default, bool Group)
{
    const int64_t beg = MoneyToUnits(F(dm, "Beg")->AsFloat());
    F(dm, "Rest")->SetAsFloat(UnitsToMoney(Edit.KeptRest + beg - Edit.KeptBeg));
    // The dialog can give the default mark but never take it away.
    const bool def = Default || Edit.FirstAccount || (!Edit.Adding && Edit.Default);
    if (def)
        F(dm, "C")->SetAsString(QStringLiteral("!"));
    else
        F(dm, "C")->Clear();
    if (Group)
        F(dm, "A")->SetAsString(QStringLiteral("+"));
    else
        F(dm, "A")->Clear();
    PostOrCancel(dm);
    return RefreshAccountTotals(dm, true);
}

TAccountTotals CancelAccountEdit(TDm &dm)
{
    dm.Tb_Account.Cancel();
    return RefreshAccountTotals(dm, true);
}

bool DeleteAccount(TDm &dm, const std::function<bool(const QString &)> &Confirm)
{
    TTable &acc = dm.Tb_Account;
    if (acc.IsEmpty())
        return false;
    if (F(dm, "C")->AsString() == u"!") {
        dm.Host().Notice(U("Нельзя удалить счёт по умолчанию!"));
        return false;
    }
    const int id = F(dm, "Id_Account")->AsInteger();
    // The account goes into every statement as a bound value, never pasted
    // into the text: no value read from the data file becomes SQL.
    const auto bindId = [id](TSqliteStatement &st) { st.BindInt(1, id); };
    const int64_t transfers =
        ScalarCount(dm, QStringLiteral("select count(*) from tb_hist where id_account=?1 and level1=-1"), bindId);
    if (transfers > 0) {
        const QString transfer = [&] {
            dm.Db.ReleaseStatements();
            TSqliteStatement st(dm.Db.Db(), QStringLiteral("select itm from tb_items where id_itm=-1"));
            return st.Step() ? st.ColumnText(0) : QString();
        }();
        dm.Host().Notice(U("Надо сначала удалить %1  %2 со статьёй  \"%3\" !")
                             .arg(transfers)
                             .arg(PluralForm(transfers, U("запись"), U("записи"), U("записей")), transfer));
        return false;
    }
    const int64_t rows = ScalarCount(dm, QStringLiteral("select count(*) from tb_hist where id_account=?1"), bindId);
    if (rows > 0 && !Confirm(QString::number(rows) +
                             PluralForm(rows, U(" запись по данному счёту будет удалена! Вы уверены ?"),
                                        U(" записи по данному счёту будут удалены! Вы уверены ?"),
                                        U(" записей по данному счёту будут удалены! Вы уверены ?"))))
        return false;
    try {
        // The operations and the account go together or not at all.
        TTransactionScope tr(dm.Db);
        TSqliteStatement del(dm.Db.Db(), QStringLiteral("delete from tb_hist where id_account=?1"));
        del.BindInt(1, id);
        del.Step();
        acc.Delete(); // the module's reference check now finds nothing
        tr.Commit();
    } catch (const Exception &) {
        dm.Tb_Hist.Refresh();
        acc.Refresh();
        return false;
    }
    dm.Tb_Hist.Refresh();
    return true;
}

void MakeDefaultAccount(TDm &dm)
{
    TTable &acc = dm.Tb_Account;
    if (acc.IsEmpty() || F(dm, "C")->AsString() == u"!")
        return;
    const int id = F(dm, "Id_Account")->AsInteger();
    acc.DisableControls();
    acc.First();
    while (!acc.Eof()) {
        SetMark(dm, "C", F(dm, "Id_Account")->AsInteger() == id ? QStringLiteral("!") : QString());
        acc.Next();
    }
    acc.Locate(QStringLiteral("Id_Account"), Variant(id), {});
    acc.EnableControls();
}

void ToggleGroupAccount(TDm &dm)
{
    if (dm.Tb_Account.IsEmpty())
        return;
    SetMark(dm, "A", F(dm, "A")->AsString().isEmpty() ? QStringLiteral("+") : QString());
}

int64_t OpenCurrencySums(TDm &dm, bool GroupOnly)
{
    TQuery &q = dm.Qacn;
    q.Close();
    QStringList &sql = q.SQL();
    // The third line is the source: all accounts or the group's.
    if (sql.size() >= 3)
        sql[2] = GroupOnly ? QStringLiteral("from tb_account where A='+'") : QStringLiteral("from tb_account ");
    q.Open();
    int64_t sum = 0;
    q.DisableControls();
    q.First();
    while (!q.Eof()) {
        sum += MoneyToUnits(q.FieldByName(QStringLiteral("ye"))->AsFloat());
        q.Next();
    }
    q.First();
    q.EnableControls();
    return sum;
}

bool RenameCurrency(TDm &dm, const QString &Old, const QString &New)
{
    if (New.isEmpty() || New == Old)
        return false;
    // Both names are bound values: a currency typed with a quote in it ("д'р")
    // is then a name like any other, where pasted into the text it would end
    // the literal and fail the rename or change other rows.
    const int64_t taken = ScalarCount(dm, QStringLiteral("select count(*) from tb_account where currency=?1"),
                                      [&](TSqliteStatement &st) { st.BindText(1, New); });
    if (taken > 0) {
        dm.Host().Notice(U("Уже есть такая валюта!"));
        return false;
    }
    try {
        dm.Db.ReleaseStatements();
        TSqliteStatement st(dm.Db.Db(), QStringLiteral("update tb_account set currency=?1 where currency=?2"));
        st.BindText(1, New);
        st.BindText(2, Old);
        st.Step();
    } catch (const Exception &) {
        return false;
    }
    dm.Tb_Account.Refresh();
    return true;
}

bool CorrectAccountRest(TDm &dm, const QString &Text)
{
    double value = 0;
    if (!TryStrToFloat(Text.trimmed(), value))
        return false;
    CheckMoneyRange(value);
    dm.Tb_Account.Edit();
    F(dm, "Rest")->SetAsFloat(value);
    try {
        dm.Tb_Account.Post();
    } catch (const Exception &) {
        dm.Tb_Account.Cancel();
        return false;
    }
    return true;
}

} // namespace zorbel
