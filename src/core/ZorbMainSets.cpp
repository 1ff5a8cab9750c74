// The main window's settings window (mSetsClick) and the spreading of the
// ledger grid's two fonts to the window's other grids, trees and panels
// (ApplyGridFonts). The options themselves live in TMainOptions; SaveSettings
// stores them at exit.
#include "core/ZorbMain.h"

#include "core/TulnCommon.h"
#include "core/TulnDlg.h"
#include "core/ZorbSets.h"
#include "core/ZorbText.h"

namespace zorbel {
namespace {

// The text of a one-character option edit: its first character, or empty.
QString FirstChar(const TEdit *edit) { return edit->Text().left(1); }

// The label the settings window lists for a column of the ledger grid.
QString ColumnLabel(const TColumn *column)
{
    const TField *f = column->Field();
    return f ? f->DisplayLabel() : column->FieldName();
}

} // namespace

void TFormMain::ApplyGridFonts()
{
    DBG->SetFont(GridFont);
    DBG->SetFontColor(GridFontColor);
    DBG->SetTitleFont(TitleFont);
    DBG->SetTitleFontColor(TitleFontColor);
    for (TDBGrid *g : {static_cast<TDBGrid *>(DBGRem), static_cast<TDBGrid *>(DBGPerson),
                       static_cast<TDBGrid *>(DBGFamily), static_cast<TDBGrid *>(DBGFirm),
                       static_cast<TDBGrid *>(DBGPers_Firm), static_cast<TDBGrid *>(DBGLog)}) {
        if (!g)
            continue;
        g->SetFont(GridFont);
        g->SetFontColor(GridFontColor);
        g->SetTitleFont(TitleFont);
        g->SetTitleFontColor(TitleFontColor);
    }
    for (TControl *c : {static_cast<TControl *>(TvDt), static_cast<TControl *>(TvCt), static_cast<TControl *>(Sb)}) {
        if (!c)
            continue;
        c->SetFont(TitleFont);
        c->SetFontColor(TitleFontColor);
    }
    // These two keep their own colour.
    if (ButDate) {
        ButDate->SetFont(TitleFont);
        LayOutDateBox();
    }
    QFont bold = TitleFont;
    bold.setBold(true);
    PanAcRest->SetFont(bold);
    // The operation card, made once per data set, gives its data controls
    // the ledger's font each time it is shown.
    if (FormCard)
        Card()->GridFont = GridFont;
}

void TFormMain::mSetsClick(TObject *)
{
    TFormSets f;
    f.SetBounds(f.Left(), f.Top(), Sets_Width, Sets_Height);
    // Again once shown, with the frame the stored size includes.
    const TNotifyEvent shown = f.OnShow;
    f.OnShow = [this, &f, shown](TObject *s) {
        shown(s);
        f.SetBounds(f.Left(), f.Top(), Sets_Width, Sets_Height);
    };
    const bool statusWasShown = Sb->Visible();

    f.ButFontTitle->SetFont(TitleFont);
    f.ButFontGrid->SetFont(GridFont);
    f.ChBar->SetChecked(ShowBar);
    f.ChStatus->SetChecked(ShowStatus);
    const std::pair<TCheckBox *, bool> checks[] = {
        {f.ChSum, Mem_Sum},       {f.ChPrice, Mem_Price},     {f.ChQuant, Mem_Quant},   {f.ChRate, Mem_Rate},
        {f.ChPrs, Mem_Prs},       {f.ChFrm, Mem_Frm},         {f.ChComm, Mem_Comm},     {f.ChConfirm, FConfirm},
        {f.ChEscape, Escape},     {f.ChEmpty, QuantDefault},  {f.ChAdmin, AdminMode},   {f.ChLast_Date, Last_Date},
        {f.ChAcc_Def, Acc_Def},   {f.ChAutoSum, AutoSum}};
    for (const auto &[box, value] : checks)
        box->SetChecked(value);
    f.EdCSV->SetText(CSV);
    f.EdFlag->SetText(Rem_Flag);
    f.EdCalc->SetText(IsOwnCalculator(Calc) ? QString() : Calc);
    f.EdReserve->SetText(PathReserve);
    f.EdBak->SetText(PathBak);
    f.EdDate->SetText(DateForm);
    f.ButReg->SetEnabled(KeepRegistry);
    for (int i = 0; i < DBG->Columns().Count(); ++i) {
        const TColumn *c = DBG->Columns()[i];
        f.LbFld->Items().Add(ColumnLabel(c));
        f.LbFld->SetChecked(i, c->Visible());
    }
    if (f.LbFld->Count() > 0) {
        f.LbFld->SetItemIndex(0);
        f.EdDisplay->SetText(DBG->Columns()[0]->TitleCaption());
    }
    f.CbCor->SetItemIndex(AutoCor >= 0 && AutoCor <= 3 ? AutoCor : 0);
    const std::pair<TComboBox *, int> boxes[] = {{f.CbDay1, Day1},         {f.CbDay2, Day2},
                                                 {f.CbQuant, Format_Qnt},  {f.CbPrice, Format_Prc},
                                                 {f.CbRate, Format_Rte}};
    for (const auto &[box, value] : boxes)
        box->SetItemIndex(value >= 0 && value < box->Items().Count() ? value : -1);

    // What acts at once and stays after Cancel: columns, titles, the file association.
    f.LbFld->OnClickCheck = [this, &f](TObject *) {
        for (int i = 0; i < f.LbFld->Count() && i < DBG->Columns().Count(); ++i)
            DBG->Columns()[i]->SetVisible(f.LbFld->Checked(i));
    };
    f.LbFld->OnClick = [this, &f](TObject *) {
        const int i = f.LbFld->ItemIndex();
        if (i >= 0 && i < DBG->Columns().Count())
            f.EdDisplay->SetText(DBG->Columns()[i]->TitleCaption());
    };
    const auto applyTitle = [this, &f](TObject *) {
        const int i = f.LbFld->ItemIndex();
        if (i >= 0 && i < DBG->Columns().Count())
            DBG->Columns()[i]->SetTitleCaption(f.EdDisplay->Text());
    };
    f.ButColumn->OnClick = applyTitle;
    f.EdDisplay->OnKeyPress = [applyTitle](TObject *s, QChar &Key) {
        if (Key == u'\r') {
            applyTitle(s);
            Key = QChar();
        }
    };
    f.ButReg->OnClick = [&f](TObject *) {
        if (AskDialog(U("Очистить записи, сделанные программой (её настройки и связь с *.den-файлами)?"),
                      TMsgDlgType::mtConfirmation, mbYes | mbNo, false) != mrYes)
            return;
        f.ButReg->SetEnabled(false);
        RegisterFileType(QStringLiteral(".den"), QStringLiteral("Zorbel"), QStringLiteral("Zorbel"), false);
    };

    if (f.ShowModal() == mrOk) {
        ShowBar = f.ChBar->Checked();
        PanTop->SetVisible(ShowBar);
        KeepRegistry = f.ButReg->Enabled();
        if (f.ChStatus->Checked() != ShowStatus) {
            ShowStatus = f.ChStatus->Checked();
            Sb->SetVisible(ShowStatus);
            if (ShowStatus && !statusWasShown)
                UpdateBalances(true, 0);
        }
        CSV = FirstChar(f.EdCSV);
        Rem_Flag = FirstChar(f.EdFlag);
        // Left empty, the stored value keeps standing for the own calculator.
        Calc = f.EdCalc->Text().trimmed().isEmpty() && IsOwnCalculator(Calc) ? Calc : f.EdCalc->Text();
        PathReserve = f.EdReserve->Text();
        PathBak = f.EdBak->Text();
        DateForm = f.EdDate->Text();
        Mem_Sum = f.ChSum->Checked();
        Mem_Price = f.ChPrice->Checked();
        Mem_Quant = f.ChQuant->Checked();
        Mem_Rate = f.ChRate->Checked();
        Mem_Prs = f.ChPrs->Checked();
        Mem_Frm = f.ChFrm->Checked();
        Mem_Comm = f.ChComm->Checked();
        FConfirm = f.ChConfirm->Checked();
        Escape = f.ChEscape->Checked();
        QuantDefault = f.ChEmpty->Checked();
        AdminMode = f.ChAdmin->Checked();
        Last_Date = f.ChLast_Date->Checked();
        Acc_Def = f.ChAcc_Def->Checked();
        AutoSum = f.ChAutoSum->Checked();
        AutoCor = f.CbCor->ItemIndex();
        Day1 = f.CbDay1->ItemIndex();
        Day2 = f.CbDay2->ItemIndex();
        Format_Qnt = f.CbQuant->ItemIndex();
        Format_Prc = f.CbPrice->ItemIndex();
        Format_Rte = f.CbRate->ItemIndex();
        GridFont = f.ButFontGrid->Font();
        TitleFont = f.ButFontTitle->Font();
        ApplyGridFonts();
        ApplyDisplayFormats();
        mEmpty->SetVisible(AdminMode);
    } else if (!mEmpty->Visible()) {
        AdminMode = false;
    }
    Sets_Width = f.Width();
    Sets_Height = f.Height();
}

} // namespace zorbel
