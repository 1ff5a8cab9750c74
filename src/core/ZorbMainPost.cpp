// The main window's posting commands: add, edit, realise, delete, copy into
// the future, move to another account, purge history. Each handler asks
// what must be asked and hands the work to the posting road (ZorbPost.h).
#include "core/ZorbMain.h"

#include "core/TulnDlg.h"
#include "core/ZorbCopAc.h"
#include "core/ZorbLaunch.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"

namespace zorbel {
namespace {

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
    TCardTrees trees = CardTrees();
    RunOperationCard(*Dm, *Posting, *Card(), isNew, trees);
}

void TFormMain::BuildPostMenu()
{
    mMoney = MainMenu->Add(QStringLiteral("mMoney"), U("&Деньги"));
    mMoneyNew = mMoney->Add(QStringLiteral("mMoneyNew"), U("&Добавить"));
    mMoneyEdit = mMoney->Add(QStringLiteral("mMoneyEdit"), U("&Изменить"));
    mMoneyDelete = mMoney->Add(QStringLiteral("mMoneyDelete"), U("&Удалить"));
    mUpdate = mMoney->Add(QStringLiteral("mUpdate"), U("Реали&зовать"));
    mMoney->Add(QStringLiteral("N30"), QStringLiteral("-"));
    mEmpty = mMoney->Add(QStringLiteral("mEmpty"), U("Очистить историю..."));
    mEmpty->SetVisible(AdminMode);
}

void TFormMain::BuildPostCommands()
{
    mpMoneyNew = PmHist->Add(QStringLiteral("mpMoneyNew"), U("&Добавить операцию..."));
    mpMoneyEdit = PmHist->Add(QStringLiteral("mpMoneyEdit"), U("&Изменить операцию..."));
    mpMoneyDelete = PmHist->Add(QStringLiteral("mpMoneyDelete"), U("&Удалить операцию..."));
    mpUpdate = PmHist->Add(QStringLiteral("mpUpdate"), U("Реали&зовать операцию..."));
    mpMoneyCopy = PmHist->Add(QStringLiteral("mpMoneyCopy"), U("&Копировать в будущее..."));
    mpAccCopy = PmHist->Add(QStringLiteral("mpAccCopy"), U("Пере&местить на счёт..."));
    for (TMenuItem *m : {mMoneyNew, mpMoneyNew})
        m->OnClick = [this](TObject *s) { mMoneyNewClick(s); };
    for (TMenuItem *m : {mMoneyEdit, mpMoneyEdit})
        m->OnClick = [this](TObject *s) { mMoneyEditClick(s); };
    for (TMenuItem *m : {mMoneyDelete, mpMoneyDelete})
        m->OnClick = [this](TObject *s) { mMoneyDeleteClick(s); };
    for (TMenuItem *m : {mUpdate, mpUpdate})
        m->OnClick = [this](TObject *s) { mUpdateClick(s); };
    mpMoneyCopy->OnClick = [this](TObject *s) { mpMoneyCopyClick(s); };
    mpAccCopy->OnClick = [this](TObject *s) { mpAccCopyClick(s); };
    mEmpty->OnClick = [this](TObject *s) { mEmptyClick(s); };
    const TNotifyEvent popup = PmHist->OnPopup;
    PmHist->OnPopup = [this, popup](TObject *s) {
        if (popup)
            popup(s);
        PmHistPopup(s);
    };
    DBG->OnDblClick = [this](TObject *s) { DBGDblClick(s); };
    DBG->OnKeyPress = [this](TObject *s, QChar &k) { DBGKeyPress(s, k); };
    for (TTreeView *tv : {TvCt, TvDt}) {
        tv->OnDblClick = [this](TObject *s) { TvCtDblClick(s); };
        tv->OnKeyPress = [this](TObject *s, QChar &k) { TvCtKeyPress(s, k); };
    }
}

void TFormMain::ApplyPostMenuState(const TMenuState &State)
{
    mMoney->SetEnabled(State.mMoney);
    const std::pair<TMenuItem *, bool> items[] = {
        {mMoneyNew, State.mMoneyNew},       {mMoneyEdit, State.mMoneyEdit},     {mMoneyDelete, State.mMoneyDelete},
        {mUpdate, State.mUpdate},           {mpMoneyNew, State.mpMoneyNew},     {mpMoneyEdit, State.mpMoneyEdit},
        {mpMoneyDelete, State.mpMoneyDelete}, {mpUpdate, State.mpUpdate},       {mpMoneyCopy, State.mpMoneyCopy},
        {mpAccCopy, State.mpAccCopy}};
    for (const auto &[item, enabled] : items)
        item->SetEnabled(enabled);
}

TCardTrees TFormMain::CardTrees()
{
    TCardTrees trees;
    trees.ExpenseShown = mCt->Checked();
    const auto node = [](TTreeView *tv) -> std::optional<TCategoryNode> {
        const TTreeNode *n = tv->Selected();
        if (!n)
            return std::nullopt;
        TCategoryNode c{int16_t(n->Data()), n->Level(), 0, 0};
        if (const TTreeNode *p = n->Parent()) {
            c.Parent = int16_t(p->Data());
            if (const TTreeNode *g = p->Parent())
                c.Grandparent = int16_t(g->Data());
        }
        return c;
    };
    trees.ExpenseNode = node(TvCt);
    trees.IncomeNode = node(TvDt);
    trees.ShowTree = [this](bool expense) {
        mCt->SetChecked(expense);
        mDt->SetChecked(!expense);
        ButCt->SetDown(expense);
        ButDt->SetDown(!expense);
        SwitchTreeKind();
    };
    return trees;
}

void TFormMain::DBGDblClick(TObject *)
{
    if (mMoneyEdit->Enabled())
        EditOperation(false);
}

void TFormMain::DBGKeyPress(TObject *Sender, QChar &Key)
{
    if (Key == u'\r') {
        Key = QChar();
        DBGDblClick(Sender);
    }
}

void TFormMain::DBGDragDrop(TObject *, TObject *, int, int)
{
    DBG->SetDragMode(TDragMode::dmManual);
    EditOperation(true);
}

void TFormMain::PmHistPopup(TObject *)
{
    mpAccCopy->SetVisible(Dm->Tb_Account.Active() && Dm->Tb_Account.RecordCount() > 1);
}

void TFormMain::TvCtDblClick(TObject *Sender)
{
    auto *tv = dynamic_cast<TTreeView *>(Sender);
    if (tv && tv->Selected() && !tv->Selected()->HasChildren())
        EditOperation(true);
}

void TFormMain::TvCtKeyPress(TObject *, QChar &Key)
{
    if (Key == u'\r') {
        Key = QChar();
        EditOperation(true);
    }
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
    if (days.empty() || !AskYes(U("Добавить ") +
                                     CountText(qint64(days.size()), U("планируемую строку"), U("планируемые строки"),
                                               U("планируемых строк")) +
                                     u'?'))
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
