// The PDF export filter driven by real report runs: pages, text positions
// and alignment, colours, band backgrounds and frames, and what it skips.
#include "export/RepPDFFilt.h"

#include "PdfReportSupport.h"
#include "report/RepCtrls.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zorbel;
using namespace zorbel::test;

namespace {

QFont Arial(int size = 10)
{
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(size);
    return f;
}

} // namespace

TEST(PdfFilter, ListReportBecomesAPdfWithItsPagesAndTextsInOrder)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.pdf"));
    ListReport r;
    r.report.Font = Arial();
    r.Rows(120);
    r.Add(rbTitle, 200).Add(Text(QStringLiteral("Отчёт за март"), 0, 0));
    r.Add(rbPageHeader, 100).Add(Text(QStringLiteral("Шапка"), 0, 0));
    r.Add(rbDetail, 50).Add(Expr(QStringLiteral("nm"), 100, 0));
    r.Run();
    const int pages = r.printer().RecordedPages();
    ASSERT_GE(pages, 3);

    TRepPDFDocumentFilter filter(path);
    r.report.ExportToFilter(filter);
    KeepForLooking(path, QStringLiteral("list.pdf"));
    QString report;
    ASSERT_TRUE(QpdfClean(path, &report)) << report.toStdString();
    EXPECT_TRUE(PdfInfo(path).contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages))));
    // A4 in points.
    EXPECT_TRUE(PdfInfo(path).contains(QStringLiteral("595 x 842 pts")));
    EXPECT_EQ(filter.Writer().PageCount(), pages); // the first page break is swallowed

    const QString text = PdfText(path);
    EXPECT_EQ(text.count(u'\f'), pages);
    qsizetype at = text.indexOf(QStringLiteral("Отчёт за март"));
    EXPECT_GE(at, 0);
    for (int i = 1; i <= 120; ++i) {
        const qsizetype next = text.indexOf(QStringLiteral("Строка %1\n").arg(i), at);
        ASSERT_GT(next, at) << i;
        at = next;
    }

    // Positions as the preview has them: the header at the top margin, the
    // first detail after the header and the title, 10 mm further right.
    const std::vector<PdfWord> words = PdfWords(path);
    const PdfWord *head = FindWord(words, QStringLiteral("Шапка"), 1);
    ASSERT_TRUE(head);
    EXPECT_NEAR(head->XMin, Points(100), 2);
    EXPECT_NEAR(head->YMin, Points(100), 3);
    const PdfWord *first = FindWord(words, QStringLiteral("Строка"), 1);
    ASSERT_TRUE(first);
    EXPECT_NEAR(first->XMin, Points(200), 2);
    EXPECT_NEAR(first->YMin, Points(400), 3);
}

TEST(PdfFilter, AlignedTextsEndOrCentreWhereTheReportPutThem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("align.pdf"));
    ListReport r;
    r.report.Font = Arial(12);
    r.Rows(1);
    auto &band = r.Add(rbDetail, 300);
    band.Add(Text(QStringLiteral("Left"), 1000, 0));
    band.Add(Text(QStringLiteral("Right"), 1000, 100)).Alignment = TAlignment::taRightJustify;
    band.Add(Text(QStringLiteral("Centre"), 1000, 200)).Alignment = TAlignment::taCenter;
    r.Run();
    TRepPDFDocumentFilter filter(path);
    r.report.ExportToFilter(filter);
    ASSERT_TRUE(QpdfClean(path));
    const std::vector<PdfWord> words = PdfWords(path);
    const double x = Points(100 + 1000);
    const PdfWord *left = FindWord(words, QStringLiteral("Left"));
    const PdfWord *right = FindWord(words, QStringLiteral("Right"));
    const PdfWord *centre = FindWord(words, QStringLiteral("Centre"));
    ASSERT_TRUE(left && right && centre);
    EXPECT_NEAR(left->XMin, x, 1.5);
    EXPECT_NEAR(right->XMax, x, 2);
    EXPECT_NEAR((centre->XMin + centre->XMax) / 2, x, 2);
}

TEST(PdfFilter, TextColoursAndBandBackgroundsAndFramesShow)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("colour.pdf"));
    ListReport r;
    r.report.Font = Arial(12);
    r.Rows(1);
    auto &band = r.Add(rbDetail, 300);
    band.TransparentBand = false;
    band.Color = clYellow;
    band.Frame.DrawTop = band.Frame.DrawBottom = band.Frame.DrawLeft = band.Frame.DrawRight = true;
    band.Frame.Color = clBlue;
    band.Frame.Width = 2;
    band.Add(Text(QStringLiteral("In the band"), 100, 100));
    r.Run();
    TRepPDFDocumentFilter filter(path);
    r.report.ExportToFilter(filter);
    ASSERT_TRUE(QpdfClean(path));
    KeepForLooking(path, QStringLiteral("colour.pdf"));
    // The band: 1900 x 300 tenths from (100, 100), yellow inside a blue frame.
    const QImage p = RenderPdfPage(path);
    EXPECT_TRUE(PixelNear(p, int(Points(1500)), int(Points(130)), Qt::yellow));
    EXPECT_TRUE(PixelNear(p, int(Points(1500)), int(Points(101)), Qt::blue));
    EXPECT_TRUE(PixelNear(p, int(Points(101)), int(Points(250)), Qt::blue));
    EXPECT_TRUE(PixelNear(p, int(Points(1500)), int(Points(90)), Qt::white));
    EXPECT_TRUE(PdfText(path).contains(QStringLiteral("In the band")));

    // A font colour reaches the page; a system colour counts by its low 24 bits.
    TRepPDFDocumentFilter direct(dir.filePath(QStringLiteral("direct.pdf")));
    direct.BeginDocument(2100, 2970, Arial());
    direct.PutText(100, 100, Arial(), clRed, 0, TAlignment::taLeftJustify, QStringLiteral("red"));
    direct.PutText(100, 200, Arial(), clBtnFace, 0, TAlignment::taLeftJustify, QStringLiteral("system"));
    const QStringList lines = direct.Writer().PageTextLines(0);
    EXPECT_EQ(lines[0], QStringLiteral("1.00 0.00 0.00 rg"));
    EXPECT_EQ(lines[3], QStringLiteral("0.06 0.00 0.00 rg"));
}

TEST(PdfFilter, ControlsItDoesNotKnowAreSkipped)
{
    TRepPDFDocumentFilter filter{QString()};
    filter.BeginDocument(2100, 2970, Arial());
    TRepPrintable unknown;
    unknown.Size.Values[TRepPrintableSize::iWidth] = 50;
    unknown.Size.Values[TRepPrintableSize::iHeight] = 50;
    filter.PutGraphic(unknown, 10, 10);
    EXPECT_EQ(filter.Writer().PageCount(), 0);
    // An empty document is still a whole one.
    const QByteArray pdf = filter.Writer().BuildPdfDocument();
    EXPECT_TRUE(pdf.contains("/Count 1"));
    EXPECT_TRUE(filter.Writer().PageGraphicsLines(0).isEmpty());
}

TEST(PdfFilter, TheReportsOwnLabelsShapesAndPicturesShow)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("printables.pdf"));
    ListReport r;
    r.Rows(1);
    TRepBand &band = r.Add(rbDetail, 600);
    auto &label = band.Add(std::make_unique<TRepLabel>());
    label.SetFont(Arial(14));
    label.FontColor = clRed;
    label.SetCaption(QStringLiteral("Расходы"));
    label.Size.Values[TRepPrintableSize::iLeft] = 0;
    label.Size.Values[TRepPrintableSize::iTop] = 0;
    auto &shape = band.Add(std::make_unique<TRepShape>());
    shape.Shape = TRepShape::qrsRoundRect;
    shape.Brush.Color = clAqua;
    shape.Size.Values[TRepPrintableSize::iLeft] = 600;
    shape.Size.Values[TRepPrintableSize::iTop] = 0;
    shape.Size.Values[TRepPrintableSize::iWidth] = 400;
    shape.Size.Values[TRepPrintableSize::iHeight] = 200;
    auto &image = band.Add(std::make_unique<TRepImage>());
    QImage green(10, 10, QImage::Format_RGB32);
    green.fill(Qt::green);
    image.Picture.Bitmap = green;
    image.Center = true;
    image.Size.Values[TRepPrintableSize::iLeft] = 1200;
    image.Size.Values[TRepPrintableSize::iTop] = 0;
    image.Size.Values[TRepPrintableSize::iWidth] = 200;
    image.Size.Values[TRepPrintableSize::iHeight] = 200;
    r.Run();
    TRepPDFDocumentFilter filter(path);
    r.report.ExportToFilter(filter);
    KeepForLooking(path, QStringLiteral("printables.pdf"));
    KeepForLooking(PreviewPage(r.printer(), 1), QStringLiteral("printables-preview.png"));
    QString report;
    ASSERT_TRUE(QpdfClean(path, &report)) << report.toStdString();
    EXPECT_TRUE(PdfText(path).contains(QStringLiteral("Расходы")));
    const QImage p = RenderPdfPage(path, 1, 96);
    auto px = [](double tenths) { return int(std::lround(tenths * 96 / 254)); };
    // Red letters somewhere in the label's first line.
    int red = 0;
    for (int x = px(100); x < px(600); ++x)
        for (int y = px(100); y < px(160); ++y)
            red += PixelNear(p, x, y, Qt::red, 60);
    EXPECT_GT(red, 20);
    EXPECT_TRUE(PixelNear(p, px(100 + 800), px(100 + 100), Qt::cyan));
    EXPECT_TRUE(PixelNear(p, px(100 + 600), px(100), Qt::white, 60)); // rounded corner
    // The picture at its natural 10 x 10 pixels in the middle of its box.
    EXPECT_TRUE(PixelNear(p, px(100 + 1300), px(100 + 100), Qt::green));
    EXPECT_TRUE(PixelNear(p, px(100 + 1200) + 3, px(100) + 3, Qt::white));
}
