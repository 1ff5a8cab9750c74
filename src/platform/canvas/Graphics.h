// Drawing vocabulary shared by windows and reports: colours, pen and brush
// styles, and the canvas that paints through a QPainter.
//
// Colours are 32-bit values 0x00BBGGRR; values with the top bit set name a
// system colour (clBtnFace, clHighlight ...) resolved through the palette.
#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>

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

// Drawing surface of an owner-drawn control. Outside painting it still
// measures text in its font. The brush fills, the pen outlines, the font
// (with its colour) writes text.
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

    // Binds the canvas to a painter for one paint pass (nullptr unbinds).
    void Begin(QPainter *painter) { painter_ = painter; }
    QPainter *Painter() const { return painter_; }

    void FillRect(const QRect &rect);
    void Rectangle(const QRect &rect);
    void MoveTo(int x, int y) { penPos_ = QPoint(x, y); }
    void LineTo(int x, int y);
    void TextOut(int x, int y, const QString &text);
    // Fills rect with the brush and writes text at (x, y), clipped to rect.
    void TextRect(const QRect &rect, int x, int y, const QString &text);
    void Draw(int x, int y, const QPixmap &picture);
    int TextWidth(const QString &text) const;
    int TextHeight(const QString &text) const;

private:
    QPainter *painter_ = nullptr;
    QPoint penPos_;
};

} // namespace zorbel
