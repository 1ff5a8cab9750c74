#include "analysis/ZorbPrnKit.h"

#include "platform/rtl/Format.h"

namespace zorbel {

namespace {

constexpr double Mm = 10; // layout measures are kept in 0.1 mm

double PageWidthMm(const TBandReport &report)
{
    const TRepPage &p = report.Page;
    return (p.Values[TRepPage::iWidth] - p.Values[TRepPage::iLeftMargin] - p.Values[TRepPage::iRightMargin]) / Mm;
}

QFont MakeFont(TPrnFont f)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(f.Size);
    font.setBold(f.Bold);
    font.setItalic(f.Italic);
    return font;
}

template <class T> T &Place(TRepCustomBand &band, const QString &name, double left, double top, double width,
                            double height)
{
    auto p = std::make_unique<T>();
    p->Name = name;
    p->Size.Values[TRepPrintableSize::iLeft] = left * Mm;
    p->Size.Values[TRepPrintableSize::iTop] = top * Mm;
    p->Size.Values[TRepPrintableSize::iWidth] = width * Mm;
    p->Size.Values[TRepPrintableSize::iHeight] = height * Mm;
    return band.Add(std::move(p));
}

template <class T> T &PlaceText(TRepCustomBand &band, const QString &name, double left, double top, double width,
                                double height, TPrnFont font, TAlignment alignment)
{
    T &t = Place<T>(band, name, left, top, width, height);
    t.AutoSize = false;
    t.WordWrap = false;
    t.Transparent = true;
    t.SetFont(MakeFont(font));
    t.SetAlignment(alignment);
    return t;
}

} // namespace

void SetupPrintoutLayout(TBandReport &report, bool landscape)
{
    report.SetUnits(TRepUnit::MM);
    report.Page.SetPaperSize(rpA4);
    report.Page.SetOrientation(landscape ? poLandscape : poPortrait);
    for (int i : {TRepPage::iTopMargin, TRepPage::iBottomMargin, TRepPage::iLeftMargin, TRepPage::iRightMargin})
        report.Page.Values[i] = 10 * Mm;
    report.Page.SetColumns(1);
    report.Page.Zoom = 100;
    report.MainController.PrintIfEmpty = true;
    report.Frame.Color = clBlack;
    report.Frame.DrawTop = report.Frame.DrawBottom = report.Frame.DrawLeft = report.Frame.DrawRight = true;
    report.PreviewInitialState = 2; // maximised
    report.PreviewWidth = report.PreviewHeight = 800; // its size once restored
    report.PrevInitialZoom = TRepZoomState::qrZoomToWidth;
    report.PrevShowThumbs = false;
    report.PrevShowSearch = false;
    report.Font = MakeFont({});
}

TRepBand &AddPrintoutBand(TBandReport &report, TRepBandType type, double heightMm, const QString &name)
{
    auto b = std::make_unique<TRepBand>(type);
    b->Name = name;
    b->Size.Length = heightMm * Mm;
    b->Size.Width = PageWidthMm(report) * Mm;
    b->Frame.Color = clBlack;
    b->Frame.DrawBottom = type != rbSummary;
    return report.AddBand(std::move(b));
}

TRepLabel &PlaceLabel(TRepCustomBand &band, const QString &name, const QString &caption, double left, double top,
                      double width, double height, TPrnFont font, TAlignment alignment)
{
    TRepLabel &l = PlaceText<TRepLabel>(band, name, left, top, width, height, font, alignment);
    l.SetCaption(caption);
    return l;
}

TRepDBText &PlaceDBText(TRepCustomBand &band, const QString &name, TDataSet *dataSet, const QString &field,
                        const QString &mask, double left, double top, double width, double height, TPrnFont font,
                        TAlignment alignment)
{
    TRepDBText &t = PlaceText<TRepDBText>(band, name, left, top, width, height, font, alignment);
    t.DataSet = dataSet;
    t.SetDataField(field);
    t.Mask = mask;
    return t;
}

TRepExpr &PlaceExpr(TRepCustomBand &band, const QString &name, const QString &expression, const QString &mask,
                    double left, double top, double width, double height, TPrnFont font)
{
    TRepExpr &e = PlaceText<TRepExpr>(band, name, left, top, width, height, font, TAlignment::taRightJustify);
    e.SetExpression(expression);
    e.Mask = mask;
    e.ResetAfterPrint = false;
    return e;
}

TRepSysData &PlaceSysData(TRepCustomBand &band, const QString &name, TRepSysDataType kind, const QString &text,
                          double left, double top, double width, double height, TPrnFont font, TAlignment alignment)
{
    TRepSysData &s = PlaceText<TRepSysData>(band, name, left, top, width, height, font, alignment);
    s.SetData(kind);
    s.SetText(text);
    return s;
}

TRepShape &PlaceRectangle(TRepCustomBand &band, const QString &name, double left, double top, double width,
                          double height)
{
    TRepShape &s = Place<TRepShape>(band, name, left, top, width, height);
    s.Shape = TRepShape::qrsRectangle;
    s.Brush.Style = TBrushStyle::bsClear;
    return s;
}

QString PrnAmount(int64_t x)
{
    return FormatFloat(QStringLiteral("#,##0.00#"), double(x) / 10000.0);
}

} // namespace zorbel
