// Cell colours of the program's grids (see ZorbGridPaint.h).
#include "core/ZorbGridPaint.h"

#include "platform/dataset/DataSet.h"
#include "platform/rtl/DateTime.h"

namespace zorbel {

namespace {

// The weekday (1 Sunday .. 7 Saturday) of an operation row, 0 when unknown.
int RowWeekday(const TDataSet &row)
{
    if (TField *f = row.FindField(QStringLiteral("date_real"))) {
        if (f->IsNull())
            return 0;
        const double d = f->AsDateTime();
        int y, m, dd;
        return DecodeDate(d, y, m, dd) ? DayOfWeek(d) : 0;
    }
    if (row.FindField(QStringLiteral("vr")) && row.FindField(QStringLiteral("dw")))
        return row.FieldByName(QStringLiteral("dw"))->AsInteger();
    return 0;
}

QString Text(const TDataSet &row, const char *name)
{
    TField *f = row.FindField(QString::fromLatin1(name));
    return f ? f->AsString() : QString();
}

bool BirthdayHighlight(const TCellPaintInput &in, const TDataSet &row)
{
    const int dy = row.FindField(QStringLiteral("Dy")) ? row.FieldByName(QStringLiteral("Dy"))->AsInteger() : 0;
    const int mn = row.FindField(QStringLiteral("Mn")) ? row.FieldByName(QStringLiteral("Mn"))->AsInteger() : 0;
    return RemindedPerson(ReminderWindow(in.Days, in.Day1, in.Day2), Text(row, "C"), in.RemFlag, dy, mn);
}

} // namespace

TCellPaint PaintCellColors(const TCellPaintInput &In, const TDataSet &Row)
{
    const QString column = In.FieldName.toUpper();
    bool highlight = false, marked = false;
    TColor background = In.GridColor, selectedColor = clHighlight;
    int weekday = 0;
    // The balance warning of the future-days and dynamics grids; only a grid
    // whose rows carry a balance can warn.
    bool warning = false;
    const bool operations = In.Tag == 1 || In.Tag == 2;

    if (operations) {
        highlight = Text(Row, "Kind") > QStringLiteral("1");
        marked = Text(Row, "B") == u"+";
        background = RGB(205, 231, 231);
        selectedColor = RGB(0, 128, 192);
        weekday = RowWeekday(Row);
        if ((In.GridName == u"DBGDays" || In.GridName == u"DBGDyn") && Row.FindField(QStringLiteral("Rest")))
            warning = Row.FieldByName(QStringLiteral("Rest"))->AsFloat() < 0 && column == u"REST";
    } else if (In.Tag == 3 || In.Tag == 4) {
        highlight = BirthdayHighlight(In, Row);
        background = RGB(210, 255, 210);
        selectedColor = RGB(0, 128, 0);
    } else if (In.Tag == 5) {
        const QString c = Text(Row, "C");
        highlight = c == u"1" || c == u"2";
        if (c == u"1") {
            background = RGB(210, 255, 210);
            selectedColor = RGB(0, 128, 0);
        } else if (c == u"2") {
            background = RGB(255, 219, 219);
            selectedColor = RGB(128, 0, 0);
        }
    } else if (In.Tag == 6) {
        switch (Row.FindField(QStringLiteral("Knd")) ? Row.FieldByName(QStringLiteral("Knd"))->AsInteger() : 0) {
        case 1: background = RGB(194, 252, 233); selectedColor = RGB(73, 118, 113); break;
        case 2: background = RGB(234, 238, 238); selectedColor = RGB(99, 111, 122); break;
        case 3: background = RGB(188, 216, 224); selectedColor = RGB(0, 128, 192); break;
        default: break;
        }
    }

    const bool dateColumn = In.Tag < 3 && (column == u"DATE_REAL" || column == u"VR");
    const bool markColumn = In.Tag < 3 && marked && In.GridName != u"DBGMark" && (column == u"DT" || column == u"CT");
    TCellPaint p;
    p.Brush = In.GridColor;
    p.FontColor = In.GridFontColor;
    if (highlight) {
        p.Brush = background;
        if (In.Tag < 3)
            p.FontColor = RGB(0, 0, 255);
    }
    if (dateColumn && weekday == 1)
        p.FontColor = RGB(255, 0, 0);
    else if (dateColumn && weekday == 7)
        p.FontColor = RGB(128, 0, 128);
    if (markColumn)
        p.Brush = RGB(210, 255, 210);
    if (warning)
        p.FontColor = RGB(255, 88, 9);
    if (In.Tag == 6)
        p.Brush = background;

    if (In.Selected && !In.Fixed) {
        p.FontColor = clHighlightText;
        p.Brush = clHighlight;
        p.Plain = true;
        if (highlight)
            p.Brush = selectedColor;
        if (dateColumn && weekday == 1)
            p.FontColor = RGB(255, 0, 0);
        else if (dateColumn && weekday == 7)
            p.FontColor = RGB(255, 0, 255);
        if (markColumn)
            p.Brush = RGB(0, 128, 0);
        if (warning) {
            p.FontColor = RGB(0, 255, 255);
            p.Bold = true;
        }
        if (In.Tag == 6)
            p.Brush = selectedColor;
    }
    return p;
}

} // namespace zorbel
