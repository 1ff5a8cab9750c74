// The real main window offscreen: '+' marks and unmarks operations, the
// bookmarks window lists, totals, removes and jumps to them, opens its
// statistics, and the ledger grid is saved to comma and spreadsheet files
// (a failing save is reported and leaves no file).
#include "ZorbLedgerWindow.h"
#include "core/ZorbMarks.h"
#include "core/ZorbText.h"
#include "platform/rtl/CodePages.h"
#include "platform/widgets/ModalScript.h"
#include "support/FaultEnv.h"

#include <QApplication>
#include <QFile>
#include <gtest/gtest.h>

namespace zorbel {
namespace {

class MainMarks : public TLedgerWindowTest {
protected:
    void AddOperations() override
    {
        Op(acc1, EncodeDate(2024, 1, 10), 0, 100, U("Хлеб"));
        Op(acc1, EncodeDate(2024, 1, 11), 0, 30, U("Молоко"));
        Op(acc1, EncodeDate(2024, 1, 15), 5000, 0, U("Аванс"));
        Op(acc2, EncodeDate(2024, 2, 4), 0, 77, U("Другой счёт"));
    }
    bool Marked(const QString &comment)
    {
        TQuery q;
        q.SetDatabase(&dm->Db);
        q.SQL() = QStringList{"select count(*) n from tb_hist where b='+' and comment=:c"};
        q.ParamByName("c")->SetAsString(comment);
        q.Open();
        return q.FieldByName("n")->AsInteger() == 1;
    }
    void Press(QChar key)
    {
        QChar k = key;
        f->DBG->OnKeyPress(f->DBG, k);
    }
};

TEST_F(MainMarks, PlusMarksAndMovesDownPlusAgainUnmarks)
{
    GoTo(U("Хлеб"));
    Press(u'+');
    EXPECT_TRUE(Marked(U("Хлеб")));
    EXPECT_EQ(Current(), U("Молоко"));
    Press(u'=');
    EXPECT_TRUE(Marked(U("Молоко")));
    GoTo(U("Хлеб"));
    Press(u'+');
    EXPECT_FALSE(Marked(U("Хлеб")));
    EXPECT_TRUE(Marked(U("Молоко")));
}

// A row whose mark cannot be written keeps its old mark, and the walk goes on.
TEST_F(MainMarks, FailedMarkIsCancelledAndTheLedgerMovesOn)
{
    GoTo(U("Хлеб"));
    test::TFaultEnv env;
    env.FailCall(TSysOp::Write, 1, EIO);
    {
        TSysEnvScope scope(env);
        EXPECT_NO_THROW(Press(u'+'));
    }
    EXPECT_EQ(dm->Tb_Hist.State(), dsBrowse);
    EXPECT_EQ(Current(), U("Молоко"));
    EXPECT_FALSE(Marked(U("Хлеб")));
    Press(u'+');
    EXPECT_TRUE(Marked(U("Молоко")));
}

TEST_F(MainMarks, WindowListsTotalsRemovesAndClears)
{
    GoTo(U("Хлеб"));
    Press(u'+');
    Press(u'+');
    Press(u'+');
    TFormMrk form(*f);
    form.MarksPeriodBegin = EncodeDate(2024, 1, 1);
    form.MarksPeriodEnd = EncodeDate(2024, 1, 31);
    form.RefreshMarks();
    EXPECT_EQ(form.Sb->PanelText(1), "3");
    EXPECT_EQ(form.Sb->PanelText(5), U("130,00"));
    EXPECT_EQ(form.Sb->PanelText(3), U("5\u00A0000,00"));
    EXPECT_TRUE(form.CommandsEnabled());
    const QStringList stats = form.StatisticsLines();
    ASSERT_GE(stats.size(), 10);
    EXPECT_EQ(stats[0], U("Закладки:"));
    EXPECT_EQ(stats[2], U("Строк\t = \t3"));
    EXPECT_EQ(stats[4], U("Расход\t = \t130,00"));
    EXPECT_TRUE(stats.last().startsWith(U("Сегодня  ")));
    // The statistics window opens with these lines.
    TModalScript script;
    script.Then([&](TForm &w) {
        auto &sum = dynamic_cast<TFormSum &>(w);
        EXPECT_EQ(sum.Caption(), U("Статистика"));
        EXPECT_EQ(sum.M->Lines().first(), U("Закладки:"));
        w.SetModalResult(mrOk);
    });
    form.SbClick(form.Sb);
    EXPECT_TRUE(script.Finished());

    // One removed: the list shrinks, the ledger keeps its row.
    form.Qmark.First();
    const QString first = form.Qmark.FieldByName("Comment")->AsString();
    GoTo(U("Аванс"));
    const int rows = dm->Tb_Hist.RecordCount();
    form.RemoveMarks(false);
    EXPECT_FALSE(Marked(first));
    EXPECT_EQ(form.Sb->PanelText(1), "2");
    EXPECT_EQ(Current(), U("Аванс"));
    // ...and its range: the account's rows, not every account's.
    EXPECT_EQ(dm->Tb_Hist.RecordCount(), rows);
    for (dm->Tb_Hist.First(); !dm->Tb_Hist.Eof(); dm->Tb_Hist.Next())
        EXPECT_EQ(dm->Tb_Hist.FieldByName("Id_Account")->AsInteger(), acc1);
    GoTo(U("Аванс"));
    // All removed: every mark is gone and the window closes.
    TModalScript ask;
    ask.Press("Yes");
    form.ButClear->Click();
    EXPECT_TRUE(ask.Finished());
    EXPECT_EQ(form.ModalResult(), mrOk);
    for (const char *c : {"Хлеб", "Молоко", "Аванс"})
        EXPECT_FALSE(Marked(U(c))) << c;
}

TEST_F(MainMarks, RemovingTheLastMarkDisablesTheCommands)
{
    GoTo(U("Аванс"));
    Press(u'+');
    TFormMrk form(*f);
    form.MarksPeriodBegin = EncodeDate(2024, 1, 1);
    form.MarksPeriodEnd = EncodeDate(2024, 12, 31);
    form.RefreshMarks();
    EXPECT_TRUE(form.CommandsEnabled());
    form.RemoveMarks(false);
    EXPECT_EQ(form.Sb->PanelText(1), "0");
    EXPECT_FALSE(form.CommandsEnabled());
    EXPECT_FALSE(form.mDel->Enabled());
}

TEST_F(MainMarks, JumpAsksBeforeSwitchingTheAccount)
{
    ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(acc2), {}));
    f->CbPerClick(f->CbPer);
    Press(u'+'); // "Другой счёт" of account 2
    ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(acc1), {}));
    f->CbPerClick(f->CbPer);
    TFormMrk form(*f);
    form.ChAll->SetChecked(true);
    form.ChTotal->SetChecked(true);
    form.RefreshMarks();
    ASSERT_EQ(form.Sb->PanelText(1), "1");
    TModalScript no;
    no.Press("No");
    form.GoToMark();
    EXPECT_TRUE(no.Finished());
    EXPECT_EQ(dm->Tb_Account.FieldByName("Id_Account")->AsInteger(), acc1);
    TModalScript yes;
    yes.Press("Yes");
    form.GoToMark();
    EXPECT_TRUE(yes.Finished());
    EXPECT_EQ(dm->Tb_Account.FieldByName("Id_Account")->AsInteger(), acc2);
    EXPECT_EQ(Current(), U("Другой счёт"));
}

TEST_F(MainMarks, LedgerSavedToCommaAndSpreadsheetFiles)
{
    const QString csv = box.Path("files") + "/ledger.csv";
    f->ExecuteExportDialog = [&](QString &name, int &type) {
        name = csv;
        type = 1;
        return true;
    };
    f->CSV = "t";
    GoTo(U("Молоко"));
    f->SaveGridToFile(f->DBG);
    EXPECT_EQ(Current(), U("Молоко")); // the ledger stays on its row
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(bytes.count("\r\n"), 4); // titles and three operations of account 1
    EXPECT_TRUE(bytes.contains(UnicodeToWin1251(U("Аванс"))));
    EXPECT_TRUE(bytes.contains('\t'));
    EXPECT_EQ(f->SaveDir, box.Path("files"));

    const QString xls = box.Path("files") + "/ledger.xls";
    f->ExecuteExportDialog = [&](QString &name, int &type) {
        name = xls;
        type = 3;
        return true;
    };
    f->SaveGridToFile(f->DBG);
    EXPECT_TRUE(QFile::exists(xls));
    EXPECT_EQ(Current(), U("Молоко"));

    // A folder that cannot take the file: the user is told, nothing is left.
    const QString bad = box.Path("files") + "/missing/ledger.csv";
    test::TFaultEnv env;
    env.FailCall(TSysOp::Open, 1, EACCES, true);
    f->ExecuteExportDialog = [&](QString &name, int &type) {
        name = bad;
        type = 1;
        return true;
    };
    TModalScript notice;
    notice.Press("OK");
    {
        TSysEnvScope scope(env);
        f->SaveGridToFile(f->DBG);
    }
    ASSERT_EQ(notice.Seen().size(), 1u);
    EXPECT_TRUE(notice.Seen()[0].Text.startsWith(U("Не удалось записать файл")));
    EXPECT_FALSE(QFile::exists(bad));
}

} // namespace
} // namespace zorbel
