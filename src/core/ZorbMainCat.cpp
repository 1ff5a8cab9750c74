// The main window's category commands that open the category windows: add
// beside, add a branch, edit (TFormCat) and the extended search (TFormItm).
#include "core/ZorbCat.h"
#include "core/ZorbItm.h"
#include "core/ZorbMain.h"

namespace zorbel {

void TFormMain::BuildCategoryCommands()
{
    const std::pair<TMenuItem *, int> modes[] = {
        {mCategoryNew, CatAddBeside}, {mCategoryNewChild, CatAddBranch}, {mCategoryEdit, CatEdit},
        {mpCategoryNew, CatAddBeside}, {mpCategoryNewChild, CatAddBranch}, {mpCategoryEdit, CatEdit}};
    for (const auto &[item, mode] : modes) {
        item->SetTag(mode);
        item->OnClick = [this](TObject *s) { mCategoryNewClick(s); };
        item->SetVisible(true);
    }
    for (TMenuItem *m : {mCategorySearch, mpCategorySearch}) {
        m->OnClick = [this](TObject *s) { mpCategorySearchClick(s); };
        m->SetVisible(true);
    }
}

void TFormMain::mCategoryNewClick(TObject *Sender)
{
    if (auto *item = dynamic_cast<TMenuItem *>(Sender))
        EditCategory(int(item->Tag()));
}

void TFormMain::EditCategory(int Mode)
{
    TTreeView *tree = mCt->Checked() ? TvCt : mDt->Checked() ? TvDt : nullptr;
    if (!tree || !Dm)
        return;
    EndTreeEdits();
    if (isVisible())
        tree->SetFocus();
    TTable &items = Dm->Tb_Items;
    if (Mode == CatEdit) {
        TTreeNode *node = tree->Selected();
        if (!node || !items.FindKey({Variant(int16_t(node->Data()))}))
            return;
    }
    TFormCat form(*this, Mode, tree, tree == TvDt);
    const int result = form.ShowModal();
    if (result != mrOk && (items.State() == dsEdit || items.State() == dsInsert))
        items.Cancel();
    TvCtChange(tree, tree->Selected());
}

void TFormMain::mpCategorySearchClick(TObject *)
{
    TTreeView *tree = ShownTree();
    if (!tree || !Dm)
        return;
    TTreeNode *before = tree->Selected();
    TFormItm form(*this);
    if (Dm->Tb_Account.Active() && Dm->Tb_Account.RecordCount() <= 1)
        form.ExcludeTransfer();
    form.TcItm->SetTabIndex(tree == TvDt ? 1 : 0);
    form.TcItm->SetVisible(false);
    form.OpenOn = before ? int(before->Data()) : NoCategory;
    const int result = form.ShowModal();
    if (form.TreesChanged) {
        BuildCategoryTree(TvCt, false, true, false, true);
        BuildCategoryTree(TvDt, true, true, false, true);
        before = nullptr;
    }
    TTreeNode *node = nullptr;
    if (result == mrOk) {
        if (!form.EdItm->Text().isEmpty())
            CategoryFindText = form.EdItm->Text();
        node = FindCategoryNode(tree, form.ChosenId());
    }
    if (!node)
        node = before ? before : tree->Items().GetFirstNode();
    if (node)
        tree->SetSelected(node);
    if (isVisible())
        tree->SetFocus();
}

} // namespace zorbel
