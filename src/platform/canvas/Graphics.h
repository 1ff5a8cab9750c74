// Drawing vocabulary shared by windows and reports: colours, pen and brush
// styles, text alignment, and the canvas that paints through a QPainter or
// records into an enhanced metafile.
//
// Colours are 32-bit values 0x00BBGGRR; values with the top bit set name a
// system colour (clBtnFace, clHighlight ...) resolved through the palette.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>

class QFontMetrics;
class QPainter;

namespace zorbel {

using TColor = std::int32_t;
// Colour from its red, green and blue parts.
constexpr TColor RGB(int r, int g, int b) { return TColor((r & 255) | ((g & 255) << 8) | ((b & 255) << 16)); }

constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
// System colours: the top bit marks them, the low byte is the system's index.
constexpr TColor clSystemColor = TColor(0x80000000u);
constexpr TColor clScrollBar = clSystemColor | 0, clBackground = clSystemColor | 1,
                 clActiveCaption = clSystemColor | 2, clWindow = clSystemColor | 5,
                 clWindowText = clSystemColor | 8, clBtnFace = clSystemColor | 15,
                 clHighlight = clSystemColor | 13, clHighlightText = clSystemColor | 14,
                 clBtnShadow = clSystemColor | 16, clGrayText = clSystemColor | 17,
                 clBtnText = clSystemColor | 18, clBtnHighlight = clSystemColor | 20,
                 clInfoText = clSystemColor | 23, clInfoBk = clSystemColor | 24;
constexpr TColor clNone = 0x1FFFFFFF, clDefault = 0x20000000;

// The colour as Qt draws it; system colours come from the application palette.
QColor ColorToQColor(TColor color);
// The plain RGB value of a Qt colour.
TColor QColorToColor(const QColor &color);

enum class TBrushStyle { bsSolid, bsClear };
enum class TPenStyle { psSolid, psDash, psDot, psClear };

// Character sets of a font, by the numbers report files and metafile font
// records store (204: the Cyrillic set of the program's texts).
constexpr int DEFAULT_CHARSET = 1, RUSSIAN_CHARSET = 204;

// Text alignment of TextOut: where the reference point lies on the text box.
constexpr unsigned TA_LEFT = 0x00, TA_RIGHT = 0x02, TA_CENTER = 0x06, TA_TOP = 0x00,
                   TA_BOTTOM = 0x08, TA_BASELINE = 0x18;

// Pixels per inch of the screen that report pages and metafiles measure against.
constexpr int ScreenPixelsPerInch = 96;

// Height in pixels of a font's characters on the screen (a point size is
// converted at ScreenPixelsPerInch).
int FontPixelHeight(const QFont &font);

class TMetafileRecorder;

// Drawing surface of owner-drawn controls, printer pages and metafiles.
// Outside painting it still measures text in its font. The brush fills, the
// pen outlines, the font (with its colour and character set) writes text.
//
// A canvas draws either through a QPainter (Begin) or into an enhanced
// metafile (BeginRecording); the same calls give the same picture both ways.
// Coordinates are device pixels; Rectangle, Ellipse and FillRect exclude the
// right and bottom edges, so that boxes laid side by side (report frames, grid
// cells) share an edge without drawing it twice, and a recorded rectangle
// plays back the same size in a metafile viewer.
class TCanvas {
public:
    struct TBrush {
        TColor Color = clWindow;
        TBrushStyle Style = TBrushStyle::bsSolid;
    };
    struct TPen {
        TColor Color = clBlack;
        int Width = 1;
        TPenStyle Style = TPenStyle::psSolid;
    };

    TBrush Brush;
    TPen Pen;
    QFont Font;
    TColor FontColor = clWindowText;
    int FontCharset = DEFAULT_CHARSET;
    // TA_LEFT/TA_RIGHT/TA_CENTER combined with TA_TOP/TA_BOTTOM/TA_BASELINE.
    unsigned TextAlign = TA_LEFT | TA_TOP;

    // Binds the canvas to a painter for one paint pass (nullptr unbinds).
    void Begin(QPainter *painter) { painter_ = painter; recorder_ = nullptr; }
    QPainter *Painter() const { return painter_; }
    // Binds the canvas to a metafile recorder (nullptr unbinds). The recorder
    // must outlive the binding.
    void BeginRecording(TMetafileRecorder *recorder) { recorder_ = recorder; painter_ = nullptr; }
    TMetafileRecorder *Recorder() const { return recorder_; }

    void FillRect(const QRect &rect);
    void Rectangle(const QRect &rect);
    void Ellipse(const QRect &rect);
    // A rectangle with corners rounded by ellipses of corner.width() x corner.height().
    void RoundRect(const QRect &rect, QSize corner);
    void MoveTo(int x, int y) { penPos_ = QPoint(x, y); }
    void LineTo(int x, int y);
    QPoint PenPos() const { return penPos_; }
    void Polyline(const QList<QPoint> &points);
    void Polygon(const QList<QPoint> &points);
    // Writes text with its reference point at (x, y) placed by TextAlign; with
    // a solid brush the text box is filled first.
    void TextOut(int x, int y, const QString &text);
    // Fills rect with the brush and writes text at (x, y), clipped to rect.
    void TextRect(const QRect &rect, int x, int y, const QString &text);
    void Draw(int x, int y, const QPixmap &picture);
    // Draws the image scaled into rect.
    void StretchDraw(const QRect &rect, const QImage &image);
    int TextWidth(const QString &text) const;
    int TextHeight(const QString &text) const;
    QSize TextExtent(const QString &text) const { return {TextWidth(text), TextHeight(text)}; }

private:
    QPainter *painter_ = nullptr;
    TMetafileRecorder *recorder_ = nullptr;
    QPoint penPos_;

    void UsePen();
    QPoint TextOrigin(const QFontMetrics &metrics, int x, int y, int width) const;
    QFontMetrics Metrics() const;
};

} // namespace zorbel
