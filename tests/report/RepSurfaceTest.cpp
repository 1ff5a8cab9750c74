// The report design surface: what it paints where (margins, grid, band
// outlines and captions, printables, the first page picture, the report's
// frame, column gaps), repaint requests, moving and sizing controls in
// pixels, loading a layout, the children written with a report.
#include "RepReportSupport.h"
#include "platform/canvas/Metafile.h"
#include "support/SurfacePixels.h"
#include "report/RepCtrls.h"
#include "report/RepDesign.h"
#include "report/RepDesignView.h"
#include "platform/widgets/ModalScript.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

// A4 portrait, 10 mm margins, millimetres: 794 x 1123 pixels, margins at 38.
// Title 192 px high at (38, 38), detail 96 px high below it at (38, 230),
// both 718 px wide; a plain printable 96 x 48 px at 96 px into the detail.
struct TLayout {
    TBandReport Report;
    TRepBand *Title, *Detail;
    TTestText *Box;

    TLayout()
    {
        Report.Page.SetPaperSize(rpA4);
        for (int i : {TRepPage::iTopMargin, TRepPage::iBottomMargin, TRepPage::iLeftMargin, TRepPage::iRightMargin})
            Report.Page.Values[i] = 100;
        Detail = &Report.AddBand(Band(rbDetail, 254, 1900));
        Title = &Report.AddBand(Band(rbTitle, 508, 1900));
        Box = &Detail->Add(Text(QString(), 254, 0, 254, 127));
        Report.SetUnits(TRepUnit::MM);
        Report.ArrangeBands();
    }
    QImage Render() { return RenderSurface(Report); }
};

TEST(RepDesignSurface, ColoursFollowTheScreenColourCount)
{
    const TRepDesignColours high = ChooseDesignColours(-1), many = ChooseDesignColours(257),
                            few = ChooseDesignColours(256);
    EXPECT_EQ(many.Margin.Color, high.Margin.Color);
    EXPECT_EQ(high.Margin.Style, TPenStyle::psDot);
    EXPECT_EQ(high.Margin.Color, 16744576);
    EXPECT_EQ(few.Margin.Style, TPenStyle::psDash);
    EXPECT_EQ(few.Margin.Color, 8421504);
    EXPECT_EQ(high.GridMinor.Style, TPenStyle::psSolid);
    EXPECT_EQ(few.GridMinor.Style, TPenStyle::psDot);
    EXPECT_EQ(high.BandOutline.Color, 6316128);
    EXPECT_EQ(few.BandOutline.Style, TPenStyle::psSolid);
    EXPECT_EQ(high.LabelFont.pointSize(), 6);
    EXPECT_EQ(few.LabelColor, 12632256);
    // The offscreen screen is deep.
    EXPECT_EQ(DesignColours().Margin.Color, 16744576);
}

TEST(RepDesignSurface, PaintsMarginsGridBandsAndPrintablesWhereTheyLie)
{
    TLayout l;
    ASSERT_EQ(l.Report.PixelSize(), QSize(794, 1123));
    EXPECT_EQ(l.Title->Bounds(), QRect(38, 38, 718, 192));
    EXPECT_EQ(l.Detail->Bounds(), QRect(38, 230, 718, 96));
    const QImage img = l.Render();
    const TRepDesignColours &c = DesignColours();

    // The page is painted all over (the image starts black).
    for (QPoint p : {QPoint(1, 1), QPoint(792, 1121), QPoint(600, 600), QPoint(1, 1121), QPoint(792, 1)})
        EXPECT_EQ(img.pixel(p), Rgb(clWhite)) << p.x() << "," << p.y();

    // The margin rectangle: dotted lines on columns 38 and 755 and row 1084,
    // below the bands; nothing of its colour beside them.
    EXPECT_GT(Count(img, QRect(38, 400, 1, 600), c.Margin.Color), 150);
    EXPECT_GT(Count(img, QRect(755, 400, 1, 600), c.Margin.Color), 150);
    EXPECT_GT(Count(img, QRect(100, 1084, 600, 1), c.Margin.Color), 150);
    EXPECT_EQ(Count(img, QRect(39, 400, 716, 600), c.Margin.Color), 0);
    EXPECT_EQ(Count(img, QRect(0, 0, 37, 1123), c.Margin.Color), 0);

    // The millimetre grid: a line every 5 mm, the 10 mm ones darker.
    EXPECT_EQ(img.pixel(19, 5), Rgb(c.GridMinor.Color));  // 5 mm
    EXPECT_EQ(img.pixel(57, 5), Rgb(c.GridMinor.Color));  // 15 mm
    EXPECT_EQ(img.pixel(76, 5), Rgb(c.GridMajor.Color));  // 20 mm
    EXPECT_EQ(img.pixel(76, 700), Rgb(c.GridMajor.Color));
    EXPECT_EQ(img.pixel(20, 5), Rgb(clWhite));

    // Band outlines: dotted along each band's top edge, inside white.
    EXPECT_GT(Count(img, QRect(40, 38, 700, 1), c.BandOutline.Color), 200);
    EXPECT_GT(Count(img, QRect(40, 230, 700, 1), c.BandOutline.Color), 200);
    EXPECT_GT(Count(img, QRect(38, 40, 1, 180), c.BandOutline.Color), 50);
    EXPECT_EQ(Count(img, QRect(40, 39, 700, 1), c.BandOutline.Color), 0);

    // Each band's kind name at its bottom left, nothing further right.
    const int th = [] {
        TCanvas m;
        m.Font = DesignColours().LabelFont;
        return m.TextHeight(QStringLiteral("W"));
    }();
    const QRect titleCaption(40, 38 + 192 - th - 4, 40, th);
    EXPECT_GT(Dark(img, titleCaption), 5);
    EXPECT_EQ(Dark(img, titleCaption.translated(300, 0)), 0);
    EXPECT_GT(Dark(img, QRect(40, 230 + 96 - th - 4, 40, th)), 5);
    EXPECT_EQ(Dark(img, QRect(40, 60, 300, 100)), 0);

    // The printable: white with an L of three black pixels in each corner.
    const QPoint box(38 + 96, 230);
    for (QPoint p : {QPoint(0, 0), QPoint(2, 0), QPoint(0, 2), QPoint(95, 0), QPoint(93, 0), QPoint(95, 2),
                     QPoint(0, 47), QPoint(0, 45), QPoint(2, 47), QPoint(95, 47), QPoint(93, 47), QPoint(95, 45)})
        EXPECT_EQ(img.pixel(box + p), Rgb(clBlack)) << p.x() << "," << p.y();
    for (QPoint p : {QPoint(3, 0), QPoint(0, 3), QPoint(1, 1), QPoint(92, 0), QPoint(48, 24)})
        EXPECT_NE(img.pixel(box + p), Rgb(clBlack)) << p.x() << "," << p.y();

    // A disabled band is silver.
    l.Title->Enabled = false;
    EXPECT_EQ(l.Render().pixel(300, 100), Rgb(clSilver));
}

TEST(RepDesignSurface, FrameColumnGapsAndFirstPagePicture)
{
    TLayout l;
    l.Report.Frame.DrawBottom = true;
    l.Report.Frame.Color = clRed;
    l.Report.Page.SetColumns(2);
    l.Report.Page.Values[TRepPage::iColumnSpace] = 100; // 38 px
    QImage img = l.Render();
    // The report's frame runs along the bottom margin.
    EXPECT_GT(Count(img, QRect(38, 1084, 718, 1), clRed), 700);
    EXPECT_EQ(Count(img, QRect(0, 1085, 794, 38), clRed), 0);
    // Two columns of 340 px: the gap from 378 to 416, marked above the top margin.
    const TColor margin = DesignColours().Margin.Color;
    EXPECT_GT(Count(img, QRect(378, 0, 1, 38), margin), 8);
    EXPECT_GT(Count(img, QRect(416, 0, 1, 38), margin), 8);
    EXPECT_EQ(Count(img, QRect(379, 0, 37, 37), margin), 0);

    // A picture of the first page lies under the grid and the bands.
    TMetafileRecorder rec(100, 100);
    TCanvas canvas;
    canvas.BeginRecording(&rec);
    canvas.Brush = {clLime, TBrushStyle::bsSolid};
    canvas.FillRect(QRect(0, 0, 100, 100));
    l.Report.FirstPagePicture = rec.Finish();
    img = l.Render();
    EXPECT_EQ(img.pixel(600, 600), Rgb(clLime));
    EXPECT_EQ(img.pixel(5, 1110), Rgb(clLime));
    EXPECT_EQ(img.pixel(300, 100), Rgb(clWhite)) << "bands cover it";
    // A change drops it.
    l.Report.Changed();
    EXPECT_TRUE(l.Report.FirstPagePicture.Empty());
    EXPECT_EQ(l.Render().pixel(600, 600), Rgb(clWhite));
}

TEST(RepDesignSurface, ChangedRepaintsOnceUntilTheNextPaint)
{
    TLayout l;
    int repaints = 0;
    l.Report.OnRepaint = [&] { ++repaints; };
    l.Report.Changed();
    l.Report.Changed();
    EXPECT_EQ(repaints, 1);
    EXPECT_TRUE(l.Report.RepaintPending());
    l.Render();
    EXPECT_FALSE(l.Report.RepaintPending());
    l.Report.Changed();
    EXPECT_EQ(repaints, 2);

    // Moving a printable or a band asks for a repaint too.
    l.Box->SetBounds(10, 10, 50, 20);
    EXPECT_EQ(repaints, 3);
    l.Detail->SetBounds(38, 230, 718, 50);
    EXPECT_EQ(repaints, 4);
}

TEST(RepDesignSurface, PageChangesRearrangeTheBands)
{
    TLayout l;
    int repaints = 0;
    l.Report.OnRepaint = [&] { ++repaints; };
    l.Report.Page.SetMeasure(TRepPage::iTopMargin, 20); // mm
    EXPECT_EQ(l.Title->Bounds().top(), 76);
    EXPECT_EQ(l.Detail->Bounds().top(), 76 + 192);
    EXPECT_EQ(repaints, 1);
    l.Report.Page.SetColumns(2);
    l.Report.Page.SetColumns(2);
    l.Report.Page.SetColumns(0);
    EXPECT_EQ(repaints, 2) << "only a real change of columns";
    // Switching the grid repaints and gives every measure the report's unit again.
    l.Box->Size.SetUnits(TRepUnit::Native);
    l.Report.Page.SetRuler(false);
    l.Report.Page.SetRuler(false);
    EXPECT_EQ(repaints, 3) << "only a real change of the grid";
    EXPECT_EQ(l.Box->Size.GetUnits(), TRepUnit::MM);
    l.Report.Page.SetOrientation(poLandscape);
    EXPECT_EQ(l.Report.PixelSize(), QSize(1123, 794));

    // While a run walks the bands the surface leaves them alone.
    l.Report.Available = false;
    l.Report.Page.SetMeasure(TRepPage::iTopMargin, 10);
    EXPECT_EQ(l.Title->Bounds().top(), 76);
    l.Report.Available = true;
    l.Report.ArrangeBands();
    EXPECT_EQ(l.Title->Bounds().top(), 38);
}

TEST(RepDesignSurface, PrintableBoundsGoIntoSizeInTheReportUnit)
{
    TLayout l;
    l.Box->SetBounds(10, 20, 100, 30);
    EXPECT_EQ(l.Box->BoundsRect(), QRect(10, 20, 100, 30));
    EXPECT_EQ(l.Box->Size.GetUnits(), TRepUnit::MM) << "the unit is restored";
    EXPECT_NEAR(l.Box->Size.Left(), 10 * 25.4 / 96, 1e-9);
    EXPECT_NEAR(l.Box->Size.Width(), 100 * 25.4 / 96, 1e-9);
    EXPECT_NEAR(l.Box->Size.Values[TRepPrintableSize::iHeight], 30 * 254.0 / 96, 1e-9);

    // At 200 % a pixel is half as much paper.
    l.Report.SetZoom(200);
    EXPECT_EQ(l.Box->BoundsRect(), QRect(20, 40, 200, 60));
    l.Box->SetBounds(10, 20, 100, 30);
    EXPECT_NEAR(l.Box->Size.Values[TRepPrintableSize::iWidth], 50 * 254.0 / 96, 1e-9);
    EXPECT_EQ(l.Box->BoundsRect(), QRect(10, 20, 100, 30));
    EXPECT_EQ(l.Report.PixelSize(), QSize(1587, 2245));
    EXPECT_EQ(l.Detail->Bounds(), QRect(76, 76 + 384, 1436, 192));
    l.Report.SetZoom(0);
    l.Report.SetZoom(301);
    EXPECT_EQ(l.Report.Zoom, 200);

    // Aligned to its band, a moved printable goes back to its side.
    l.Report.SetZoom(100);
    l.Box->AlignToBand = true;
    l.Box->SetAlignment(TAlignment::taRightJustify);
    l.Box->SetBounds(5, 0, 100, 30);
    EXPECT_EQ(l.Box->BoundsRect().right() + 1, 718);
    EXPECT_FALSE(l.Box->Realigning);
}

TEST(RepDesignSurface, BandsTakeHeightButStayInTheirPlace)
{
    TLayout l;
    // Dragged down and made wider and shorter: only the height is taken.
    l.Title->SetBounds(100, 300, 200, 100);
    EXPECT_EQ(l.Title->Bounds(), QRect(38, 38, 718, 100));
    EXPECT_NEAR(l.Title->Size.Length, 100 * 254.0 / 96, 1e-9);
    EXPECT_EQ(l.Detail->Bounds().top(), 138) << "the bands below follow";

    // A band's aligned printables follow a change of the band.
    l.Box->AlignToBand = true;
    l.Box->Alignment = TAlignment::taCenter;
    l.Detail->SetBounds(38, 138, 718, 96);
    EXPECT_NEAR(l.Box->Size.Values[TRepPrintableSize::iLeft], std::trunc((1900 - 254) / 2.0), 1e-9);
}

TEST(RepDesignSurface, CustomPaperTakesTheSurfaceSize)
{
    TLayout l;
    l.Report.SetBounds(0, 0, 500, 600);
    EXPECT_EQ(l.Report.PixelSize(), QSize(794, 1123)) << "A4 keeps its size";
    l.Report.Page.SetPaperSize(rpCustom);
    l.Report.Page.Values[TRepPage::iTopMargin] = 254; // 96 px
    l.Report.SetBounds(0, 0, 500, 600);
    EXPECT_EQ(l.Report.PixelSize(), QSize(500, 600));
    EXPECT_NEAR(l.Report.Page.Values[TRepPage::iWidth], 500 * 254.0 / 96, 1e-9);
    EXPECT_EQ(l.Report.Page.GetUnits(), TRepUnit::MM);
    EXPECT_EQ(l.Title->Bounds().top(), 96) << "the bands are arranged again";
}

TEST(RepDesignSurface, ChildrenAreBandsPrintablesThenOwnedComponents)
{
    TBandReport r;
    r.AddBand(Band(rbDetail, 100)).Name = QStringLiteral("DetailBand1");
    r.AddBand(Band(rbTitle, 100)).Name = QStringLiteral("TitleBand1");
    auto text = Text(QStringLiteral("x"), 0, 0);
    text->Name = QStringLiteral("Background");
    r.AddPrintable(std::move(text));
    auto data = std::make_shared<int>(7);
    r.OwnComponent(QStringLiteral("Query1"), data);
    r.OwnComponent(QStringLiteral("CSVFilter1"), std::make_shared<QString>());
    QStringList names;
    std::vector<TCustomBandReport::TChild::TKind> kinds;
    for (const auto &c : r.GetChildren()) {
        names << c.Name;
        kinds.push_back(c.Kind);
    }
    EXPECT_EQ(names, QStringList({"DetailBand1", "TitleBand1", "Background", "Query1", "CSVFilter1"}));
    using K = TCustomBandReport::TChild;
    EXPECT_EQ(kinds, std::vector<K::TKind>({K::Band, K::Band, K::Printable, K::Component, K::Component}));
    EXPECT_EQ(r.GetChildren()[3].Object, data.get());
    EXPECT_EQ(data.use_count(), 2) << "the report keeps what it owns";
}

TEST(RepDesignSurface, LoadingKeepsStoredBoundsAndArrangesOnce)
{
    TLayout l;
    l.Report.BeginLoading();
    // A stored left with Values giving 0; a height of a band other than 40.
    l.Box->Size.Values[TRepPrintableSize::iLeft] = 0;
    l.Box->SetBounds(30, 0, 96, 48);
    EXPECT_EQ(l.Box->Size.Values[TRepPrintableSize::iLeft], 0) << "nothing taken while loading";
    EXPECT_EQ(l.Box->LoadedBounds[0], 30);
    EXPECT_EQ(l.Box->LoadedBounds[1], 0) << "zeros are not remembered";
    l.Detail->Size.Length = 40 * 254.0 / 96; // the default 40 px
    l.Detail->SetBounds(0, 0, 718, 77);
    EXPECT_EQ(l.Detail->StreamedHeight, 77);
    l.Title->Size.Length = 300;
    l.Report.ArrangeBands();
    EXPECT_EQ(l.Detail->Bounds().top(), 230) << "no arranging while loading";

    l.Report.Loaded();
    EXPECT_FALSE(l.Report.IsLoading());
    EXPECT_FALSE(l.Box->Loading);
    EXPECT_EQ(l.Box->BoundsRect(), QRect(30, 0, 96, 48));
    EXPECT_EQ(l.Box->Size.Values[TRepPrintableSize::iWidth], 254) << "a stored value keeps its precision";
    EXPECT_EQ(l.Detail->Bounds().height(), 77);
    EXPECT_EQ(l.Detail->Bounds().top(), 38 + 113) << "arranged after loading";

    // A band whose stored Size differs from 40 px keeps it.
    TLayout m;
    m.Report.BeginLoading();
    m.Detail->SetBounds(0, 0, 718, 77);
    m.Report.Loaded();
    EXPECT_EQ(m.Detail->Bounds().height(), 96);
}

TEST(RepDesignSurface, TextAndShapesPaintTheirDesignViews)
{
    TLayout l;
    auto label = std::make_unique<TRepLabel>();
    label->Size.Values[TRepPrintableSize::iLeft] = 0;
    label->Size.Values[TRepPrintableSize::iTop] = 254; // 96 px
    label->Size.Values[TRepPrintableSize::iWidth] = 1270;
    label->Size.Values[TRepPrintableSize::iHeight] = 127;
    label->AutoSize = false;
    label->Font.setPointSize(12);
    label->Color = clYellow;
    TRepLabel &lab = l.Title->Add(std::move(label));
    lab.SetCaption(QStringLiteral("Итого"));
    auto shape = std::make_unique<TRepShape>();
    shape->Shape = TRepShape::qrsHorLine;
    shape->Size.Values[TRepPrintableSize::iLeft] = 1270; // 480 px
    shape->Size.Values[TRepPrintableSize::iTop] = 0;
    TRepShape &line = l.Title->Add(std::move(shape));

    QImage img = l.Render();
    const QRect labelRect = lab.BoundsRect().translated(l.Title->Bounds().topLeft());
    ASSERT_EQ(labelRect, QRect(38, 38 + 96, 480, 48));
    EXPECT_EQ(img.pixel(labelRect.center() + QPoint(100, 0)), Rgb(clYellow));
    EXPECT_EQ(img.pixel(labelRect.topLeft()), Rgb(clBlack)) << "corner mark";
    const QRect leftPart(labelRect.left() + 3, labelRect.top() + 3, 100, 40);
    const QRect rightPart(labelRect.right() - 103, labelRect.top() + 3, 100, 40);
    EXPECT_GT(Dark(img, leftPart), 20);
    EXPECT_EQ(Dark(img, rightPart), 0);
    lab.SetAlignment(TAlignment::taRightJustify);
    img = l.Render();
    EXPECT_EQ(Dark(img, leftPart), 0);
    EXPECT_GT(Dark(img, rightPart), 20);

    // A horizontal line through the middle of its 65 x 65 px area.
    const QPoint shapeAt = line.BoundsRect().topLeft() + l.Title->Bounds().topLeft();
    EXPECT_EQ(line.BoundsRect().size(), QSize(65, 65));
    EXPECT_EQ(img.pixel(shapeAt + QPoint(30, 32)), Rgb(clBlack));
    EXPECT_NE(img.pixel(shapeAt + QPoint(30, 31)), Rgb(clBlack));
    line.Shape = TRepShape::qrsRightAndLeft;
    img = l.Render();
    EXPECT_EQ(img.pixel(shapeAt + QPoint(0, 30)), Rgb(clBlack));
    EXPECT_EQ(img.pixel(shapeAt + QPoint(64, 30)), Rgb(clBlack));
    EXPECT_NE(img.pixel(shapeAt + QPoint(30, 32)), Rgb(clBlack));

    // Nothing of a printable shows while it prints.
    lab.PrintingNow = true;
    EXPECT_EQ(Dark(l.Render(), rightPart), 0);
}

TEST(RepDesignSurface, WidgetFollowsThePageAndRepaints)
{
    TLayout l;
    auto label = std::make_unique<TRepLabel>();
    label->SetCaption(QStringLiteral("Отчёт о расходах"));
    label->Font.setPointSize(14);
    label->Size.Values[TRepPrintableSize::iLeft] = 100;
    label->Size.Values[TRepPrintableSize::iTop] = 100;
    label->Size.Values[TRepPrintableSize::iWidth] = 900;
    label->Size.Values[TRepPrintableSize::iHeight] = 80;
    l.Title->Add(std::move(label));
    {
        TRepDesignSurface surface(l.Report);
        EXPECT_EQ(surface.size(), QSize(794, 1123));
        l.Report.SetZoom(50);
        EXPECT_EQ(surface.size(), QSize(397, 561));
        EXPECT_EQ(surface.grab().size(), QSize(397, 561));
        // The first paint wrapped the label and fitted its width to the text.
        EXPECT_EQ(surface.grab().toImage().convertToFormat(QImage::Format_RGB32), RenderSurface(l.Report));
        if (const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS"); !dir.isEmpty()) {
            l.Report.SetZoom(100);
            surface.grab().save(QDir(dir).filePath(QStringLiteral("report-design-surface.png")));
        }
    }
    EXPECT_FALSE(l.Report.OnRepaint) << "a closed surface is not called";
}

TEST(RepDesignSurface, ACircularLinkIsRefusedAndTheDesignerTold)
{
    TLayout l;
    TRepBand &a = *l.Title, &b = *l.Detail;
    ASSERT_TRUE(b.SetLinkBand(&a));
    auto child = std::make_unique<TRepChildBand>();
    TRepChildBand &c = l.Report.AddBand(std::move(child));
    auto inner = std::make_unique<TRepSubDetail>();
    TRepSubDetail &sub = l.Report.AddBand(std::move(inner));
    // Off the surface the refusals are silent.
    {
        TModalScript script;
        EXPECT_FALSE(a.SetLinkBand(&b));
        EXPECT_FALSE(c.SetParentBand(&c));
        EXPECT_FALSE(sub.SetMaster(&sub));
        EXPECT_TRUE(script.Seen().empty());
    }
    // On it, each refusal tells the designer, and nothing changes.
    TRepDesignSurface surface(l.Report);
    TModalScript script;
    script.Press(QStringLiteral("OK")).Press(QStringLiteral("OK")).Press(QStringLiteral("OK"));
    EXPECT_FALSE(a.SetLinkBand(&b));
    EXPECT_FALSE(c.SetParentBand(&c));
    EXPECT_FALSE(sub.SetMaster(&sub));
    ASSERT_EQ(script.Seen().size(), 3u);
    for (const auto &seen : script.Seen())
        EXPECT_EQ(seen.Text, QStringLiteral("Circular linking not allowed."));
    EXPECT_EQ(a.LinkBand(), nullptr);
    EXPECT_EQ(c.ParentBand(), nullptr);
    EXPECT_NE(sub.Master(), static_cast<void *>(&sub));
    // An accepted link says nothing.
    EXPECT_TRUE(c.SetParentBand(&a));
    EXPECT_EQ(script.Seen().size(), 3u);
}

} // namespace
} // namespace zorbel::test
