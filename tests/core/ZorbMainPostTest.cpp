// The main window's posting commands on a new data set: each asks what it
// must ask, then adds, deletes, copies, moves or purges through the posting.
#include "core/ZorbMain.h"

#include "ZorbSandbox.h"
#include "core/ZorbCopAc.h"
#include "core/ZorbDmCheck.h"
#include "core/ZorbLaunch.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"
#include "platform/widgets/ModalScript.h"

#include <gtest/gtest.h>

namespace zorbel {
namespace {


class MainPost : public testing::Test {
protected:
    MainPost()
    {
        main = std::make_unique<TFormMain>(QStringList{}, box.Path("program"));
        TTable &acc = main->Dm->Tb_Account;
        acc.Append();
        acc.FieldByName("Account")->SetAsString(U("Банк"));
        acc.FieldByName("Currency")->SetAsString(U("руб"));
        acc.FieldByName("Rate")->SetAsFloat(1.5);
        acc.Post();
        acc.Locate("Account", Variant(U("Мой первый счёт")), {});
        main->EntryDate = Date();
        main->ApplyLedgerPeriod();
        // The expense root category selected in the expense tree.
        TTreeNode *root = main->FindCategoryNode(main->TvCt, 0);
        EXPECT_NE(root, nullptr);
        main->TvCt->SetSelected(root);
    }
    ~MainPost() override { AnalysisLaunchers().FormPlan = nullptr; }
    int Count(const QString &where)
    {
        TQuery &q = main->Dm->Qtemp;
        q.Close();
        q.SQL() = QStringList{QStringLiteral("select count(*) from tb_hist where ") + where};
        q.Open();
        const int n = q.Fields()[0]->AsInteger();
        q.Close();
        return n;
    }
    // Adds an expense of Sum through the menu command and the card.
    void AddExpense(const QString &sum)
    {
        TModalScript script;
        script.Then([&](TForm &f) {
            auto &card = dynamic_cast<TFormCard &>(f);
            for (QChar c : sum)
                SendKey(card.DBESum, 0, Qt::NoModifier, QString(c));
            card.ButOk->Click();
        });
        main->mMoneyNewClick(nullptr);
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u'\n').toStdString();
    }
    void GoToLastOperation()
    {
        TTable &h = main->Dm->Tb_Hist;
        h.Refresh();
        h.Last();
    }

    TSandbox box;
    std::unique_ptr<TFormMain> main;
};

TEST_F(MainPost, AddAndDeleteThroughTheMenu)
{
    ASSERT_NE(main->Card(), nullptr);
    const double rest = main->Dm->Tb_Account.FieldByName("Rest")->AsFloat();
    AddExpense(U("42"));
    EXPECT_EQ(Count(U("ct=42 and kind='1' and level1=0")), 1);
    EXPECT_EQ(main->Posting->CardMode, TCardMode::Idle);
    // The balance and the status bar follow; the ledger shows the new row.
    EXPECT_DOUBLE_EQ(main->Dm->Tb_Account.FieldByName("Rest")->AsFloat(), rest - 42);
    EXPECT_EQ(main->Dm->Tb_Hist.RecordCount(), 1);
    // A double click on the row edits it through the card.
    TModalScript edit;
    edit.Then([&](TForm &f) {
        auto &card = dynamic_cast<TFormCard &>(f);
        EXPECT_TRUE(card.Caption().endsWith(U("--Изменение--")));
        card.DBESum->selectAll();
        for (QChar c : U("40"))
            SendKey(card.DBESum, 0, Qt::NoModifier, QString(c));
        card.ButOk->Click();
    });
    main->DBGDblClick(main->DBG);
    EXPECT_TRUE(edit.Finished()) << edit.Errors().join(u'\n').toStdString();
    EXPECT_DOUBLE_EQ(main->Dm->Tb_Account.FieldByName("Rest")->AsFloat(), rest - 40);
    GoToLastOperation();
    TModalScript no;
    no.Press(QStringLiteral("No"));
    main->mMoneyDeleteClick(nullptr);
    EXPECT_EQ(Count(U("1=1")), 1);
    TModalScript yes;
    yes.Press(QStringLiteral("Yes"));
    main->mMoneyDeleteClick(nullptr);
    ASSERT_EQ(yes.Seen().size(), 1u);
    EXPECT_EQ(yes.Seen()[0].Text, U("Удалить строку?"));
    EXPECT_EQ(Count(U("1=1")), 0);
}

// An amount the money arithmetic in 1/10000 cannot hold is refused in Russian
// before anything is posted (1e20 was posted, shown as "1E20", and left the
// stored balance wrong); the largest amount a person types posts, edits and
// deletes with the stored balance equal to an independent sum.
TEST_F(MainPost, AmountsBeyondTheMoneyRangeAreRefused)
{
    TTable &acc = main->Dm->Tb_Account;
    const double start = acc.FieldByName("Rest")->AsFloat();
    const auto sumOfRows = [&] {
        TQuery &q = main->Dm->Qtemp;
        q.Close();
        q.SQL() = QStringList{QStringLiteral("select coalesce(sum(round(dt*10000)),0) - coalesce(sum(round(ct*10000)),0) "
                                             "from tb_hist where kind='1' and id_account=%1")
                                  .arg(acc.FieldByName("Id_Account")->AsInteger())};
        q.Open();
        const int64_t n = std::llround(q.Fields()[0]->AsFloat()); // exact below 2^53
        q.Close();
        return n;
    };
    const auto restUnits = [&] { return MoneyToUnits(acc.FieldByName("Rest")->AsFloat()) - MoneyToUnits(start); };
    for (const char *typed : {"1e20", "1e15", "100000000000", "-1e20"}) {
        TModalScript script;
        QString shown;
        script.Then([&](TForm &f) {
            auto &card = dynamic_cast<TFormCard &>(f);
            for (QChar c : U(typed))
                SendKey(card.DBESum, 0, Qt::NoModifier, QString(c));
            card.ButOk->Click();
            EXPECT_EQ(card.ModalResult(), mrNone) << typed;
            card.ButCancel->Click();
        });
        main->mMoneyNewClick(nullptr);
        ASSERT_EQ(script.Seen().size(), 2u) << typed; // the card and one notice
        EXPECT_TRUE(script.Seen()[1].Text.contains(FormatFloat(U("#,##0"), 1e11))) << script.Seen()[1].Text.toStdString();
        EXPECT_EQ(Count(U("1=1")), 0) << typed;
        EXPECT_EQ(restUnits(), 0) << typed;
    }
    // Exponent notation within the range is a number like any other.
    AddExpense(U("1e5"));
    EXPECT_EQ(Count(U("ct=100000 and kind='1'")), 1);
    EXPECT_EQ(restUnits(), sumOfRows());
    GoToLastOperation();
    EXPECT_EQ(main->Dm->Tb_Hist.FieldByName("Ct")->DisplayText().replace(QChar(0xA0), u' '), U("100 000,00"));
    // The largest amounts a person types: post, edit, delete.
    AddExpense(U("999999999,99"));
    EXPECT_EQ(restUnits(), sumOfRows());
    EXPECT_EQ(restUnits(), -(999999999'9900LL + 100000'0000LL));
    GoToLastOperation();
    TModalScript edit;
    edit.Then([&](TForm &f) {
        auto &card = dynamic_cast<TFormCard &>(f);
        card.DBESum->selectAll();
        for (QChar c : U("99999999999,99"))
            SendKey(card.DBESum, 0, Qt::NoModifier, QString(c));
        card.ButOk->Click();
    });
    main->DBGDblClick(main->DBG);
    EXPECT_TRUE(edit.Finished()) << edit.Errors().join(u'\n').toStdString();
    EXPECT_EQ(restUnits(), sumOfRows());
    EXPECT_EQ(restUnits(), -(99999999999'9900LL + 100000'0000LL));
    GoToLastOperation();
    TModalScript yes;
    yes.Press(QStringLiteral("Yes"));
    main->mMoneyDeleteClick(nullptr);
    EXPECT_EQ(Count(U("1=1")), 1);
    EXPECT_EQ(restUnits(), sumOfRows());
    EXPECT_EQ(restUnits(), -100000'0000LL);
}

TEST_F(MainPost, CopyIntoTheFutureAsksForTheCount)
{
    AddExpense(U("15"));
    GoToLastOperation();
    TDateTime offeredFrom = 0;
    AnalysisLaunchers().FormPlan = [&](TDateTime from, TDateTime, std::vector<int> &days) {
        offeredFrom = from;
        days = {int(from) + 3, int(from) + 33};
        return true;
    };
    TModalScript script;
    script.Press(QStringLiteral("Yes"));
    main->mpMoneyCopyClick(nullptr);
    EXPECT_EQ(offeredFrom, Date() + 1);
    ASSERT_EQ(script.Seen().size(), 1u);
    EXPECT_EQ(script.Seen()[0].Text, U("Добавить 2 планируемых строк?"));
    EXPECT_EQ(Count(U("kind='2' and ct=15")), 2);
}

TEST_F(MainPost, MoveTakesTheChosenAccountAndItsRate)
{
    AddExpense(U("7"));
    GoToLastOperation();
    TModalScript script;
    script.Then([](TForm &f) {
        auto &picker = dynamic_cast<TFormCopAc &>(f);
        EXPECT_EQ(picker.Caption(), U("Переместить строку на счёт"));
        ASSERT_EQ(picker.Lb->Count(), 1);
        EXPECT_TRUE(picker.Lb->Items().Strings(0).startsWith(U("Банк = ")));
        EXPECT_TRUE(picker.Lb->Items().Strings(0).endsWith(U("руб,   курс=1,5")));
        picker.LbDblClick(picker.Lb);
    });
    main->mpAccCopyClick(nullptr);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(Count(U("ct=7 and rate=1.5 and id_account=2")), 1);
}

TEST_F(MainPost, MovingAPlannedOperationTakesItOutOfThePlannedTotals)
{
    main->EntryDate = Date() + 1;
    AddExpense(U("9"));
    ASSERT_EQ(Count(U("kind='2' and ct=9 and id_account=1")), 1);
    ASSERT_FALSE(main->PlannedExpenseText.isEmpty());
    ASSERT_TRUE(main->Sb->PanelText(7).contains(u'(')) << main->Sb->PanelText(7).toStdString();
    GoToLastOperation();
    TModalScript script;
    script.Press(QStringLiteral("ButOk"));
    main->mpAccCopyClick(nullptr);
    EXPECT_EQ(Count(U("kind='2' and ct=9 and id_account=2")), 1);
    // Nothing is planned in this account any more; the status bar says so at once.
    EXPECT_TRUE(main->PlannedExpenseText.isEmpty()) << main->PlannedExpenseText.toStdString();
    EXPECT_FALSE(main->Sb->PanelText(7).contains(u'(')) << main->Sb->PanelText(7).toStdString();
}

TEST_F(MainPost, PurgeAsksAndMarksForPacking)
{
    AddExpense(U("3"));
    main->EntryDate = Date() + 1;
    TModalScript script;
    script.Press(QStringLiteral("Yes"));
    main->mEmptyClick(nullptr);
    ASSERT_EQ(script.Seen().size(), 1u);
    EXPECT_TRUE(script.Seen()[0].Text.startsWith(U("Удалить БЕЗВОЗВРАТНО все данные до ")));
    EXPECT_EQ(Count(U("1=1")), 0);
    EXPECT_TRUE(main->PackOnClose);
    EXPECT_TRUE(main->Dm->Modified());
}

// A purge that cannot be done says so through the program's notice, and
// leaves every operation and sum as it was.
TEST_F(MainPost, FailedPurgeSaysSoAndDeletesNothing)
{
    AddExpense(U("3"));
    main->EntryDate = Date() + 1;
    TTable &acc = main->Dm->Tb_Account;
    const double rest = acc.FieldByName("Rest")->AsFloat();
    const auto check = acc.BeforePost;
    acc.BeforePost = [check](TDataSet *d) {
        check(d);
        throw EDatabaseError(U("диск полон"));
    };
    TModalScript script;
    script.Press(QStringLiteral("Yes"));
    script.Press(QStringLiteral("OK"));
    main->mEmptyClick(nullptr);
    acc.BeforePost = check;
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u'\n').toStdString();
    ASSERT_EQ(script.Seen().size(), 2u);
    EXPECT_EQ(script.Seen()[1].Text, U("История не очищена, ничего не удалено: диск полон"));
    EXPECT_EQ(Count(U("1=1")), 1);
    EXPECT_DOUBLE_EQ(acc.FieldByName("Rest")->AsFloat(), rest);
}

// Four expenses each inside the money bound take the balance past 10^11: the
// stored values pass the opening's check. Expenses that would take it past
// the balance bound are refused through the menu with the Russian reason,
// and nothing of them is written.
TEST_F(MainPost, BalancesPastTheBoundAreRefusedAndTheFileStaysSound)
{
    for (const char *sum : {"100000", "999999999,99", "99999999999", "10"})
        AddExpense(U(sum));
    EXPECT_EQ(Count(U("1=1")), 4);
    EXPECT_EQ(ImpossibleValuesReport(main->Dm->Db.Db()), QString());
    for (int i = 0; i < 4; ++i)
        AddExpense(U("99999999999"));
    ASSERT_EQ(Count(U("1=1")), 8);
    const double rest = main->Dm->Tb_Account.FieldByName("Rest")->AsFloat();
    TModalScript script;
    script.Then([&](TForm &f) {
        auto &card = dynamic_cast<TFormCard &>(f);
        for (QChar c : U("99999999999"))
            SendKey(card.DBESum, 0, Qt::NoModifier, QString(c));
        card.ButOk->Click();
    });
    script.Press(QStringLiteral("OK"));
    main->mMoneyNew->Click();
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u'\n').toStdString();
    ASSERT_EQ(script.Seen().size(), 2u);
    EXPECT_EQ(script.Seen()[1].Text, BalanceRangeMessage(U("Мой первый счёт"), false));
    EXPECT_EQ(Count(U("1=1")), 8);
    EXPECT_EQ(main->Dm->Tb_Account.FieldByName("Rest")->AsFloat(), rest);
    EXPECT_EQ(main->Dm->Tb_Hist.State(), dsBrowse);
    EXPECT_EQ(ImpossibleValuesReport(main->Dm->Db.Db()), QString());
}

} // namespace
} // namespace zorbel
