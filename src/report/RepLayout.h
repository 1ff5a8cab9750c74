// Measures of a report layout: each is kept in 0.1 mm and read and written in
// the unit the report currently shows; the page, band and printable sizes;
// the lines drawn around a band, a printable or the page.
#pragma once

#include "platform/canvas/Graphics.h"
#include "report/RepPrinter.h"

#include <QRect>
#include <cstdint>

namespace zorbel {

class TCustomBandReport;
class TRepCustomBand;
class TRepPrintable;

enum class TRepUnit : uint8_t { MM, Inches, Pixels, Characters, Native };

// Whether the system's measuring system is imperial (taken once).
bool IsImperialLocale();

class TRepUnitBase {
public:
    explicit TRepUnitBase(TCustomBandReport *report = nullptr);
    virtual ~TRepUnitBase() = default;

    TCustomBandReport *Report = nullptr;
    TRepUnit StoredUnits = TRepUnit::MM;
    int UnitResolution = ScreenPixelsPerInch;
    int Zoom = 100;

    double FromNative(TRepUnit unit, bool horizontal, double value) const;
    double ToNative(TRepUnit unit, bool horizontal, double value) const;
    TRepUnit GetUnits() const { return units_; }
    virtual void SetUnits(TRepUnit unit) { units_ = unit; }
    void BeginPixels();
    void EndPixels() { SetUnits(StoredUnits); }

protected:
    TRepUnit units_ = TRepUnit::MM;
};

class TRepBandSize : public TRepUnitBase {
public:
    explicit TRepBandSize(TRepCustomBand *band = nullptr);
    double Width = 40, Length = 20; // 0.1 mm

    double Height() const { return GetMeasure(0); }
    void SetHeight(double v) { SetMeasure(0, v); }
    double GetWidth() const { return GetMeasure(1); }
    void SetWidth(double v) { SetMeasure(1, v); }
    double GetMeasure(int index) const;
    void SetMeasure(int index, double value);
};

using TPrinterOrientation = bool; // false portrait, true landscape
constexpr TPrinterOrientation poPortrait = false, poLandscape = true;

class TRepPage : public TRepUnitBase {
public:
    explicit TRepPage(TCustomBandReport *report = nullptr);
    enum Index { iBottomMargin, iLength, iTopMargin, iWidth, iLeftMargin, iRightMargin, iColumnSpace };
    double Values[7] = {}; // 0.1 mm, in index order

    double GetMeasure(int index) const;
    void SetMeasure(int index, double value);
    double BottomMargin() const { return GetMeasure(iBottomMargin); }
    double Length() const { return GetMeasure(iLength); }
    double TopMargin() const { return GetMeasure(iTopMargin); }
    double Width() const { return GetMeasure(iWidth); }
    double LeftMargin() const { return GetMeasure(iLeftMargin); }
    double RightMargin() const { return GetMeasure(iRightMargin); }
    double ColumnSpace() const { return GetMeasure(iColumnSpace); }

    int Columns() const { return columns_; }
    void SetColumns(int n);
    TPrinterOrientation Orientation() const { return orientation_; }
    void SetOrientation(TPrinterOrientation o);
    TRepPaperSize PaperSize() const { return paperSize_; }
    void SetPaperSize(TRepPaperSize p);
    // The design grid; a change repaints the report and writes its unit
    // again, so every measure shows in the unit the grid is drawn in.
    bool Ruler() const { return ruler_; }
    void SetRuler(bool on);

private:
    // A report on the design surface follows a change of the page.
    void Rearrange() const;
    int columns_ = 1;
    TPrinterOrientation orientation_ = poPortrait;
    TRepPaperSize paperSize_ = rpA4;
    bool ruler_ = true;
};

class TRepPrintableSize : public TRepUnitBase {
public:
    explicit TRepPrintableSize(TRepPrintable *printable = nullptr);
    enum Index { iHeight, iLeft, iTop, iWidth };
    double Values[4] = {20, 20, 20, 20}; // 0.1 mm, in index order

    double GetMeasure(int index) const;
    void SetMeasure(int index, double value);
    double Height() const { return GetMeasure(iHeight); }
    double Left() const { return GetMeasure(iLeft); }
    double Top() const { return GetMeasure(iTop); }
    double Width() const { return GetMeasure(iWidth); }

private:
    TRepPrintable *printable_;
};

class TRepFrame {
public:
    explicit TRepFrame(void *owner = nullptr) : owner_(owner) {}
    TColor Color = 0;
    bool DrawTop = false, DrawBottom = false, DrawLeft = false, DrawRight = false;
    TPenStyle Style = TPenStyle::psSolid;
    int Width = 1; // points; -1 one device pixel

    bool HasLines() const { return DrawTop || DrawBottom || DrawLeft || DrawRight; }
    void ApplyPen(TCanvas::TPen &pen) const;
    // Line thicknesses in device pixels for the given scales (pixels per 0.1 mm).
    int VerticalLineWidth(double xScale) const;
    int HorizontalLineHeight(double yScale) const;
    // Draws the enabled sides as filled rectangles inside rect; during an
    // export also hands them to the report's filter (printable is the owner
    // when it is one, report the report the frame belongs to).
    void Draw(TCanvas &canvas, const QRect &rect, double yScale, double xScale, TCustomBandReport *report = nullptr,
              TRepPrintable *printable = nullptr) const;

private:
    void *owner_;
};

} // namespace zorbel
