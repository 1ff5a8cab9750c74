// Report runs over memory tables into recorded pages: page and column
// breaks, headers and footers, groups with running sums, page numbers
// through the report's variables, what an export writer is handed, runs
// that must end however the layout is drawn, and the layout's measures.
#include "RepExprSupport.h"
#include "RepReportSupport.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

TEST(RepReportRun, ListBreaksPagesWithHeadersFootersAndPageNumbers)
{
    ListReport r;
    r.Rows(100);
    r.Add(rbTitle, 200).Add(Text(QStringLiteral("Отчёт"), 0, 0));
    r.Add(rbPageHeader, 100).Add(Text(QStringLiteral("Шапка"), 0, 0));
    r.Add(rbColumnHeader, 50).Add(Text(QStringLiteral("Колонки"), 0, 0));
    r.Add(rbDetail, 50).Add(Expr(QStringLiteral("nm"), 100, 0));
    r.Add(rbPageFooter, 60).Add(Expr(QStringLiteral("'Страница '+PAGENUMBER"), 0, 0));
    r.Add(rbSummary, 80).Add(Text(QStringLiteral("Итого"), 0, 0));
    r.Run();

    // Page 1: header at 100, title 200, column header 50 -> details from 450
    // to the footer at 2970-100-60 = 2810: 47 rows. Later pages: 350 down: 49.
    ASSERT_EQ(r.printer().RecordedPages(), 3);
    const auto p1 = r.Page(1);
    EXPECT_EQ(p1[0].Text, QStringLiteral("Шапка"));
    EXPECT_NEAR(p1[0].Y, 100, 3);
    EXPECT_NEAR(Find(p1, QStringLiteral("Отчёт"))->Y, 200, 3);
    EXPECT_NEAR(Find(p1, QStringLiteral("Колонки"))->Y, 400, 3);
    const PageText *first = Find(p1, QStringLiteral("Строка 1"));
    EXPECT_NEAR(first->Y, 450, 3);
    EXPECT_NEAR(first->X, 200, 3);
    EXPECT_EQ(Find(p1, QStringLiteral("Строка 47"))->Text, QStringLiteral("Строка 47"));
    EXPECT_TRUE(Find(p1, QStringLiteral("Строка 48"))->Text.isEmpty());
    EXPECT_NEAR(Find(p1, QStringLiteral("Страница 1"))->Y, 2810, 3);

    const auto p2 = r.Page(2);
    EXPECT_EQ(r.Texts(2).mid(0, 3), (QStringList{QStringLiteral("Шапка"), QStringLiteral("Колонки"),
                                                  QStringLiteral("Строка 48")}));
    EXPECT_NEAR(Find(p2, QStringLiteral("Строка 48"))->Y, 250, 3);
    EXPECT_NEAR(Find(p2, QStringLiteral("Страница 2"))->Y, 2810, 3);
    EXPECT_TRUE(Find(p2, QStringLiteral("Отчёт"))->Text.isEmpty());

    // Last page: the summary follows the last row; no page footer without
    // LastPageFooter.
    const QStringList p3 = r.Texts(3);
    EXPECT_EQ(p3.last(), QStringLiteral("Итого"));
    EXPECT_TRUE(p3.contains(QStringLiteral("Строка 100")));
    EXPECT_FALSE(p3.contains(QStringLiteral("Страница 3")));
    EXPECT_TRUE(r.report.Available);
    EXPECT_EQ(r.printer().Status(), TRepStatus::Ready);

    // With LastPageFooter and without FirstPageHeader.
    r.report.Options = unsigned(TBandReportOption::LastPageFooter);
    r.Run();
    EXPECT_EQ(r.Texts(1).first(), QStringLiteral("Отчёт"));
    EXPECT_TRUE(r.Texts(3).contains(QStringLiteral("Страница 3")));
    EXPECT_TRUE(r.Texts(2).contains(QStringLiteral("Шапка")));
}

// Sums the amount of every record it is told about; prints and resets it.
struct RunningSum : TTestText {
    double Sum = 0;
    void Notify(TRepCustomController &c, int code) override
    {
        TRepPrintable::Notify(c, code);
        if (code == 0)
            Sum += Report->MainController.DataSet->FieldByName(QStringLiteral("amt"))->AsFloat();
    }
    void Print(double x, double y) override
    {
        Text = QStringLiteral("Сумма %1").arg(Sum);
        Sum = 0;
        TTestText::Print(x, y);
    }
};

TEST(RepReportRun, LandscapePagesBreakAtTheirOwnHeight)
{
    // A4 across: 2100 high, 10 mm margins, a 60 footer -> details from 100 to
    // 1940: 36 rows of 50 a page, none below the footer.
    ListReport r;
    r.Rows(80);
    r.report.Page.SetOrientation(poLandscape);
    r.Add(rbDetail, 50).Add(Expr(QStringLiteral("nm"), 0, 0));
    r.Add(rbPageFooter, 60).Add(Expr(QStringLiteral("'Страница '+PAGENUMBER"), 0, 0));
    r.Run();
    ASSERT_EQ(r.printer().RecordedPages(), 3);
    EXPECT_EQ(r.printer().PaperLengthValue(), 2100);
    int rows = 0;
    for (int n = 1; n <= 3; ++n)
        for (const PageText &t : r.Page(n))
            if (t.Text.startsWith(QStringLiteral("Строка"))) {
                ++rows;
                EXPECT_LE(t.Y + 50, 2100 - 100 - 60 + 3) << t.Text.toStdString();
            }
    EXPECT_EQ(rows, 80);
    EXPECT_EQ(Find(r.Page(1), QStringLiteral("Строка 36"))->Text, QStringLiteral("Строка 36"));
    EXPECT_TRUE(Find(r.Page(1), QStringLiteral("Строка 37"))->Text.isEmpty());
}

TEST(RepReportRun, GroupsPrintHeadersFootersWithSumsAndBreakPagesOnChange)
{
    ListReport r;
    r.Rows(7, 3); // groups 0,0,0 | 1,1,1 | 2
    auto &group = r.report.AddBand(std::make_unique<TRepGroup>());
    group.Size.Length = 50;
    group.Expression = QStringLiteral("qty");
    group.Add(Expr(QStringLiteral("'Группа '+qty"), 0, 0));
    auto &footer = r.Add(rbGroupFooter, 50);
    group.FooterBand = &footer;
    auto &sum = footer.Add(std::make_unique<RunningSum>());
    auto &detail = r.Add(rbDetail, 50);
    detail.Add(Expr(QStringLiteral("nm"), 0, 0));
    r.report.BeforePrint = [&](TCustomBandReport &rep, bool &) { rep.MainController.RegisterClient(&sum); };
    // Clients are registered after PrepareRun clears the list.
    detail.BeforePrint = [&](TRepCustomBand &, bool &) {
        if (r.report.MainController.Clients.empty())
            r.report.MainController.RegisterClient(&sum);
    };
    r.Run();
    ASSERT_EQ(r.printer().RecordedPages(), 1);
    EXPECT_EQ(r.Texts(1),
              (QStringList{"Группа 0", "Строка 1", "Строка 2", "Строка 3", "Сумма 6", "Группа 1", "Строка 4",
                           "Строка 5", "Строка 6", "Сумма 15", "Группа 2", "Строка 7", "Сумма 7"}));

    // A group header that forces a new page: the first group stays on page 1.
    group.ForceNewPage = true;
    r.Run();
    ASSERT_EQ(r.printer().RecordedPages(), 3);
    EXPECT_EQ(r.Texts(2).first(), QStringLiteral("Группа 1"));
    EXPECT_EQ(r.Texts(3).last(), QStringLiteral("Сумма 7"));
}

TEST(RepReportRun, GroupHeaderIsRepeatedOnANewPageWhenAsked)
{
    ListReport r;
    r.Rows(60, 100); // one group over two pages
    auto &group = r.report.AddBand(std::make_unique<TRepGroup>());
    group.Size.Length = 50;
    group.Expression = QStringLiteral("qty");
    group.ReprintOnNewPage = true;
    group.Add(Text(QStringLiteral("Группа"), 0, 0));
    r.Add(rbDetail, 50).Add(Expr(QStringLiteral("nm"), 0, 0));
    r.Run();
    ASSERT_EQ(r.printer().RecordedPages(), 2);
    EXPECT_EQ(r.Texts(1).count(QStringLiteral("Группа")), 1);
    EXPECT_EQ(r.Texts(2).first(), QStringLiteral("Группа"));
    // The reprint is not a break: no second header for the same group later.
    EXPECT_EQ(r.Texts(2).count(QStringLiteral("Группа")), 1);
}

TEST(RepReportRun, ColumnsFillSideBySideThenBreakThePage)
{
    ListReport r;
    r.Rows(120);
    r.report.Page.SetColumns(3);
    r.report.Page.Values[TRepPage::iColumnSpace] = 50;
    r.Add(rbDetail, 50, 600).Add(Expr(QStringLiteral("nm"), 0, 0));
    r.Run();
    // 2770 / 50 = 55 rows per column: 165 per page.
    ASSERT_EQ(r.printer().RecordedPages(), 1);
    const auto p = r.Page(1);
    EXPECT_NEAR(Find(p, QStringLiteral("Строка 1"))->X, 100, 3);
    EXPECT_NEAR(Find(p, QStringLiteral("Строка 56"))->X, 750, 3);
    EXPECT_NEAR(Find(p, QStringLiteral("Строка 56"))->Y, 100, 3);
    EXPECT_NEAR(Find(p, QStringLiteral("Строка 111"))->X, 1400, 3);
    r.Rows(60); // named 1..60 again: the 166th row is the 46th of these
    r.Run();
    ASSERT_EQ(r.printer().RecordedPages(), 2);
    EXPECT_EQ(r.Texts(2).first(), QStringLiteral("Строка 46"));
    EXPECT_NEAR(r.Page(2).front().X, 100, 3);
}

TEST(RepReportRun, BeforePrintCanSuppressABandButItsChildAndAfterPrintStillRun)
{
    ListReport r;
    r.Rows(1);
    auto &detail = r.Add(rbDetail, 50);
    detail.Add(Text(QStringLiteral("Деталь"), 0, 0));
    auto &child = r.report.AddBand(std::make_unique<TRepChildBand>());
    child.Size.Length = 50;
    ASSERT_TRUE(child.SetParentBand(&detail));
    child.Add(Text(QStringLiteral("Дочерняя"), 0, 0));
    auto &summary = r.Add(rbSummary, 50);
    summary.Add(Text(QStringLiteral("Итог"), 0, 0));
    bool printed = true;
    detail.BeforePrint = [](TRepCustomBand &, bool &print) { print = false; };
    detail.AfterPrint = [&](TRepCustomBand &, bool p) { printed = p; };
    r.Run();
    EXPECT_FALSE(printed);
    // The child takes the place the suppressed band would have used.
    const auto p = r.Page(1);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].Text, QStringLiteral("Дочерняя"));
    EXPECT_NEAR(p[0].Y, 100, 3);
    EXPECT_NEAR(p[1].Y, 150, 3);
}

TEST(RepReportRun, EmptyDataPrintsTheBandsOnceAndStillEndsTheDocument)
{
    ListReport r;
    r.Add(rbTitle, 50).Add(Text(QStringLiteral("Заголовок"), 0, 0));
    r.Add(rbDetail, 50).Add(Text(QStringLiteral("Деталь"), 0, 0));
    r.Run();
    EXPECT_EQ(r.Texts(1), (QStringList{"Заголовок", "Деталь"}));
    r.report.MainController.PrintIfEmpty = false;
    r.Run();
    EXPECT_EQ(r.printer().RecordedPages(), 0);
    EXPECT_EQ(r.printer().Status(), TRepStatus::Ready);
}

// ---- runs that must end ----

TEST(RepReportRun, BandsThatCannotFitOrNeverFinishDoNotLoopForever)
{
    {
        ListReport r; // a detail taller than the page prints where it is
        r.Rows(3);
        r.Add(rbDetail, 5000).Add(Expr(QStringLiteral("nm"), 0, 0));
        r.Run();
        EXPECT_EQ(r.printer().RecordedPages(), 3);
    }
    {
        ListReport r; // a page header that leaves no room above the footer
        r.Rows(3);
        r.Add(rbPageHeader, 2000).Add(Text(QStringLiteral("Шапка"), 0, 0));
        r.Add(rbPageFooter, 600);
        r.Add(rbDetail, 300).Add(Expr(QStringLiteral("nm"), 0, 0));
        r.Run();
        EXPECT_EQ(r.printer().RecordedPages(), 3);
        EXPECT_EQ(r.Texts(3), (QStringList{"Шапка", "Строка 3"}));
    }
    {
        ListReport r; // a text that asks for another column without printing more
        r.Rows(1);
        struct Stuck : TTestText {
            void Print(double x, double y) override
            {
                TTestText::Print(x, y);
                FinishedPrinting = false;
            }
        };
        auto &d = r.Add(rbDetail, 50);
        d.Add(std::make_unique<Stuck>()).Text = QStringLiteral("Без конца");
        r.Run();
        EXPECT_EQ(r.printer().RecordedPages(), 2);
        EXPECT_TRUE(r.report.Available);
    }
    {
        ListReport r; // a text that continues for three passes
        r.Rows(1);
        auto &d = r.Add(rbDetail, 50);
        auto t = Text(QStringLiteral("Часть"), 0, 0);
        t->Parts = 3;
        d.Add(std::move(t));
        r.report.Page.SetColumns(2);
        r.Run();
        ASSERT_EQ(r.printer().RecordedPages(), 2);
        const auto p1 = r.Page(1);
        EXPECT_NEAR(Find(p1, QStringLiteral("Часть #2"))->X, 2000, 3); // next column: 100 + 1900
        EXPECT_EQ(r.Texts(2), QStringList{QStringLiteral("Часть #3")});
    }
}

// Throws from a chosen record.
struct Failing : TTestText {
    int FailAt = 2;
    int Seen = 0;
    void Print(double x, double y) override
    {
        if (++Seen == FailAt)
            throw Exception(QStringLiteral("сбой"));
        TTestText::Print(x, y);
    }
};

TEST(RepReportRun, AFailureEndsTheDocumentAndLeavesTheReportUsable)
{
    ListReport r;
    r.Rows(3);
    r.report.Page.SetMeasure(TRepPage::iLeftMargin, 10);
    auto &d = r.Add(rbDetail, 50);
    auto &f = d.Add(std::make_unique<Failing>());
    EXPECT_THROW(r.Run(), Exception);
    EXPECT_NE(r.printer().Status(), TRepStatus::Busy);
    EXPECT_TRUE(r.report.Available);
    EXPECT_EQ(r.report.Units(), TRepUnit::MM);
    EXPECT_FALSE(f.PrintingNow);
    EXPECT_FALSE(r.report.Functions.IsCompiled());
    f.FailAt = 100;
    f.Seen = 0;
    r.Run();
    EXPECT_EQ(r.printer().RecordedPages(), 1);
    EXPECT_EQ(r.printer().Status(), TRepStatus::Ready);
}

TEST(RepReportRun, CancelStopsAtTheNextRecordAndAbortsTheDocument)
{
    ListReport r;
    r.Rows(50);
    auto &d = r.Add(rbDetail, 50);
    d.Add(Expr(QStringLiteral("nm"), 0, 0));
    int printed = 0;
    d.AfterPrint = [&](TRepCustomBand &, bool) {
        if (++printed == 5)
            r.report.Cancel();
    };
    r.Run();
    EXPECT_EQ(printed, 5);
    EXPECT_TRUE(r.report.RunCancelled);
    EXPECT_TRUE(r.report.Available);
}

// ---- export ----

struct RecordingFilter : TRepExportFilter {
    using TRepExportFilter::TRepExportFilter;
    QStringList Calls;
    bool OnePage = false;
    bool WantsOnePage() const override { return OnePage; }
    void BeginDocument(int w, int h, const QFont &f) override
    {
        TRepExportFilter::BeginDocument(w, h, f);
        Calls << QStringLiteral("begin %1x%2").arg(w).arg(h);
    }
    void FinishPage() override { Calls << QStringLiteral("finish"); }
    void EndDocument() override
    {
        TRepExportFilter::EndDocument();
        Calls << QStringLiteral("end");
    }
    void BeginNextPage() override { Calls << QStringLiteral("page"); }
    void PutGraphic(TRepPrintable &c, double x, double y) override
    {
        const auto *s = dynamic_cast<TRepShape *>(&c);
        Calls << QStringLiteral("graphic %1 %2,%3").arg(s ? int(s->Shape) : -1).arg(x).arg(y);
    }
    void PutBand(TRepCustomBand &b, double, double, double y) override
    {
        Calls << QStringLiteral("band %1 %2").arg(RepBandTypeName(b.BandType)).arg(y);
    }
    void PutText(double x, double y, const QFont &, TColor, unsigned, TAlignment, const QString &t) override
    {
        Calls << QStringLiteral("text %1 %2,%3").arg(t).arg(x).arg(y);
    }
};

TEST(RepReportExport, AWriterIsHandedEveryPageBandTextAndFrameInOrder)
{
    ListReport r;
    r.Rows(2);
    r.Add(rbTitle, 100).Add(Text(QStringLiteral("T"), 0, 0));
    auto &d = r.Add(rbDetail, 2000);
    d.Add(Expr(QStringLiteral("nm"), 50, 10));
    d.Frame.DrawTop = true;
    r.Add(rbPageFooter, 50);
    r.Run(); // the preview's pages
    ASSERT_EQ(r.printer().RecordedPages(), 2);

    RecordingFilter filter(QStringLiteral("out.txt"));
    r.report.ExportToFilter(filter);
    // The top line is 1 pt = 3.5 tenths = 1 pixel at the screen's 96 dpi;
    // the detail starts at 200 tenths = 76 pixels (rounded).
    EXPECT_EQ(filter.Calls,
              (QStringList{"begin 2100x2970", "finish", "page", "text T 100,100", "band Title 100",
                           "text Строка 1 150,210", "graphic 3 38,76", "band Detail 200", "band Page Footer 2820",
                           "finish", "page", "text Строка 2 150,110", "graphic 3 38,38", "band Detail 100",
                           "finish", "end"}));
    EXPECT_FALSE(filter.Started);
    EXPECT_EQ(filter.Report, &r.report);
    // The preview's pages are untouched and the report's printer is back.
    EXPECT_EQ(r.report.RepPrinter, &r.printer());
    EXPECT_EQ(r.printer().RecordedPages(), 2);
    EXPECT_TRUE(r.report.DrawToPrinter);
    EXPECT_FALSE(r.report.Exporting);

    // A writer that wants one page gets one long page.
    RecordingFilter one{QString()};
    one.OnePage = true;
    r.report.ExportToFilter(one);
    EXPECT_EQ(one.Calls.count(QStringLiteral("page")), 1);

    // A writer already started is not begun again by a second report.
    RecordingFilter cont{QString()};
    cont.Started = true;
    r.report.ExportToFilter(cont);
    EXPECT_FALSE(cont.Calls.first().startsWith(QStringLiteral("begin")));
}

struct WriterA : TRepExportFilter {
    using TRepExportFilter::TRepExportFilter;
    QString GetDialogName() const override { return QStringLiteral("Text file"); }
    QString GetFileExtension() const override { return QStringLiteral("TXT"); }
};
struct WriterB : TRepExportFilter {
    using TRepExportFilter::TRepExportFilter;
    QString GetDialogName() const override { return QStringLiteral("Comma Separated"); }
    QString GetFileExtension() const override { return QStringLiteral("CSV"); }
};

TEST(RepReportExport, TheLibraryListsEachLiveComponentsWriter)
{
    TRepExportFilterLibrary &lib = ExportFilterLibrary();
    EXPECT_EQ(lib.GetSaveFilter(), QStringLiteral("Report file(*.REP)|*.REP"));
    {
        TRepFilterComponent<WriterA> a1;
        TRepFilterComponent<WriterB> b;
        {
            TRepFilterComponent<WriterA> a2;
            EXPECT_EQ(lib.Registered().size(), 3u);
        }
        // The first entry of a caption goes, so the survivor is listed last.
        EXPECT_EQ(lib.GetSaveFilter(),
                  QStringLiteral("Report file(*.REP)|*.REP|Comma Separated (*.CSV)|*.CSV|Text file (*.TXT)|*.TXT"));
        const auto w = lib.CreateForIndex(3, QStringLiteral("x.txt"));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->GetDialogName(), QStringLiteral("Text file"));
        EXPECT_EQ(w->OutputName, QStringLiteral("x.txt"));
        EXPECT_EQ(lib.CreateForIndex(1, QString()), nullptr);
        EXPECT_EQ(lib.CreateForIndex(4, QString()), nullptr);
    }
    EXPECT_TRUE(lib.Registered().empty());
}

// ---- layout measures ----

TEST(RepLayout, MeasuresConvertAndThePageFollowsItsPaper)
{
    TRepPage page;
    page.SetUnits(TRepUnit::MM);
    page.SetMeasure(TRepPage::iLeftMargin, 10);
    EXPECT_DOUBLE_EQ(page.Values[TRepPage::iLeftMargin], 100);
    EXPECT_DOUBLE_EQ(page.LeftMargin(), 10);
    page.SetUnits(TRepUnit::Native);
    EXPECT_DOUBLE_EQ(page.LeftMargin(), 100);
    page.SetUnits(TRepUnit::Inches);
    EXPECT_NEAR(page.LeftMargin(), 0.3937, 1e-4);
    page.SetUnits(TRepUnit::Pixels);
    EXPECT_NEAR(page.LeftMargin(), 100 / (254.0 / 96), 1e-9);

    page.SetUnits(TRepUnit::MM);
    page.SetPaperSize(rpA4);
    page.SetMeasure(TRepPage::iWidth, 100);
    EXPECT_DOUBLE_EQ(page.Width(), 210);
    page.SetOrientation(poLandscape);
    EXPECT_DOUBLE_EQ(page.Width(), 297);
    EXPECT_DOUBLE_EQ(page.Length(), 210);
    page.SetOrientation(poPortrait);
    EXPECT_DOUBLE_EQ(page.Width(), 210);
    page.SetPaperSize(rpCustom);
    page.SetMeasure(TRepPage::iWidth, 100);
    EXPECT_DOUBLE_EQ(page.Width(), 100);
    page.SetColumns(0);
    page.SetColumns(-2);
    EXPECT_EQ(page.Columns(), 1);

    TRepFrame frame;
    EXPECT_EQ(frame.VerticalLineWidth(600 / 254.0), 8);
    EXPECT_EQ(frame.VerticalLineWidth(96 / 254.0), 1);
    frame.Width = 0;
    EXPECT_EQ(frame.HorizontalLineHeight(600 / 254.0), 0);
    frame.Width = -1;
    EXPECT_EQ(frame.HorizontalLineHeight(600 / 254.0), 1);

    TRepBand band(rbDetail);
    band.Size.Width = 700;
    TTestText t;
    t.Band = &band;
    t.Size.Values[TRepPrintableSize::iWidth] = 101;
    t.AlignToBand = true;
    t.SetAlignment(TAlignment::taCenter);
    EXPECT_DOUBLE_EQ(t.Size.Left(), 299);
    t.SetAlignment(TAlignment::taRightJustify);
    EXPECT_DOUBLE_EQ(t.Size.Left(), 599);
    t.Enabled = false;
    EXPECT_FALSE(t.CanPrint());
    t.Visible = false;
    EXPECT_TRUE(t.CanPrint());

    TRepBand a(rbDetail), b(rbDetail);
    EXPECT_TRUE(b.SetLinkBand(&a));
    EXPECT_FALSE(a.SetLinkBand(&b));
    EXPECT_EQ(a.LinkBand(), nullptr);
}

// A printable put on a band reads and writes its measures in the band's
// unit, one put on the report in the report's; its place in 0.1 mm is kept.
TEST(RepLayout, APrintableMeasuresInTheUnitOfWhatItLiesOn)
{
    for (TRepUnit unit : {TRepUnit::MM, TRepUnit::Inches, TRepUnit::Pixels, TRepUnit::Native}) {
        SCOPED_TRACE(int(unit));
        TBandReport report;
        TRepBand &band = report.AddBand(Band(rbDetail, 100));
        report.SetUnits(unit);
        TTestText &onBand = band.Add(Text(QString(), 254, 127));
        TTestText &onReport = report.AddPrintable(Text(QString(), 254, 127));
        for (TTestText *t : {&onBand, &onReport}) {
            EXPECT_EQ(t->Size.GetUnits(), unit);
            EXPECT_DOUBLE_EQ(t->Size.Values[TRepPrintableSize::iLeft], 254);
            EXPECT_DOUBLE_EQ(t->Size.Left(), report.Page.FromNative(unit, true, 254));
            t->Size.SetMeasure(TRepPrintableSize::iTop, report.Page.FromNative(unit, false, 508));
            EXPECT_NEAR(t->Size.Values[TRepPrintableSize::iTop], 508, 1e-9);
        }
    }
}

TEST(RepLayout, ANewReportSnapsToTheGridInArialAndMeasuresOnePixelMore)
{
    TBandReport report;
    EXPECT_TRUE(report.SnapToGrid);
    EXPECT_EQ(report.Font.family(), QStringLiteral("Arial"));
    EXPECT_EQ(report.Font.pointSize(), 10);
    // The system stands Liberation Sans, of Arial's metrics, for Arial.
    EXPECT_EQ(QFontInfo(report.Font).family(), QStringLiteral("Liberation Sans"));
    QFont liberation(QStringLiteral("Liberation Sans"));
    liberation.setPointSize(10);
    const QString text = QStringLiteral("Итого за март 1 234,50");
    EXPECT_DOUBLE_EQ(TCustomBandReport::FontTextWidth(report.Font, text),
                     TCustomBandReport::FontTextWidth(liberation, text));
    // A text measured for a layout takes one pixel more than its advance.
    EXPECT_DOUBLE_EQ(report.TextWidth(report.Font, text),
                     TCustomBandReport::FontTextWidth(report.Font, text) + 254.0 / 96);
}

TEST(RepLayout, OnlyAJapaneseSystemStartsAReportInItsOwnFont)
{
    const QFont kept = QGuiApplication::font();
    QFont system(QStringLiteral("DejaVu Serif"));
    system.setPointSize(13);
    QGuiApplication::setFont(system);
    const QFont japanese = DefaultReportFont(QLocale::Japanese);
    const QFont russian = DefaultReportFont(QLocale::Russian);
    const QFont english = DefaultReportFont(QLocale::English);
    QGuiApplication::setFont(kept);
    EXPECT_EQ(japanese.family(), QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(japanese.pointSize(), 13);
    for (const QFont &f : {russian, english}) {
        EXPECT_EQ(f.family(), QStringLiteral("Arial"));
        EXPECT_EQ(f.pointSize(), 10);
    }
}

TEST(RepLayout, TheFirstPageMessageKeepsThePrintersFirstPage)
{
    ListReport r;
    r.Rows(80);
    r.Add(rbDetail, 50).Add(Expr(QStringLiteral("nm"), 100, 0));
    r.Run();
    ASSERT_EQ(r.printer().RecordedPages(), 2);
    int repaints = 0;
    r.report.OnRepaint = [&] { ++repaints; };
    r.report.SendMessage(0x401, 0, 0); // not the first page: nothing
    EXPECT_TRUE(r.report.FirstPagePicture.Empty());
    EXPECT_EQ(repaints, 0);
    r.report.SendMessage(0x401, 1, 0);
    ASSERT_FALSE(r.report.FirstPagePicture.Empty());
    EXPECT_EQ(r.report.FirstPagePicture.Data(), r.printer().GetPageMetafile(1)->Data());
    EXPECT_NE(r.report.FirstPagePicture.Data(), r.printer().GetPageMetafile(2)->Data());
    EXPECT_EQ(repaints, 1);
}

TEST(RepLayout, TheBackgroundPictureCoversItsOwnRectangle)
{
    TRepPrinter printer;
    TBandReport report;
    report.RepPrinter = &printer;
    printer.BeginDoc();
    TRepPrintableSize size;
    size.Values[TRepPrintableSize::iLeft] = 254;
    size.Values[TRepPrintableSize::iTop] = 508;
    size.Values[TRepPrintableSize::iWidth] = 254;
    size.Values[TRepPrintableSize::iHeight] = 127;
    const QRect rect = report.BackImageRect(size);
    EXPECT_EQ(rect, QRect(96, 192, 96, 48));
    printer.AbortDoc();
}

} // namespace
} // namespace zorbel::test
