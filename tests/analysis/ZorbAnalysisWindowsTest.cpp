// The monthly balances, year by category, future days and limits windows as
// the main window opens them: options going in and out, the figures they
// show for a small ledger, choosing a future day, stepping, levels, limits.
// With ZORBEL_SHOTS set to a folder, each window is saved there as a PNG.
#include "AnalysisLedger.h"

#include "analysis/AnalysisWindows.h"
#include "analysis/ZorbAnalysisForms.h"
#include "analysis/ZorbDays.h"
#include "analysis/ZorbDiff.h"
#include "analysis/ZorbLim.h"
#include "analysis/ZorbLimCalc.h"
#include "analysis/ZorbRest.h"
#include "core/ZorbLaunch.h"
#include "core/ZorbMain.h"
#include "core/ZorbSandbox.h"
#include "platform/canvas/Printers.h"
#include "platform/widgets/ModalScript.h"

#include <QAbstractBarSeries>
#include <QChart>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace zorbel::test {
namespace {

void Shot(QWidget &w, const char *name)
{
    const QByteArray dir = qgetenv("ZORBEL_SHOTS");
    if (dir.isEmpty())
        return;
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(); // the chart lays its axes out lazily
    w.grab().save(QDir(QString::fromUtf8(dir)).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
}

class AnalysisWindowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterAnalysisWindows();
        TModalScript start;
        start.Press(QStringLiteral("Yes")); // a new data set from the template
        Main = std::make_unique<TFormMain>(QStringList{}, Box.Path("program"));
        ASSERT_TRUE(Main->Dm && Main->Dm->Tb_Account.Active()) << start.Errors().join(u';').toStdString();
        Main->Dm->Tb_Account.First();
        
    }
    void TearDown() override
    {
        Main.reset();
        TAnalysisLaunchers &l = AnalysisLaunchers();
        l.FormDays = nullptr;
        l.FormDiff = nullptr;
        l.FormRest = nullptr;
        l.FormLim = nullptr;
    }
    void Add(TDateTime date, char kind, std::optional<double> dt, std::optional<double> ct, int l1,
             std::optional<int> l2 = {})
    {
        TDataSetBuilder(Main->Dm->Db).Operation({.Account = 1, .Date = date, .Kind = QString(QChar(kind)), .Dt = dt,
                                                 .Ct = ct, .Level1 = l1, .Level2 = l2});
    }
    // Runs the menu item with Step answering the window, then closing it.
    template <class TWindow>
    void Open(TMenuItem *item, std::function<void(TWindow &)> step)
    {
        bool seen = false;
        TModalScript script;
        script.Then([&](TForm &f) {
            auto *w = qobject_cast<TWindow *>(&f);
            ASSERT_NE(w, nullptr);
            seen = true;
            step(*w);
            if (f.Visible() && f.ModalResult() == 0)
                f.Close();
        });
        item->Click();
        EXPECT_TRUE(seen);
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    }
    TSandbox Box;
    std::unique_ptr<TFormMain> Main;
};

TEST_F(AnalysisWindowsTest, ChoosingAFutureDayMakesItTheEntryDate)
{
    const TDateTime today = Date();
    Add(today - 2, '1', 100.0, {}, 1);
    Add(today + 3, '2', {}, 30.0, 0);
    Add(today + 5, '1', {}, 20.0, 0);
    Open<TFormDays>(Main->mDays, [&](TFormDays &w) {
        Shot(w, "days");
        EXPECT_EQ(w.Caption(), QStringLiteral("Начальный остаток = 100,00"));
        ASSERT_EQ(w.TbDays.RecordCount(), 2);
        w.TbDays.Next();
        EXPECT_DOUBLE_EQ(w.TbDays.FieldByName(QStringLiteral("Rest"))->AsFloat(), 50);
        w.DBGDays->OnDblClick(w.DBGDays);
    });
    EXPECT_EQ(Main->EntryDate, today + 5);

    // Nothing after today: an empty list, the plain caption, OK changes nothing.
    TDataSetBuilder(Main->Dm->Db).Exec(QStringLiteral("delete from tb_hist"));
    const TDateTime before = Main->EntryDate;
    Open<TFormDays>(Main->mDays, [](TFormDays &w) {
        EXPECT_EQ(w.Caption(), QStringLiteral("Будущие дни с учётом планов"));
        EXPECT_TRUE(w.TbDays.IsEmpty());
        QChar enter = u'\r';
        w.DBGDays->OnKeyPress(w.DBGDays, enter);
    });
    EXPECT_EQ(Main->EntryDate, before);
}

TEST_F(AnalysisWindowsTest, YearWindowStepsLevelsAndStoresItsOptions)
{
    const int food = 0; // the expense root of the template
    Add(EncodeDate(2024, 1, 10), '1', {}, 12.5, food);
    Add(EncodeDate(2024, 3, 10), '1', 40.0, {}, 1);
    Add(EncodeDate(2023, 3, 10), '1', 7.0, {}, 1);
    Main->EntryDate = EncodeDate(2024, 6, 1);
    Main->DiffLev = 7; // out of range: level 1
    Main->DiffSum = true;
    Open<TFormDiff>(Main->mCompare, [](TFormDiff &w) {
        Shot(w, "diff");
        EXPECT_EQ(w.ShownYear, 2024);
        EXPECT_TRUE(w.Rb1->Checked());
        EXPECT_EQ(w.Sb->PanelText(1), QStringLiteral("2"));
        EXPECT_EQ(w.Sb->PanelText(3), QStringLiteral("27,50"));
        EXPECT_EQ(w.TbY.RecordCount(), 3); // with the totals row
        EXPECT_NE(w.TbY.FieldByName(QStringLiteral("Itm"))->AsString(), QStringLiteral(" ")); // on a category
        WORD key = VK_F1;
        w.OnKeyDown(&w, key, ssShift);
        EXPECT_EQ(w.ShownYear, 2023);
        EXPECT_EQ(w.Sb->PanelText(3), QStringLiteral("7,00"));
        w.StepYear(true);
        EXPECT_EQ(w.Sb->PanelText(1), QStringLiteral("0"));
        EXPECT_TRUE(w.TbY.IsEmpty()); // no totals row for an empty year
        w.StepYear(false);
        w.StepYear(false);
        w.DBGYDblClick(nullptr); // level 1 -> 2
        EXPECT_EQ(w.DetailLevel, 2);
        w.ButSum->SetDown(false);
        w.ButSum->Click();
        EXPECT_EQ(w.TbY.RecordCount(), 2);
    });
    EXPECT_EQ(Main->DiffLev, 2);
    EXPECT_FALSE(Main->DiffSum);
    EXPECT_FALSE(Main->DiffAcc);
}

TEST_F(AnalysisWindowsTest, BalancesWindowTakesAndStoresItsOptions)
{
    for (int m = 1; m <= 12; ++m)
        Add(EncodeDate(2023, m, 5), '1', 100.0 + m, 50.0, 1);
    Add(EncodeDate(2024, 2, 5), '1', {}, 30.0, 0);
    Main->BalYear = 1999; // no data that year: the earliest year is chosen
    Main->BalSel = -1;
    Main->BalEqv = 1;
    Main->RestDt = 5;
    Open<TFormRest>(Main->mRest, [](TFormRest &w) {
        Shot(w, "rest-chart");
        EXPECT_EQ(w.CbSel->ItemIndex(), 0);
        EXPECT_EQ(w.CbYr->Text(), QStringLiteral("2023"));
        EXPECT_EQ(w.CbYr->Items().Count(), 2);
        EXPECT_EQ(w.TbRest.RecordCount(), 12); // filtered to y = 2023
        // The chart shows the balances series only, month by month.
        ASSERT_EQ(w.DBCRest->Series(0).Points().size(), 12u);
        EXPECT_EQ(w.DBCRest->Series(0).Points()[0].Label, QStringLiteral("янв.23"));
        EXPECT_DOUBLE_EQ(w.DBCRest->Series(0).Points()[11].Value.value_or(0), 678);
        EXPECT_EQ(w.DBCRest->SeriesCount(), 1);
        w.CbSel->SetItemIndex(2);
        w.CbSel->OnClick(w.CbSel);
        ASSERT_EQ(w.DBCRest->SeriesCount(), 2);
        EXPECT_EQ(w.DBCRest->Series(1).Title, QStringLiteral("Расходы"));
        EXPECT_EQ(w.DBCRest->Series(1).Points().size(), 12u);
        EXPECT_DOUBLE_EQ(w.DBCRest->Series(0).Points()[2].Value.value_or(0), 103);
        Shot(w, "rest-chart2");
        w.CbEqv->SetItemIndex(0);
        w.CbEqvClick(nullptr); // y > 2023
        EXPECT_EQ(w.DBCRest->Series(1).Points().size(), 1u);
        w.CbSel->SetItemIndex(3);
        w.CbSel->OnClick(w.CbSel);
        EXPECT_TRUE(w.ChBal->Checked());
        EXPECT_TRUE(w.ChDt->Checked());
        EXPECT_FALSE(w.ChCt->Checked());
        EXPECT_TRUE(w.DBGBn->Visible());
        EXPECT_TRUE(w.DBGDt->Visible());
        EXPECT_FALSE(w.DBGCt->Visible());
        Shot(w, "rest-tables");
        w.TbY.First();
        EXPECT_DOUBLE_EQ(w.TbY.FieldByName(QStringLiteral("SmRs"))->AsFloat(), 355.33); // to the cent
        w.CbYr->SetText(QStringLiteral("двадцать"));
    });
    EXPECT_EQ(Main->BalSel, 3);
    EXPECT_EQ(Main->BalEqv, 0);
    EXPECT_EQ(Main->BalYear, 2000); // not a number
    EXPECT_EQ(Main->RestDt, 5);
}

TEST_F(AnalysisWindowsTest, ClosingLetsGoOfTheComputedTables)
{
    Add(EncodeDate(2024, 1, 10), '1', {}, 12.5, 0);
    Main->EntryDate = EncodeDate(2024, 1, 20);
    Open<TFormDiff>(Main->mCompare, [](TFormDiff &w) {
        ASSERT_FALSE(w.TbY.IsEmpty());
        w.Close();
        EXPECT_FALSE(w.TbY.Active());
    });
    Open<TFormLim>(Main->mLim, [](TFormLim &w) {
        ASSERT_FALSE(w.TabLim.IsEmpty());
        ASSERT_TRUE(w.TabSum.Active());
        w.Close();
        EXPECT_FALSE(w.TabLim.Active());
        EXPECT_FALSE(w.TabSum.Active());
    });
    Open<TFormRest>(Main->mRest, [](TFormRest &w) {
        ASSERT_TRUE(w.TbRest.Active());
        ASSERT_FALSE(w.TbY.IsEmpty());
        // Each month's bar takes 30 % of its place on the chart.
        ASSERT_GT(w.DBCRest->SeriesCount(), 0);
        for (int i = 0; i < w.DBCRest->SeriesCount(); ++i)
            EXPECT_EQ(w.DBCRest->Series(i).BarWidthPercent, 30);
        const auto bars = w.DBCRest->Chart()->series();
        ASSERT_FALSE(bars.isEmpty());
        auto *first = qobject_cast<QAbstractBarSeries *>(bars.first());
        ASSERT_NE(first, nullptr);
        EXPECT_DOUBLE_EQ(first->barWidth(), 0.3);
        w.Close();
        EXPECT_FALSE(w.TbRest.Active());
        EXPECT_FALSE(w.TbY.Active());
    });
}

TEST_F(AnalysisWindowsTest, BalancesChartPrintsWithItsTitle)
{
    Add(EncodeDate(2023, 4, 5), '1', 10.0, {}, 1);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("chart.pdf"));
    Open<TFormRest>(Main->mRest, [&](TFormRest &w) {
        QString title;
        w.ExecutePrinterSetup = [&](TPrinter &printer) {
            printer.SetOutputFile(pdf);
            return true;
        };
        w.ButPrnClick(nullptr);
        EXPECT_TRUE(w.DBCRest->Title().isEmpty()); // shown only while printing
    });
    EXPECT_GT(QFileInfo(pdf).size(), 500);
    Printer().SetOutputFile(QString());
}

// A print file that cannot be made: the user is told.
TEST_F(AnalysisWindowsTest, BalancesChartThatCannotBePrintedIsSaidSo)
{
    Add(EncodeDate(2023, 4, 5), '1', 10.0, {}, 1);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("no such folder/chart.pdf"));
    Open<TFormRest>(Main->mRest, [&](TFormRest &w) {
        w.ExecutePrinterSetup = [&](TPrinter &printer) {
            printer.SetOutputFile(pdf);
            return true;
        };
        TModalScript notice;
        notice.Press(QStringLiteral("OK"));
        w.ButPrnClick(nullptr);
        ASSERT_EQ(notice.Seen().size(), 1u);
        EXPECT_TRUE(notice.Seen()[0].Text.startsWith(ChartPrintFailedText.trimmed()));
    });
    EXPECT_FALSE(QFileInfo::exists(pdf));
    Printer().SetOutputFile(QString());
}

TEST_F(AnalysisWindowsTest, LimitsWindowStepsEditsAndStoresItsOptions)
{
    TDataSetBuilder(Main->Dm->Db).Exec(QStringLiteral("update tb_items set lim=500 where id_itm=0"));
    Add(EncodeDate(2005, 1, 10), '1', {}, 300.0, 0);
    Add(EncodeDate(2004, 12, 10), '1', 80.0, {}, 1);
    Main->EntryDate = EncodeDate(2005, 1, 20);
    Main->LimLev = 4; // out of range: level 1
    Main->LimSum = true;
    Main->LimFilter = -1;
    Open<TFormLim>(Main->mLim, [](TFormLim &w) {
        Shot(w, "lim");
        EXPECT_EQ(w.Level, 1);
        EXPECT_TRUE(w.Rb1->Checked());
        EXPECT_EQ(w.CbLim->ItemIndex(), 0);
        EXPECT_EQ(w.PanDate->Caption(), QStringLiteral("Январь 2005"));
        ASSERT_EQ(w.TabLim.RecordCount(), 1);
        EXPECT_EQ(w.PanTop->Caption(), QStringLiteral("1  "));
        EXPECT_DOUBLE_EQ(w.TabLim.FieldByName(QStringLiteral("Rb"))->AsFloat(), -200);
        EXPECT_EQ(w.TabLim.FieldByName(QStringLiteral("RbX"))->AsInteger(), 60);
        EXPECT_TRUE(w.DBGSum->Visible());
        EXPECT_EQ(w.TabSum.RecordCount(), 2);
        // A new limit through the input box: the table follows.
        TModalScript limit;
        limit.Enter(QStringLiteral("Edit"), QStringLiteral("600"), QStringLiteral("OK"));
        w.mLimSumClick(nullptr);
        EXPECT_TRUE(limit.Finished()) << limit.Errors().join(u';').toStdString();
        EXPECT_DOUBLE_EQ(w.TabLim.FieldByName(QStringLiteral("Lim"))->AsFloat(), -600);
        EXPECT_EQ(w.TabLim.FieldByName(QStringLiteral("RbX"))->AsInteger(), 50);
        // Quantities take the money columns' places; the table stays.
        w.ButQuant->SetDown(true);
        w.ButQuant->Click();
        EXPECT_EQ(w.DBGLim->Columns()[1]->FieldName(), QStringLiteral("QLim"));
        EXPECT_EQ(w.DBGLim->Columns()[2]->FieldName(), QStringLiteral("Qdt"));
        w.mpMoney->Click();
        EXPECT_EQ(w.DBGLim->Columns()[1]->FieldName(), QStringLiteral("Lim"));
        WORD key = VK_F1;
        w.OnKeyDown(&w, key, ssShift);
        EXPECT_EQ(w.PanDate->Caption(), QStringLiteral("Декабрь 2004"));
        EXPECT_DOUBLE_EQ(w.TabLim.FieldByName(QStringLiteral("Dt"))->AsFloat(), 80);
        w.mp2->Click(); // limited categories without turnover too
        EXPECT_EQ(w.TabLim.RecordCount(), 2);
        w.mpLev3->Click();
        w.mpAcc->Click();
    });
    EXPECT_EQ(Main->LimLev, 3);
    EXPECT_EQ(Main->LimFilter, 2);
    EXPECT_TRUE(Main->LimPlan);
    EXPECT_TRUE(Main->LimSum);
    EXPECT_FALSE(Main->LimQuant);
    EXPECT_FALSE(Main->Col_Lim.isEmpty());
}

TEST(LimLayout, AppliesOnlyWhenEveryColumnHasALine)
{
    TForm form;
    TVemtMemTable table;
    TVemtMemTable totals;
    OpenLimTables(table, totals);
    TDataSource source(&table);
    TDBGrid grid(&form);
    grid.SetDataSource(&source);
    for (const char *name : {"itm", "Lim", "Ct"})
        grid.Columns().Add()->SetFieldName(QString::fromLatin1(name));
    EXPECT_TRUE(TFormLim::ApplyLayoutText(&grid, QStringLiteral("Ct=50\nitm=-3\nRbX=x")));
    EXPECT_EQ(TFormLim::LayoutText(&grid), QStringLiteral("Ct=50\nitm=20\nRbX=20"));
    EXPECT_FALSE(TFormLim::ApplyLayoutText(&grid, QStringLiteral("Ct=50\nitm=60")));
    EXPECT_FALSE(TFormLim::ApplyLayoutText(&grid, QStringLiteral("Ct=50\nitm=60\nNoSuch=4")));
    grid.SetDataSource(nullptr);
}

} // namespace
} // namespace zorbel::test
