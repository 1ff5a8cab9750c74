// The results window's condition boxes: ticking and the category cascade,
// filling boxes from a tree node, a selection dialog or the current row,
// drill-down, include/exclude, the mark boxes and the conditions dialog.
#include "analysis/ZorbFilt.h"
#include "analysis/ZorbRst.h"

#include "core/ZorbAcc.h"
#include "core/ZorbItm.h"
#include "core/ZorbMain.h"
#include "core/ZorbRef.h"
#include "core/ZorbText.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Format.h"
#include "platform/widgets/TreeView.h"

namespace zorbel {

namespace {

// Sets a box without running its click handler's cascade.
void Tick(TFormRst &F, TCheckBox *Box, bool Checked)
{
    const bool was = F.Updating;
    F.Updating = true;
    Box->SetChecked(Checked);
    F.Updating = was;
}

void Fill(TCheckBox *Box, const QString &Caption, int Tag)
{
    Box->SetCaption(Caption);
    Box->SetTag(Tag);
}

int NodeId(const TTreeNode *Node)
{
    return int(Node->Data());
}

} // namespace

void TFormRst::ChItm1Click(TObject *)
{
    if (Updating)
        return;
    if (!ChItm1->Checked()) {
        for (TCheckBox *b : {ChItm2, ChItm3}) {
            b->SetVisible(false);
            b->SetCaption(QString());
            Tick(*this, b, false);
        }
    } else if (!ChItm2->Checked()) {
        ChItm2->SetVisible(true);
        ChItm3->SetVisible(false);
        ChItm3->SetCaption(QString());
        Tick(*this, ChItm3, false);
    } else if (!ChItm3->Checked()) {
        if (ChItm1->Tag() == -1)
            Tick(*this, ChItm2, false); // transfers have no lower levels
        else
            ChItm3->SetVisible(true);
    }
    RefreshResults();
    DataHsDataChange(&DataHs, nullptr);
}

void TFormRst::ResetConditionBox(TCheckBox *Clear, TCheckBox *TickBox)
{
    const bool was = Updating;
    Updating = true;
    if (Clear) {
        Clear->SetCaption(QString());
        Clear->SetTag(0);
        Clear->SetVisible(false);
        Clear->SetChecked(false);
    }
    if (TickBox) {
        TickBox->SetVisible(true);
        TickBox->SetChecked(true);
    }
    Updating = was;
}

bool TFormRst::SetCategoryConditions(TTreeNode *Node)
{
    if (!Node)
        return false;
    const int level = Node->Level();
    if (level == 0) {
        ResetConditionBox(ChItm3, nullptr);
        Fill(ChItm1, Node->Text(), NodeId(Node));
        ResetConditionBox(ChItm2, ChItm1);
        ChItm2->SetVisible(true);
    } else if (level == 1) {
        Fill(ChItm1, Node->Parent()->Text(), NodeId(Node->Parent()));
        ResetConditionBox(nullptr, ChItm1);
        Fill(ChItm2, Node->Text(), NodeId(Node));
        ResetConditionBox(ChItm3, ChItm2);
        ChItm3->SetVisible(true);
    } else {
        TTreeNode *parent = Node->Parent();
        Fill(ChItm1, parent->Parent()->Text(), NodeId(parent->Parent()));
        Fill(ChItm2, parent->Text(), NodeId(parent));
        Fill(ChItm3, Node->Text(), NodeId(Node));
        for (TCheckBox *b : {ChItm1, ChItm2, ChItm3})
            ResetConditionBox(nullptr, b);
    }
    return true;
}

void TFormRst::ToggleIncludeExclude(TCheckBox *Box)
{
    if (Box == ChItm1) {
        for (TCheckBox *b : {ChItm2, ChItm3}) {
            Tick(*this, b, false);
            b->SetColor(RstIncludeColor);
            b->SetCaption(QString());
        }
        ChItm3->SetVisible(false);
    } else if (Box == ChItm2) {
        if (Excluded(ChItm1))
            return;
        Tick(*this, ChItm3, false);
        ChItm3->SetColor(RstIncludeColor);
        ChItm3->SetCaption(QString());
    } else if (Box == ChItm3) {
        if (Excluded(ChItm2))
            return;
    }
    Box->SetColor(Excluded(Box) ? RstIncludeColor : RstExcludeColor);
    if (Box->Checked())
        RefreshResults();
}

void TFormRst::SetAccountBox(int Id, const QString &Name, double Rest, const QString &Currency)
{
    ChAcc->SetCaption(Name + U(" ...  ") + FormatFloat(U("#,##0.00"), Rest) + u' ' + Currency);
    ChAcc->SetTag(Id);
    restBoxAccount_ = Id;
}

void TFormRst::But_ItmClick(TObject *Sender)
{
    auto *button = dynamic_cast<TControl *>(Sender);
    if (!button)
        return;
    switch (button->Tag()) {
    case 1: {
        TFormItm form(main_);
        if (main_.Dm->Tb_Account.RecordCount() <= 1)
            form.ExcludeTransfer();
        const int result = PickCategory ? PickCategory(*this) : form.ShowModal();
        if (result == mrOk && !form.Qitm->IsEmpty())
            if (SetCategoryConditions(static_cast<TTreeNode *>(form.TvItm->Selected())))
                RefreshResults();
        if (form.TreesChanged) {
            main_.BuildCategoryTree(main_.TvCt, false, true, false, true);
            main_.BuildCategoryTree(main_.TvDt, true, true, false, true);
        }
        break;
    }
    case 2: {
        TTable &acc = main_.Dm->Tb_Account;
        const TBookmark mark = acc.Bookmark();
        int result = mrCancel;
        if (PickAccount)
            result = PickAccount(*this);
        else {
            TFormAcc form(main_);
            result = form.ShowModal();
        }
        if (result == mrOk) {
            PanCond->SetTag(0);
            SetAccountBox(acc.FieldByName(U("Id_Account"))->AsInteger(), acc.FieldByName(U("Account"))->AsString(),
                          acc.FieldByName(U("Rest"))->AsFloat(), acc.FieldByName(U("Currency"))->AsString());
        } else if (result == mrAccountGroup) {
            PanCond->SetTag(1);
            ChAcc->SetCaption(QStringLiteral("*****"));
            restBoxAccount_.reset();
        }
        if (result == mrOk || result == mrAccountGroup)
            RefreshResults();
        try {
            if (!mark.isEmpty())
                acc.GotoBookmark(mark);
        } catch (const Exception &) {
            // Only the accounts' current row: the box and totals are set.
        }
        break;
    }
    case 3:
    case 4: {
        const bool person = button->Tag() == 3;
        TTable &t = person ? main_.Dm->Tb_Person : main_.Dm->Tb_Firm;
        int result = mrCancel;
        if (auto &pick = person ? PickPerson : PickFirm)
            result = pick(*this);
        else {
            TFormRef form(main_, person ? &main_.Dm->DataPerson : &main_.Dm->DataFirm);
            result = form.ShowModal();
        }
        if (result != mrOk || !t.Active() || t.IsEmpty())
            break;
        TCheckBox *box = person ? ChPers : ChFirm;
        Fill(box, t.FieldByName(person ? U("NAME") : U("FIRM"))->AsString(),
             t.FieldByName(person ? U("ID_PERSON") : U("ID_FIRM"))->AsInteger());
        Tick(*this, box, true);
        RefreshResults();
        break;
    }
    default:
        break;
    }
}

void TFormRst::DataResDataChange(TDataSource *, TField *)
{
    const bool any = TabRes.Active() && !TabRes.IsEmpty();
    for (TMenuItem *m : {mpDelRs, mpPrint, mpSave})
        m->SetEnabled(any);
    if (!any || TcGrp->TabIndex() != 0)
        return;
    const QString nm = TabRes.FieldByName(U("nm"))->AsString();
    const int id = TabRes.FieldByName(U("id"))->AsInteger();
    switch (Distribution()) {
    case TRstDistribution::Items:
        if (!ChItm1->Checked())
            Fill(ChItm1, nm, id);
        else if (!ChItm2->Checked())
            Fill(ChItm2, nm, id);
        else if (!ChItm3->Checked())
            Fill(ChItm3, nm, id);
        break;
    case TRstDistribution::Accounts:
        if (!ChAcc->Checked()) {
            SetAccountBox(id, nm, TabRes.FieldByName(U("rst"))->AsFloat(), TabRes.FieldByName(U("cur"))->AsString());
            PanCond->SetTag(0);
        }
        break;
    case TRstDistribution::Persons:
        if (!ChPers->Checked())
            Fill(ChPers, nm, id);
        break;
    case TRstDistribution::Firms:
        if (!ChFirm->Checked())
            Fill(ChFirm, nm, id);
        break;
    }
}

void TFormRst::DBGResDblClick(TObject *)
{
    if (!TabRes.Active() || TabRes.IsEmpty())
        return;
    switch (Distribution()) {
    case TRstDistribution::Items:
        if (!ChItm1->Checked())
            ChItm1->SetChecked(true);
        else if (!ChItm2->Checked()) {
            if (ChItm1->Tag() != -1)
                ChItm2->SetChecked(true);
        } else if (!ChItm3->Checked()) {
            if (ChItm1->Tag() != -1)
                ChItm3->SetChecked(true);
        } else {
            Updating = true;
            for (TCheckBox *b : {ChItm3, ChItm2})
                b->SetCaption(QString());
            ChItm3->SetChecked(false);
            ChItm2->SetChecked(false);
            Updating = false;
            ChItm1->SetChecked(false); // runs the cascade and the refresh
        }
        return;
    case TRstDistribution::Accounts:
    case TRstDistribution::Persons:
    case TRstDistribution::Firms: {
        TCheckBox *box = Distribution() == TRstDistribution::Accounts ? ChAcc
                         : Distribution() == TRstDistribution::Persons ? ChPers
                                                                       : ChFirm;
        Updating = true;
        box->SetChecked(true);
        ButItm->SetDown(true);
        Updating = false;
        RefreshResults();
        return;
    }
    }
}

void TFormRst::ChMarkClick(TObject *Sender)
{
    if (Sender == ChMark || Sender == nullptr)
        ChMark->SetColor(ChMark->Checked() ? (ChMark->Tag() == 1 ? clRed : clLime) : clDefault);
    if (Sender == ChTrans)
        ChTrans->SetColor(ChTrans->Checked() ? clRed : clDefault);
    RefreshResults();
}

void TFormRst::ChMarkMouseDown(TObject *, TMouseButton Button, TShiftState, int, int)
{
    if (Button != TMouseButton::mbRight)
        return;
    ChMark->SetTag(ChMark->Tag() == 1 ? 0 : 1);
    if (ChMark->Checked())
        ChMarkClick(ChMark);
    else // the colour tells the unticked box's kind before it is ticked
        ChMark->SetColor(ChMark->Tag() == 1 ? clRed : clLime);
}

void TFormRst::PanCondResize(TObject *)
{
    const int w = PanCond->Width() / 3 - 10;
    int left = 2;
    for (TCheckBox *b : {ChItm1, ChItm2, ChItm3}) {
        b->SetBounds(left, b->Top(), w, b->Height());
        left += w + 3;
    }
    But_Itm->SetLeft(left);
}

void TFormRst::ButExtendClick(TObject *)
{
    FormFilt->LimitsMode = false;
    if (FormFilt->ShowModal() == mrOk)
        RefreshResults();
}

} // namespace zorbel
