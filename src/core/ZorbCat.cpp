// The category dialog: a label naming the level, the name edit and the kind
// choice (the tree's own kind or "везде", both kinds), OK and Cancel.
#include "core/ZorbCat.h"

#include "core/ZorbCategories.h"
#include "core/ZorbMain.h"
#include "core/TulnDlg.h"
#include "platform/rtl/StrUtils.h"

namespace zorbel {

TFormCat::TFormCat(TFormMain &Main, int Mode, TTreeView *Tree, bool Income)
    : main_(Main), mode_(Mode), tree_(Tree), income_(Income)
{
    SetName(QStringLiteral("FormCat"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(380);
    SetClientHeight(150);

    PanButtons = new TPanel(this, QStringLiteral("PanButtons"));
    PanButtons->SetAlign(TAlign::alBottom);
    PanButtons->SetHeight(38);
    PanButtons->SetBevelOuter(TBevelCut::bvNone);
    ButOk = new TButton(PanButtons, QStringLiteral("ButOk"));
    ButOk->SetCaption(QStringLiteral("OK"));
    ButOk->SetDefault(true);
    ButOk->SetBounds(196, 6, 84, 26);
    ButCancel = new TButton(PanButtons, QStringLiteral("ButCancel"));
    ButCancel->SetCaption(U("Отмена"));
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetBounds(288, 6, 84, 26);

    PanMain = new TPanel(this, QStringLiteral("PanMain"));
    PanMain->SetAlign(TAlign::alClient);
    LabCat = new TLabel(PanMain, QStringLiteral("LabCat"));
    LabCat->SetBounds(8, 8, 360, 18);
    DBECat = new TDBEdit(PanMain, QStringLiteral("DBECat"));
    DBECat->SetBounds(8, 28, 360, 24);
    DBECat->SetDataSource(&Main.Dm->DataItems);
    DBECat->SetDataField(QStringLiteral("ITM"));
    DBRg = new TDBRadioGroup(PanMain, QStringLiteral("DBRg"));
    DBRg->SetBounds(8, 58, 360, 46);
    DBRg->SetColumns(2);
    DBRg->SetDataSource(&Main.Dm->DataItems);
    DBRg->SetDataField(QStringLiteral("C"));

    OnShow = [this](TObject *s) { FormShow(s); };
    ButOk->OnClick = [this](TObject *s) { ButOkClick(s); };
    DBECat->OnChange = [this](TObject *s) { DBECatChange(s); };
    PanMain->OnResize = [this](TObject *s) { PanMainResize(s); };
    DoCreate();
}

TFormCat::~TFormCat()
{
    DBECat->SetDataSource(nullptr);
    DBRg->SetDataSource(nullptr);
    DoDestroy();
}

QStringList TFormCat::LevelTitles() const
{
    QStringList titles{QString(), QString(), QString()};
    const char *fields[] = {"Category", "Item", "Article"};
    TDBGridColumns &columns = main_.DBG->Columns();
    for (int level = 0; level < 3; ++level)
        for (int i = 0; i < columns.Count(); ++i)
            if (columns[i]->FieldName().compare(QString::fromLatin1(fields[level]), Qt::CaseInsensitive) == 0)
                titles[level] = columns[i]->TitleCaption();
    return titles;
}

void TFormCat::FormShow(TObject *)
{
    DBRg->SetItems({income_ ? U("приход") : U("расход"), U("везде")});
    DBRg->SetValues({income_ ? QStringLiteral("+") : QStringLiteral("-"), QStringLiteral("0")});
    SetCaption(CategoryDialogCaption(mode_, income_));
    TTreeNode *node = tree_ ? tree_->Selected() : nullptr;
    if (mode_ == CatEdit && node && node->Data() < 0)
        DBRg->SetVisible(false);
    TCategoryNodeInfo info;
    if (node)
        info = {int(node->Data()), node->Level(), node->Parent() ? int(node->Parent()->Data()) : NoLevel,
                node->HasChildren()};
    LabCat->SetCaption(CategoryDialogLabel(mode_, LevelTitles(), node ? &info : nullptr,
                                           node ? node->Text() : QString(),
                                           node && node->Parent() ? node->Parent()->Text() : QString()));
    TTable &items = main_.Dm->Tb_Items;
    if (mode_ == CatEdit)
        items.Edit();
    else
        items.Insert();
    DBECatChange(DBECat);
    if (isVisible())
        DBECat->SetFocus();
}

void TFormCat::DBECatChange(TObject *) { ButOk->SetEnabled(!Trim(DBECat->Text()).isEmpty()); }

void TFormCat::PanMainResize(TObject *)
{
    DBECat->SetWidth(PanMain->Width() - 2 * DBECat->Left());
}

void TFormCat::ButOkClick(TObject *)
{
    TTable &items = main_.Dm->Tb_Items;
    const bool pending = items.State() == dsEdit || items.State() == dsInsert;
    // What is typed goes into the field, as leaving the edit would.
    if (pending && items.FieldByName(QStringLiteral("ITM"))->AsString() != DBECat->Text())
        items.FieldByName(QStringLiteral("ITM"))->SetAsString(DBECat->Text());
    TTreeNode *node = tree_ ? tree_->Selected() : nullptr;
    const int exclude = mode_ == CatEdit && node ? int(node->Data()) : NoLevel;
    if (main_.CategoryNameExists(exclude, DBECat->Text())) {
        ShowNotice(U("Такая статья уже есть!"), false);
        DBECat->SetFocus();
        return;
    }
    if (pending) {
        try {
            if (mode_ != CatEdit) {
                TCategoryNodeInfo info;
                if (node)
                    info = {int(node->Data()), node->Level(),
                            node->Parent() ? int(node->Parent()->Data()) : NoLevel, node->HasChildren()};
                const TCategoryPlace place = NewCategoryPlace(mode_, node ? &info : nullptr);
                items.FieldByName(QStringLiteral("LEV"))->SetAsInteger(place.Lev);
                if (place.IdRef != NoLevel)
                    items.FieldByName(QStringLiteral("ID_REF"))->SetAsInteger(place.IdRef);
            }
            TField *name = items.FieldByName(QStringLiteral("ITM"));
            name->SetAsString(Trim(name->AsString()));
            items.Post();
        } catch (const Exception &e) {
            items.Cancel();
            ShowNotice(U("Статья не записана: ") + e.Message(), false);
            SetModalResult(mrCancel);
            return;
        }
    }
    const QString text = items.FieldByName(QStringLiteral("ITM"))->AsString();
    const int id = items.FieldByName(QStringLiteral("ID_ITM"))->AsInteger();
    const int image = items.FieldByName(QStringLiteral("C"))->AsString() == u"0" ? -1 : 0;
    TTreeNode *shown = node;
    tree_->Items().BeginUpdate();
    if (mode_ == CatAddBeside) {
        shown = tree_->Items().AddObject(node, text, id);
    } else if (mode_ == CatAddBranch) {
        shown = tree_->Items().AddChildObject(node, text, id);
    } else if (node) {
        if (node->Text() != text)
            node->SetText(text);
        main_.Dm->Tb_Hist.Refresh();
    }
    if (shown)
        shown->SetImageIndex(image);
    tree_->Items().EndUpdate();
    tree_->AlphaSort();
    if (shown) {
        tree_->SetSelected(shown);
        if (shown->Data() >= 0)
            (tree_ == main_.TvCt ? main_.TvDt : main_.TvCt)->Items().Clear();
    }
    SetModalResult(mrOk);
}

} // namespace zorbel
