// Composite runs: two layouts in one document, page numbers running on from
// the first into the second, the second starting below the first when its
// first band fits, only the last layout ending the last page, and a failure
// or a cancel ending the document.
#include "RepExprSupport.h"
#include "RepReportSupport.h"
#include "report/RepComposite.h"

#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

// A list over its own table: a title, a detail row per record and a page
// footer with the page number. A4, 10 mm margins.
struct Layout {
    std::unique_ptr<TVemtMemTable> table;
    TBandReport report;

    Layout(const QString &name, int rows)
        : table(MakeTable(name))
    {
        for (int i = 1; i <= rows; ++i) {
            table->Append();
            table->FieldByName(QStringLiteral("nm"))->SetAsString(name + QStringLiteral(" %1").arg(i));
            table->Post();
        }
        report.DataSets.push_back(table.get());
        report.MainController.DataSet = table.get();
        report.Options = unsigned(TBandReportOption::FirstPageHeader) | unsigned(TBandReportOption::LastPageFooter);
        report.AddBand(Band(rbTitle, 100)).Add(Text(QStringLiteral("Заголовок ") + name, 0, 0));
        report.AddBand(Band(rbDetail, 50)).Add(Expr(QStringLiteral("nm"), 0, 0));
        report.AddBand(Band(rbPageFooter, 60)).Add(Expr(QStringLiteral("'Стр. '+PAGENUMBER"), 0, 0));
    }
};

// The composite of a then b, on the layouts' paper.
void Chain(TRepCompositeReport &composite, Layout &a, Layout &b)
{
    composite.PrinterSettings.PaperSize = rpA4;
    composite.OnAddReports = [&a, &b](TRepCompositeReport &c) { c.Reports = {&a.report, &b.report}; };
}

QStringList Texts(TRepPrinter &printer, int page)
{
    QStringList out;
    for (const PageText &t : TextsOf(printer, page))
        out << t.Text;
    return out;
}

double YOf(TRepPrinter &printer, int page, const QString &text)
{
    for (const PageText &t : TextsOf(printer, page))
        if (t.Text == text)
            return t.Y;
    return -1;
}

TEST(RepComposite, TwoLayoutsRunIntoOneDocumentWithContinuousPageNumbers)
{
    // A: 60 rows -> page 1 (title + 53 rows) and page 2; B: 5 rows after it.
    Layout a(QStringLiteral("A"), 60), b(QStringLiteral("B"), 5);
    TRepCompositeReport composite;
    Chain(composite, a, b);
    QStringList finished;
    composite.OnFinished = [&](TCustomBandReport *r) {
        finished << (r == &a.report ? "A" : r == &b.report ? "B" : r ? "?" : "composite");
        if (r) {
            EXPECT_EQ(r->Tag, 7); // the last report's 999 is put back before
        }
    };
    a.report.Tag = b.report.Tag = 7;
    composite.Run();
    EXPECT_EQ(finished, QStringList({"A", "B", "composite"}));
    ASSERT_NE(composite.Printer(), nullptr);
    TRepPrinter &p = *composite.Printer();
    EXPECT_EQ(p.Status(), TRepStatus::Ready);
    ASSERT_EQ(p.RecordedPages(), 2);

    const QStringList p1 = Texts(p, 1), p2 = Texts(p, 2);
    EXPECT_EQ(p1.first(), QStringLiteral("Заголовок A"));
    EXPECT_TRUE(p1.contains(QStringLiteral("Стр. 1")));
    EXPECT_TRUE(p2.contains(QStringLiteral("A 60")));
    // B follows A's last row on the same page, its page number runs on, and
    // only the last layout prints the final page footer.
    EXPECT_TRUE(p2.contains(QStringLiteral("Заголовок B")));
    EXPECT_TRUE(p2.contains(QStringLiteral("B 5")));
    EXPECT_EQ(p2.count(QStringLiteral("Стр. 2")), 1);
    EXPECT_FALSE(p2.contains(QStringLiteral("Стр. 1")));
    EXPECT_GT(YOf(p, 2, QStringLiteral("Заголовок B")), YOf(p, 2, QStringLiteral("A 60")));
    EXPECT_GT(YOf(p, 2, QStringLiteral("B 1")), YOf(p, 2, QStringLiteral("Заголовок B")));
    EXPECT_TRUE(a.report.Available && b.report.Available);

    // A second run records into a fresh document.
    composite.Run();
    EXPECT_EQ(composite.Printer()->RecordedPages(), 2);
}

TEST(RepComposite, ALayoutThatDoesNotFitStartsANewPage)
{
    // A fills page 1 exactly to its footer; B's title cannot fit below it.
    // Page 1: title 100 from 100, then rows of 50 up to 2970-100-60 = 2810.
    Layout a(QStringLiteral("A"), 52), b(QStringLiteral("B"), 2);
    TRepCompositeReport composite;
    Chain(composite, a, b);
    composite.Run();
    TRepPrinter &p = *composite.Printer();
    ASSERT_EQ(p.RecordedPages(), 2);
    EXPECT_TRUE(Texts(p, 1).contains(QStringLiteral("A 52")));
    EXPECT_EQ(Texts(p, 2).first(), QStringLiteral("Заголовок B"));
    EXPECT_NEAR(YOf(p, 2, QStringLiteral("Заголовок B")), 100, 3);
    EXPECT_TRUE(Texts(p, 2).contains(QStringLiteral("Стр. 2")));
}

TEST(RepComposite, LayoutsTakeThePaperAndOrientationOfTheDocument)
{
    // Portrait A4 layouts in a landscape document: each lays out on the
    // landscape page, so A's rows break at 2100 - 100 - 60 = 1940.
    Layout a(QStringLiteral("A"), 60), b(QStringLiteral("B"), 2);
    TRepCompositeReport composite;
    Chain(composite, a, b);
    composite.PrinterSettings.Orientation = poLandscape;
    composite.Run();
    for (TCustomBandReport *r : {&a.report, &b.report}) {
        EXPECT_EQ(r->Page.Orientation(), poLandscape);
        EXPECT_EQ(r->Page.PaperSize(), rpA4);
    }
    TRepPrinter &p = *composite.Printer();
    ASSERT_EQ(p.RecordedPages(), 2);
    // Title 100 from 100, rows of 50 from 200 up to 1940: 34 rows on page 1.
    EXPECT_TRUE(Texts(p, 1).contains(QStringLiteral("A 34")));
    EXPECT_FALSE(Texts(p, 1).contains(QStringLiteral("A 35")));
    EXPECT_NEAR(YOf(p, 1, QStringLiteral("Стр. 1")), 1940, 3);
    EXPECT_TRUE(Texts(p, 2).contains(QStringLiteral("B 2")));
}

TEST(RepComposite, NothingToRunStillReportsTheEndAndAFailureAbortsTheDocument)
{
    TRepCompositeReport composite;
    int ends = 0;
    composite.OnFinished = [&](TCustomBandReport *r) { ends += r == nullptr; };
    composite.Run();
    EXPECT_EQ(ends, 1);

    Layout a(QStringLiteral("A"), 3), b(QStringLiteral("B"), 3);
    b.report.BeforePrint = [](TCustomBandReport &, bool &) { throw Exception(QStringLiteral("сбой")); };
    Chain(composite, a, b);
    b.report.Tag = 5;
    EXPECT_THROW(composite.Run(), Exception);
    EXPECT_EQ(composite.Printer()->Status(), TRepStatus::Ready);
    EXPECT_FALSE(composite.Running());
    EXPECT_EQ(b.report.Tag, 5);
    EXPECT_TRUE(b.report.Available);
    // The layouts stay usable.
    b.report.BeforePrint = nullptr;
    composite.Run();
    EXPECT_EQ(composite.Printer()->RecordedPages(), 1);
}

TEST(RepComposite, ClosingThePreviewWhileRunningCancelsTheRun)
{
    Layout a(QStringLiteral("A"), 200), b(QStringLiteral("B"), 3);
    TRepCompositeReport composite;
    Chain(composite, a, b);
    QStringList finished;
    composite.OnFinished = [&](TCustomBandReport *r) { finished << (r ? r->ReportTitle : QStringLiteral("end")); };
    a.report.ReportTitle = QStringLiteral("A");
    int rows = 0;
    a.report.MainController.OnNeedData = nullptr;
    a.report.OnStartPage = [&](TCustomBandReport &) {
        if (++rows == 2) // the preview closes while page 2 is made
            composite.MessageTarget().PostMessage(RP_PREVIEWCLOSED, 0, 0);
    };
    composite.Run();
    EXPECT_EQ(finished, QStringList({"end"}));
    EXPECT_EQ(composite.Printer(), nullptr); // the cancelled document is let go
    EXPECT_FALSE(composite.Running());
    EXPECT_TRUE(a.report.Available);
}

} // namespace
} // namespace zorbel::test
