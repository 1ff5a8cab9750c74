// TFormPlan: the dialog "Тиражирование операции в будущее" that builds a list
// of future dates for copies of an operation. The caller sets PlanStart and
// PlanEnd, shows it modally and on OK reads the list Lb: each entry's text is
// the date as "dd.mmm.yyyy ddd" and its object the date as a whole day number.
// The dialog writes nothing.
//
// Dates are chosen by ticked weekdays (ChWeek, Monday first) or days of the
// month (ChDays, 1..31); the range is never before tomorrow and at most 120
// months long.
#pragma once

#include "platform/rtl/DateTime.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/Menus.h"
#include "platform/widgets/StdCtrls.h"

#include <functional>
#include <vector>

namespace zorbel {

// The days of [Start, End] (inclusive) that a tick chooses, in date order:
// ByWeekday: Ticked[k] for the weekday k (Monday 1 .. Sunday 7); otherwise
// Ticked[k] for the day of the month k (1..31). Ticked[0] is unused.
std::vector<int> PlanDays(TDateTime Start, TDateTime End, bool ByWeekday, const std::vector<bool> &Ticked);
// A start the user picked, kept within [Tomorrow, End].
TDateTime ClampPlanStart(TDateTime Chosen, TDateTime End, TDateTime Tomorrow);
// An end the user picked, kept at or after Start and Tomorrow and at most
// 120 months after Start.
TDateTime ClampPlanEnd(TDateTime Chosen, TDateTime Start, TDateTime Tomorrow);

class TFormPlan : public TForm {
    Q_OBJECT
public:
    TFormPlan();
    ~TFormPlan() override;

    TDateTime PlanStart = 0, PlanEnd = 0;

    TButton *ButDate, *ButDateTo, *ButAdd, *ButClear, *ButOk, *BitBtn2;
    TSpeedButton *ButWeeks, *ButDays;
    TCheckListBox *ChWeek, *ChDays;
    TListBox *Lb;
    TPopupMenu *PmDt;
    TMenuItem *mpAdd, *mpDel, *mpClear;

    // The date picker; tests replace it. Returns a date, or a value not
    // above -1000000 when cancelled.
    std::function<TDateTime(TDateTime)> AskDate;

    void FormShow(TObject *Sender);
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void ButDateClick(TObject *Sender);
    void ButDateToClick(TObject *Sender);
    void ButWeeksClick(TObject *Sender);
    void ButAddClick(TObject *Sender);
    void mpDelClick(TObject *Sender);
    void mpClearClick(TObject *Sender);
    void PmDtPopup(TObject *Sender);
    // Asks for the start (Start) or end date and keeps it within the rules.
    void PickPlanDate(bool Start);
    // Shows a date on its button: "с  " or "по " and "dd.mm.yy ddd", coloured by weekday.
    void ShowPlanDate(TButton *Button);
};

// Shows the dialog for [From, To]; true with Days filled when the user chose
// dates and pressed OK.
bool ChooseFutureDates(TDateTime From, TDateTime To, std::vector<int> &Days);

} // namespace zorbel
