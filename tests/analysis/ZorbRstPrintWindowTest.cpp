// The results window's print commands over a generated ledger: the previews
// they open hold the window's rows, sums, balances, captions and conditions
// in each unit; the preview saves them through the writers the layouts carry
// (read back by xlrd and html.parser); a printout of the window goes to a PDF
// file through the printer (read back by pdftotext).
#include "PrintCheck.h"
#include "RstFixture.h"

#include "analysis/ZorbFilt.h"
#include "analysis/ZorbPrnKit.h"
#include "analysis/ZorbRstPrint.h"
#include "platform/canvas/Printers.h"
#include "platform/rtl/Format.h"

#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

namespace zorbel::test {
namespace {

const QString Gap = U("             ");

QString Money(double v) { return FormatFloat(U("#,###,###,##0.00"), v); }
QString Sum(int64_t units) { return FormatFloat(U("#,###,###,##0.00#"), UnitsToMoney(units)); }

class RstPrintWindow : public RstFixture {
protected:
    TReportWindowsScope reportWindows;
    // The window's rows in the unit as the detail band prints them, with their
    // names.
    static QStringList PrintedRows(TFormRst &f)
    {
        QStringList rows;
        const int base = 2 + 3 * f.Unit();
        TDataSet &t = f.TabRes;
        for (t.First(); !t.Eof(); t.Next()) {
            if (const QString nm = t.FieldByName(U("nm"))->AsString(); !nm.isEmpty()) // a row without a name prints none
                rows << nm;
            for (int i = 0; i < 3; ++i)
                rows << Money(t.Fields()[base + i]->AsFloat());
        }
        return rows;
    }
    static void ExpectAll(const QStringList &texts, const QStringList &wanted)
    {
        for (const QString &w : wanted)
            EXPECT_TRUE(texts.contains(w)) << w.toStdString() << " in " << texts.join(u'|').toStdString();
    }
    // Account 1 alone in the account box.
    static void ChooseWallet(TFormRst &f)
    {
        f.Updating = true;
        f.SetAccountBox(1, U("Кошелёк"), 0, U("руб"));
        f.ChAcc->SetChecked(true);
        f.Updating = false;
    }
    QTemporaryDir dir;
};

TEST_F(RstPrintWindow, TotalsPreviewHoldsTheWindowsRowsSumsConditionsAndSavesAsSpreadsheet)
{
    Populate(120);
    auto f = OpenWindow();
    // A price condition narrows the rows; an output limit typed but not
    // applied still shows in the title as the dialog holds it.
    f->FormFilt->CbPrice->SetItemIndex(1);
    f->FormFilt->Ed_Price->SetText(U("2"));
    f->FormFilt->EdDt->SetText(U("100"));
    f->RefreshResults();
    ASSERT_TRUE(f->mpPrint->Enabled());
    ASSERT_GT(f->TabRes.RecordCount(), 1);

    const TRstOpening o = f->ComputeOpeningBalances();
    const auto sums = f->VisibleSums();
    const QString xls = dir.filePath(U("totals.xls"));
    PreviewWatch w(U("rst-totals"));
    w.Act = SaveThrough(U("xls"), xls);
    w.Arm();
    f->mpPrint->Click();
    ASSERT_EQ(w.Pages, 1);
    QStringList wanted = PrintedRows(*f);
    wanted << U("Все Обороты за 01.01.2024 - 31.12.2024") << U("Начало  = ") + PrnAmount(o.Amount)
           << U("Остаток = ") + PrnAmount(o.Amount + sums[0] - sums[1]) << Sum(sums[0]) << Sum(sums[1])
           << Sum(sums[0] - sums[1]) << U(">2") << U(">100");
    ExpectAll(w.Texts, wanted);
    EXPECT_FALSE(w.Texts.contains(U("Еда:Хлеб"))); // no category box ticked

    const QString cells = XlsCells(xls);
    for (const QString &t : {U("Все Обороты за 01.01.2024 - 31.12.2024"), U("Наименование"), U("Зарплата"), U("Еда")})
        EXPECT_TRUE(cells.contains(t)) << t.toStdString() << " in " << cells.toStdString();

    // Quantities under two ticked category levels: their columns, their sums,
    // the opening quantity and the categories joined in the title.
    f->FormFilt->Ed_Price->SetText(QString());
    f->mpCurClick(f->mpQuant);
    f->RefreshResults();
    ASSERT_TRUE(f->TabRes.Locate(U("id"), Variant(100), {}));
    f->DBGResDblClick(nullptr);
    ASSERT_TRUE(f->TabRes.Locate(U("id"), Variant(111), {}));
    f->DBGResDblClick(nullptr);
    ASSERT_TRUE(f->ChItm2->Checked());
    const TRstOpening q = f->ComputeOpeningBalances();
    const auto qsums = f->VisibleSums();
    PreviewWatch wq(U("rst-totals-quantity"));
    wq.Arm();
    SendKey(f->DBGRes, Qt::Key_P, Qt::ControlModifier); // Ctrl+P in the grid
    ASSERT_EQ(wq.Pages, 1);
    wanted = PrintedRows(*f);
    ASSERT_GT(qsums[0], 0); // milk is bought by quantity
    wanted << U("Еда:Молоко") << U("Начало  = ") + PrnAmount(q.Quantity)
           << U("Остаток = ") + PrnAmount(q.Quantity + qsums[0] - qsums[1]) << Sum(qsums[0]) << Sum(qsums[1]);
    ExpectAll(wq.Texts, wanted);

    // Nothing to print: no preview.
    f->Period.FromDate = f->Period.ToDate = EncodeDate(2030, 1, 1);
    f->RefreshResults();
    EXPECT_FALSE(f->mpPrint->Enabled());
    f->mpPrintClick(nullptr);
    EXPECT_EQ(OpenPreview(), nullptr);
}

TEST_F(RstPrintWindow, ListPreviewHoldsTheOperationsAndBalancesAndSavesAsHtml)
{
    Populate(120);
    auto f = OpenWindow();
    ChooseWallet(*f);
    f->TcGrp->SetTabIndex(1);
    f->TcGrpChange(nullptr);
    ASSERT_TRUE(f->ButPrh->Enabled());

    int64_t in = 0, out = 0;
    int count = 0;
    for (const TRstRow &r : Rows)
        if (r.Account == 1 && r.Date >= EncodeDate(2024, 1, 1) && r.Date <= EncodeDate(2024, 12, 31)) {
            in += r.Dt ? MoneyToUnits(*r.Dt) : 0;
            out += r.Ct ? MoneyToUnits(*r.Ct) : 0;
            ++count;
        }
    ASSERT_EQ(f->Qhs().RecordCount(), count);
    const TRstOpening o = f->ComputeOpeningBalances();
    const QString res = U("Начало = ") + PrnAmount(o.Amount) + Gap + U("Приход = ") + PrnAmount(in) + Gap +
                        U("Расход = ") + PrnAmount(out) + Gap + U("Остаток = ") + PrnAmount(o.Amount + in - out);
    const QString html = dir.filePath(U("list.htm"));
    PreviewWatch w(U("rst-operations"));
    w.Act = SaveThrough(U("htm"), html);
    w.WaitLoaded = true;
    w.Arm();
    f->ButPrh->Click();
    ASSERT_GE(w.Pages, 1);
    QStringList titles; // the list's own column titles
    for (const char *field : {"DATE_REAL", "comment", "Pers", "Firm", "Dt", "Ct", "price", "qdt", "qct"})
        titles << f->Qhs().FieldByName(U(field))->DisplayLabel();
    ExpectAll(w.Texts, titles);
    ExpectAll(w.Texts, {U("Счет       ") + f->ChAcc->Caption(), U("Движения за период       01.01.2024 - 31.12.2024"),
                        res});
    EXPECT_EQ(w.AllTexts.count(res), 2); // the title and the summary
    // The wallet's expense of the fourth generated row and its note.
    ExpectAll(w.AllTexts, {U("Зарплата"), U("Еда:Хлеб"), U("Хлеб 50% жирн_ 'к'"), Money(121.25)});
    EXPECT_FALSE(w.AllTexts.contains(U("Банк"))); // only the wallet's rows
    const QString text = HtmlText(dir.path());
    for (const QString &t : {U("Движения за период"), U("Зарплата"), U("Еда:Хлеб")})
        EXPECT_TRUE(text.contains(t)) << t.toStdString() << " in " << text.toStdString();

    // In the common unit the quantity columns print it, from the popup.
    f->mpCurClick(f->mpYE);
    PreviewWatch wy(U("rst-operations-common"));
    wy.Arm();
    f->mpHsPrint->Click();
    ExpectAll(wy.Texts, {U("y.e.+"), U("y.e.-")});
    const QString common = U("У.е. Нач.  = ") + PrnAmount(o.Common) + Gap + U("У.е. Прх.  = ");
    EXPECT_TRUE(std::any_of(wy.AllTexts.begin(), wy.AllTexts.end(), [&](const QString &t) { return t.startsWith(common); }))
        << common.toStdString();

    // An empty list still prints its title with the balances.
    f->Period.FromDate = EncodeDate(2030, 1, 1);
    f->Period.ToDate = EncodeDate(2030, 12, 31);
    f->RefreshResults();
    ASSERT_TRUE(f->Qhs().Active() && f->Qhs().IsEmpty());
    const TRstOpening later = f->ComputeOpeningBalances();
    PreviewWatch we(QString{});
    we.Arm();
    f->mpHsPrint->Click();
    ASSERT_EQ(we.Pages, 1);
    ExpectAll(we.Texts, {U("Начало = ") + PrnAmount(later.Amount) + Gap + U("Приход = 0,00") + Gap +
                             U("Расход = 0,00") + Gap + U("Остаток = ") + PrnAmount(later.Amount),
                         U("Движения за период       01.01.2030 - 31.12.2030")});
}

// The totals run on a thread of their own while the window stays on screen
// under the preview and its grid goes on painting its rows (a paint makes
// each shown row TabRes's active record for a moment): the run walks a
// snapshot of the rows, so it prints every row and the window keeps its
// place. (The thread sanitizer build checks that the two never touch one
// dataset.)
TEST_F(RstPrintWindow, TheTotalsRunWalksASnapshotWhileTheWindowPaintsItsRows)
{
    Populate(30);
    {
        TDm &dm = *main->Dm;
        TTransactionScope tr(dm.Db);
        TDataSetBuilder build(dm.Db);
        for (int i = 0; i < 300; ++i) {
            build.Category({.Id = 1000 + i, .Name = U("Статья %1").arg(i, 3, 10, QLatin1Char('0'))});
            build.Operation({.Account = 1, .Date = EncodeDate(2024, 3, 1) + i % 200, .Ct = 10.25 + i,
                             .Level1 = 1000 + i});
        }
        tr.Commit();
        for (TTable *t : {&dm.Tb_Items, &dm.Tb_Hist}) {
            t->Close();
            t->Open();
        }
    }
    auto f = OpenWindow();
    f->RefreshResults();
    ASSERT_GT(f->TabRes.RecordCount(), 300);
    f->resize(900, 700);
    f->show();
    f->TabRes.First();
    f->TabRes.MoveBy(4);
    const int place = f->TabRes.RecNo();
    int paints = 0;
    QTimer painter;
    painter.setInterval(0);
    QObject::connect(&painter, &QTimer::timeout, [&] {
        f->DBGRes->View()->viewport()->repaint();
        ++paints;
    });
    painter.start();
    PreviewWatch w(QString{});
    w.Arm();
    f->mpPrint->Click();
    painter.stop();
    EXPECT_GT(paints, 0);
    ASSERT_GT(w.Pages, 1);
    for (const QString &name : {U("Статья 000"), U("Статья 150"), U("Статья 299")})
        EXPECT_TRUE(w.AllTexts.contains(name)) << name.toStdString();
    EXPECT_EQ(f->TabRes.RecNo(), place);
    EXPECT_FALSE(f->TabRes.ControlsDisabled());
}

TEST_F(RstPrintWindow, PrintoutsOfTheWindowPrintIntoAPdfFile)
{
    Populate(60);
    auto f = OpenWindow();
    f->RefreshResults();
    const QString pdf = dir.filePath(U("totals.pdf"));
    {
        std::unique_ptr<TQrs> r = MakeTotalsPrintout(f->TotalsPrintState());
        ASSERT_TRUE(r);
        r->PrinterSettings.OutputFile = pdf;
        r->PrintToPrinter();
    }
    const QString printed = Tool(U("pdftotext"), {U("-layout"), pdf, U("-")});
    for (const QString &t : {U("Все Обороты за 01.01.2024 - 31.12.2024"), U("Зарплата"), U("Разное"), U("Результат")})
        EXPECT_TRUE(printed.contains(t)) << t.toStdString() << " in " << printed.toStdString();
    f->TabRes.First();
    EXPECT_TRUE(printed.contains(Money(f->TabRes.FieldByName(U("sct"))->AsFloat()).replace(QChar(0xA0), u' ')))
        << printed.toStdString();
}

} // namespace
} // namespace zorbel::test
