// The main window's category trees: the expense tree TvCt and the income tree
// TvDt in the panel PanD, their filling, which one is shown, the alternative
// trees, renaming in place, deleting, moving (menu and drag and drop) and
// their drawing. Which categories a tree shows and how a move is checked and
// written live in ZorbCategories.cpp.
//
// A tree can fall behind the table only by a change made through the other
// tree; every such change (delete, rename of a kind "0" category, move)
// clears the other tree, which is refilled when it is shown next. Delete and
// move take the old path of a category from the table, never from a node.
#include "core/ZorbMain.h"

#include "core/TulnDlg.h"
#include "core/ZorbText.h"
#include "platform/rtl/StrUtils.h"

namespace zorbel {

namespace {

// The ids of a node and its ancestors, root first.
std::vector<int> NodeIds(TTreeNode *node)
{
    std::vector<int> ids;
    for (TTreeNode *n = node; n; n = n->Parent())
        ids.insert(ids.begin(), int(n->Data()));
    return ids;
}

TCategoryNodeInfo NodeInfo(TTreeNode *node)
{
    return {int(node->Data()), node->Level(), node->Parent() ? int(node->Parent()->Data()) : NoLevel,
            node->HasChildren()};
}

} // namespace

// ---------------------------------------------------------------- layout

void TFormMain::BuildTreeLayout()
{
    TvCt = new TTreeView(PanD, QStringLiteral("TvCt"));
    TvDt = new TTreeView(PanD, QStringLiteral("TvDt"));
    for (TTreeView *tv : {TvCt, TvDt}) {
        tv->SetAlign(TAlign::alClient);
        tv->SetRightClickSelect(true);
        tv->SetDragMode(TDragMode::dmAutomatic);
        tv->SetPopupMenu(PmCat);
        tv->OnChange = [this](TObject *s, TTreeNode *n) { TvCtChange(s, n); };
        tv->OnCustomDrawItem = [this](TObject *s, TTreeNode *n, TCustomDrawState st, bool &d) {
            TvCtCustomDrawItem(s, n, st, d);
        };
        tv->OnEdited = [this](TObject *s, TTreeNode *n, QString &text) { TvCtEdited(s, n, text); };
        tv->OnDragOver = [this](TObject *s, TObject *src, int x, int y, TDragState st, bool &accept) {
            TvCtDragOver(s, src, x, y, st, accept);
        };
        tv->OnDragDrop = [this](TObject *s, TObject *src, int x, int y) { TvCtDragDrop(s, src, x, y); };
        tv->OnEnter = [this](TObject *s) { TvCtEnter(s); };
        tv->OnExit = [this](TObject *s) { TvCtExit(s); };
    }
    TvDt->SetVisible(false);
    DBG->OnEnter = [this](TObject *s) { DBGEnter(s); };
    DBG->OnExit = [this](TObject *s) { TvCtExit(s); };
    DBG->OnDragDrop = [this](TObject *s, TObject *src, int x, int y) { DBGDragDrop(s, src, x, y); };
    // Only a category dragged from a tree is taken: a drop adds an operation
    // of the tree's selected category, and anything else dropped on the
    // ledger (a row of the ledger itself) would add one the user never chose.
    DBG->OnDragOver = [](TObject *, TObject *src, int, int, TDragState, bool &accept) {
        accept = dynamic_cast<TTreeView *>(src) != nullptr;
    };

    ButCt = new TSpeedButton(PanTop, QStringLiteral("ButCt"));
    ButCt->SetCaption(U("Р"));
    ButCt->SetHint(U("Расход"));
    ButCt->SetBounds(180, 3, 24, 24);
    ButDt = new TSpeedButton(PanTop, QStringLiteral("ButDt"));
    ButDt->SetCaption(U("П"));
    ButDt->SetHint(U("Доход"));
    ButDt->SetBounds(204, 3, 24, 24);
    for (TSpeedButton *b : {ButCt, ButDt}) {
        b->SetGroupIndex(2);
        b->SetAllowAllUp(true);
        b->OnClick = [this](TObject *s) { ButCtClick(s); };
    }
    ButCt->SetDown(true);
}

void TFormMain::BuildTreeMenu()
{
    mCategory = MainMenu->Add(QStringLiteral("mCategory"), U("&Статья"));
    mCategoryNew = mCategory->Add(QStringLiteral("mCategoryNew"), U("&Добавить"));
    mCategoryNewChild = mCategory->Add(QStringLiteral("mCategoryNewChild"), U("Добавить &ветвь"));
    mCategoryEdit = mCategory->Add(QStringLiteral("mCategoryEdit"), U("&Изменить"));
    mCategoryDelete = mCategory->Add(QStringLiteral("mCategoryDelete"), U("&Удалить"));
    mCategory->Add(QStringLiteral("N20"), QStringLiteral("-"));
    mCategoryFind = mCategory->Add(QStringLiteral("mCategoryFind"), U("&Найти статью...  (F4)"));
    mCategorySearch = mCategory->Add(QStringLiteral("mCategorySearch"), U("&Расширенный поиск..."));
    mCategoryView = mCategory->Add(QStringLiteral("mCategoryView"), U("В&ыписка..."));
    mCategoryMove = mCategory->Add(QStringLiteral("mCategoryMove"), U("&Переместить..."));
    mPacks = mCategory->Add(QStringLiteral("mPacks"), U("Па&кеты..."), ShortCut('P', ssCtrl));
    mCategory->Add(QStringLiteral("N21"), QStringLiteral("-"));
    mCt = mCategory->Add(QStringLiteral("mCt"), U("&Расход"), ShortCut('O', ssCtrl));
    mDt = mCategory->Add(QStringLiteral("mDt"), U("&Приход"), ShortCut('I', ssCtrl));
    for (TMenuItem *m : {mCt, mDt}) {
        m->SetRadioItem(true);
        m->SetGroupIndex(4);
        m->OnClick = [this](TObject *s) { mDtClick(s); };
    }
    mCt->SetChecked(true);
    mTree = mCategory->Add(QStringLiteral("mTree"), U("Вид &дерева"));
    mTree1 = mTree->Add(QStringLiteral("mTree1"), U("N &1"), ShortCut(VK_F1, ssCtrl));
    mTree2 = mTree->Add(QStringLiteral("mTree2"), U("N &2"), ShortCut(VK_F2, ssCtrl));
    // Ctrl+F3 belongs to the extended search, which stands first in the popup.
    mTree3 = mTree->Add(QStringLiteral("mTree3"), U("N &3"));
    mTree4 = mTree->Add(QStringLiteral("mTree4"), U("N &4"), ShortCut(VK_F4, ssCtrl));
    mTree5 = mTree->Add(QStringLiteral("mTree5"), U("N &5"), ShortCut(VK_F5, ssCtrl));
    mTreeAll = mTree->Add(QStringLiteral("mTreeAll"), U("&Все"), ShortCut('W', ssCtrl));
    for (TMenuItem *m : {mTree1, mTree2, mTree3, mTree4, mTree5, mTreeAll}) {
        m->SetRadioItem(true);
        m->SetGroupIndex(5);
        m->OnClick = [this](TObject *s) { mTree1Click(s); };
    }
    mTreeAll->SetChecked(true);
    mExpandAll = mCategory->Add(QStringLiteral("mExpandAll"), U("Раскрыть все ветви"), ShortCut(VK_OEM_5, ssCtrl));
    mExpandAll->SetVisible(false);
    mExpandAll->OnClick = [this](TObject *s) { mpExpandClick(s); };
    mCategoryDelete->OnClick = [this](TObject *s) { mCategoryDeleteClick(s); };

    PmCat = new TPopupMenu(this, QStringLiteral("PmCat"));
    mpCategoryNew = PmCat->Add(QStringLiteral("mpCategoryNew"), U("&Добавить статью..."), ShortCut(VK_INSERT, 0));
    mpCategoryNewChild = PmCat->Add(QStringLiteral("mpCategoryNewChild"), U("Добавить &ветвь к статье..."),
                                    ShortCut(VK_INSERT, ssCtrl));
    mpCategoryEdit = PmCat->Add(QStringLiteral("mpCategoryEdit"), U("&Изменить статью..."), ShortCut(VK_F11, 0));
    mpCategoryDelete =
        PmCat->Add(QStringLiteral("mpCategoryDelete"), U("&Удалить статью"), ShortCut(VK_DELETE, ssCtrl));
    PmCat->Add(QStringLiteral("N30"), QStringLiteral("-"));
    mpCategoryFind = PmCat->Add(QStringLiteral("mpCategoryFind"), U("&Найти статью... (F4)"), ShortCut('F', ssCtrl));
    mpFindNextItm = PmCat->Add(QStringLiteral("mpFindNextItm"), U("Найти даль&ше"), ShortCut(VK_F3, 0));
    mpCategorySearch =
        PmCat->Add(QStringLiteral("mpCategorySearch"), U("&Расширенный поиск..."), ShortCut(VK_F3, ssCtrl));
    mpCategoryView = PmCat->Add(QStringLiteral("mpCategoryView"), U("В&ыписка по статье..."), ShortCut(VK_F5, 0));
    mpCategoryMove = PmCat->Add(QStringLiteral("mpCategoryMove"), U("&Переместить статью..."));
    PmCat->Add(QStringLiteral("N31"), QStringLiteral("-"));
    mpPack = PmCat->Add(QStringLiteral("mpPack"), U("Па&кеты (Ctrl+0..Ctrl+9)..."));
    mpExpand = PmCat->Add(QStringLiteral("mpExpand"), U("Р&аскрыть все ветви (Ctrl+\\)"));
    mpCategoryDelete->OnClick = [this](TObject *s) { mCategoryDeleteClick(s); };
    mpExpand->OnClick = [this](TObject *s) { mpExpandClick(s); };
    PmCat->OnPopup = [this](TObject *s) { PmCatPopup(s); };
    // The dialogs behind these commands come with their own windows.
    for (TMenuItem *m : {mCategoryFind, mCategoryMove, mpCategoryFind, mpFindNextItm, mpCategoryMove})
        m->SetVisible(false);
}

// ---------------------------------------------------------------- filling

void TFormMain::BuildCategoryTree(TTreeView *Tree, bool Income, bool Rebuild, bool AllTrees, bool WithTransfer)
{
    if (!Tree || !Dm)
        return;
    if (Tree->Items().Count() > 0) {
        if (!Rebuild)
            return;
        Tree->Items().Clear();
    }
    const int accounts = Dm->Tb_Account.Active() ? Dm->Tb_Account.RecordCount() : 0;
    const int filter = mTreeAll->Checked() || AllTrees ? 0 : TreeFilter;
    TQuery &q = Dm->Qtv;
    std::vector<TCategoryNodeSpec> nodes;
    q.Close();
    q.Open();
    try {
        nodes = CategoryTreeNodes(q, Income, filter, WithTransfer, accounts);
    } catch (...) {
        q.Close();
        throw;
    }
    q.Close();
    std::vector<TTreeNode *> made(nodes.size(), nullptr);
    Tree->Items().BeginUpdate();
    Tree->Items().Clear();
    for (size_t i = 0; i < nodes.size(); ++i) {
        const TCategoryNodeSpec &n = nodes[i];
        TTreeNode *parent = n.Parent >= 0 ? made[size_t(n.Parent)] : nullptr;
        made[i] = Tree->Items().AddChildObject(parent, n.Text, n.Id);
        made[i]->SetImageIndex(n.ImageIndex);
    }
    Tree->Items().EndUpdate();
    mpExpand->SetChecked(false);
}

TTreeNode *TFormMain::FindCategoryNode(TTreeView *Tree, int Id) const
{
    for (TTreeNode *n = Tree->Items().GetFirstNode(); n; n = n->GetNext())
        if (n->Data() == Id)
            return n;
    return nullptr;
}

bool TFormMain::CategoryNameExists(int ExcludeId, const QString &Name)
{
    return zorbel::CategoryNameExists(*Dm, ExcludeId, Name);
}

// ---------------------------------------------------------------- which tree

TTreeView *TFormMain::ShownTree() const
{
    if (mDt->Checked())
        return TvDt;
    return mCt->Checked() ? TvCt : nullptr;
}

TTreeView *TFormMain::FocusedTree() const
{
    if (TvCt->hasFocus())
        return TvCt;
    return TvDt->hasFocus() ? TvDt : nullptr;
}

void TFormMain::EndTreeEdits()
{
    for (TTreeView *tv : {TvCt, TvDt})
        if (tv->IsEditing() && tv->Selected())
            tv->Selected()->EndEdit(false);
}

void TFormMain::mDtClick(TObject *Sender)
{
    EndTreeEdits();
    auto *item = dynamic_cast<TMenuItem *>(Sender);
    if (!item)
        return;
    if (item->Checked()) {
        item->SetChecked(false);
    } else {
        item->SetChecked(true);
        (item == mCt ? mDt : mCt)->SetChecked(false);
    }
    ButCt->SetDown(mCt->Checked());
    ButDt->SetDown(mDt->Checked());
    SwitchTreeKind();
}

void TFormMain::ButCtClick(TObject *)
{
    EndTreeEdits();
    mCt->SetChecked(ButCt->Down());
    mDt->SetChecked(ButDt->Down());
    SwitchTreeKind();
}

void TFormMain::SwitchTreeKind()
{
    TTreeView *tree = ShownTree();
    if (isVisible()) {
        PanD->SetVisible(tree != nullptr);
        mCategory->SetVisible(PanD->Visible() && mMoneyView->Checked());
        TControl::AlignChildren(ShMoney);
    }
    if (Dm)
        Dm->UpdateMenus();
    if (!tree || !PanD->Visible())
        return;
    TvCt->SetVisible(tree == TvCt);
    TvDt->SetVisible(tree == TvDt);
    if (Dm && Dm->Tb_Items.Active())
        BuildCategoryTree(tree, tree == TvDt, false, false, true);
    if (isVisible())
        tree->SetFocus();
    TvCtChange(tree, tree->Selected());
}

void TFormMain::mTree1Click(TObject *Sender)
{
    auto *item = dynamic_cast<TMenuItem *>(Sender);
    if (!item)
        return;
    item->SetChecked(true);
    TreeFilter = item == mTreeAll ? 0 : item->MenuIndex() + 1;
    BuildCategoryTree(TvCt, false, true, false, true);
    BuildCategoryTree(TvDt, true, true, false, true);
    TTreeView *tree = mDt->Checked() ? TvDt : TvCt;
    if (isVisible())
        tree->SetFocus();
    if (!tree->Selected() && tree->Items().GetFirstNode())
        tree->SetSelected(tree->Items().GetFirstNode());
    TvCtChange(tree, tree->Selected());
}

// ---------------------------------------------------------------- command states

void TFormMain::TvCtChange(TObject *, TTreeNode *)
{
    TTreeView *tree = ShownTree();
    TTreeNode *node = tree ? tree->Selected() : nullptr;
    const bool edit = node != nullptr;
    const bool branch = edit && node->Level() <= 1 && node->Data() >= 0;
    const bool del = edit && !node->HasChildren() && node->Data() >= 0;
    const bool view = edit && Dm && Dm->Tb_Account.Active() &&
                      !Dm->Tb_Account.FieldByName(QStringLiteral("Id_Account"))->IsNull();
    mCategoryNewChild->SetEnabled(branch);
    mCategoryDelete->SetEnabled(del);
    mCategoryEdit->SetEnabled(edit);
    for (TMenuItem *m : {mCategoryMove, mCategorySearch, mCategoryFind, mpExpand})
        m->SetEnabled(edit);
    mCategoryView->SetEnabled(view);
    mpCategoryNewChild->SetEnabled(branch);
    mpCategoryDelete->SetEnabled(del);
    mpCategoryEdit->SetEnabled(edit);
    mpCategoryMove->SetEnabled(edit);
    mpCategorySearch->SetEnabled(edit);
    mpCategoryFind->SetEnabled(edit);
    mpCategoryView->SetEnabled(view);
    mpPack->SetVisible(mCt->Checked());
}

void TFormMain::PmCatPopup(TObject *Sender) { TvCtChange(Sender, nullptr); }

// ---------------------------------------------------------------- rename and delete

void TFormMain::TvCtEdited(TObject *Sender, TTreeNode *Node, QString &S)
{
    if (!Node || !Dm)
        return;
    S = Trim(S);
    if (S.isEmpty())
        S = Node->Text();
    if (S == Node->Text())
        return;
    if (CategoryNameExists(NoLevel, S)) {
        ShowNotice(U("Такая статья уже есть!"), false);
        S = Node->Text();
        return;
    }
    TTable &items = Dm->Tb_Items;
    if (!items.FindKey({Variant(int16_t(Node->Data()))})) {
        S = Node->Text();
        return;
    }
    items.Edit();
    items.FieldByName(QStringLiteral("Itm"))->SetAsString(S);
    items.Post();
    if (items.FieldByName(QStringLiteral("C"))->AsString() == u"0") {
        TTreeView *other = Sender == TvCt ? TvDt : Sender == TvDt ? TvCt : nullptr;
        if (other)
            other->Items().Clear();
    }
}

void TFormMain::mCategoryDeleteClick(TObject *)
{
    TTreeView *tree = FocusedTree();
    TTreeNode *node = tree ? tree->Selected() : nullptr;
    if (!node || node->Data() < 0 || !Dm)
        return;
    const int id = int(node->Data());
    TTable &items = Dm->Tb_Items;
    if (items.Locate(QStringLiteral("Id_Ref"), Variant(int16_t(id)), {})) {
        ShowNotice(U("Удаляемая статья не должна иметь ответвлений!"), false);
        return;
    }
    if (AskDialog(U("Удалить статью?"), TMsgDlgType::mtConfirmation, mbYes | mbNo, false) != mrYes)
        return;
    // The path as stored, so that a tree that fell behind cannot count
    // (and then delete) through an old path.
    TCategoryPath path;
    if (!Dm->GetCategoryLevels(int16_t(id), path.Level1, path.Level2, path.Level3))
        path = PathOfIds(NodeIds(node));
    const int count = CountPathOperations(*Dm, path);
    if (count > 0) {
        ShowNotice(U("Удаление невозможно! - ") + CountText(count, U("связь"), U("связи"), U("связей")) +
                       U(" в истории"),
                   false);
        return;
    }
    if (items.FindKey({Variant(int16_t(id))}))
        items.Delete();
    node->Delete();
    (tree == TvCt ? TvDt : TvCt)->Items().Clear();
    TvCtChange(tree, tree->Selected());
}

// ---------------------------------------------------------------- moving

void TFormMain::MoveCategory(TTreeNode *Source, TTreeNode *Target, int Mode)
{
    if (!Source || !Target || Source == Target || !Dm)
        return;
    const QString refusal = CheckCategoryMove(NodeInfo(Source), NodeInfo(Target), Mode);
    if (!refusal.isEmpty()) {
        ShowNotice(refusal, false);
        return;
    }
    const int id = int(Source->Data());
    if (!Dm->Tb_Items.FindKey({Variant(int16_t(id))}))
        return;
    if (AskDialog(U("Изменить место расположения статьи ?"), TMsgDlgType::mtConfirmation, mbYes | mbNo, false) !=
        mrYes)
        return;
    TCategoryPath oldPath;
    if (!Dm->GetCategoryLevels(int16_t(id), oldPath.Level1, oldPath.Level2, oldPath.Level3))
        oldPath = PathOfIds(NodeIds(Source));

    TTreeView *tree = Source->TreeView();
    TTreeNode *moved = Source;
    if (Mode == MoveAsChild) {
        moved = tree->Items().AddChildObject(Target, Source->Text(), Source->Data());
        moved->SetImageIndex(Source->ImageIndex());
        Source->Delete();
        tree->SetSelected(moved);
    } else {
        Source->MoveTo(Target, naAdd);
    }
    const TTreeNode *parent = moved->Parent();
    try {
        MoveCategoryRow(*Dm, id, moved->Level(), parent ? int(parent->Data()) : NoLevel, oldPath,
                        PathOfIds(NodeIds(moved)));
    } catch (...) {
        // Nothing was written: the tree shows the table again.
        BuildCategoryTree(tree, tree == TvDt, true, false, true);
        throw;
    }
    Dm->SetModified(true);
    if (tree == TvCt || tree == TvDt)
        (tree == TvCt ? TvDt : TvCt)->Items().Clear();
    if (TTreeNode *n = FindCategoryNode(tree, id))
        tree->SetSelected(n);
}

void TFormMain::TvCtDragOver(TObject *, TObject *, int, int, TDragState, bool &Accept)
{
    Accept = true;
    DBG->SetDragMode(TDragMode::dmAutomatic);
}

void TFormMain::TvCtDragDrop(TObject *Sender, TObject *Source, int X, int Y)
{
    DBG->SetDragMode(TDragMode::dmManual);
    auto *tree = dynamic_cast<TTreeView *>(Sender);
    auto *from = dynamic_cast<TTreeView *>(Source);
    if (!from)
        from = FocusedTree();
    if (!tree || from != tree || !tree->Selected())
        return;
    TTreeNode *target = tree->GetNodeAt(X, Y);
    if (!target)
        target = tree->DropTarget();
    const THitTests hit = tree->GetHitTestInfoAt(X, Y);
    const int mode = hit.Contains(htOnRight) || hit.Contains(htToRight) || hit.Contains(htBelow) ? MoveAsChild
                                                                                              : MoveBeside;
    MoveCategory(tree->Selected(), target, mode);
    tree->AlphaSort();
}


// ---------------------------------------------------------------- drawing and focus

void TFormMain::TvCtCustomDrawItem(TObject *Sender, TTreeNode *Node, TCustomDrawState State, bool &)
{
    auto *tree = dynamic_cast<TTreeView *>(Sender);
    if (!tree || !Node)
        return;
    TCanvas &canvas = tree->Canvas();
    if (Node->Data() == TransferCategory)
        canvas.FontColor = RGB(0, 128, 0);
    else if (Node->ImageIndex() == -1)
        canvas.FontColor = RGB(0, 0, 128);
    else
        canvas.FontColor = clWindowText;
    if (State == cdsSelected || State == (cdsSelected | cdsFocused))
        canvas.Brush.Color = clWindow;
}

void TFormMain::TvCtEnter(TObject *) { Splitter1->SetColor(clNavy); }

void TFormMain::DBGEnter(TObject *) { Splitter1->SetColor(clMaroon); }

void TFormMain::TvCtExit(TObject *)
{
    Splitter1->SetColor(clBtnFace);
    EndTreeEdits();
}

void TFormMain::mpExpandClick(TObject *)
{
    mpExpand->SetChecked(!mpExpand->Checked());
    for (TTreeView *tv : {TvCt, TvDt}) {
        if (mpExpand->Checked())
            tv->FullExpand();
        else
            tv->FullCollapse();
        tv->Repaint();
    }
}

} // namespace zorbel
