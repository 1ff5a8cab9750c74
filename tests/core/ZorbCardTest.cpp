// The operation card driven through the modal hook, keys included: expenses,
// incomes and transfers end up posted with the right balances; the amount
// keys, derived fields, checks and month totals behave as a person expects.
// With ZORBEL_SCREENSHOTS set to a folder the card is saved there as PNGs.
#include "core/ZorbCard.h"

#include "ZorbPostFixture.h"
#include "core/ZorbBound.h"
#include "core/ZorbCalc.h"
#include "core/ZorbCardRules.h"
#include "platform/rtl/Format.h"
#include "platform/widgets/ModalScript.h"

#include <QDir>

namespace zorbel {
namespace {

using namespace zorbel::test;

void Snapshot(TForm &form, const QString &name)
{
    const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
    if (!dir.isEmpty())
        form.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

// Chooses the transfer's target account in the card's list as a person would.
void ChooseTarget(TFormCard &c, const QString &name)
{
    c.DBLTrans->RefreshList();
    c.DBLTrans->setCurrentIndex(-1);
    for (int i = 0; i < c.DBLTrans->count(); ++i)
        if (c.DBLTrans->itemText(i).startsWith(name))
            c.DBLTrans->setCurrentIndex(i);
}

// Types text into a control key by key.
void Type(QWidget *w, const QString &text)
{
    for (QChar c : text)
        SendKey(w, 0, Qt::NoModifier, QString(c));
}

class CardTest : public PostTest {
protected:
    CardTest()
    {
        dm.Tb_Person.Open();
        dm.Tb_Firm.Open();
        trees.ExpenseNode = Bread();
        trees.IncomeNode = Salary();
    }
    // Adds an operation through the card; Step drives the shown card.
    void AddThroughCard(bool expense, const std::function<void(TFormCard &)> &step)
    {
        trees.ExpenseShown = expense;
        TModalScript script;
        script.Then([&](TForm &) { step(card); });
        RunOperationCard(dm, post, card, true, trees);
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u'\n').toStdString();
    }
    TField *H(const char *name) { return dm.Tb_Hist.FieldByName(U(name)); }
    TMainOptions options;
    TFormCard card{dm, post, options};
    TCardTrees trees;
};

TEST_F(CardTest, ExpenseTypedAndConfirmedLowersTheBalance)
{
    AddThroughCard(true, [&](TFormCard &c) {
        EXPECT_EQ(c.Caption(), U("Расход...Хлеб    --Добавление--"));
        EXPECT_FALSE(c.PanTrans->isVisibleTo(&c));
        Type(c.DBESum, U("125ю5")); // 'ю' is the decimal separator
        EXPECT_EQ(c.DBESum->Text(), U("125,5"));
        Type(c.DBEComm, U("Батон"));
        Snapshot(c, QStringLiteral("card-expense"));
        c.ButOk->Click();
    });
    EXPECT_DOUBLE_EQ(Rest(1), 874.5);
    EXPECT_EQ(Count(U("ct=125.5 and kind='1' and level3=11 and comment='Батон'")), 1);
    EXPECT_EQ(post.CardMode, TCardMode::Idle);
}

TEST_F(CardTest, IncomeWithQuantityDerivesThePrice)
{
    options.AutoSum = true;
    AddThroughCard(false, [&](TFormCard &c) {
        EXPECT_EQ(c.Caption(), U("Приход...Зарплата    --Добавление--"));
        EXPECT_EQ(c.DBESum->DataField(), QStringLiteral("DT"));
        EXPECT_EQ(c.DBEQuant->DataField(), QStringLiteral("Qct"));
        Type(c.DBESum, U("50"));
        Type(c.DBEQuant, U("4"));
        Snapshot(c, QStringLiteral("card-income"));
        c.ButOk->Click();
    });
    EXPECT_DOUBLE_EQ(Rest(1), 1050);
    EXPECT_EQ(Count(U("dt=50 and qct=4 and price=12.5")), 1);
}

TEST_F(CardTest, CrossCurrencyTransferCreditsTheTypedAmount)
{
    trees.ExpenseNode = Transfer();
    AddThroughCard(true, [&](TFormCard &c) {
        EXPECT_TRUE(c.PanTrans->isVisibleTo(&c));
        EXPECT_FALSE(c.GrRate->isVisibleTo(&c)); // no target yet
        ChooseTarget(c, U("Доллары"));
        EXPECT_TRUE(c.GrRate->isVisibleTo(&c));
        Type(c.DBESum, U("900"));
        Type(c.DBERate, U("90"));
        c.ButTransEv->Click(); // 900 / 90 with the button on "x": the price divides
        EXPECT_DOUBLE_EQ(dm.Qtrans.FieldByName(QStringLiteral("Dt"))->AsFloat(), 10);
        Snapshot(c, QStringLiteral("card-transfer"));
        c.ButOk->Click();
        EXPECT_EQ(c.TransferAmount, 100000);
    });
    EXPECT_DOUBLE_EQ(Rest(1), 100);
    EXPECT_DOUBLE_EQ(Rest(3), 310);
    EXPECT_EQ(Count(U("id_account=3 and dt=10 and level1=-1 and price=90")), 1);
}

TEST_F(CardTest, SameCurrencyTransferNeverShowsTheRateGroup)
{
    trees.ExpenseNode = Transfer();
    AddThroughCard(true, [&](TFormCard &c) {
        ChooseTarget(c, U("Банк"));
        EXPECT_FALSE(c.GrRate->isVisibleTo(&c));
        Type(c.DBESum, U("40"));
        c.ButOk->Click();
        EXPECT_EQ(c.TransferAmount, 0);
    });
    EXPECT_DOUBLE_EQ(Rest(2), 5040);
}

TEST_F(CardTest, MissingSumOrTargetKeepsTheCardOpen)
{
    trees.ExpenseNode = Transfer();
    TModalScript script;
    script.Then([&](TForm &) {
        card.ButOk->Click(); // no sum
        Type(card.DBESum, U("30"));
        card.ButOk->Click(); // no target account
        EXPECT_EQ(card.ModalResult(), mrNone);
        card.ButCancel->Click();
    });
    script.Press(QStringLiteral("OK")).Press(QStringLiteral("OK"));
    RunOperationCard(dm, post, card, true, trees);
    ASSERT_EQ(script.Seen().size(), 3u);
    EXPECT_EQ(script.Seen()[1].Text, U("Надо указать положительное число!"));
    EXPECT_EQ(script.Seen()[2].Text, U("Не выбран целевой счёт ( куда перевести деньги ? ) !"));
    EXPECT_EQ(Count(QStringLiteral("1=1")), 0);
    EXPECT_EQ(dm.Tb_Hist.State(), dsBrowse);
}

TEST_F(CardTest, AmountKeys)
{
    card.PercentValue = 10;
    AddThroughCard(true, [&](TFormCard &c) {
        c.DBESum->SetFocus();
        Type(c.DBESum, U("200%"));
        EXPECT_EQ(c.DBESum->Text(), U("220"));
        SendKey(c.DBESum, Qt::Key_Up);
        EXPECT_EQ(c.DBESum->Text(), U("221"));
        Type(c.DBESum, U("--"));
        EXPECT_EQ(c.DBESum->Text(), U("219"));
        SendKey(c.DBESum, Qt::Key_Down);
        EXPECT_EQ(c.DBESum->Text(), U("218"));
        c.DBEPrice->SetFocus();
        Type(c.DBEPrice, U(" ")); // space in an empty field: the percentage of one
        EXPECT_EQ(c.DBEPrice->Text(), U("0,1"));
        c.DBEQuant->SetFocus();
        Type(c.DBEQuant, U("1-"));
        EXPECT_EQ(c.DBEQuant->Text(), U("1")); // '-' on 1 leaves 1
        Type(c.DBESum, U("*"));
        EXPECT_EQ(options.AutoCor, 3);
        EXPECT_EQ(c.DBESum->Color(), 14606308);
        Type(c.DBESum, U("*"));
        EXPECT_EQ(options.AutoCor, 0);
        EXPECT_EQ(c.DBESum->Color(), clWindow);
        c.DBESum->SetFocus();
        Type(c.DBESum, U("й"));
        EXPECT_TRUE(c.DBLWho->Focused());
        // A rate shown rounded to two decimals steps from its stored value.
        H("Rate")->SetDisplayFormat(QStringLiteral("0.00"));
        H("Rate")->SetAsFloat(0.0125);
        c.DBE_Rate->SetFocus();
        EXPECT_EQ(c.DBE_Rate->Text(), U("0,01"));
        SendKey(c.DBE_Rate, Qt::Key_Up);
        EXPECT_EQ(c.DBE_Rate->Text(), U("1,0125"));
        H("Rate")->SetDisplayFormat(QString());
        c.ButCancel->Click();
    });
    EXPECT_EQ(Count(QStringLiteral("1=1")), 0);
}

TEST_F(CardTest, EditingARealisedExpenseGivesTheDifferenceBack)
{
    Add(TCardMode::Expense, Bread(), 100, Date());
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), LastStamp(), {}));
    TModalScript script;
    script.Then([&](TForm &) {
        EXPECT_EQ(card.Caption(), U("Расход...Хлеб    --Изменение--"));
        EXPECT_FALSE(card.ChDate->isVisibleTo(&card)); // dated on the entry date
        card.DBESum->SetFocus();
        card.DBESum->selectAll();
        Type(card.DBESum, U("80"));
        card.ButOk->Click();
        EXPECT_EQ(card.BalanceDelta, 200000);
    });
    RunOperationCard(dm, post, card, false, trees);
    EXPECT_DOUBLE_EQ(Rest(1), 920);
}

TEST_F(CardTest, MonthTotalOverTheLimitIsRed)
{
    TTable &items = dm.Tb_Items;
    ASSERT_TRUE(items.FindKey({Variant(int16_t(11))}));
    items.Edit();
    items.FieldByName(QStringLiteral("Lim"))->SetAsFloat(1000);
    items.Post();
    Add(TCardMode::Expense, Bread(), 1200, Date());
    AddThroughCard(true, [&](TFormCard &c) {
        EXPECT_EQ(c.LabSum->Caption(), FormatFloat(U("#,##0.00"), 1200) + U("     (") +
                                           FormatFloat(U("#,##0.00"), 1000) + U(")  "));
        EXPECT_EQ(c.LabSum->FontColor(), clRed);
        EXPECT_TRUE(c.LabSum->Hint().startsWith(U("Итог за ")));
        EXPECT_TRUE(c.Lab2->isVisibleTo(&c)); // the middle parent "Еда"
        EXPECT_TRUE(c.Lab2->Caption().startsWith(U("Еда = ")));
        // F8 switches to the currency's accounts; F5 with no date box does nothing.
        SendKeyToFocus(c, Qt::Key_F8);
        EXPECT_TRUE(options.LimPlan);
        EXPECT_TRUE(c.LabSum->Hint().contains(U("Валюта  руб")));
        SendKeyToFocus(c, Qt::Key_F5);
        EXPECT_EQ(c.ModalResult(), mrNone);
        c.ButCancel->Click();
    });
    // The next showing starts from the window text colour.
    ASSERT_TRUE(items.FindKey({Variant(int16_t(11))}));
    items.Edit();
    items.FieldByName(QStringLiteral("Lim"))->Clear();
    items.Post();
    AddThroughCard(true, [&](TFormCard &c) {
        EXPECT_NE(c.LabSum->FontColor(), clRed);
        c.ButCancel->Click();
    });
}

TEST(CardRules, DerivingOnOk)
{
    // Sum from price and quantity, price from sum and quantity, nothing from one value.
    EXPECT_EQ(DeriveField(1, TCardMode::Expense, 0, 125000, 40000, 0, true)->Value, 50);
    EXPECT_EQ(DeriveField(2, TCardMode::Expense, 500000, 0, 40000, 0, true)->Value, 12.5);
    EXPECT_FALSE(DeriveField(3, TCardMode::Expense, 500000, 0, 0, 0, true));
    // Transfers: the sum from the received amount and the cross rate.
    EXPECT_EQ(DeriveField(1, TCardMode::Transfer, 0, 900000, 0, 100000, true)->Value, 900);
    EXPECT_EQ(DeriveField(1, TCardMode::Transfer, 0, 900000, 0, 100000, false)->Value, 10.0 / 90);
    EXPECT_EQ(DeriveField(5, TCardMode::Transfer, 9000000, 0, 0, 100000, true)->Value, 90);
    EXPECT_EQ(*PercentStep(200, 10), 220);
    EXPECT_EQ(*PercentStep(0, 10), 0.1);
    EXPECT_FALSE(PercentStep(10, -100));
    EXPECT_FALSE(PercentStep(10, 0));
    EXPECT_EQ(*StepDown(1), 1);
    EXPECT_EQ(*StepDown(5), 4);
    EXPECT_FALSE(StepUp(-1));
    EXPECT_EQ(ToggleAutoCor(3, 1), 0);
    EXPECT_EQ(ToggleAutoCor(0, 3), 1);
    EXPECT_EQ(ToggleAutoCor(1, 2), 2);
}

TEST_F(CardTest, OkDerivesTheSwitchedFields)
{
    TTable &h = dm.Tb_Hist;
    h.Insert();
    TPosting::SetOperationCategory(h, Bread());
    h.FieldByName(QStringLiteral("Price"))->SetAsFloat(12.5);
    h.FieldByName(QStringLiteral("Qdt"))->SetAsFloat(4);
    DeriveOnOk(h, QStringLiteral("Ct"), QStringLiteral("Qdt"), TCardMode::Expense, {false, true, 0});
    EXPECT_DOUBLE_EQ(h.FieldByName(QStringLiteral("Ct"))->AsFloat(), 50);
    // AutoCor 3 recomputes the sum from price and quantity even over a typed one.
    h.FieldByName(QStringLiteral("Ct"))->SetAsFloat(7);
    DeriveOnOk(h, QStringLiteral("Ct"), QStringLiteral("Qdt"), TCardMode::Expense, {false, false, 3});
    EXPECT_DOUBLE_EQ(h.FieldByName(QStringLiteral("Ct"))->AsFloat(), 50);
    // QuantDefault: an empty quantity becomes 1, not for transfers.
    h.FieldByName(QStringLiteral("Qdt"))->Clear();
    DeriveOnOk(h, QStringLiteral("Ct"), QStringLiteral("Qdt"), TCardMode::Transfer, {true, false, 0});
    EXPECT_TRUE(h.FieldByName(QStringLiteral("Qdt"))->IsNull());
    DeriveOnOk(h, QStringLiteral("Ct"), QStringLiteral("Qdt"), TCardMode::Expense, {true, false, 0});
    EXPECT_DOUBLE_EQ(h.FieldByName(QStringLiteral("Qdt"))->AsFloat(), 1);
    h.Cancel();
}

TEST_F(CardTest, MonthSumsTakeTextAsAParameter)
{
    Add(TCardMode::Expense, Bread(), 30, Date());
    int y = 0, m = 0, d = 0;
    DecodeDate(Date(), y, m, d);
    TMonthSums sums;
    ASSERT_TRUE(ReadMonthSums(dm, QStringLiteral("level3"), 11, true, U("руб"), 1, y, m, sums));
    EXPECT_EQ(sums.Ct, 300000);
    // A currency name with a quote is a value, not SQL.
    ASSERT_TRUE(ReadMonthSums(dm, QStringLiteral("level3"), 11, true, U("x' or '1'='1"), 1, y, m, sums));
    EXPECT_EQ(sums.Ct, 0);
    EXPECT_FALSE(ReadMonthSums(dm, QStringLiteral("level3;drop"), 11, false, {}, 1, y, m, sums));
}

// A sum derived from price and quantity past the money bound (9 999 899 999
// 900 000,00 from 99 999 999 999 x 99 999) is refused with the reason a typed
// one gets, on every road the card derives by, and nothing is posted: "="
// leaves the sum empty, OK with AutoSum or AutoCor keeps the card open.
TEST_F(CardTest, DerivedAmountsPastTheBoundAreRefusedLikeTypedOnes)
{
    const double rest = Rest(1);
    const auto typePriceAndQuantity = [&](TFormCard &c, const char *quantity) {
        c.DBEPrice->SetFocus();
        Type(c.DBEPrice, U("99999999999"));
        c.DBEQuant->SetFocus();
        Type(c.DBEQuant, U(quantity));
    };
    {
        TModalScript script;
        script.Then([&](TForm &) {
            typePriceAndQuantity(card, "99999");
            card.ButSumEv->Click();
            EXPECT_TRUE(H("Ct")->IsNull()) << H("Ct")->AsFloat();
            EXPECT_EQ(card.DBESum->Text(), QString());
            card.DBESum->SetFocus();
            Type(card.DBESum, U("="));
            EXPECT_TRUE(H("Ct")->IsNull());
            card.ButCancel->Click();
        });
        script.Press(QStringLiteral("OK")).Press(QStringLiteral("OK"));
        trees.ExpenseShown = true;
        RunOperationCard(dm, post, card, true, trees);
        ASSERT_EQ(script.Seen().size(), 3u);
        EXPECT_EQ(script.Seen()[1].Text, MoneyRangeMessage());
        EXPECT_EQ(script.Seen()[2].Text, MoneyRangeMessage());
    }
    struct TSwitch {
        bool AutoSum;
        int AutoCor;
        const char *Quantity;
    };
    for (const TSwitch sw : {TSwitch{true, 0, "10000"}, TSwitch{false, 3, "99999"}}) {
        options.AutoSum = sw.AutoSum;
        options.AutoCor = sw.AutoCor;
        TModalScript script;
        script.Then([&](TForm &) {
            if (sw.AutoCor != 0) {
                card.DBESum->SetFocus();
                Type(card.DBESum, U("5"));
            }
            typePriceAndQuantity(card, sw.Quantity);
            card.ButOk->Click();
            EXPECT_EQ(card.ModalResult(), mrNone);
            EXPECT_TRUE(card.DBEQuant->Focused() || card.DBESum->Focused());
            card.ButCancel->Click();
        });
        script.Press(QStringLiteral("OK"));
        trees.ExpenseShown = true;
        RunOperationCard(dm, post, card, true, trees);
        ASSERT_EQ(script.Seen().size(), 2u) << sw.AutoCor;
        EXPECT_EQ(script.Seen()[1].Text, MoneyRangeMessage());
    }
    // The calculator's result.
    {
        TModalScript script;
        script.Then([&](TForm &) {
            card.DBESum->SetFocus();
            card.ButSum->Click();
            EXPECT_TRUE(H("Ct")->IsNull());
            card.ButCancel->Click();
        });
        script.Then([&](TForm &f) {
            auto &calc = dynamic_cast<TFormCalc &>(f);
            calc.Ed->SetText(QStringLiteral("99999999999*99999"));
            calc.ButOk->Click();
        });
        script.Press(QStringLiteral("OK"));
        trees.ExpenseShown = true;
        RunOperationCard(dm, post, card, true, trees);
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u'\n').toStdString();
        ASSERT_EQ(script.Seen().size(), 3u);
        EXPECT_EQ(script.Seen()[2].Text, MoneyRangeMessage());
    }
    EXPECT_EQ(Count(QStringLiteral("1=1")), 0);
    EXPECT_EQ(Rest(1), rest);
}

// A transfer's receiving amount past the bound (99 999 999 999 at the cross
// rate 0,0001) is refused for its size: its units would overflow and read
// as 0, which used to give "not positive". Derived by "=" it is not
// written; arrived by another road (here set as a number) OK refuses it.
TEST_F(CardTest, ReceivingAmountPastTheBoundIsRefusedForItsSize)
{
    trees.ExpenseNode = Transfer();
    TModalScript script;
    script.Then([&](TForm &) {
        ChooseTarget(card, U("Доллары"));
        ASSERT_TRUE(card.GrRate->isVisibleTo(&card));
        Type(card.DBESum, U("99999999999"));
        Type(card.DBERate, U("0,0001"));
        card.ButTransEv->Click();
        TField *received = dm.Qtrans.FieldByName(QStringLiteral("Dt"));
        EXPECT_TRUE(received->IsNull()) << received->AsFloat();
        dm.Qtrans.Edit();
        received->SetAsFloat(999999999990000.0);
        card.ButOk->Click();
        EXPECT_EQ(card.ModalResult(), mrNone);
        card.ButCancel->Click();
    });
    script.Press(QStringLiteral("OK")).Press(QStringLiteral("OK"));
    RunOperationCard(dm, post, card, true, trees);
    ASSERT_EQ(script.Seen().size(), 3u);
    EXPECT_EQ(script.Seen()[1].Text, MoneyRangeMessage());
    EXPECT_EQ(script.Seen()[2].Text, MoneyRangeMessage());
    EXPECT_EQ(Count(QStringLiteral("1=1")), 0);
}

} // namespace
} // namespace zorbel
