// Text printables on recorded pages: wrapping, stretching across pages,
// what export writers receive, data fields with masks, expressions with
// totals and system data.
#include "support/FaultEnv.h"
#include "RepReportSupport.h"
#include "platform/rtl/Format.h"
#include "report/RepCtrls.h"

#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

// Records every text and graphic a run hands over.
class CallsFilter : public TRepExportFilter {
public:
    using TRepExportFilter::TRepExportFilter;
    QStringList Calls;
    std::vector<TColor> FontColors;
    void PutGraphic(TRepPrintable &c, double x, double y) override
    {
        if (const auto *s = dynamic_cast<TRepShape *>(&c))
            Calls << QStringLiteral("shape %1 %2,%3 %4x%5 #%6")
                         .arg(int(s->Shape))
                         .arg(x)
                         .arg(y)
                         .arg(s->Size.Values[TRepPrintableSize::iWidth])
                         .arg(s->Size.Values[TRepPrintableSize::iHeight])
                         .arg(s->Brush.Color, 6, 16, QLatin1Char('0'));
        else if (const auto *i = dynamic_cast<TRepImage *>(&c))
            Calls << QStringLiteral("image %1x%2").arg(i->Picture.Width()).arg(i->Picture.Height());
        else
            Calls << QStringLiteral("graphic");
    }
    void PutText(double, double, const QFont &, TColor fontColor, unsigned, TAlignment, const QString &t) override
    {
        Calls << QStringLiteral("text ") + t;
        FontColors.push_back(fontColor);
    }
};

template <class T> T &Place(TRepBand &band, double left, double top, double width, double height)
{
    auto p = std::make_unique<T>();
    p->Size.Values[TRepPrintableSize::iLeft] = left;
    p->Size.Values[TRepPrintableSize::iTop] = top;
    p->Size.Values[TRepPrintableSize::iWidth] = width;
    p->Size.Values[TRepPrintableSize::iHeight] = height;
    return band.Add(std::move(p));
}

QStringList Wrapped(TRepCustomLabel &l, const QString &text)
{
    l.SetCaption(text);
    return l.WrappedLines;
}

TEST(RepLabelWrap, WordsBreakAfterSpaceOrHyphenAndLongWordsAreCut)
{
    ListReport r;
    TRepBand &b = r.Add(rbDetail, 100);
    auto &l = Place<TRepLabel>(b, 0, 0, 0, 40);
    l.AutoSize = false;
    const double w = r.report.TextWidth(l.Font, QStringLiteral("abc-def ")) + 1;
    l.Size.Values[TRepPrintableSize::iWidth] = w;
    // "abc-" and "def " fit together; a CR starts a line; LF is dropped.
    EXPECT_EQ(Wrapped(l, QStringLiteral("abc-def ghi\r\nxy")), (QStringList{"abc-def ", "ghi", "xy"}));
    // A word longer than the line at its start keeps the characters that
    // stay strictly narrower; the rest of the word is lost.
    const QStringList cut = Wrapped(l, QStringLiteral("abcdefghijklmnop qq"));
    ASSERT_EQ(cut.size(), 2);
    EXPECT_TRUE(QStringLiteral("abcdefghijklmnop").startsWith(cut[0]));
    EXPECT_LT(r.report.TextWidth(l.Font, cut[0]), w);
    EXPECT_GE(r.report.TextWidth(l.Font, cut[0] + QStringLiteral("abcdefghijklmnop")[cut[0].size()]), w);
    EXPECT_EQ(cut[1], QStringLiteral("qq"));
    // A word overflowing a non-empty line starts a new one, its tail cut
    // until it fits when it is wider than the label alone; the line then in
    // progress is empty and still ends the source line.
    const QStringList tail = Wrapped(l, QStringLiteral("ab WWWWWWWWWWWW"));
    ASSERT_EQ(tail.size(), 3);
    EXPECT_EQ(tail[2], QString());
    EXPECT_EQ(tail[0], QStringLiteral("ab "));
    EXPECT_TRUE(tail[1].startsWith(QStringLiteral("WWW")));
    EXPECT_LE(r.report.TextWidth(l.Font, tail[1]), w);
    EXPECT_GT(r.report.TextWidth(l.Font, tail[1] + QLatin1Char('W')), w);
    // Without word wrap the first overflow closes the line.
    l.WordWrap = false;
    EXPECT_EQ(Wrapped(l, QStringLiteral("abc def ghi jk")), (QStringList{"abc def "}));
}

TEST(RepLabelWrap, FiguresAreNeverCutOrSplitAndShrinkToTheirBox)
{
    ListReport r;
    r.Rows(2);
    TRepBand &b = r.Add(rbDetail, 100);
    // A money column narrower than its figures, with a mask whose blanks are
    // literal (word breaks to the wrapping).
    const QString mask = QStringLiteral("# ### ### ##0.00");
    auto &t = Place<TRepDBText>(b, 0, 0, 0, 40);
    t.AutoSize = false;
    t.WordWrap = false;
    t.SetAlignment(TAlignment::taRightJustify);
    t.DataSet = r.table.get();
    t.SetDataField(QStringLiteral("amt"));
    t.Mask = mask;
    const QString big = FormatFloat(mask, -123456789.12), small = FormatFloat(mask, -3262024.9);
    ASSERT_TRUE(big.contains(u' ') && small.startsWith(u'-'));
    const double w = r.report.TextWidth(t.Font, big) * 0.75;
    t.Size.Values[TRepPrintableSize::iWidth] = w;
    r.table->First();
    r.table->Edit();
    r.table->FieldByName(QStringLiteral("amt"))->SetAsFloat(-123456789.12);
    r.table->Post();
    r.table->Next();
    r.table->Edit();
    r.table->FieldByName(QStringLiteral("amt"))->SetAsFloat(-3262024.9);
    r.table->Post();
    r.Run();
    EXPECT_EQ(r.Texts(1), (QStringList{big, small}));
    CallsFilter filter(QStringLiteral("x"));
    r.report.ExportToFilter(filter);
    EXPECT_EQ(filter.Calls, (QStringList{"text " + big, "text " + small}));
    // The font shrinks by whole points just enough for the box, leaving two
    // blanks' room beside the figure.
    EXPECT_EQ(Wrapped(t, big), QStringList{big});
    const QFont f = t.PrintFont();
    EXPECT_LT(f.pointSize(), t.Font.pointSize());
    EXPECT_LE(r.report.TextWidth(f, big + QStringLiteral("  ")), w);
    QFont larger = f;
    larger.setPointSize(f.pointSize() + 1);
    EXPECT_GT(r.report.TextWidth(larger, big + QStringLiteral("  ")), w);
    // No smaller than half: a box far too narrow gets the whole figure in half
    // the font, running past the box on its aligned side.
    t.Size.Values[TRepPrintableSize::iWidth] = w / 4;
    EXPECT_EQ(Wrapped(t, big), QStringList{big});
    EXPECT_EQ(t.PrintFont().pointSize(), 5);

    // In a longer text a figure's blanks and sign are no word breaks (the
    // label stretches to show every line).
    auto &l = Place<TRepLabel>(b, 0, 50, 0, 40);
    l.AutoSize = false;
    l.AutoStretch = true;
    l.Size.Values[TRepPrintableSize::iWidth] = r.report.TextWidth(l.Font, QStringLiteral("-1 234 567,89 - ")) + 1;
    EXPECT_EQ(Wrapped(l, QStringLiteral("Итого -1 234 567,89 - в срок")),
              (QStringList{"Итого ", "-1 234 567,89 - ", "в срок"}));
    l.AutoStretch = false;
    // A figure wrapped onto a line below a box that does not stretch would
    // not print: the text stays one line.
    l.Size.Values[TRepPrintableSize::iHeight] = l.MinHeight();
    EXPECT_EQ(Wrapped(l, QStringLiteral("Итого -1 234 567,89")), QStringList{"Итого -1 234 567,89"});
    EXPECT_LT(l.PrintFont().pointSize(), l.Font.pointSize());
    l.AutoStretch = true;
    EXPECT_EQ(Wrapped(l, QStringLiteral("Итого -1 234 567,89")), (QStringList{"Итого ", "-1 234 567,89"}));
    l.AutoStretch = false;
    l.Size.Values[TRepPrintableSize::iHeight] = 40;
    // Without word wrap a text holding a figure is not cut: it stays one line.
    l.WordWrap = false;
    EXPECT_EQ(Wrapped(l, QStringLiteral("Начало = 1 000,00  Остаток = 2 000,00")),
              QStringList{"Начало = 1 000,00  Остаток = 2 000,00"});
    EXPECT_LT(l.PrintFont().pointSize(), l.Font.pointSize());
    // A text without figures wraps and cuts as before.
    EXPECT_EQ(Wrapped(l, QStringLiteral("один два три четыре")).size(), 1);
    EXPECT_NE(Wrapped(l, QStringLiteral("один два три четыре пять")).first(), QStringLiteral("один два три четыре пять"));
    EXPECT_EQ(&l.PrintFont(), &l.Font);
}

TEST(RepLabelWrap, AutoSizeFollowsTheWidestLineKeepingTheAlignedEdge)
{
    ListReport r;
    TRepBand &b = r.Add(rbDetail, 100);
    auto &right = Place<TRepLabel>(b, 1000, 0, 300, 10);
    right.SetAlignment(TAlignment::taRightJustify);
    auto &centre = Place<TRepLabel>(b, 1000, 0, 300, 10);
    centre.SetAlignment(TAlignment::taCenter);
    const QString text = QStringLiteral("короткая\rочень длинная строка");
    const double widest = r.report.TextWidth(right.Font, QStringLiteral("очень длинная строка"));
    right.SetCaption(text);
    centre.SetCaption(text);
    EXPECT_EQ(right.WrappedLines, (QStringList{"короткая", "очень длинная строка"}));
    EXPECT_DOUBLE_EQ(right.Size.Width(), widest);
    EXPECT_NEAR(right.Size.Left() + right.Size.Width(), 1300, 1e-9);
    EXPECT_NEAR(centre.Size.Left() + centre.Size.Width() / 2, 1150, 1);
    // The height grows to one line at least.
    EXPECT_GE(right.Size.Height(), right.MinHeight());
}

struct MemoReport : ListReport {
    TRepMemo *memo = nullptr;
    // A title filling the first page to 200 units above its bottom edge,
    // then a band holding a memo of n numbered lines.
    explicit MemoReport(int n, bool stretch)
    {
        Add(rbTitle, 2770 - 200);
        TRepBand &b = Add(rbSummary, 60);
        memo = &Place<TRepMemo>(b, 0, 0, 1500, 50);
        memo->AutoStretch = stretch;
        for (int i = 1; i <= n; ++i)
            memo->Lines << QStringLiteral("Строка памятки %1").arg(i);
    }
    QStringList AllTexts()
    {
        QStringList all;
        for (int p = 1; p <= printer().RecordedPages(); ++p)
            all << Texts(p);
        return all;
    }
};

TEST(RepLabelStretch, LinesLeftAtThePageBottomContinueOnTheNextPage)
{
    MemoReport r(300, true);
    r.Run();
    ASSERT_GE(r.printer().RecordedPages(), 3);
    QStringList expected;
    for (int i = 1; i <= 300; ++i)
        expected << QStringLiteral("Строка памятки %1").arg(i);
    EXPECT_EQ(r.AllTexts(), expected); // each once, in order
    // Page 2 starts with the first line not printed on page 1, at the top margin.
    const std::vector<PageText> p2 = r.Page(2);
    ASSERT_FALSE(p2.empty());
    EXPECT_EQ(p2[0].Text, QStringLiteral("Строка памятки %1").arg(r.Page(1).size() + 1));
    EXPECT_NEAR(p2[0].Y, 100, 5);
    // Lines follow one another by the font's line height (within a pixel).
    EXPECT_NEAR(p2[1].Y - p2[0].Y, TCustomBandReport::FontTextHeight(r.memo->Font), 254.0 / 96);

    MemoReport clipped(300, false);
    clipped.Run();
    EXPECT_EQ(clipped.printer().RecordedPages(), 1);
    const QStringList shown = clipped.AllTexts();
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_LT(shown.size(), 300);
    EXPECT_EQ(shown.last(), QStringLiteral("Строка памятки %1").arg(shown.size()));
}

TEST(RepLabelStretch, ALineTallerThanAnyPageEnds)
{
    ListReport r;
    TRepBand &b = r.Add(rbDetail, 60);
    auto &m = Place<TRepMemo>(b, 0, 0, 1500, 50);
    m.AutoStretch = true;
    QFont huge(QStringLiteral("Liberation Sans"));
    huge.setPixelSize(1200); // about 32 cm a line
    m.SetFont(huge);
    m.Lines = QStringList{"A", "B", "C"};
    r.Run();
    EXPECT_LE(r.printer().RecordedPages(), 4);
}

TEST(RepLabelExport, BackgroundShapeOnlyWhenOpaqueAndColouredAndEveryLineHandedOver)
{
    ListReport r;
    TRepBand &b = r.Add(rbTitle, 300);
    auto &coloured = Place<TRepMemo>(b, 0, 0, 500, 200);
    coloured.Color = clYellow;
    coloured.FontColor = clRed;
    coloured.Lines = QStringList{"один", "", "три"};
    auto &white = Place<TRepLabel>(b, 600, 0, 500, 50);
    white.SetCaption(QStringLiteral("белый"));
    auto &clear = Place<TRepLabel>(b, 1200, 0, 500, 50);
    clear.Color = clYellow;
    clear.Transparent = true;
    clear.SetCaption(QStringLiteral("прозрачный"));
    CallsFilter filter(QStringLiteral("x"));
    r.Run();
    // The empty line is not drawn on the page.
    EXPECT_EQ(r.Texts(1), (QStringList{"один", "три", "белый", "прозрачный"}));
    r.report.ExportToFilter(filter);
    const QStringList expected{QStringLiteral("shape 0 0,0 %1x%2 #00ffff"), "text один", "text ", "text три", "text белый",
                               "text прозрачный"};
    ASSERT_EQ(filter.Calls.size(), 6) << filter.Calls.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(filter.Calls[0].startsWith(QStringLiteral("shape 0 38,38 ")));
    EXPECT_TRUE(filter.Calls[0].endsWith(QStringLiteral("#00ffff")));
    EXPECT_EQ(filter.Calls.mid(1), expected.mid(1));
    EXPECT_EQ(filter.FontColors[0], clRed);
}

TEST(RepDBText, FieldsPrintByKindAndMaskAndMissingFieldsPrintNothing)
{
    ListReport r;
    r.Rows(2);
    TRepBand &b = r.Add(rbDetail, 60);
    auto field = [&](const char *name, const char *mask, double left) -> TRepDBText & {
        auto &t = Place<TRepDBText>(b, left, 0, 300, 40);
        t.DataSet = r.table.get();
        t.SetDataField(QString::fromLatin1(name));
        t.Mask = QString::fromLatin1(mask);
        return t;
    };
    field("nm", "#", 0);
    field("amt", "#,##0.00", 400);
    field("qty", "000", 800);
    field("missing", "", 1200);
    r.table->First();
    r.table->Edit();
    r.table->FieldByName(QStringLiteral("amt"))->SetAsFloat(1234.5);
    r.table->Post();
    r.Run();
    EXPECT_EQ(r.Texts(1), (QStringList{"Строка 1", FormatFloat(QStringLiteral("#,##0.00"), 1234.5), "000", "Строка 2",
                                       "2,00", "000"}));
    EXPECT_TRUE(r.Texts(1)[1].startsWith(QStringLiteral("1"))); // grouped: 1 234,50
    EXPECT_TRUE(r.Texts(1)[1].endsWith(QStringLiteral("234,50")));
    // After the run the captions show the field names again.
    EXPECT_EQ(static_cast<TRepDBText &>(*b.Printables()[1]).Caption(), QStringLiteral("amt"));
}

TEST(RepDBText, MemoFieldsPrintTheirLines)
{
    ListReport r;
    auto table = std::make_unique<TVemtMemTable>();
    table->FieldDefs().Add(QStringLiteral("m"), ftMemo);
    table->Open();
    table->Append();
    table->FieldByName(QStringLiteral("m"))->SetAsString(QStringLiteral("первая\r\nвторая\nтретья"));
    table->Post();
    r.report.MainController.DataSet = table.get();
    TRepBand &b = r.Add(rbDetail, 60);
    auto &t = Place<TRepDBText>(b, 0, 0, 800, 40);
    t.DataSet = table.get();
    t.SetDataField(QStringLiteral("m"));
    t.AutoStretch = true;
    r.Run();
    EXPECT_EQ(r.Texts(1), (QStringList{"первая", "вторая", "третья"}));
}

TEST(RepExprPrintable, GroupTotalsWithResetMasksAndBooleans)
{
    ListReport r;
    r.Rows(6, 3); // qty 0,0,0,1,1,1
    auto &g = static_cast<TRepGroup &>(r.report.AddBand(std::make_unique<TRepGroup>()));
    g.Expression = QStringLiteral("qty");
    g.Size.Length = 40;
    g.Size.Width = 1900;
    TRepBand &detail = r.Add(rbDetail, 40);
    detail.Add(Expr(QStringLiteral("nm"), 0, 0));
    TRepBand &footer = r.Add(rbGroupFooter, 40);
    g.FooterBand = &footer;
    auto &sum = Place<TRepExpr>(footer, 0, 0, 400, 40);
    sum.SetExpression(QStringLiteral("Sum(amt)"));
    sum.Mask = QStringLiteral("#,###,###,##0.00#");
    sum.ResetAfterPrint = true;
    auto &flag = Place<TRepExpr>(footer, 500, 0, 400, 40);
    flag.SetExpression(QStringLiteral("qty = 0"));
    r.Run();
    const QStringList t = r.Texts(1);
    // 1+2+3 and 4+5+6; the comparison of the last record of each group.
    EXPECT_TRUE(t.contains(QStringLiteral("6,00"))) << t.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(t.contains(QStringLiteral("15,00")));
    EXPECT_EQ(t.count(QStringLiteral("True")), 1);
    EXPECT_EQ(t.count(QStringLiteral("False")), 1);
    EXPECT_EQ(sum.Caption(), QStringLiteral("Sum(amt)"));
}

TEST(RepSysDataPrintable, PageNumbersCountsDatesAndTitle)
{
    TFaultEnv env;
    TSysEnvScope scope(env);
    env.SetNow(QDateTime(QDate(2026, 3, 14), QTime(9, 5, 0)));
    ListReport r;
    r.Rows(3);
    r.report.ReportTitle = QStringLiteral("Итоги");
    r.report.Options |= unsigned(TBandReportOption::LastPageFooter);
    TRepBand &detail = r.Add(rbDetail, 50);
    auto &no = Place<TRepSysData>(detail, 0, 0, 300, 40);
    no.SetData(qrsDetailNo);
    no.SetText(QStringLiteral("№"));
    auto &count = Place<TRepSysData>(detail, 400, 0, 300, 40);
    count.SetData(qrsDetailCount);
    TRepBand &footer = r.Add(rbPageFooter, 50);
    auto &page = Place<TRepSysData>(footer, 0, 0, 300, 40);
    page.SetData(qrsPageNumber);
    page.SetText(QStringLiteral("Стр. "));
    auto &date = Place<TRepSysData>(footer, 400, 0, 300, 40);
    date.SetData(qrsDate);
    auto &title = Place<TRepSysData>(footer, 800, 0, 300, 40);
    title.SetData(qrsReportTitle);
    r.Run();
    EXPECT_EQ(r.Texts(1), (QStringList{"№1", "3", "№2", "3", "№3", "3", "Стр. 1", "14.03.2026", "Итоги"}));
    EXPECT_EQ(TRepSysData().Caption(), QStringLiteral("(Time)"));

    // An open dataset without records counts none (the detail band still
    // prints once).
    r.table->EmptyTable();
    r.Run();
    ASSERT_GE(r.Texts(1).size(), 2);
    EXPECT_EQ(r.Texts(1)[1], QStringLiteral("0"));

    // Without an open dataset the record count is 1.
    r.table->Close();
    r.Run();
    EXPECT_TRUE(r.Texts(1).contains(QStringLiteral("1")));
}

} // namespace
} // namespace zorbel::test
