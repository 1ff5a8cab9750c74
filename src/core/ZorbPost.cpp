#include "core/ZorbPost.h"

#include "core/ZorbLedger.h"
#include "core/ZorbText.h"
#include "platform/rtl/Assert.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"

#include <cmath>

namespace zorbel {
namespace {

int64_t Units(const TField *f) { return f->IsNull() ? 0 : MoneyToUnits(f->AsFloat()); }

// A field set to a value of 1/10000 units, or cleared for 0 when asked.
// Balances move by these differences, so the field must give the very units
// back: a field that rounded or narrowed the value would drift silently.
void SetUnits(TField *f, int64_t units)
{
    f->SetAsFloat(UnitsToMoney(units));
    // Past the balance bound a double no longer holds every unit; such a
    // balance is refused by the account's post, which the caller reports.
    ZORBEL_ASSERT(!BalanceUnitsInRange(units) || Units(f) == units);
}

const QString KeyFields = QStringLiteral("Id_Account;Date_Create;Kind");

// Yr and Mn := the year and month of Day on the row being written: the
// limits, the year-by-category and the month figures select operations by
// them, so every row, both legs of a transfer too, must count in its month.
void SetYearMonth(TDataSet &hist, TDateTime Day)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(Day, y, m, d);
    hist.FieldByName(QStringLiteral("Yr"))->SetAsInteger(y);
    hist.FieldByName(QStringLiteral("Mn"))->SetAsInteger(m);
}

// Goes to the realised row of Account written at Created: the other leg of a
// transfer. Its day is looked up beside the cursor first, so the table then
// holds only that account's rows of that day and the write that follows
// settles without listing the account's rows (or the whole table's).
bool GoToLeg(TTable &h, const Variant &Account, const Variant &Created)
{
    const Variant key = VarArrayOf({Account, Created, Variant(U("1"))});
    h.SetRange({Account}, {Account});
    const Variant day = h.Lookup(KeyFields, key, QStringLiteral("Date_Real"));
    if (!day.IsNull())
        SetDayRange(h, Account, day);
    return h.Locate(KeyFields, key, {});
}

} // namespace

int64_t CardDeltaOnShow(TCardMode mode, bool editing, TDataSet &hist)
{
    if (!editing || mode == TCardMode::Idle)
        return 0;
    return Units(hist.FieldByName(mode == TCardMode::Income ? QStringLiteral("Dt") : QStringLiteral("Ct")));
}

int64_t CardDeltaOnOk(int64_t Delta, bool realiseFlag, TDataSet &hist)
{
    if (hist.FieldByName(QStringLiteral("Kind"))->AsString() != u"1" && !realiseFlag)
        return Delta;
    if (realiseFlag)
        Delta = 0; // a planned operation was never in the balance
    const TField *dt = hist.FieldByName(QStringLiteral("Dt"));
    if (dt->IsNull())
        return Delta - Units(hist.FieldByName(QStringLiteral("Ct")));
    return Units(dt) - Delta;
}

void DefaultFutureRange(TDateTime Today, TDateTime &From, TDateTime &To)
{
    From = std::trunc(Today) + 1;
    int y = 0, m = 0, d = 0;
    DecodeDate(From, y, m, d);
    DecodeDate(IncMonth(From, d <= 14 ? 1 : 2), y, m, d);
    To = EncodeDate(y, m, 1) - 1;
}

void AddToRest(TTable &Accounts, int64_t Delta)
{
    if (Delta == 0 || !Accounts.Active() || Accounts.IsEmpty())
        return;
    TControlsOff off(Accounts);
    TField *rest = Accounts.FieldByName(QStringLiteral("Rest"));
    const int64_t now = Units(rest);
    Accounts.Edit();
    try {
        SetUnits(rest, now + Delta);
        Accounts.Post();
    } catch (...) {
        Accounts.Cancel();
        throw;
    }
}

void TPostHost::UpdateBalances(TDm &dm, bool, int64_t Delta) { AddToRest(dm.Tb_Account, Delta); }

std::vector<TAccountLine> AccountPickerLines(TDm &dm)
{
    std::vector<TAccountLine> lines;
    TTable &acc = dm.Tb_Account;
    if (!acc.Active() || acc.IsEmpty())
        return lines;
    TControlsOff off(acc);
    const TBookmark back = acc.GetBookmark();
    const int current = acc.FieldByName(QStringLiteral("Id_Account"))->AsInteger();
    for (acc.First(); !acc.Eof(); acc.Next()) {
        const int id = acc.FieldByName(QStringLiteral("Id_Account"))->AsInteger();
        if (id == current)
            continue;
        QString text = acc.FieldByName(QStringLiteral("Account"))->AsString() + QStringLiteral(" = ") +
                       FormatFloat(QStringLiteral("#,##0.00"), acc.FieldByName(QStringLiteral("Rest"))->AsFloat()) +
                       u' ' + acc.FieldByName(QStringLiteral("Currency"))->AsString();
        const TField *rate = acc.FieldByName(QStringLiteral("Rate"));
        if (!rate->IsNull() && rate->AsFloat() > 0)
            text += U(",   курс=") + FloatToStr(rate->AsFloat());
        lines.push_back({text, id});
    }
    acc.GotoBookmark(back);
    return lines;
}

double RateFromAccountLine(const QString &line)
{
    const qsizetype at = line.indexOf(U("курс="));
    if (at < 0)
        return 0;
    double rate = 0;
    return TryStrToFloat(line.mid(at + 5).trimmed(), rate) ? rate : 0;
}

TDateTime TPosting::Today() { return Date(); }

TField *TPosting::H(const char *name) { return dm_.Tb_Hist.FieldByName(U(name)); }

double DayRate(TDm &dm, int Account, TDateTime Day)
{
    TQuery &q = dm.QDayRate;
    try {
        q.Close();
        q.ParamByName(QStringLiteral("a"))->SetAsSmallInt(Account);
        q.ParamByName(QStringLiteral("d"))->SetAsDate(Day);
        q.Open();
        const double rate = q.IsEmpty() || q.Fields()[0]->IsNull() ? 0 : q.Fields()[0]->AsFloat();
        q.Close();
        return rate;
    } catch (...) {
        // Raised, never 0: a 0 would put the account's rate in place of the
        // day's into the operation.
        q.Close();
        throw;
    }
}

double TPosting::DayRate(int account, TDateTime date) { return zorbel::DayRate(dm_, account, date); }

void TPosting::SetOperationCategory(TDataSet &hist, const TCategoryNode &node)
{
    TField *l1 = hist.FieldByName(QStringLiteral("Level1"));
    TField *l2 = hist.FieldByName(QStringLiteral("Level2"));
    TField *l3 = hist.FieldByName(QStringLiteral("Level3"));
    switch (node.Level) {
    case 2:
        l3->SetAsInteger(node.Id);
        l2->SetAsInteger(node.Parent);
        l1->SetAsInteger(node.Grandparent);
        break;
    case 1:
        l3->Clear();
        l2->SetAsInteger(node.Id);
        l1->SetAsInteger(node.Parent);
        break;
    default:
        l3->Clear();
        l2->Clear();
        l1->SetAsInteger(node.Id);
        break;
    }
}

bool TPosting::CategoryMatchesRow(TDataSet &hist, const TCategoryNode &node)
{
    if (hist.IsEmpty())
        return false;
    if (node.Id == -1)
        return true;
    const TField *l1 = hist.FieldByName(QStringLiteral("Level1"));
    const TField *l2 = hist.FieldByName(QStringLiteral("Level2"));
    const TField *l3 = hist.FieldByName(QStringLiteral("Level3"));
    const auto is = [](const TField *f, int id) { return !f->IsNull() && f->AsInteger() == id; };
    switch (node.Level) {
    case 2:
        return is(l3, node.Id) && is(l2, node.Parent) && is(l1, node.Grandparent);
    case 1:
        return l3->IsNull() && is(l2, node.Id) && is(l1, node.Parent);
    default:
        return l3->IsNull() && l2->IsNull() && is(l1, node.Id);
    }
}

int TPosting::OperationCategory(TDataSet &hist)
{
    for (const char *level : {"Level3", "Level2", "Level1"}) {
        const TField *f = hist.FieldByName(U(level));
        if (!f->IsNull())
            return f->AsInteger();
    }
    return -100;
}

TCardMode TPosting::ModeForEdit()
{
    TTable &h = dm_.Tb_Hist;
    if (!h.Active() || h.IsEmpty())
        return TCardMode::Idle;
    const int level1 = H("Level1")->IsNull() ? 0 : H("Level1")->AsInteger();
    if (level1 < 0)
        return level1 == -1 ? TCardMode::Transfer : TCardMode::Idle;
    return H("Dt")->IsNull() ? TCardMode::Expense : TCardMode::Income;
}

void TPosting::PrepareNew()
{
    H("Kind")->SetAsString(Today() >= std::trunc(EntryDate) ? U("1") : U("2"));
    const bool expense = CardMode == TCardMode::Expense;
    if (Mem.AnyRow() && CardMode != TCardMode::Transfer &&
        dm_.Tb_Items.FindKey({Variant(int16_t(OperationCategory(dm_.Tb_Hist)))})) {
        const auto item = [&](const char *name) { return dm_.Tb_Items.FieldByName(U(name))->AsVariant(); };
        if (Mem.Price)
            H("Price")->SetAsVariant(item("Pr"));
        if (Mem.Sum)
            H(expense ? "Ct" : "Dt")->SetAsVariant(item("Sm"));
        if (Mem.Quant)
            H(expense ? "Qdt" : "Qct")->SetAsVariant(item("Qn"));
        if (Sticky.WhoDown && Sticky.WhoTag >= 1)
            H("ID_Person")->SetAsInteger(Sticky.WhoTag);
        else if (Mem.Prs)
            H("ID_Person")->SetAsVariant(item("Id_Prs"));
        if (Sticky.WhereDown && Sticky.WhereTag >= 1)
            H("ID_Firm")->SetAsInteger(Sticky.WhereTag);
        else if (Mem.Frm)
            H("ID_Firm")->SetAsVariant(item("Id_Frm"));
        if (Mem.Comm)
            H("Comment")->SetAsVariant(item("Comm"));
    }
    if (Mem.Rate) {
        const int account = H("Id_Account")->AsInteger();
        const double r = DayRate(account, EntryDate);
        if (r > 0)
            H("Rate")->SetAsFloat(r);
        else
            H("Rate")->SetAsVariant(dm_.Tb_Account.FieldByName(QStringLiteral("Rate"))->AsVariant());
    }
}

void TPosting::AtAccount(int account, const std::function<void()> &f)
{
    TTable &acc = dm_.Tb_Account;
    TControlsOff off(acc);
    const TBookmark back = acc.GetBookmark();
    if (!acc.Locate(QStringLiteral("Id_Account"), Variant(int16_t(account)), {}))
        throw EDatabaseError(U("Счёт не найден"));
    const auto goBack = [&] {
        try {
            acc.GotoBookmark(back);
        } catch (const Exception &) {
            // The account row went away: stay where the cursor stands.
        }
    };
    // Back on the current account also when f fails (a balance refused):
    // the ledger and the next new operation follow Tb_Account's row.
    try {
        f();
    } catch (...) {
        goBack();
        throw;
    }
    goBack();
}

void TPosting::RememberInCategory()
{
    TTable &items = dm_.Tb_Items;
    if (!items.FindKey({Variant(int16_t(OperationCategory(dm_.Tb_Hist)))}))
        return;
    const bool expense = CardMode == TCardMode::Expense;
    try {
        items.Edit();
        const auto set = [&](const char *item, const char *hist) {
            items.FieldByName(U(item))->SetAsVariant(H(hist)->AsVariant());
        };
        set("Sm", expense ? "Ct" : "Dt");
        set("Qn", expense ? "Qdt" : "Qct");
        set("Pr", "Price");
        set("Dte", "Date_Real");
        set("Id_Prs", "ID_Person");
        set("Id_Frm", "ID_Firm");
        set("Comm", "Comment");
        items.Post();
    } catch (const Exception &) {
        items.Cancel(); // the operation stays posted without its category's memory
    }
    if (!H("ID_Person")->IsNull() && H("ID_Person")->AsInteger() > 0)
        Sticky.WhoTag = H("ID_Person")->AsInteger();
    if (!H("ID_Firm")->IsNull() && H("ID_Firm")->AsInteger() > 0)
        Sticky.WhereTag = H("ID_Firm")->AsInteger();
}

QString TPosting::UpdateCurrencyRate()
{
    TTable &acc = dm_.Tb_Account;
    const TField *rowRate = H("Rate");
    const TField *accRate = acc.FieldByName(QStringLiteral("Rate"));
    // A row without a rate leaves the currency's rate alone.
    if (rowRate->IsNull() || (!accRate->IsNull() && rowRate->AsFloat() == accRate->AsFloat()))
        return {};
    const QString currency = acc.FieldByName(QStringLiteral("Currency"))->AsString();
    QString failure;
    try {
        TQuery &q = dm_.QRate;
        q.ParamByName(QStringLiteral("Rate"))->SetAsFloat(rowRate->AsFloat());
        q.ParamByName(QStringLiteral("Currency"))->SetAsString(currency);
        q.ExecSQL();
    } catch (const Exception &e) {
        // Not the operation's failure, which stands; but the у.е. totals go
        // on with the old rate, so the person is told once it is written.
        failure = U("Операция записана, но курс валюты «") + currency + U("» не изменён: ") + e.Message();
    }
    acc.Refresh();
    dm_.SetModified(true);
    return failure;
}

void TPosting::PostOperation(bool isNew, const TCardResult &card)
{
    TTable &h = dm_.Tb_Hist;
    TTransactionScope tx(dm_.Db, {&h, &dm_.Tb_Account, &dm_.Tb_Items});
    try {
        if (!isNew) {
            if (card.TakeCategory && card.HasNode && (h.State() == dsEdit || h.State() == dsInsert) &&
                !dm_.Tb_Items.IsEmpty() && dm_.Tb_Items.FieldByName(QStringLiteral("ID_ITM"))->AsInteger() >= 0)
                SetOperationCategory(h, card.Node);
            if (card.TakeEntryDate && (h.State() == dsEdit || h.State() == dsInsert))
                H("Date_Real")->SetAsDateTime(EntryDate);
            if (RealiseFlag)
                H("Kind")->SetAsString(U("1"));
        }
        SetYearMonth(h, H("Date_Real")->AsDateTime());
        if (H("Comment")->AsString().isEmpty())
            H("Comment")->Clear();
        h.Post();
    } catch (...) {
        if (h.State() == dsEdit || h.State() == dsInsert)
            h.Cancel();
        throw; // the scope rolls back
    }
    QString rateNotWritten;
    try {
        if (CardMode == TCardMode::Expense || CardMode == TCardMode::Income)
            RememberInCategory();
        // Transfers too: a rate typed on a transfer is the currency's new rate,
        // which the у.е. totals read from the accounts.
        rateNotWritten = UpdateCurrencyRate();
        if (H("Kind")->AsString() == u"1") {
            host_.UpdateBalances(dm_, false, card.BalanceDelta);
            if (CardMode == TCardMode::Transfer)
                WriteTransferPair(isNew, card);
        } else {
            host_.UpdateBalances(dm_, false, 0); // the planned totals change
        }
        tx.Commit();
    } catch (...) {
        tx.Rollback();
        host_.UpdateBalances(dm_, true, 0);
        throw;
    }
    if (!rateNotWritten.isEmpty())
        host_.Notice(rateNotWritten);
}

void TPosting::WriteTransferPair(bool isNew, const TCardResult &card)
{
    if (CardMode != TCardMode::Transfer)
        return;
    TTable &h = dm_.Tb_Hist;
    const Variant created = H("Date_Create")->AsVariant();
    const Variant real = H("Date_Real")->AsVariant();
    const Variant person = H("ID_Person")->AsVariant(), firm = H("ID_Firm")->AsVariant();
    const Variant comment = H("Comment")->AsVariant();
    const int sender = H("Id_Account")->AsInteger();
    const int64_t price = Units(H("Price"));
    const int64_t amount = card.TransferAmount != 0 ? card.TransferAmount : Units(H("Ct"));
    if (amount == 0 || !card.TargetAccount)
        return;
    const int target = *card.TargetAccount;

    TControlsOff off(h);
    const TBookmark back = h.GetBookmark();
    const auto restore = [&] {
        host_.ApplyLedgerRange(dm_);
        try {
            h.GotoBookmark(back);
        } catch (const Exception &) {
            // Only the ledger's position: the legs and balances are written.
        }
    };
    int64_t old = 0;
    if (isNew || RealiseFlag) {
        SetDayRange(h, Variant(int16_t(target)), real);
        h.Insert();
    } else if (GoToLeg(h, Variant(int16_t(target)), created)) {
        old = Units(H("Dt"));
        h.Edit();
    } else {
        restore();
        host_.Notice(U("Соответствующая строка не найдена!"));
        return;
    }
    try {
        H("Date_Create")->SetAsVariant(created);
        H("Date_Real")->SetAsVariant(real);
        SetYearMonth(h, real.AsDate());
        H("ID_Firm")->SetAsVariant(firm);
        H("ID_Person")->SetAsVariant(person);
        H("Comment")->SetAsVariant(comment);
        if (price != 0)
            SetUnits(H("Price"), price);
        else
            H("Price")->Clear();
        H("Id_Account")->SetAsInteger(target);
        H("Kind")->SetAsString(U("1"));
        H("Level1")->SetAsInteger(-1);
        H("Ref_Account")->SetAsInteger(sender);
        SetUnits(H("Dt"), amount);
        if (Mem.Rate) {
            const double r = DayRate(target, real.AsDate());
            if (r > 0)
                H("Rate")->SetAsFloat(r);
            else
                H("Rate")->SetAsVariant(card.TargetRate); // null stays null: a rate of 0 is no rate
        }
        h.Post();
    } catch (...) {
        h.Cancel();
        restore();
        throw;
    }
    restore();
    AtAccount(target, [&] { AddToRest(dm_.Tb_Account, amount - old); });
}

bool TPosting::DeleteOperation()
{
    TTable &h = dm_.Tb_Hist;
    if (!h.Active() || h.IsEmpty())
        return false;
    const bool transfer = !H("Level1")->IsNull() && H("Level1")->AsInteger() == -1;
    if (transfer && !H("Dt")->IsNull() && H("Ct")->IsNull())
        return false; // the receiving leg goes only with its sending leg
    if (H("Kind")->AsString() > u"1") {
        h.Delete();
        host_.UpdateBalances(dm_, false, 0);
        return true;
    }
    TTransactionScope tx(dm_.Db, {&h, &dm_.Tb_Account});
    const Variant created = H("Date_Create")->AsVariant();
    const Variant ref = H("Ref_Account")->AsVariant();
    if (transfer) {
        int64_t partner = 0;
        {
            TControlsOff off(h);
            const TBookmark back = h.GetBookmark();
            if (GoToLeg(h, ref, created)) {
                partner = Units(H("Dt"));
                h.Delete();
            }
            host_.ApplyLedgerRange(dm_);
            try {
                h.GotoBookmark(back);
            } catch (const Exception &) {
                // Only the ledger's position: the partner leg is deleted.
            }
        }
        if (!VarIsClear(ref) && partner != 0)
            AtAccount(ref.AsInteger(), [&] { AddToRest(dm_.Tb_Account, -partner); });
    }
    const int64_t own = !H("Ct")->IsNull() ? Units(H("Ct")) : -Units(H("Dt"));
    h.Delete();
    // Always: the totals, the planned figures and the row count change with
    // the row even when its amount moves the balance by nothing.
    host_.UpdateBalances(dm_, false, own);
    tx.Commit();
    return true;
}

int TPosting::CopyToFuture(const std::vector<int> &days)
{
    TTable &h = dm_.Tb_Hist;
    if (!h.Active() || h.IsEmpty() || days.empty())
        return 0;
    static const char *const kept[] = {"Level1", "Level2", "Level3", "Dt",      "Ct",  "Price", "ID_Person",
                                       "ID_Firm", "Comment", "Ref_Account", "Qdt", "Qct", "Rate"};
    std::vector<Variant> values;
    for (const char *name : kept)
        values.push_back(H(name)->AsVariant());
    int written = 0;
    QString refused;
    TControlsOff off(h);
    TTransactionScope tx(dm_.Db, {&h});
    for (const int day : days) {
        try {
            h.Insert();
            H("Date_Real")->SetAsDateTime(day);
            SetYearMonth(h, day);
            for (size_t i = 0; i < std::size(kept); ++i)
                H(kept[i])->SetAsVariant(values[i]);
            H("Kind")->SetAsString(U("2"));
            h.Post();
            ++written;
        } catch (const EConvertError &e) {
            h.Cancel(); // past a bound: this copy is dropped, the person told why below
            refused = e.Message();
        } catch (const Exception &) {
            h.Cancel(); // this copy is dropped; the others are still written
        }
    }
    tx.Commit();
    host_.UpdateBalances(dm_, false, 0);
    if (!refused.isEmpty())
        host_.Notice(refused);
    return written;
}

bool TPosting::MoveOperation(int target, double rate)
{
    TTable &h = dm_.Tb_Hist;
    if (!h.Active() || h.IsEmpty() || H("Level1")->IsNull() || H("Level1")->AsInteger() < 0)
        return false;
    const int64_t amount = H("Dt")->IsNull() ? Units(H("Ct")) : -Units(H("Dt"));
    const int recNo = h.RecNo();
    bool moved = false, planned = false;
    {
        TControlsOff off(h);
        TTransactionScope tx(dm_.Db, {&h, &dm_.Tb_Account});
        const TBookmark row = h.GetBookmark();
        h.CancelRange(); // the cursor leaves the row: come back to it
        try {
            h.GotoBookmark(row);
            h.Edit();
            H("Id_Account")->SetAsInteger(target);
            if (rate > 0)
                H("Rate")->SetAsFloat(rate);
            h.Post();
            planned = H("Kind")->AsString() == u"2";
            if (H("Id_Account")->AsInteger() == target && !planned) {
                AtAccount(target, [&] { AddToRest(dm_.Tb_Account, -amount); });
                host_.UpdateBalances(dm_, true, amount);
            }
            tx.Commit();
            moved = true;
        } catch (const Exception &e) {
            if (h.State() == dsEdit)
                h.Cancel();
            tx.Rollback();
            // A move past a bound is refused in Russian; nothing moved.
            if (dynamic_cast<const EConvertError *>(&e))
                host_.Notice(e.Message());
        }
        host_.ApplyLedgerRange(dm_);
    }
    if (!h.IsEmpty())
        h.SetRecNo(std::min(std::max(recNo, 1), h.RecordCount()));
    // A planned operation moves no balance, but it leaves the planned totals.
    if (!moved || planned)
        host_.UpdateBalances(dm_, !moved, 0);
    return moved;
}

bool TPosting::PurgeHistory(bool beforeEntryDate, QString *Failure)
{
    TTable &acc = dm_.Tb_Account;
    TQuery &q = beforeEntryDate ? dm_.QAccBeg : dm_.QAccSum;
    bool all = true;
    TControlsOff off(acc);
    const TBookmark back = acc.GetBookmark();
    q.Close();
    if (beforeEntryDate)
        q.ParamByName(QStringLiteral("dt"))->SetAsDate(EntryDate);
    q.Open();
    while (!q.Eof()) {
        // One account's rows, added in units.
        const Variant id = q.Fields()[0]->AsVariant();
        // Added wide: many rows near the money bound may pass int64 on the way.
        __int128 sum = 0;
        for (; !q.Eof() && q.Fields()[0]->AsVariant() == id; q.Next())
            sum += Units(q.Fields()[1]) - Units(q.Fields()[2]);
        if (!acc.Locate(QStringLiteral("Id_Account"), id, {}))
            continue;
        try {
            const __int128 balance = Units(acc.FieldByName(QStringLiteral("Beg"))) + sum;
            if (!BalanceUnitsInRange(balance))
                throw EConvertError(BalanceRangeMessage(acc.FieldByName(QStringLiteral("Account"))->AsString(), false));
            acc.Edit();
            SetUnits(acc.FieldByName(beforeEntryDate ? QStringLiteral("Beg") : QStringLiteral("Rest")), int64_t(balance));
            acc.Post();
        } catch (const Exception &e) {
            acc.Cancel();
            if (all && Failure)
                *Failure = e.Message();
            all = false;
        }
    }
    q.Close();
    try {
        acc.GotoBookmark(back);
    } catch (const Exception &) {
        // Only the accounts' current row: every balance is written or reported.
    }
    return all;
}

bool TPosting::Purge()
{
    bool done = false;
    QString failure;
    {
        TTransactionScope tx(dm_.Db, {&dm_.Tb_Hist, &dm_.Tb_Account});
        try {
            if (PurgeHistory(true, &failure)) {
                dm_.QdelHist.ParamByName(QStringLiteral("dt"))->SetAsDate(EntryDate);
                dm_.QdelHist.ExecSQL();
                dm_.Tb_Hist.Refresh();
                if (PurgeHistory(false, &failure)) {
                    tx.Commit();
                    done = true;
                }
            }
        } catch (const Exception &e) {
            failure = e.Message(); // nothing of the purge remains: the scope rolls back
        }
        if (!done)
            tx.Rollback();
    }
    if (done)
        host_.UpdateBalances(dm_, true, 0);
    else
        host_.Notice(U("История не очищена, ничего не удалено: ") + failure);
    dm_.SetModified(true);
    return done;
}

} // namespace zorbel
