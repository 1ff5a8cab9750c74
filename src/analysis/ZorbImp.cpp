// The import window (see ZorbImp.h): layout, the column map's editing, the
// three steps' handlers and the preview grid's colours.
#include "analysis/ZorbImp.h"

#include "analysis/ZorbImpWrite.h"
#include "core/TulnDlg.h"
#include "platform/system/SysPaths.h"
#include "core/ZorbDm.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/system/SysRead.h"

#include <QFileDialog>

namespace zorbel {

QPointer<TFormImp> FormImp;

namespace {


constexpr TColor LightGreen = 13756112;
constexpr TColor Pink = 13488636;
constexpr TColor MarkGreenFont = 32768;
constexpr TColor MarkPinkFont = 128;

// A cell's mark in the preview grid.
enum class TMark { None, Green, Pink };

// The mark of a cell by the rules of the grid, first rule that applies;
// keep is true for marks that stay visible in the selected row.
TMark CellMark(TDataSet &tab, const QString &field, bool &keep)
{
    keep = true;
    const auto flag = [&](const char *name, TMark whenTrue, TMark whenFalse) {
        const TField *f = tab.FieldByName(QString::fromLatin1(name));
        return f->IsNull() ? TMark::None : f->AsBoolean() ? whenTrue : whenFalse;
    };
    if (field == QLatin1String("Date_Real"))
        return flag("rdate", TMark::Pink, TMark::Green);
    if (field == QLatin1String("Ct") || field == QLatin1String("Dt"))
        return flag("rCt", TMark::Pink, TMark::Green);
    if (field.size() == 4 && field.startsWith(QLatin1String("Itm"))) {
        const TField *level = tab.FieldByName(QStringLiteral("Level") + field.at(3));
        if (level->IsNull() || level->AsInteger() >= -1)
            return TMark::None;
        return level->AsInteger() == LevelInconsistent ? TMark::Pink : TMark::Green;
    }
    keep = false;
    const auto missing = [&](const char *name) {
        const TField *f = tab.FieldByName(QString::fromLatin1(name));
        return !f->IsNull() && f->AsInteger() < 0 ? TMark::Green : TMark::None;
    };
    if (field == QLatin1String("Pers"))
        return missing("ID_Person");
    if (field == QLatin1String("Firm"))
        return missing("ID_Firm");
    return TMark::None;
}

TButton *NewButton(QWidget *parent, const QString &name, const QString &caption, int l, int t, int w, int h)
{
    auto *b = new TButton(parent, name);
    b->SetCaption(caption);
    b->SetBounds(l, t, w, h);
    return b;
}

TEdit *NewEdit(QWidget *parent, const QString &name, const QString &label, const QString &text, int top, int width)
{
    auto *lab = new TLabel(parent, QStringLiteral("Lab") + name.mid(2));
    lab->SetCaption(label);
    lab->SetBounds(6, top + 3, 104, 17);
    auto *e = new TEdit(parent, name);
    e->SetBounds(112, top, width, 22);
    e->SetText(text);
    return e;
}

} // namespace

TFormImp::TFormImp(TDm &Dm, TImportHost &Host, QWidget *Parent) : TForm(Parent), dm_(Dm), host_(Host)
{
    setObjectName(QStringLiteral("FormImp"));
    SetCaption(U("Импорт расходов и приходов"));
    SetKeyPreview(true);
    SetPosition(TPosition::poScreenCenter);
    BuildLayout();
    ExecuteOpenDialog = [this](QString &FileName) {
        FileName = QFileDialog::getOpenFileName(this, U("Загрузка файла для импорта"), ShownName(FileName),
                                                U("CSV files (*.csv);;Text files (*.txt);;All files (*)"));
        FileName = ReachableDialogName(FileName);
        return !FileName.isEmpty();
    };
    OnCreate = [this](TObject *Sender) { FormCreate(Sender); };
    OnShow = [this](TObject *Sender) { FormShow(Sender); };
    OnClose = [this](TObject *Sender, TCloseAction &Action) { FormClose(Sender, Action); };
    OnKeyDown = [this](TObject *Sender, WORD &Key, TShiftState Shift) { FormKeyDown(Sender, Key, Shift); };
    DoCreate();
}

TFormImp::~TFormImp()
{
    DoDestroy();
    DBGImp->SetDataSource(nullptr);
    DataImp.SetDataSet(nullptr);
}

void TFormImp::BuildLayout()
{
    SetBounds(0, 0, 900, 620);

    PanTop = new TPanel(this, QStringLiteral("PanTop"));
    PanTop->SetAlign(TAlign::alTop);
    PanTop->SetHeight(64);
    ButLoad = NewButton(PanTop, QStringLiteral("ButLoad"), U("Шаг 1 - Загрузка..."), 8, 6, 160, 26);
    ButTest = NewButton(PanTop, QStringLiteral("ButTest"), U("Шаг 2 - Предв. импорт"), 174, 6, 170, 26);
    ButImp = NewButton(PanTop, QStringLiteral("ButImp"), U("Шаг 3 - Запись в Zorbel"), 350, 6, 190, 26);
    ButClear = NewButton(PanTop, QStringLiteral("ButClear"), U("Очистка"), 546, 6, 90, 26);
    LabRecs = new TLabel(PanTop, QStringLiteral("LabRecs"));
    LabRecs->SetBounds(646, 10, 80, 18);
    LabRecs->SetHint(U("Строк входного файла"));
    LabRecs->SetCaption(QStringLiteral("0"));
    PanAcc = new TPanel(PanTop, QStringLiteral("PanAcc"));
    PanAcc->SetBounds(8, 36, 628, 22);
    PanAcc->SetBevelOuter(TBevelCut::bvLowered);
    PanAcc->SetAlignment(TAlignment::taLeftJustify);
    PanAcc->SetHint(U("Текущий счёт, куда импортируем расходы"));

    PanRes = new TPanel(this, QStringLiteral("PanRes"));
    PanRes->SetAlign(TAlign::alBottom);
    PanRes->SetHeight(24);
    PanRes->SetBevelOuter(TBevelCut::bvLowered);
    PanRes->SetAlignment(TAlignment::taLeftJustify);

    PanLeft = new TPanel(this, QStringLiteral("PanLeft"));
    PanLeft->SetAlign(TAlign::alLeft);
    PanLeft->SetWidth(190);
    Lb = new TListBox(PanLeft, QStringLiteral("Lb"));
    Lb->SetBounds(6, 6, 140, 250);
    ButUp = NewButton(PanLeft, QStringLiteral("ButUp"), QStringLiteral("↑"), 152, 6, 30, 26);
    ButDown = NewButton(PanLeft, QStringLiteral("ButDown"), QStringLiteral("↓"), 152, 36, 30, 26);
    ButAddSkip = NewButton(PanLeft, QStringLiteral("ButAddSkip"), QStringLiteral("+"), 152, 80, 30, 26);
    ButAddSkip->SetHint(U("Вставить пустое поле (Insert)"));
    ButDelSkip = NewButton(PanLeft, QStringLiteral("ButDelSkip"), QStringLiteral("-"), 152, 110, 30, 26);
    ButDelSkip->SetHint(U("Удалить пустое поле (Delete)"));
    EdCSV = NewEdit(PanLeft, QStringLiteral("EdCSV"), U("Раздел. полей"), QStringLiteral(";"), 264, 30);
    EdNum = NewEdit(PanLeft, QStringLiteral("EdNum"), U("Десятич раздел."), QStringLiteral(","), 290, 30);
    EdDate = NewEdit(PanLeft, QStringLiteral("EdDate"), U("Раздел. даты"), QStringLiteral("."), 316, 30);
    CbDate = new TComboBox(PanLeft, QStringLiteral("CbDate"));
    CbDate->SetStyle(TComboBoxStyle::csDropDownList);
    CbDate->Items().Assign(QStringList{U("День Месяц Год"), U("Год Месяц День"), U("Месяц День Год")});
    CbDate->SetBounds(6, 342, 176, 24);
    CbDate->SetItemIndex(0);
    EdItm = NewEdit(PanLeft, QStringLiteral("EdItm"), U("Раздел. статей"), QStringLiteral(":"), 372, 30);
    for (TEdit *e : {EdCSV, EdNum, EdDate, EdItm})
        e->SetMaxLength(1);
    PanDef = new TPanel(PanLeft, QStringLiteral("PanDef"));
    PanDef->SetBounds(2, 402, 184, 86);
    PanDef->SetHint(U("Значения по умолчанию"));
    EdPers = NewEdit(PanDef, QStringLiteral("EdPers"), U("Кто"), QString(), 4, 66);
    EdFirm = NewEdit(PanDef, QStringLiteral("EdFirm"), U("Где"), QString(), 30, 66);
    EdCom = NewEdit(PanDef, QStringLiteral("EdCom"), U("Ком."), QString(), 56, 66);
    for (TEdit *e : {EdPers, EdFirm, EdCom}) {
        e->SetLeft(44);
        e->SetWidth(134);
    }

    PanWork = new TPanel(this, QStringLiteral("PanWork"));
    PanWork->SetAlign(TAlign::alClient);
    PanWork->SetBevelOuter(TBevelCut::bvNone);
    M = new TMemo(PanWork, QStringLiteral("M"));
    M->SetAlign(TAlign::alTop);
    M->SetHeight(190);
    M->SetWordWrap(false);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPointSize(9);
    M->SetFont(mono);

    DataImp.SetDataSet(&TabImp);
    DBGImp = new TDBGrid(PanWork, QStringLiteral("DBGImp"));
    DBGImp->SetAlign(TAlign::alClient);
    DBGImp->SetReadOnly(true);
    DBGImp->SetOptions({TDBGridOption::dgTitles, TDBGridOption::dgColumnResize, TDBGridOption::dgColLines,
                        TDBGridOption::dgRowLines, TDBGridOption::dgRowSelect,
                        TDBGridOption::dgAlwaysShowSelection});
    DBGImp->SetDataSource(&DataImp);

    PmImp = new TPopupMenu(this, QStringLiteral("PmImp"));
    mDelImp = PmImp->Add(QStringLiteral("mDelImp"), U("Удалить строку..."), ShortCut(VK_DELETE, ssCtrl));
    mClearImp = PmImp->Add(QStringLiteral("mClearImp"), U("Очистить таблицу..."), ShortCut(VK_DELETE, ssShift));
    DBGImp->SetPopupMenu(PmImp);

    ButLoad->OnClick = [this](TObject *Sender) { ButLoadClick(Sender); };
    ButTest->OnClick = [this](TObject *Sender) { ButTestClick(Sender); };
    ButImp->OnClick = [this](TObject *Sender) { ButImpClick(Sender); };
    ButClear->OnClick = [this](TObject *Sender) { ButClearClick(Sender); };
    mClearImp->OnClick = [this](TObject *Sender) { ButClearClick(Sender); };
    mDelImp->OnClick = [this](TObject *Sender) { mDelImpClick(Sender); };
    ButUp->OnClick = [this](TObject *Sender) { ButUpClick(Sender); };
    ButDown->OnClick = [this](TObject *Sender) { ButDownClick(Sender); };
    ButAddSkip->OnClick = [this](TObject *Sender) { ButAddSkipClick(Sender); };
    ButDelSkip->OnClick = [this](TObject *Sender) { ButDelSkipClick(Sender); };
    Lb->OnKeyDown = [this](TObject *Sender, WORD &Key, TShiftState Shift) { LbKeyDown(Sender, Key, Shift); };
    DataImp.OnDataChange = [this](TDataSource *Sender, TField *Field) { DataImpDataChange(Sender, Field); };
    DBGImp->OnDrawColumnCell = [this](TObject *Sender, const QRect &Rect, int DataCol, TColumn *Column,
                                      TGridDrawState State) {
        DBGImpDrawColumnCell(Sender, Rect, DataCol, Column, State);
    };
    // A refused category cell tells why when the mouse rests on it.
    DBGImp->OnCellHint = [this](TObject *, TColumn *Column) {
        bool keep = true;
        if (!Column || CellMark(TabImp, Column->FieldName(), keep) != TMark::Pink ||
            !Column->FieldName().startsWith(QLatin1String("Itm")))
            return QString();
        return TabImp.FieldByName(QStringLiteral("Why"))->AsString();
    };
}

// ---- lifecycle -------------------------------------------------------------------

void TFormImp::FormCreate(TObject *)
{
    ShowAccount();
    OpenImportTable(TabImp);
    DataImpDataChange(&DataImp, nullptr);
}

void TFormImp::ShowAccount()
{
    if (dm_.Tb_Account.Active() && !dm_.Tb_Account.IsEmpty()) {
        const TDataSet &a = dm_.Tb_Account;
        PanAcc->SetCaption(a.FieldByName(QStringLiteral("ACCOUNT"))->AsString() + QStringLiteral(" = ") +
                           a.FieldByName(QStringLiteral("REST"))->AsString() + QLatin1Char(' ') +
                           a.FieldByName(QStringLiteral("CURRENCY"))->AsString());
    }
}

void TFormImp::FormShow(TObject *)
{
    try {
        LoadImportLayout();
    } catch (const Exception &) {
        // A damaged remembered layout leaves the defaults.
    }
    ButImp->setIcon(host_.StepGlyph());
}

void TFormImp::FormClose(TObject *, TCloseAction &)
{
    try {
        SaveImportLayout();
    } catch (const Exception &) {
        // The layout is a convenience; failing to remember it is not an error.
    }
}

void TFormImp::FormKeyDown(TObject *, WORD &Key, TShiftState Shift)
{
    if (Key == VK_ESCAPE && KeyModifiers(Shift) == 0) {
        Key = 0;
        Close();
    }
}

// ---- remembered layout -----------------------------------------------------------

void TFormImp::LoadImportLayout()
{
    Lb->Items().Assign(ImportListNames(host_.ImpList));
    if (Lb->Count() > 0)
        Lb->SetItemIndex(0);
    TImportDelims d;
    d.Num = EdNum->Text();
    d.Date = EdDate->Text();
    d.DateOrder = CbDate->ItemIndex();
    d.Itm = EdItm->Text();
    ParseImportDelims(host_.ImpDelims, d);
    EdNum->SetText(d.Num);
    EdDate->SetText(d.Date);
    CbDate->SetItemIndex(d.DateOrder);
    EdItm->SetText(d.Itm);
}

void TFormImp::SaveImportLayout()
{
    host_.ImpList = ImportListText(Columns());
    TImportDelims d;
    d.Num = EdNum->Text();
    d.Date = EdDate->Text();
    d.DateOrder = CbDate->ItemIndex() < 0 ? 0 : CbDate->ItemIndex();
    d.Itm = EdItm->Text();
    host_.ImpDelims = ImportDelimsText(d);
}

QStringList TFormImp::Columns() const
{
    QStringList names;
    for (int i = 0; i < Lb->Count(); ++i)
        names.append(Lb->Items()[i]);
    return names;
}

TImportSettings TFormImp::Settings() const
{
    TImportSettings s;
    s.Format = TImportFormat::FromTexts(EdCSV->Text(), EdNum->Text(), EdDate->Text(), CbDate->ItemIndex(),
                                        EdItm->Text());
    s.Columns = Columns();
    s.DefPerson = EdPers->Text();
    s.DefFirm = EdFirm->Text();
    s.DefComment = EdCom->Text();
    return s;
}

// ---- the column map --------------------------------------------------------------

void TFormImp::MoveEntry(int Delta)
{
    const int from = Lb->ItemIndex();
    const int to = from + Delta;
    if (from < 0 || to < 0 || to >= Lb->Count())
        return;
    const QString text = Lb->Items()[from];
    Lb->Items().Delete(from);
    Lb->Items().Insert(to, text);
    Lb->SetItemIndex(to);
}

void TFormImp::ButUpClick(TObject *) { MoveEntry(-1); }

void TFormImp::ButDownClick(TObject *) { MoveEntry(1); }

void TFormImp::EditSkipEntry(bool Insert)
{
    const QString skip = ImportFieldNames[icSkip];
    const int at = Lb->ItemIndex();
    if (Insert) {
        const int place = at < 0 ? 0 : at;
        Lb->Items().Insert(place, skip);
        Lb->SetItemIndex(place);
        return;
    }
    if (at < 0 || Lb->Items()[at] != skip)
        return;
    Lb->Items().Delete(at);
    if (Lb->Count() > 0)
        Lb->SetItemIndex(at > 0 ? at - 1 : 0);
}

void TFormImp::ButAddSkipClick(TObject *) { EditSkipEntry(true); }

void TFormImp::ButDelSkipClick(TObject *) { EditSkipEntry(false); }

void TFormImp::LbKeyDown(TObject *, WORD &Key, TShiftState)
{
    if (Key == VK_INSERT) {
        EditSkipEntry(true);
        Key = 0;
    } else if (Key == VK_DELETE) {
        EditSkipEntry(false);
        Key = 0;
    }
}

// ---- step 1 ------------------------------------------------------------------------

bool TFormImp::LoadFile(const QString &FileName)
{
    // Only a regular file, read within the import's bound: a FIFO or device
    // chosen in the dialog would hold the window up for good or flood memory.
    QByteArray bytes;
    const TReadResult read = ReadWholeFile(FileName, MaxImportFileBytes, bytes);
    if (read.Fault == TReadFault::TooLarge) {
        ShowNotice(U("Файл ") + ShownName(FileName) + U(" слишком велик для импорта."), false);
        return false;
    }
    if (!read.Ok()) {
        ShowNotice(U("Не удалось прочитать файл ") + ShownName(FileName) + QStringLiteral("\n") + ReadFaultText(read),
                   false);
        return false;
    }
    const TImportText text = DecodeImportFile(bytes);
    if (!text.Error.isEmpty()) {
        ShowNotice(FileName + QStringLiteral("\n") + text.Error, false);
        return false;
    }
    M->SetLines(text.Lines);
    LabRecs->SetCaption(QString::number(text.Lines.size()));
    return true;
}

void TFormImp::ButLoadClick(TObject *)
{
    QString fileName = host_.ImportDir;
    if (!ExecuteOpenDialog || !ExecuteOpenDialog(fileName))
        return;
    if (LoadFile(fileName))
        host_.ImportDir = AbsoluteFolderOf(fileName);
}

// ---- step 2 ------------------------------------------------------------------------

void TFormImp::ButTestClick(TObject *Sender)
{
    const int lines = M->Text().isEmpty() ? 0 : M->blockCount();
    LabRecs->SetCaption(QString::number(lines));
    LabRecs->Repaint();
    if (lines > 0)
        BuildImportPreview();
    else
        ButLoadClick(Sender);
}

void TFormImp::BuildImportPreview()
{
    PanRes->SetCaption(QString());
    const TDateTime today = Date();
    const TDateTime entry = host_.EntryDate();
    const TDateTime fallback = entry > 0 && entry < today ? entry : today;
    THourGlass hourGlass;
    const TImportCatalog catalog = TImportCatalog::FromDataModule(dm_);
    // The preview is remade from the memo, not added to: what it shows is
    // what step 3 writes, and a second load and step 2 of the same file
    // must not put its lines in twice.
    TabImp.EmptyTable();
    previewText_ = M->Text();
    previewOfWritten_ = written_ && previewText_ == writtenText_;
    summary_ = zorbel::BuildImportPreview(TabImp, previewText_.split(QLatin1Char('\n')), Settings(), catalog, fallback);
    ShowSummary();
}

void TFormImp::ShowSummary()
{
    total_ = TabImp.RecordCount();
    PanRes->SetCaption(total_ > 0 ? ImportSummaryLine(total_, summary_) : QString());
}

// ---- clearing ----------------------------------------------------------------------

void TFormImp::ButClearClick(TObject *)
{
    if (AskDialog(U("Удалить все строки в предварительной таблице импорта?"), TMsgDlgType::mtConfirmation,
                  mbYes | mbNo, false) != mrYes)
        return;
    TabImp.EmptyTable();
    summary_ = {};
    PanRes->SetCaption(QString());
}

void TFormImp::mDelImpClick(TObject *) { DeletePreviewRow(); }

void TFormImp::DeletePreviewRow()
{
    if (!ButClear->isEnabled())
        return;
    if (AskDialog(U("Удалить строку в предварительной таблице импорта?"), TMsgDlgType::mtConfirmation,
                  mbYes | mbNo, false) != mrYes)
        return;
    if (!TabImp.Active() || TabImp.IsEmpty())
        return;
    THourGlass hourGlass;
    const int recNo = TabImp.RecNo();
    TabImp.Delete();
    summary_ = CountImportable(TabImp);
    if (!TabImp.IsEmpty())
        TabImp.SetRecNo(recNo - 1 < 1 ? 1 : recNo - 1);
    ShowSummary();
}

void TFormImp::DataImpDataChange(TDataSource *, TField *)
{
    const bool rows = TabImp.Active() && !TabImp.IsEmpty();
    ButImp->SetEnabled(rows);
    ButClear->SetEnabled(rows);
    mDelImp->SetEnabled(rows);
    mClearImp->SetEnabled(rows);
}

// ---- step 3 ------------------------------------------------------------------------

void TFormImp::ButImpClick(TObject *)
{
    // Each preview row is written once: the rows written leave the preview,
    // a text changed since step 2 waits for a new step 2, and lines already
    // written are written again only when the user says so.
    if (M->Text() != previewText_) {
        ShowNotice(U("Текст в окне изменён после шага 2. Нажмите «Шаг 2 - Предв. импорт», чтобы таблица показала, "
                     "что будет записано."),
                   false);
        return;
    }
    if (CountImportable(TabImp).Importable == 0) {
        ShowNotice(U("В таблице нет строк для записи."), false);
        return;
    }
    const QString question = previewOfWritten_ ? U("Эти строки уже записаны в Zorbel. Записать их ещё раз?")
                                               : U("Импортировать данные в Zorbel?");
    if (AskDialog(question, TMsgDlgType::mtConfirmation, mbYes | mbNo, false) != mrYes)
        return;
    Repaint();
    const QString caption = Caption();
    TImportWriteResult result;
    try {
        THourGlass hourGlass;
        // The count shows in steps of a hundred rows: a caption changed for
        // every row keeps the window manager redrawing titles long after a
        // large import has ended, and the closing notice waits behind them.
        result = WriteImport(dm_, TabImp, [this](int written) {
            if (written % 100 == 0)
                SetCaption(QString::number(written));
        });
    } catch (const Exception &e) {
        SetCaption(caption);
        ShowAccount();
        ShowNotice(U("Импорт не выполнен, в данные ничего не записано.\n") + e.Message(), false);
        return;
    }
    SetCaption(caption);
    writtenText_ = previewText_;
    written_ = true;
    previewOfWritten_ = false;
    DropWrittenRows(result.WrittenRows);
    ShowAccount();
    host_.UpdateBalances(true, 0);
    if (result.CategoriesCreated) {
        host_.BuildCategoryTree(true);
        host_.BuildCategoryTree(false);
    }
    QString notice = U("Импорт произведён!");
    if (result.Refused > 0)
        notice += U("\nНе записано строк с неверными статьями (розовые ячейки): ") + QString::number(result.Refused) +
                  U(".\n") + result.FirstWhy;
    if (result.Failed > 0)
        notice += U("\nНе записано строк: ") + QString::number(result.Failed) + QLatin1Char('.');
    ShowNotice(notice, false);
}

void TFormImp::DropWrittenRows(const std::vector<int> &rows)
{
    {
        TControlsOff off(TabImp);
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            TabImp.SetRecNo(*row);
            TabImp.Delete();
        }
        TabImp.First();
    }
    summary_ = CountImportable(TabImp);
    ShowSummary();
    DataImpDataChange(&DataImp, nullptr);
}

// ---- the preview grid's colours ----------------------------------------------------

void TFormImp::DBGImpDrawColumnCell(TObject *, const QRect &Rect, int DataCol, TColumn *Column,
                                    TGridDrawState State)
{
    if (!Column || !Column->Field())
        return;
    bool keep = true;
    const TMark mark = CellMark(TabImp, Column->FieldName(), keep);
    if (mark == TMark::None)
        return;
    TCanvas &canvas = DBGImp->Canvas();
    const bool selected = (State & gdSelected) != 0;
    if (selected && !keep)
        return; // person and firm marks give way to the selection
    canvas.Brush.Color = mark == TMark::Pink ? Pink : LightGreen;
    if (selected)
        canvas.FontColor = mark == TMark::Pink ? MarkPinkFont : MarkGreenFont;
    DBGImp->DefaultDrawColumnCell(Rect, DataCol, Column, State);
}

} // namespace zorbel
