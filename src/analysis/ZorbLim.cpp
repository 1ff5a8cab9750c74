// The turnovers window (see ZorbLim.h). The grid's columns are bound to the
// money fields or, with "#" down, to the quantity fields of the same rows;
// the hidden grid DBG always holds all seventeen value columns for saving.
#include "analysis/ZorbLim.h"

#include "analysis/ZorbAnalysisForms.h"
#include "analysis/ZorbLimCalc.h"
#include "core/ZorbDm.h"
#include "core/ZorbMain.h"
#include "core/ZorbText.h"
#include "platform/rtl/FormatSettings.h"

namespace zorbel {

namespace {

// Money field and the quantity field shown in its place with "#" down.
constexpr std::pair<const char *, const char *> kQuantityOf[] = {
    {"Lim", "QLim"}, {"Ct", "Qdt"}, {"Dt", "Qct"}, {"Bal", "QBal"},
    {"CtP", "QdtP"}, {"DtP", "QctP"}, {"Rb", "QRb"}, {"RbX", "QRbX"}};

const char *const kDefaultColumns[] = {"itm", "Lim", "Ct", "Dt", "Bal", "Rb", "RbX", "CtP", "DtP"};
const char *const kSaveColumns[] = {"itm", "Lim", "Ct", "CtP", "Dt", "DtP", "Bal", "Rb", "RbX",
                                    "QLim", "Qdt", "QdtP", "Qct", "QctP", "QBal", "QRb", "QRbX"};

constexpr TColor kRed = 0x0000D7, kNavy = 0x800000, kMaroon = 0x000080, kAqua = 0xFFFF00, kOrange = 0x82C0FF;

TDBGridOptions RowGridOptions()
{
    return {dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs, dgRowSelect,
            dgAlwaysShowSelection};
}

double Num(TDataSet &t, const char *name)
{
    const TField *f = t.FieldByName(QString::fromLatin1(name));
    return f->IsNull() ? 0 : f->AsFloat();
}

} // namespace

TFormLim::TFormLim(TFormMain &Main) : main_(Main)
{
    SetName(QStringLiteral("FormLim"));
    SetCaption(U("Обороты за месяц - по статьям"));
    SetKeyPreview(true);
    SetBounds(Main.Lim_Left, Main.Lim_Top, Main.Lim_Width, Main.Lim_Height);
    if (Main.Lim_Max)
        SetWindowState(TWindowState::wsMaximized);

    PanTop = new TPanel(this, QStringLiteral("PanTop"));
    PanTop->SetAlign(TAlign::alTop);
    PanTop->SetHeight(31);
    PanTop->SetAlignment(TAlignment::taRightJustify);
    ButPrev = TopButton(PanTop, "ButPrev", U("◄"), U("Предыдущий месяц (Shift+F1)"), 4);
    PanDate = new TPanel(PanTop, QStringLiteral("PanDate"));
    PanDate->SetBounds(30, 3, 110, 25);
    PanDate->SetBevelOuter(TBevelCut::bvLowered);
    ButNext = TopButton(PanTop, "ButNext", U("►"), U("Следующий месяц (Shift+F2)"), 141);
    ButMoney = TopButton(PanTop, "ButMoney", QStringLiteral("$"), U("Деньги (суммы)"), 172);
    ButQuant = TopButton(PanTop, "ButQuant", QStringLiteral("#"), U("Количество"), 197);
    ButMoney->SetGroupIndex(2);
    ButQuant->SetGroupIndex(2);
    ButMoney->SetDown(true);
    ButSum = TopButton(PanTop, "ButSum", U("Σ"), U("Показать итоговые суммы"), 228);
    ButSum->SetGroupIndex(3);
    ButSum->SetAllowAllUp(true);
    CbAcc = new TComboBox(PanTop, QStringLiteral("CbAcc"));
    CbAcc->SetStyle(TComboBoxStyle::csDropDownList);
    CbAcc->Items().Add(U("Текущий счёт"));
    CbAcc->Items().Add(U("Счета с этой валютой"));
    CbAcc->SetBounds(258, 4, 150, 22);
    CbLim = new TComboBox(PanTop, QStringLiteral("CbLim"));
    CbLim->SetStyle(TComboBoxStyle::csDropDownList);
    CbLim->SetHint(U("Что выводить в таблицу"));
    for (const char *item : {"Все Обороты за месяц", "Обороты с лимитами", "Все Обороты и Лимиты"})
        CbLim->Items().Add(U(item));
    CbLim->SetBounds(412, 4, 175, 22);
    Rb1 = new TRadioButton(PanTop, QStringLiteral("Rb1"));
    Rb2 = new TRadioButton(PanTop, QStringLiteral("Rb2"));
    Rb3 = new TRadioButton(PanTop, QStringLiteral("Rb3"));
    int left = 592;
    for (TRadioButton *rb : {Rb1, Rb2, Rb3}) {
        const int n = rb == Rb1 ? 1 : rb == Rb2 ? 2 : 3;
        rb->SetCaption(QString::number(n));
        rb->SetHint(U("Уровень детализации %1").arg(n));
        rb->SetBounds(left, 7, 32, 17);
        left += 33;
    }
    ChTrans = new TCheckBox(PanTop, QStringLiteral("ChTrans"));
    ChTrans->SetHint(U("Исключить Переводы"));
    ChTrans->SetBounds(694, 7, 18, 17);

    OpenLimTables(TabLim, TabSum);
    DBGSum = new TDBGrid(this, QStringLiteral("DBGSum"));
    DBGSum->SetAlign(TAlign::alBottom);
    DBGSum->SetHeight(80);
    DBGSum->SetReadOnly(true);
    DBGSum->SetOptions({dgTitles, dgColumnResize, dgColLines, dgRowLines});
    DBGSum->SetDataSource(&DataSum);
    DBGLim = new TDBGrid(this, QStringLiteral("DBGLim"));
    DBGLim->SetAlign(TAlign::alClient);
    DBGLim->SetReadOnly(true);
    DBGLim->SetOptions(RowGridOptions());
    DBGLim->SetDataSource(&DataLim);
    TakeLedgerFonts(Main, DBGLim);
    QFont sumTitle = DBGLim->TitleFont(), sumFont = DBGLim->font();
    sumTitle.setBold(false);
    sumFont.setBold(false);
    sumFont.setPointSize(std::max(1, sumFont.pointSize() - 1));
    DBGSum->SetTitleFont(sumTitle);
    DBGSum->SetTitleFontColor(kNavy);
    DBGSum->SetFont(sumFont);
    DBG = new TDBGrid(this, QStringLiteral("DBG"));
    DBG->SetVisible(false);
    for (const char *name : kSaveColumns)
        DBG->Columns().Add()->SetFieldName(QString::fromLatin1(name));
    SetDefaultColumns();

    PmLim = new TPopupMenu(this, QStringLiteral("PmLim"));
    mLimSum = PmLim->Add(QStringLiteral("mLimSum"), U("Изменить &Лимит..."));
    mLimSum->SetDefault(true);
    TMenuItem *table = PmLim->Add(QStringLiteral("mpTable"), U("&Таблица"));
    mpMoney = table->Add(QStringLiteral("mpMoney"), U("&Деньги"));
    mpQuant = table->Add(QStringLiteral("mpQuant"), U("&Количество"));
    TMenuItem *levels = PmLim->Add(QStringLiteral("mpLev"), U("&Детализациия"));
    mpLev1 = levels->Add(QStringLiteral("mpLev1"), QStringLiteral("&1"), ShortCut('1', ssCtrl));
    mpLev2 = levels->Add(QStringLiteral("mpLev2"), QStringLiteral("&2"), ShortCut('2', ssCtrl));
    mpLev3 = levels->Add(QStringLiteral("mpLev3"), QStringLiteral("&3"), ShortCut('3', ssCtrl));
    TMenuItem *contents = PmLim->Add(QStringLiteral("mpWhat"), U("&Что выводить"));
    mp0 = contents->Add(QStringLiteral("mp0"), U("Все обороты за месяц"));
    mp1 = contents->Add(QStringLiteral("mp1"), U("Только обороты лимит. статей"));
    mp2 = contents->Add(QStringLiteral("mp2"), U("Все обороты и все лимит. статьи"));
    mpAcc = PmLim->Add(QStringLiteral("mpAcc"), U("&Одновалютные счета"));
    mpSum = PmLim->Add(QStringLiteral("mpSum"), U("&Показать суммы"));
    mLimSave = PmLim->Add(QStringLiteral("mLimSave"), U("&Сохранить в файл..."), ShortCut('S', ssCtrl));
    DBGLim->SetPopupMenu(PmLim);

    auto rebuild = [this](TObject *) {
        if (shown_)
            Rebuild();
    };
    ButPrev->OnClick = [this](TObject *) { StepMonth(true); };
    ButNext->OnClick = [this](TObject *) { StepMonth(false); };
    PanDate->OnClick = [this](TObject *s) { PanDateClick(s); };
    ButMoney->OnClick = [this](TObject *s) { ButMoneyClick(s); };
    ButQuant->OnClick = [this](TObject *s) { ButMoneyClick(s); };
    mpMoney->OnClick = [this](TObject *s) {
        ButMoney->SetDown(true);
        ButMoneyClick(s);
    };
    mpQuant->OnClick = [this](TObject *s) {
        ButQuant->SetDown(true);
        ButMoneyClick(s);
    };
    ButSum->OnClick = [this](TObject *s) { ButSumClick(s); };
    mpSum->OnClick = [this](TObject *s) {
        ButSum->SetDown(!ButSum->Down());
        ButSumClick(s);
    };
    CbAcc->OnClick = [this, rebuild](TObject *s) {
        mpAcc->SetChecked(CbAcc->ItemIndex() == 1);
        rebuild(s);
    };
    mpAcc->OnClick = [this](TObject *s) {
        CbAcc->SetItemIndex(CbAcc->ItemIndex() == 1 ? 0 : 1);
        CbAcc->OnClick(s);
    };
    CbLim->OnClick = [this, rebuild](TObject *s) {
        mp0->SetChecked(CbLim->ItemIndex() == 0);
        mp1->SetChecked(CbLim->ItemIndex() == 1);
        mp2->SetChecked(CbLim->ItemIndex() == 2);
        rebuild(s);
    };
    for (TMenuItem *item : {mp0, mp1, mp2})
        item->OnClick = [this, item](TObject *s) {
            CbLim->SetItemIndex(item == mp0 ? 0 : item == mp1 ? 1 : 2);
            CbLim->OnClick(s);
        };
    for (TRadioButton *rb : {Rb1, Rb2, Rb3})
        rb->OnClick = [this, rb](TObject *) {
            if (rb->Checked())
                SetLevel(rb == Rb1 ? 1 : rb == Rb2 ? 2 : 3);
        };
    mpLev1->OnClick = [this](TObject *) { Rb1->SetChecked(true); };
    mpLev2->OnClick = [this](TObject *) { Rb2->SetChecked(true); };
    mpLev3->OnClick = [this](TObject *) { Rb3->SetChecked(true); };
    ChTrans->OnClick = [this, rebuild](TObject *s) {
        ChTrans->SetColor(ChTrans->Checked() ? TColor(0x0000FF) : PanTop->Color());
        rebuild(s);
    };
    mLimSum->OnClick = [this](TObject *s) { mLimSumClick(s); };
    mLimSave->OnClick = [this](TObject *s) { mLimSaveClick(s); };
    DBGLim->OnDblClick = [this](TObject *s) { mLimSumClick(s); };
    DBGLim->OnKeyPress = [this](TObject *s, QChar &Key) {
        if (Key == u'\r') {
            Key = QChar();
            mLimSumClick(s);
        }
    };
    DBGLim->OnTitleClick = [this](TObject *, TColumn *c) { DBGLimTitleClick(c); };
    DBGLim->OnDrawColumnCell = [this](TObject *, const QRect &r, int c, TColumn *col, TGridDrawState st) {
        DBGLimDrawColumnCell(r, c, col, st);
    };
    DataLim.OnDataChange = [this](TDataSource *, TField *) { mLimSave->SetEnabled(TabLim.Active() && !TabLim.IsEmpty()); };
    OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
    OnShow = [this](TObject *) {
        mpQuant->SetChecked(ButQuant->Down());
        mpMoney->SetChecked(!ButQuant->Down());
        ShowMonth();
        DBGSum->SetVisible(ButSum->Down());
        mpSum->SetChecked(ButSum->Down());
        if (!ApplyLayoutText(DBGLim, main_.Col_Lim) || !ApplyLayoutText(DBGSum, main_.Sum_Lim))
            SetDefaultColumns();
        mpAcc->SetChecked(CbAcc->ItemIndex() == 1);
        mp0->SetChecked(CbLim->ItemIndex() == 0);
        mp1->SetChecked(CbLim->ItemIndex() == 1);
        mp2->SetChecked(CbLim->ItemIndex() == 2);
        shown_ = true;
        TRadioButton *rb = Level == 3 ? Rb3 : Level == 2 ? Rb2 : Rb1;
        if (rb->Checked())
            Rebuild();
        else
            rb->SetChecked(true); // fills the table
    };
    OnClose = [this](TObject *, TCloseAction &) {
        main_.Lim_Max = WindowState() == TWindowState::wsMaximized;
        if (!main_.Lim_Max) {
            main_.Lim_Left = Left();
            main_.Lim_Top = Top();
            main_.Lim_Width = Width();
            main_.Lim_Height = Height();
        }
        main_.Col_Lim = LayoutText(DBGLim);
        main_.Sum_Lim = LayoutText(DBGSum);
        for (TVemtMemTable *t : {&TabSum, &TabLim})
            if (t->Active()) {
                t->EmptyTable();
                t->Close();
            }
    };
    DoCreate();
}

TFormLim::~TFormLim()
{
    for (TDBGrid *g : {DBGLim, DBGSum, DBG})
        g->SetDataSource(nullptr);
    DoDestroy();
}

void TFormLim::SetDefaultColumns()
{
    DBGLim->Columns().Clear();
    for (const char *name : kDefaultColumns)
        DBGLim->Columns().Add()->SetFieldName(QString::fromLatin1(name));
    DBGLim->Columns()[0]->SetWidth(220);
    DBGSum->Columns().Clear();
    DBGSum->Columns().RebuildColumns();
    if (ButQuant->Down())
        ButMoneyClick(this);
}

QString TFormLim::LayoutText(TDBGrid *Grid)
{
    QStringList lines;
    for (int i = 0; i < Grid->Columns().Count(); ++i)
        lines.append(Grid->Columns()[i]->FieldName() + u'=' + QString::number(Grid->Columns()[i]->OwnWidth()));
    return lines.join(u'\n');
}

bool TFormLim::ApplyLayoutText(TDBGrid *Grid, const QString &Text)
{
    const QStringList lines = Text.split(u'\n', Qt::SkipEmptyParts);
    if (lines.isEmpty() || lines.size() != Grid->Columns().Count())
        return false;
    TDataSet *data = Grid->DataSource() ? Grid->DataSource()->DataSet() : nullptr;
    for (const QString &line : lines) {
        const QString name = line.section(u'=', 0, 0);
        if (data && !data->FindField(name))
            return false; // a field the table does not have
    }
    for (int i = 0; i < lines.size(); ++i) {
        bool ok = false;
        int width = lines[i].section(u'=', 1).toInt(&ok);
        if (!ok || width < 0)
            width = 20;
        Grid->Columns()[i]->SetFieldName(lines[i].section(u'=', 0, 0));
        Grid->Columns()[i]->SetWidth(width);
    }
    return true;
}

void TFormLim::ShowMonth()
{
    PanDate->SetCaption(FormatSettings().LongMonthNames[Month - 1] + u' ' + QString::number(Year));
}

void TFormLim::SetLevel(int NewLevel)
{
    Level = NewLevel;
    mpLev1->SetChecked(Level == 1);
    mpLev2->SetChecked(Level == 2);
    mpLev3->SetChecked(Level == 3);
    if (shown_)
        Rebuild();
}

void TFormLim::Rebuild()
{
    PanTop->SetCaption(QString());
    const QString remembered = TabLim.IsEmpty() ? QString() : TabLim.FieldByName(QStringLiteral("itm"))->AsString();
    {
        TabLim.DisableControls();
        struct TEnable {
            TVemtMemTable &t;
            ~TEnable() { t.EnableControls(); }
        } enable{TabLim};
        const TLimOptions options{Year, Month, Level,
                                  CurrentAccountScope(main_, CbAcc->ItemIndex() == 1, ChTrans->Checked()),
                                  TLimContents(std::clamp(CbLim->ItemIndex(), 0, 2))};
        ComputeLimitTurnovers(main_.Dm->Db, options, TabLim);
        if (ButSum->Down())
            ComputeLimitTotals(TabLim, TabSum);
        TabLim.Sort();
        if (remembered.isEmpty() || !TabLim.Locate(QStringLiteral("itm"), remembered, {}))
            TabLim.First();
    }
    if (!TabLim.IsEmpty())
        PanTop->SetCaption(QString::number(TabLim.RecordCount()) + QStringLiteral("  "));
}

void TFormLim::StepMonth(bool Back)
{
    Repaint();
    if (Back) {
        Month = Month == 1 ? 12 : Month - 1;
        Year -= Month == 12 ? 1 : 0;
    } else {
        Month = Month == 12 ? 1 : Month + 1;
        Year += Month == 1 ? 1 : 0;
    }
    ShowMonth();
    Rebuild();
}

void TFormLim::PanDateClick(TObject *)
{
    TTable &hist = main_.Dm->Tb_Hist;
    if (!hist.Active() || hist.IsEmpty() || hist.FieldByName(QStringLiteral("Date_Real"))->IsNull())
        return;
    int y, m, d;
    DecodeDate(hist.FieldByName(QStringLiteral("Date_Real"))->AsDateTime(), y, m, d);
    Year = uint16_t(y);
    Month = uint16_t(m);
    ShowMonth();
    Rebuild();
}

void TFormLim::ButMoneyClick(TObject *)
{
    const bool quantity = ButQuant->Down();
    mpQuant->SetChecked(quantity);
    mpMoney->SetChecked(!quantity);
    for (int i = 0; i < DBGLim->Columns().Count(); ++i) {
        TColumn *c = DBGLim->Columns()[i];
        for (const auto &[money, quant] : kQuantityOf) {
            const QString from = QString::fromLatin1(quantity ? money : quant);
            if (c->FieldName() == from) {
                c->SetFieldName(QString::fromLatin1(quantity ? quant : money));
                break;
            }
        }
    }
}

void TFormLim::ButSumClick(TObject *)
{
    DBGSum->SetVisible(ButSum->Down());
    mpSum->SetChecked(ButSum->Down());
    if (ButSum->Down())
        ComputeLimitTotals(TabLim, TabSum);
}

void TFormLim::DBGLimTitleClick(TColumn *Column)
{
    if (!Column || Column->FieldName().isEmpty())
        return;
    if (Column->FieldName() != TabLim.SortFields())
        TabLim.SetSortFields(Column->FieldName());
    else
        TabLim.SetSortOptions(TabLim.SortOptions() & mtcoDescending ? 0u : unsigned(mtcoDescending));
    TabLim.Sort();
}

void TFormLim::mLimSumClick(TObject *)
{
    if (!TabLim.Active() || TabLim.IsEmpty())
        return;
    const int id = TabLim.FieldByName(QStringLiteral("id_itm"))->AsInteger();
    if (!main_.Dm->EditCategoryLimit(this, &TabLim, ButQuant->Down()))
        return;
    Rebuild();
    TabLim.Locate(QStringLiteral("id_itm"), id, {});
}

void TFormLim::mLimSaveClick(TObject *)
{
    if (!TabLim.Active() || TabLim.IsEmpty())
        return;
    DataExport.SetDataSet(&TabLim);
    DBG->SetDataSource(&DataExport);
    struct TUnbind {
        TFormLim &f;
        ~TUnbind()
        {
            f.DBG->SetDataSource(nullptr);
            f.DataExport.SetDataSet(nullptr);
        }
    } unbind{*this};
    main_.SaveGridToFile(DBG);
}

void TFormLim::FormKeyDown(TObject *, WORD &Key, TShiftState Shift)
{
    const TShiftState mods = KeyModifiers(Shift);
    if (Key == VK_ESCAPE) {
        Close();
    } else if (mods == ssShift && (Key == VK_F1 || Key == VK_F2)) {
        StepMonth(Key == VK_F1);
        Key = 0;
    } else if (mods == ssCtrl && Key >= '1' && Key <= '3') {
        (Key == '1' ? Rb1 : Key == '2' ? Rb2 : Rb3)->SetChecked(true);
        Key = 0;
    } else if (mods == ssCtrl && Key == 'S') {
        mLimSaveClick(this);
        Key = 0;
    }
}

void TFormLim::DBGLimDrawColumnCell(const QRect &Rect, int DataCol, TColumn *Column, TGridDrawState State)
{
    TCanvas &canvas = DBGLim->Canvas();
    const QString field = Column->FieldName();
    const TField *f = Column->Field();
    const bool number = f && !f->IsNull() && (f->DataType() == ftFloat || f->DataType() == ftInteger);
    const double value = number ? f->AsFloat() : 0;
    const double lim = Num(TabLim, "Lim"), qlim = Num(TabLim, "QLim");
    canvas.Brush.Color = DBGLim->Color() == clDefault ? clWindow : DBGLim->Color();
    canvas.FontColor = DBGLim->FontColor();
    if (field == QStringLiteral("RbX") && value != 0 && ((lim < 0 && value > 100) || (lim > 0 && value < 100))) {
        canvas.FontColor = lim >= 0 ? kNavy : kRed;
        canvas.Brush.Color = clInfoBk;
    } else if (field == QStringLiteral("QRbX") && value != 0 &&
               ((qlim < 0 && value < 100) || (qlim > 0 && value > 100))) {
        canvas.FontColor = qlim >= 0 ? kRed : kNavy;
        canvas.Brush.Color = clInfoBk;
    } else if (field == QStringLiteral("Bal") && value != 0) {
        canvas.FontColor = value >= 0 ? kNavy : kRed;
    }
    const bool isLimit = field == QStringLiteral("Lim") || field == QStringLiteral("QLim");
    if ((State & gdSelected) && !(State & gdFixed)) {
        const bool percent = field == QStringLiteral("RbX") || field == QStringLiteral("QRbX");
        if (!(percent && value > 0)) {
            canvas.Brush.Color = clHighlight;
            canvas.FontColor = clHighlightText;
        }
        if (isLimit)
            canvas.FontColor = kMaroon;
        else if (field == QStringLiteral("Bal"))
            canvas.FontColor = value >= 0 ? kAqua : kOrange;
    }
    if (isLimit)
        canvas.Brush.Color = clBtnFace;
    DBGLim->DefaultDrawColumnCell(Rect, DataCol, Column, State);
}

void OpenLimitsWindow(TFormMain &Main)
{
    TFormLim form(Main);
    int y, m, d;
    DecodeDate(Main.EntryDate, y, m, d);
    form.Year = uint16_t(y);
    form.Month = uint16_t(m);
    form.CbAcc->SetItemIndex(Main.LimPlan ? 1 : 0);
    form.Level = Main.LimLev >= 1 && Main.LimLev <= 3 ? Main.LimLev : 1;
    (Main.LimQuant ? form.ButQuant : form.ButMoney)->SetDown(true);
    form.ButSum->SetDown(Main.LimSum);
    form.CbLim->SetItemIndex(Main.LimFilter >= 0 && Main.LimFilter <= 2 ? Main.LimFilter : 0);
    form.ShowModal();
    Main.LimSum = form.ButSum->Down();
    Main.LimFilter = form.CbLim->ItemIndex();
    Main.LimPlan = form.CbAcc->ItemIndex() == 1;
    Main.LimQuant = form.ButQuant->Down();
    Main.LimLev = form.Level;
}

} // namespace zorbel
