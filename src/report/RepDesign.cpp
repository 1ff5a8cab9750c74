// The report's band list and its design-time arrangement.
//
// The list follows the kinds of the bands and the main controller: page
// headers, titles, column headers, then what the controller prints (its
// header, group headers, the bands of the controllers before the detail,
// the detail, those after it, group footers innermost first, its footer),
// page footers, and last every band not reached so far, in the order the
// report holds them. A band brings its chain of child bands along; a band
// reached twice (the title is both a title and the controller's header) is
// listed once.
#include "report/RepDesign.h"

#include "platform/canvas/Metafile.h"
#include "report/RepReport.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace zorbel {

namespace {

class TBandListBuilder {
public:
    std::vector<TRepCustomBand *> List;

    // Appends band and its chain of child bands, each once.
    void Add(TRepCustomBand *band)
    {
        for (; band; band = band->ChildBand())
            if (std::find(List.begin(), List.end(), band) == List.end())
                List.push_back(band);
    }
    // What a controller prints, in print order; a controller of a
    // sub-detail lists its header, its own band and its footer.
    void AddController(TRepCustomController &controller)
    {
        auto *c = dynamic_cast<TRepController *>(&controller);
        if (c)
            Add(c->HeaderBand);
        for (TRepGroup *g : controller.Groups)
            Add(g);
        for (TRepCustomController *before : controller.BeforeList)
            AddController(*before);
        if (c)
            Add(c->DetailBand);
        for (TRepCustomController *after : controller.AfterList)
            AddController(*after);
        for (auto g = controller.Groups.rbegin(); g != controller.Groups.rend(); ++g)
            Add((*g)->FooterBand);
        if (c)
            Add(c->FooterBand);
    }
};

} // namespace

std::vector<TRepCustomBand *> TCustomBandReport::BandList()
{
    TBandListBuilder b;
    // The bands the main controller prints, by kind (as a run assigns them).
    MainController.Report = this;
    MainController.HeaderBand = BandOfType(rbTitle);
    MainController.DetailBand = BandOfType(rbDetail);
    MainController.FooterBand = BandOfType(rbSummary);
    MainController.Prepare();
    const auto addKind = [&](TRepBandType type) {
        for (const auto &band : bands_)
            if (band->BandType == type)
                b.Add(band.get());
    };
    addKind(rbPageHeader);
    addKind(rbTitle);
    addKind(rbColumnHeader);
    b.AddController(MainController);
    addKind(rbPageFooter);
    for (const auto &band : bands_)
        b.Add(band.get());
    if (!b.List.empty())
        std::rotate(b.List.begin(), b.List.begin() + std::ptrdiff_t(BandListRotation % b.List.size()), b.List.end());
    return b.List;
}

void TCustomBandReport::ArrangeBands()
{
    // Not while loading, nor while a run (perhaps on another thread) walks
    // the bands and the main controller that the band list rebuilds.
    if (loading_ || !Available)
        return;
    const auto px = [this](bool horizontal, double native) {
        return int(std::lround(Page.FromNative(TRepUnit::Pixels, horizontal, native)));
    };
    int top = px(false, Page.Values[TRepPage::iTopMargin]);
    const int left = px(true, Page.Values[TRepPage::iLeftMargin]);
    for (TRepCustomBand *band : BandList()) {
        band->Rearranging = true;
        band->DesignPos = QPoint(left, top);
        band->Rearranging = false;
        top += band->Bounds().height();
    }
}

// ---- design colours and grid ----

namespace {

int Round(double v) { return int(std::lround(v)); }

TCanvas::TPen MakePen(TPenStyle style, TColor color) { return TCanvas::TPen{color, 1, style}; }

void VerticalLine(TCanvas &canvas, int x, int top, int bottom)
{
    canvas.MoveTo(x, top);
    canvas.LineTo(x, bottom);
}

// The painter of a surface draws each control in its own client
// coordinates, clipped to it.
class TClientScope {
public:
    TClientScope(TCanvas &canvas, const QRect &bounds) : painter_(canvas.Painter())
    {
        painter_->save();
        painter_->translate(bounds.topLeft());
        painter_->setClipRect(QRect(QPoint(0, 0), bounds.size()), Qt::IntersectClip);
    }
    ~TClientScope() { painter_->restore(); }
    TClientScope(const TClientScope &) = delete;
    TClientScope &operator=(const TClientScope &) = delete;

private:
    QPainter *painter_;
};

} // namespace

void DrawOutline(TCanvas &canvas, const QRect &r)
{
    const int right = r.left() + r.width() - 1, bottom = r.top() + r.height() - 1;
    canvas.Polyline({r.topLeft(), QPoint(right, r.top()), QPoint(right, bottom), QPoint(r.left(), bottom),
                     r.topLeft()});
}

TRepDesignColours ChooseDesignColours(int numColors)
{
    const bool high = numColors > 256 || numColors < 0;
    TRepDesignColours c;
    c.GridMinor = high ? MakePen(TPenStyle::psSolid, 16382457) : MakePen(TPenStyle::psDot, 12632256);
    c.GridMajor = MakePen(TPenStyle::psSolid, high ? 15790320 : 12632256);
    c.Margin = high ? MakePen(TPenStyle::psDot, 16744576) : MakePen(TPenStyle::psDash, 8421504);
    c.BandOutline = high ? MakePen(TPenStyle::psDot, 6316128) : MakePen(TPenStyle::psSolid, 8421504);
    c.LabelFont = QFont(QStringLiteral("Small Fonts"));
    c.LabelFont.setPointSize(6);
    c.LabelColor = high ? 7368816 : 12632256;
    return c;
}

const TRepDesignColours &DesignColours()
{
    static const TRepDesignColours colours = [] {
        // The colour count of the screen: up to 8 bits a pixel count their
        // colours, deeper screens are high colour.
        int numColors = -1;
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            if (const QScreen *screen = QGuiApplication::primaryScreen(); screen && screen->depth() <= 8)
                numColors = 1 << std::max(screen->depth(), 1);
        return ChooseDesignColours(numColors);
    }();
    return colours;
}

void DrawRuler(TCanvas &canvas, QSize size, TRepUnit unit, int zoom, int fontSize)
{
    const TRepDesignColours &colours = DesignColours();
    const double pixelsPerMM = ScreenPixelsPerInch / 25.4 * zoom / 100;
    double step = 0;   // pixels between lines
    int perMajor = 0;  // lines from one major line to the next (0: no major lines)
    bool labels = false;
    switch (unit) {
    case TRepUnit::Inches:
        step = pixelsPerMM * 25.4 / 4;
        perMajor = 4;
        labels = zoom >= 50;
        break;
    case TRepUnit::MM:
        step = pixelsPerMM * 5;
        perMajor = 2;
        labels = zoom >= 60;
        break;
    case TRepUnit::Characters:
        step = pixelsPerMM * 80.0 / std::max(std::abs(fontSize), 1) / 2.54;
        break;
    default:
        return;
    }
    if (step < 2) // lines closer than that would fill the surface
        return;
    const TCanvas::TPen pen = canvas.Pen;
    const QFont font = canvas.Font;
    const TColor fontColor = canvas.FontColor;
    const TCanvas::TBrush brush = canvas.Brush;
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.Font = colours.LabelFont;
    canvas.FontColor = colours.LabelColor;
    for (int i = 1;; ++i) {
        const int x = Round(i * step);
        if (x >= size.width())
            break;
        const bool major = perMajor && i % perMajor == 0;
        canvas.Pen = unit == TRepUnit::Characters ? MakePen(TPenStyle::psDot, colours.GridMinor.Color)
                     : major                      ? colours.GridMajor
                                                  : colours.GridMinor;
        VerticalLine(canvas, x, 0, size.height());
        if (major && labels)
            canvas.TextOut(x + 2, 1, QString::number(unit == TRepUnit::Inches ? i / perMajor : i * 5));
    }
    canvas.Pen = pen;
    canvas.Font = font;
    canvas.FontColor = fontColor;
    canvas.Brush = brush;
}

// ---- printable on the design surface ----

QRect TRepPrintable::BoundsRect() const
{
    const auto px = [this](int index, bool horizontal) {
        return Round(Size.FromNative(TRepUnit::Pixels, horizontal, Size.Values[index]));
    };
    return {px(TRepPrintableSize::iLeft, true), px(TRepPrintableSize::iTop, false), px(TRepPrintableSize::iWidth, true),
            px(TRepPrintableSize::iHeight, false)};
}

void TRepPrintable::SetBounds(int left, int top, int width, int height)
{
    if (Loading) {
        const int values[4] = {left, top, width, height};
        for (int i = 0; i < 4; ++i)
            if (values[i])
                LoadedBounds[i] = values[i];
    } else {
        const TRepUnit units = Size.GetUnits();
        Size.SetUnits(TRepUnit::Pixels);
        Size.SetMeasure(TRepPrintableSize::iHeight, height);
        Size.SetMeasure(TRepPrintableSize::iWidth, width);
        Size.SetMeasure(TRepPrintableSize::iTop, top);
        Size.SetMeasure(TRepPrintableSize::iLeft, left);
        Size.SetUnits(units);
    }
    if (AlignToBand && !Realigning)
        AlignInBand();
    Repaint();
}

void TRepPrintable::Loaded()
{
    Loading = false;
    // Only the measures Size left at 0 are written, so the stored values of
    // the others keep their precision.
    const QRect b = BoundsRect();
    const int current[4] = {b.left(), b.top(), b.width(), b.height()};
    const int index[4] = {TRepPrintableSize::iLeft, TRepPrintableSize::iTop, TRepPrintableSize::iWidth,
                          TRepPrintableSize::iHeight};
    for (int i = 0; i < 4; ++i)
        if (current[i] == 0 && LoadedBounds[i] != 0)
            Size.Values[index[i]] = Size.ToNative(TRepUnit::Pixels, i % 2 == 0, LoadedBounds[i]);
}

void TRepPrintable::SetZoomOf(int zoom)
{
    Size.Zoom = zoom;
    Repaint();
}

void TRepPrintable::Repaint() const
{
    if (Report)
        Report->Repaint();
}

void TRepPrintable::PaintCorners(TCanvas &canvas) const
{
    const QRect b = BoundsRect();
    const int w = b.width(), h = b.height();
    const TCanvas::TBrush brush = canvas.Brush;
    canvas.Brush = {clBlack, TBrushStyle::bsSolid};
    for (const QRect &r : {QRect(0, 0, 3, 1), QRect(0, 0, 1, 3), QRect(w - 3, 0, 3, 1), QRect(w - 1, 0, 1, 3),
                           QRect(0, h - 1, 3, 1), QRect(0, h - 3, 1, 3), QRect(w - 3, h - 1, 3, 1),
                           QRect(w - 1, h - 3, 1, 3)})
        canvas.FillRect(r);
    canvas.Brush = brush;
}

void TRepPrintable::Paint(TCanvas &canvas)
{
    if (PrintingNow)
        return;
    const QSize size = BoundsRect().size();
    if (!Transparent) {
        canvas.Brush = {clWhite, TBrushStyle::bsSolid};
        canvas.FillRect(QRect(QPoint(0, 0), size));
    }
    PaintOutline(canvas);
}

void TRepPrintable::PaintOutline(TCanvas &canvas) const
{
    const QSize size = BoundsRect().size();
    PaintCorners(canvas);
    const double scale = GetZoom() * (ScreenPixelsPerInch / 254.0) / 100;
    Frame.Draw(canvas, QRect(0, 0, size.width() - 1, size.height() - 1), scale, scale);
}

// ---- band on the design surface ----

QRect TRepCustomBand::Bounds() const
{
    return {DesignPos, QSize(Round(Size.FromNative(TRepUnit::Pixels, true, Size.Width)),
                             Round(Size.FromNative(TRepUnit::Pixels, false, Size.Length)))};
}

void TRepCustomBand::SetBounds(int left, int top, int width, int height)
{
    (void)width; // a band is as wide as its Size says
    if (Loading) {
        if (height != 40)
            StreamedHeight = height;
        return;
    }
    Size.Length = Size.ToNative(TRepUnit::Pixels, false, height);
    DesignPos = QPoint(left, top);
    if (!Report)
        return;
    if (!Rearranging)
        Report->ArrangeBands();
    for (const auto &p : Printables())
        if (p->AlignToBand)
            p->AlignInBand();
    Report->Repaint();
}

void TRepCustomBand::Loaded()
{
    Loading = false;
    if (StreamedHeight != 40 && Bounds().height() == 40)
        Size.Length = Size.ToNative(TRepUnit::Pixels, false, StreamedHeight);
}

void TRepCustomBand::SetZoom(int zoom)
{
    if (zoom == 0)
        return;
    Zoom = zoom;
    Size.Zoom = zoom;
    for (const auto &p : Printables())
        p->Size.Zoom = zoom;
}

void TRepCustomBand::Paint(TCanvas &canvas)
{
    const TRepDesignColours &colours = DesignColours();
    const QRect r(QPoint(0, 0), Bounds().size());
    canvas.Brush = {Enabled ? Color : clSilver, TBrushStyle::bsSolid};
    canvas.FillRect(r);
    if (Report && Report->Page.Ruler())
        DrawRuler(canvas, r.size(), Report->Units(), Zoom, Round(std::abs(Report->Font.pointSizeF())));
    canvas.Pen = colours.BandOutline;
    DrawOutline(canvas, r);
    const double scale = ScreenPixelsPerInch / 254.0;
    Frame.Draw(canvas, r, scale, scale);
    canvas.Font = colours.LabelFont;
    canvas.FontColor = colours.LabelColor;
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.TextAlign = TA_LEFT | TA_TOP;
    canvas.TextOut(2, r.height() - canvas.TextHeight(QStringLiteral("W")) - 4, RepBandTypeName(BandType));
}

// ---- report on the design surface ----

void TCustomBandReport::SetZoom(int zoom)
{
    if (zoom < 1 || zoom > 300)
        return;
    Zoom = zoom;
    Page.Zoom = zoom;
    for (const auto &b : bands_)
        b->SetZoom(zoom);
    for (const auto &p : printables_)
        p->Size.Zoom = zoom;
    ArrangeBands();
    Repaint();
}

void TCustomBandReport::Repaint() const
{
    if (OnRepaint)
        OnRepaint();
}

void TCustomBandReport::Changed()
{
    if (repaintPending_)
        return;
    repaintPending_ = true;
    FirstPagePicture = TMetafile();
    Repaint();
}

QSize TCustomBandReport::PixelSize() const
{
    return {Round(Page.FromNative(TRepUnit::Pixels, true, Page.Values[TRepPage::iWidth])),
            Round(Page.FromNative(TRepUnit::Pixels, false, Page.Values[TRepPage::iLength]))};
}

namespace {
// The rectangle inside the four margins, in pixels.
QRect MarginRect(const TRepPage &page, QSize size)
{
    const auto px = [&page](int index, bool horizontal) {
        return Round(page.FromNative(TRepUnit::Pixels, horizontal, page.Values[index]));
    };
    const int left = px(TRepPage::iLeftMargin, true), top = px(TRepPage::iTopMargin, false);
    const int right = size.width() - px(TRepPage::iRightMargin, true);
    const int bottom = size.height() - px(TRepPage::iBottomMargin, false);
    return {QPoint(left, top), QPoint(right - 1, bottom - 1)};
}
} // namespace

void TCustomBandReport::Paint(TCanvas &canvas)
{
    repaintPending_ = false;
    const QSize size = PixelSize();
    canvas.Brush = {Color, TBrushStyle::bsSolid};
    canvas.FillRect(QRect(QPoint(0, 0), size));
    if (!FirstPagePicture.Empty() && canvas.Painter())
        PlayMetafile(*canvas.Painter(), FirstPagePicture.Data(), QRectF(QPointF(0, 0), QSizeF(size)));
    if (Page.Ruler())
        DrawRuler(canvas, size, Units(), Zoom, Round(std::abs(Font.pointSizeF())));
    PaintMargins(canvas);
    PaintFrame(canvas);
    PaintColumnLines(canvas);
}

void TCustomBandReport::PaintMargins(TCanvas &canvas)
{
    canvas.Pen = DesignColours().Margin;
    DrawOutline(canvas, MarginRect(Page, PixelSize()));
}

void TCustomBandReport::PaintFrame(TCanvas &canvas)
{
    if (!Frame.HasLines())
        return;
    const QRect r = MarginRect(Page, PixelSize());
    Frame.ApplyPen(canvas.Pen);
    const auto line = [&canvas](QPoint a, QPoint b) {
        canvas.MoveTo(a.x(), a.y());
        canvas.LineTo(b.x(), b.y());
    };
    if (Frame.DrawTop)
        line(r.topLeft(), r.topRight());
    if (Frame.DrawBottom)
        line(r.bottomLeft(), r.bottomRight());
    if (Frame.DrawLeft)
        line(r.topLeft(), r.bottomLeft());
    if (Frame.DrawRight)
        line(r.topRight(), r.bottomRight());
}

void TCustomBandReport::PaintColumnLines(TCanvas &canvas)
{
    const int columns = Page.Columns();
    if (columns <= 1)
        return;
    const QRect r = MarginRect(Page, PixelSize());
    const double space = Page.FromNative(TRepUnit::Pixels, true, Page.Values[TRepPage::iColumnSpace]);
    const double columnWidth = (r.width() - space * (columns - 1)) / columns;
    canvas.Pen = DesignColours().Margin;
    for (int i = 1; i < columns; ++i) {
        const double gapLeft = r.left() + i * columnWidth + (i - 1) * space;
        VerticalLine(canvas, Round(gapLeft), 0, r.top());
        VerticalLine(canvas, Round(gapLeft + space), 0, r.top());
    }
}

void TCustomBandReport::PaintSurface(TCanvas &canvas)
{
    Paint(canvas);
    const auto paintPrintable = [&canvas](TRepPrintable &p) {
        if (!p.Visible)
            return;
        TClientScope client(canvas, p.BoundsRect());
        p.Paint(canvas);
    };
    for (TRepCustomBand *band : BandList()) {
        TClientScope client(canvas, band->Bounds());
        band->Paint(canvas);
        for (const auto &p : band->Printables())
            paintPrintable(*p);
    }
    for (const auto &p : printables_)
        paintPrintable(*p);
}

void TCustomBandReport::SetBounds(int, int, int width, int height)
{
    if (QSize(width, height) != PixelSize() && Page.PaperSize() == rpCustom) {
        Page.BeginPixels();
        Page.SetMeasure(TRepPage::iWidth, width);
        Page.SetMeasure(TRepPage::iLength, height);
        Page.EndPixels();
    }
    ArrangeBands();
    Repaint();
}

std::vector<TCustomBandReport::TChild> TCustomBandReport::GetChildren() const
{
    std::vector<TChild> children;
    for (const auto &b : bands_)
        children.push_back({TChild::Band, b->Name, b.get()});
    for (const auto &p : printables_)
        children.push_back({TChild::Printable, p->Name, p.get()});
    for (const auto &[name, component] : components_)
        children.push_back({TChild::Component, name, component.get()});
    return children;
}

void TCustomBandReport::OwnComponent(const QString &name, std::shared_ptr<void> component)
{
    components_.emplace_back(name, std::move(component));
}

void TCustomBandReport::BeginLoading()
{
    loading_ = true;
    for (const auto &b : bands_) {
        b->Loading = true;
        for (const auto &p : b->Printables())
            p->Loading = true;
    }
    for (const auto &p : printables_)
        p->Loading = true;
}

void TCustomBandReport::Loaded()
{
    for (const auto &b : bands_) {
        for (const auto &p : b->Printables())
            p->Loaded();
        b->Loaded();
    }
    for (const auto &p : printables_)
        p->Loaded();
    loading_ = false;
    ArrangeBands();
    Repaint();
}

} // namespace zorbel
