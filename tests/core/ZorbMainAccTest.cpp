// The real main window offscreen with three accounts (two in roubles, one in
// euros): the accounts book opened from the tool bar (commands offered by
// origin, totals, sums by currency and renaming, choosing, deleting down to
// one account and the transfer category), and the rates window (rates by
// hand, imports from text and dBASE files, failures reported).
#include "core/ZorbMain.h"
#include "ZorbSandbox.h"
#include "core/ZorbAcc.h"
#include "core/ZorbCur.h"
#include "core/ZorbDm.h"
#include "core/ZorbLaunch.h"
#include "core/ZorbText.h"
#include "platform/widgets/ModalScript.h"
#include "support/FaultEnv.h"

#include <QApplication>
#include <QFile>
#include <gtest/gtest.h>

namespace zorbel {
namespace {

class MainAcc : public testing::Test {
protected:
    void SetUp() override
    {
        f = std::make_unique<TFormMain>(QStringList{}, box.Path("program"));
        ASSERT_TRUE(f->ReadyToRun());
        dm = f->Dm.get();
        TTable &a = dm->Tb_Account;
        a.First();
        acc1 = a.FieldByName("Id_Account")->AsInteger();
        a.Edit();
        a.FieldByName("Account")->SetAsString(U("Кошелёк"));
        a.FieldByName("Currency")->SetAsString(U("руб"));
        a.FieldByName("Rate")->SetAsFloat(90);
        a.FieldByName("Rest")->SetAsFloat(900);
        a.Post();
        acc2 = Add(U("Банк Ёлка"), U("руб"), 90, 1800);
        acc3 = Add(U("Карта"), U("EUR"), 1, 50);
        Op(acc1, EncodeDate(2024, 1, 10), 80);
        Op(acc2, EncodeDate(2024, 1, 10), 100);
        Op(acc1, EncodeDate(2024, 1, 15), 90);
        Op(acc3, EncodeDate(2024, 1, 15), 1);
        f->Show();
        QApplication::setActiveWindow(f.get());
        ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(acc1), {}));
    }
    void TearDown() override
    {
        SetFormRst(nullptr);
        dm->SetModified(false);
        f->mCloseNotSaveClick(f.get());
    }
    int Add(const QString &name, const QString &currency, double rate, double rest)
    {
        TTable &a = dm->Tb_Account;
        a.Append();
        a.FieldByName("Account")->SetAsString(name);
        a.FieldByName("Currency")->SetAsString(currency);
        a.FieldByName("Rate")->SetAsFloat(rate);
        a.FieldByName("Rest")->SetAsFloat(rest);
        a.Post();
        return a.FieldByName("Id_Account")->AsInteger();
    }
    void Op(int acc, TDateTime date, double rate, int level1 = 0)
    {
        TTable &t = dm->Tb_Hist;
        t.Append();
        t.FieldByName("Id_Account")->SetAsInteger(acc);
        t.FieldByName("Date_Real")->SetAsDateTime(date);
        t.FieldByName("Kind")->SetAsString("1");
        t.FieldByName("Ct")->SetAsFloat(10);
        t.FieldByName("Rate")->SetAsFloat(rate);
        t.FieldByName("Level1")->SetAsInteger(level1);
        t.Post();
    }
    QStringList Rates(int acc)
    {
        TQuery q;
        q.SetDatabase(&dm->Db);
        q.SQL() = QStringList{"select rate from tb_hist where id_account=:a order by date_real, date_create"};
        q.ParamByName("a")->SetAsInteger(acc);
        q.Open();
        QStringList out;
        for (q.First(); !q.Eof(); q.Next())
            out << q.FieldByName("rate")->AsString();
        return out;
    }
    // Opens the accounts book from the tool bar; Step drives it.
    // More adds the steps of the dialogs the book opens.
    QStringList OpenBook(const std::function<void(TFormAcc &)> &Step,
                         const std::function<void(TModalScript &)> &More = {})
    {
        TModalScript script;
        script.Then([&](TForm &w) { Step(dynamic_cast<TFormAcc &>(w)); });
        if (More)
            More(script);
        f->ButAccClick(f->ButAcc);
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
        QStringList texts;
        for (const auto &seen : script.Seen())
            texts << (seen.Text.isEmpty() ? seen.Caption : seen.Text);
        return texts;
    }
    void Exec(const QString &sql)
    {
        TQuery q;
        q.SetDatabase(&dm->Db);
        q.SQL() = QStringList{sql};
        q.ExecSQL();
        dm->Tb_Hist.Refresh();
    }
    QString Current() { return dm->Tb_Account.FieldByName("Account")->AsString(); }

    TSandbox box;
    std::unique_ptr<TFormMain> f;
    TDm *dm = nullptr;
    int acc1 = 0, acc2 = 0, acc3 = 0;
};

// Stands for the results window: only its existence matters to the book.
struct TFakeRst : TRstWindow {
    TQuery &Qhs() override { return query; }
    void LoadDateRange() override {}
    void SetPeriodKind(int) override {}
    TQuery query;
};

TEST_F(MainAcc, BookOffersItsCommandsByWhereItWasOpened)
{
    // From the main window: editing, no group choice, sums for two currencies.
    OpenBook([](TFormAcc &b) {
        EXPECT_EQ(b.Caption(), U("Счета"));
        EXPECT_TRUE(b.PanBut->Visible());
        EXPECT_TRUE(b.mpNew_Acc->Visible());
        EXPECT_FALSE(b.ButAll->Visible());
        EXPECT_TRUE(b.ButSum->Visible());
        EXPECT_FALSE(b.mRest->Visible()); // extra functions are off
        // Two currencies with every rate known: only conventional units.
        EXPECT_EQ(b.PanSum->Caption(), U("80,00 y.e.  "));
        b.mpGroup_Acc->Click(); // the current account joins the group
        EXPECT_EQ(b.Totals().GroupCount, 1);
        b.ButCancel->Click();
    });
    // From the results window: choosing only, the group offered.
    TFakeRst results;
    SetFormRst(&results);
    OpenBook([](TFormAcc &b) {
        EXPECT_FALSE(b.PanBut->Visible());
        EXPECT_FALSE(b.mpDel_Acc->Visible());
        EXPECT_TRUE(b.ButAll->Visible());
        b.ButAll->Click();
        EXPECT_EQ(b.ModalResult(), mrAccountGroup);
    });
    SetFormRst(nullptr);
    EXPECT_EQ(FormRst(), nullptr);
}

TEST_F(MainAcc, ChoosingAnAccountMovesTheLedgerCancellingReturns)
{
    OpenBook([&](TFormAcc &b) {
        ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(acc2), {}));
        b.ButOk->Click();
    });
    EXPECT_EQ(Current(), U("Банк Ёлка"));
    EXPECT_TRUE(f->PanAcRest->Caption().contains(U("Банк Ёлка"))) << f->PanAcRest->Caption().toStdString();

    f->Acc_Left = 40;
    f->Acc_Width = 600;
    OpenBook([&](TFormAcc &b) {
        EXPECT_NEAR(b.Width(), 600, 10);
        ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(acc3), {}));
        b.DBGAc->Columns()[1]->SetWidth(222);
        b.SetBounds(b.Left(), b.Top(), 640, b.Height());
        b.ButCancel->Click();
    });
    EXPECT_EQ(Current(), U("Банк Ёлка"));
    // Enter on the list chooses; Escape closes.
    OpenBook([&](TFormAcc &b) {
        ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(acc1), {}));
        b.DBGAc->SetFocus();
        SendKeyToFocus(b, Qt::Key_Return);
        EXPECT_EQ(b.ModalResult(), mrOk);
    });
    EXPECT_EQ(Current(), U("Кошелёк"));
    OpenBook([&](TFormAcc &b) {
        SendKeyToFocus(b, Qt::Key_Escape);
        EXPECT_EQ(b.ModalResult(), mrCancel);
    });
    // Bounds and columns are given back to the main window's fields.
    EXPECT_EQ(f->Acc_Width, 640);
    EXPECT_TRUE(f->Col_Acc.contains(QStringLiteral("ACCOUNT=222"))) << f->Col_Acc.toStdString();
    // And applied when the book opens again.
    OpenBook([](TFormAcc &b) {
        EXPECT_EQ(b.DBGAc->Columns()[1]->Width(), 222);
        b.ButCancel->Click();
    });
}

TEST_F(MainAcc, TotalsFollowEveryChange)
{
    OpenBook([&](TFormAcc &b) {
        // An account without a rate among two currencies: no total at all.
        ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(acc3), {}));
        dm->Tb_Account.Edit();
        dm->Tb_Account.FieldByName("Rate")->Clear();
        dm->Tb_Account.Post();
        b.RefreshTotals(false);
        EXPECT_EQ(b.PanSum->Caption(), QString());
        // The default mark moves to the current account.
        b.mpDef_Acc->Click();
        EXPECT_EQ(dm->Tb_Account.FieldByName("C")->AsString(), "!");
        b.ButCancel->Click();
    });
    EXPECT_EQ(Current(), U("Кошелёк"));
    EXPECT_TRUE(dm->Tb_Account.FieldByName("C")->IsNull());
}

TEST_F(MainAcc, SumsByCurrencyRenameWithAQuoteAndRefuseAnExistingName)
{
    const QStringList seen = OpenBook([&](TFormAcc &b) {
        b.ButSum->Press();
        EXPECT_TRUE(b.SumsShown());
        EXPECT_TRUE(b.DBGRate->Visible());
        EXPECT_FALSE(b.DBGAc->Visible());
        EXPECT_TRUE(b.PanRb->Visible());
        EXPECT_FALSE(b.ButOk->Visible());
        EXPECT_FALSE(b.PanBut->Visible());
        EXPECT_EQ(b.PanSum->Caption(), U("80,00 y.e.  "));
        EXPECT_EQ(dm->Qacn.RecordCount(), 2);
        // Only the group: nobody is in it yet.
        b.RbGroup->SetChecked(true);
        EXPECT_EQ(dm->Qacn.RecordCount(), 0);
        b.RbAll->SetChecked(true);
        ASSERT_TRUE(dm->Qacn.Locate("Currency", Variant(QStringLiteral("EUR")), {}));
        b.DBGRateDblClick(b.DBGRate); // answered "руб": refused
        ASSERT_TRUE(dm->Qacn.Locate("Currency", Variant(QStringLiteral("EUR")), {}));
        b.DBGRateDblClick(b.DBGRate); // answered "евро'": renamed
        EXPECT_EQ(dm->Qacn.FieldByName("Currency")->AsString(), U("евро'"));
        b.ButSum->Press();
        EXPECT_TRUE(b.DBGAc->Visible());
        EXPECT_FALSE(dm->Qacn.Active());
        EXPECT_TRUE(b.RbAll->Checked());
        EXPECT_EQ(b.PanSum->Caption(), b.Totals().Caption);
        b.ButCancel->Click();
    }, [](TModalScript &s) {
        s.Enter("Edit", U("руб"), "OK").Press("OK").Enter("Edit", U("евро'"), "OK");
    });
    ASSERT_EQ(seen.size(), 4);
    EXPECT_EQ(seen[1], U("Замена валюты"));
    EXPECT_EQ(seen[2], U("Уже есть такая валюта!"));
    TQuery q;
    q.SetDatabase(&dm->Db);
    q.SQL() = QStringList{"select currency from tb_account where id_account=:a"};
    q.ParamByName("a")->SetAsInteger(acc3);
    q.Open();
    EXPECT_EQ(q.FieldByName("currency")->AsString(), U("евро'"));
}

TEST_F(MainAcc, DeletingDownToOneAccountTakesTheTransferCategoryAway)
{
    // Rebuild the expense tree with the transfer category for three accounts.
    f->BuildCategoryTree(f->TvCt, false, true, false, true);
    ASSERT_NE(f->FindCategoryNode(f->TvCt, -1), nullptr);
    Op(acc3, EncodeDate(2024, 2, 1), 1, -1); // a transfer leg: refused first
    TModalScript script;
    script.Then([&](TForm &w) {
        auto &b = dynamic_cast<TFormAcc &>(w);
        ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(acc1), {}));
        b.ButDel_Acc->Click(); // the default account
        ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(acc3), {}));
        b.ButDel_Acc->Click(); // has a transfer
        Exec(QStringLiteral("delete from tb_hist where level1=-1"));
        b.ButDel_Acc->Click(); // warned, cancelled
        b.ButDel_Acc->Click(); // warned, confirmed
        ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(acc2), {}));
        b.ButDel_Acc->Click(); // warned, confirmed
        EXPECT_EQ(b.Totals().Count, 1);
        EXPECT_FALSE(b.ButSum->Visible());
        b.ButCancel->Click();
    });
    script.Press("OK").Press("OK").Press("Cancel").Press("OK").Press("OK");
    f->ButAccClick(f->ButAcc);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    ASSERT_EQ(script.Seen().size(), 6u);
    EXPECT_EQ(script.Seen()[1].Text, U("Нельзя удалить счёт по умолчанию!"));
    EXPECT_TRUE(script.Seen()[2].Text.startsWith(U("Надо сначала удалить 1  записей со статьёй  \"")))
        << script.Seen()[2].Text.toStdString();
    EXPECT_EQ(script.Seen()[3].Text, U("1 записей по данному счёту будут удалены! Вы уверены ?"));
    EXPECT_EQ(dm->Tb_Account.RecordCount(), 1);
    EXPECT_TRUE(f->PackOnClose);
    EXPECT_EQ(Current(), U("Кошелёк"));
    EXPECT_EQ(f->FindCategoryNode(f->TvCt, -1), nullptr);

    // A second account brings it back.
    Add(U("Новый"), U("руб"), 90, 0);
    OpenBook([](TFormAcc &b) { b.ButCancel->Click(); });
    EXPECT_NE(f->FindCategoryNode(f->TvCt, -1), nullptr);
}

// ---------------------------------------------------------------- rates

class MainRates : public MainAcc {
protected:
    QString Write(const QString &name, const QByteArray &bytes)
    {
        const QString path = box.Path("files/" + name);
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        return path;
    }
};

TEST_F(MainRates, ListsTheCurrencysRatesByDateAndChangesOneByHand)
{
    TModalScript script;
    script.Then([&](TForm &w) {
        auto &c = dynamic_cast<TFormCur &>(w);
        EXPECT_EQ(c.Caption(), U("Курсы валют"));
        EXPECT_EQ(c.CbRate->Text(), U("руб"));
        EXPECT_EQ(c.PanRate->Caption(), U("2 счёта "));
        EXPECT_EQ(c.OpenDialogTitle(), U("Выберите файл для загрузки курсов валюты руб"));
        // Newest first, the average of the day.
        ASSERT_EQ(c.Qrate.RecordCount(), 2);
        c.Qrate.First();
        EXPECT_EQ(c.Qrate.FieldByName("DateRate")->AsDateTime(), EncodeDate(2024, 1, 15));
        c.Qrate.Next();
        EXPECT_DOUBLE_EQ(c.Qrate.FieldByName("Rate")->AsFloat(), 90);
        // 10.01: "95.5" with the other separator, then refusals.
        c.DBGRateDblClick(c.DBGRate);
        EXPECT_EQ(c.Qrate.FieldByName("DateRate")->AsDateTime(), EncodeDate(2024, 1, 10));
        EXPECT_DOUBLE_EQ(c.Qrate.FieldByName("Rate")->AsFloat(), 95.5);
        c.DBGRateDblClick(c.DBGRate);
        c.DBGRateDblClick(c.DBGRate);
        // Another currency: its one account.
        c.CbRate->SetItemIndex(c.CbRate->Items().IndexOf(QStringLiteral("EUR")));
        c.CbRate->OnChange(c.CbRate);
        EXPECT_EQ(c.PanRate->Caption(), U("1 счёт "));
        EXPECT_EQ(c.Qrate.RecordCount(), 1);
        w.SetModalResult(mrCancel);
    });
    script.Enter("Edit", "95.5", "OK").Enter("Edit", "abc", "OK").Press("OK");
    script.Enter("Edit", "0", "OK").Press("OK");
    dm->SetModified(false);
    f->mRateClick(f->mRate);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    ASSERT_EQ(script.Seen().size(), 6u);
    EXPECT_EQ(script.Seen()[1].Caption, U("Изменение курса на 10.01.2024"));
    EXPECT_EQ(script.Seen()[3].Text, U("Неверное число."));
    EXPECT_EQ(script.Seen()[5].Text, U("Неверное число."));
    EXPECT_EQ(Rates(acc1), (QStringList{"95,5", "90"}));
    EXPECT_EQ(Rates(acc2), QStringList{"95,5"});
    EXPECT_EQ(Rates(acc3), QStringList{"1"});
    EXPECT_TRUE(dm->Modified());
}

// The day's rate is shown as the average of its operations' rates; OK on
// it unchanged writes nothing, so operations of one day at different rates
// keep them.
TEST_F(MainRates, ADayRateLeftAsShownChangesNothing)
{
    const QStringList before1 = Rates(acc1), before2 = Rates(acc2);
    TModalScript script;
    script.Then([&](TForm &w) {
        auto &c = dynamic_cast<TFormCur &>(w);
        c.Qrate.Last(); // 10.01.2024: 80 and 100, shown as 90
        EXPECT_DOUBLE_EQ(c.Qrate.FieldByName("Rate")->AsFloat(), 90);
        c.DBGRateDblClick(c.DBGRate);
        w.SetModalResult(mrCancel);
    });
    script.Press("OK");
    dm->SetModified(false);
    f->mRateClick(f->mRate);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_EQ(Rates(acc1), before1);
    EXPECT_EQ(Rates(acc2), before2);
    EXPECT_FALSE(dm->Modified());
}

TEST_F(MainRates, ImportsTextAndDbaseFilesAndReportsFailures)
{
    const QString text = Write("rates.txt", U("Дата;Курс\r\n10.01.2024;91.25\r\n11.01.2024;92\r\n"
                                              "15.01.2024;93,5\r\n")
                                                .toUtf8());
    QFile dbf(QStringLiteral(ZORBEL_TEST_DATA "/dbase/rates.dbf"));
    ASSERT_TRUE(dbf.open(QIODevice::ReadOnly));
    const QByteArray table = dbf.readAll();
    const QString damaged = Write("damaged.dbf", table.left(table.size() - 12));
    const QString good = Write("rates.dbf", table);
    const QString other = Write("rates.csv", "10.01.2024;5\r\n");

    test::TFaultEnv env;
    QStringList chosen{text, text, damaged, good, other, text};
    TModalScript script;
    script.Then([&](TForm &w) {
        auto &c = dynamic_cast<TFormCur &>(w);
        c.ExecuteOpenDialog = [&](const QString &, QString &name) {
            if (chosen.isEmpty())
                return false;
            name = chosen.takeFirst();
            return true;
        };
        c.ButSelClick(c.ButSel); // text, answered No
        c.ButSelClick(c.ButSel); // text: 2 days
        EXPECT_DOUBLE_EQ(c.Qrate.FieldByName("Rate")->AsFloat(), 93.5);
        dm->SetModified(false);
        c.ButSelClick(c.ButSel); // damaged table: nothing
        EXPECT_FALSE(dm->Modified());
        c.ButSelClick(c.ButSel); // the table: 10.01 and 15.01
        c.ButSelClick(c.ButSel); // another extension: nothing read
        TSysEnvScope scope(env);
        env.FailCall(TSysOp::Open, 1);
        c.ButSelClick(c.ButSel); // the file cannot be read
        w.SetModalResult(mrCancel);
    });
    script.Press("No");
    script.Press("Yes").Press("OK");
    script.Press("Yes").Press("OK");
    script.Press("Yes").Press("OK");
    script.Press("Yes").Press("OK");
    script.Press("Yes").Press("OK");
    f->mRateClick(f->mRate);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    QStringList texts;
    for (const auto &seen : script.Seen())
        texts << QString(seen.Text).replace(u'\n', u'\r');
    ASSERT_EQ(texts.size(), 12);
    EXPECT_EQ(texts[1], U("Импортировать курсы для\rруб?"));
    EXPECT_EQ(texts[3], U("Изменены курсы для 2 дней"));
    EXPECT_TRUE(texts[5].startsWith(U("Файл повреждён"))) << texts[5].toStdString();
    EXPECT_EQ(texts[7], U("Изменены курсы для 2 дней"));
    EXPECT_EQ(texts[9], U("Изменены курсы для 0 дней"));
    EXPECT_TRUE(texts[11].startsWith(U("Не удалось прочитать файл"))) << texts[11].toStdString();
    // The table's rates replaced the text's.
    EXPECT_EQ(Rates(acc1), (QStringList{"95,5", "96,25"}));
    EXPECT_EQ(Rates(acc2), QStringList{"95,5"});
    EXPECT_EQ(Rates(acc3), QStringList{"1"});
}

} // namespace
} // namespace zorbel
