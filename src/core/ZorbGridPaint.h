// The colours of one cell of a ledger-like grid, by the grid's kind (its Tag)
// and name and by the row under the cell. The main window's grids and the
// grids of the analysis windows share it; the caller puts the result on the
// grid's canvas and lets the grid draw the cell.
//
// Grid kinds by Tag: 1 operations, 2 operation lists, 3 people, 4 family
// members, 5 diary, 6 reminder list.
#pragma once

#include "core/ZorbRemind.h"
#include "platform/widgets/Classes.h"

#include <QString>
#include <array>
#include <utility>

namespace zorbel {

class TDataSet;

struct TCellPaintInput {
    int Tag = 0;
    QString GridName;
    QString FieldName;          // the column's field
    bool Selected = false;      // the cell is drawn selected
    bool Focused = false;
    bool Fixed = false;         // a title or indicator cell
    TColor GridColor = clWindow;
    TColor GridFontColor = clWindowText;
    // Birthday highlighting of people and family members (settings).
    int Day1 = 0, Day2 = 0;     // days ahead and back that still highlight
    QString RemFlag;            // a row whose C equals it is highlighted
    TReminderDays Days{};       // today, +1, +2, -1, -2
};

struct TCellPaint {
    TColor Brush = clWindow;
    TColor FontColor = clWindowText;
    bool Bold = false;
    bool Plain = false;         // the font style is reset to plain
};

// Requires: Row is the dataset of the grid, positioned on the drawn row.
TCellPaint PaintCellColors(const TCellPaintInput &In, const TDataSet &Row);

} // namespace zorbel
