// The future-dates dialog: the date rules as plain functions, the window
// over them.
//
//   +---------------------------------------------------------+
//   | [с  dd.mm.yy ddd]  [по dd.mm.yy ddd]                     |
//   | [Дни нед.][Числа]                                        |
//   | +-ChWeek/ChDays-+   [>>]   +-Lb---------------------+   |
//   | | [x] Понедельн |   [<<]   | 05.янв.2027 Пн          |   |
//   | | ...           |          | ...                     |   |
//   | +---------------+          +-------------------------+   |
//   |                                      [ OK ] [ Отмена ]   |
//   +---------------------------------------------------------+
#include "analysis/ZorbPlan.h"

#include "core/Qar_date.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"

#include <cmath>

namespace zorbel {
namespace {

// Weekday with Monday 1 .. Sunday 7 (DayOfWeek counts Sunday 1 .. Saturday 7).
int IsoWeekday(TDateTime d) { return (DayOfWeek(d) + 5) % 7 + 1; }

constexpr TColor SundayColor = 255, MondayColor = 0, SaturdayColor = 8388736, OtherDayColor = 8388608;

} // namespace

std::vector<int> PlanDays(TDateTime Start, TDateTime End, bool ByWeekday, const std::vector<bool> &Ticked)
{
    std::vector<int> days;
    for (int d = int(std::trunc(Start)); d <= int(std::trunc(End)); ++d) {
        int y = 0, m = 0, day = 0;
        DecodeDate(d, y, m, day);
        const size_t k = size_t(ByWeekday ? IsoWeekday(d) : day);
        if (k < Ticked.size() && Ticked[k])
            days.push_back(d);
    }
    return days;
}

TDateTime ClampPlanStart(TDateTime Chosen, TDateTime End, TDateTime Tomorrow)
{
    TDateTime start = Chosen < Tomorrow ? Tomorrow : Chosen;
    return start > End ? End : start;
}

TDateTime ClampPlanEnd(TDateTime Chosen, TDateTime Start, TDateTime Tomorrow)
{
    TDateTime end = Chosen < Start ? Start : Chosen;
    if (end < Tomorrow)
        end = Tomorrow;
    const TDateTime limit = IncMonth(Start, 120);
    return end > limit ? limit : end;
}

TFormPlan::TFormPlan()
{
    SetName(U("FormPlan"));
    SetCaption(U("Тиражирование операции в будущее"));
    SetPosition(TPosition::poScreenCenter);
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetKeyPreview(true);
    SetClientWidth(430);
    SetClientHeight(330);
    AskDate = [](TDateTime d) { return PickDate(false, true, d); };

    ButDate = new TButton(this, U("ButDate"));
    ButDate->SetTag(1);
    ButDate->SetHint(U("Начиная с даты... (F6)"));
    ButDate->SetBounds(8, 8, 150, 25);
    ButDateTo = new TButton(this, U("ButDateTo"));
    ButDateTo->SetTag(2);
    ButDateTo->SetHint(U("До даты... (F7)"));
    ButDateTo->SetBounds(166, 8, 150, 25);

    ButWeeks = new TSpeedButton(this, U("ButWeeks"));
    ButWeeks->SetCaption(U("Дни нед."));
    ButWeeks->SetGroupIndex(1);
    ButWeeks->SetBounds(8, 40, 80, 23);
    ButDays = new TSpeedButton(this, U("ButDays"));
    ButDays->SetCaption(U("Числа"));
    ButDays->SetGroupIndex(1);
    ButDays->SetBounds(88, 40, 80, 23);
    ButWeeks->SetDown(true);

    ChWeek = new TCheckListBox(this, U("ChWeek"));
    ChWeek->SetBounds(8, 68, 160, 215);
    for (const char *day : {"Понедельник", "Вторник", "Среда", "Четверг", "Пятница", "Суббота", "Воскресенье"})
        ChWeek->Items().Add(U(day));
    ChDays = new TCheckListBox(this, U("ChDays"));
    ChDays->SetBounds(8, 68, 160, 215);
    ChDays->setFlow(QListView::TopToBottom); // four columns of day numbers
    ChDays->setWrapping(true);
    ChDays->setResizeMode(QListView::Adjust);
    for (int d = 1; d <= 31; ++d)
        ChDays->Items().Add(QString::number(d));
    ChDays->SetVisible(false);

    ButAdd = new TButton(this, U("ButAdd"));
    ButAdd->SetCaption(U(">>"));
    ButAdd->SetHint(U("Добавить в список"));
    ButAdd->SetBounds(176, 120, 40, 25);
    ButClear = new TButton(this, U("ButClear"));
    ButClear->SetCaption(U("<<"));
    ButClear->SetHint(U("Очистить список"));
    ButClear->SetBounds(176, 152, 40, 25);

    Lb = new TListBox(this, U("Lb"));
    Lb->SetBounds(224, 40, 198, 243);
    PmDt = new TPopupMenu(this, U("PmDt"));
    mpAdd = PmDt->Add(U("mpAdd"), U("Добавить в список"), ShortCut(VK_INSERT, 0));
    mpDel = PmDt->Add(U("mpDel"), U("Удалить строку"), ShortCut(VK_DELETE, ssCtrl));
    mpClear = PmDt->Add(U("mpClear"), U("Очистить"), ShortCut(VK_DELETE, ssShift));
    Lb->SetPopupMenu(PmDt);

    ButOk = new TButton(this, U("ButOk"));
    ButOk->SetCaption(U("OK"));
    ButOk->SetModalResult(mrOk);
    ButOk->SetDefault(true);
    ButOk->SetEnabled(false);
    ButOk->SetBounds(262, 295, 75, 25);
    BitBtn2 = new TBitBtn(this, U("BitBtn2"));
    BitBtn2->SetCaption(U("Отмена"));
    BitBtn2->SetModalResult(mrCancel);
    BitBtn2->SetCancel(true);
    BitBtn2->SetBounds(345, 295, 75, 25);

    OnShow = [this](TObject *s) { FormShow(s); };
    OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
    ButDate->OnClick = [this](TObject *s) { ButDateClick(s); };
    ButDateTo->OnClick = [this](TObject *s) { ButDateToClick(s); };
    ButWeeks->OnClick = [this](TObject *s) { ButWeeksClick(s); };
    ButDays->OnClick = [this](TObject *s) { ButWeeksClick(s); };
    ButAdd->OnClick = [this](TObject *s) { ButAddClick(s); };
    mpAdd->OnClick = [this](TObject *s) { ButAddClick(s); };
    mpDel->OnClick = [this](TObject *s) { mpDelClick(s); };
    ButClear->OnClick = [this](TObject *s) { mpClearClick(s); };
    mpClear->OnClick = [this](TObject *s) { mpClearClick(s); };
    PmDt->OnPopup = [this](TObject *s) { PmDtPopup(s); };
    DoCreate();
}

TFormPlan::~TFormPlan() { DoDestroy(); }

void TFormPlan::ShowPlanDate(TButton *Button)
{
    const bool start = Button == ButDate;
    const TDateTime d = start ? PlanStart : PlanEnd;
    Button->SetCaption((start ? U("с  ") : U("по ")) + FormatDateTime(U("dd.mm.yy ddd"), d));
    switch (DayOfWeek(d)) {
    case 1:
        Button->SetFontColor(SundayColor);
        break;
    case 2:
        Button->SetFontColor(MondayColor);
        break;
    case 7:
        Button->SetFontColor(SaturdayColor);
        break;
    default:
        Button->SetFontColor(OtherDayColor);
        break;
    }
}

void TFormPlan::FormShow(TObject *)
{
    ShowPlanDate(ButDate);
    ShowPlanDate(ButDateTo);
}

void TFormPlan::FormKeyDown(TObject *, WORD &Key, TShiftState)
{
    if (Key == VK_F6) {
        Key = 0;
        ButDateClick(ButDate);
    } else if (Key == VK_F7) {
        Key = 0;
        ButDateToClick(ButDateTo);
    }
}

void TFormPlan::ButDateClick(TObject *) { PickPlanDate(true); }

void TFormPlan::ButDateToClick(TObject *) { PickPlanDate(false); }

void TFormPlan::PickPlanDate(bool Start)
{
    TDateTime &date = Start ? PlanStart : PlanEnd;
    const TDateTime chosen = AskDate(date);
    if (chosen <= -1000000 || chosen == date)
        return;
    date = Start ? ClampPlanStart(chosen, PlanEnd, Date() + 1) : ClampPlanEnd(chosen, PlanStart, Date() + 1);
    ShowPlanDate(Start ? ButDate : ButDateTo);
}

void TFormPlan::ButWeeksClick(TObject *)
{
    const bool weeks = ButWeeks->Down();
    ChWeek->SetVisible(weeks);
    ChDays->SetVisible(!weeks);
    Lb->Items().Clear();
    ButOk->SetEnabled(false);
}

void TFormPlan::ButAddClick(TObject *)
{
    Repaint();
    const bool weeks = ButWeeks->Down();
    TCheckListBox *box = weeks ? ChWeek : ChDays;
    std::vector<bool> ticked(size_t(box->Count() + 1), false);
    for (int i = 0; i < box->Count(); ++i)
        ticked[size_t(i + 1)] = box->Checked(i);
    for (const int d : PlanDays(PlanStart, PlanEnd, weeks, ticked)) {
        const QString text = FormatDateTime(U("dd.mmm.yyyy ddd"), d);
        bool listed = false;
        for (int i = 0; i < Lb->Count() && !listed; ++i)
            listed = Lb->Items().Strings(i) == text;
        if (!listed)
            Lb->Items().Add(text, d);
    }
    if (Lb->Count() > 0)
        Lb->SetItemIndex(0);
    ButOk->SetEnabled(Lb->Count() > 0);
}

void TFormPlan::mpDelClick(TObject *)
{
    const int i = Lb->ItemIndex();
    if (i < 0)
        return;
    Lb->Items().Delete(i);
    if (Lb->Count() > 0)
        Lb->SetItemIndex(std::max(i - 1, 0));
    ButOk->SetEnabled(Lb->Count() > 0);
}

void TFormPlan::mpClearClick(TObject *)
{
    Lb->Items().Clear();
    ButOk->SetEnabled(false);
}

void TFormPlan::PmDtPopup(TObject *)
{
    const int n = Lb->Count();
    mpDel->SetEnabled(n > 0);
    mpClear->SetEnabled(n > 0);
    mpClear->SetCaption(n > 0 ? U("Очистить ") + CountText(n, U("строку"), U("строки"), U("строк")) : U("Очистить"));
}

bool ChooseFutureDates(TDateTime From, TDateTime To, std::vector<int> &Days)
{
    TFormPlan form;
    form.PlanStart = From;
    form.PlanEnd = To;
    Days.clear();
    if (form.ShowModal() != mrOk)
        return false;
    for (int i = 0; i < form.Lb->Count(); ++i)
        Days.push_back(int(form.Lb->Items().Objects(i)));
    return true;
}

} // namespace zorbel
