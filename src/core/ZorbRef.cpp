// The person card, the person-or-firm picker and the text search window
// (see ZorbRef.h).
#include "core/ZorbRef.h"
#include "core/ZorbText.h"

#include "core/TulnDlg.h"
#include "core/ZorbMain.h"

#include <QApplication>

namespace zorbel {

namespace {

TLabel *FieldLabel(QWidget *parent, const char *text, int x, int y)
{
    auto *label = new TLabel(parent);
    label->SetCaption(U(text));
    label->SetBounds(x, y + 3, 76, 16);
    return label;
}

template <class T> T *Bound(QWidget *parent, const char *name, TDataSource *source, const char *field)
{
    auto *control = new T(parent, QString::fromLatin1(name));
    control->SetDataSource(source);
    control->SetDataField(QString::fromLatin1(field));
    return control;
}

} // namespace

// ---------------------------------------------------------------- person card

TFormPers::TFormPers(TFormMain &Main) : main_(Main)
{
    SetName(QStringLiteral("FormPers"));
    SetCaption(U("Основной персональный справочник"));
    SetPosition(TPosition::poScreenCenter);
    SetBounds(0, 0, 470, 380);
    TDataSource *data = &Main.Dm->DataPerson;
    FieldLabel(this, "Фамилия", 8, 10);
    EdName = Bound<TDBEdit>(this, "EdName", data, "NAME");
    EdName->SetBounds(84, 10, 230, 22);
    FieldLabel(this, "Дата рожд.", 8, 38);
    EdBirthday = Bound<TDBEdit>(this, "EdBirthday", data, "BIRTHDAY");
    EdBirthday->SetBounds(84, 38, 100, 22);
    ButDate = new TButton(this, QStringLiteral("ButDate"));
    ButDate->SetCaption(QStringLiteral("..."));
    ButDate->SetBounds(186, 38, 24, 22);
    ButDate->OnClick = [this](TObject *s) { ButDateClick(s); };
    FieldLabel(this, "Вспомни!", 330, 38);
    EdC = Bound<TDBEdit>(this, "EdC", data, "C");
    EdC->SetBounds(400, 38, 30, 22);
    FieldLabel(this, "Телефон", 8, 66);
    EdPhone = Bound<TDBEdit>(this, "EdPhone", data, "PHONE");
    EdPhone->SetBounds(84, 66, 150, 22);
    FieldLabel(this, "Фирма", 8, 94);
    CbFirm = Bound<TDBLookupComboBox>(this, "CbFirm", data, "ID_FIRM");
    CbFirm->SetListSource(&Main.Dm->DataFirm);
    CbFirm->SetKeyField(QStringLiteral("ID_FIRM"));
    CbFirm->SetListField(QStringLiteral("FIRM"));
    CbFirm->SetBounds(84, 94, 230, 22);
    FieldLabel(this, "Адрес", 8, 122);
    EdAddress = Bound<TDBEdit>(this, "EdAddress", data, "ADDRESS");
    EdAddress->SetBounds(84, 122, 370, 22);
    FieldLabel(this, "Коммент.", 8, 150);
    MemComment = Bound<TDBMemo>(this, "MemComment", data, "COMMENT");
    MemComment->SetBounds(84, 150, 370, 70);
    FieldLabel(this, "Описание", 8, 226);
    MemNote = Bound<TDBMemo>(this, "MemNote", data, "Note");
    MemNote->SetBounds(84, 226, 370, 70);
    Nav = new TDBNavigator(this, QStringLiteral("Nav"));
    Nav->SetDataSource(data);
    Nav->SetVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbPost, nbCancel});
    Nav->SetBounds(84, 310, 240, 26);
    DoCreate();
}

TFormPers::~TFormPers() { DoDestroy(); }

void TFormPers::ButDateClick(TObject *)
{
    TTable &person = main_.Dm->Tb_Person;
    TField *birthday = person.FieldByName(QStringLiteral("BIRTHDAY"));
    const TDateTime date = main_.AskDate(birthday->IsNull() ? Date() : birthday->AsDateTime());
    if (date <= -1000000)
        return;
    try {
        if (person.State() != dsEdit && person.State() != dsInsert)
            person.Edit();
        birthday->SetAsDateTime(date);
    } catch (const Exception &e) {
        ShowNotice(e.Message(), false);
    }
}

// ---------------------------------------------------------------- picker

TFormRef::TFormRef(TFormMain &Main, TDataSource *Source) : main_(Main)
{
    SetName(QStringLiteral("FormRef"));
    SetCaption(Source == &Main.Dm->DataPerson ? U("Люди") : U("Фирмы"));
    SetPosition(TPosition::poScreenCenter);
    SetBounds(0, 0, 360, 420);
    auto *top = new TPanel(this, QStringLiteral("PanTop"));
    top->SetAlign(TAlign::alTop);
    top->SetHeight(32);
    Ed = new TEdit(top, QStringLiteral("Ed"));
    Ed->SetBounds(6, 5, 230, 22);
    ButAdd = new TButton(top, QStringLiteral("ButAdd"));
    ButAdd->SetCaption(U("Добавить"));
    ButAdd->SetHint(U("Ctrl+Enter"));
    ButAdd->SetBounds(244, 4, 100, 24);
    auto *bottom = new TPanel(this, QStringLiteral("PanBottom"));
    bottom->SetAlign(TAlign::alBottom);
    bottom->SetHeight(36);
    ButOk = new TButton(bottom, QStringLiteral("ButOk"));
    ButOk->SetCaption(QStringLiteral("OK"));
    ButOk->SetModalResult(mrOk);
    ButOk->SetBounds(160, 6, 88, 24);
    ButCancel = new TButton(bottom, QStringLiteral("ButCancel"));
    ButCancel->SetCaption(U("Отмена"));
    ButCancel->SetModalResult(mrCancel);
    ButCancel->SetCancel(true);
    ButCancel->SetBounds(256, 6, 88, 24);
    DBGr = new TKDBGrid(this, QStringLiteral("DBGr"));
    DBGr->SetAlign(TAlign::alClient);
    DBGr->SetReadOnly(true);
    DBGr->SetOptions({dgColLines, dgRowLines, dgRowSelect, dgAlwaysShowSelection});
    DBGr->SetDataSource(Source);
    TColumn *column = DBGr->Columns().Add();
    column->SetFieldName(IndexField());
    column->SetWidth(320);
    DBGr->OnDblClick = [this](TObject *) { SetModalResult(mrOk); };
    DBGr->OnKeyPress = [this](TObject *, QChar &Key) {
        if (Key == QChar(u'\r')) {
            Key = QChar();
            SetModalResult(mrOk);
        }
    };
    Ed->OnChange = [this](TObject *s) { EdChange(s); };
    Ed->OnKeyPress = [this](TObject *s, QChar &Key) { EdKeyPress(s, Key); };
    Ed->OnKeyDown = [this](TObject *s, WORD &Key, TShiftState Shift) { EdKeyDown(s, Key, Shift); };
    ButAdd->OnClick = [this](TObject *s) { ButAddClick(s); };
    DoCreate();
}

TFormRef::~TFormRef() { DoDestroy(); }

TTable &TFormRef::Table() const { return *static_cast<TTable *>(DBGr->DataSource()->DataSet()); }

QString TFormRef::IndexField() const
{
    return &Table() == &main_.Dm->Tb_Person ? QStringLiteral("NAME") : QStringLiteral("Firm");
}

void TFormRef::EdChange(TObject *)
{
    if (Table().Active() && !Ed->Text().isEmpty())
        Table().FindNearest({Variant(Ed->Text())});
}

void TFormRef::EdKeyPress(TObject *, QChar &Key)
{
    if (Key == QChar(u'\r') || Key == QChar(u'\n'))
        Key = QChar();
}

void TFormRef::EdKeyDown(TObject *, WORD &Key, TShiftState Shift)
{
    if (Key == VK_RETURN && Shift == TShiftState(ssCtrl)) {
        Key = 0;
        ButAddClick(ButAdd);
    }
}

void TFormRef::ButAddClick(TObject *)
{
    const QString text = Ed->Text();
    if (text.isEmpty() || !Table().Active())
        return;
    if (Table().Locate(IndexField(), Variant(text), {loCaseInsensitive}))
        return;
    if (AskDialog(U("Добавить\r") + text + QStringLiteral("?"), TMsgDlgType::mtConfirmation, mbYes | mbNo, false) ==
        mrYes)
        AddTypedEntry(text);
}

bool TFormRef::AddTypedEntry(const QString &Text)
{
    TTable &table = Table();
    try {
        table.Insert();
        table.FieldByName(IndexField())->SetAsString(Text);
        table.Post();
        return true;
    } catch (const Exception &e) {
        if (table.State() == dsInsert)
            table.Cancel();
        ShowNotice(e.Message(), false);
        return false;
    }
}

// ---------------------------------------------------------------- text search

TFormFind::TFormFind(TFormMain &Main) : main_(Main)
{
    SetName(QStringLiteral("FormFind"));
    SetCaption(U("Поиск текста в таблице"));
    SetPosition(TPosition::poScreenCenter);
    SetKeyPreview(true);
    SetBounds(0, 0, 380, 400);
    auto *top = new TPanel(this, QStringLiteral("PanTop"));
    top->SetAlign(TAlign::alTop);
    top->SetHeight(34);
    EdFind = new TEdit(top, QStringLiteral("EdFind"));
    EdFind->SetBounds(6, 6, 250, 22);
    EdFind->SetText(Main.FindText);
    // Selected, as in an input box: what the user types replaces the text
    // taken from the current cell rather than being added to it.
    EdFind->SelectAll();
    ButFind = new TButton(top, QStringLiteral("ButFind"));
    ButFind->SetCaption(U("Найти"));
    ButFind->SetHint(QStringLiteral("(Enter)"));
    ButFind->SetBounds(264, 5, 100, 24);
    PanHead = new TPanel(this, QStringLiteral("PanHead"));
    PanHead->SetAlign(TAlign::alTop);
    PanHead->SetHeight(20);
    PanHead->SetAlignment(TAlignment::taLeftJustify);
    Lb = new TListBox(this, QStringLiteral("Lb"));
    Lb->SetAlign(TAlign::alClient);
    ButFind->OnClick = [this](TObject *) { RunSearch(); };
    EdFind->OnKeyPress = [this](TObject *, QChar &Key) {
        if (Key == QChar(u'\r')) {
            Key = QChar();
            RunSearch();
        }
    };
    Lb->OnDblClick = [this](TObject *s) { LbDblClick(s); };
    Lb->OnKeyPress = [this](TObject *s, QChar &Key) {
        if (Key == QChar(u'\r')) {
            Key = QChar();
            LbDblClick(s);
        }
    };
    OnKeyDown = [this](TObject *, WORD &Key, TShiftState) {
        if (Key == VK_ESCAPE) {
            Key = 0;
            SetModalResult(mrCancel);
        }
    };
    DoCreate();
}

TFormFind::~TFormFind() { DoDestroy(); }

void TFormFind::RunSearch()
{
    if (EdFind->Text().isEmpty())
        return;
    main_.FindText = EdFind->Text();
    TDm &dm = *main_.Dm;
    TFindSource source;
    switch (main_.Pg->ActivePageIndex()) {
    case 3: source = {&dm.Tb_Log, QString(), QStringLiteral("NOTE"), nullptr}; break;
    case 2: source = {&dm.Tb_Firm, QStringLiteral("ID_FIRM"), QStringLiteral("FIRM"), nullptr}; break;
    default: source = {&dm.Tb_Person, QStringLiteral("ID_PERSON"), QStringLiteral("NAME"), &dm.Tb_Family}; break;
    }
    if (!source.Table->Active() || source.Table->IsEmpty())
        return;
    Lb->Items().Clear();
    PanHead->SetCaption(QString());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    items_ = SearchTable(source, main_.FindText);
    QApplication::restoreOverrideCursor();
    for (const TFindItem &item : items_)
        Lb->Items().Add(item.Text);
    if (items_.empty()) {
        ShowNotice(U("Текст не найден!"), false);
        return;
    }
    Lb->SetItemIndex(0);
    PanHead->SetCaption(QString::number(items_.size()) + QStringLiteral("  "));
    if (Lb->CanFocus())
        Lb->SetFocus();
}

void TFormFind::LbDblClick(TObject *)
{
    const int index = Lb->ItemIndex();
    if (index < 0 || size_t(index) >= items_.size())
        return;
    const TFindItem &item = items_[size_t(index)];
    TDm &dm = *main_.Dm;
    switch (main_.Pg->ActivePageIndex()) {
    case 3:
        dm.Tb_Log.SetRecNo(item.Number);
        main_.FindNextInGrid(main_.DBGLog);
        break;
    case 2:
        if (dm.Tb_Firm.Locate(QStringLiteral("ID_FIRM"), Variant(item.Number), {}))
            main_.FindNextInGrid(main_.DBGFirm);
        break;
    default:
        // A family item carries its person's identifier: namesakes stay apart.
        if (!dm.Tb_Person.Locate(QStringLiteral("Id_Person"), Variant(item.Family() ? item.PersonId : item.Number), {}))
            return;
        main_.FindNextInGrid(main_.DBGPerson);
        if (item.Family() && dm.Tb_Family.Locate(QStringLiteral("Id_Family"), Variant(item.FamilyId()), {}))
            main_.FindNextInGrid(main_.DBGFamily);
        break;
    }
}

} // namespace zorbel
