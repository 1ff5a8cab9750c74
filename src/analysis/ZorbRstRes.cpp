// The results window's grouped totals (tab 0): the memory table TabRes filled
// from the grouped query, three units, sorting, output limits, the totals
// bar, the pie and bar charts, the opening balances and the summary.
//
// TabRes fields (the unit offset of a value column is its index minus 2):
//   0 id  1 nm  2 sdt 3 sct 4 amt | 5 sdr 6 scr 7 amr | 8 sdq 9 scq 10 amq  11 cur 12 rst
#include "analysis/ZorbFilt.h"
#include "analysis/ZorbRst.h"

#include "core/TulnDlg.h"
#include "core/ZorbMain.h"
#include "core/ZorbMarks.h"
#include "core/ZorbText.h"
#include "platform/canvas/Printers.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"
#include "platform/rtl/StrUtils.h"

#include <cmath>

namespace zorbel {

namespace {

constexpr int ValueBase = 2; // index of sdt

QString Pad(const QString &Text, int Width)
{
    return Text.size() >= Width ? Text : QString(Width - Text.size(), u' ') + Text;
}

QString Money(const QString &Mask, int64_t Units)
{
    return FormatFloat(Mask, UnitsToMoney(Units));
}

// Closes a query when the scope ends, also when a read in it failed, so the
// next use reads afresh. The queries closed so have no close events.
class TCloseOnExit {
public:
    explicit TCloseOnExit(TDataSet &DataSet) : dataSet_(DataSet) {}
    ~TCloseOnExit() { dataSet_.Close(); }
    TCloseOnExit(const TCloseOnExit &) = delete;
    TCloseOnExit &operator=(const TCloseOnExit &) = delete;

private:
    TDataSet &dataSet_;
};

} // namespace

void TFormRst::DefineTabRes()
{
    struct TDef {
        const char *Name;
        TFieldType Type;
        int Size;
        const char *Label;
    };
    static constexpr TDef defs[] = {
        {"id", ftSmallint, 0, ""},         {"nm", ftString, 30, ""},        {"sdt", ftFloat, 0, "Приход"},
        {"sct", ftFloat, 0, "Расход"},     {"amt", ftFloat, 0, "Результат"}, {"sdr", ftFloat, 0, "+ у.е."},
        {"scr", ftFloat, 0, "- у.е."},     {"amr", ftFloat, 0, "Результат"}, {"sdq", ftFloat, 0, "+ Кол."},
        {"scq", ftFloat, 0, "- Кол."},     {"amq", ftFloat, 0, "Результат"}, {"cur", ftString, 3, ""},
        {"rst", ftFloat, 0, ""},
    };
    TabRes.SetName(U("TabRes"));
    for (const TDef &d : defs)
        TabRes.FieldDefs().Add(U(d.Name), d.Type, d.Size);
    TabRes.SetFiltered(true);
    // The fields are made on every opening: labels and formats with them.
    TabRes.AfterOpen = [this](TDataSet *) {
        for (const TDef &d : defs) {
            TField *f = TabRes.FieldByName(U(d.Name));
            f->SetDisplayLabel(U(d.Label));
            // Amounts are 12 digits wide, as in the list and the dynamics: a
            // total in the millions keeps its leading digit.
            f->SetDisplayWidth(d.Type == ftFloat ? 12 : 11);
            if (auto *fl = dynamic_cast<TFloatField *>(f))
                fl->SetDisplayFormat(d.Name[2] == 'q' ? main_.QntFormat : U("#,##0.00"));
        }
        for (const char *hidden : {"id", "cur", "rst"})
            TabRes.FieldByName(U(hidden))->SetVisible(false);
        try {
            TabRes.Sort();
        } catch (const Exception &) {
            // Only the order: the rows and every figure stay as filled.
        }
    };
}

void TFormRst::BuildResPanel()
{
    PanGrp = new TPanel(TcGrp, U("PanGrp"));
    PanGrp->SetAlign(TAlign::alClient);
    PanGrTb = new TPanel(PanGrp, U("PanGrTb"));
    PanGrTb->SetAlign(TAlign::alLeft);
    PanGrTb->SetWidth(440);
    auto *bottom = new TPanel(PanGrTb, U("PanResBottom"));
    bottom->SetAlign(TAlign::alBottom);
    bottom->SetHeight(26);
    PanResBar = new TPanel(bottom, U("PanResBar"));
    PanResBar->SetAlign(TAlign::alLeft);
    PanResBar->SetWidth(40);
    ButFiltSum = new TButton(PanResBar, U("ButFiltSum"));
    ButFiltSum->SetCaption(QStringLiteral("- - -"));
    ButFiltSum->SetHint(U("Ограничения вывода..."));
    ButFiltSum->SetAlign(TAlign::alClient);
    PanRes = new TPanel(bottom, U("PanRes"));
    PanRes->SetAlign(TAlign::alClient);
    SbRes = new TStatusBar(PanRes, U("SbRes"));
    SbRes->SetAlign(TAlign::alClient);
    // In, out and result, right-aligned: a third of the totals' width each
    // (SbResResize), then a narrow one.
    for (int i = 0; i < 3; ++i) {
        SbRes->AddPanel((440 - 40) / 3 - 6);
        SbRes->SetPanelAlignment(i, TAlignment::taRightJustify);
    }
    SbRes->AddPanel(18);
    DBGRes = new TDBGrid(PanGrTb, U("DBGRes"));
    DBGRes->SetAlign(TAlign::alClient);
    DBGRes->SetReadOnly(true);
    DBGRes->SetDataSource(&DataRes);
    // The value columns take the width of their fields in the grid's font,
    // so a larger font chosen in the settings widens them with it.
    for (const char *f : {"nm", "sdt", "sct", "amt"}) {
        TColumn *c = DBGRes->Columns().Add();
        c->SetFieldName(U(f));
        if (f[0] == 'n')
            c->SetWidth(162);
        c->Title().Alignment = taCenter;
    }
    QFont bold = DBGRes->TitleFont();
    bold.setBold(true);
    DBGRes->SetTitleFont(bold);

    auto *split = new TSplitter(PanGrp, U("SplitRes"));
    split->SetAlign(TAlign::alLeft);
    PgChart = new TPageControl(PanGrp, U("PgChart"));
    PgChart->SetAlign(TAlign::alClient);
    ShPie = new TTabSheet(PgChart, U("ShPie"));
    ShPie->SetTabVisible(false);
    ShBar = new TTabSheet(PgChart, U("ShBar"));
    ShBar->SetTabVisible(false);
    const auto chartPage = [](TTabSheet *Sheet, TDBChart *&Chart, TCheckBox *&Legend, TSpeedButton *&Print,
                                  const char *Suffix, int Tag) {
        auto *bar = new TPanel(Sheet, U("PanChart") + U(Suffix));
        bar->SetAlign(TAlign::alTop);
        bar->SetHeight(28);
        Legend = new TCheckBox(bar, U("ChLeg") + U(Suffix));
        Legend->SetCaption(U("Легенда"));
        Legend->SetBounds(60, 4, 80, 20);
        Print = new TSpeedButton(bar, U("ButPrn") + U(Suffix));
        Print->SetCaption(U("Печать"));
        Print->SetHint(U("Печать диаграммы..."));
        Print->SetTag(Tag);
        Print->SetBounds(146, 2, 60, 23);
        Chart = new TDBChart(Sheet);
        Chart->setObjectName(U("DBCh") + U(Suffix));
        auto *host = new TPanel(Sheet, U("PanHost") + U(Suffix));
        host->SetAlign(TAlign::alClient);
        Chart->setParent(host);
        host->OnResize = [Chart, host](TObject *) { Chart->setGeometry(host->Widget()->contentsRect()); };
        return bar;
    };
    TPanel *pieBar = chartPage(ShPie, DBChPie, ChLegPie, ButPrnPie, "Pie", 1);
    TPanel *barBar = chartPage(ShBar, DBChBar, ChLegBar, ButPrnBar, "Bar", 2);
    ButBar = SpeedButton2(pieBar, "ButBar", U("Бары"), 1);
    ButPie = SpeedButton2(barBar, "ButPie", U("Круг"), 0);
    UdZoom = new TUpDown(pieBar, U("UdZoom"));
    UdZoom->SetHint(U("Масштаб"));
    UdZoom->SetMin(1);
    UdZoom->SetMax(200);
    UdZoom->SetPosition(100);
    UdZoom->SetBounds(212, 2, 18, 23);
    UdRot = new TUpDown(pieBar, U("UdRot"));
    UdRot->SetHint(U("Поворот"));
    UdRot->SetMin(0);
    UdRot->SetMax(360);
    UdRot->SetIncrement(5);
    UdRot->SetBounds(234, 2, 18, 23);

    TChartSeries &pie = DBChPie->AddSeries(TChartKind::Pie);
    TChartSeries &bars = DBChBar->AddSeries(TChartKind::Bar);
    for (TChartSeries *s : {&pie, &bars}) {
        s->SetLabelField(U("nm"));
        s->SetValueField(U("sct"));
        s->ValueFormat = U("0.00");
        s->PercentFormat = U("##0%");
        s->SetDataSource(&TabRes);
    }
    bars.ColorEachPoint = true;
    DBChPie->SetDeferWhileHidden(true);
    DBChBar->SetDeferWhileHidden(true);

    DBGRes->OnTitleClick = [this](TObject *s, TColumn *c) { DBGResTitleClick(s, c); };
    DBGRes->OnDblClick = [this](TObject *s) { DBGResDblClick(s); };
    DBGRes->OnKeyPress = [this](TObject *s, QChar &k) {
        if (k == u'\r') {
            DBGResDblClick(s);
            k = QChar();
        }
    };
    DataRes.OnDataChange = [this](TDataSource *s, TField *f) { DataResDataChange(s, f); };
    ButFiltSum->OnClick = [this](TObject *s) { mpFiltClick(s); };
    SbRes->OnClick = [this](TObject *s) { SbResClick(s); };
    SbRes->OnResize = [this](TObject *s) { SbResResize(s); };
    ButBar->OnClick = [this](TObject *s) { ButBarClick(s); };
    ButPie->OnClick = [this](TObject *s) { ButBarClick(s); };
    ChLegPie->OnClick = [this](TObject *) { DBChPie->SetLegendVisible(ChLegPie->Checked()); };
    ChLegBar->OnClick = [this](TObject *) { DBChBar->SetLegendVisible(ChLegBar->Checked()); };
    UdZoom->OnClick = [this](TObject *, TUDBtnType) { DBChPie->SetZoom(UdZoom->Position()); };
    UdRot->OnClick = [this](TObject *, TUDBtnType) { DBChPie->Series(0).SetRotationAngle(UdRot->Position()); };
    DBChPie->OnClick = [this] { DBChPieClick(); };
    DBChBar->OnClick = [this] { DBChBarClick(); };
    ButPrnPie->OnClick = [this](TObject *s) { ButPrnPieClick(s); };
    ButPrnBar->OnClick = [this](TObject *s) { ButPrnPieClick(s); };
}

TSpeedButton *TFormRst::SpeedButton2(QWidget *Parent, const char *Name, const QString &Caption, int Tag)
{
    auto *b = new TSpeedButton(Parent, U(Name));
    b->SetCaption(Caption);
    b->SetHint(U("Вид диаграммы"));
    b->SetTag(Tag);
    b->SetBounds(4, 2, 52, 23);
    return b;
}

// ---- filling ------------------------------------------------------------------

const QString RstReadFailedText = U("Не удалось прочитать данные: итоги не показаны.\n");


void TFormRst::ReadFailed(const Exception &E) { ShowNotice(RstReadFailedText + E.Message(), false); }

void TFormRst::RefreshCharts(std::initializer_list<TDBChart *> Charts)
{
    try {
        for (TDBChart *c : Charts)
            c->RefreshData();
    } catch (const Exception &e) {
        for (TDBChart *c : Charts) {
            for (int i = 0; i < c->SeriesCount(); ++i)
                c->Series(i).Clear();
            c->Rebuild();
        }
        ReadFailed(e);
    }
}

void TFormRst::LoadNames()
{
    TQuery &q = main_.Dm->Qtemp;
    const auto load = [&q](const char *Sql, QHash<int, QString> &Names, QHash<int, QString> *Extra = nullptr,
                           QHash<int, double> *Rest = nullptr) {
        Names.clear();
        // A failure goes on to the caller: an account missing here would
        // show a balance of 0.
        TCloseOnExit closing(q);
        q.Close();
        q.SQL() = QStringList{QString::fromLatin1(Sql)};
        q.Open();
        for (q.First(); !q.Eof(); q.Next()) {
            const int id = q.Fields()[0]->AsInteger();
            Names.insert(id, q.Fields()[1]->AsString());
            if (Extra)
                Extra->insert(id, q.Fields()[2]->AsString());
            if (Rest)
                Rest->insert(id, q.Fields()[3]->AsFloat());
        }
    };
    accountCurrency_.clear();
    accountRest_.clear();
    load("select id_itm, itm from tb_items", itemNames_);
    load("select id_account, account, currency, rest from tb_account", accountNames_, &accountCurrency_,
         &accountRest_);
    load("select id_person, name from tb_person", personNames_);
    load("select id_firm, firm from tb_firm", firmNames_);
}

void TFormRst::ShowAccountBoxRest()
{
    if (!restBoxAccount_ || PanCond->Tag() != 0 || ChAcc->Tag() != *restBoxAccount_)
        return;
    TQuery &q = main_.Dm->Qtemp;
    TCloseOnExit closing(q);
    q.Close();
    q.SQL() = QStringList{U("select account, rest, currency from tb_account where id_account=:id")};
    q.ParamByName(U("id"))->SetAsSmallInt(*restBoxAccount_);
    q.Open();
    if (!q.IsEmpty())
        SetAccountBox(*restBoxAccount_, q.Fields()[0]->AsString(), q.Fields()[1]->AsFloat(), q.Fields()[2]->AsString());
}

void TFormRst::FillTabRes()
{
    // The period's operations added up per group in memory; the grouped
    // query, which sorts them by their group first, only when the pass
    // meets a value it does not add up as the engine does.
    TRstTotals rows;
    if (std::optional<TRstTotals> folded = FoldRstTotals(main_.Dm->Db, sql_, Period.FromDate, Period.ToDate)) {
        rows = std::move(*folded);
    } else {
        TCloseOnExit closing(Qres);
        Qres.Open();
        rows = ReadRstTotals(Qres);
    }
    if (rows.empty())
        return;
    LoadNames();
    const QHash<int, QString> &names = sql_.Lookup == TRstLookup::Accounts ? accountNames_
                                       : sql_.Lookup == TRstLookup::Persons ? personNames_
                                       : sql_.Lookup == TRstLookup::Firms   ? firmNames_
                                                                            : itemNames_;
    const bool accounts = sql_.Lookup == TRstLookup::Accounts && !sql_.CorrAccounts;
    static const char *const sums[] = {"sdt", "sct", "sdr", "scr", "sdq", "scq"};
    std::array<TField *, 6> out{};
    for (size_t i = 0; i < 6; ++i)
        out[i] = TabRes.FieldByName(U(sums[i]));
    TField *nm = TabRes.FieldByName(U("nm"));
    TField *rid = TabRes.FieldByName(U("id"));
    TField *results[] = {TabRes.FieldByName(U("amt")), TabRes.FieldByName(U("amr")), TabRes.FieldByName(U("amq"))};
    for (const TRstTotalRow &row : rows) {
        bool allNull = !row.Id;
        for (const std::optional<double> &v : row.Sums)
            allNull = allNull && !v;
        if (allNull)
            continue;
        try {
            TabRes.Append();
            if (row.Id) {
                rid->SetAsInteger(*row.Id);
                nm->SetAsString(names.value(*row.Id));
            }
            std::array<int64_t, 6> units{};
            for (size_t i = 0; i < 6; ++i) {
                units[i] = MoneyToUnits(row.Sums[i].value_or(0));
                if (row.Sums[i])
                    out[i]->SetAsFloat(UnitsToMoney(units[i]));
            }
            for (size_t k = 0; k < 3; ++k)
                results[k]->SetAsFloat(UnitsToMoney(units[2 * k] - units[2 * k + 1]));
            if (accounts && row.Id) {
                TabRes.FieldByName(U("cur"))->SetAsString(accountCurrency_.value(*row.Id));
                TabRes.FieldByName(U("rst"))->SetAsFloat(accountRest_.value(*row.Id));
            }
            TabRes.Post();
        } catch (...) {
            // A total without this row would be wrong: the caller takes the
            // table off and tells the user.
            TabRes.Cancel();
            throw;
        }
    }
}

// ---- totals -------------------------------------------------------------------

int TFormRst::Unit() const
{
    return mpYE->Checked() ? 1 : mpQuant->Checked() ? 2 : 0;
}

int TFormRst::ChartColumn() const
{
    return mpChDt->Checked() ? 1 : mpChRs->Checked() ? 3 : 2;
}

std::array<int64_t, 3> TFormRst::VisibleSums(int *Rows)
{
    std::array<int64_t, 3> sums{};
    int rows = 0;
    if (TabRes.Active()) {
        const int base = ValueBase + 3 * Unit();
        TField *f[3] = {TabRes.Fields()[base], TabRes.Fields()[base + 1], TabRes.Fields()[base + 2]};
        const TBookmark mark = TabRes.Bookmark();
        TabRes.DisableControls();
        for (TabRes.First(); !TabRes.Eof(); TabRes.Next()) {
            for (int i = 0; i < 3; ++i)
                sums[size_t(i)] += MoneyToUnits(f[i]->AsFloat());
            ++rows;
        }
        try {
            if (!mark.isEmpty())
                TabRes.GotoBookmark(mark);
        } catch (const Exception &) {
            // The row went away: the position stays at the end; the sums are whole.
        }
        TabRes.EnableControls();
    }
    if (Rows)
        *Rows = rows;
    return sums;
}

void TFormRst::SbResResize(TObject *)
{
    const int third = SbRes->Width() / 3 - 6;
    for (int i = 0; i < 3; ++i)
        SbRes->SetPanelWidth(i, third);
    SbRes->SetPanelWidth(3, 18);
}

// The totals are whole at any font chosen in the settings: when a third of
// the bar is too narrow for the widest of them, the totals pane widens (its
// bar with it) rather than a panel cutting digits or running past the bar.
void TFormRst::FitTotalsPane()
{
    int need = 0;
    for (int i = 0; i < 3; ++i)
        need = std::max(need, SbRes->TextPanelWidth(SbRes->PanelText(i)));
    // The bar is the pane less the filter button and the bevels around it.
    const int bevels = 6;
    const int pane = PanResBar->Width() + bevels + 3 * (need + 6);
    if (PanGrTb->Width() < pane)
        PanGrTb->SetWidth(pane);
}

void TFormRst::ShowTotals()
{
    for (int i = 0; i < 3; ++i)
        SbRes->SetPanelText(i, QString());
    PanRes->SetHint(QString());
    if (TabRes.Active()) {
        int rows = 0;
        const auto sums = VisibleSums(&rows);
        for (int i = 0; i < 3; ++i)
            SbRes->SetPanelText(i, Money(U("#,##0.00"), sums[size_t(i)]).trimmed());
        PanRes->SetHint(U("Всего строк: ") + QString::number(rows));
        FitTotalsPane();
    }
    RefreshCharts({DBChPie, DBChBar});
}

// ---- sorting and units --------------------------------------------------------

void TFormRst::SortTabRes(const QString &Field)
{
    if (Field.compare(TabRes.SortFields(), Qt::CaseInsensitive) != 0)
        TabRes.SetSortFields(Field);
    else
        TabRes.SetSortOptions((TabRes.SortOptions() & mtcoDescending) ? 0u : unsigned(mtcoDescending));
    try {
        TabRes.Sort();
    } catch (const Exception &) {
        // Only the order: the rows and every figure stay as filled.
    }
    RefreshCharts({DBChPie, DBChBar});
}

void TFormRst::ColourSortColumn(int Index)
{
    for (int i = 0; i < DBGRes->Columns().Count(); ++i)
        DBGRes->Columns()[i]->SetColor(i == Index ? RstSortColor : clDefault);
}

void TFormRst::DBGResTitleClick(TObject *, TColumn *Column)
{
    if (!Column || !TabRes.Active())
        return;
    const QString name = Column->FieldName();
    TMenuItem *item = name == u"nm"              ? mpSortNm
                      : name.contains(U("sd")) ? mpSortDt
                      : name.contains(U("sc")) ? mpSortCt
                                                 : mpSortRs;
    item->SetChecked(true);
    SortTabRes(name);
    ColourSortColumn(Column->Index());
}

void TFormRst::mpSortNmClick(TObject *Sender)
{
    auto *item = dynamic_cast<TMenuItem *>(Sender);
    if (!item || !TabRes.Active())
        return;
    item->SetChecked(true);
    const int tag = int(item->Tag());
    SortTabRes(tag == 0 ? U("nm") : TabRes.Fields()[tag + 3 * Unit() + 1]->FieldName());
}

void TFormRst::mpCurClick(TObject *Sender)
{
    if (auto *item = dynamic_cast<TMenuItem *>(Sender))
        item->SetChecked(true);
    const int base = ValueBase + 3 * Unit();
    for (int i = 1; i <= 3; ++i)
        DBGRes->Columns()[i]->SetFieldName(TabRes.Fields()[base + i - 1]->FieldName());
    SetChartValueColumn(ChartColumn());
    const int ord = main_.Res_Ord >= 0 && main_.Res_Ord <= 3 ? main_.Res_Ord : 0;
    const QString field = DBGRes->Columns()[ord]->FieldName();
    if (field.compare(TabRes.SortFields(), Qt::CaseInsensitive) != 0 && TabRes.Active()) {
        TabRes.SetSortFields(field);
        try {
            TabRes.Sort();
        } catch (const Exception &) {
            // Only the order: the rows and every figure stay as filled.
        }
        ColourSortColumn(ord);
    }
    ShowTotals();
}

void TFormRst::SetChartValueColumn(int N)
{
    if (N < 1 || N > 3)
        return;
    const QString field = TabRes.Fields()[ValueBase + 3 * Unit() + N - 1]->FieldName();
    if (field != DBChPie->Series(0).ValueField()) {
        DBChPie->Series(0).SetValueField(field);
        DBChBar->Series(0).SetValueField(field);
        RefreshCharts({DBChPie, DBChBar});
    }
    for (int i = 1; i <= 3; ++i)
        DBGRes->Columns()[i]->SetTitleFontColor(i == N ? clBlue : DBGRes->TitleFontColor());
}

void TFormRst::mpChCtClick(TObject *Sender)
{
    auto *item = dynamic_cast<TMenuItem *>(Sender);
    if (!item)
        return;
    item->SetChecked(true);
    main_.Res_Diag = mpChRs->Checked() ? 2 : mpChDt->Checked() ? 0 : 1;
    SetChartValueColumn(int(item->Tag()));
}

// ---- output limits --------------------------------------------------------------

void TFormRst::mpFiltClick(TObject *)
{
    TFormFilt &f = *FormFilt;
    f.LimitsMode = true;
    f.RbDt->SetChecked(mpChDt->Checked());
    f.RbCt->SetChecked(mpChCt->Checked());
    f.RbRs->SetChecked(mpChRs->Checked());
    f.CbTab->SetItemIndex(Unit());
    if (f.ShowModal() != mrOk)
        return;
    TMenuItem *units[] = {mpCur, mpYE, mpQuant};
    mpCurClick(units[std::clamp(f.CbTab->ItemIndex(), 0, 2)]);
    TMenuItem *chart = f.RbDt->Checked() ? mpChDt : f.RbRs->Checked() ? mpChRs : mpChCt;
    chart->SetChecked(true);
    SetChartValueColumn(ChartColumn());
    const int base = ValueBase + 3 * Unit();
    const QStringList fields = {TabRes.Fields()[base]->FieldName(), TabRes.Fields()[base + 1]->FieldName(),
                                TabRes.Fields()[base + 2]->FieldName()};
    QString marks;
    const QString text = f.LimitFilter(fields, marks);
    try {
        TabRes.SetFilterText(text);
        ButFiltSum->SetCaption(marks);
    } catch (const Exception &) {
        // A threshold the table cannot read: no limits, and the caption says so.
        TabRes.SetFilterText(QString());
        ButFiltSum->SetCaption(QStringLiteral("- - -"));
        ShowNotice(U("Ограничение не принято: ") + text, false);
    }
    ShowTotals();
}

void TFormRst::mpDelRsClick(TObject *)
{
    if (!TabRes.Active() || TabRes.IsEmpty())
        return;
    TabRes.Delete();
    ShowTotals();
}

// ---- charts -----------------------------------------------------------------------

void TFormRst::ButBarClick(TObject *Sender)
{
    if (auto *b = dynamic_cast<TControl *>(Sender))
        PgChart->SetActivePage(b->Tag() == 1 ? ShBar : ShPie);
}

void TFormRst::DBChPieClick()
{
    TChartSeries &s = DBChPie->Series(0);
    if (!s.MarksVisible()) {
        s.SetMarksStyle(TMarksStyle::Label);
        s.SetMarksVisible(true);
    } else if (s.MarksStyle() == TMarksStyle::Label)
        s.SetMarksStyle(TMarksStyle::LabelPercent);
    else if (s.MarksStyle() == TMarksStyle::LabelPercent)
        s.SetMarksStyle(TMarksStyle::LabelValue);
    else
        s.SetMarksVisible(false);
}

void TFormRst::DBChBarClick()
{
    TChartSeries &s = DBChBar->Series(0);
    if (!s.MarksVisible()) {
        s.SetMarksStyle(TMarksStyle::Percent);
        s.SetMarksVisible(true);
    } else if (s.MarksStyle() == TMarksStyle::Percent)
        s.SetMarksStyle(TMarksStyle::Label);
    else if (s.MarksStyle() == TMarksStyle::Label)
        s.SetMarksStyle(TMarksStyle::LabelPercent);
    else if (s.MarksStyle() == TMarksStyle::LabelPercent)
        s.SetMarksStyle(TMarksStyle::LabelValue);
    else
        s.SetMarksVisible(false);
}

void TFormRst::ButPrnPieClick(TObject *Sender)
{
    auto *b = dynamic_cast<TControl *>(Sender);
    if (!b || !PrinterSetup || !PrinterSetup())
        return;
    try {
        TPrinter &p = Printer();
        const bool landscape = p.Device().pageLayout().orientation() == QPageLayout::Landscape;
        if (!(b->Tag() == 2 ? DBChBar : DBChPie)->Print(p, landscape))
            ShowNotice(ChartPrintFailedText + ChartNotPrintedReason, false);
    } catch (const Exception &e) {
        ShowNotice(ChartPrintFailedText + e.Message(), false);
    }
}

// ---- opening balances and the summary ----------------------------------------------

TRstOpening TFormRst::ComputeOpeningBalances()
{
    TRstOpening o;
    TQuery &q = main_.Dm->Qtemp;
    // The accounts the conditions select: the one account or the group when
    // the box is ticked and included, the others when it excludes, all of
    // them when it is not ticked.
    const bool ticked = ChAcc->Checked();
    const bool exclude = Excluded(ChAcc);
    QString where;
    if (ticked && PanCond->Tag() != 0)
        where = exclude ? U(" where A is null") : U(" where not A is null");
    else if (ticked)
        where = exclude ? U(" where id_account<>:id") : U(" where id_account=:id");
    {
        TCloseOnExit closing(q);
        q.Close();
        q.SQL() = QStringList{U("Select Sum(Beg),Sum(Beg/Rate) from tb_account") + where};
        if (where.contains(u':'))
            q.ParamByName(U("id"))->SetAsInteger(int(ChAcc->Tag()));
        q.Open();
        o.Amount = MoneyToUnits(q.Fields()[0]->AsFloat());
        o.Common = MoneyToUnits(q.Fields()[1]->AsFloat());
    }
    TCloseOnExit closing(QBegSum);
    QBegSum.Close();
    QBegSum.Open();
    const auto f = [this](int i) { return MoneyToUnits(QBegSum.Fields()[i]->AsFloat()); };
    o.Amount += f(0) - f(1);
    o.Common += f(2) - f(3);
    o.Quantity += f(4) - f(5);
    return o;
}

QStringList TFormRst::SummaryLines()
{
    const TRstOpening o = ComputeOpeningBalances();
    const int unit = Unit();
    const int64_t start = unit == 0 ? o.Amount : unit == 1 ? o.Common : o.Quantity;
    int rows = 0;
    const auto sums = VisibleSums(&rows);
    const int64_t in = sums[0], out = sums[1];
    const int64_t rest = start + in - out;
    const auto title = [this](int i) { return DBGRes->Columns()[i]->TitleCaption(); };
    return {
        title(0) + U(" за период ") + FormatDateTime(U("dd.mm.yyyy"), Period.FromDate) + U(" - ") +
            FormatDateTime(U("dd.mm.yyyy"), Period.ToDate),
        QString(),
        U("Начало   = ") + Pad(Money(U("#,##0.00#"), start), 20),
        title(1) + U("   = ") + Pad(Money(U("#,##0.00"), in), 20),
        title(2) + U("   = ") + Pad(Money(U("#,##0.00"), out), 20),
        U("Остаток  = ") + Pad(Money(U("#,##0.00#"), rest), 20),
        QString(),
        U("Баланс   = ") + Pad(Money(U("#,##0.00"), in - out), 20),
        U("Строк    = ") + Pad(QString::number(rows), 17),
        QString(),
        U("Сегодня  ") + FormatDateTime(U("dd mmm yyyy  dddd"), Date()),
    };
}

void TFormRst::SbResClick(TObject *)
{
    if (!TabRes.Active() || TabRes.IsEmpty())
        return;
    QStringList lines;
    try {
        lines = SummaryLines();
    } catch (const Exception &e) {
        ReadFailed(e); // no summary with a wrong opening
        return;
    }
    TFormSum form;
    form.M->SetLines(lines);
    form.ShowModal();
}

} // namespace zorbel
