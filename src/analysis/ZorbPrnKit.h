// Building blocks of the results window's printouts: the page every layout
// shares (A4 in millimetres, 10 mm margins, a black page frame, a maximised
// preview zoomed to the page width) and small placers that put bands and
// printables on it at positions in millimetres.
#pragma once

#include "report/RepCtrls.h"

#include <QString>

namespace zorbel {

// Sets the common page, fonts, preview options and environment of a
// printout layout; landscape turns the page.
void SetupPrintoutLayout(TBandReport &report, bool landscape);

// Text look of a printable: point size, bold, italic.
struct TPrnFont {
    int Size = 10;
    bool Bold = false;
    bool Italic = false;
};

// A band of the given height in millimetres across the page; with a bottom
// line unless it is the summary.
TRepBand &AddPrintoutBand(TBandReport &report, TRepBandType type, double heightMm, const QString &name);

// Placers: left, top, width, height in millimetres within the band.
TRepLabel &PlaceLabel(TRepCustomBand &band, const QString &name, const QString &caption, double left, double top,
                      double width, double height, TPrnFont font, TAlignment alignment = TAlignment::taLeftJustify);
TRepDBText &PlaceDBText(TRepCustomBand &band, const QString &name, TDataSet *dataSet, const QString &field,
                        const QString &mask, double left, double top, double width, double height, TPrnFont font,
                        TAlignment alignment = TAlignment::taRightJustify);
TRepExpr &PlaceExpr(TRepCustomBand &band, const QString &name, const QString &expression, const QString &mask,
                    double left, double top, double width, double height, TPrnFont font);
TRepSysData &PlaceSysData(TRepCustomBand &band, const QString &name, TRepSysDataType kind, const QString &text,
                          double left, double top, double width, double height, TPrnFont font,
                          TAlignment alignment = TAlignment::taLeftJustify);
TRepShape &PlaceRectangle(TRepCustomBand &band, const QString &name, double left, double top, double width,
                          double height);

// x / 10000 in the format "#,##0.00#".
QString PrnAmount(int64_t x);

} // namespace zorbel
