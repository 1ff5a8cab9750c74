// The main window's own keys, its calculators and the statistics window.
//   Keys the window sees before its controls (FormKeyDown): Esc closes the
//   program when the setting Escape is on and no reference book is being
//   edited; Ctrl+numeric-pad plus lists all bookmarks; Ctrl+F6 opens the
//   calculator with the bookmarked sums; Ctrl+Left/Right step the entry date
//   a day, Alt+Left/Right a period; Ctrl+Up/Down move an operation within its
//   day. F4 and Ctrl+0..9 are handled with the category search and packets.
//   Calculators: F9 the one named in the settings (mCalcClick), F6 the
//   program's own, prefilled with the current operation's sum.
//   A click on the status bar opens its figures as text ("Статистика").
#include "core/ZorbCalc.h"
#include "core/ZorbMain.h"
#include "core/ZorbMarks.h"
#include "core/ZorbText.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"

namespace zorbel {

void TFormMain::BuildLaunchCommands()
{
    ButResult = new TButton(PanTop, QStringLiteral("ButResult"));
    ButResult->SetCaption(U("Итоги"));
    ButResult->SetHint(U("Итоги, Анализ... (Ctrl+F8)"));
    ButResult->SetBounds(508, 3, 54, 24);
    ButResult->SetVisible(false);
    ButResult->OnClick = [this](TObject *s) { mResultClick(s); };
    PanAcRest->SetBounds(566, 3, 222, 24);
    mResult->SetEnabled(false);

    mAnalysis->Add(QStringLiteral("NCalc"), QStringLiteral("-"));
    mCalc = mAnalysis->Add(QStringLiteral("mCalc"), U("&Калькулятор станд."), ShortCut(VK_F9, 0));
    mcalc2 = mAnalysis->Add(QStringLiteral("mcalc2"), U("К&алькулятор 2*2..."), ShortCut(VK_F6, 0));
    mCalc->OnClick = [this](TObject *s) { mCalcClick(s); };
    mcalc2->OnClick = [this](TObject *s) { mcalc2Click(s); };

    Sb->OnClick = [this](TObject *s) { SbClick(s); };

    SetKeyPreview(true);
    TKeyEvent previous = OnKeyDown;
    OnKeyDown = [this, previous](TObject *Sender, WORD &Key, TShiftState Shift) {
        FormKeyDown(Sender, Key, Shift);
        if (Key && previous)
            previous(Sender, Key, Shift);
    };
    // A key FormKeyDown acted on types no character: Ctrl+numeric-pad plus
    // would otherwise reach the ledger as '+' and toggle a bookmark.
    TKeyPressEvent previousPress = OnKeyPress;
    OnKeyPress = [this, previousPress](TObject *Sender, QChar &Key) {
        if (swallowChar_) {
            swallowChar_ = false;
            Key = QChar();
            return;
        }
        if (previousPress)
            previousPress(Sender, Key);
    };
}

void TFormMain::ApplyLaunchMenuState(const TMenuState &State)
{
    mResult->SetEnabled(State.mResult);
    ButResult->SetVisible(State.ButResultVisible);
}

// ---------------------------------------------------------------- keys

bool TFormMain::ReferenceBooksBrowsing() const
{
    if (!Dm)
        return true;
    for (const TTable *t : {&Dm->Tb_Log, &Dm->Tb_Person, &Dm->Tb_Family, &Dm->Tb_Firm})
        if (t->Active() && t->State() != dsBrowse)
            return false;
    return true;
}

void TFormMain::FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift)
{
    swallowChar_ = false;
    const TShiftState mods = KeyModifiers(Shift);
    if (Key == VK_ESCAPE && mods == 0 && Escape && ReferenceBooksBrowsing()) {
        Key = 0;
        Close();
        return;
    }
    if (mods == ssCtrl) {
        switch (Key) {
        case VK_ADD:
            Key = 0;
            swallowChar_ = true;
            mpShowMarkClick(Sender);
            return;
        case VK_F6:
            Key = 0;
            ShowCalculator(true);
            return;
        case VK_LEFT:
        case VK_RIGHT:
            ButPrevClick(Key == VK_LEFT ? mDayBefore : mDayAfter);
            Key = 0;
            return;
        case VK_UP:
        case VK_DOWN:
            if (mpUp->Visible() && mpUp->Enabled()) {
                MoveOperationRow(Key == VK_UP);
                Key = 0;
            }
            return;
        default: return;
        }
    }
    if (mods == ssAlt && (Key == VK_LEFT || Key == VK_RIGHT)) {
        ButPrevClick(Key == VK_LEFT ? mPerBefore : mPerAfter);
        Key = 0;
    }
}

// ---------------------------------------------------------------- calculators

void TFormMain::mcalc2Click(TObject *) { ShowCalculator(false); }

QString TFormMain::CalculatorStartText(bool WithBookmarks)
{
    if (!Dm || !Dm->Tb_Account.Active() || Dm->Tb_Account.IsEmpty())
        return {};
    QString text;
    if (WithBookmarks) {
        TQuery &q = Dm->Qcalc;
        q.Close();
        q.ParamByName(QStringLiteral("acc"))->SetValue(Dm->Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsVariant());
        q.ParamByName(QStringLiteral("d1"))->SetAsDate(PeriodBegin);
        q.ParamByName(QStringLiteral("d2"))->SetAsDate(PeriodEnd);
        try {
            q.Open();
        } catch (const Exception &) {
            q.Close(); // no bookmark sums: the current operation's sum serves
        }
        if (q.Active() && !q.IsEmpty()) {
            const double income = q.Fields()[0]->AsFloat();
            const double expense = q.Fields()[1]->AsFloat();
            if (income != 0 && expense != 0)
                text = FloatToStr(income) + u'-' + FloatToStr(expense);
            else if (expense != 0)
                text = FloatToStr(expense);
            else if (income != 0)
                text = FloatToStr(income);
        }
        q.Close();
    }
    const TTable &hist = Dm->Tb_Hist;
    if (text.isEmpty() && hist.Active() && !hist.IsEmpty()) {
        for (const char *name : {"Ct", "Dt"}) {
            const TField *sum = hist.FieldByName(QString::fromLatin1(name));
            if (!sum->IsNull() && sum->AsFloat() != 0) {
                text = sum->DisplayText().remove(FormatSettings().ThousandSeparator);
                break;
            }
        }
    }
    return text;
}

void TFormMain::ShowCalculator(bool WithBookmarks)
{
    TFormCalc calc;
    calc.KeepOpen = true;
    calc.Ed->SetText(CalculatorStartText(WithBookmarks));
    calc.ShowModal();
}

// ---------------------------------------------------------------- statistics

QStringList TFormMain::StatisticsLines() const
{
    QStringList lines;
    const QString period = CbPer->Text();
    const QString day = QStringLiteral("dd mmm yyyy");
    if (PeriodKind() == pkTotal)
        lines << period;
    else if (PeriodBegin == PeriodEnd)
        lines << period + QStringLiteral(" = ") + FormatDateTime(day, PeriodBegin);
    else
        lines << period + QStringLiteral(" = ") + FormatDateTime(day, PeriodBegin) + QStringLiteral(" - ") +
                     FormatDateTime(day, PeriodEnd);
    const auto line = [](const char *label, const QString &value) { return U(label) + QStringLiteral(" = ") + value; };
    lines << QString() << line("Начало", Sb->PanelText(1))
          << line("Приход", PlannedIncomeText.isEmpty() ? Sb->PanelText(3) : PlannedIncomeText)
          << line("Расход", PlannedExpenseText.isEmpty() ? Sb->PanelText(5) : PlannedExpenseText)
          << line("Конец ", Sb->PanelText(7));
    lines << QString() << Sb->Hint() << QString();
    if (Dm && Dm->Tb_Account.Active() && !Dm->Tb_Account.IsEmpty())
        lines << AccountStatisticsLines(Dm->Tb_Account);
    return lines;
}

void TFormMain::SbClick(TObject *)
{
    if (!Dm || !Dm->Tb_Account.Active() || Dm->Tb_Account.IsEmpty())
        return;
    ShowStatistics(DBG->Font(), StatisticsLines());
}

} // namespace zorbel
