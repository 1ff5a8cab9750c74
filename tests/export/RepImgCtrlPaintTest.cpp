// The design views of the extra printables on a report's design surface,
// and a whole layout of bands and printables as the surface shows it.
#include "export/RepImgCtrl.h"

#include "platform/dataset/DataSet.h"
#include "report/RepCtrls.h"
#include "support/SurfacePixels.h"

#include <QDir>
#include <QPainter>
#include <gtest/gtest.h>

using namespace zorbel;
using namespace zorbel::test;

namespace {

// A report in pixels-friendly numbers: no margins, one detail band 400 x 200 px.
struct TSurface {
    TBandReport Report;
    TRepBand *Detail;
    TSurface()
    {
        for (int i : {TRepPage::iTopMargin, TRepPage::iBottomMargin, TRepPage::iLeftMargin, TRepPage::iRightMargin})
            Report.Page.Values[i] = 0;
        Report.Page.SetRuler(false);
        auto band = std::make_unique<TRepBand>(rbDetail);
        band->Size.Width = Tenths(400);
        band->Size.Length = Tenths(200);
        Detail = &Report.AddBand(std::move(band));
        Report.ArrangeBands();
    }
    static double Tenths(int pixels) { return pixels * 254.0 / ScreenPixelsPerInch; }
    template <class T> T &Place(int left, int top, int width, int height, TRepBand *band = nullptr)
    {
        T &c = (band ? band : Detail)->Add(std::make_unique<T>());
        c.Size.Values[TRepPrintableSize::iLeft] = Tenths(left);
        c.Size.Values[TRepPrintableSize::iTop] = Tenths(top);
        c.Size.Values[TRepPrintableSize::iWidth] = Tenths(width);
        c.Size.Values[TRepPrintableSize::iHeight] = Tenths(height);
        return c;
    }
    QImage Render() { return RenderSurface(Report); }
};

TEST(RepImgCtrlDesign, RuleAndVectorShapeDrawTheirFigures)
{
    TSurface s;
    auto &rule = s.Place<TRepHRule>(10, 10, 100, 10);
    rule.Pen.Color = clRed;
    auto &box = s.Place<TRepPDFShape>(150, 10, 60, 40);
    box.Brush.Style = TBrushStyle::bsClear;
    auto &vertical = s.Place<TRepPDFShape>(250, 10, 40, 40);
    vertical.ShapeType = TRepShape::qrsVertLine;
    auto &round = s.Place<TRepPDFShape>(300, 10, 40, 40);
    round.ShapeType = TRepShape::qrsRoundRect;
    const QImage img = s.Render();

    // The rule: across the middle row (10 / 2 = 5), the whole width.
    EXPECT_EQ(Count(img, QRect(10, 15, 100, 1), clRed), 100);
    EXPECT_EQ(Count(img, QRect(10, 14, 100, 1), clRed), 0);
    // The rectangle starts inside the pen's width.
    EXPECT_EQ(img.pixel(151, 30), Rgb(clBlack));
    EXPECT_EQ(img.pixel(150, 30), Rgb(clWhite));
    EXPECT_EQ(img.pixel(209, 30), Rgb(clBlack));
    EXPECT_EQ(img.pixel(180, 30), Rgb(clWhite));
    // A vertical line through the middle; a rounded rectangle draws nothing.
    EXPECT_EQ(Count(img, QRect(270, 10, 1, 40), clBlack), 40);
    EXPECT_EQ(Dark(img, QRect(301, 11, 38, 38)), 0);
}

TEST(RepImgCtrlDesign, PicturesAreOutlinedAndPlacedAsTheyPrint)
{
    TSurface s;
    QImage red(20, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    TRepPicture picture;
    picture.Bitmap = red;
    auto &centred = s.Place<TRepGrImage>(10, 10, 100, 100);
    centred.Center = true;
    centred.SetPicture(picture);
    auto &stretched = s.Place<TRepGrImage>(150, 10, 100, 100);
    stretched.Stretch = true;
    stretched.SetPicture(picture);
    QImage img = s.Render();
    EXPECT_EQ(Count(img, QRect(10, 10, 100, 100), clRed), 400);
    EXPECT_EQ(img.pixel(10 + 40, 10 + 40), Rgb(clRed));
    EXPECT_EQ(img.pixel(10 + 59, 10 + 59), Rgb(clRed));
    EXPECT_NE(img.pixel(10 + 39, 10 + 39), Rgb(clRed));
    // The dashed outline: dashes along the top edge, not a solid line.
    const int dashes = Count(img, QRect(10, 10, 100, 1), clBlack);
    EXPECT_GT(dashes, 30);
    EXPECT_LT(dashes, 95);
    EXPECT_GT(Count(img, QRect(151, 11, 98, 98), clRed), 98 * 98 - 10);

    // At 200 % the picture keeps its corner and doubles.
    centred.Center = false;
    s.Report.SetZoom(200);
    img = s.Render();
    EXPECT_EQ(Count(img, QRect(20, 20, 200, 200), clRed), 40 * 40);
}

TEST(RepImgCtrlDesign, DatabasePictureAndLinkLabelShowTheirText)
{
    TSurface s;
    auto &image = s.Place<TRepGrDBImage>(10, 10, 150, 60);
    image.Name = QStringLiteral("Photo");
    image.Color = clYellow;
    auto &link = s.Place<TRepCustomHTMLLabel>(200, 10, 150, 30);
    link.AutoSize = false;
    link.Font.setPointSize(12);
    link.SetCaption(QStringLiteral("Сайт"));
    QImage img = s.Render();
    // "(Photo)" centred on the colour.
    EXPECT_EQ(img.pixel(12, 12), Rgb(clYellow));
    EXPECT_GT(Dark(img, QRect(60, 30, 50, 20)), 20);
    EXPECT_EQ(Dark(img, QRect(12, 12, 30, 15)), 0);
    // The link label: left aligned, then right aligned.
    const QRect left(201, 11, 60, 28), right(289, 11, 60, 28);
    EXPECT_GT(Dark(img, left), 20);
    EXPECT_EQ(Dark(img, right), 0);
    link.SetAlignment(TAlignment::taRightJustify);
    img = s.Render();
    EXPECT_EQ(Dark(img, left), 0);
    EXPECT_GT(Dark(img, right), 20);
    // While printing, design views draw nothing.
    link.PrintingNow = image.PrintingNow = true;
    img = s.Render();
    EXPECT_EQ(Dark(img, right), 0);
    EXPECT_NE(img.pixel(12, 12), Rgb(clYellow));
}

// A layout of every band kind the program uses and each kind of printable,
// as the design surface shows it (saved when ZORBEL_SCREENSHOTS names a folder).
TEST(RepImgCtrlDesign, WholeLayoutOnTheSurface)
{
    TBandReport r;
    r.Page.SetPaperSize(rpA4);
    const auto band = [&r](TRepBandType type, int pixels) -> TRepBand & {
        auto b = std::make_unique<TRepBand>(type);
        b->Size.Width = TSurface::Tenths(718);
        b->Size.Length = TSurface::Tenths(pixels);
        return r.AddBand(std::move(b));
    };
    TRepBand &header = band(rbPageHeader, 40), &title = band(rbTitle, 90), &columns = band(rbColumnHeader, 34),
             &detail = band(rbDetail, 30), &summary = band(rbSummary, 50), &footer = band(rbPageFooter, 40);
    TSurface place; // only for its placing helper
    const auto label = [&](TRepBand &b, int left, int top, int width, const QString &text) -> TRepLabel & {
        auto &l = place.Place<TRepLabel>(left, top, width, 20, &b);
        l.AutoSize = false;
        l.Font.setPointSize(10);
        l.SetCaption(text);
        return l;
    };
    {
        TRepLabel &big = label(title, 200, 10, 320, QStringLiteral("Итоги по категориям"));
        QFont f = big.Font;
        f.setPointSize(16);
        big.SetFont(f);
    }
    label(title, 200, 50, 320, QStringLiteral("за период с 01.01.2026 по 31.12.2026"));
    auto &sys = place.Place<TRepSysData>(560, 10, 150, 20, &header);
    sys.SetData(qrsPageNumber);
    sys.SetText(QStringLiteral("Стр. "));
    label(columns, 4, 8, 300, QStringLiteral("Категория"));
    label(columns, 560, 8, 150, QStringLiteral("Сумма")).SetAlignment(TAlignment::taRightJustify);
    auto &hr = place.Place<TRepHRule>(0, 28, 718, 6, &columns);
    hr.Pen.Width = 2;
    auto &field = place.Place<TRepDBText>(4, 5, 300, 20, &detail);
    field.SetDataField(QStringLiteral("cat"));
    auto &amount = place.Place<TRepExpr>(560, 5, 150, 20, &detail);
    amount.SetExpression(QStringLiteral("Sum(amt)"));
    amount.SetCaption(QStringLiteral("Sum(amt)"));
    amount.Frame.DrawBottom = true;
    auto &shape = place.Place<TRepShape>(4, 3, 710, 30, &summary);
    shape.Brush.Style = TBrushStyle::bsClear;
    label(summary, 12, 8, 200, QStringLiteral("Всего"));
    auto &logo = place.Place<TRepGrDBImage>(10, 5, 120, 80, &title);
    logo.Name = QStringLiteral("Logo");
    logo.Color = RGB(230, 240, 255);
    auto &link = place.Place<TRepCustomHTMLLabel>(10, 3, 250, 18, &footer);
    link.AutoSize = false;
    link.SetCaption(QStringLiteral("Zorbel — домашние финансы"));
    auto &vector = place.Place<TRepPDFShape>(600, 5, 100, 30, &footer);
    vector.ShapeType = TRepShape::qrsTopAndBottom;
    r.ArrangeBands();

    const QImage img = RenderSurface(r);
    // The bands stack from the top margin in print order.
    EXPECT_EQ(header.Bounds().top(), 38);
    EXPECT_EQ(title.Bounds().top(), 78);
    EXPECT_EQ(footer.Bounds().top(), 78 + 90 + 34 + 30 + 50);
    // Each band's caption and contents are on the image.
    for (const TRepBand *b : {&header, &title, &columns, &detail, &summary, &footer})
        EXPECT_GT(Dark(img, b->Bounds().adjusted(1, 1, -1, -1)), 20) << RepBandTypeName(b->BandType).toStdString();
    EXPECT_GT(Dark(img, QRect(QPoint(38 + 200, 78 + 10), QSize(320, 30))), 100) << "the title";
    if (const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS"); !dir.isEmpty())
        img.copy(0, 0, 794, 400).save(QDir(dir).filePath(QStringLiteral("report-design-layout.png")));
}

} // namespace
