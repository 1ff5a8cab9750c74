// The real main window offscreen on a data set built through the data module
// (several accounts and currencies, Cyrillic names, planned and realised
// rows, a transfer): the viewed period and its steps, the status bar against
// sums that sqlite3 computes over the same file, the pages, the category
// trees with their commands, drag and drop, and moves that re-path operations.
#include "core/ZorbMain.h"

#include "ZorbSandbox.h"
#include "core/ZorbText.h"
#include "platform/rtl/Money.h"
#include "platform/widgets/ModalScript.h"
#include "support/ChildProcess.h"
#include "support/FaultEnv.h"
#include "support/ScriptTexts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

namespace zorbel {
namespace {

using test::Texts;

class MainLedger : public testing::Test {
protected:
    void SetUp() override
    {
        f = std::make_unique<TFormMain>(QStringList{}, box.Path("program"));
        EXPECT_TRUE(f->ReadyToRun());
        dm = f->Dm.get();
        // Accounts: the template's first one, then two more.
        dm->Tb_Account.First();
        acc1 = dm->Tb_Account.FieldByName("Id_Account")->AsInteger();
        acc2 = AddAccount(U("Банк Ёлка"), U("руб"), 1);
        acc3 = AddAccount(U("Доллары"), "USD", 90);
        food = AddCategory(U("Еда"), 0, 1, "-");
        bread = AddCategory(U("Хлеб"), food, 2, "-");
        milk = AddCategory(U("Молоко"), food, 2, "-");
        misc = AddCategory(U("Разное"), 0, 1, "0");
        salary = AddCategory(U("Зарплата"), 1, 1, "+");
        // 2024: January and February in account 1, one row in account 2.
        Op(acc1, D(2024, 1, 10), "1", 0, 100, 0, food, bread);
        Op(acc1, D(2024, 1, 10), "1", 0, 30, 0, food, bread);
        Op(acc1, D(2024, 1, 15), "1", 5000, 0, 1, salary);
        Op(acc1, D(2024, 2, 3), "1", 0, 250, 0, food, milk);
        Op(acc1, D(2024, 2, 20), "2", 0, 400, 0, misc);
        Op(acc2, D(2024, 2, 4), "1", 0, 77, 0, food, bread);
        for (TTreeView *tv : {f->TvCt, f->TvDt})
            tv->Items().Clear();
        f->BuildCategoryTree(f->TvCt, false, false, false, true);
        f->BuildCategoryTree(f->TvDt, true, false, false, true);
        f->Show();
        QApplication::setActiveWindow(f.get());
        ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(acc1), {}));
    }
    void TearDown() override
    {
        dm->SetModified(false);
        f->mCloseNotSaveClick(f.get());
    }
    static TDateTime D(int y, int m, int d) { return EncodeDate(y, m, d); }
    int AddAccount(const QString &name, const QString &currency, double rate)
    {
        TTable &t = dm->Tb_Account;
        t.Append();
        t.FieldByName("Account")->SetAsString(name);
        t.FieldByName("Currency")->SetAsString(currency);
        t.FieldByName("Rate")->SetAsFloat(rate);
        t.FieldByName("Rest")->SetAsFloat(0);
        t.Post();
        return t.FieldByName("Id_Account")->AsInteger();
    }
    int AddCategory(const QString &name, int parent, int level, const char *kind)
    {
        TTable &t = dm->Tb_Items;
        t.Append();
        t.FieldByName("ITM")->SetAsString(name);
        if (parent != NoLevel)
            t.FieldByName("ID_REF")->SetAsInteger(parent);
        t.FieldByName("LEV")->SetAsInteger(level);
        t.FieldByName("C")->SetAsString(kind);
        t.Post();
        return t.FieldByName("ID_ITM")->AsInteger();
    }
    void Op(int acc, TDateTime date, const char *kind, double dt, double ct, int l1, int l2 = NoLevel,
            int l3 = NoLevel)
    {
        TTable &t = dm->Tb_Hist;
        t.Append();
        t.FieldByName("Id_Account")->SetAsInteger(acc);
        t.FieldByName("Date_Real")->SetAsDateTime(date);
        t.FieldByName("Kind")->SetAsString(kind);
        if (dt)
            t.FieldByName("Dt")->SetAsFloat(dt);
        if (ct)
            t.FieldByName("Ct")->SetAsFloat(ct);
        t.FieldByName("Level1")->SetAsInteger(l1);
        if (l2 != NoLevel)
            t.FieldByName("Level2")->SetAsInteger(l2);
        if (l3 != NoLevel)
            t.FieldByName("Level3")->SetAsInteger(l3);
        t.Post();
    }
    QString Sqlite(const QString &sql)
    {
        const test::TChildRun p = test::RunChild("sqlite3", {dm->Db.FileName(), sql});
        EXPECT_TRUE(p.Finished);
        EXPECT_TRUE(p.Err.isEmpty()) << sql.toStdString();
        return QString::fromUtf8(p.Out).trimmed();
    }
    // Realised income, expense of account 1 over day serials, as sqlite3 sums them.
    QString Sums(TDateTime d1, TDateTime d2)
    {
        return Sqlite(QString("select ifnull(sum(dt),0)||'/'||ifnull(sum(ct),0) from tb_hist not indexed where "
                              "id_account=%1 and kind collate binary='1' and date_real between %2 and %3")
                          .arg(acc1)
                          .arg(qint64(d1))
                          .arg(qint64(d2)));
    }
    // The amount of a status panel ("4 870,00", maybe with planned amounts after it).
    static double Value(const QString &panel)
    {
        QString s = panel.section(QStringLiteral("  "), 0, 0);
        s.remove(QChar(0xA0)).replace(u',', u'.');
        return s.toDouble();
    }
    void SetPeriod(int kind, TDateTime entry)
    {
        f->EntryDate = entry;
        f->CbPer->SetItemIndex(kind);
        f->CbPerClick(f->CbPer);
    }
    TTreeNode *Node(TTreeView *tv, int id) { return f->FindCategoryNode(tv, id); }

    TSandbox box;
    std::unique_ptr<TFormMain> f;
    TDm *dm = nullptr;
    int acc1 = 0, acc2 = 0, acc3 = 0, food = 0, bread = 0, milk = 0, misc = 0, salary = 0;
};

TEST_F(MainLedger, ShowingTheWindowFocusesTheExpenseTree)
{
    // Enter right after start-up must reach the tree (a new operation), not
    // the first button of the tool bar ("Выход").
    QApplication::processEvents();
    EXPECT_TRUE(f->TvCt->Focused());
    EXPECT_FALSE(f->ButExit->hasFocus());
}

TEST_F(MainLedger, MonthStepsAndStatusBarFollowTheOperations)
{
    SetPeriod(pkMonth, D(2024, 1, 31));
    EXPECT_EQ(f->PeriodBegin, D(2024, 1, 1));
    EXPECT_EQ(f->PeriodEnd, D(2024, 1, 31));
    EXPECT_TRUE(f->mMonth->Checked());
    EXPECT_EQ(dm->Tb_Hist.RecordCount(), 3);
    EXPECT_EQ(Sums(f->PeriodBegin, f->PeriodEnd), "5000.0/130.0");
    EXPECT_EQ(Value(f->Sb->PanelText(3)), 5000);
    EXPECT_EQ(Value(f->Sb->PanelText(5)), 130);
    EXPECT_EQ(f->Sb->PanelText(0), U("Начало"));
    EXPECT_EQ(f->Sb->PanelText(6), U("Конец "));
    EXPECT_TRUE(f->Sb->Hint().endsWith(U("(3 строки)")));

    // "Период после" from 31 January: 29 February, and the period follows.
    f->ButPrevClick(f->mPerAfter);
    EXPECT_EQ(f->EntryDate, D(2024, 2, 29));
    EXPECT_EQ(f->PeriodBegin, D(2024, 2, 1));
    EXPECT_EQ(f->PeriodEnd, D(2024, 2, 29));
    EXPECT_EQ(f->ButDate->Caption(), U("29.02.24 Чт"));
    EXPECT_EQ(Value(f->Sb->PanelText(1)), 4870); // the January balance carried over
    EXPECT_EQ(Value(f->Sb->PanelText(5)), 250);  // the planned 400 is not an expense yet
    EXPECT_EQ(Value(f->Sb->PanelText(7)), 4620);

    // The right button on the date: back to today; the left arrow: one day.
    f->ButDateMouseDown(f->ButDate, TMouseButton::mbRight, 0, 0, 0);
    EXPECT_EQ(f->EntryDate, Date());
    f->ButPrevClick(f->ButPrev);
    EXPECT_EQ(f->EntryDate, Date() - 1);
    // A cancelled picker changes nothing.
    TModalScript script;
    script.CloseWith(mrCancel);
    f->ButDateClick(f->ButDate);
    EXPECT_TRUE(script.Finished()) << Texts(script).join('|').toStdString();
    EXPECT_EQ(f->EntryDate, Date() - 1);
}

// The shown window fills the day sums of the balances once the event loop is
// idle; the status bar reads the same with them as by the queries.
TEST_F(MainLedger, DaySumsFilledWhenIdleShowTheSameStatusBar)
{
    const auto bar = [&] {
        QStringList texts;
        for (int i = 0; i < 8; ++i)
            texts << f->Sb->PanelText(i);
        return texts << f->Sb->Hint();
    };
    const std::pair<int, TDateTime> views[] = {{pkMonth, D(2024, 1, 31)}, {pkMonth, D(2024, 2, 29)}, {pkTotal, Date()}};
    dm->HistSums.Drop();
    std::vector<QStringList> byQuery;
    for (const auto &[kind, entry] : views) {
        SetPeriod(kind, entry);
        byQuery.push_back(bar());
    }
    QElapsedTimer waited;
    waited.start();
    while (!dm->HistSums.Ready() && waited.elapsed() < 5000) {
        QApplication::processEvents();
        QThread::msleep(5);
    }
    ASSERT_TRUE(dm->HistSums.Ready());
    for (size_t i = 0; i < std::size(views); ++i) {
        SetPeriod(views[i].first, views[i].second);
        EXPECT_EQ(bar(), byQuery[i]) << i;
    }
}

TEST_F(MainLedger, PlannedRowAfterTodayShowsInTheClosingPanel)
{
    test::TFaultEnv env;
    env.SetNow(QDateTime(QDate(2024, 2, 10), QTime(12, 0)));
    TSysEnvScope scope(env);
    SetPeriod(pkMonth, D(2024, 2, 10));
    const QString nb(QChar(0xA0));
    EXPECT_EQ(f->Sb->PanelText(7), "4" + nb + U("620,00  (4") + nb + U("220,00)"));
    EXPECT_EQ(f->PlannedExpenseText, U("250,00  (650,00)"));
    EXPECT_TRUE(f->PlannedIncomeText.isEmpty());
    // Once the planned day is past, only the realised amounts count.
    env.SetNow(QDateTime(QDate(2024, 2, 29), QTime(12, 0)));
    f->UpdateBalances(false, 0);
    EXPECT_EQ(f->Sb->PanelText(7), "4" + nb + U("620,00"));
    EXPECT_TRUE(f->PlannedExpenseText.isEmpty());
}

// Ten-digit totals in a 16 pt bold font chosen in the settings: every panel
// of the status bar holds its figure whole and inside the window.
TEST_F(MainLedger, StatusBarHoldsTenDigitTotalsInALargeFont)
{
    Op(acc1, D(2024, 1, 20), "1", 9999999999.99, 0, 1, salary);
    Op(acc1, D(2024, 1, 21), "1", 0, 98822525.6, 0, misc);
    f->TitleFont.setPointSize(16);
    f->TitleFont.setBold(true);
    f->ApplyGridFonts();
    SetPeriod(pkMonth, D(2024, 1, 31));
    QCoreApplication::processEvents();
    TStatusBar *sb = f->Sb;
    ASSERT_EQ(sb->Font().pointSize(), 16);
    EXPECT_GE(sb->Height(), QFontMetrics(sb->Font()).height());
    EXPECT_EQ(Value(sb->PanelText(3)), 10000004999.99);
    // The window is too narrow for eight panels in 16 pt: the texts take the
    // largest font in which all of them fit.
    const QFontMetrics fm(sb->TextFont());
    for (int i = 0; i < sb->PanelCount(); ++i) {
        EXPECT_GE(sb->PanelTextRect(i).width(), fm.horizontalAdvance(sb->PanelText(i))) << i;
        EXPECT_LE(sb->PanelRect(i).left() + fm.horizontalAdvance(sb->PanelText(i)), sb->Width()) << i;
    }
    const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
    if (!dir.isEmpty())
        f->grab().save(QDir(dir).filePath(QStringLiteral("main-status-16pt.png")));
}

TEST_F(MainLedger, WeekOnASundayDayViewAndPages)
{
    SetPeriod(pkWeek, D(2024, 4, 7));
    EXPECT_EQ(f->PeriodBegin, D(2024, 4, 1));
    EXPECT_EQ(f->PeriodEnd, D(2024, 4, 7));
    EXPECT_FALSE(f->mpUp->Visible());
    f->mTotalClick(f->mDay);
    EXPECT_EQ(f->CbPer->ItemIndex(), int(pkDay));
    EXPECT_TRUE(f->mpUp->Visible());
    EXPECT_TRUE(f->mpDown->Visible());
    EXPECT_EQ(f->PeriodBegin, D(2024, 4, 7));

    // Away from the money page the step commands do nothing.
    f->ShowPage(1);
    EXPECT_EQ(f->Pg->ActivePageIndex(), 1);
    EXPECT_TRUE(f->mPersonView->Checked());
    EXPECT_TRUE(f->ButFace->Down());
    EXPECT_FALSE(f->mCategory->Visible());
    f->ButPrevClick(f->mDayAfter);
    EXPECT_EQ(f->EntryDate, D(2024, 4, 7));
    f->mMoneyViewClick(f->ButMoney);
    EXPECT_EQ(f->Pg->ActivePageIndex(), 0);
    EXPECT_TRUE(f->mCategory->Visible());
    f->ButPrevClick(f->mDayAfter);
    EXPECT_EQ(f->EntryDate, D(2024, 4, 8));

    // The day view: two operations of 10 January change places.
    SetPeriod(pkDay, D(2024, 1, 10));
    dm->Tb_Hist.First();
    EXPECT_EQ(dm->Tb_Hist.FieldByName("Ct")->AsFloat(), 100);
    f->mpDownClick(f->mpDown);
    EXPECT_EQ(dm->Tb_Hist.FieldByName("Ct")->AsFloat(), 100);
    dm->Tb_Hist.First();
    EXPECT_EQ(dm->Tb_Hist.FieldByName("Ct")->AsFloat(), 30);
}

TEST_F(MainLedger, ColumnLayoutsStoreAndApplyButIgnoreAnIncompleteText)
{
    ASSERT_EQ(f->DBG->Columns().Count(), 14);
    EXPECT_EQ(f->DBG->Columns()[0]->FieldName(), "DATE_REAL");
    EXPECT_EQ(f->DBG->Columns()[13]->FieldName(), "DATE_CREATE");
    QString layout;
    f->ApplyColumnLayout(f->DBG, false, layout);
    EXPECT_EQ(layout.split("\r\n").size(), 14) << layout.toStdString();
    EXPECT_TRUE(layout.startsWith("DATE_REAL=80"));
    // One visible field missing: the grid keeps its columns.
    QString partial = "DATE_REAL=50\r\nCt=70";
    f->ApplyColumnLayout(f->DBG, true, partial);
    EXPECT_EQ(f->DBG->Columns().Count(), 14);
    EXPECT_EQ(f->DBG->Columns()[0]->Width(), 80);
    // A text naming every visible field of the operations applies, in its
    // own order and widths.
    QStringList lines;
    for (int i = 0; i < dm->Tb_Hist.FieldCount(); ++i)
        if (dm->Tb_Hist.Fields()[i]->Visible())
            lines.prepend(dm->Tb_Hist.Fields()[i]->FieldName() + "=" + QString::number(40 + i));
    QString complete = lines.join("\r\n");
    f->ApplyColumnLayout(f->DBG, true, complete);
    ASSERT_EQ(f->DBG->Columns().Count(), lines.size());
    EXPECT_EQ(f->DBG->Columns()[0]->FieldName(), lines.first().section('=', 0, 0));
    EXPECT_EQ(f->DBG->Columns()[lines.size() - 1]->FieldName(), "Id_Account");
    EXPECT_EQ(f->DBG->Columns()[lines.size() - 1]->Width(), 40);
}

TEST_F(MainLedger, LedgerColumnsSurviveARestart)
{
    f->DBG->Columns()[1]->SetWidth(133);
    f->DBG->Columns().Delete(2);
    const QByteArray stream = f->LedgerColumnsStream();
    EXPECT_TRUE(stream.startsWith("DATE_REAL=80|1|\nCategory=133|1|\nArticle=90|1|\n")) << stream.toStdString();
    // Unknown fields are skipped; nothing usable gives the default columns.
    f->ApplyLedgerColumns("NoSuchField=10\nComment=0\nDt=55");
    ASSERT_EQ(f->DBG->Columns().Count(), 2);
    EXPECT_EQ(f->DBG->Columns()[0]->Width(), 20);
    EXPECT_EQ(f->DBG->Columns()[1]->FieldName(), "Dt");
    f->ApplyLedgerColumns("garbage");
    EXPECT_EQ(f->DBG->Columns().Count(), 14);

    f->ApplyLedgerColumns(stream);
    f->SaveSettings(QString());
    dm->SetModified(false);
    f->mCloseNotSaveClick(f.get());
    f = std::make_unique<TFormMain>(QStringList{}, box.Path("program"));
    dm = f->Dm.get();
    ASSERT_TRUE(f->ReadyToRun());
    EXPECT_EQ(f->LedgerColumnsStream(), stream);
    EXPECT_EQ(f->DBG->Columns().Count(), 13);
}

TEST_F(MainLedger, HiddenStatusBarStillPostsTheBalance)
{
    SetPeriod(pkTotal, D(2024, 3, 1));
    const QString closing = f->Sb->PanelText(7);
    EXPECT_EQ(Value(closing), 4620);
    // The whole view repaired the stored balance of the first account.
    EXPECT_EQ(Sqlite(QString("select rest from tb_account not indexed where id_account=%1").arg(acc1)), "4620.0");
    f->ShowStatus = false;
    f->UpdateBalances(false, MoneyToUnits(-20));
    EXPECT_EQ(Sqlite(QString("select rest from tb_account not indexed where id_account=%1").arg(acc1)), "4600.0");
    EXPECT_EQ(f->Sb->PanelText(7), closing);
    // Shown again, the whole view corrects the stored value.
    f->ShowStatus = true;
    f->UpdateBalances(true, 0);
    EXPECT_EQ(Sqlite(QString("select rest from tb_account not indexed where id_account=%1").arg(acc1)), "4620.0");
}

TEST_F(MainLedger, TransferCategoryNeedsTwoAccountsAndTreesFilter)
{
    // Three accounts: the transfer category is an expense root, drawn green.
    TTreeNode *transfer = Node(f->TvCt, TransferCategory);
    ASSERT_NE(transfer, nullptr);
    EXPECT_EQ(Node(f->TvDt, TransferCategory), nullptr);
    bool draw = true;
    f->TvCtCustomDrawItem(f->TvCt, transfer, 0, draw);
    EXPECT_EQ(f->TvCt->Canvas().FontColor, RGB(0, 128, 0));
    f->TvCtCustomDrawItem(f->TvCt, Node(f->TvCt, misc), 0, draw);
    EXPECT_EQ(f->TvCt->Canvas().FontColor, RGB(0, 0, 128));
    // Kind "0" under an expense root stays out of the income tree with its root.
    EXPECT_EQ(Node(f->TvDt, misc), nullptr);
    // With one account left it disappears from a rebuilt tree.
    dm->Tb_Hist.CancelRange();
    for (int id : {acc2, acc3}) {
        ASSERT_TRUE(dm->Tb_Account.Locate("Id_Account", Variant(id), {}));
        dm->Tb_Hist.First();
        while (dm->Tb_Hist.Locate("Id_Account", Variant(id), {}))
            dm->Tb_Hist.Delete();
        dm->Tb_Account.Delete();
    }
    f->BuildCategoryTree(f->TvCt, false, true, false, true);
    EXPECT_EQ(Node(f->TvCt, TransferCategory), nullptr);

    // Alternative trees: "Еда" belongs to tree 2 only.
    ASSERT_TRUE(dm->Tb_Items.FindKey({Variant(int16_t(food))}));
    dm->Tb_Items.Edit();
    dm->Tb_Items.FieldByName("A")->SetAsString(QString(QChar(2)));
    dm->Tb_Items.Post();
    f->mTree1Click(f->mTree3);
    EXPECT_EQ(f->TreeFilter, 3);
    EXPECT_EQ(Node(f->TvCt, food), nullptr);
    EXPECT_EQ(Node(f->TvCt, bread), nullptr);
    EXPECT_NE(Node(f->TvCt, misc), nullptr);
    f->mTree1Click(f->mTree2);
    EXPECT_EQ(f->TreeFilter, 2);
    EXPECT_NE(Node(f->TvCt, bread), nullptr);
    f->mTree1Click(f->mTreeAll);
    EXPECT_EQ(f->TreeFilter, 0);
    EXPECT_NE(Node(f->TvCt, food), nullptr);
    EXPECT_FALSE(f->mpExpand->Checked());
}

TEST_F(MainLedger, RenameAndDeleteInTheTree)
{
    f->TvCt->SetFocus();
    ASSERT_TRUE(f->TvCt->hasFocus());
    // Rename: blanks keep the old name; another case of an existing name is refused.
    TTreeNode *n = Node(f->TvCt, milk);
    QString s = "   ";
    f->TvCtEdited(f->TvCt, n, s);
    EXPECT_EQ(s, U("Молоко"));
    TModalScript refused;
    refused.Press("OK");
    s = U("хлеб");
    f->TvCtEdited(f->TvCt, n, s);
    EXPECT_EQ(Texts(refused), QStringList{U("Такая статья уже есть!")});
    EXPECT_EQ(s, U("Молоко"));
    s = U(" Кефир ");
    f->TvCtEdited(f->TvCt, n, s);
    EXPECT_EQ(s, U("Кефир"));
    EXPECT_EQ(Sqlite(QString("select itm from tb_items not indexed where id_itm=%1").arg(milk)), U("Кефир"));

    // Delete: refused with branches, then with the count of operations of all accounts.
    f->TvCt->SetSelected(Node(f->TvCt, food));
    TModalScript branches;
    branches.Press("OK");
    f->mCategoryDeleteClick(f->mCategoryDelete);
    EXPECT_EQ(Texts(branches), QStringList{U("Удаляемая статья не должна иметь ответвлений!")});
    f->TvCt->SetSelected(Node(f->TvCt, bread));
    TModalScript used;
    used.Press("Yes").Press("OK");
    f->mCategoryDeleteClick(f->mCategoryDelete);
    EXPECT_EQ(Texts(used), (QStringList{U("Удалить статью?"), U("Удаление невозможно! - 3 связи в истории")}));
    EXPECT_NE(Node(f->TvCt, bread), nullptr);
    // A category without operations goes, and the other tree is emptied.
    const int spare = AddCategory(U("Запас"), food, 2, "-");
    f->BuildCategoryTree(f->TvCt, false, true, false, true);
    f->TvCt->SetSelected(Node(f->TvCt, spare));
    TModalScript yes;
    yes.Press("Yes");
    f->mCategoryDeleteClick(f->mCategoryDelete);
    EXPECT_TRUE(yes.Finished());
    EXPECT_EQ(Node(f->TvCt, spare), nullptr);
    EXPECT_EQ(Sqlite(QString("select count(*) from tb_items not indexed where id_itm=%1").arg(spare)), "0");
    EXPECT_EQ(f->TvDt->Items().Count(), 0);
}

TEST_F(MainLedger, ATreeBehindTheTableCannotDeleteThroughAnOldPath)
{
    // "Подарки" (kind "0") under the income root, with one operation.
    const int gift = AddCategory(U("Подарки"), 1, 1, "0");
    Op(acc1, D(2024, 3, 1), "1", 10, 0, 1, gift);
    f->mDtClick(f->mDt);
    ASSERT_EQ(f->ShownTree(), f->TvDt);
    f->BuildCategoryTree(f->TvDt, true, true, false, true);
    // The category moves under "Зарплата" behind the tree's back.
    MoveCategoryRow(*dm, gift, 2, salary, {1, gift, NoLevel}, {1, salary, gift});
    TTreeNode *stale = Node(f->TvDt, gift);
    ASSERT_NE(stale, nullptr);
    ASSERT_EQ(stale->Level(), 1);
    f->TvDt->SetFocus();
    ASSERT_TRUE(f->TvDt->hasFocus());
    f->TvDt->SetSelected(stale);
    TModalScript used;
    used.Press("Yes").Press("OK");
    f->mCategoryDeleteClick(f->mCategoryDelete);
    EXPECT_EQ(Texts(used), (QStringList{U("Удалить статью?"), U("Удаление невозможно! - 1 связь в истории")}));
    EXPECT_EQ(Sqlite(QString("select count(*) from tb_items not indexed where id_itm=%1").arg(gift)), "1");

    // Clicking the checked tree item again leaves neither tree: the panel and
    // the category menu go; the expense button brings the expense tree back,
    // refilled because it was emptied.
    f->TvCt->Items().Clear();
    f->mDtClick(f->mDt);
    EXPECT_FALSE(f->mCt->Checked());
    EXPECT_FALSE(f->mDt->Checked());
    EXPECT_FALSE(f->ButDt->Down());
    EXPECT_FALSE(f->PanD->Visible());
    EXPECT_FALSE(f->mCategory->Visible());
    EXPECT_EQ(f->ShownTree(), nullptr);
    f->ButCt->Press();
    EXPECT_TRUE(f->mCt->Checked());
    EXPECT_TRUE(f->PanD->Visible());
    EXPECT_TRUE(f->TvCt->Visible());
    EXPECT_FALSE(f->TvDt->Visible());
    EXPECT_NE(Node(f->TvCt, bread), nullptr);
}

TEST_F(MainLedger, DragAndDropPositionsAndRepathing)
{
    f->mpExpandClick(f->mpExpand);
    QApplication::processEvents();
    // "Разное" dropped on its sibling "Еда" on the label: beside a sibling
    // of the same parent makes it a child.
    TTreeNode *target = Node(f->TvCt, food);
    f->TvCt->SetSelected(Node(f->TvCt, misc));
    QRect label = target->DisplayRect(true);
    TModalScript yes;
    yes.Press("Yes");
    f->TvCtDragDrop(f->TvCt, f->TvCt, label.left() + 2, label.center().y());
    EXPECT_TRUE(yes.Finished()) << Texts(yes).join('|').toStdString();
    EXPECT_EQ(Sqlite(QString("select lev||'/'||id_ref from tb_items not indexed where id_itm=%1").arg(misc)),
              QString("2/%1").arg(food));
    ASSERT_NE(Node(f->TvCt, misc), nullptr);
    EXPECT_EQ(Node(f->TvCt, misc)->Parent(), Node(f->TvCt, food));
    // Its planned operation follows: (0, food, misc).
    EXPECT_EQ(Sqlite(QString("select level1||'/'||level2||'/'||level3 from tb_hist not indexed where ct=400")),
              QString("0/%1/%2").arg(food).arg(misc));
    EXPECT_EQ(f->TvDt->Items().Count(), 0); // the other tree must be refilled

    // A root dropped on another root on its label: pointless.
    const int root2 = AddCategory(U("Дом"), NoLevel, 0, "-");
    f->BuildCategoryTree(f->TvCt, false, true, false, true);
    f->mpExpandClick(f->mpExpand);
    QApplication::processEvents();
    f->TvCt->SetSelected(Node(f->TvCt, root2));
    label = Node(f->TvCt, 0)->DisplayRect(true);
    TModalScript pointless;
    pointless.Press("OK");
    f->TvCtDragDrop(f->TvCt, f->TvCt, label.left() + 2, label.center().y());
    EXPECT_EQ(Texts(pointless), QStringList{U("Нет смысла в перемещении!")});

    // Right of the label of a root: the level-2 "Хлеб" becomes its child,
    // and every operation of any account on its path follows.
    f->TvCt->SetSelected(Node(f->TvCt, bread));
    label = Node(f->TvCt, root2)->DisplayRect(true);
    TModalScript yes2;
    yes2.Press("Yes");
    f->TvCtDragDrop(f->TvCt, f->TvCt, label.right() + 30, label.center().y());
    EXPECT_TRUE(yes2.Finished()) << Texts(yes2).join('|').toStdString();
    EXPECT_EQ(Sqlite(QString("select count(*) from tb_hist not indexed where level1=%1 and level2=%2 and level3 "
                             "is null")
                         .arg(root2)
                         .arg(bread)),
              "3");
    EXPECT_EQ(Node(f->TvCt, bread)->Parent(), Node(f->TvCt, root2));

    // Moving it beside a root makes it a root: Level1 = its id, the rest null.
    f->TvCt->SetSelected(Node(f->TvCt, bread));
    TModalScript yes3;
    yes3.Press("Yes");
    f->MoveCategory(Node(f->TvCt, bread), Node(f->TvCt, 0), MoveBeside);
    EXPECT_TRUE(yes3.Finished());
    EXPECT_EQ(Sqlite(QString("select count(*) from tb_hist not indexed where level1=%1 and level2 is null and "
                             "level3 is null")
                         .arg(bread)),
              "3");
    EXPECT_EQ(Sqlite(QString("select lev||'/'||ifnull(id_ref,'-') from tb_items not indexed where id_itm=%1")
                         .arg(bread)),
              "0/-");
    EXPECT_EQ(Node(f->TvCt, bread)->Level(), 0);

    // The transfer category cannot move.
    f->TvCt->SetSelected(Node(f->TvCt, TransferCategory));
    label = Node(f->TvCt, root2)->DisplayRect(true);
    TModalScript green;
    green.Press("OK");
    f->TvCtDragDrop(f->TvCt, f->TvCt, label.right() + 30, label.center().y());
    EXPECT_EQ(Texts(green), QStringList{U("Перемещения, связанные с зелёной статьёй, не поддерживаются!")});
}

} // namespace
} // namespace zorbel
