// The search dialog (see ZorbDlg.h). The history search's condition is built
// by PrepareHistFind (ZorbSearch.h), always with the value bound; the dialog
// only keeps the field, comparison and value and shows the hit counter.
#include "core/ZorbDlg.h"

#include "core/TulnDlg.h"
#include "core/ZorbDm.h"
#include "core/ZorbItm.h"
#include "core/ZorbMain.h"
#include "core/ZorbSearch.h"
#include "core/ZorbText.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/StrUtils.h"

#include <QApplication>
#include <QStyle>

namespace zorbel {

TFormDlg::TFormDlg(TFormMain &Main) : main_(Main)
{
    SetName(QStringLiteral("FormDlg"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    SetKeyPreview(true);
    // 300 x 126: with this system's window frame and fonts a smaller client
    // area cuts the captions and folds the move hint past its two lines.
    SetClientWidth(300);
    SetClientHeight(126);

    LabMove = new TLabel(this, QStringLiteral("LabMove"));
    LabMove->SetCaption(U("Введите статью -> адресат (при отсутствии - перенос на 1-й уровень)"));
    LabMove->SetWordWrap(true);
    LabMove->SetBounds(8, 4, 284, 40);
    LabMove->SetVisible(false);
    Ed = new TEdit(this, QStringLiteral("Ed"));
    Ed->SetBounds(8, 48, 284, 24);

    PanFnd = new TPanel(this, QStringLiteral("PanFnd"));
    PanFnd->SetBounds(0, 0, 300, 82);
    PanFnd->SetBevelOuter(TBevelCut::bvNone);
    PanFnd->SetVisible(false);
    CbFnd = new TComboBox(PanFnd, QStringLiteral("CbFnd"));
    CbFnd->SetStyle(TComboBoxStyle::csDropDownList);
    for (const QString &name : HistFindFieldNames())
        CbFnd->Items().Add(name);
    CbFnd->SetBounds(8, 12, 160, 24);
    ButEq = new TButton(PanFnd, QStringLiteral("ButEq"));
    ButEq->SetCaption(QStringLiteral("="));
    ButEq->SetBounds(176, 12, 30, 24);
    ButFnd = new TButton(PanFnd, QStringLiteral("ButFnd"));
    ButFnd->SetBounds(8, 48, 284, 24);
    EdFnd = new TEdit(PanFnd, QStringLiteral("EdFnd"));
    EdFnd->SetBounds(8, 48, 284, 24);

    PanBut = new TPanel(this, QStringLiteral("PanBut"));
    PanBut->SetBounds(0, 82, 300, 44);
    PanBut->SetBevelOuter(TBevelCut::bvNone);
    ButOk = new TBitBtn(PanBut, QStringLiteral("ButOk"));
    ButOk->SetCaption(QStringLiteral("OK"));
    ButOk->SetGlyph(QApplication::style()->standardIcon(QStyle::SP_DialogOkButton).pixmap(16, 16));
    ButOk->SetDefault(true);
    ButOk->SetModalResult(mrOk);
    ButOk->SetBounds(58, 8, 100, 27);
    ButCancel = new TBitBtn(PanBut, QStringLiteral("ButCancel"));
    ButCancel->SetCaption(U("Отмена"));
    ButCancel->SetGlyph(QApplication::style()->standardIcon(QStyle::SP_DialogCancelButton).pixmap(16, 16));
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetBounds(170, 8, 72, 27);

    OnShow = [this](TObject *s) { FormShow(s); };
    OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
    Ed->OnKeyUp = [this](TObject *s, WORD &k, TShiftState sh) { EdKeyUp(s, k, sh); };
    CbFnd->OnChange = [this](TObject *s) { CbFndChange(s); };
    EdFnd->OnKeyPress = [this](TObject *s, QChar &k) { EdFndKeyPress(s, k); };
    EdFnd->OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { EdFndKeyDown(s, k, sh); };
    ButEq->OnClick = [this](TObject *s) { ButEqClick(s); };
    ButFnd->OnClick = [this](TObject *s) { ButFndClick(s); };
    ButOk->OnClick = [this](TObject *) {
        if (histSearch_)
            RunHistSearch();
    };
    DoCreate();
}

TFormDlg::~TFormDlg() { DoDestroy(); }

void TFormDlg::SetHistorySearch()
{
    histSearch_ = true;
    SetCaption(U("Поиск строки в истории"));
    ButOk->SetDefault(false);
    ButOk->SetModalResult(mrNone);
    ButOk->SetCaption(U("Найти..."));
    ButCancel->SetVisible(false);
    PanFnd->raise();
    PanFnd->SetVisible(true);
    EdFnd->SetVisible(true);
}

void TFormDlg::FormShow(TObject *)
{
    if (!histSearch_)
        ButOk->SetCaption(QString()); // only the glyph shows
    ButCancel->SetCaption(QString());
    Ed->SetTabStop(!PanFnd->Visible());
    if (!PanFnd->Visible())
        return;
    if (EdFnd->Visible())
        EdFnd->SetFocus();
    CbFndChange(CbFnd);
    RunHistSearch();
}

void TFormDlg::FormKeyDown(TObject *, WORD &Key, TShiftState Shift)
{
    if (Key == VK_ESCAPE && KeyModifiers(Shift) == 0) {
        Key = 0;
        SetModalResult(mrCancel);
    }
}

void TFormDlg::EdKeyUp(TObject *, WORD &, TShiftState)
{
    if (!SearchTree || Ed->Text().isEmpty())
        return;
    QStringList texts;
    for (int i = 0; i < SearchTree->Items().Count(); ++i)
        texts << SearchTree->Items()[i]->Text();
    const int found = FirstNodeByName(texts, Ed->Text());
    if (found >= 0)
        SearchTree->SetSelected(SearchTree->Items()[found]);
}

void TFormDlg::ResetSearch()
{
    if (main_.Dm)
        main_.Dm->QFind.Close();
    ButOk->SetCaption(U("Найти..."));
}

void TFormDlg::CbFndChange(TObject *)
{
    ResetSearch();
    const int field = Field();
    const bool button = HistFieldHasButton(field);
    EdFnd->SetVisible(!button);
    ButFnd->SetVisible(button);
    ButEq->SetVisible(HistFieldHasComparison(field));
    TControl *shown = button ? static_cast<TControl *>(ButFnd) : static_cast<TControl *>(EdFnd);
    shown->SetTabStop(true);
    if (isVisible())
        shown->SetFocus();
    ShowButtonValue();
    if (IsHistNumberField(field)) {
        double value = 0;
        if (!EdFnd->Text().isEmpty() && !TryStrToFloat(EdFnd->Text(), value))
            EdFnd->SetText(QString());
    }
}

void TFormDlg::ShowButtonValue()
{
    TDm *dm = main_.Dm.get();
    if (!dm)
        return;
    // The name of row Id of Table, or empty; an unknown person or firm
    // becomes the table's current row.
    auto name = [](TTable &table, const char *key, const char *field, int &id, bool fallBack) {
        if (!table.Active())
            return QString();
        const Variant v = table.Lookup(QString::fromLatin1(key), Variant(int16_t(id)), QString::fromLatin1(field));
        if (!v.IsNull())
            return v.AsString();
        if (fallBack && !table.IsEmpty()) {
            id = table.FieldByName(QString::fromLatin1(key))->AsInteger();
            return table.FieldByName(QString::fromLatin1(field))->AsString();
        }
        return QString();
    };
    switch (Field()) {
    case hfDate: ButFnd->SetCaption(FormatDateTime(QStringLiteral("dd.mm.yy"), FindDate)); break;
    case hfItem: ButFnd->SetCaption(name(dm->Tb_Items, "ID_ITM", "ITM", FindItem, false)); break;
    case hfPerson: ButFnd->SetCaption(name(dm->Tb_Person, "ID_PERSON", "NAME", FindPerson, true)); break;
    case hfFirm: ButFnd->SetCaption(name(dm->Tb_Firm, "ID_FIRM", "FIRM", FindFirm, true)); break;
    default: break;
    }
}

void TFormDlg::EdFndKeyPress(TObject *, QChar &Key)
{
    if (!IsHistNumberField(Field()))
        return;
    switch (NumberFieldKey(Key, EdFnd->Text(), EdFnd->SelStart(), EdFnd->SelLength(),
                           FormatSettings().DecimalSeparator)) {
    case TNumberKey::Type: break;
    case TNumberKey::Drop: Key = QChar(); break;
    case TNumberKey::ClearThenType: EdFnd->SetText(QString()); break;
    case TNumberKey::Comparison:
        ButEq->SetCaption(QString(Key));
        ResetSearch();
        Key = QChar();
        break;
    }
}

void TFormDlg::EdFndKeyDown(TObject *, WORD &Key, TShiftState)
{
    if (Key == VK_RETURN) {
        Key = 0;
        RunHistSearch();
    } else {
        ResetSearch();
    }
}

void TFormDlg::ButEqClick(TObject *)
{
    const QString op = ButEq->Caption();
    ButEq->SetCaption(op == u"=" ? QStringLiteral(">") : op == u">" ? QStringLiteral("<") : QStringLiteral("="));
    ResetSearch();
}

void TFormDlg::ButFndClick(TObject *)
{
    ResetSearch();
    TDm *dm = main_.Dm.get();
    if (!dm)
        return;
    switch (Field()) {
    case hfDate: {
        const TDateTime date = main_.AskDate(FindDate);
        if (date > -1000000 && date != FindDate) {
            FindDate = date;
            ShowButtonValue();
        }
        break;
    }
    case hfItem: {
        TFormItm form(main_);
        if (dm->Tb_Account.Active() && dm->Tb_Account.RecordCount() <= 1)
            form.ExcludeTransfer();
        if (FindItem >= 0)
            form.OpenOn = FindItem;
        if (form.ShowModal() == mrOk && form.TvItm->Items().Count() > 0 && form.TvItm->Selected()) {
            TTreeNode *node = form.TvItm->Selected();
            SetFindLevel(node->Level() + 1);
            ButFnd->SetCaption(node->Text());
            FindItem = int(node->Data());
        }
        break;
    }
    case hfPerson:
    case hfFirm: {
        const bool person = Field() == hfPerson;
        Variant id;
        if (main_.PickReference(person ? 1 : 2, id)) {
            (person ? FindPerson : FindFirm) = id.AsInteger();
            ShowButtonValue();
        }
        break;
    }
    default: break;
    }
    RunHistSearch();
}

void TFormDlg::RunHistSearch()
{
    TDm *dm = main_.Dm.get();
    if (!histSearch_ || !dm)
        return;
    THistFindValues values;
    values.Text = EdFnd->Text();
    values.Op = ButEq->Caption();
    values.Date = FindDate;
    values.Item = FindItem;
    values.Level = FindLevel();
    values.Person = FindPerson;
    values.Firm = FindFirm;
    const int field = Field();
    if (!HistFindHasValue(field, values))
        return;
    TQuery &find = dm->QFind;
    if (find.Active()) {
        if (find.IsEmpty())
            return;
        find.Next();
        if (find.Eof())
            find.First();
        ButOk->SetCaption(HitCounter(find.RecNo(), find.RecordCount()));
        main_.ShowFindHit(find);
        return;
    }
    try {
        PrepareHistFind(find, field, values);
    } catch (const Exception &e) {
        ShowNotice(e.Message(), false); // a number that does not convert
        return;
    }
    try {
        find.Open();
    } catch (const Exception &) {
        return; // a search that cannot run shows nothing
    }
    if (find.IsEmpty()) {
        ButOk->SetCaption(HitCounter(0, 0));
        return;
    }
    find.First();
    ButOk->SetCaption(HitCounter(1, find.RecordCount()));
    main_.ShowFindHit(find);
}

} // namespace zorbel
