// A data set for the posting and card tests: four accounts in two
// currencies, a few categories, the ledger range of the current account, and
// helpers that add and edit operations through the same steps as the card.
#pragma once

#include "core/ZorbPost.h"
#include "core/ZorbText.h"

#include "ZorbDmFixture.h"
#include "platform/rtl/Money.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace zorbel::test {


// The main window as the posting sees it: the ledger range of the current
// account, notices recorded.
class TTestHost : public TDmHost, public TPostHost {
public:
    TDateTime EntryDate() const override { return entryDate; }
    void ApplyLedgerRange(TDm &dm) override
    {
        const Variant acc = dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsVariant();
        dm.Tb_Hist.SetRange({acc}, {acc});
        ++rangeApplied;
    }
    void Notice(const QString &Text) override { notices << Text; }
    void UpdateBalances(TDm &dm, bool recompute, int64_t delta) override
    {
        TPostHost::UpdateBalances(dm, recompute, delta);
        ++balanceUpdates;
    }
    TDateTime entryDate = Date();
    int rangeApplied = 0;
    int balanceUpdates = 0;
    QStringList notices;
};

// Four accounts: 1 and 2 in roubles, 3 and 4 in dollars. Categories: 0
// expense root, 1 income root, 10 food under 0, 11 bread under 10, 20 salary
// under 1, -1 the transfer category.
class PostTest : public ::testing::Test {
protected:
    PostTest()
    {
        dm.Db.SetParams({QStringLiteral("PATH=") + dir.path()});
        UnpackTemplate(dir.path());
        EXPECT_TRUE(dm.OpenDataSet({}).Opened);
        TTable &acc = dm.Tb_Account;
        // The first run wrote one account: make it account 1.
        acc.First();
        acc.Edit();
        acc.FieldByName(QStringLiteral("Account"))->SetAsString(U("Кошелёк"));
        SetAccount(1000, U("руб"), 1);
        AddAccount(U("Банк"), 5000, U("руб"), 1);
        AddAccount(U("Доллары"), 300, U("$"), 90);
        AddAccount(U("Карта $"), 0, U("$"), 90);
        AddItem(-1, U("ПЕРЕВОД"), {}, 0);
        AddItem(10, U("Еда"), 0, 1);
        AddItem(11, U("Хлеб"), 10, 2);
        AddItem(20, U("Зарплата"), 1, 1);
        GoAccount(1);
        host.ApplyLedgerRange(dm);
        host.rangeApplied = 0;
        post.EntryDate = host.entryDate;
    }

    void SetAccount(double beg, const QString &currency, double rate)
    {
        TTable &acc = dm.Tb_Account;
        acc.FieldByName(QStringLiteral("Currency"))->SetAsString(currency);
        acc.FieldByName(QStringLiteral("Rest"))->SetAsFloat(beg);
        acc.FieldByName(QStringLiteral("Beg"))->SetAsFloat(beg);
        acc.FieldByName(QStringLiteral("Rate"))->SetAsFloat(rate);
        acc.Post();
    }
    void AddAccount(const QString &name, double beg, const QString &currency, double rate)
    {
        dm.Tb_Account.Insert();
        dm.Tb_Account.FieldByName(QStringLiteral("Account"))->SetAsString(name);
        SetAccount(beg, currency, rate);
    }
    void AddItem(int id, const QString &name, const Variant &parent, int level)
    {
        TTable &items = dm.Tb_Items;
        if (items.FindKey({Variant(int16_t(id))}))
            return;
        items.Insert();
        items.FieldByName(QStringLiteral("ITM"))->SetAsString(name);
        items.FieldByName(QStringLiteral("ID_REF"))->SetAsVariant(parent);
        items.FieldByName(QStringLiteral("LEV"))->SetAsInteger(level);
        items.Post();
        items.Edit();
        items.FieldByName(QStringLiteral("ID_ITM"))->SetAsInteger(id);
        items.Post();
    }
    void GoAccount(int id)
    {
        ASSERT_TRUE(dm.Tb_Account.Locate(QStringLiteral("Id_Account"), Variant(int16_t(id)), {}));
        host.ApplyLedgerRange(dm);
    }
    double Rest(int id) { return Number(QStringLiteral("select rest from tb_account where id_account=%1").arg(id)); }
    double Beg(int id) { return Number(QStringLiteral("select beg from tb_account where id_account=%1").arg(id)); }
    double Number(const QString &sql)
    {
        dm.Qtemp.Close();
        dm.Qtemp.SQL() = QStringList{sql};
        dm.Qtemp.Open();
        const double v = dm.Qtemp.IsEmpty() ? -1e9 : dm.Qtemp.Fields()[0]->AsFloat();
        dm.Qtemp.Close();
        return v;
    }
    QString Scalar(const QString &sql)
    {
        dm.Qtemp.Close();
        dm.Qtemp.SQL() = QStringList{sql};
        dm.Qtemp.Open();
        const QString v = dm.Qtemp.IsEmpty() ? QString() : dm.Qtemp.Fields()[0]->AsString();
        dm.Qtemp.Close();
        return v;
    }
    int Count(const QString &where)
    {
        return Scalar(QStringLiteral("select count(*) from tb_hist where ") + where).toInt();
    }
    // Rows whose Yr and Mn are not the year and month of their date, by the
    // engine's own calendar (day 0 is 30 December 1899, Julian day 2415018.5).
    int RowsOutOfTheirMonth()
    {
        return Count(QStringLiteral("yr is not cast(strftime('%Y', date_real + 2415018.5) as integer) or "
                                    "mn is not cast(strftime('%m', date_real + 2415018.5) as integer)"));
    }

    static TCategoryNode Bread() { return {11, 2, 10, 0}; }
    static TCategoryNode Salary() { return {20, 1, 1, 0}; }
    static TCategoryNode Transfer() { return {-1, 0, 0, 0}; }

    // A new operation on the current account through the same steps as the
    // card: insert, category, preparation, the typed sum, OK.
    void Add(TCardMode mode, const TCategoryNode &node, double sum, TDateTime entry,
             std::optional<int> target = std::nullopt, double received = 0, double crossRate = 0, double rate = 0)
    {
        host.entryDate = entry;
        post.EntryDate = entry;
        post.CardMode = mode;
        TTable &h = dm.Tb_Hist;
        h.Insert();
        TPosting::SetOperationCategory(h, node);
        post.PrepareNew();
        h.FieldByName(mode == TCardMode::Income ? QStringLiteral("Dt") : QStringLiteral("Ct"))->SetAsFloat(sum);
        if (rate > 0)
            h.FieldByName(QStringLiteral("Rate"))->SetAsFloat(rate);
        TCardResult card;
        if (mode == TCardMode::Transfer) {
            if (target)
                h.FieldByName(QStringLiteral("Ref_Account"))->SetAsInteger(*target);
            if (crossRate > 0)
                h.FieldByName(QStringLiteral("Price"))->SetAsFloat(crossRate);
            card.TargetAccount = target;
        }
        card.BalanceDelta = CardDeltaOnOk(CardDeltaOnShow(mode, false, h), false, h);
        if (received > 0 && h.FieldByName(QStringLiteral("Kind"))->AsString() == u"1")
            card.TransferAmount = MoneyToUnits(received);
        post.PostOperation(true, card);
        lastStamp = h.FieldByName(QStringLiteral("Date_Create"))->AsVariant();
        post.CardMode = TCardMode::Idle;
    }

    // Edits (or, with realise, realises) the row with this creation stamp;
    // with moveTo the card's "Дата" gives it that day.
    void Edit(const Variant &created, double sum, bool realise = false, double received = 0, TDateTime moveTo = 0)
    {
        TTable &h = dm.Tb_Hist;
        ASSERT_TRUE(h.Locate(QStringLiteral("Date_Create"), created, {}));
        post.RealiseFlag = realise;
        post.CardMode = post.ModeForEdit();
        const TCardMode mode = post.CardMode;
        h.Edit();
        int64_t delta = CardDeltaOnShow(mode, true, h);
        h.FieldByName(mode == TCardMode::Income ? QStringLiteral("Dt") : QStringLiteral("Ct"))->SetAsFloat(sum);
        TCardResult card;
        if (mode == TCardMode::Transfer) {
            card.TargetAccount = h.FieldByName(QStringLiteral("Ref_Account"))->AsInteger();
            if (received > 0)
                card.TransferAmount = MoneyToUnits(received);
        }
        card.BalanceDelta = CardDeltaOnOk(delta, realise, h);
        if (moveTo != 0) {
            post.EntryDate = moveTo;
            card.TakeEntryDate = true;
        }
        post.PostOperation(false, card);
        post.RealiseFlag = false;
        post.CardMode = TCardMode::Idle;
    }

    // The creation stamp of the operation added last.
    Variant LastStamp() const { return lastStamp; }

    // Makes the n-th post of a table from now on fail, as a full disk would.
    void FailNthPost(TTable &t, int n)
    {
        auto previous = t.BeforePost;
        auto count = std::make_shared<int>(0);
        t.BeforePost = [previous, count, n](TDataSet *ds) {
            if (previous)
                previous(ds);
            if (++*count == n)
                throw EDatabaseError(QStringLiteral("injected failure"));
        };
    }

    QTemporaryDir dir;
    TTestHost host;
    TDm dm{&host};
    TPosting post{dm, host};
    Variant lastStamp;
};

} // namespace zorbel::test
