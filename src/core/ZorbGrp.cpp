// The packet window: layout, the packet box, line commands and keys.
//
//   +---------------------------------------------------------------+
//   | [Добавить] [Удалить] [2 пакет v]                Сумма = 210,00 |
//   +---------------------------------------------------------------+
//   | Статья | Сумма | Цена | Кол-во | Примечание | Кто | Где | ---   |
//   | ...  (Qgrp, edited in place, posted to TB_ITEMS)               |
//   +---------------------------------------------------------------+
//   | [OK] [Отмена] [x] Подтверждение              Строк = 3 / 4     |
//   +---------------------------------------------------------------+
//
// The totals follow every post of a line through Qgrp's AfterPost, which the
// window chains after the data module's own handler while it exists.
#include "core/ZorbGrp.h"
#include "platform/rtl/StrUtils.h"

#include "core/ZorbCalc.h"

#include "core/ZorbItm.h"
#include "core/ZorbMain.h"
#include "core/ZorbPacket.h"
#include "platform/rtl/Format.h"

namespace zorbel {

namespace {

// The grid's columns: field, title, width.
struct TGrpColumn {
    const char *Field;
    const char *Title;
    int Width;
};
constexpr TGrpColumn kColumns[] = {
    // field   title          width
    {"ITM", "Статья", 170},
    {"Sm", "Сумма", 70},
    {"Pr", "Цена", 60},
    {"Qn", "Кол-во", 55},
    {"Comm", "Примечание", 150},
    {"Prs", "Кто", 90},
    {"Frm", "Где", 90},
    {"S", "---", 28},
};

} // namespace

TFormGrp::TFormGrp(TFormMain &Main) : main_(Main), dm_(*Main.Dm)
{
    SetName(QStringLiteral("FormGrp"));
    SetCaption(U("Пакетное добавление расходов"));
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(760);
    SetClientHeight(380);
    SetKeyPreview(true);

    PanTop = new TPanel(this, QStringLiteral("PanTop"));
    PanTop->SetAlign(TAlign::alTop);
    PanTop->SetHeight(34);
    ButAdd = new TButton(PanTop, QStringLiteral("ButAdd"));
    ButAdd->SetCaption(U("Добавить"));
    ButAdd->SetHint(U("Добавить в пакет (Ins)"));
    ButAdd->SetBounds(6, 5, 90, 24);
    ButDel = new TButton(PanTop, QStringLiteral("ButDel"));
    ButDel->SetCaption(U("Удалить"));
    ButDel->SetHint(U("Удалить из пакета (Ctrl+Del)"));
    ButDel->SetBounds(100, 5, 90, 24);
    CbGrp = new TComboBox(PanTop, QStringLiteral("CbGrp"));
    CbGrp->SetStyle(TComboBoxStyle::csDropDownList);
    for (int i = 0; i <= 9; ++i)
        CbGrp->Items().Add(QString::number(i) + U(" пакет"));
    CbGrp->SetBounds(200, 5, 100, 24);
    PanSum = new TPanel(PanTop, QStringLiteral("PanSum"));
    PanSum->SetAlign(TAlign::alRight);
    PanSum->SetWidth(220);
    PanSum->SetBevelOuter(TBevelCut::bvNone);
    PanSum->SetAlignment(taRightJustify);

    PanBot = new TPanel(this, QStringLiteral("PanBot"));
    PanBot->SetAlign(TAlign::alBottom);
    PanBot->SetHeight(36);
    ButOk = new TButton(PanBot, QStringLiteral("ButOk"));
    ButOk->SetCaption(QStringLiteral("OK"));
    ButOk->SetHint(U("Выполнить пакетный ввод данных"));
    ButOk->SetModalResult(mrOk);
    ButOk->SetBounds(6, 6, 80, 24);
    ButCancel = new TButton(PanBot, QStringLiteral("ButCancel"));
    ButCancel->SetCaption(U("Отмена"));
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetBounds(92, 6, 80, 24);
    ChConf = new TCheckBox(PanBot, QStringLiteral("ChConf"));
    ChConf->SetCaption(U("Подтверждение"));
    ChConf->SetBounds(186, 8, 130, 20);
    PanCount = new TPanel(PanBot, QStringLiteral("PanCount"));
    PanCount->SetAlign(TAlign::alRight);
    PanCount->SetWidth(220);
    PanCount->SetBevelOuter(TBevelCut::bvNone);
    PanCount->SetAlignment(taRightJustify);

    DataGrp = std::make_unique<TDataSource>(&dm_.Qgrp);
    DBGrp = new TDBGrid(this, QStringLiteral("DBGrp"));
    DBGrp->SetAlign(TAlign::alClient);
    DBGrp->SetDataSource(DataGrp.get());
    for (const TGrpColumn &c : kColumns) {
        TColumn *col = DBGrp->Columns().Add();
        col->SetFieldName(QString::fromLatin1(c.Field));
        col->SetTitleCaption(U(c.Title));
        col->SetWidth(c.Width);
    }
    for (const char *name : {"Sm", "Pr", "Qn"})
        dm_.Qgrp.FieldByName(QString::fromLatin1(name))->SetDisplayFormat(QStringLiteral("0.00"));

    Pmm = new TPopupMenu(this, QStringLiteral("Pmm"));
    mpAdd = Pmm->Add(QStringLiteral("mpAdd"), U("&Добавить в пакет (Ins)"));
    mpDel = Pmm->Add(QStringLiteral("mpDel"), U("&Удалить из пакета (Ctrl+Del)"));
    mpNo = Pmm->Add(QStringLiteral("mpNo"), U("&Исключить/Включить строку"), ShortCut(VK_F5, 0));
    mpClear = Pmm->Add(QStringLiteral("mpClear"), U("&Очистить выделенное поле"));
    mpClone = Pmm->Add(QStringLiteral("mpClone"), U("&Все строки - по текущему"));
    DBGrp->SetPopupMenu(Pmm);

    ButAdd->OnClick = mpAdd->OnClick = [this](TObject *s) { mpAddClick(s); };
    ButDel->OnClick = mpDel->OnClick = [this](TObject *s) { mpDelClick(s); };
    mpNo->OnClick = [this](TObject *s) { mpNoClick(s); };
    mpClear->OnClick = [this](TObject *s) { mpClearClick(s); };
    mpClone->OnClick = [this](TObject *s) { mpCloneClick(s); };
    Pmm->OnPopup = [this](TObject *s) { PmmPopup(s); };
    CbGrp->OnClick = [this](TObject *s) { CbGrpClick(s); };
    OnShow = [this](TObject *s) { CbGrpClick(s); };
    OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
    OnClose = [this](TObject *s, TCloseAction &a) { FormClose(s, a); };
    OnCloseQuery = [this](TObject *, bool &CanClose) {
        if (ModalResult() != mrOk || !OnAccept)
            return;
        PostLine();
        CanClose = OnAccept();
        if (!CanClose)
            CbGrpClick(CbGrp); // the packet's lines and totals as they stand
    };
    DataGrp->OnDataChange = [this](TDataSource *s, TField *f) { DataGrpDataChange(s, f); };
    DBGrp->OnDblClick = [this](TObject *s) { DBGrpDblClick(s); };

    savedAfterPost_ = dm_.Qgrp.AfterPost;
    dm_.Qgrp.AfterPost = [this](TDataSet *d) {
        if (savedAfterPost_)
            savedAfterPost_(d);
        if (!copying_)
            ShowTotals();
    };
    DoCreate();
}

TFormGrp::~TFormGrp()
{
    dm_.Qgrp.AfterPost = savedAfterPost_;
    DBGrp->SetDataSource(nullptr);
    DoDestroy();
}

void TFormGrp::PostLine()
{
    TQuery &q = dm_.Qgrp;
    if (q.State() != dsEdit && q.State() != dsInsert)
        return;
    try {
        q.Post();
    } catch (const Exception &) {
        q.Cancel();
    }
}

void TFormGrp::ShowTotals()
{
    TQuery &q = dm_.Qgrp;
    if (!q.Active()) {
        PanSum->SetCaption(QString());
        PanCount->SetCaption(QString());
        return;
    }
    int count = 0;
    const double sum = dm_.SumPacket(count);
    PanSum->SetCaption(U("Сумма = ") + FormatFloat(QStringLiteral("#,##0.00"), sum) + QStringLiteral("  "));
    PanCount->SetCaption(q.IsEmpty() ? QString()
                                     : U("Строк = ") + QString::number(count) + QStringLiteral(" / ") +
                                           QString::number(q.RecordCount()) + QStringLiteral("      "));
}

void TFormGrp::CbGrpClick(TObject *)
{
    copying_ = false;
    TQuery &q = dm_.Qgrp;
    q.DisableControls();
    PanSum->SetCaption(QString());
    PanCount->SetCaption(QString());
    OpenPacket(dm_, Digit());
    q.EnableControls();
    DataGrpDataChange(DataGrp.get(), nullptr);
    if (!q.Active())
        return;
    ShowTotals();
    DBGrp->SetSelectedField(q.FieldByName(QStringLiteral("Sm")));
    if (!q.IsEmpty() && isVisible())
        DBGrp->SetFocus();
}

void TFormGrp::DataGrpDataChange(TDataSource *, TField *)
{
    const bool lines = dm_.Qgrp.Active() && !dm_.Qgrp.IsEmpty();
    ButOk->SetEnabled(lines);
    ButDel->SetEnabled(lines);
}

void TFormGrp::AddToPacket(int Id)
{
    if (Id < 0)
        return;
    TTable &items = dm_.Tb_Items;
    if (items.FindKey({Variant(int16_t(Id))})) {
        const QString grp = items.FieldByName(QStringLiteral("Grp"))->AsString();
        const QString added = AddPacketDigit(grp, Digit());
        if (added != grp) {
            items.Edit();
            try {
                items.FieldByName(QStringLiteral("Grp"))->SetAsString(added);
                items.Post();
            } catch (const Exception &) {
                items.Cancel();
            }
        }
    }
    CbGrpClick(CbGrp);
    if (dm_.Qgrp.Active())
        dm_.Qgrp.Locate(QStringLiteral("Id_Itm"), Variant(Id), {});
}

void TFormGrp::mpAddClick(TObject *)
{
    PostLine();
    TQuery &q = dm_.Qgrp;
    int openOn = NoCategory;
    if (q.Active() && !q.IsEmpty())
        openOn = q.FieldByName(QStringLiteral("Id_Itm"))->AsInteger();
    else if (main_.TvCt->Selected())
        openOn = int(main_.TvCt->Selected()->Data());
    TFormItm itm(main_);
    itm.ExcludeTransfer();
    itm.OpenOn = openOn;
    itm.TcItm->SetTabIndex(0);
    itm.TcItm->SetVisible(false);
    const int result = itm.ShowModal();
    Repaint();
    if (itm.TreesChanged) {
        main_.BuildCategoryTree(main_.TvCt, false, true, false, true);
        main_.BuildCategoryTree(main_.TvDt, true, true, false, true);
    }
    if (result == mrOk)
        AddToPacket(itm.ChosenId());
}

void TFormGrp::mpDelClick(TObject *)
{
    PostLine();
    TQuery &q = dm_.Qgrp;
    if (!q.Active() || q.IsEmpty())
        return;
    const int line = q.RecNo();
    const int id = q.FieldByName(QStringLiteral("Id_Itm"))->AsInteger();
    TTable &items = dm_.Tb_Items;
    if (items.FindKey({Variant(int16_t(id))})) {
        items.Edit();
        try {
            items.FieldByName(QStringLiteral("Grp"))
                ->SetAsString(RemovePacketDigit(items.FieldByName(QStringLiteral("Grp"))->AsString(), Digit()));
            items.Post();
        } catch (const Exception &) {
            items.Cancel();
        }
    }
    CbGrpClick(CbGrp);
    try {
        if (q.Active() && !q.IsEmpty())
            q.SetRecNo(std::min(line, q.RecordCount()));
    } catch (const Exception &) {
        // The line number need not exist any more.
    }
}

void TFormGrp::mpNoClick(TObject *)
{
    TQuery &q = dm_.Qgrp;
    if (!q.Active() || q.IsEmpty())
        return;
    if (q.State() != dsEdit)
        q.Edit();
    TField *s = q.FieldByName(QStringLiteral("S"));
    if (s->AsString() != u"N")
        s->SetAsString(QStringLiteral("N"));
    else
        s->Clear();
    PostLine();
    ShowTotals();
}

void TFormGrp::mpClearClick(TObject *)
{
    PostLine();
    TQuery &q = dm_.Qgrp;
    TField *field = DBGrp->SelectedField();
    if (!q.Active() || q.IsEmpty() || !field)
        return;
    const QString name = field->FieldName();
    if (name.compare(QStringLiteral("ITM"), Qt::CaseInsensitive) == 0)
        return;
    if (name == u"Prs")
        field = q.FieldByName(QStringLiteral("Id_Prs"));
    else if (name == u"Frm")
        field = q.FieldByName(QStringLiteral("Id_Frm"));
    if (field->IsNull())
        return;
    q.Edit();
    field->Clear();
    PostLine();
}

void TFormGrp::mpCloneClick(TObject *)
{
    PostLine();
    TQuery &q = dm_.Qgrp;
    TField *field = DBGrp->SelectedField();
    if (!q.Active() || q.IsEmpty() || !field || field->FieldName().compare(QStringLiteral("ITM"), Qt::CaseInsensitive) == 0)
        return;
    if (field->FieldName() == u"Prs")
        field = q.FieldByName(QStringLiteral("Id_Prs"));
    else if (field->FieldName() == u"Frm")
        field = q.FieldByName(QStringLiteral("Id_Frm"));
    const Variant value = field->AsVariant();
    copying_ = true;
    q.DisableControls();
    for (q.First(); !q.Eof(); q.Next()) {
        try {
            q.Edit();
            field->SetAsVariant(value);
            q.Post();
        } catch (const Exception &) {
            q.Cancel();
        }
    }
    q.First();
    q.EnableControls();
    copying_ = false;
    ShowTotals();
}

void TFormGrp::PmmPopup(TObject *)
{
    const bool line = dm_.Qgrp.Active() && !dm_.Qgrp.IsEmpty();
    const TField *field = DBGrp->SelectedField();
    const QString name = field ? field->FieldName() : QString();
    const bool notName = field && name.compare(QStringLiteral("ITM"), Qt::CaseInsensitive) != 0;
    mpDel->SetEnabled(line);
    mpNo->SetEnabled(line);
    mpClone->SetEnabled(line && notName);
    mpClear->SetEnabled(line && notName && name != u"Sm");
}

void TFormGrp::DBGrpDblClick(TObject *)
{
    const TField *field = DBGrp->SelectedField();
    if (field && field->FieldName() == u"S")
        mpNoClick(DBGrp);
}

void TFormGrp::FormKeyDown(TObject *, WORD &Key, TShiftState Shift)
{
    const TShiftState mods = KeyModifiers(Shift);
    if (Key == VK_INSERT && mods == 0) {
        Key = 0;
        mpAddClick(this);
    } else if (Key == VK_DELETE && mods == ssCtrl) {
        Key = 0;
        mpDelClick(this);
    } else if (Key == VK_F5 && mods == 0) {
        Key = 0;
        mpNoClick(this);
    } else if (Key == VK_F6 && mods == 0) {
        Key = 0;
        CalculateField();
    } else if (Key == VK_F9 && mods == 0) {
        Key = 0;
        main_.mCalcClick(this);
    } else if (Key == VK_RETURN && mods == 0) {
        Key = 0;
        TQuery &q = dm_.Qgrp;
        if (q.State() == dsEdit || q.State() == dsInsert || DBGrp->EditorMode()) {
            DBGrp->SetEditorMode(false);
            PostLine();
        } else if (ButOk->Enabled()) {
            SetModalResult(mrOk);
        }
    }
}

void TFormGrp::CalculateField()
{
    TQuery &q = dm_.Qgrp;
    TField *field = DBGrp->SelectedField();
    const bool target = field && q.Active() && !q.IsEmpty() &&
                        (field->FieldName().compare(QStringLiteral("Sm"), Qt::CaseInsensitive) == 0 ||
                         field->FieldName().compare(QStringLiteral("Pr"), Qt::CaseInsensitive) == 0 ||
                         field->FieldName().compare(QStringLiteral("Qn"), Qt::CaseInsensitive) == 0);
    DBGrp->SetEditorMode(false);
    PostLine();
    TFormCalc calc;
    if (target)
        calc.Ed->SetText(field->AsString());
    if (calc.ShowModal() != mrOk || !target || calc.ResultText.isEmpty())
        return;
    try {
        q.Edit();
        field->SetAsString(calc.ResultText);
        q.Post();
    } catch (const Exception &) {
        q.Cancel(); // a result the field does not take changes nothing
    }
}

void TFormGrp::FormClose(TObject *, TCloseAction &) { PostLine(); }

} // namespace zorbel
