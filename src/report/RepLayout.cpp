#include "report/RepLayout.h"

#include "report/RepReport.h"

#include <QLocale>
#include <cmath>

namespace zorbel {

bool IsImperialLocale()
{
    static const bool imperial = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    return imperial;
}

TRepUnitBase::TRepUnitBase(TCustomBandReport *report) : Report(report)
{
    units_ = IsImperialLocale() ? TRepUnit::Inches : TRepUnit::MM;
    StoredUnits = units_;
}

// Millimetres per character column (horizontal) or line at the report's font.
static double CharacterSize(const TCustomBandReport *report, bool horizontal)
{
    double s = report ? std::abs(report->Font.pointSizeF()) : 10;
    if (s <= 0)
        s = 10;
    return (horizontal ? 80.0 : 145.3) / s / 2.54;
}

double TRepUnitBase::FromNative(TRepUnit unit, bool horizontal, double v) const
{
    switch (unit) {
    case TRepUnit::MM: return v / 10;
    case TRepUnit::Inches: return v / 254;
    case TRepUnit::Pixels: return v / (254.0 / UnitResolution) * Zoom / 100;
    case TRepUnit::Characters: return v / CharacterSize(Report, horizontal) / 10;
    case TRepUnit::Native: break;
    }
    return v;
}

double TRepUnitBase::ToNative(TRepUnit unit, bool horizontal, double x) const
{
    switch (unit) {
    case TRepUnit::MM: return x * 10;
    case TRepUnit::Inches: return x * 254;
    case TRepUnit::Pixels: return Zoom ? x * (254.0 / UnitResolution) / Zoom * 100 : 0;
    case TRepUnit::Characters: return x * CharacterSize(Report, horizontal) * 10;
    case TRepUnit::Native: break;
    }
    return x;
}

void TRepUnitBase::BeginPixels()
{
    StoredUnits = units_;
    SetUnits(TRepUnit::Pixels);
}

TRepBandSize::TRepBandSize(TRepCustomBand *) {}

double TRepBandSize::GetMeasure(int index) const
{
    return index == 1 ? FromNative(units_, true, Width) : FromNative(units_, false, Length);
}

void TRepBandSize::SetMeasure(int index, double value)
{
    if (index == 0)
        Length = ToNative(units_, false, value);
    else if (index == 1)
        Width = ToNative(units_, true, value);
}

static bool Horizontal(int index) { return index >= TRepPage::iWidth; }

TRepPage::TRepPage(TCustomBandReport *report) : TRepUnitBase(report)
{
    const double margin = IsImperialLocale() ? 127 : 100; // 0.5 in or 10 mm
    paperSize_ = IsImperialLocale() ? 1 : rpA4;
    Values[iTopMargin] = Values[iBottomMargin] = Values[iLeftMargin] = Values[iRightMargin] = margin;
    Values[iWidth] = kRepPapers[paperSize_].Width * 10;
    Values[iLength] = kRepPapers[paperSize_].Height * 10;
}

double TRepPage::GetMeasure(int index) const
{
    if (index > iColumnSpace)
        index = iColumnSpace;
    return FromNative(units_, Horizontal(index), Values[index]);
}

void TRepPage::SetMeasure(int index, double value)
{
    if (index < 0 || index > iColumnSpace)
        return;
    if ((index == iLength || index == iWidth) && paperSize_ != rpCustom)
        return;
    Values[index] = ToNative(units_, Horizontal(index), value);
    Rearrange();
}

void TRepPage::SetColumns(int n)
{
    if (n <= 0 || n == columns_)
        return;
    columns_ = n;
    Rearrange();
}

void TRepPage::Rearrange() const
{
    if (!Report)
        return;
    Report->ArrangeBands();
    Report->Repaint();
}

void TRepPage::SetRuler(bool on)
{
    if (on == ruler_)
        return;
    ruler_ = on;
    if (!Report)
        return;
    Report->Repaint();
    Report->SetUnits(Report->Units());
}

void TRepPage::SetOrientation(TPrinterOrientation o)
{
    orientation_ = o;
    SetPaperSize(paperSize_);
}

void TRepPage::SetPaperSize(TRepPaperSize p)
{
    if (p != rpDefault && p != rpCustom && p < 28) {
        const double w = kRepPapers[p].Width * 10, h = kRepPapers[p].Height * 10;
        Values[iWidth] = orientation_ == poLandscape ? h : w;
        Values[iLength] = orientation_ == poLandscape ? w : h;
    }
    paperSize_ = p;
    Rearrange();
}

TRepPrintableSize::TRepPrintableSize(TRepPrintable *printable) : printable_(printable) {}

double TRepPrintableSize::GetMeasure(int index) const
{
    index = std::clamp(index, 0, 3);
    return FromNative(units_, index == iLeft || index == iWidth, Values[index]);
}

void TRepPrintableSize::SetMeasure(int index, double value)
{
    if (index >= 0 && index <= 3)
        Values[index] = ToNative(units_, index == iLeft || index == iWidth, value);
}

void TRepFrame::ApplyPen(TCanvas::TPen &pen) const
{
    pen.Width = 1;
    pen.Style = Style;
    pen.Color = Color;
}

static int LineThickness(double scale, int width)
{
    if (width == -1)
        return 1;
    const int t = int(std::lround(scale / 72 * 254 * width));
    return t < 1 && width > 0 ? 1 : t;
}

int TRepFrame::VerticalLineWidth(double xScale) const { return LineThickness(xScale, Width); }
int TRepFrame::HorizontalLineHeight(double yScale) const { return LineThickness(yScale, Width); }

void TRepFrame::Draw(TCanvas &canvas, const QRect &r, double yScale, double xScale, TCustomBandReport *report,
                     TRepPrintable *printable) const
{
    const int w = VerticalLineWidth(xScale), h = HorizontalLineHeight(yScale);
    const int left = r.left(), top = r.top(), right = r.left() + r.width(), bottom = r.top() + r.height();
    canvas.Brush.Style = TBrushStyle::bsSolid;
    canvas.Brush.Color = Color;
    ApplyPen(canvas.Pen);
    auto fill = [&](int l, int t, int rr, int b) { canvas.FillRect(QRect(l, t, rr - l, b - t)); };
    if (DrawTop)
        fill(left, top, right, top + h);
    if (DrawBottom)
        fill(left, bottom - h, right, bottom);
    if (DrawLeft)
        fill(left, top, left + w, bottom);
    if (DrawRight)
        fill(right - w, top, right, bottom);
    canvas.Brush.Style = TBrushStyle::bsClear;

    if (!report || !report->Exporting || !report->ExportFilter)
        return;
    TRepExportFilter &filter = *report->ExportFilter;
    auto put = [&](TRepShape::TShapeType type, int l, int t, int width, int height, bool clearBrush, int pen) {
        TRepShape shape;
        shape.Shape = type;
        shape.Size.SetUnits(TRepUnit::Native);
        shape.Size.Values[TRepPrintableSize::iLeft] = l;
        shape.Size.Values[TRepPrintableSize::iTop] = t;
        shape.Size.Values[TRepPrintableSize::iWidth] = width;
        shape.Size.Values[TRepPrintableSize::iHeight] = height;
        shape.Brush.Style = clearBrush ? TBrushStyle::bsClear : TBrushStyle::bsSolid;
        shape.Brush.Color = clearBrush ? Color : (printable ? printable->Color : Color);
        shape.Pen.Style = pen < 0 ? TPenStyle::psClear : TPenStyle::psSolid;
        shape.Pen.Width = std::max(pen, 0);
        shape.Pen.Color = Color;
        filter.PutGraphic(shape, l, t);
    };
    if (printable && !printable->Transparent)
        put(TRepShape::qrsRectangle, left, top, r.width(), r.height(), false, -1);
    if (DrawTop && DrawBottom && DrawLeft && DrawRight) {
        put(TRepShape::qrsRectangle, left, top, r.width(), r.height(), true, w);
        return;
    }
    if (DrawTop)
        put(TRepShape::qrsHorLine, left, top, r.width(), h, true, h);
    if (DrawBottom)
        put(TRepShape::qrsHorLine, left, bottom - h, r.width(), h, true, h);
    if (DrawLeft)
        put(TRepShape::qrsVertLine, left, top, w, r.height(), true, w);
    if (DrawRight)
        put(TRepShape::qrsVertLine, right - w, top, w, r.height(), true, w);
}

} // namespace zorbel
