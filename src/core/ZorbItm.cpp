// The category search window: layout, kind tab, keeping the grid and the
// tree on the same category, search, sorting, limits and tree membership.
//
//   +-------------------------------------------------------------+
//   | [Расход | Приход]                                            |
//   | [search box         ]         |                              |
//   | Наименование Сумма ... Дерев. |  tree of the same kind       |
//   | (Qitm)                        |  (TvItm)                     |
//   | [tree] [$] [#]                               [OK] [Отмена]  |
//   | Всего статей N                                              |
//   +-------------------------------------------------------------+
#include "core/ZorbItm.h"
#include "platform/rtl/StrUtils.h"

#include "core/ZorbCategories.h"
#include "core/ZorbMain.h"
#include "core/ZorbTree.h"

namespace zorbel {

namespace {

// Qitm's columns: field, title, display format, width.
struct TItmColumn {
    const char *Field;
    const char *Title;
    const char *Format;
    int Width;
};
constexpr TItmColumn kColumns[] = {
    // field  title           format      width
    {"itm", "Наименование", "", 150},
    {"sm", "Сумма", "#,##0.00", 70},
    {"pr", "Цена", "#,##0.00", 60},
    {"qn", "Кол-во", "", 50},
    {"dte", "Дата", "dd.mm.yy", 64},
    {"comm", "Прим.", "", 100},
    {"lim", "ЛимСум", "#,##0.00", 70},
    {"qlim", "ЛимКол", "", 55},
    {"cust", "Дерев.", "", 60},
};

} // namespace

TFormItm::TFormItm(TFormMain &Main) : main_(Main)
{
    SetName(QStringLiteral("FormItm"));
    SetCaption(U("Поиск и выбор статей"));
    SetKeyPreview(true);

    Qitm = std::make_unique<TQuery>();
    Qitm->SetName(QStringLiteral("Qitm"));
    Qitm->SetDatabase(&Main.Dm->Db);
    Qitm->SQL() = QStringList{QStringLiteral("select id_itm,itm,sm,pr,qn,dte,c,comm,lim,qlim,a"),
                              QStringLiteral("from tb_items"), QStringLiteral("order by itm")};
    DefineFields();
    DataItm = std::make_unique<TDataSource>(Qitm.get());

    TcItm = new TTabControl(this, QStringLiteral("TcItm"));
    TcItm->SetAlign(TAlign::alTop);
    TcItm->SetTabs({U("Расход"), U("Приход")});
    TcItm->SetHeight(26);

    PanBottom = new TPanel(this, QStringLiteral("PanBottom"));
    PanBottom->SetAlign(TAlign::alBottom);
    PanBottom->SetHeight(22);
    PanBottom->SetAlignment(taLeftJustify);
    PanButtons = new TPanel(this, QStringLiteral("PanButtons"));
    PanButtons->SetAlign(TAlign::alBottom);
    PanButtons->SetHeight(36);
    ButTree = new TSpeedButton(PanButtons, QStringLiteral("ButTree"));
    ButTree->SetCaption(U("Д"));
    ButTree->SetHint(U("Деревья (F5)"));
    ButTree->SetBounds(6, 6, 26, 24);
    ButPlan = new TSpeedButton(PanButtons, QStringLiteral("ButPlan"));
    ButPlan->SetCaption(QStringLiteral("$"));
    ButPlan->SetHint(U("Лимит суммы (F6)"));
    ButPlan->SetBounds(36, 6, 26, 24);
    ButPlanQ = new TSpeedButton(PanButtons, QStringLiteral("ButPlanQ"));
    ButPlanQ->SetCaption(QStringLiteral("#"));
    ButPlanQ->SetHint(U("Лимит количества (F7)"));
    ButPlanQ->SetBounds(66, 6, 26, 24);
    ButOk = new TButton(PanButtons, QStringLiteral("ButOk"));
    ButOk->SetCaption(QStringLiteral("OK"));
    ButOk->SetModalResult(mrOk);
    ButOk->SetDefault(true); // Enter in the search box, the grid or the tree chooses
    ButOk->SetBounds(110, 6, 80, 24);
    ButCancel = new TButton(PanButtons, QStringLiteral("ButCancel"));
    ButCancel->SetCaption(U("Отмена"));
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetBounds(196, 6, 80, 24);

    PanGrid = new TPanel(this, QStringLiteral("PanGrid"));
    PanGrid->SetAlign(TAlign::alLeft);
    PanGrid->SetBevelOuter(TBevelCut::bvNone);
    EdItm = new TEdit(PanGrid, QStringLiteral("EdItm"));
    EdItm->SetAlign(TAlign::alTop);
    DBGItm = new TDBGrid(PanGrid, QStringLiteral("DBGItm"));
    DBGItm->SetAlign(TAlign::alClient);
    DBGItm->SetReadOnly(true);
    DBGItm->SetDataSource(DataItm.get());
    for (const TItmColumn &c : kColumns) {
        TColumn *col = DBGItm->Columns().Add();
        col->SetFieldName(QString::fromLatin1(c.Field));
        col->SetTitleCaption(U(c.Title));
        col->SetWidth(c.Width);
    }
    Splitter = new TSplitter(this, QStringLiteral("Splitter"));
    Splitter->SetAlign(TAlign::alLeft);
    TvItm = new TTreeView(this, QStringLiteral("TvItm"));
    TvItm->SetAlign(TAlign::alClient);
    TvItm->SetReadOnly(true);

    // Bounds with the frame: set again once the window has one (FormShow).
    SetBounds(Main.Itm_Left, Main.Itm_Top, Main.Itm_Width, Main.Itm_Height);
    PanGrid->SetWidth(Main.Itm_Wdt > 0 ? Main.Itm_Wdt : 455);
    if (Main.Itm_Max)
        SetWindowState(TWindowState::wsMaximized);

    OnShow = [this](TObject *s) { FormShow(s); };
    OnClose = [this](TObject *s, TCloseAction &a) { FormClose(s, a); };
    OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
    EdItm->OnKeyUp = [this](TObject *s, WORD &k, TShiftState sh) { EdItmKeyUp(s, k, sh); };
    DataItm->OnDataChange = [this](TDataSource *s, TField *f) { DataItmDataChange(s, f); };
    TvItm->OnChange = [this](TObject *s, TTreeNode *n) { TvItmChange(s, n); };
    TvItm->OnEnter = [this](TObject *s) { TvItmEnter(s); };
    TcItm->OnChange = [this](TObject *s) { TcItmChange(s); };
    Qitm->AfterOpen = [this](TDataSet *d) { QitmAfterOpen(d); };
    Qitm->AfterClose = [this](TDataSet *d) { QitmAfterClose(d); };
    Qitm->OnCalcFields = [this](TDataSet *d) { QitmCalcFields(d); };
    DBGItm->OnTitleClick = [this](TObject *s, TColumn *c) { DBGItmTitleClick(s, c); };
    DBGItm->OnDblClick = [this](TObject *s) { DBGItmDblClick(s); };
    ButTree->OnClick = [this](TObject *s) { ButTreeClick(s); };
    ButPlan->OnClick = ButPlanQ->OnClick = [this](TObject *s) { ButPlanClick(s); };
    DoCreate();
}

TFormItm::~TFormItm()
{
    DBGItm->SetDataSource(nullptr);
    Qitm->AfterClose = nullptr;
    Qitm->Close();
    DoDestroy();
}

void TFormItm::DefineFields()
{
    TQuery &q = *Qitm;
    q.AddField<TSmallintField>(QStringLiteral("id_itm"))->SetVisible(false);
    q.AddField<TStringField>(QStringLiteral("itm"), fkData, 30);
    for (const char *name : {"sm", "pr", "qn"})
        q.AddField<TFloatField>(QString::fromLatin1(name));
    q.AddField<TDateField>(QStringLiteral("dte"));
    q.AddField<TStringField>(QStringLiteral("c"), fkData, 1)->SetVisible(false);
    q.AddField<TStringField>(QStringLiteral("comm"), fkData, 200);
    q.AddField<TFloatField>(QStringLiteral("lim"));
    q.AddField<TFloatField>(QStringLiteral("qlim"));
    q.AddField<TStringField>(QStringLiteral("a"), fkData, 1)->SetVisible(false);
    q.AddField<TStringField>(QStringLiteral("cust"), fkCalculated, 9);
    for (const TItmColumn &c : kColumns) {
        TField *f = q.FieldByName(QString::fromLatin1(c.Field));
        f->SetDisplayLabel(U(c.Title));
        if (*c.Format)
            f->SetDisplayFormat(QString::fromLatin1(c.Format));
    }
}

void TFormItm::ExcludeTransfer() { Qitm->SQL()[1] += QStringLiteral(" where id_itm<>-1"); }

int TFormItm::ChosenId() const
{
    if (!Qitm->Active() || Qitm->IsEmpty())
        return NoCategory;
    return Qitm->FieldByName(QStringLiteral("id_itm"))->AsInteger();
}

// ---------------------------------------------------------------- opening

void TFormItm::FormShow(TObject *)
{
    if (!main_.Itm_Max)
        SetBounds(main_.Itm_Left, main_.Itm_Top, main_.Itm_Width, main_.Itm_Height);
    TvItm->SetFont(main_.TvCt->Font());
    DBGItm->SetFont(main_.DBG->Font());
    DBGItm->SetTitleFont(main_.DBG->TitleFont());
    EdItm->SetFont(main_.DBG->Font());
    try {
        Qitm->Open();
    } catch (const Exception &) {
        Qitm->Close();
    }
    TcItmChange(TcItm);
    if (OpenOn >= 0 && Qitm->Active())
        Qitm->Locate(QStringLiteral("id_itm"), Variant(OpenOn), {});
    // The window opens ready for typing the first letters of a name.
    EdItm->SetFocus();
}

void TFormItm::TcItmChange(TObject *)
{
    const bool income = TcItm->TabIndex() == 1;
    THourGlass wait;
    TvItm->Items().BeginUpdate();
    main_.BuildCategoryTree(TvItm, income, true, true, !Qitm->SQL()[1].contains(QStringLiteral("id_itm<>-1")));
    TvItm->Items().EndUpdate();
    Qitm->SetFilter(income ? QStringLiteral("c<>'-'") : QStringLiteral("c<>'+'"));
    Qitm->SetFiltered(true);
    QitmAfterOpen(Qitm.get());
}

void TFormItm::QitmAfterOpen(TDataSet *)
{
    PanBottom->SetCaption(Qitm->Active() ? U("Всего статей ") + QString::number(Qitm->RecordCount()) : QString());
}

void TFormItm::QitmAfterClose(TDataSet *) { PanBottom->SetCaption(QString()); }

void TFormItm::QitmCalcFields(TDataSet *DataSet)
{
    DataSet->FieldByName(QStringLiteral("cust"))
        ->SetAsString(TreesText(DataSet->FieldByName(QStringLiteral("a"))->AsString()));
}

// ---------------------------------------------------------------- grid and tree in step

void TFormItm::DataItmDataChange(TDataSource *, TField *)
{
    const bool rows = Qitm->Active() && !Qitm->IsEmpty();
    ButTree->SetEnabled(rows);
    if (!rows)
        return;
    if (TTreeNode *node = main_.FindCategoryNode(TvItm, ChosenId()))
        if (TvItm->Selected() != node)
            TvItm->SetSelected(node);
}

void TFormItm::TvItmChange(TObject *, TTreeNode *Node)
{
    if (Node && !DBGItm->Focused() && Qitm->Active())
        Qitm->Locate(QStringLiteral("id_itm"), Variant(int(Node->Data())), {});
}

void TFormItm::TvItmEnter(TObject *)
{
    if (TTreeNode *node = TvItm->Selected(); node && Qitm->Active())
        Qitm->Locate(QStringLiteral("id_itm"), Variant(int(node->Data())), {});
}

// ---------------------------------------------------------------- search and sorting

void TFormItm::EdItmKeyUp(TObject *, WORD &, TShiftState)
{
    if (Qitm->Active() && !Qitm->IsEmpty())
        Qitm->Locate(QStringLiteral("itm"), Variant(EdItm->Text()), {loCaseInsensitive, loPartialKey});
}

void TFormItm::DBGItmTitleClick(TObject *, TColumn *Column)
{
    TField *field = Column ? Column->Field() : nullptr;
    if (!field || field->FieldKind() != fkData)
        return;
    Qitm->SQL()[Qitm->SQL().size() - 1] = QStringLiteral("order by ") + field->FieldName();
    Reopen(ChosenId());
}

void TFormItm::Reopen(int Id)
{
    Qitm->DisableControls();
    try {
        Qitm->Close();
        Qitm->Open();
        if (Id != NoCategory)
            Qitm->Locate(QStringLiteral("id_itm"), Variant(Id), {});
    } catch (const Exception &) {
        // A failed reopen leaves the list empty; the window stays usable.
    }
    Qitm->EnableControls();
}

// ---------------------------------------------------------------- membership and limits

void TFormItm::ButTreeClick(TObject *)
{
    const int id = ChosenId();
    if (id < 0)
        return;
    TFormTree tree;
    tree.SetBits(TreeBits(Qitm->FieldByName(QStringLiteral("a"))->AsString()));
    if (tree.ShowModal() != mrOk)
        return;
    TreesChanged = true;
    TTable &items = main_.Dm->Tb_Items;
    if (items.FindKey({Variant(int16_t(id))})) {
        items.Edit();
        try {
            const QString a = TreeMembership(tree.Bits());
            if (a.isEmpty())
                items.FieldByName(QStringLiteral("A"))->Clear();
            else
                items.FieldByName(QStringLiteral("A"))->SetAsString(a);
            items.Post();
        } catch (const Exception &) {
            items.Cancel();
        }
    }
    Reopen(id);
}

void TFormItm::ButPlanClick(TObject *Sender)
{
    if (!Qitm->Active() || Qitm->IsEmpty())
        return;
    main_.Dm->EditCategoryLimit(this, Qitm.get(), Sender == ButPlanQ);
}

// ---------------------------------------------------------------- keys and closing

void TFormItm::FormKeyDown(TObject *, WORD &Key, TShiftState Shift)
{
    if (KeyModifiers(Shift) != 0)
        return;
    if (Key == VK_F5) {
        Key = 0;
        ButTreeClick(ButTree);
    } else if (Key == VK_F6) {
        Key = 0;
        ButPlanClick(ButPlan);
    } else if (Key == VK_F7) {
        Key = 0;
        ButPlanClick(ButPlanQ);
    } else if (Key == VK_F9) {
        Key = 0;
        main_.mCalcClick(this);
    }
}

void TFormItm::DBGItmDblClick(TObject *) { SetModalResult(mrOk); }

void TFormItm::FormClose(TObject *, TCloseAction &)
{
    main_.Itm_Max = WindowState() == TWindowState::wsMaximized;
    if (!main_.Itm_Max) {
        main_.Itm_Left = Left();
        main_.Itm_Top = Top();
        main_.Itm_Width = Width();
        main_.Itm_Height = Height();
    }
    main_.Itm_Wdt = PanGrid->Width();
}

} // namespace zorbel
