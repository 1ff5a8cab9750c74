// TFormMain: the people, firms and diary pages. Their grids edit the tables in
// place; the popup menus add, delete, set dates and reminder modes, jump
// between the books, open links and search text. The search itself
// (ZorbRefFind.h) and the link rules (ZorbLink.h) are window-free routines.
#include "core/ZorbMain.h"
#include "core/ZorbText.h"

#include "core/TulnDlg.h"
#include "core/ZorbLink.h"
#include "core/ZorbRef.h"
#include "core/ZorbRefFind.h"

#include <QHash>

namespace zorbel {

namespace {

// A grid column: its field, width and, where the field has no label of its
// own, its title.
struct TRefColumn {
    const char *Field;
    int Width;
    const char *Title = nullptr;
};

TKDBGrid *MakeGrid(QWidget *parent, const char *name, int tag, std::initializer_list<TRefColumn> columns)
{
    auto *grid = new TKDBGrid(parent, QString::fromLatin1(name));
    grid->SetTag(tag);
    grid->SetOptions({dgEditing, dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs,
                      dgAlwaysShowSelection, dgCancelOnExit});
    for (const TRefColumn &c : columns) {
        TColumn *column = grid->Columns().Add();
        column->SetFieldName(QString::fromLatin1(c.Field));
        column->SetWidth(c.Width);
        if (c.Title)
            column->SetTitleCaption(U(c.Title));
        if (QByteArray(c.Field).toUpper() == "BIRTHDAY" || QByteArray(c.Field) == "Date_Remind")
            column->SetButtonStyle(TColumnButtonStyle::cbsEllipsis);
    }
    return grid;
}

TPanel *HeadPanel(QWidget *parent, const char *name, const char *caption)
{
    auto *panel = new TPanel(parent, QString::fromLatin1(name));
    panel->SetAlign(TAlign::alTop);
    panel->SetHeight(22);
    panel->SetCaption(U(caption));
    return panel;
}

TTable *GridTable(TDBGrid *grid)
{
    return grid && grid->DataSource() ? dynamic_cast<TTable *>(grid->DataSource()->DataSet()) : nullptr;
}

bool Inserting(const TDataSet &ds) { return ds.State() == dsInsert; }

// A row to act on: one stored, or the one being inserted (the first row of
// an empty book counts from the moment it is added, as the user sees it).
bool HasRow(const TDataSet &ds) { return ds.Active() && (!ds.IsEmpty() || Inserting(ds)); }

bool IsDateField(const TField *f) { return f && (f->DataType() == ftDate || f->DataType() == ftDateTime); }

bool IsTextField(const TField *f) { return f && f->DataType() == ftString && !f->IsNull(); }

} // namespace

void TFormMain::BuildRefLayout()
{
    // People and their families.
    HeadPanel(ShPers, "PanPers", "Знакомые всё лица...  и члены их семей");
    DBGPerson = MakeGrid(ShPers, "DBGPerson", 3,
                         {{"NAME", 160}, {"BIRTHDAY", 86}, {"PHONE", 110}, {"ADDRESS", 150}, {"Firm", 140},
                          {"COMMENT", 160}, {"Note", 160}, {"C", 24}});
    DBGPerson->SetAlign(TAlign::alTop);
    DBGPerson->SetHeight(260);
    SplitPers = new TSplitter(ShPers, QStringLiteral("SplitPers"));
    SplitPers->SetAlign(TAlign::alTop);
    SplitPers->SetHeight(4);
    DBGFamily = MakeGrid(ShPers, "DBGFamily", 4,
                         {{"NAME", 160}, {"BIRTHDAY", 86}, {"COMMENT", 260, "Комментарий"}, {"C", 24}});
    DBGFamily->SetAlign(TAlign::alClient);

    PmPerson = new TPopupMenu(this, QStringLiteral("PmPerson"));
    mpPersonNew = PmPerson->Add(QStringLiteral("mpPersonNew"), U("&Добавить запись  Ins"));
    mpPersonDel = PmPerson->Add(QStringLiteral("mpPersonDel"), U("&Удалить запись    Ctrl+Del"));
    mpPersonEditDate = PmPerson->Add(QStringLiteral("mpPersonEditDate"), U("&Изменить дату"), ShortCut(VK_F11, 0));
    mpPersonDelDate = PmPerson->Add(QStringLiteral("mpPersonDelDate"), U("Уда&лить дату"), ShortCut(VK_F12, 0));
    PmPerson->Add(QStringLiteral("N20"), QStringLiteral("-"));
    mFindPers = PmPerson->Add(QStringLiteral("mFindPers"), U("&Поиск текста...    Ctrl+F"));
    mFindPersNext = PmPerson->Add(QStringLiteral("mFindPersNext"), U("Найти даль&ше       F3"));
    pmResPers = PmPerson->Add(QStringLiteral("pmResPers"), U("&Выписка..."), ShortCut(VK_F5, 0));
    mPersFindFirm = PmPerson->Add(QStringLiteral("mPersFindFirm"), U("Перейти к &фирме..."));
    mpMail = PmPerson->Add(QStringLiteral("mpMail"), U("&Запуск по ссылке       Ctrl+M"));
    mpForm = PmPerson->Add(QStringLiteral("mpForm"), U("Форма..."));
    mpPersonSave = PmPerson->Add(QStringLiteral("mpPersonSave"), U("Со&хранить в файл..."));
    mpPersonNew->SetTag(1);
    mpPersonDel->SetTag(2);
    mpPersonEditDate->SetTag(3);
    mpPersonDelDate->SetTag(4);
    for (TMenuItem *m : {mpPersonNew, mpPersonDel, mpPersonEditDate, mpPersonDelDate})
        m->OnClick = [this](TObject *s) { mpPersonNewClick(s); };
    PmPerson->OnPopup = [this](TObject *s) { PmPersonPopup(s); };
    mpPersonSave->OnClick = [this](TObject *) {
        TDBGrid *grid = PopupGrid(PmPerson);
        SaveGridToFile(grid ? grid : DBGFamily->Focused() ? DBGFamily : DBGPerson);
    };
    mPersFindFirm->OnClick = [this](TObject *) {
        ShowPage(2);
        Dm->Tb_Firm.Locate(QStringLiteral("Id_Firm"), Dm->Tb_Person.FieldByName(QStringLiteral("ID_FIRM"))->AsVariant(), {});
    };
    mpForm->OnClick = [this](TObject *s) { mpFormClick(s); };

    // Firms and the people who work there.
    HeadPanel(ShFirm, "PanFirm", "Магазины, фирмы, организации, явки...");
    DBGPers_Firm = MakeGrid(ShFirm, "DBGPers_Firm", 0,
                            {{"Name", 160, "Фамилия И.О."}, {"Phone", 110, "Телефон"}, {"Address", 150, "Адрес"},
                             {"Birthday", 86, "Дата рождения"}, {"Comment", 160, "Комментарий"},
                             {"Note", 160, "Описание"}});
    DBGPers_Firm->SetAlign(TAlign::alBottom);
    DBGPers_Firm->SetHeight(150);
    DBGPers_Firm->SetReadOnly(true);
    DBGPers_Firm->SetOptions({dgTitles, dgColumnResize, dgColLines, dgRowLines, dgRowSelect, dgAlwaysShowSelection});
    DBGPers_Firm->SetVisible(false);
    DBGPers_Firm->OnDblClick = [this](TObject *s) { DBGPers_FirmDblClick(s); };
    DBGPers_Firm->OnKeyPress = [this](TObject *s, QChar &k) {
        if (k == QChar(u'\r')) {
            k = QChar();
            DBGPers_FirmDblClick(s);
        }
    };
    DBGFirm = MakeGrid(ShFirm, "DBGFirm", 0,
                       {{"FIRM", 200}, {"PHONE", 110, "Телефон"}, {"ADDRESS", 220, "Адрес"},
                        {"COMMENT", 300, "Комментарий"}});
    DBGFirm->SetAlign(TAlign::alClient);
    PmFirm = new TPopupMenu(this, QStringLiteral("PmFirm"));
    mpFirmNew = PmFirm->Add(QStringLiteral("mpFirmNew"), U("&Добавить запись  Ins"));
    mpFirmDel = PmFirm->Add(QStringLiteral("mpFirmDel"), U("&Удалить запись    Ctrl+Del"));
    PmFirm->Add(QStringLiteral("N21"), QStringLiteral("-"));
    mFindFirm = PmFirm->Add(QStringLiteral("mFindFirm"), U("&Поиск текста...    Ctrl+F"));
    mFindFirmNext = PmFirm->Add(QStringLiteral("mFindFirmNext"), U("Найти даль&ше       F3"));
    pmResFirm = PmFirm->Add(QStringLiteral("pmResFirm"), U("&Выписка..."), ShortCut(VK_F5, 0));
    mpFirmPerson = PmFirm->Add(QStringLiteral("mpFirmPerson"), U("&Люди в фирмах"));
    mpMailF = PmFirm->Add(QStringLiteral("mpMailF"), U("&Запуск по ссылке       Ctrl+M"));
    mpFirmSave = PmFirm->Add(QStringLiteral("mpFirmSave"), U("Со&хранить в файл..."));
    mpFirmNew->SetTag(1);
    mpFirmDel->SetTag(2);
    mpFirmNew->OnClick = [this](TObject *) { Dm->Tb_Firm.Insert(); };
    mpFirmDel->OnClick = [this](TObject *) {
        if (AskDialog(U("Удалить запись ?"), TMsgDlgType::mtConfirmation, mbYes | mbNo, false) == mrYes)
            ReportFailure([this] { Dm->Tb_Firm.Delete(); });
    };
    mpFirmPerson->OnClick = [this](TObject *s) { mpFirmPersonClick(s); };
    PmFirm->OnPopup = [this](TObject *s) { PmFirmPopup(s); };
    mpFirmSave->OnClick = [this](TObject *) { SaveGridToFile(DBGFirm); };

    // The diary.
    HeadPanel(ShLog, "PanLog", "Дневник-памятка  :  сделать, напомнить...");
    DBGLog = MakeGrid(ShLog, "DBGLog", 5,
                      {{"Knd", 90}, {"Date_Remind", 86}, {"Note", 330}, {"Person", 150}, {"Firm", 150},
                       {"Date_Create", 130}});
    DBGLog->SetAlign(TAlign::alClient);
    PmLog = new TPopupMenu(this, QStringLiteral("PmLog"));
    mpLogNew = PmLog->Add(QStringLiteral("mpLogNew"), U("&Добавить запись  Ins"));
    mpLogDel = PmLog->Add(QStringLiteral("mpLogDel"), U("&Удалить запись    Ctrl+Del"));
    mpLogEditDate = PmLog->Add(QStringLiteral("mpLogEditDate"), U("&Изменить дату"), ShortCut(VK_F11, 0));
    PmLog->Add(QStringLiteral("N22"), QStringLiteral("-"));
    mpLogNon = PmLog->Add(QStringLiteral("mpLogNon"), U("&Не напоминать"), ShortCut(VK_F7, 0));
    mpLogDate = PmLog->Add(QStringLiteral("mpLogDate"), U("На&поминать с указанной даты и до отмены"), ShortCut(VK_F8, 0));
    mpLogMonth = PmLog->Add(QStringLiteral("mpLogMonth"), U("Напоминать &ежемесячно указанного числа"), ShortCut(VK_F9, 0));
    PmLog->Add(QStringLiteral("N23"), QStringLiteral("-"));
    mFindLog = PmLog->Add(QStringLiteral("mFindLog"), U("&Поиск текста...    Ctrl+F"));
    mFindLogNext = PmLog->Add(QStringLiteral("mFindLogNext"), U("Найти даль&ше       F3"));
    mpLogFindPerson = PmLog->Add(QStringLiteral("mpLogFindPerson"), U("Перейти к &человеку"), ShortCut(VK_F3, ssCtrl));
    mpLogFindFirm = PmLog->Add(QStringLiteral("mpLogFindFirm"), U("Перейти к &фирме"), ShortCut(VK_F4, ssCtrl));
    mpMailLog = PmLog->Add(QStringLiteral("mpMailLog"), U("&Запуск по ссылке       Ctrl+M"));
    mpLogSave = PmLog->Add(QStringLiteral("mpLogSave"), U("Со&хранить в файл..."));
    mpLogSave->OnClick = [this](TObject *) { SaveGridToFile(DBGLog); };
    int mode = 0;
    for (TMenuItem *m : {mpLogNon, mpLogDate, mpLogMonth}) {
        m->SetRadioItem(true);
        m->SetGroupIndex(5);
        m->SetTag(mode++);
        m->OnClick = [this](TObject *s) { mpLogNonClick(s); };
    }
    mpLogNon->SetChecked(true);
    mpLogNew->OnClick = [this](TObject *) { Dm->Tb_Log.Insert(); };
    mpLogDel->OnClick = [this](TObject *) {
        if (AskDialog(U("Удалить запись в дневнике ?"), TMsgDlgType::mtConfirmation, mbYes | mbNo, false) != mrYes)
            return;
        if (Inserting(Dm->Tb_Log))
            Dm->Tb_Log.Cancel();
        else
            ReportFailure([this] { Dm->Tb_Log.Delete(); });
    };
    mpLogEditDate->OnClick = [this](TObject *) { EditDateField(Dm->Tb_Log, QStringLiteral("Date_Remind")); };
    mpLogFindPerson->OnClick = [this](TObject *) {
        const Variant id = Dm->Tb_Log.FieldByName(QStringLiteral("Id_Person"))->AsVariant();
        ShowPage(1);
        Dm->Tb_Person.Locate(QStringLiteral("Id_Person"), id, {});
    };
    mpLogFindFirm->OnClick = [this](TObject *) {
        const Variant id = Dm->Tb_Log.FieldByName(QStringLiteral("Id_firm"))->AsVariant();
        ShowPage(2);
        Dm->Tb_Firm.Locate(QStringLiteral("Id_Firm"), id, {});
    };
    PmLog->OnPopup = [this](TObject *s) { PmLogPopup(s); };

    // Shared by the three pages.
    for (TMenuItem *m : {mFindPers, mFindFirm, mFindLog})
        m->OnClick = [this](TObject *s) { mFindTextClick(s); };
    for (TMenuItem *m : {mFindPersNext, mFindFirmNext, mFindLogNext})
        m->OnClick = [this](TObject *s) { mFindNextClick(s); };
    for (TMenuItem *m : {mpMail, mpMailF, mpMailLog})
        m->OnClick = [this](TObject *s) { mMailClick(s); };
    for (auto [grid, menu] : {std::pair{DBGPerson, PmPerson}, {DBGFamily, PmPerson}, {DBGFirm, PmFirm},
                              {DBGLog, PmLog}}) {
        grid->SetPopupMenu(menu);
        grid->OnDrawColumnCell = [this](TObject *s, const QRect &r, int c, TColumn *col, TGridDrawState st) {
            DBGDrawColumnCell(s, r, c, col, st);
        };
        grid->OnKeyPress = [this](TObject *s, QChar &k) { DBGPersonKeyPress(s, k); };
    }
    DBGPerson->OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) {
        if (!RefGridKeys(DBGPerson, k, sh))
            DBGPersonKeyDown(s, k, sh);
    };
    DBGFamily->OnKeyDown = [this](TObject *, WORD &k, TShiftState sh) { RefGridKeys(DBGFamily, k, sh); };
    DBGFirm->OnKeyDown = [this](TObject *, WORD &k, TShiftState sh) { RefGridKeys(DBGFirm, k, sh); };
    DBGLog->OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) {
        if (!RefGridKeys(DBGLog, k, sh))
            DBGLogKeyDown(s, k, sh);
    };
    for (TDBGrid *grid : {static_cast<TDBGrid *>(DBGPerson), static_cast<TDBGrid *>(DBGFamily)})
        grid->OnEditButtonClick = [this, grid](TObject *) {
            if (TTable *t = GridTable(grid))
                EditDateField(*t, QStringLiteral("Birthday"));
        };
    DBGLog->OnEditButtonClick = [this](TObject *) { EditDateField(Dm->Tb_Log, QStringLiteral("Date_Remind")); };

    // The hidden main-menu items that carry the pages' keys.
    mMail = mView->Add(QStringLiteral("mMail"), QStringLiteral("mail,www,etc."), ShortCut('M', ssCtrl));
    mFindText = mView->Add(QStringLiteral("mFindText"), QStringLiteral("fnd"), ShortCut('F', ssCtrl));
    mFindNext = mView->Add(QStringLiteral("mFindNext"), QStringLiteral("fnext"), ShortCut(VK_F3, 0));
    for (TMenuItem *m : {mMail, mFindText, mFindNext})
        m->SetVisible(false);
    mMail->OnClick = [this](TObject *s) { mMailClick(s); };
    mFindText->OnClick = [this](TObject *s) { mFindTextClick(s); };
    mFindNext->OnClick = [this](TObject *s) { mFindNextClick(s); };
}

void TFormMain::ConnectRefGrids()
{
    // The stored layouts need the grids' data: they are applied at the
    // first connection, as the ledger's are.
    const bool first = DBGPerson->DataSource() != &Dm->DataPerson;
    DBGPerson->SetDataSource(&Dm->DataPerson);
    DBGFamily->SetDataSource(&Dm->DataFamily);
    DBGFirm->SetDataSource(&Dm->DataFirm);
    DBGPers_Firm->SetDataSource(&Dm->DataPers_Firm);
    DBGLog->SetDataSource(&Dm->DataLog);
    if (first)
        BookColumnLayouts(true);
}

void TFormMain::ReportFailure(const std::function<void()> &Step)
{
    try {
        Step();
    } catch (const EAbort &) {
        // A refusal the data module has explained already ("Есть связи в
        // истории!"): a second box would only say "Operation aborted".
    } catch (const Exception &e) {
        ShowNotice(e.Message(), false);
    }
}

// ---------------------------------------------------------------- people

TDBGrid *TFormMain::PopupGrid(TPopupMenu *Menu) const
{
    return dynamic_cast<TDBGrid *>(Menu->PopupComponent());
}

void TFormMain::PmPersonPopup(TObject *)
{
    TDBGrid *grid = PopupGrid(PmPerson);
    if (!grid)
        grid = DBGFamily->Focused() ? DBGFamily : DBGPerson;
    TTable *t = GridTable(grid);
    if (!t || !t->Active())
        return;
    const bool persons = grid == DBGPerson;
    TTable &person = Dm->Tb_Person;
    mpPersonNew->SetEnabled(persons ? !Inserting(person) : !person.IsEmpty() && !Inserting(*t));
    for (TMenuItem *m : {mpForm, mPersFindFirm, pmResPers})
        m->SetVisible(persons);
    if (persons)
        mPersFindFirm->SetEnabled(!person.IsEmpty() && !person.FieldByName(QStringLiteral("Id_Firm"))->IsNull());
    mFindPers->SetEnabled(!person.IsEmpty());
    mFindPersNext->SetEnabled(mFindPers->Enabled());
    mpPersonDel->SetEnabled(!t->IsEmpty() && !Inserting(*t));
    pmResPers->SetEnabled(mpPersonDel->Enabled() && ResultsAvailable());
    mpPersonSave->SetEnabled(mpPersonDel->Enabled());
    TField *selected = grid->SelectedField();
    mpMail->SetEnabled(IsTextField(selected));
    // Edit date on a row being added too (not only where Delete is offered):
    // F11 right after Ins picks the new person's birthday, as the cell's
    // ellipsis does.
    mpPersonEditDate->SetEnabled(HasRow(*t) && IsDateField(selected));
    mpPersonDelDate->SetEnabled(IsDateField(selected) && !t->FieldByName(QStringLiteral("Birthday"))->IsNull());
}

void TFormMain::mpPersonNewClick(TObject *Sender)
{
    TDBGrid *grid = PopupGrid(PmPerson);
    if (!grid)
        grid = DBGFamily->Focused() ? DBGFamily : DBGPerson;
    TTable *t = GridTable(grid);
    const auto *item = dynamic_cast<TMenuItem *>(Sender);
    if (!t || !t->Active() || !item)
        return;
    switch (item->Tag()) {
    case 1:
        ReportFailure([t] { t->Insert(); });
        break;
    case 2:
        if (AskDialog(U("Удалить запись ?"), TMsgDlgType::mtConfirmation, mbYes | mbNo, false) != mrYes)
            return;
        if (Inserting(*t)) {
            t->Cancel();
        } else {
            ReportFailure([t] { t->Delete(); });
        }
        break;
    case 3:
        EditDateField(*t, QStringLiteral("Birthday"));
        break;
    case 4:
        if (!HasRow(*t) || t->FieldByName(QStringLiteral("BirthDay"))->IsNull())
            return;
        ReportFailure([t] {
            if (t->State() != dsEdit && !Inserting(*t))
                t->Edit();
            t->FieldByName(QStringLiteral("BirthDay"))->Clear();
            t->Post();
        });
        break;
    default:
        break;
    }
}

void TFormMain::EditDateField(TTable &Table, const QString &Field)
{
    if (Table.IsEmpty() && !Inserting(Table))
        return;
    TField *f = Table.FieldByName(Field);
    const TDateTime date = AskDate(f->IsNull() ? Date() : f->AsDateTime());
    if (date <= -1000000)
        return;
    ReportFailure([&] {
        if (Table.State() != dsEdit && !Inserting(Table))
            Table.Edit();
        f->SetAsDateTime(date);
        if (Table.State() == dsEdit)
            Table.Post();
    });
}

void TFormMain::DBGPersonKeyPress(TObject *Sender, QChar &Key)
{
    if (Key != QChar(u'\r'))
        return;
    Key = QChar();
    TTable *t = GridTable(dynamic_cast<TDBGrid *>(Sender));
    if (!t || (t->State() != dsEdit && !Inserting(*t)))
        return;
    try {
        t->Post();
    } catch (const Exception &) {
        t->Cancel();
    }
}

void TFormMain::DBGPersonKeyDown(TObject *, WORD &Key, TShiftState)
{
    TField *selected = DBGPerson->SelectedField();
    if (Key != VK_DELETE || !selected || selected->FieldName() != QLatin1String("Firm") || !HasRow(Dm->Tb_Person))
        return;
    ReportFailure([this] {
        if (Dm->Tb_Person.State() != dsEdit && !Inserting(Dm->Tb_Person))
            Dm->Tb_Person.Edit();
        Dm->Tb_Person.FieldByName(QStringLiteral("ID_FIRM"))->Clear();
    });
}

bool TFormMain::RefGridKeys(TDBGrid *Grid, WORD &Key, TShiftState Shift)
{
    // The popup items name these keys: they do what the items do, with the
    // same conditions and the same question, on the grid the key came from.
    const bool insert = Key == VK_INSERT && KeyModifiers(Shift) == 0;
    const bool remove = Key == VK_DELETE && KeyModifiers(Shift) == ssCtrl;
    TPopupMenu *menu = Grid->PopupMenu();
    if ((!insert && !remove) || !menu)
        return false;
    Key = 0;
    TMenuItem *item = menu == PmPerson ? (insert ? mpPersonNew : mpPersonDel)
                      : menu == PmFirm ? (insert ? mpFirmNew : mpFirmDel)
                                       : (insert ? mpLogNew : mpLogDel);
    menu->SetPopupComponent(Grid);
    if (menu->OnPopup)
        menu->OnPopup(menu);
    if (item->Enabled() && item->Visible())
        item->Click();
    return true;
}

void TFormMain::mpFormClick(TObject *)
{
    TFormPers form(*this);
    form.ShowModal();
}

// Applies a stored layout to grid; the captions the grid's own columns gave
// their fields stay with those fields (the layout holds only names and widths).
static void ApplyLayoutKeepingTitles(TFormMain &main, TDBGrid *grid, QString &layout)
{
    QHash<QString, QString> titles;
    for (int i = 0; i < grid->Columns().Count(); ++i)
        if (!grid->Columns()[i]->Title().Caption.isEmpty())
            titles.insert(grid->Columns()[i]->FieldName().toUpper(), grid->Columns()[i]->Title().Caption);
    main.ApplyColumnLayout(grid, true, layout);
    for (int i = 0; i < grid->Columns().Count(); ++i) {
        TColumn *column = grid->Columns()[i];
        const auto title = titles.constFind(column->FieldName().toUpper());
        if (title != titles.cend())
            column->SetTitleCaption(*title);
    }
}

// The stored column layouts of the books' five grids: applied when the
// grids first get their data, taken back when the settings are written. A grid whose data has
// no fields yet (the firm's people before their first opening) takes its
// layout when that data opens (ApplyPendingLayouts).
void TFormMain::BookColumnLayouts(bool Apply)
{
    const std::pair<TDBGrid *, QString *> grids[] = {
        {DBGPerson, &Col_Pers}, {DBGFamily, &Col_Fam}, {DBGLog, &Col_Log}, {DBGFirm, &Col_Firm}, {DBGPers_Firm, &Col_PF}};
    pendingLayouts_.clear();
    for (const auto &[grid, layout] : grids) {
        if (!Apply) {
            ApplyColumnLayout(grid, false, *layout);
            continue;
        }
        if (layout->isEmpty())
            continue;
        const TDataSet *data = grid->DataSource() ? grid->DataSource()->DataSet() : nullptr;
        if (data && data->FieldCount() == 0)
            pendingLayouts_.push_back(grid);
        else
            ApplyLayoutKeepingTitles(*this, grid, *layout);
    }
}

void TFormMain::ApplyPendingLayouts()
{
    if (pendingLayouts_.contains(DBGPers_Firm) && Dm->QPers_Firm.FieldCount() > 0) {
        pendingLayouts_.removeAll(DBGPers_Firm);
        // The key the query reads for the jump to the person is not a column.
        if (TField *key = Dm->QPers_Firm.FindField(QStringLiteral("Id_Person")))
            key->SetVisible(false);
        ApplyLayoutKeepingTitles(*this, DBGPers_Firm, Col_PF);
    }
}

// ---------------------------------------------------------------- firms

void TFormMain::PmFirmPopup(TObject *)
{
    TTable &firm = Dm->Tb_Firm;
    mpFirmNew->SetEnabled(!Inserting(firm));
    mpFirmDel->SetEnabled(firm.Active() && !firm.IsEmpty() && !Inserting(firm));
    mpFirmSave->SetEnabled(mpFirmDel->Enabled());
    mFindFirm->SetEnabled(mpFirmDel->Enabled());
    mFindFirmNext->SetEnabled(mFindFirm->Enabled());
    pmResFirm->SetEnabled(mpFirmDel->Enabled() && !Inserting(firm) && ResultsAvailable());
    mpMailF->SetEnabled(IsTextField(DBGFirm->SelectedField()));
    mpFirmPerson->SetEnabled(firm.Active() && !firm.IsEmpty() &&
                             firm.FieldByName(QStringLiteral("Id_firm"))->AsInteger() > 0);
}

void TFormMain::mpFirmPersonClick(TObject *)
{
    mpFirmPerson->SetChecked(!mpFirmPerson->Checked());
    ShowFirmPeople(mpFirmPerson->Checked());
}

void TFormMain::ShowFirmPeople(bool Open)
{
    ReportFailure([this, Open] { Dm->QPers_Firm.SetActive(Open); });
    ApplyPendingLayouts();
    DBGPers_Firm->SetVisible(Dm->QPers_Firm.Active());
    PgChange(Pg);
}

void TFormMain::DBGPers_FirmDblClick(TObject *)
{
    TQuery &q = Dm->QPers_Firm;
    if (!q.Active() || q.IsEmpty())
        return;
    Dm->Tb_Person.Locate(QStringLiteral("Id_Person"), q.FieldByName(QStringLiteral("Id_Person"))->AsVariant(), {});
    ShowPage(1);
}

// ---------------------------------------------------------------- diary

void TFormMain::PmLogPopup(TObject *)
{
    TTable &log = Dm->Tb_Log;
    const bool any = HasRow(log);
    if (!any) {
        mpLogNon->SetChecked(true);
    } else {
        const QString c = log.FieldByName(QStringLiteral("C"))->AsString();
        if (c == u"0")
            mpLogNon->SetChecked(true);
        else if (c == u"1")
            mpLogDate->SetChecked(true);
        else if (c == u"2")
            mpLogMonth->SetChecked(true);
    }
    for (TMenuItem *m : {mpLogDel, mpLogEditDate, mpLogNon, mpLogDate, mpLogMonth, mFindLog})
        m->SetEnabled(any);
    mFindLogNext->SetEnabled(any);
    mpLogSave->SetEnabled(any);
    mpLogFindPerson->SetEnabled(any && !log.FieldByName(QStringLiteral("Id_Person"))->IsNull());
    mpLogFindFirm->SetEnabled(any && !log.FieldByName(QStringLiteral("Id_firm"))->IsNull());
    mpMailLog->SetEnabled(IsTextField(DBGLog->SelectedField()));
}

void TFormMain::mpLogNonClick(TObject *Sender)
{
    auto *item = dynamic_cast<TMenuItem *>(Sender);
    TTable &log = Dm->Tb_Log;
    if (!item || !HasRow(log))
        return;
    item->SetChecked(true);
    ReportFailure([&] {
        if (log.State() != dsEdit && !Inserting(log))
            log.Edit();
        log.FieldByName(QStringLiteral("C"))->SetAsString(QString::number(item->Tag()));
    });
}

void TFormMain::DBGLogKeyDown(TObject *, WORD &Key, TShiftState)
{
    TField *selected = DBGLog->SelectedField();
    if (Key != VK_DELETE || !selected || !HasRow(Dm->Tb_Log))
        return;
    const QString name = selected->FieldName();
    const QString key = name == QLatin1String("Firm") ? QStringLiteral("Id_firm")
                        : name == QLatin1String("Person") ? QStringLiteral("Id_Person")
                                                          : QString();
    if (key.isEmpty())
        return;
    ReportFailure([&] {
        if (Dm->Tb_Log.State() != dsEdit && !Inserting(Dm->Tb_Log))
            Dm->Tb_Log.Edit();
        Dm->Tb_Log.FieldByName(key)->Clear();
    });
}

// ---------------------------------------------------------------- links and search

TDBGrid *TFormMain::FocusedRefGrid() const
{
    for (TDBGrid *grid : {static_cast<TDBGrid *>(DBGPerson), static_cast<TDBGrid *>(DBGFamily),
                          static_cast<TDBGrid *>(DBGFirm), static_cast<TDBGrid *>(DBGLog)})
        if (grid->Focused())
            return grid;
    return nullptr;
}

void TFormMain::OpenLink(TDBGrid *Grid)
{
    TField *field = Grid ? Grid->SelectedField() : nullptr;
    if (!field)
        return;
    const QString refused = OpenLinkText(field->DisplayText());
    if (!refused.isEmpty())
        ShowNotice(refused, false);
}

void TFormMain::mMailClick(TObject *)
{
    TDBGrid *grid = FocusedRefGrid();
    if (!grid) {
        // From a popup the grid it was opened on.
        for (TPopupMenu *menu : {PmPerson, PmFirm, PmLog})
            if (!grid)
                grid = PopupGrid(menu);
    }
    OpenLink(grid);
}

TDBGrid *TFormMain::SearchGrid() const
{
    switch (Pg->ActivePageIndex()) {
    case 3: return DBGLog;
    case 2: return DBGFirm;
    default: return DBGFamily->Focused() ? DBGFamily : DBGPerson;
    }
}

void TFormMain::mFindTextClick(TObject *)
{
    if (Pg->ActivePageIndex() == 0 || !Dm)
        return;
    if (FindText.isEmpty())
        if (TDBGrid *grid = FocusedRefGrid())
            if (TField *f = grid->SelectedField())
                FindText = f->DisplayText();
    TFormFind form(*this);
    form.ShowModal();
}

void TFormMain::mFindNextClick(TObject *Sender)
{
    if (Pg->ActivePageIndex() == 0 || !Dm)
        return;
    if (FindText.isEmpty()) {
        mFindTextClick(Sender);
        return;
    }
    TDBGrid *grid = SearchGrid();
    TTable *t = GridTable(grid);
    if (!t)
        return;
    const TField *selected = grid->SelectedField();
    const int found = FindNextRow(*t, selected ? selected->Index() : -1, FindText);
    if (found >= 0)
        grid->SetSelectedField(t->Fields()[found]);
    else
        ShowNotice(U("Текст не найден."), false);
}

bool TFormMain::PickReference(int Tag, Variant &Id)
{
    const bool person = Tag == 1;
    TFormRef picker(*this, person ? &Dm->DataPerson : &Dm->DataFirm);
    if (picker.ShowModal() != mrOk)
        return false;
    TTable &table = person ? Dm->Tb_Person : Dm->Tb_Firm;
    if (!table.Active() || table.IsEmpty())
        return false;
    Id = table.FieldByName(person ? QStringLiteral("ID_PERSON") : QStringLiteral("ID_FIRM"))->AsVariant();
    return true;
}

bool TFormMain::FindNextInGrid(TDBGrid *Grid)
{
    TTable *t = GridTable(Grid);
    if (!t)
        return false;
    const TField *selected = Grid->SelectedField();
    int found = FindInRow(*t, selected ? selected->Index() + 1 : 0, FindText);
    if (found < 0)
        found = FindInRow(*t, 0, FindText);
    if (found >= 0)
        Grid->SetSelectedField(t->Fields()[found]);
    return found >= 0;
}

} // namespace zorbel
