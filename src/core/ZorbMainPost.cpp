// The main window's posting commands: add, edit, realise, delete, copy into
// the future, move to another account, purge history. Each handler asks
// what must be asked and hands the work to the posting road (ZorbPost.h).
#include "core/ZorbMain.h"

#include "core/TulnDlg.h"
#include "core/ZorbCopAc.h"
#include "core/ZorbLaunch.h"
#include "platform/rtl/Format.h"

namespace zorbel {
namespace {

QString U(const char *text) { return QString::fromUtf8(text); }

bool AskYes(const QString &text)
{
    return AskDialog(text, TMsgDlgType::mtConfirmation, mbYes | mbNo, false) == mrYes;
}

} // namespace

void TFormMain::EditOperation(bool isNew)
{
    if (!Posting || !Card())
        return;
    Posting->EntryDate = EntryDate;
    Posting->Mem = {Mem_Sum, Mem_Price, Mem_Quant, Mem_Prs, Mem_Frm, Mem_Comm, Mem_Rate};
    TCardTrees trees = CategoryTrees ? CategoryTrees() : TCardTrees{};
    RunOperationCard(*Dm, *Posting, *Card(), isNew, trees);
}

void TFormMain::mMoneyNewClick(TObject *) { EditOperation(true); }

void TFormMain::mMoneyEditClick(TObject *) { EditOperation(false); }

void TFormMain::mUpdateClick(TObject *)
{
    if (Posting)
        Posting->RealiseFlag = true;
    EditOperation(false);
}

void TFormMain::mMoneyDeleteClick(TObject *)
{
    if (!Posting || !Dm->Tb_Hist.Active() || Dm->Tb_Hist.IsEmpty())
        return;
    if (!AskYes(U("Удалить строку?")))
        return;
    Posting->DeleteOperation();
}

void TFormMain::mpMoneyCopyClick(TObject *)
{
    TTable &h = Dm->Tb_Hist;
    if (!Posting || !h.Active() || h.IsEmpty() || !AnalysisLaunchers().FormPlan)
        return;
    TDateTime from = 0, to = 0;
    DefaultFutureRange(Date(), from, to);
    std::vector<int> days;
    if (!AnalysisLaunchers().FormPlan(from, to, days)) {
        UpdateBalances(false, 0);
        return;
    }
    if (days.empty() || !AskYes(U("Добавить ") + QString::number(days.size()) + U(" планируемых строк?")))
        return;
    THourGlass hourglass;
    Posting->CopyToFuture(days);
}

void TFormMain::mpAccCopyClick(TObject *)
{
    TTable &h = Dm->Tb_Hist;
    if (!Posting || !Dm->Tb_Account.Active() || Dm->Tb_Account.RecordCount() < 2)
        return;
    TFormCopAc picker;
    for (const TAccountLine &line : AccountPickerLines(*Dm))
        picker.Lb->Items().Add(line.Text, line.Id);
    if (picker.Lb->Count() > 0)
        picker.Lb->SetItemIndex(0);
    if (picker.ShowModal() != mrOk || picker.Lb->ItemIndex() < 0)
        return;
    const int chosen = picker.Lb->ItemIndex();
    const int target = int(picker.Lb->Items().Objects(chosen));
    if (!h.Active() || h.IsEmpty())
        return;
    double rate = DayRate(target, h.FieldByName(QStringLiteral("Date_Real"))->AsDateTime());
    if (rate <= 0)
        rate = RateFromAccountLine(picker.Lb->Items().Strings(chosen));
    Posting->MoveOperation(target, rate);
}

void TFormMain::mEmptyClick(TObject *)
{
    if (!Posting)
        return;
    if (!AskYes(U("Удалить БЕЗВОЗВРАТНО все данные до ") + FormatDateTime(U("dd.mm.yy"), EntryDate) + u'?'))
        return;
    THourGlass hourglass;
    Posting->EntryDate = EntryDate;
    Posting->Purge();
    PackOnClose = true;
}

bool TFormMain::PurgeHistory(bool beforeEntryDate)
{
    if (!Posting)
        return false;
    Posting->EntryDate = EntryDate;
    return Posting->PurgeHistory(beforeEntryDate);
}

double TFormMain::DayRate(int account, TDateTime date) { return Posting ? Posting->DayRate(account, date) : 0; }

} // namespace zorbel
