// The results window over a generated ledger: grouped totals in the three
// units against sums computed here from the generated rows, distributions,
// drill-down, output limits, opening balances, the charts' points, period
// keys, the operations list's commands (checked with sqlite3), the group
// edit and the launcher from the main window.
#include "RstFixture.h"

#include "analysis/ZorbEd.h"
#include "analysis/ZorbImp.h"
#include "core/ZorbAdd.h"
#include "platform/rtl/CodePages.h"
#include "support/LedgerInvariants.h"
#include "core/ZorbMarks.h"
#include "core/ZorbAcc.h"
#include "analysis/ZorbFilt.h"
#include "core/ZorbLaunch.h"
#include "platform/canvas/Printers.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"
#include "platform/sqltable/Sqlite.h"

#include <QChart>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QLineEdit>
#include <QPrintDialog>
#include <QScrollBar>

#include <algorithm>
#include <map>
#include <random>

namespace zorbel::test {
namespace {

struct TSums {
    int64_t In = 0, Out = 0;
};

// Units of 1/10000 as the window adds them.
int64_t Units(const std::optional<double> &V) { return V ? MoneyToUnits(*V) : 0; }

bool In2024(const TRstRow &r) { return r.Date >= EncodeDate(2024, 1, 1) && r.Date <= EncodeDate(2024, 12, 31); }

// Rows of TabRes as "id=in/out/result" in the unit.
std::map<int, std::array<double, 3>> TableRows(TFormRst &f, int unit)
{
    std::map<int, std::array<double, 3>> rows;
    TDataSet &t = f.TabRes;
    const int base = 2 + 3 * unit;
    for (t.First(); !t.Eof(); t.Next())
        rows[t.FieldByName(U("id"))->AsInteger()] = {t.Fields()[base]->AsFloat(), t.Fields()[base + 1]->AsFloat(),
                                                     t.Fields()[base + 2]->AsFloat()};
    return rows;
}

class RstTest : public RstFixture {};

TEST_F(RstTest, TopRowShowsItsChoicesWholeSideBySide)
{
    auto f = OpenWindow();
    f->show();
    // The kind box shows its longest kind, "Планируемые", whole.
    EXPECT_GE(f->CbKind->width(), f->CbKind->sizeHint().width());
    const QFontMetrics m(f->ButExtend->font());
    EXPECT_GT(f->ButExtend->width(), m.horizontalAdvance(U("Дополнительно...")));
    // Left to right without overlapping.
    const std::vector<QWidget *> row = {f->ButDt2, f->CbKind, f->ButItm, f->ButAcc, f->ButPers,
                                        f->ButFirm, f->ChMark, f->ChTrans, f->ButExtend};
    for (size_t i = 1; i < row.size(); ++i)
        EXPECT_LE(row[i - 1]->geometry().right(), row[i]->geometry().left()) << i;
}

TEST_F(RstTest, ChartPrintedIntoTheFileChosenInThePrintDialog)
{
    // "Печать" beside the pie: the print dialog's choice of a PDF file is
    // where the chart goes (it was dropped silently).
    Populate(60);
    auto f = OpenWindow();
    f->RefreshResults();
    f->show();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("pie.pdf"));
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("filename"));
        ASSERT_NE(name, nullptr);
        name->setText(file);
        answered = true;
        QMetaObject::invokeMethod(dialog, "accept");
    });
    f->ButPrnPieClick(f->ButPrnPie);
    ASSERT_TRUE(answered);
    EXPECT_GT(QFileInfo(file).size(), 1000);
    Printer().SetOutputFile(QString());
}

// A print file that cannot be made: the user is told, not left to think
// the chart was printed.
TEST_F(RstTest, AChartThatCannotBePrintedIsSaidSo)
{
    Populate(60);
    auto f = OpenWindow();
    f->RefreshResults();
    f->show();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("no such folder/pie.pdf"));
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("filename"));
        ASSERT_NE(name, nullptr);
        name->setText(file);
        answered = true;
        QMetaObject::invokeMethod(dialog, "accept");
    });
    TModalScript notice;
    notice.Press(QStringLiteral("OK"));
    f->ButPrnPieClick(f->ButPrnPie);
    Printer().SetOutputFile(QString());
    ASSERT_TRUE(answered);
    EXPECT_FALSE(QFileInfo::exists(file));
    ASSERT_EQ(notice.Seen().size(), 1u);
    EXPECT_TRUE(notice.Seen()[0].Text.startsWith(ChartPrintFailedText.trimmed()));
}

TEST_F(RstTest, TotalsByCategoryInEachUnitAndTheStatusBar)
{
    Populate(240);
    auto f = OpenWindow();
    f->RefreshResults();
    // Expected per level1 in each unit, computed from the rows.
    std::map<int, std::array<TSums, 3>> expected;
    for (const TRstRow &r : Rows) {
        if (!In2024(r))
            continue;
        auto &e = expected[r.Level1];
        e[0].In += Units(r.Dt), e[0].Out += Units(r.Ct);
        e[1].In += r.Dt ? MoneyToUnits(*r.Dt / r.Rate) : 0, e[1].Out += r.Ct ? MoneyToUnits(*r.Ct / r.Rate) : 0;
        e[2].In += Units(r.Qdt), e[2].Out += Units(r.Qct);
    }
    for (int unit = 0; unit < 3; ++unit) {
        const auto rows = TableRows(*f, unit);
        ASSERT_EQ(rows.size(), expected.size()) << unit;
        int64_t in = 0, out = 0;
        for (const auto &[id, e] : expected) {
            ASSERT_TRUE(rows.count(id)) << id;
            const auto &got = rows.at(id);
            // Sums of quotients may differ in the last unit from the engine's own sum.
            EXPECT_NEAR(got[0], UnitsToMoney(e[unit].In), 0.00015 * 60) << unit << ' ' << id;
            EXPECT_NEAR(got[1], UnitsToMoney(e[unit].Out), 0.00015 * 60) << unit << ' ' << id;
            EXPECT_NEAR(got[2], got[0] - got[1], 1e-9);
            in += MoneyToUnits(got[0]);
            out += MoneyToUnits(got[1]);
        }
        TMenuItem *items[] = {f->mpCur, f->mpYE, f->mpQuant};
        f->mpCurClick(items[unit]);
        EXPECT_EQ(f->SbRes->PanelText(0), FormatFloat(U("#,##0.00"), UnitsToMoney(in)).trimmed()) << unit;
        EXPECT_EQ(f->SbRes->PanelText(1), FormatFloat(U("#,##0.00"), UnitsToMoney(out)).trimmed()) << unit;
        EXPECT_EQ(f->SbRes->PanelText(2), FormatFloat(U("#,##0.00"), UnitsToMoney(in - out)).trimmed()) << unit;
    }
    // Names come from the categories; the grid shows the unit's columns.
    ASSERT_TRUE(f->TabRes.Locate(U("id"), Variant(100), {}));
    EXPECT_EQ(f->TabRes.FieldByName(U("nm"))->AsString(), U("Еда"));
    EXPECT_EQ(f->DBGRes->Columns()[1]->FieldName(), U("sdq"));
    EXPECT_EQ(f->DBGRes->Columns()[0]->FieldName(), U("nm"));
    EXPECT_EQ(f->DBGRes->Columns()[0]->Width(), 162);
    EXPECT_EQ(f->PanRes->Hint(), U("Всего строк: 3"));
}

// The totals' value columns hold a total in the millions whole, right-
// aligned, in the ledger's font and in a larger one chosen in the settings
// (fixed widths cut it to its last digits: "38 000,00" for 2 638 000,00).
TEST_F(RstTest, TotalsColumnsHoldAmountsInTheMillionsInAnyFont)
{
    Populate(40);
    for (const int points : {0, 14}) {
        if (points) {
            main->GridFont.setPointSize(points);
            main->TitleFont.setPointSize(points);
        }
        auto f = OpenWindow();
        f->show();
        const QFontMetrics cells(f->DBGRes->View()->font());
        if (points) {
            ASSERT_EQ(f->DBGRes->View()->font().pointSize(), points);
        }
        const int needed = cells.horizontalAdvance(FormatFloat(U("#,##0.00"), -4700759.81)) + 4;
        ASSERT_EQ(f->DBGRes->Columns().Count(), 4);
        for (int i = 1; i < 4; ++i)
            EXPECT_GE(f->DBGRes->Columns()[i]->Width(), needed) << "font " << points << ", column " << i;
        // The unit menu puts other fields into the same columns.
        f->mpCurClick(f->mpYE);
        for (int i = 1; i < 4; ++i)
            EXPECT_GE(f->DBGRes->Columns()[i]->Width(), needed) << "font " << points << ", column " << i;
    }
}

// The totals' bar: in, out and result right-aligned in thirds of the bar;
// ten-digit totals in a 16 pt bold font chosen in the settings show every
// digit inside the bar (they lost their last digits in 127-pixel panels:
// "98 822 525,6").
TEST_F(RstTest, TotalsBarShowsTenDigitTotalsWholeInALargeFont)
{
    Populate(40);
    Exec(U("update tb_hist set dt = dt * 1000000 + 0.37, ct = ct * 1000000 + 0.61"));
    for (const int points : {0, 16}) {
        if (points) {
            main->TitleFont.setPointSize(points);
            main->TitleFont.setBold(true);
        }
        auto f = OpenWindow();
        f->show();
        f->RefreshResults();
        QCoreApplication::processEvents();
        TStatusBar *sb = f->SbRes;
        const QFontMetrics fm(sb->Font());
        if (points) {
            ASSERT_EQ(sb->Font().pointSize(), points);
        }
        // The figures are ten digits long, one of them negative.
        EXPECT_GE(sb->PanelText(1).size(), 16) << sb->PanelText(1).toStdString();
        EXPECT_TRUE(sb->PanelText(2).startsWith(u'-')) << sb->PanelText(2).toStdString();
        for (int i = 0; i < 3; ++i) {
            const QRect text = sb->PanelTextRect(i);
            EXPECT_GE(text.width(), fm.horizontalAdvance(sb->PanelText(i))) << points << ' ' << i;
            EXPECT_LE(sb->PanelRect(i).right(), sb->Width() - 1) << points << ' ' << i;
            EXPECT_GE(sb->Height(), fm.height()) << points;
            // A third of the bar each (less 6), unless a figure needs more.
            EXPECT_EQ(sb->PanelWidth(i), sb->Width() / 3 - 6) << points << ' ' << i;
        }
        EXPECT_EQ(sb->PanelWidth(3), 18);
        const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
        if (!dir.isEmpty())
            f->grab().save(QDir(dir).filePath(QStringLiteral("results-totals-%1pt.png").arg(points)));
    }
}

TEST_F(RstTest, SortingByTitlesFlipsAndMenuFollowsTheUnit)
{
    Populate(120);
    auto f = OpenWindow();
    f->RefreshResults();
    const auto order = [&f] {
        QStringList ids;
        for (f->TabRes.First(); !f->TabRes.Eof(); f->TabRes.Next())
            ids << f->TabRes.FieldByName(U("id"))->AsString();
        return ids;
    };
    f->DBGResTitleClick(nullptr, f->DBGRes->Columns()[3]); // result: no nulls
    const QStringList ascending = order();
    EXPECT_TRUE(f->mpSortRs->Checked());
    f->DBGResTitleClick(nullptr, f->DBGRes->Columns()[3]);
    QStringList descending = order();
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(descending, ascending);
    EXPECT_EQ(f->DBGRes->Columns()[3]->Color(), RstSortColor);
    // Sorting survives a refill.
    f->RefreshResults();
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(order(), descending);
}

TEST_F(RstTest, DistributionsDrillDownAndTheRowOfferedToTheBoxes)
{
    Populate(240);
    auto f = OpenWindow();
    f->ButPers->SetDown(true);
    f->RefreshResults();
    std::map<int, int64_t> byPerson;
    for (const TRstRow &r : Rows)
        if (In2024(r))
            byPerson[r.Person.value_or(-1)] += Units(r.Ct);
    const auto rows = TableRows(*f, 0);
    ASSERT_EQ(rows.size(), byPerson.size());
    for (const auto &[id, out] : byPerson)
        EXPECT_NEAR(rows.at(id == -1 ? 0 : id)[1], UnitsToMoney(out), 1e-6) << id;
    // The current row offers itself to the unticked person box; a double
    // click ticks it and turns to the categories.
    ASSERT_TRUE(f->TabRes.Locate(U("id"), Variant(2), {}));
    EXPECT_EQ(f->ChPers->Caption(), U("Петров"));
    EXPECT_EQ(f->ChPers->Tag(), 2);
    f->DBGResDblClick(nullptr);
    EXPECT_TRUE(f->ChPers->Checked());
    EXPECT_TRUE(f->ButItm->Down());
    int64_t out = 0;
    for (const TRstRow &r : Rows)
        if (In2024(r) && r.Person == 2)
            out += Units(r.Ct);
    int64_t shown = 0;
    for (const auto &[id, v] : TableRows(*f, 0))
        shown += MoneyToUnits(v[1]);
    EXPECT_EQ(shown, out);

    // Drill-down through the category levels and back.
    f->ChPers->SetChecked(false);
    ASSERT_TRUE(f->TabRes.Locate(U("id"), Variant(100), {}));
    f->DBGResDblClick(nullptr);
    EXPECT_TRUE(f->ChItm1->Checked());
    EXPECT_EQ(f->ChItm1->Caption(), U("Еда"));
    EXPECT_TRUE(f->ChItm2->Visible());
    EXPECT_EQ(TableRows(*f, 0).size(), 2u); // Хлеб, Молоко
    ASSERT_TRUE(f->TabRes.Locate(U("id"), Variant(110), {}));
    f->DBGResDblClick(nullptr);
    EXPECT_TRUE(f->ChItm2->Checked());
    ASSERT_TRUE(f->TabRes.Locate(U("id"), Variant(120), {}));
    f->DBGResDblClick(nullptr);
    EXPECT_TRUE(f->ChItm3->Checked());
    // All three ticked: one row of the chosen item.
    const auto deepest = TableRows(*f, 0);
    ASSERT_EQ(deepest.size(), 1u);
    EXPECT_EQ(deepest.begin()->first, 120);
    f->DBGResDblClick(nullptr);
    EXPECT_FALSE(f->ChItm1->Checked());
    EXPECT_FALSE(f->ChItm2->Checked());
    EXPECT_FALSE(f->ChItm2->Visible());
    EXPECT_EQ(TableRows(*f, 0).size(), 3u);

    // Right click on the second level while the first excludes does nothing.
    f->ToggleIncludeExclude(f->ChItm1);
    EXPECT_TRUE(TFormRst::Excluded(f->ChItm1));
    f->ToggleIncludeExclude(f->ChItm2);
    EXPECT_FALSE(TFormRst::Excluded(f->ChItm2));
}

TEST_F(RstTest, AccountGroupAndPersonPickedThroughTheSelectionButtons)
{
    Populate(120);
    auto f = OpenWindow();
    f->ChAcc->SetChecked(true);
    f->PickAccount = [](TFormRst &) { return 8; }; // "All": the group of accounts
    f->But_ItmClick(f->But_Acc);
    EXPECT_EQ(f->PanCond->Tag(), 1);
    EXPECT_EQ(f->ChAcc->Caption(), QStringLiteral("**")); // accounts 2 and 3
    int64_t out = 0;
    for (const TRstRow &r : Rows)
        if (In2024(r) && r.Account != 1)
            out += Units(r.Ct);
    int64_t shown = 0;
    for (const auto &[id, v] : TableRows(*f, 0))
        shown += MoneyToUnits(v[1]);
    EXPECT_EQ(shown, out);

    f->PickPerson = [this](TFormRst &) {
        return main->Dm->Tb_Person.Locate(U("Id_Person"), Variant(2), {}) ? int(mrOk) : int(mrCancel);
    };
    f->But_ItmClick(f->But_Pers);
    EXPECT_TRUE(f->ChPers->Checked());
    EXPECT_EQ(f->ChPers->Caption(), U("Петров"));
    // Cancelled: nothing changes.
    f->PickFirm = [](TFormRst &) { return int(mrCancel); };
    f->But_ItmClick(f->But_Firm);
    EXPECT_FALSE(f->ChFirm->Checked());
}

TEST_F(RstTest, ABoxClickAfterAnEmptyResultRebuildsTheTotals)
{
    Populate(60);
    auto f = OpenWindow();
    f->RefreshResults();
    const size_t all = TableRows(*f, 0).size();
    ASSERT_GT(all, 0u);
    // A person with no operations: nothing to show, the grouped query stays open.
    f->ChPers->SetCaption(U("Никто"));
    f->ChPers->SetTag(99);
    f->ChPers->SetChecked(true);
    EXPECT_TRUE(f->TabRes.IsEmpty());
    // Unticking it shows the rows again.
    f->ChPers->SetChecked(false);
    EXPECT_EQ(TableRows(*f, 0).size(), all);
}

TEST_F(RstTest, TheAccountsBookOffersTheGroup)
{
    Populate(30);
    auto f = OpenWindow();
    f->ChAcc->SetChecked(true);
    TModalScript script;
    script.Then([](TForm &form) {
        auto *acc = qobject_cast<TFormAcc *>(&form);
        ASSERT_NE(acc, nullptr);
        EXPECT_TRUE(acc->ButAll->Visible()); // opened from the results window
        acc->ButAll->Click();
    });
    f->But_ItmClick(f->But_Acc);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_EQ(f->PanCond->Tag(), 1);
    EXPECT_EQ(f->ChAcc->Caption(), QStringLiteral("**"));
}

TEST_F(RstTest, TransferCategoryHasNoLowerLevels)
{
    Populate(30);
    auto f = OpenWindow();
    f->ChItm1->SetCaption(U("ПЕРЕВОД"));
    f->ChItm1->SetTag(-1);
    f->ChItm1->SetChecked(true);
    EXPECT_TRUE(f->ChItm2->Visible());
    f->ChItm2->SetChecked(true);
    EXPECT_FALSE(f->ChItm2->Checked()); // undone at once
}

TEST_F(RstTest, OutputLimitsHideExactlyTheRowsAndBadThresholdsAreReported)
{
    Populate(240);
    auto f = OpenWindow();
    f->RefreshResults();
    const auto all = TableRows(*f, 1);
    TModalScript script;
    script.Then([](TForm &form) {
        auto &filt = static_cast<TFormFilt &>(form);
        filt.CbTab->SetItemIndex(1);
        filt.EdCt->SetText(QStringLiteral("3000"));
        filt.ButEqCt->Click(); // ">" -> "<"
        filt.ButOk->Click();
    });
    f->mpFiltClick(nullptr);
    ASSERT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_TRUE(f->mpYE->Checked());
    EXPECT_EQ(f->ButFiltSum->Caption(), QStringLiteral("- + -"));
    const auto shown = TableRows(*f, 1);
    size_t expected = 0;
    // A row without expenses has no value to compare and is hidden too.
    for (const auto &[id, v] : all)
        if (v[1] < 3000 && v[1] != 0) {
            ++expected;
            EXPECT_TRUE(shown.count(id)) << id;
        }
    EXPECT_EQ(shown.size(), expected);
    EXPECT_LT(expected, all.size());

    // A threshold with a decimal comma.
    TModalScript second;
    second.Then([](TForm &form) {
        auto &filt = static_cast<TFormFilt &>(form);
        filt.EdCt->SetText(U("2500,5"));
        filt.ButOk->Click();
    });
    second.Press(QStringLiteral("OK"));
    f->mpFiltClick(nullptr);
    const auto after = TableRows(*f, 1);
    if (f->ButFiltSum->Caption() == QStringLiteral("- - -")) {
        EXPECT_EQ(after.size(), all.size()); // refused, reported, and no limits claimed
        ASSERT_FALSE(second.Seen().empty());
    } else {
        for (const auto &[id, v] : after)
            EXPECT_LT(v[1], 2500.5) << id;
    }
}

TEST_F(RstTest, OpeningBalancesFollowTheAccountBox)
{
    Populate(240);
    auto f = OpenWindow();
    const TDateTime from = EncodeDate(2024, 3, 1);
    // Realised movements before the period of the accounts take() selects.
    const auto before = [&](const std::function<bool(int)> &take) {
        TRstOpening o;
        for (const TRstRow &r : Rows)
            if (r.Date < from && r.Kind == u"1" && take(r.Account)) {
                o.Amount += Units(r.Dt) - Units(r.Ct);
                o.Common += (r.Dt ? MoneyToUnits(*r.Dt / r.Rate) : 0) - (r.Ct ? MoneyToUnits(*r.Ct / r.Rate) : 0);
                o.Quantity += Units(r.Qdt) - Units(r.Qct);
            }
        return o;
    };
    f->CbKind->SetItemIndex(0);
    f->Period.FromDate = from;
    f->Period.ToDate = EncodeDate(2024, 3, 31);
    const auto check = [&](const TRstOpening &got, double beg, double begCommon, const TRstOpening &moves) {
        SCOPED_TRACE(f->QBegSum.SQL().join(u'|').toStdString());
        EXPECT_EQ(got.Amount, MoneyToUnits(beg) + moves.Amount);
        // The engine sums quotients itself; allow a unit per row.
        EXPECT_NEAR(double(got.Common), double(MoneyToUnits(begCommon) + moves.Common), 240);
        EXPECT_EQ(got.Quantity, moves.Quantity);
    };

    // Ticked and included: that account's opening amount and its operations.
    f->SetAccountBox(2, U("Банк"), 0, U("руб"));
    f->ChAcc->SetChecked(true);
    check(f->ComputeOpeningBalances(), 250.5, 250.5, before([](int a) { return a == 2; }));
    // Unticked: every account.
    f->ChAcc->SetChecked(false);
    check(f->ComputeOpeningBalances(), 1000 + 250.5 + 100, 1000 + 250.5 + 100.0 / 90, before([](int) { return true; }));
    // Excluded: the other accounts.
    f->ChAcc->SetChecked(true);
    f->ToggleIncludeExclude(f->ChAcc);
    check(f->ComputeOpeningBalances(), 1000 + 100, 1000 + 100.0 / 90, before([](int a) { return a != 2; }));
    // The group (accounts 2 and 3), included.
    f->ToggleIncludeExclude(f->ChAcc);
    f->PanCond->SetTag(1);
    f->RefreshResults();
    check(f->ComputeOpeningBalances(), 250.5 + 100, 250.5 + 100.0 / 90, before([](int a) { return a != 1; }));
}

TEST_F(RstTest, ChartsHoldTheTableRowsIncludingNegativesAndNulls)
{
    Populate(240);
    auto f = OpenWindow();
    f->RefreshResults();
    f->SetChartValueColumn(2); // out
    TChartSeries &pie = f->DBChPie->Series(0);
    TChartSeries &bar = f->DBChBar->Series(0);
    ASSERT_EQ(pie.Points().size(), size_t(f->TabRes.RecordCount()));
    // Zarplata has incomes only: its out value is null, no slice, no bar.
    int salary = -1;
    for (size_t i = 0; i < pie.Points().size(); ++i)
        if (pie.Points()[i].Label == U("Зарплата"))
            salary = int(i);
    ASSERT_GE(salary, 0);
    EXPECT_FALSE(pie.Points()[size_t(salary)].Value.has_value());
    EXPECT_FALSE(bar.Points()[size_t(salary)].Value.has_value());
    EXPECT_EQ(f->DBGRes->Columns()[2]->Title().FontColor, clBlue);
    // The result column: expenses make negative values; slices take their size.
    f->SetChartValueColumn(3);
    double negative = 0;
    for (const TChartPoint &p : pie.Points())
        if (p.Value && *p.Value < 0)
            negative = *p.Value;
    ASSERT_LT(negative, 0);
    f->show(); // the pie page is shown and drawn
    QCoreApplication::processEvents();
    EXPECT_EQ(f->DBChPie->Chart()->series().size(), 1);
    // Marks cycle on clicks.
    f->DBChPieClick();
    EXPECT_TRUE(pie.MarksVisible());
    f->DBChPieClick();
    EXPECT_EQ(pie.MarksStyle(), TMarksStyle::LabelPercent);
    // Deleting a row here changes the charts, not the data.
    const int rows = f->TabRes.RecordCount();
    f->mpDelRsClick(nullptr);
    EXPECT_EQ(int(pie.Points().size()), rows - 1);
    EXPECT_EQ(Sqlite(U("select count(*) from tb_hist not indexed")), QString::number(Rows.size()));
}

TEST_F(RstTest, SummaryOfTheVisibleRows)
{
    Populate(240);
    auto f = OpenWindow();
    f->Period.FromDate = EncodeDate(2024, 3, 1);
    f->Period.ToDate = EncodeDate(2024, 3, 31);
    f->CbKind->SetItemIndex(0);
    f->RefreshResults();
    const QStringList lines = f->SummaryLines();
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(lines[0], U("Статьи за период 01.03.2024 - 31.03.2024"));
    EXPECT_TRUE(lines[3].startsWith(U("Приход   = "))) << lines.join(u'|').toStdString();
    EXPECT_TRUE(lines[8].endsWith(QString::number(f->TabRes.RecordCount())));
    int64_t in = 0, out = 0;
    for (const TRstRow &r : Rows)
        if (r.Date >= EncodeDate(2024, 3, 1) && r.Date <= EncodeDate(2024, 3, 31) && r.Kind == u"1")
            in += Units(r.Dt), out += Units(r.Ct);
    EXPECT_EQ(lines[7].mid(11).trimmed(), FormatFloat(U("#,##0.00"), UnitsToMoney(in - out)));
}

TEST_F(RstTest, PeriodKeysStepAndTheWholePeriod)
{
    Populate(60);
    auto f = OpenWindow();
    f->Period.Kind = rpWhole;
    WORD key = '4';
    f->FormKeyDown(nullptr, key, TShiftState{ssCtrl});
    // The first press shows the month of the first operation.
    EXPECT_EQ(f->Period.Kind, rpMonth);
    EXPECT_EQ(f->Period.FromDate, EncodeDate(2024, 1, 1));
    EXPECT_EQ(f->Period.ToDate, EncodeDate(2024, 1, 31));
    EXPECT_EQ(f->ButDate1->Caption(), U("01.01.2024"));
    key = VK_F4;
    f->FormKeyDown(nullptr, key, TShiftState{ssShift});
    EXPECT_EQ(f->Period.FromDate, EncodeDate(2024, 2, 1));
    EXPECT_EQ(f->Period.ToDate, EncodeDate(2024, 2, 29));
    key = '1';
    f->FormKeyDown(nullptr, key, TShiftState{ssCtrl});
    EXPECT_FALSE(f->ButDt1->Visible());
    const TDateTime from = f->Period.FromDate;
    key = VK_F3;
    f->FormKeyDown(nullptr, key, TShiftState{ssShift}); // hidden step buttons: nothing
    EXPECT_EQ(f->Period.FromDate, from);
}

// ---- the operations list ----------------------------------------------------------

class RstListTest : public RstFixture {
protected:
    bool Find(TFormRst &f, const TRstRow &r)
    {
        return f.Qhs().Locate(U("Id_Account;Date_Real;Date_Create;Kind"),
                              VarArrayOf({Variant(r.Account), Variant::FromDate(r.Date), Variant::FromDate(r.Stamp),
                                          Variant(r.Kind)}),
                              {});
    }
    double Rest(int account)
    {
        return Sqlite(U("select rest from tb_account not indexed where id_account=%1").arg(account)).toDouble();
    }
};

// ---- the list's writing commands -------------------------------------------------

// A small ledger for the list's commands: account 0 «Кошелёк» (the first
// account of many data sets) whose balance lies 38 inside the balance bound,
// account 1 «Банк», the month of today as the main window's period. Every
// command writes the row and the balance it implies or nothing, says which,
// and leaves the main window's figures and the account box as stored.
class RstRoadTest : public RstFixture {
protected:
    static constexpr double Big = 99999999999.99;
    const TDateTime today = Date();
    TDateTime first = 0; // the first day of today's month

    // Fills the data set: both accounts, the categories, Rows; every Rest
    // then is Beg plus its realised rows.
    void Build(const std::function<void(TDataSetBuilder &)> &Rows)
    {
        int y = 0, m = 0, d = 0;
        DecodeDate(today, y, m, d);
        first = EncodeDate(y, m, 1);
        TDm &dm = *main->Dm;
        {
            TTransactionScope tr(dm.Db);
            for (const char *t : {"tb_hist", "tb_account", "tb_items"})
                Exec(U("delete from ") + QString::fromLatin1(t));
            TDataSetBuilder build(dm.Db);
            build.Account({.Id = 0, .Name = U("Кошелёк"), .Beg = -49755813949.05});
            build.Account({.Id = 1, .Name = U("Банк"), .Beg = 1000});
            build.Category({.Id = -1, .Name = U("ПЕРЕВОД"), .C = U("0")});
            build.Category({.Id = 0, .Name = U("Еда")});
            build.Category({.Id = 1, .Name = U("Зарплата"), .C = U("+")});
            Rows(build);
            Exec(U("update tb_account set rest = beg + coalesce((select sum(coalesce(dt, 0) - coalesce(ct, 0)) "
                   "from tb_hist h where h.id_account = tb_account.id_account and h.kind = '1'), 0)"));
            tr.Commit();
        }
        for (TTable *t : {&dm.Tb_Account, &dm.Tb_Items, &dm.Tb_Hist}) {
            t->Close();
            t->Open();
        }
    }
    // The ledger's usual rows; Stamps names them: e1 (the 1,00 of account 0,
    // the month before), in (its income of 100), big (its first expense of
    // Big), plan (its planned 7), bank (the 100,00 of account 1).
    void BuildLedger(const std::function<TDateTime(int)> &Stamp = {})
    {
        Build([&](TDataSetBuilder &b) {
            const auto stamp = [&](int n) { return Stamp ? std::optional<TDateTime>(Stamp(n)) : std::nullopt; };
            for (int i = 0; i < 5; ++i) {
                const TDateTime s = b.Operation({.Account = 0, .Date = first + i % 3, .Ct = Big, .Level1 = 0,
                                                 .Stamp = stamp(10 + i)});
                if (i == 0)
                    Stamps["big"] = s;
            }
            Stamps["e1"] = b.Operation({.Account = 0, .Date = first - 10, .Ct = 1, .Level1 = 0, .Stamp = stamp(1)});
            Stamps["in"] = b.Operation({.Account = 0, .Date = first + 3, .Dt = 100, .Level1 = 1, .Stamp = stamp(2)});
            Stamps["plan"] = b.Operation({.Account = 0, .Date = today + 1, .Kind = U("2"), .Ct = 7, .Level1 = 0,
                                          .Stamp = stamp(3)});
            Stamps["bank"] = b.Operation({.Account = 1, .Date = first + 1, .Ct = 100, .Level1 = 0, .Stamp = stamp(4)});
            b.Operation({.Account = 1, .Date = first + 2, .Dt = 50, .Level1 = 1, .Stamp = stamp(5)});
        });
    }
    // The main window on account Id over today's month, and a results window
    // over every row of every account (made with the box naming account Id).
    std::unique_ptr<TFormRst> OpenOn(int Id)
    {
        TTable &acc = main->Dm->Tb_Account;
        EXPECT_TRUE(acc.Locate(U("Id_Account"), Variant(Id), {}));
        main->EntryDate = today;
        main->CbPer->SetItemIndex(3); // a month
        main->ApplyLedgerPeriod();
        auto f = OpenList();
        f->Period.Kind = rpWhole;
        f->Period.FromDate = first - 400;
        f->Period.ToDate = first + 400;
        f->RefreshResults();
        return f;
    }
    // Puts the list on the row of stamp Name.
    void Select(TFormRst &f, const char *Name)
    {
        ASSERT_TRUE(f.Qhs().Locate(U("Date_Create"), Variant::FromDate(Stamps.at(Name)), {})) << Name;
    }
    // The row of stamp Name as "dt|ct|kind|comment|b", "gone" when deleted.
    QString Row(const char *Name)
    {
        TSqliteStatement st(main->Dm->Db.Db(), U("select dt, ct, kind, comment, b from tb_hist where date_create = ?"));
        st.BindDouble(1, Stamps.at(Name));
        if (!st.Step())
            return U("gone");
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << (st.IsNull(c) ? QString() : c < 2 ? QString::number(st.ColumnDouble(c), 'g', 15) : st.ColumnText(c));
        return cells.join(u'|');
    }
    // Every stamp as stored, to the last bit; Without: but the one of that name.
    QStringList StoredStamps(const char *Without = nullptr)
    {
        QStringList out;
        TSqliteStatement st(main->Dm->Db.Db(), U("select date_create from tb_hist order by 1"));
        while (st.Step())
            if (!Without || st.ColumnDouble(0) != Stamps.at(Without))
                out << QString::number(st.ColumnDouble(0), 'g', 17);
        return out;
    }
    // Rest = Beg + the realised rows of every account; the main window's
    // figures of its account and period, and the account box's balance,
    // equal to the stored rows.
    void ExpectStored(TFormRst &f, const std::string &What)
    {
        SCOPED_TRACE(What);
        TSqliteDb &db = main->Dm->Db.Db();
        std::map<int, int64_t> rest;
        TSqliteStatement acc(db, U("select id_account, beg, rest, account from tb_account"));
        while (acc.Step()) {
            const int id = int(acc.ColumnInt(0));
            int64_t sum = MoneyToUnits(acc.ColumnDouble(1));
            TSqliteStatement h(db, U("select dt, ct from tb_hist where id_account = ? and kind = '1'"));
            h.BindInt(1, id);
            while (h.Step())
                sum += MoneyToUnits(h.ColumnDouble(0)) - MoneyToUnits(h.ColumnDouble(1));
            EXPECT_EQ(MoneyToUnits(acc.ColumnDouble(2)), sum) << "account " << id;
            rest[id] = sum;
            if (f.ChAcc->Tag() == id && f.ChAcc->Caption().contains(U(" ...  "))) { // the box shows a balance
                EXPECT_EQ(f.ChAcc->Caption(), acc.ColumnText(3) + U(" ...  ") +
                                                  FormatFloat(U("#,##0.00"), UnitsToMoney(sum)) + U(" руб"));
            }
        }
        const int current = main->Dm->Tb_Account.FieldByName(U("Id_Account"))->AsInteger();
        int64_t opening = 0, in = 0, out = 0, planned = 0;
        TSqliteStatement h(db, U("select date_real, kind, dt, ct from tb_hist where id_account = ?"));
        h.BindInt(1, current);
        while (h.Step()) {
            const double day = h.ColumnDouble(0);
            const int64_t dt = MoneyToUnits(h.ColumnDouble(2)), ct = MoneyToUnits(h.ColumnDouble(3));
            if (h.ColumnText(1) != u"1") {
                if (today < main->PeriodEnd && day >= today && day <= main->PeriodEnd)
                    planned += dt - ct;
            } else if (day < main->PeriodBegin) {
                opening += dt - ct;
            } else if (day <= main->PeriodEnd) {
                in += dt;
                out += ct;
            }
        }
        TSqliteStatement beg(db, U("select beg from tb_account where id_account = ?"));
        beg.BindInt(1, current);
        ASSERT_TRUE(beg.Step());
        opening += MoneyToUnits(beg.ColumnDouble(0));
        const auto text = [](int64_t u) { return Trim(FormatFloat(U("#,##0.00"), UnitsToMoney(u))); };
        const int64_t closing = opening + in - out;
        EXPECT_EQ(main->Sb->PanelText(1), text(opening));
        EXPECT_EQ(main->Sb->PanelText(3), text(in));
        EXPECT_EQ(main->Sb->PanelText(5), text(out));
        EXPECT_EQ(main->Sb->PanelText(7),
                  text(closing) + (planned ? U("  (") + text(closing + planned) + u')' : QString()));
    }

    std::map<std::string, TDateTime> Stamps;
};

// F2 and Ctrl+Del on either account, from either account's view: a change
// the balance bound refuses leaves the row and every balance as they were
// and says so; one it takes writes the row and its account's balance, the
// current account's as any other's, and account 0 is an account as any.
TEST_F(RstRoadTest, AmountChangesAndDeletesWriteTheRowWithItsBalanceOrNothing)
{
    enum TRoad { EdSum, Del };
    struct TCase {
        const char *What;
        int Current;     // the main window's account
        TRoad Road;
        const char *Row; // the stamp's name
        const char *Typed; // F2's new amount
        const char *After; // the row afterwards ("dt|ct|kind|comment|b", or "gone")
        bool Refused;
    };
    const TCase cases[] = {
        {"F2 past the bound, current account 0", 0, EdSum, "e1", "100", "|1|1||", true},
        {"F2 past the bound, from account 1", 1, EdSum, "e1", "100", "|1|1||", true},
        {"F2 inside the bound, current account 0", 0, EdSum, "e1", "2", "|2|1||", false},
        {"F2 inside the bound, from account 1", 1, EdSum, "e1", "2", "|2|1||", false},
        {"F2 lowers a Big expense, current account 0", 0, EdSum, "big", "5", "|5|1||", false},
        {"F2 on account 1 from account 0", 0, EdSum, "bank", "40", "|40|1||", false},
        {"Ctrl+Del of an income past the bound, current account 0", 0, Del, "in", "", "100||1||", true},
        {"Ctrl+Del of an income past the bound, from account 1", 1, Del, "in", "", "100||1||", true},
        {"Ctrl+Del of an expense, current account 0", 0, Del, "e1", "", "gone", false},
        {"Ctrl+Del of account 1's expense from account 0", 0, Del, "bank", "", "gone", false},
        {"Ctrl+Del of a planned row, current account 0", 0, Del, "plan", "", "gone", false},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.What);
        BuildLedger();
        auto f = OpenOn(c.Current);
        Select(*f, c.Row);
        TModalScript script;
        if (c.Road == EdSum)
            script.Enter(U("Edit"), U(c.Typed), U("OK"));
        else
            script.Press(U("Yes"));
        script.Press(U("OK"));
        if (c.Road == EdSum)
            f->mpHsEdSumClick(nullptr);
        else
            f->mHsDelClick(nullptr);
        EXPECT_EQ(Row(c.Row), U(c.After));
        ASSERT_GE(script.Seen().size(), 1u);
        if (c.Refused) {
            ASSERT_EQ(script.Seen().size(), 2u);
            EXPECT_EQ(script.Seen()[1].Text, BalanceRangeMessage(U("Кошелёк"), false));
        } else {
            EXPECT_EQ(script.Seen().size(), 1u) << script.Seen().back().Text.toStdString();
        }
        ExpectStored(*f, c.What);
    }
}

// A file written by another tool holds creation stamps that are no whole
// millisecond: each command finds such a row by its stamp and writes it
// (or deletes it) like any other, leaving every stamp as stored.
TEST_F(RstRoadTest, RowsWhoseStampsAreNoWholeMillisecondAreEditedLikeAnyOther)
{
    enum TRoad { EdSum, Del, Edit, Mark, GoTab };
    struct TCase {
        const char *What;
        TRoad Road;
        const char *Row;
        const char *After;
    };
    const TCase cases[] = {
        {"F2", EdSum, "bank", "|40|1||"},
        {"Ctrl+Del of account 0's row from account 1", Del, "e1", "gone"},
        {"Редактировать... OK", Edit, "bank", "|100|1|правка|"},
        {"Закладка", Mark, "bank", "|100|1||+"},
        {"F3", GoTab, "bank", "|100|1||"},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.What);
        BuildLedger([this](int n) { return first - 30 + n / 1000.0 + (0.123 + 0.01 * n) / 86400000.0; });
        for (const auto &[name, stamp] : Stamps)
            ASSERT_NE(stamp * 86400000.0, std::round(stamp * 86400000.0)) << name;
        QStringList stamps = StoredStamps();
        auto f = OpenOn(1);
        Select(*f, c.Row);
        TModalScript script;
        switch (c.Road) {
        case EdSum:
            script.Enter(U("Edit"), U("40"), U("OK"));
            f->mpHsEdSumClick(nullptr);
            break;
        case Del:
            script.Press(U("Yes"));
            stamps = StoredStamps(c.Row);
            f->mHsDelClick(nullptr);
            break;
        case Edit:
            script.Then([](TForm &form) {
                auto &ed = static_cast<TFormEd &>(form);
                ed.EdComm->SetText(U("правка"));
                ed.ButOk->Click();
            });
            f->GroupEdit();
            break;
        case Mark:
            f->SetBookmark();
            break;
        case GoTab:
            f->mpHsGoTabClick(nullptr);
            EXPECT_EQ(main->Dm->Tb_Hist.FieldByName(U("Date_Create"))->AsDateTime(), Stamps.at(c.Row));
            break;
        }
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
        EXPECT_EQ(Row(c.Row), U(c.After));
        EXPECT_EQ(StoredStamps(), stamps);
        ExpectStored(*f, c.What);
    }
}

// The edit dialog's OK and "&All" move rows across months: the main window
// shows the moved income and the moved plans at once.
TEST_F(RstRoadTest, GroupEditShowsTheMovedRowsInTheMainWindowAtOnce)
{
    Build([&](TDataSetBuilder &b) {
        Stamps["in"] = b.Operation({.Account = 0, .Date = first + 2, .Dt = 1000, .Level1 = 1});
        for (int i = 0; i < 4; ++i)
            b.Operation({.Account = 0, .Date = first + 70 + i, .Kind = U("2"), .Ct = 10.0 * (i + 1), .Level1 = 0});
    });
    auto f = OpenOn(0);
    ExpectStored(*f, "opened");
    Select(*f, "in");
    const auto moveTo = [&](TDateTime Day, bool All) {
        TModalScript script;
        script.Then([&](TForm &form) {
            auto &ed = static_cast<TFormEd &>(form);
            ed.ChDate->SetChecked(true);
            ed.SetDate(Day);
            if (All)
                ed.ButAll->Click();
            else
                ed.ButOk->Click();
        });
        if (All)
            script.Press(U("Yes")).Press(U("OK"));
        f->GroupEdit();
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    };
    moveTo(first - 1, false); // the income into the month before
    ExpectStored(*f, "the income moved out of the month");
    EXPECT_EQ(main->Sb->PanelText(3), U("0,00"));
    // The main window on the next month; the plans of the month after it
    // move into it.
    main->EntryDate = IncMonth(first, 1);
    main->ApplyLedgerPeriod();
    main->AdminMode = true;
    f->CbKind->SetItemIndex(1);
    f->RefreshResults();
    ASSERT_EQ(f->Qhs().RecordCount(), 4);
    moveTo(IncMonth(first, 1) + 5, true);
    ExpectStored(*f, "the plans moved into the month");
    EXPECT_TRUE(main->Sb->PanelText(7).contains(u'(')) << main->Sb->PanelText(7).toStdString();
}

// The edit dialog's OK on one row writes what the user changed and keeps
// the rest as stored: a price, quantity or rate of more than four decimals
// (written by another tool) and a person of id 0, the first id of many data
// sets. "&All" writes what the dialog shows to every row, person 0 included.
TEST_F(RstRoadTest, EditDialogWritesWhatChangedAndPersonZeroIsAPerson)
{
    Build([&](TDataSetBuilder &b) {
        b.Exec(U("delete from tb_person"));
        b.Person(0, U("Иванов"));
        b.Person(1, U("Петров"));
        Stamps["fine"] = b.Operation({.Account = 0, .Date = first + 1, .Ct = 10, .Level1 = 0, .Price = 0.333333333,
                                      .Qdt = 1.23456789, .Rate = 0.012345678, .Person = 0});
        Stamps["other"] = b.Operation({.Account = 0, .Date = first + 2, .Ct = 20, .Level1 = 0, .Person = 1});
    });
    const auto stored = [&](const char *Name) {
        TSqliteStatement st(main->Dm->Db.Db(), U("select price, qdt, rate, id_person, comment from tb_hist "
                                                 "where date_create = ?"));
        st.BindDouble(1, Stamps.at(Name));
        EXPECT_TRUE(st.Step());
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << (st.IsNull(c) ? U("~") : c < 3 ? QString::number(st.ColumnDouble(c), 'g', 17) : st.ColumnText(c));
        return cells.join(u'|');
    };
    ASSERT_EQ(stored("fine"), U("0.33333333300000001|1.2345678899999999|0.012345678000000001|0|~"));
    auto f = OpenOn(0);
    Select(*f, "fine");
    TModalScript script;
    script.Then([](TForm &form) {
        auto &ed = static_cast<TFormEd &>(form);
        EXPECT_EQ(ed.CbPers->currentText(), U("Иванов"));
        ed.EdComm->SetText(U("правка"));
        ed.ButOk->Click();
    });
    f->GroupEdit();
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_EQ(stored("fine"), U("0.33333333300000001|1.2345678899999999|0.012345678000000001|0|правка"));
    // A row without a person shows none (not person 0), and keeps none.
    Exec(U("update tb_hist set id_person = null where ct = 20"));
    f->RefreshResults();
    Select(*f, "other");
    TModalScript none;
    none.Then([](TForm &form) {
        auto &ed = static_cast<TFormEd &>(form);
        EXPECT_EQ(ed.CbPers->ItemIndex(), 0);
        ed.ButOk->Click();
    });
    f->GroupEdit();
    EXPECT_TRUE(none.Finished()) << none.Errors().join(u';').toStdString();
    EXPECT_EQ(stored("other"), U("~|~|1|~|~"));
    // "&All" with person 0 chosen gives it to every row.
    main->AdminMode = true;
    TModalScript all;
    all.Then([](TForm &form) {
           auto &ed = static_cast<TFormEd &>(form);
           ed.ChPers->SetChecked(true);
           ed.CbPers->SetItemIndex(ed.CbPers->Items().IndexOf(U("Иванов")));
           ed.ButAll->Click();
       })
        .Press(U("Yes"))
        .Press(U("OK"));
    f->GroupEdit();
    EXPECT_TRUE(all.Finished()) << all.Errors().join(u';').toStdString();
    EXPECT_EQ(Sqlite(U("select count(*) from tb_hist where id_person = 0")), U("2"));
}

// F2 and Ctrl+Del on a realised transfer say why they do nothing, as the
// menu's commands would; and the account box, naming the window's account
// with its balance, shows the balance as stored after a change.
TEST_F(RstRoadTest, TransferKeysAnswerAndTheAccountBoxFollowsTheBalance)
{
    BuildLedger();
    {
        TTransactionScope tr(main->Dm->Db);
        TDataSetBuilder b(main->Dm->Db);
        Stamps["transfer"] = b.Transfer(0, 1, first + 1, 5, 5);
        Exec(U("update tb_account set rest = rest - 5 where id_account = 0"));
        Exec(U("update tb_account set rest = rest + 5 where id_account = 1"));
        tr.Commit();
        main->Dm->Tb_Account.Close();
        main->Dm->Tb_Account.Open();
    }
    ASSERT_TRUE(main->Dm->Tb_Account.Locate(U("Id_Account"), Variant(0), {}));
    main->EntryDate = today;
    main->CbPer->SetItemIndex(3);
    main->ApplyLedgerPeriod();
    // As the main window opens it: the box ticked on its account.
    auto f = std::make_unique<TFormRst>(*main);
    f->Period.Kind = rpWhole;
    f->Period.FromDate = first - 400;
    f->Period.ToDate = first + 400;
    f->CbKind->SetItemIndex(2);
    f->TcGrp->SetTabIndex(1);
    f->TcGrpChange(nullptr);
    f->resize(900, 600);
    f->show();
    ASSERT_TRUE(f->ChAcc->Checked());
    ASSERT_EQ(f->ChAcc->Tag(), 0);
    ExpectStored(*f, "opened");
    Select(*f, "transfer");
    for (auto [key, modifiers] : {std::pair{Qt::Key_F2, Qt::NoModifier}, {Qt::Key_Delete, Qt::ControlModifier}}) {
        TModalScript script;
        script.Press(U("OK"));
        SendKey(f->DBGTab->View(), key, modifiers);
        EXPECT_TRUE(script.Finished()) << key;
        ASSERT_EQ(script.Seen().size(), 1u) << key;
        EXPECT_EQ(script.Seen()[0].Text, U("Переводы не обслуживатся!"));
    }
    EXPECT_EQ(Row("transfer"), U("|5|1||"));
    // A change through the keys: the box's balance follows it.
    Select(*f, "big");
    TModalScript script;
    script.Enter(U("Edit"), U("99999999998,99"), U("OK"));
    SendKey(f->DBGTab->View(), Qt::Key_F2);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_EQ(Row("big"), U("|99999999998.99|1||"));
    ExpectStored(*f, "after F2");
    EXPECT_EQ(f->ChAcc->Caption(), U("Кошелёк ...  ") + FormatFloat(U("#,##0.00"), -549755813854.0) + U(" руб"));
}

// A random walk over the windows' writing roads near the bounds: the list's
// F2, Ctrl+Del and group edit (OK and "&All") on either account, from either
// account's view, on rows whose stamps are no whole millisecond and on the
// rows the walk wrote; the accounts book's edit dialog left untouched or
// given a new rate; the import window's steps, the first two repeated before
// the write and the write repeated after it. After every step the stored
// data set keeps the ledger's invariants; a step that wrote nothing said why
// in Russian; and the main window shows the stored figures.
TEST_F(RstRoadTest, RandomWindowRoadsNearTheBoundsKeepEveryFigureExact)
{
    BuildLedger([this](int n) { return first - 30 + n / 1000.0 + (n % 2 ? 0.123 + 0.01 * n : 0) / 86400000.0; });
    Exec(U("update tb_account set rate = 0.0125")); // one currency, a rate of four decimals
    main->Dm->Tb_Account.Refresh();
    TSqliteDb &db = main->Dm->Db.Db();
    QTemporaryDir dir;
    std::mt19937 rng(67);
    const auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    // Large amounts come from the steps that aim at the bound; the others
    // keep the balances within reach of it.
    const double amounts[] = {1, 0.01, 38, 39, 250.75, 12345678.9, 987654321.98};
    const auto amount = [&] { return amounts[pick(int(std::size(amounts)))]; };
    const auto text = [](double v) { return FormatFloat(U("0.00"), v); };
    int current = 0;
    auto f = OpenOn(current);
    // The main window's figures for its account and period, from the rows.
    const auto expectStatusBar = [&](const std::string &What) {
        using namespace ledger;
        const TAccountFigures s = AccountFigures(db, current, main->PeriodBegin, main->PeriodEnd, today);
        const auto shown = [](Int u) { return Trim(FormatFloat(U("#,##0.00"), UnitsToMoney(int64_t(u)))); };
        EXPECT_EQ(main->Sb->PanelText(1), shown(s.Opening())) << What;
        EXPECT_EQ(main->Sb->PanelText(3), shown(s.Income)) << What;
        EXPECT_EQ(main->Sb->PanelText(5), shown(s.Expense)) << What;
        EXPECT_EQ(main->Sb->PanelText(7),
                  shown(s.Closing()) + (s.PlannedInPeriod ? U("  (") + shown(s.Closing() + s.PlannedInPeriod) + u')'
                                                          : QString()))
            << What;
    };
    const auto toRow = [&](TQuery &q) {
        if (q.RecordCount() == 0)
            return false;
        q.First();
        q.MoveBy(pick(q.RecordCount()));
        return true;
    };
    const auto cyrillic = [](const QString &t) {
        return std::any_of(t.begin(), t.end(), [](QChar c) { return c.unicode() >= 0x410 && c.unicode() <= 0x44f; });
    };
    const auto HistRows = [&] {
        TSqliteStatement st(db, U("select count(*) from tb_hist"));
        return st.Step() ? int(st.ColumnInt(0)) : -1;
    };
    int written = 0, refused = 0;
    for (int step = 0; step < 250; ++step) {
        const QString before = ledger::StoredState(db);
        const int rowsBefore = HistRows();
        std::string what;
        bool mustWrite = false; // the step writes unless it is refused
        bool mayStay = false;   // the step may leave everything as it was without a word
        int imported = -1;      // the lines an import adds
        TModalScript script;
        const int road = pick(8);
        if (road == 0) {
            current = 1 - current;
            what = "view of account " + std::to_string(current);
            f = OpenOn(current);
            mayStay = true;
        } else if (road == 1 || road == 2) {
            TQuery &q = f->Qhs();
            if (q.RecordCount() == 0)
                continue;
            // The amounts that put a realised row's balance on the bound or a
            // cent short of it, where the money range allows, by row.
            const auto amountOf = [&] {
                TField *ct = q.FieldByName(U("Ct"));
                return std::pair{!ct->IsNull(), (ct->IsNull() ? q.FieldByName(U("Dt")) : ct)->AsFloat()};
            };
            std::vector<std::pair<int, ledger::Int>> edges;
            std::pair<int, ledger::Int> steer{-1, 0};
            double steerAmount = 0;
            int at = 0;
            for (q.First(); !q.Eof(); q.Next(), ++at) {
                if (q.FieldByName(U("kind"))->AsString() != u"1")
                    continue;
                const auto [expense, stored] = amountOf();
                const ledger::Int rest = ledger::AccountFigures(db, q.FieldByName(U("id_account"))->AsInteger()).Rest;
                const ledger::Int x = MoneyToUnits(stored);
                for (const ledger::Int bound : {-ledger::LimitUnits, ledger::LimitUnits})
                    for (const ledger::Int cent : {0, 100}) {
                        const ledger::Int target = bound > 0 ? bound - cent : bound + cent;
                        const ledger::Int y = expense ? x + rest - target : x - rest + target;
                        if (y > 0 && y < ledger::Int(MoneyToUnits(MoneyLimit)))
                            edges.emplace_back(at, y);
                    }
                // The row that goes farthest towards its balance's nearer bound.
                const bool larger = (rest < 0) == expense;
                const ledger::Int gain = larger ? MoneyToUnits(Big) - x : x - 100;
                if (gain > steer.second) {
                    steer = {at, gain};
                    steerAmount = larger ? Big : 0.01;
                }
            }
            double typedAmount = amount();
            if (!edges.empty() && pick(3)) {
                const auto [row, y] = edges[pick(int(edges.size()))];
                q.First();
                q.MoveBy(row);
                typedAmount = UnitsToMoney(int64_t(y));
            } else if (steer.first >= 0 && pick(2)) {
                // Out of the bound's reach: towards it.
                q.First();
                q.MoveBy(steer.first);
                typedAmount = steerAmount;
            } else {
                toRow(q);
            }
            const double stored = amountOf().second;
            const QString typed = text(typedAmount);
            mayStay = text(stored) == typed;
            what = "F2 to " + typed.toStdString();
            script.Enter(U("Edit"), typed, U("OK")).Press(U("OK")).Press(U("OK"));
            f->mpHsEdSumClick(nullptr);
            mustWrite = true;
        } else if (road == 3) {
            if (f->Qhs().RecordCount() < 6 || !toRow(f->Qhs()))
                continue;
            what = "Ctrl+Del";
            script.Press(U("Yes")).Press(U("OK")).Press(U("OK"));
            f->mHsDelClick(nullptr);
            mustWrite = true;
        } else if (road == 4 || road == 5) {
            if (!toRow(f->Qhs()))
                continue;
            const bool all = road == 5 && pick(3) == 0;
            const TDateTime day = first - 45 + pick(90);
            const bool moveDate = pick(2) == 0;
            what = std::string(all ? "group edit &All" : "group edit OK") + (moveDate ? " date" : " note");
            main->AdminMode = all;
            script.Then([&](TForm &form) {
                auto &ed = static_cast<TFormEd &>(form);
                if (moveDate) {
                    ed.ChDate->SetChecked(true);
                    ed.SetDate(day);
                } else {
                    ed.ChComm->SetChecked(true);
                    ed.EdComm->SetText(U("шаг %1").arg(step));
                }
                (all ? ed.ButAll : ed.ButOk)->Click();
            });
            if (all)
                script.Press(U("Yes"));
            script.Press(U("OK")).Press(U("OK"));
            f->GroupEdit();
            main->AdminMode = false;
            mayStay = true; // the same date or note again
        } else if (road == 6) {
            const bool rate = pick(2) == 0;
            what = rate ? "account edit, new rate" : "account edit untouched";
            script.Then([](TForm &w) {
                auto &book = dynamic_cast<TFormAcc &>(w);
                book.ButEdit_Acc->Click();
                book.ButCancel->Click();
            });
            script.Then([&](TForm &w) {
                auto &d = dynamic_cast<TFormAdd &>(w);
                if (rate)
                    d.DBRate->SetText(U("0,0%1").arg(1 + pick(9)));
                d.ButOk->Click();
            });
            main->ButAccClick(main->ButAcc);
            mayStay = true; // a rate typed as stored
            if (!rate) {
                EXPECT_EQ(ledger::StoredState(db), before) << step << " " << what;
            }
        } else {
            // Import onto the current account: lines of expenses and incomes
            // around the month, loaded and previewed twice, written once,
            // and the write asked again (and declined).
            const int lines = 1 + pick(3);
            QString file;
            for (int i = 0; i < lines; ++i) {
                const bool income = pick(3) == 0;
                // An expense that takes the balance to the bound or a cent
                // short of it, where one line can.
                const ledger::Int headroom = ledger::AccountFigures(db, current).Rest + ledger::LimitUnits - pick(2) * 100;
                const double edge = !pick(3)                                             ? amount()
                                    : headroom >= ledger::Int(MoneyToUnits(MoneyLimit)) ? Big
                                    : headroom > 0                                       ? UnitsToMoney(int64_t(headroom))
                                                                                         : amount();
                file += FormatDateTime(U("dd.mm.yyyy"), first - 20 + pick(40)) + u';' +
                        (income ? U("Зарплата") : pick(2) ? U("Еда") : U("Хобби:Журналы")) + u';' +
                        (income ? QString() : text(i == 0 ? edge : amount())) + u';' + (income ? text(amount()) : QString()) + u'\n';
            }
            const QString name = dir.filePath(U("import%1.csv").arg(step));
            QFile out(name);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(UnicodeToWin1251(file));
            out.close();
            what = "import " + file.toStdString();
            main->ImpList = U("0;1;5;4");
            bool repeat = false;
            script.Then([&](TForm &w) {
                auto &imp = dynamic_cast<TFormImp &>(w);
                imp.ExecuteOpenDialog = [&](QString &n) {
                    n = name;
                    return true;
                };
                imp.EdCSV->SetText(U(";"));
                for (int i = 0; i < 2; ++i) {
                    imp.ButLoadClick(nullptr);
                    imp.ButTestClick(nullptr);
                }
                imp.ButImpClick(nullptr);
                repeat = true;
                imp.ButTestClick(nullptr);
                imp.ButImpClick(nullptr);
                imp.Close();
            });
            // Every question and notice of the steps: Yes to the write, No
            // to writing the same lines again.
            for (int i = 0; i < 6; ++i)
                script.Then([&](TForm &w) {
                    if (!PressButton(w, repeat ? U("No") : U("Yes")))
                        PressButton(w, U("OK"));
                });
            main->mImportClick(main.get());
            mustWrite = true;
            imported = lines;
        }
        SCOPED_TRACE(std::to_string(step) + " " + what);
        ledger::CheckStoredLedger(db);
        if (HasFatalFailure())
            return;
        EXPECT_TRUE(script.Errors().isEmpty()) << script.Errors().join(u';').toStdString();
        QStringList said;
        for (const auto &seen : script.Seen())
            if (!seen.Text.isEmpty())
                said << seen.Text;
        const bool changed = ledger::StoredState(db) != before;
        if (changed) {
            ++written;
            if (imported >= 0) {
                EXPECT_EQ(HistRows(), rowsBefore + imported);
            }
        } else if (mustWrite && !mayStay) {
            ++refused;
            ASSERT_FALSE(said.isEmpty());
            EXPECT_TRUE(cyrillic(said.back())) << said.back().toStdString();
        }
        expectStatusBar(what);
        ExpectStored(*f, what);
        if (HasFailure())
            return;
    }
    // The walk took both ways often enough to mean something.
    EXPECT_GT(written, 150);
    EXPECT_GE(refused, 8);
}

TEST_F(RstListTest, ListHoldsTheRowsWithNamesAndOrdersByTitles)
{
    Populate(120);
    auto f = OpenList();
    TQuery &q = f->Qhs();
    ASSERT_TRUE(q.Active());
    int expected = 0;
    for (const TRstRow &r : Rows)
        expected += In2024(r);
    EXPECT_EQ(q.RecordCount(), expected);
    ASSERT_TRUE(Find(*f, Rows[1]));
    EXPECT_EQ(q.FieldByName(U("Itm1"))->AsString(), U("Еда"));
    EXPECT_EQ(q.FieldByName(U("Itms"))->AsString(), U("Еда:Хлеб:Батон"));
    EXPECT_EQ(q.FieldByName(U("Pers"))->AsString(), U("Иванов"));
    EXPECT_EQ(q.FieldByName(U("Acnt"))->AsString(), U("Банк"));
    // Title clicks: ascending, descending, ascending; categories by their ids.
    TColumn *ct = nullptr;
    TColumn *itm = nullptr;
    for (int i = 0; i < f->DBGTab->Columns().Count(); ++i) {
        if (f->DBGTab->Columns()[i]->FieldName() == U("ct"))
            ct = f->DBGTab->Columns()[i];
        if (f->DBGTab->Columns()[i]->FieldName() == U("Itm2"))
            itm = f->DBGTab->Columns()[i];
    }
    ASSERT_TRUE(ct && itm);
    f->DBGTabTitleClick(nullptr, ct);
    EXPECT_EQ(q.SQL().last(), U("order by ct"));
    f->DBGTabTitleClick(nullptr, ct);
    EXPECT_EQ(q.SQL().last(), U("order by ct desc"));
    q.Last();
    EXPECT_TRUE(q.FieldByName(U("ct"))->IsNull());
    f->DBGTabTitleClick(nullptr, ct);
    EXPECT_EQ(q.SQL().last(), U("order by ct"));
    f->DBGTabTitleClick(nullptr, itm);
    EXPECT_EQ(q.SQL().last(), U("order by level1,level2,level3"));
    // The order survives a rebuild.
    f->RefreshResults();
    EXPECT_EQ(q.SQL().last(), U("order by level1,level2,level3"));
    // A click that ends a column drag does nothing.
    f->ColumnMoved = true;
    f->DBGTabTitleClick(nullptr, ct);
    EXPECT_EQ(q.SQL().last(), U("order by level1,level2,level3"));
}

TEST_F(RstListTest, ThePopupOpensByItselfOnlyOverAListWithRows)
{
    Populate(60);
    auto f = OpenList();
    f->resize(900, 600);
    f->show();
    int popups = 0;
    const auto popupOf = f->PmHs->OnPopup;
    f->PmHs->OnPopup = [&](TObject *s) {
        ++popups;
        popupOf(s);
    };
    const auto rightClick = [&f] {
        QWidget *area = f->DBGTab;
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20), area->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(area, &event);
        f->PmHs->Menu()->hide();
    };
    ASSERT_FALSE(f->Qhs().IsEmpty());
    EXPECT_TRUE(f->PmHs->AutoPopup());
    rightClick();
    EXPECT_EQ(popups, 1);
    // A period without operations: an empty list opens no menu.
    f->Period.FromDate = f->Period.ToDate = EncodeDate(1990, 1, 1);
    f->RefreshResults();
    ASSERT_TRUE(f->Qhs().Active());
    ASSERT_TRUE(f->Qhs().IsEmpty());
    EXPECT_FALSE(f->ButSumHs->Enabled());
    EXPECT_FALSE(f->PmHs->AutoPopup());
    rightClick();
    EXPECT_EQ(popups, 1);
}

TEST_F(RstListTest, DeletesAndAmountChangesKeepStoredBalances)
{
    Populate(120);
    auto f = OpenList();
    // A realised expense of another account than the current one.
    const TRstRow *expense = nullptr;
    const TRstRow *income = nullptr;
    for (const TRstRow &r : Rows)
        if (In2024(r) && r.Kind == u"1" && r.Account == 1) {
            if (r.Ct && !expense)
                expense = &r;
            if (r.Dt && !income)
                income = &r;
        }
    ASSERT_TRUE(expense && income);
    // The current account ("Банк" comes first by name) is another one.
    ASSERT_EQ(main->Dm->Tb_Account.FieldByName(U("Id_Account"))->AsInteger(), 2);
    const double rest = Rest(1);
    ASSERT_TRUE(Find(*f, *expense));
    TModalScript yes;
    yes.Press(QStringLiteral("Yes"));
    f->mHsDelClick(nullptr);
    EXPECT_TRUE(yes.Finished()) << yes.Errors().join(u';').toStdString();
    ASSERT_EQ(yes.Seen().size(), 1u);
    EXPECT_EQ(yes.Seen()[0].Text, U("Удалить строку на сумму  ") + FormatFloat(U("#,##0.00"), *expense->Ct) + u'?');
    EXPECT_NEAR(Rest(1), rest + *expense->Ct, 1e-9);
    EXPECT_EQ(Sqlite(U("select count(*) from tb_hist not indexed")), QString::number(Rows.size() - 1));

    // An income changed from its amount to 1 less: the balance falls by 1.
    ASSERT_TRUE(Find(*f, *income));
    TModalScript input;
    input.Then([&](TForm &form) {
        auto *edit = form.findChild<TEdit *>();
        ASSERT_NE(edit, nullptr);
        edit->SetText(FormatFloat(U("0.00"), *income->Dt - 1));
        form.SetModalResult(mrOk);
    });
    f->mpHsEdSumClick(nullptr);
    EXPECT_TRUE(input.Finished()) << input.Errors().join(u';').toStdString();
    EXPECT_NEAR(Rest(1), rest + *expense->Ct - 1, 1e-9);
    const QString changed = Sqlite(U("select dt from tb_hist not indexed where id_account=1 and dt is not null and "
                                     "kind || ''='1' and date_real>=%1 order by date_create limit 1")
                                       .arg(int(EncodeDate(2024, 1, 1))));
    EXPECT_NEAR(changed.toDouble(), *income->Dt - 1, 1e-9);

    // Every planned row of the list goes; realised ones stay.
    f->CbKind->SetItemIndex(1);
    TModalScript plan;
    plan.Press(QStringLiteral("Yes"));
    f->mDelPlanClick(nullptr);
    EXPECT_TRUE(plan.Finished());
    EXPECT_EQ(Sqlite(U("select count(*) from tb_hist not indexed where kind || ''='2' and date_real between %1 and %2")
                         .arg(int(EncodeDate(2024, 1, 1)))
                         .arg(int(EncodeDate(2024, 12, 31)))),
              QStringLiteral("0"));
    EXPECT_NE(Sqlite(U("select count(*) from tb_hist not indexed where kind || ''='2'")), QStringLiteral("0")); // 2025 ones
    EXPECT_NEAR(Rest(1), rest + *expense->Ct - 1, 1e-9);
    EXPECT_TRUE(main->PackOnClose);
}

TEST_F(RstListTest, BookmarksToggleAndMoveDown)
{
    Populate(60);
    auto f = OpenList();
    TQuery &q = f->Qhs();
    q.First();
    const bool marked = !q.FieldByName(U("b"))->IsNull();
    f->SetBookmark();
    EXPECT_EQ(q.RecNo(), 2);
    q.First();
    EXPECT_EQ(!q.FieldByName(U("b"))->IsNull(), !marked);
    q.Last();
    const int last = q.RecNo();
    f->SetBookmark();
    EXPECT_EQ(q.RecNo(), last);
}

TEST_F(RstListTest, GroupEditOfManyRowsRewritesTicksOnlyAndKeepsYearAndMonth)
{
    Populate(500);
    // Balances as the rows give them: the main window's figures, read again
    // after the edit, repair a stored balance that disagrees with its rows.
    Exec(U("update tb_account set rest = coalesce(beg, 0) + coalesce((select sum(coalesce(dt, 0) - coalesce(ct, 0)) "
           "from tb_hist h where h.id_account = tb_account.id_account and h.kind = '1'), 0)"));
    main->Dm->Tb_Account.Refresh();
    main->AdminMode = true;
    auto f = OpenList();
    f->Period.Kind = rpWhole;
    f->Period.FromDate = EncodeDate(2020, 1, 1);
    f->Period.ToDate = EncodeDate(2030, 1, 1);
    f->RefreshResults();
    TQuery &q = f->Qhs();
    const int rows = q.RecordCount();
    ASSERT_EQ(rows, 500);
    const QString restBefore = Sqlite(U("select group_concat(rest) from tb_account not indexed"));
    const QString pricesBefore = Sqlite(U("select group_concat(coalesce(price,'-')) from tb_hist not indexed order by rowid"));
    q.First();
    TModalScript script;
    script
        .Then([](TForm &form) {
            auto &ed = static_cast<TFormEd &>(form);
            ed.ChDate->SetChecked(true);
            ed.SetDate(EncodeDate(2024, 2, 29));
            ed.ChComm->SetChecked(true);
            ed.EdComm->SetText(U("Правка"));
            ed.ButAll->Click();
        })
        .Press(QStringLiteral("Yes"))
        .Press(QStringLiteral("OK"));
    f->GroupEdit();
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    // Transfers would be skipped; every row here is an own operation.
    EXPECT_EQ(Sqlite(U("select count(*) from tb_hist not indexed where date_real=%1 and yr=2024 and mn=2 and "
                       "comment || '' = 'Правка'")
                         .arg(int(EncodeDate(2024, 2, 29)))),
              QStringLiteral("500"));
    EXPECT_EQ(Sqlite(U("select group_concat(coalesce(price,'-')) from tb_hist not indexed order by rowid")), pricesBefore);
    EXPECT_EQ(Sqlite(U("select group_concat(rest) from tb_account not indexed")), restBefore);
}

TEST_F(RstListTest, EditDialogRefusesUnreadableNumbers)
{
    Populate(12);
    TFormEd ed(*main->Dm, true);
    ed.ChPrice->SetChecked(true);
    ed.EdPrice->SetText(QStringLiteral("1-2"));
    TGroupEditValues v;
    TModalScript notice;
    notice.Press(QStringLiteral("OK"));
    EXPECT_FALSE(ed.Values(v));
    EXPECT_TRUE(notice.Finished());
    ed.EdPrice->SetText(U("12,125"));
    EXPECT_TRUE(ed.Values(v));
    EXPECT_EQ(v.PriceUnits, 121250);
    EXPECT_FALSE(v.Quant);
    // Numbers are taken to 1/10000, to the nearest unit with ties to even.
    ed.ChRate->SetChecked(true);
    ed.EdRate->SetText(U("1,23456"));
    ed.EdPrice->SetText(U("12,03125")); // 120312.5 units, exact in binary
    EXPECT_TRUE(ed.Values(v));
    EXPECT_EQ(v.RateUnits, 12346);
    EXPECT_EQ(v.PriceUnits, 120312);
    // A number beyond what the money arithmetic holds is refused in Russian.
    for (const char *text : {"1e20", "100000000000", "-1e15"}) {
        ed.EdPrice->SetText(U(text));
        TModalScript range;
        range.Press(QStringLiteral("OK"));
        EXPECT_FALSE(ed.Values(v)) << text;
        ASSERT_EQ(range.Seen().size(), 1u) << text;
        EXPECT_EQ(range.Seen()[0].Text, MoneyRangeMessage());
    }
}

TEST_F(RstListTest, StatisticsOfTheList)
{
    Populate(120);
    auto f = OpenList();
    f->Period.FromDate = EncodeDate(2024, 3, 1);
    f->Period.ToDate = EncodeDate(2024, 3, 31);
    f->SetAccountBox(1, U("Кошелёк"), 0, U("руб"));
    f->ChAcc->SetChecked(true); // account 1, realised only
    f->CbKind->SetItemIndex(0);
    f->RefreshResults();
    const QStringList l = f->StatisticsLines();
    int count = 0;
    int64_t dt = 0, ct = 0, opening = MoneyToUnits(1000);
    for (const TRstRow &r : Rows) {
        if (r.Account != 1 || r.Kind != u"1")
            continue;
        if (r.Date < EncodeDate(2024, 3, 1))
            opening += Units(r.Dt) - Units(r.Ct);
        else if (r.Date <= EncodeDate(2024, 3, 31))
            ++count, dt += Units(r.Dt), ct += Units(r.Ct);
    }
    EXPECT_EQ(l[0], U("Всего строк = ") + QString::number(count));
    EXPECT_EQ(l[2], U("Суммы за весь период - 31 день:"));
    EXPECT_EQ(l[5], U("На начало  =") + FormatFloat(U("#,##0.00"), UnitsToMoney(opening)).rightJustified(20));
    EXPECT_EQ(l[8], U("На конец   =") + FormatFloat(U("#,##0.00"), UnitsToMoney(opening + dt - ct)).rightJustified(20));
    EXPECT_TRUE(l.contains(U("Средние за день:")));

    // The window shows every line; the text is taller than the window, so
    // the memo carries a scroll bar to reach the minimum and maximum blocks.
    TModalScript script;
    script.Then([&](TForm &w) {
        auto &sum = dynamic_cast<TFormSum &>(w);
        EXPECT_EQ(sum.M->Lines().first(), l.first());
        EXPECT_TRUE(sum.M->Lines().contains(U("Максимум за период:")));
        QCoreApplication::processEvents();
        EXPECT_GT(sum.M->verticalScrollBar()->maximum(), 0);
        EXPECT_TRUE(sum.M->verticalScrollBar()->isVisible());
        w.SetModalResult(mrOk);
    });
    f->ButSumHsClick(nullptr);
    EXPECT_TRUE(script.Finished());
}

// ---- launching ----------------------------------------------------------------------

TEST_F(RstTest, MainWindowOpensTheWindowAndTakesItsSettingsBack)
{
    Populate(30);
    main->Res_Ord = 2;
    bool seen = false;
    TModalScript script;
    script.Then([&](TForm &form) {
        auto *f = qobject_cast<TFormRst *>(&form);
        ASSERT_NE(f, nullptr);
        seen = true;
        EXPECT_EQ(FormRst(), static_cast<TRstWindow *>(f));
        EXPECT_TRUE(f->mpSortCt->Checked());
        EXPECT_TRUE(f->TabRes.Active());
        f->mpChRs->Click();
        f->Close();
    });
    main->mResult->Click();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_EQ(FormRst(), nullptr);
    EXPECT_EQ(main->Res_Diag, 2);
    EXPECT_EQ(main->Res_Ord, 2);
}

TEST_F(RstTest, StatementOfACategoryOpensOnItsOperations)
{
    Populate(60);
    main->BuildCategoryTree(main->TvCt, false, true, false, true);
    TTreeNode *node = main->FindCategoryNode(main->TvCt, 110);
    ASSERT_NE(node, nullptr);
    main->TvCt->SetSelected(node);
    main->CbPer->SetItemIndex(0); // the whole period: from the first operation to the last
    bool seen = false;
    TModalScript script;
    script.Then([&](TForm &form) {
        auto &f = static_cast<TFormRst &>(form);
        seen = true;
        EXPECT_TRUE(f.ChItm1->Checked());
        EXPECT_EQ(f.ChItm1->Caption(), U("Еда"));
        EXPECT_TRUE(f.ChItm2->Checked());
        EXPECT_EQ(f.ChItm2->Tag(), 110);
        EXPECT_EQ(f.TcGrp->TabIndex(), 1);
        EXPECT_TRUE(f.Qhs().Active());
        EXPECT_EQ(f.Period.FromDate, EncodeDate(2024, 1, 1));
        EXPECT_GT(f.Qhs().RecordCount(), 0);
        for (f.Qhs().First(); !f.Qhs().Eof(); f.Qhs().Next())
            EXPECT_EQ(f.Qhs().FieldByName(U("level2"))->AsInteger(), 110);
        f.Close();
    });
    main->mpCategoryView->Click();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
}

// ---- the conditions dialog ------------------------------------------------------------

TEST(RstFiltTest, NumberEditsTakeOneSignFirstAndOneSeparator)
{
    bool clear = false;
    EXPECT_TRUE(NumberEditAccepts(u'-', QString(), 0, 0, clear));
    EXPECT_FALSE(NumberEditAccepts(u'-', QStringLiteral("5"), 1, 0, clear));
    EXPECT_FALSE(NumberEditAccepts(u'-', QStringLiteral("-5"), 0, 0, clear));
    EXPECT_TRUE(NumberEditAccepts(u'-', QStringLiteral("-5"), 0, 2, clear));
    EXPECT_TRUE(clear);
    EXPECT_TRUE(NumberEditAccepts(u',', QStringLiteral("5"), 1, 0, clear));
    EXPECT_FALSE(clear);
    EXPECT_FALSE(NumberEditAccepts(u',', QStringLiteral("5,1"), 3, 0, clear));
    EXPECT_TRUE(NumberEditAccepts(u',', QStringLiteral("5,1"), 0, 1, clear));
    EXPECT_TRUE(clear);
    EXPECT_FALSE(NumberEditAccepts(u'a', QString(), 0, 0, clear));
    EXPECT_TRUE(NumberEditAccepts(QChar(8), QStringLiteral("5"), 1, 0, clear));
}

TEST(RstFiltTest, OkNeedsNumbersAndLimitsMakeTheFilterText)
{
    TFormFilt f;
    f.Ed_Price->SetText(QStringLiteral("-"));
    TModalScript notice;
    notice.Press(QStringLiteral("OK"));
    f.ButOkClick(nullptr);
    EXPECT_NE(f.ModalResult(), mrOk);
    EXPECT_EQ(notice.Seen().at(0).Text, U("Должно быть число или пусто!"));
    f.Ed_Price->SetText(QString());
    f.ButOkClick(nullptr);
    EXPECT_EQ(f.ModalResult(), mrOk);

    f.EdCt->SetText(QStringLiteral("50"));
    f.ButEqCt->Click();
    QString marks;
    EXPECT_EQ(f.LimitFilter({U("sdr"), U("scr"), U("amr")}, marks), QStringLiteral("scr<'50'"));
    EXPECT_EQ(marks, QStringLiteral("- + -"));
    f.EdDt->SetText(QStringLiteral("1"));
    f.EdRs->SetText(QStringLiteral("0"));
    f.ButEqRs->Click();
    f.ButEqRs->Click();
    EXPECT_EQ(f.LimitFilter({U("sdt"), U("sct"), U("amt")}, marks),
              QStringLiteral("sdt>'1' and sct<'50' and amt='0'"));
    EXPECT_EQ(marks, QStringLiteral("+ + +"));
    f.CbTab->SetItemIndex(2);
    f.CbTabChange(nullptr);
    EXPECT_EQ(f.RbDt->Caption(), U("+ Кол."));
}

} // namespace
} // namespace zorbel::test
