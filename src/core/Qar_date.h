// The date picker: a small caption-less modal window with a month grid, a
// month scroll bar with the month's name, a year edit with an up-down, and
// four glyph buttons (delete, today, OK, cancel), entered through PickDate.
//
// Month grid layout: 7 columns (Monday .. Sunday) by 7 rows of 21 × 21
// pixels; row 0 holds the weekday names, rows 1..6 the days. The day in
// row r ≥ 1, column c is c + MonthOffset + (r − 1) × 7, shown when it lies
// within the month. With w = weekday of day 1 counted Monday = 1 .. Saturday
// = 6, Sunday = 0, MonthOffset = 2 − w, or −5 when w = 0, so day 1 always
// stands in the first day row under its own weekday.
#pragma once

#include "platform/rtl/DateTime.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

namespace zorbel {

// PickDate's result when the user deletes the date.
constexpr TDateTime DateDeleted = -1000000.0;
// PickDate's result when the picker is cancelled.
constexpr TDateTime DateCancelled = -2000000.0;

// The month grid: one month of days, the selected day framed.
class TQarCalendar : public QWidget, public TControl {
    Q_OBJECT
public:
    explicit TQarCalendar(QWidget *parent);

    static constexpr int ColCount = 7, RowCount = 7, CellSize = 21;

    // The selected date; setting it lays out its month when the year, month
    // or day changed, and the selection drops any time of day.
    TDateTime CalendarDate() const { return date_; }
    void SetCalendarDate(TDateTime date);
    int Year() const { return year_; }
    int Month() const { return month_; }
    int Day() const { return day_; }
    int MonthOffset() const { return monthOffset_; }
    int DaysThisMonth() const { return daysThisMonth_; }
    int Col() const { return col_; }
    int Row() const { return row_; }

    // The text of a cell: a weekday name in row 0, a day number or nothing.
    QString CellText(int col, int row) const;
    // Moves the current cell as the grid's own moves do: refused for a cell
    // without a day, else the date becomes that day of the month.
    bool MoveToCell(int col, int row);
    QRect CellRect(int col, int row) const;
    // The cell under a point (false outside the cells).
    bool CellAt(QPoint p, int &col, int &row) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool ControlEvent(QEvent *event) override;

private:
    void UpdateCalendar();
    bool SelectCell(int col, int row);
    void DrawCell(QPainter &painter, int col, int row);

    TDateTime date_;
    int year_ = 0, month_ = 0, day_ = 0;
    bool leap_ = false;
    int daysThisMonth_ = 0;
    int monthOffset_ = 0;
    int startOfWeek_ = 1;
    int col_ = 0, row_ = 1;
    TCanvas canvas_;
};

class TFormDate : public TForm {
    Q_OBJECT
public:
    TFormDate();
    ~TFormDate() override;

    TPanel *PanTop;
    TScrollBar *MonBar;
    TPanel *PanMon;
    TEdit *EdY;
    TUpDown *UdY;
    TBitBtn *ButDel, *ButToday, *ButOk, *ButCancel;
    // Created by PickDate (its step 4).
    TQarCalendar *Calendar = nullptr;

    // Month bar scroll: -1 line up, +1 line down, 0 any other scroll code.
    void MonBarScroll(int months);
    void UdYClick(TObject *Sender, TUDBtnType Button);
    void EdYEnter(TObject *Sender);
    void EdYExit(TObject *Sender);
    void EdYKeyPress(TObject *Sender, QChar &Key);
    void ButTodayClick(TObject *Sender);
    void FormShow(TObject *Sender);

private:
    // Moves the date by whole months and shows its year and month.
    void MoveMonths(int months);
    void ShowYearAndMonth();
    void ApplyYear();
};

// The window while PickDate shows it (nullptr otherwise).
extern TFormDate *FormDate;

// Where the picker opens for a mouse pointer: beside it within the client
// width from the left edge, below it unless that runs off the screen.
QPoint DatePickerPosition(QPoint pointer, int clientWidth, int windowHeight, int screenHeight);

// Shows the picker on Date: the chosen whole day, DateDeleted or DateCancelled.
TDateTime PickDate(bool ShowDelete, bool ShowTopBar, TDateTime Date);

} // namespace zorbel
