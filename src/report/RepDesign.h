// Colours and the grid of the report design surface.
#pragma once

#include "platform/canvas/Graphics.h"
#include "platform/dataset/DBTypes.h"
#include "report/RepLayout.h"

#include <QFont>
#include <QStringList>

namespace zorbel {

class TDataSet;
class TRepPrintable;

// Pens and the grid label font of the design surface. A screen of more
// than 256 colours gets light solid grid lines; a screen of fewer gets
// dotted grey ones that still show.
struct TRepDesignColours {
    TCanvas::TPen GridMinor, GridMajor, Margin, BandOutline;
    QFont LabelFont;
    TColor LabelColor = 0;
};

// The colours for a screen of numColors colours (negative: high colour).
TRepDesignColours ChooseDesignColours(int numColors);
// The colours for this screen, chosen once.
const TRepDesignColours &DesignColours();

// The design grid of a panel of size in unit: inches get a line every
// quarter inch and a major one every inch, millimetres one every 5 mm and
// a major one every 10 mm, characters a dotted line every column (of a
// font of fontSize points); labels at the major lines from a zoom of 50
// (inches) or 60 (millimetres). Other units draw nothing.
void DrawRuler(TCanvas &canvas, QSize size, TRepUnit unit, int zoom, int fontSize);

// The outline of r in the canvas pen (right and bottom edges inside r).
void DrawOutline(TCanvas &canvas, const QRect &r);

// The font as a design view at zoom shows it.
QFont ZoomedFont(const QFont &font, int zoom);

// A text control's design view: lines one under the other (the canvas
// height of "W" apart) in the canvas font, aligned in a client area of
// size, starting inside the frame's top and left lines.
void PaintDesignLines(TCanvas &canvas, const QStringList &lines, QSize size, TAlignment alignment,
                      const TRepFrame &frame, int zoom);

// A database picture's design view: the control colour with "(" + the
// field's display label + ")" centred on it, or "(" + Name + ")" while
// no such field is found.
void PaintFieldPlaceholder(TCanvas &canvas, const TRepPrintable &control, const TDataSet *dataSet,
                           const QString &dataField);

// Starts a text control's design view: the canvas takes the font (zoomed)
// and its colour, and the background is filled unless transparent.
void BeginDesignText(TCanvas &canvas, const TRepPrintable &control, const QFont &font, TColor fontColor);

} // namespace zorbel
