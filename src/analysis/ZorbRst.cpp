// The results window: creation, layout, stored settings, the period and its
// stepping, keys, and RefreshResults over the query building of
// ZorbRstQuery.
//
//   +--PanTop-------------------------------------------------------------+
//   | [П][<][01.01.2024][31.12.2024][>] [Реальные v] [Статьи][Счета]...    |
//   +--PanCond------------------------------------------------------------+
//   | [x]ChItm1 [ ]ChItm2 [ ]ChItm3 [..]  [x]ChAcc [..] [ ]ChPers [ ]ChFirm |
//   +--TcGrp: Группы (F4) | История (F5) | Динамика (F6)------------------+
//   | PanGrp: DBGRes + SbRes | pie / bar chart    (or PanDet: DBGTab)      |
//   +---------------------------------------------------------------------+
#include "analysis/ZorbRst.h"

#include "analysis/ZorbFilt.h"
#include "core/TulnDlg.h"
#include "core/ZorbMain.h"
#include "core/ZorbText.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Format.h"
#include "platform/system/SysEnv.h"


namespace zorbel {

namespace {

const char *const PeriodNames[] = {"Весь период", "Год", "Квартал", "Месяц", "Неделя", "День"};

TSpeedButton *SpeedButton(QWidget *Parent, const char *Name, const QString &Caption, int Left, int Top, int Width)
{
    auto *b = new TSpeedButton(Parent, U(Name));
    b->SetCaption(Caption);
    b->SetBounds(Left, Top, Width, 23);
    return b;
}

TCheckBox *CondBox(QWidget *Parent, const char *Name, int Left, int Top, int Width)
{
    auto *box = new TCheckBox(Parent, U(Name));
    box->SetBounds(Left, Top, Width, 21);
    box->SetColor(RstIncludeColor);
    return box;
}

TDateTime Today() { return Date(); }

} // namespace

TFormRst::TFormRst(TFormMain &Main) : main_(Main)
{
    SetName(U("FormRst"));
    SetCaption(U("Итоги:   анализ, суммы, результаты, графики"));
    SetKeyPreview(true);
    Updating = true; // no refresh until the window is shown
    for (TQuery *q : {&Qres, &QhsQuery, &Qsm, &QBegSum, &Qday, &Qmn, &Qyr, &QDateRange})
        q->SetDatabase(&Main.Dm->Db);
    QDateRange.SQL() << QStringLiteral("Select min(Date_Real),max(Date_Real) from Tb_Hist");
    Qres.SQL() = RstQueryHead(TRstQueryKind::Res);
    QhsQuery.SQL() = RstQueryHead(TRstQueryKind::Hs) << QStringLiteral("order by date_real");
    // A year of a million-operation data set lists hundreds of thousands of
    // rows, of which the grid shows a screenful: each is read when reached.
    QhsQuery.SetKeyedRows(true);
    DefineQhsFields();
    DefineTabRes();
    BuildLayout();
    BuildMenus();
    FormFilt = std::make_unique<TFormFilt>();

    // Bounds and options from the main window.
    // Never narrower than the top row of controls, so none of them is cut.
    const int topRow = ButExtend->Left() + ButExtend->Width() + 8 + (Width() - ClientWidth());
    SetBounds(Main.Res_Left, Main.Res_Top, std::max(Main.Res_Width, topRow), Main.Res_Height);
    if (Main.Res_Max)
        SetWindowState(TWindowState::wsMaximized);
    if (Main.Res_Wdt >= 1)
        PanGrTb->SetWidth(Main.Res_Wdt);
    if (Main.Res_Stat >= 1)
        PanResBar->SetWidth(Main.Res_Stat);
    PgChart->SetActivePage(Main.Res_Bar ? ShBar : ShPie);
    ChLegPie->SetChecked(Main.Res_Legend);
    ChLegBar->SetChecked(Main.Res_LegBar);
    DBChPie->SetLegendVisible(Main.Res_Legend);
    DBChBar->SetLegendVisible(Main.Res_LegBar);

    // Fonts of the ledger grid.
    for (TDBGrid *g : {DBGTab, DBGRes, DBGDyn}) {
        g->SetFont(Main.GridFont);
        g->SetTitleFont(Main.TitleFont);
    }
    SbRes->SetFont(Main.TitleFont);
    // The totals' row is as tall as the bar's font needs (bevels included).
    static_cast<TPanel *>(PanRes->parentWidget())->SetHeight(std::max(26, SbRes->Height() + 4));
    for (int i = 0; i < DBGRes->Columns().Count(); ++i)
        DBGRes->Columns()[i]->SetColor(i == Main.Res_Ord ? RstSortColor : clDefault);
    TMenuItem *chart = Main.Res_Diag == 2 ? mpChRs : Main.Res_Diag == 1 ? mpChCt : mpChDt;
    chart->SetChecked(true);

    // Sort of the totals.
    TMenuItem *sort = Main.Res_Ord == 1 ? mpSortDt : Main.Res_Ord == 2 ? mpSortCt : Main.Res_Ord == 3 ? mpSortRs : mpSortNm;
    sort->SetChecked(true);
    const int ord = Main.Res_Ord >= 1 && Main.Res_Ord <= 3 ? Main.Res_Ord : 0;
    TabRes.SetSortFields(DBGRes->Columns()[ord]->FieldName());
    TabRes.SetSortOptions(Main.Res_Desc ? TVemtMemTableCompareOptions(mtcoDescending) : TVemtMemTableCompareOptions(0));
    TabRes.Open();

    // The current account.
    TTable &acc = Main.Dm->Tb_Account;
    if (acc.Active() && !acc.IsEmpty())
        SetAccountBox(acc.FieldByName(U("Id_Account"))->AsInteger(), acc.FieldByName(U("Account"))->AsString(),
                      acc.FieldByName(U("Rest"))->AsFloat(), acc.FieldByName(U("Currency"))->AsString());
    ChAcc->SetChecked(true);
    CbKind->SetItemIndex(0);

    // Titles of the list from the ledger grid's columns.
    static constexpr std::pair<const char *, const char *> titles[] = {
        {"date_real", "DATE_REAL"}, {"category", "Itm1"}, {"item", "Itm2"}, {"article", "Itm3"},
        {"dt", "dt"},               {"ct", "ct"},         {"price", "price"}, {"comment", "comment"},
        {"person", "Pers"},         {"firm", "Firm"},     {"rate", "rate"},   {"ref_acc", "Ac_Ref"},
        {"date_create", "date_create"},
    };
    for (int i = 0; i < Main.DBG->Columns().Count(); ++i) {
        const TColumn *c = Main.DBG->Columns()[i];
        const QString name = c->FieldName().toLower();
        for (const auto &[ledger, own] : titles)
            if (name == QLatin1String(ledger))
                if (TField *f = QhsQuery.FindField(U(own)))
                    f->SetDisplayLabel(c->TitleCaption());
        if (name == u"quant") {
            QhsQuery.FieldByName(U("qdt"))->SetDisplayLabel(c->TitleCaption() + u'+');
            QhsQuery.FieldByName(U("qct"))->SetDisplayLabel(c->TitleCaption() + u'-');
        }
    }
    PrinterSetup = [this] { return RunChartPrintDialog(this); };
    Updating = false;
    SetFormRst(this);

    OnShow = [this](TObject *s) { FormShow(s); };
    OnClose = [this](TObject *s, TCloseAction &a) { FormClose(s, a); };
    OnKeyDown = [this](TObject *s, WORD &k, TShiftState sh) { FormKeyDown(s, k, sh); };
}

TFormRst::~TFormRst()
{
    SetFormRst(nullptr);
    DataRes.OnDataChange = nullptr;
    DataHs.OnDataChange = nullptr;
}

// ---- layout -------------------------------------------------------------------

void TFormRst::BuildLayout()
{
    BuildTopPanel();
    BuildCondPanel();
    TcGrp = new TTabControl(this, U("TcGrp"));
    TcGrp->SetTabs({U("Группы (F4)"), U("История (F5)"), U("Динамика (F6)")});
    TcGrp->SetAlign(TAlign::alClient);
    BuildResPanel();
    BuildHistPanel();
    BuildDynPanel();
    TcGrp->OnChange = [this](TObject *s) { TcGrpChange(s); };
}

void TFormRst::BuildTopPanel()
{
    PanTop = new TPanel(this, U("PanTop"));
    PanTop->SetAlign(TAlign::alTop);
    PanTop->SetHeight(31);
    ButPer = new TButton(PanTop, U("ButPer"));
    ButPer->SetHint(U("Выбор периода"));
    ButPer->SetBounds(4, 4, 24, 23);
    ButDt1 = SpeedButton(PanTop, "ButDt1", QStringLiteral("<"), 30, 4, 22);
    ButDt1->SetTag(2);
    ButDt1->SetHint(U("Shift+F3"));
    ButDate1 = new TButton(PanTop, U("ButDate1"));
    ButDate1->SetTag(1);
    ButDate1->SetHint(U("с..."));
    ButDate1->SetBounds(54, 4, 80, 23);
    ButDate2 = new TButton(PanTop, U("ButDate2"));
    ButDate2->SetTag(2);
    ButDate2->SetHint(U("по..."));
    ButDate2->SetBounds(136, 4, 80, 23);
    ButDt2 = SpeedButton(PanTop, "ButDt2", QStringLiteral(">"), 218, 4, 22);
    ButDt2->SetTag(0);
    ButDt2->SetHint(U("Shift+F4"));
    CbKind = new TComboBox(PanTop, U("CbKind"));
    CbKind->SetStyle(TComboBoxStyle::csDropDownList);
    for (const char *k : {"Реальные", "Планируемые", "Все"})
        CbKind->Items().Add(U(k));
    // Wide enough for "Планируемые" in the desktop's font.
    CbKind->SetBounds(246, 4, 120, 23);
    ButItm = SpeedButton(PanTop, "ButItm", U("Статьи"), 372, 4, 60);
    ButAcc = SpeedButton(PanTop, "ButAcc", U("Счета"), 432, 4, 60);
    ButPers = SpeedButton(PanTop, "ButPers", U("Люди"), 492, 4, 60);
    ButFirm = SpeedButton(PanTop, "ButFirm", U("Фирмы"), 552, 4, 60);
    for (TSpeedButton *b : {ButItm, ButAcc, ButPers, ButFirm})
        b->SetGroupIndex(1);
    ButItm->SetDown(true);
    ChMark = new TCheckBox(PanTop, U("ChMark"));
    ChMark->SetHint(U("Закладки"));
    ChMark->SetCaption(QStringLiteral("B"));
    ChMark->SetBounds(618, 6, 36, 19);
    ChTrans = new TCheckBox(PanTop, U("ChTrans"));
    ChTrans->SetHint(U("Исключить Переводы"));
    ChTrans->SetCaption(QStringLiteral("-1"));
    ChTrans->SetBounds(656, 6, 40, 19);
    ButExtend = new TButton(PanTop, U("ButExtend"));
    ButExtend->SetCaption(U("Дополнительно..."));
    ButExtend->SetBounds(700, 4, 134, 23);

    ButPer->OnClick = [this](TObject *) {
        const QPoint p = QCursor::pos();
        PmPer->Popup(p.x(), p.y());
    };
    ButDate1->OnClick = [this](TObject *s) { ButDate1Click(s); };
    ButDate2->OnClick = [this](TObject *s) { ButDate1Click(s); };
    ButDt1->OnClick = [this](TObject *s) { ButDt1Click(s); };
    ButDt2->OnClick = [this](TObject *s) { ButDt1Click(s); };
    for (TControl *c : std::initializer_list<TControl *>{CbKind, ButItm, ButAcc, ButPers, ButFirm})
        c->OnClick = [this](TObject *s) { FormShow(s); };
    CbKind->OnChange = [this](TObject *s) { FormShow(s); };
    ChMark->OnClick = [this](TObject *s) { ChMarkClick(s); };
    ChTrans->OnClick = [this](TObject *s) { ChMarkClick(s); };
    ChMark->OnMouseDown = [this](TObject *s, TMouseButton b, TShiftState sh, int x, int y) {
        ChMarkMouseDown(s, b, sh, x, y);
    };
    ButExtend->OnClick = [this](TObject *s) { ButExtendClick(s); };
}

void TFormRst::BuildCondPanel()
{
    PanCond = new TPanel(this, U("PanCond"));
    PanCond->SetAlign(TAlign::alTop);
    PanCond->SetHeight(53);
    ChItm1 = CondBox(PanCond, "ChItm1", 2, 4, 240);
    ChItm2 = CondBox(PanCond, "ChItm2", 245, 4, 240);
    ChItm3 = CondBox(PanCond, "ChItm3", 488, 4, 240);
    ChItm2->SetVisible(false);
    ChItm3->SetVisible(false);
    ChAcc = CondBox(PanCond, "ChAcc", 2, 28, 290);
    ChPers = CondBox(PanCond, "ChPers", 322, 28, 190);
    ChFirm = CondBox(PanCond, "ChFirm", 542, 28, 190);
    // The selection buttons: name, place, Tag, hint.
    struct TPick {
        TSpeedButton *&Button;
        const char *Name;
        int Left, Top, Tag;
        const char *Hint;
    };
    const TPick picks[] = {{But_Itm, "But_Itm", 731, 3, 1, "Выбрать статью..."},
                           {But_Acc, "But_Acc", 294, 27, 2, "Выбрать счёт (или группу) ..."},
                           {But_Pers, "But_Pers", 514, 27, 3, "Выбрать человека..."},
                           {But_Firm, "But_Firm", 734, 27, 4, "Выбрать фирму..."}};
    for (const TPick &p : picks) {
        p.Button = SpeedButton(PanCond, p.Name, QStringLiteral("..."), p.Left, p.Top, 22);
        p.Button->SetTag(p.Tag);
        p.Button->SetHint(U(p.Hint));
    }

    for (TCheckBox *b : {ChItm1, ChItm2, ChItm3})
        b->OnClick = [this](TObject *s) { ChItm1Click(s); };
    for (TCheckBox *b : {ChAcc, ChPers, ChFirm})
        b->OnClick = [this](TObject *s) { FormShow(s); };
    for (TCheckBox *b : {ChItm1, ChItm2, ChItm3, ChAcc, ChPers, ChFirm})
        b->OnContextPopup = [this, b](TObject *, QPoint, bool &Handled) {
            ToggleIncludeExclude(b);
            Handled = true;
        };
    for (TSpeedButton *b : {But_Itm, But_Acc, But_Pers, But_Firm})
        b->OnClick = [this](TObject *s) { But_ItmClick(s); };

    PanCond->OnResize = [this](TObject *s) { PanCondResize(s); };
}

// ---- showing and closing ------------------------------------------------------------

void TFormRst::ShowPeriodCaptions()
{
    ButDate1->SetCaption(FormatDateTime(U("dd.mm.yyyy"), Period.FromDate));
    ButDate2->SetCaption(FormatDateTime(U("dd.mm.yyyy"), Period.ToDate));
    const int k = std::clamp(Period.Kind, 1, 6) - 1;
    ButPer->SetCaption(U(PeriodNames[k]).left(1));
}

void TFormRst::FormShow(TObject *Sender)
{
    ShowPeriodCaptions();
    if (StartNode) {
        SetCategoryConditions(StartNode);
        StartNode = nullptr;
        TcGrp->SetTabIndex(1);
    } else if (TcGrp->TabIndex() == 1 && ContactMode) {
        ContactMode = false;
        TCheckBox *box = ButFirm->Down() ? ChFirm : ButPers->Down() ? ChPers : nullptr;
        if (box && !box->Checked()) {
            Updating = true;
            box->SetChecked(true);
            Updating = false;
        }
    } else if (Sender == ButItm || Sender == ButAcc || Sender == ButPers || Sender == ButFirm) {
        TcGrp->SetTabIndex(0);
    }
    // A changed box or button always rebuilds the totals, also after an
    // empty result (whose query stays open and would keep the old view).
    if (Sender && Sender != this)
        Qres.Close();
    TcGrpChange(this);
    try {
        if (TcGrp->TabIndex() == 0)
            DBGRes->SetFocus();
        else if (TcGrp->TabIndex() == 1)
            DBGTab->SetFocus();
    } catch (const Exception &) {
        // Only the focus: a hidden grid cannot take it, and the figures stay.
    }
    if (TcGrp->TabIndex() == 2)
        CbarsClick(this);
    SetChartValueColumn(main_.Res_Diag + 1);
    ContactMode = false;
}

void TFormRst::FormClose(TObject *, TCloseAction &)
{
    TFormMain &m = main_;
    m.Res_Max = WindowState() == TWindowState::wsMaximized;
    // A maximised window keeps the bounds it had before: written now they
    // would be the screen's, and the window would come back screen-sized
    // when restored at the next opening (the other analysis windows do the same).
    if (!m.Res_Max) {
        m.Res_Left = Left();
        m.Res_Top = Top();
        m.Res_Width = Width();
        m.Res_Height = Height();
    }
    m.Res_Wdt = PanGrTb->Width();
    m.Res_Stat = PanResBar->Width();
    m.Res_Bar = PgChart->ActivePage() == ShBar;
    m.Res_Legend = ChLegPie->Checked();
    m.Res_LegBar = ChLegBar->Checked();
    m.Res_Bars = Cbars->ItemIndex();
    m.Res_Dyn = CbDyn->ItemIndex();
    m.Res_Day = CbDay->ItemIndex();
    m.Res_Ord = mpSortDt->Checked() ? 1 : mpSortCt->Checked() ? 2 : mpSortRs->Checked() ? 3 : 0;
    m.Res_Diag = mpChRs->Checked() ? 2 : mpChDt->Checked() ? 0 : 1;
    m.Res_Desc = (TabRes.SortOptions() & mtcoDescending) != 0;
    m.ApplyColumnLayout(DBGTab, false, m.Col_Rst);
    if (TabRes.Active()) {
        TabRes.EmptyTable();
        TabRes.Close();
    }
    ClearDynamics();
}

void TFormRst::FormKeyDown(TObject *, WORD &Key, TShiftState Shift)
{
    const bool ctrl = Shift == TShiftState{ssCtrl};
    const bool shift = Shift == TShiftState{ssShift};
    if (ctrl && Key >= '1' && Key <= '6') {
        SetPeriodKind(Key - '0');
        Key = 0;
    } else if (shift && (Key == VK_F3 || Key == VK_F4)) {
        if (ButDt1->Visible())
            ApplyPeriod(Key == VK_F3 ? -1 : 0);
        Key = 0;
    } else if (Shift == TShiftState{} && Key >= VK_F4 && Key <= VK_F6) {
        TcGrp->SetTabIndex(Key - VK_F4);
        TcGrpChange(this);
        Key = 0;
    } else if (Shift == TShiftState{} && Key == VK_ESCAPE) {
        Close();
        Key = 0;
    } else if (Shift == TShiftState{} && Key == VK_F9) {
        Key = 0;
        main_.mCalcClick(this);
    }
}

void TFormRst::TcGrpChange(TObject *)
{
    const int tab = TcGrp->TabIndex();
    PanGrp->SetVisible(tab == 0);
    PanDet->SetVisible(tab == 1);
    PanDyn->SetVisible(tab == 2);
    if (tab == 0) {
        if (!Qres.Active())
            RefreshResults();
    } else if (tab == 1) {
        RefreshResults();
        try {
            DBGTab->SetFocus();
        } catch (const Exception &) {
            // Only the focus: a hidden grid cannot take it, and the figures stay.
        }
    } else if (tab == 2) {
        CbDynClick(this);
        CbarsClick(this);
    }
}

// ---- period ---------------------------------------------------------------------------

void TFormRst::LoadDateRange()
{
    try {
        QDateRange.Close();
        QDateRange.Open();
        TField *first = QDateRange.Fields()[0];
        TField *last = QDateRange.Fields()[1];
        if (!first->IsNull() && !last->IsNull()) {
            Period.FirstDate = first->AsDateTime();
            Period.LastDate = last->AsDateTime();
            Period.FromDate = Period.FirstDate;
            Period.ToDate = Period.LastDate;
            ShowPeriodCaptions();
        }
        QDateRange.Close();
    } catch (const Exception &e) {
        // The period stays as it was; the user learns that it is not the
        // data's whole range.
        QDateRange.Close();
        ReadFailed(e);
    }
}

void TFormRst::SetPeriodKind(int Kind)
{
    RstSetPeriodKind(Period, Kind, main_.EntryDate, Today());
    ApplyPeriod(1);
}

void TFormRst::ApplyPeriod(int Step)
{
    if (Period.Kind == rpWhole && Period.FirstDate == 0)
        LoadDateRange();
    RstApplyPeriod(Period, Step, main_.EntryDate, Today());
    ButDt1->SetVisible(Period.Kind > rpWhole);
    ButDt2->SetVisible(Period.Kind > rpWhole);
    ShowPeriodCaptions();
    RefreshResults();
}

void TFormRst::ButDt1Click(TObject *Sender)
{
    if (auto *b = dynamic_cast<TSpeedButton *>(Sender))
        ApplyPeriod(b->Tag() == 2 ? -1 : 0);
}

void TFormRst::ButDate1Click(TObject *Sender)
{
    auto *b = dynamic_cast<TButton *>(Sender);
    if (!b)
        return;
    TDateTime &date = b->Tag() == 1 ? Period.FromDate : Period.ToDate;
    if (date == 0)
        return;
    const TDateTime chosen = main_.AskDate(date);
    if (chosen > -1000000 && chosen != date) {
        date = chosen;
        ShowPeriodCaptions();
        RefreshResults();
    }
}

// ---- the queries ----------------------------------------------------------------------

TRstDistribution TFormRst::Distribution() const
{
    if (ButAcc->Down())
        return TRstDistribution::Accounts;
    if (ButPers->Down())
        return TRstDistribution::Persons;
    if (ButFirm->Down())
        return TRstDistribution::Firms;
    return TRstDistribution::Items;
}

TRstConditions TFormRst::Conditions()
{
    TRstConditions c;
    c.Distribution = Distribution();
    const auto box = [](const TCheckBox *b) {
        return TRstBox{b->Checked(), Excluded(b), int(b->Tag()), b->Caption()};
    };
    c.Itm1 = box(ChItm1);
    c.Itm2 = box(ChItm2);
    c.Itm3 = box(ChItm3);
    c.Acc = box(ChAcc);
    c.Pers = box(ChPers);
    c.Firm = box(ChFirm);
    c.AccGroup = PanCond->Tag() != 0;
    if (c.AccGroup && c.Acc.Ticked) {
        TQuery &q = main_.Dm->Qtemp;
        try {
            q.Close();
            q.SQL() = QStringList{U("Select id_account from tb_account where not A is null")};
            q.Open();
            for (q.First(); !q.Eof(); q.Next())
                c.GroupAccounts.push_back(q.Fields()[0]->AsInteger());
        } catch (...) {
            // Totals of a group without its accounts would be wrong: the
            // caller takes the figures off and tells the user.
            q.Close();
            throw;
        }
        q.Close();
    }
    FormFilt->ReadConditions(c);
    c.Kind = CbKind->ItemIndex() < 0 ? 0 : CbKind->ItemIndex();
    c.Mark = ChMark->Checked();
    c.MarkTag = int(ChMark->Tag());
    c.Trans = ChTrans->Checked();
    return c;
}

void TFormRst::RefreshResults()
{
    if (Updating)
        return;
    THourGlass busy;
    TabRes.DisableControls();
    try {
        if (TabRes.Active())
            TabRes.EmptyTable();
        Qres.Close();
        sql_ = BuildRstSql(Conditions());
        if (PanCond->Tag() != 0 && ChAcc->Checked() && !sql_.AccCaption.isEmpty())
            ChAcc->SetCaption(sql_.AccCaption);
        ButExtend->SetCaption(sql_.ExtendCaption);
        ButExtend->SetHint(sql_.ExtendHint);
        QString label = sql_.CorrAccounts ? U("Корр. счета") : ButItm->Caption();
        if (ButAcc->Down())
            label = ButAcc->Caption();
        else if (ButPers->Down())
            label = ButPers->Caption();
        else if (ButFirm->Down())
            label = ButFirm->Caption();
        TabRes.FieldByName(U("nm"))->SetDisplayLabel(label);
        DBGRes->Columns()[0]->SetTitleCaption(label);
        ApplyRstConditions(Qres, TRstQueryKind::Res, sql_, Period.FromDate, Period.ToDate);
        if (TcGrp->TabIndex() == 0)
            FillTabRes();

        // The list keeps its ordering line.
        const QString order = QhsQuery.SQL().isEmpty() ? QString() : QhsQuery.SQL().last();
        QhsQuery.DisableControls();
        ApplyRstConditions(QhsQuery, TRstQueryKind::Hs, sql_, Period.FromDate, Period.ToDate, order);
        if (TcGrp->TabIndex() == 1) {
            try {
                LoadNames();
                QhsQuery.Open();
            } catch (...) {
                QhsQuery.EnableControls();
                throw;
            }
        }
        QhsQuery.EnableControls();
        // A list closed and reopened under disabled controls tells its data
        // source of no change: the commands and the popup follow it here.
        DataHsDataChange(&DataHs, nullptr);
        ApplyRstConditions(Qsm, TRstQueryKind::Sm, sql_, Period.FromDate, Period.ToDate);
        ApplyRstConditions(QBegSum, TRstQueryKind::BegSum, sql_, 0, Period.FromDate - 1);
        ClearDynamics();
        ApplyRstConditions(Qday, TRstQueryKind::Day, sql_, Period.FromDate, Period.ToDate);
        ApplyRstConditions(Qmn, TRstQueryKind::Mn, sql_, Period.FromDate, Period.ToDate);
        ApplyRstConditions(Qyr, TRstQueryKind::Yr, sql_, Period.FromDate, Period.ToDate);
        if (TcGrp->TabIndex() == 2)
            FillDynamicsOfUnit();
        try {
            if (TabRes.Active()) {
                TabRes.Sort();
                TabRes.First();
            }
        } catch (const Exception &) {
            // Only the order and the position: the rows and figures stay.
        }
    } catch (const Exception &e) {
        // No figure of a part of the rows: the totals, the list and the
        // dynamics are taken off and the user is told.
        if (TabRes.Active())
            TabRes.EmptyTable();
        TabRes.EnableControls();
        Qres.Close();
        QhsQuery.Close();
        ClearDynamics();
        ShowTotals();
        for (int i = 0; i < 3; ++i) // no total of 0 in place of one not read
            SbRes->SetPanelText(i, QString());
        ReadFailed(e);
        return;
    } catch (...) {
        TabRes.EnableControls();
        throw;
    }
    TabRes.EnableControls();
    ShowTotals();
    DataResDataChange(&DataRes, nullptr);
}

// ---- the launcher ------------------------------------------------------------------

void OpenResults(TFormMain &Main, TTreeNode *Node, bool ContactMode)
{
    if (!Main.PostAllTables())
        return; // totals without the pending edit would not match the ledger
    auto form = std::make_unique<TFormRst>(Main);
    TFormRst &f = *form;
    const int index = Main.CbPer->ItemIndex() < 0 ? 0 : Main.CbPer->ItemIndex();
    f.Period.Kind = index + 1;
    if (TField *date = f.Qhs().FindField(U("date_real")))
        date->SetDisplayFormat(Main.Dm->Tb_Hist.FieldByName(U("Date_Real"))->DisplayFormat());
    for (const char *name : {"qdt", "qct"})
        if (auto *fl = dynamic_cast<TFloatField *>(f.Qhs().FindField(U(name))))
            fl->SetDisplayFormat(Main.QntFormat);
    if (auto *fl = dynamic_cast<TFloatField *>(f.Qhs().FindField(U("price"))))
        fl->SetDisplayFormat(Main.PrcFormat);
    if (auto *fl = dynamic_cast<TFloatField *>(f.Qhs().FindField(U("rate"))))
        fl->SetDisplayFormat(Main.RteFormat);
    f.StartNode = Node;
    f.Period.FromDate = Main.PeriodBegin;
    f.Period.ToDate = Main.PeriodEnd;
    if (Main.PeriodBegin == Main.AllBegin && Main.PeriodEnd == Main.AllEnd)
        f.Period.FromDate = f.Period.ToDate = Date();
    f.ButDt1->SetVisible(index > 0);
    f.ButDt2->SetVisible(index > 0);
    if (index == 0)
        f.LoadDateRange();
    if (!Main.Col_Rst.isEmpty())
        Main.ApplyColumnLayout(f.DBGTab, true, Main.Col_Rst);
    f.ContactMode = ContactMode;
    if (ContactMode) {
        const bool firm = Main.Pg->ActivePage() == Main.ShFirm;
        TTable &t = firm ? Main.Dm->Tb_Firm : Main.Dm->Tb_Person;
        TCheckBox *box = firm ? f.ChFirm : f.ChPers;
        if (t.Active() && !t.IsEmpty()) {
            box->SetCaption(t.FieldByName(firm ? U("FIRM") : U("NAME"))->AsString());
            box->SetTag(t.FieldByName(firm ? U("ID_FIRM") : U("ID_PERSON"))->AsInteger());
        }
        (firm ? f.ButFirm : f.ButPers)->SetDown(true);
        f.TcGrp->SetTabIndex(1);
    }
    try {
        f.ShowModal();
    } catch (const Exception &e) {
        // The window ended on a failure its own handlers did not report.
        ShowNotice(e.Message(), false);
    }
}

} // namespace zorbel
