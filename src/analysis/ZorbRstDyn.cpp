// The results window's dynamics (tab 2): the table TabDyn of one row per
// day, week, month or year (rows computed in ZorbRstDynCalc), shown as a line
// chart, a bar chart or a grid; one value kind charted at a time; the chart
// printed on a page of its own, the table through its printout, and saved.
//
//   +--PanCh------------------------------------------------+
//   | [CbDyn: Расход v] [CbDay: Дни v] [Cbars: Линия v] [Печать] |
//   +--PanChHost: DBCh | DBChD | DBGDyn (one shown)---------+
#include "analysis/ZorbRst.h"

#include "analysis/ZorbRstDynCalc.h"
#include "analysis/ZorbRstPrint.h"
#include "core/TulnDlg.h"
#include "core/ZorbMain.h"
#include "core/ZorbText.h"
#include "platform/dataset/Fields.h"

namespace zorbel {

namespace {

// The views of the view box.
enum TDynView : int { dvLine = 0, dvBars = 1, dvTable = 2 };

// The line chart's colour and the bar chart's (8404992 as the BGR value it is).
const QColor DynLineColor(0, 128, 0);
const QColor DynBarColor(0, 64, 128);

} // namespace

void TFormRst::BuildDynPanel()
{
    PanDyn = new TPanel(TcGrp, U("PanDyn"));
    PanDyn->SetAlign(TAlign::alClient);
    PanDyn->SetVisible(false);
    PanCh = new TPanel(PanDyn, U("PanCh"));
    PanCh->SetAlign(TAlign::alTop);
    PanCh->SetHeight(31);
    const auto combo = [this](const char *Name, int Left, int Width, std::initializer_list<QString> Items) {
        auto *c = new TComboBox(PanCh, U(Name));
        c->SetStyle(TComboBoxStyle::csDropDownList);
        for (const QString &i : Items)
            c->Items().Add(i);
        c->SetBounds(Left, 4, Width, 23);
        c->SetItemIndex(0);
        return c;
    };
    CbDyn = combo("CbDyn", 4, 120, {});
    for (const TDynKind &k : DynKinds)
        CbDyn->Items().Add(U(k.Caption));
    CbDyn->SetItemIndex(0);
    CbDay = combo("CbDay", 128, 100, {DynUnitName(0), DynUnitName(1), DynUnitName(2), DynUnitName(3), DynUnitName(4)});
    Cbars = combo("Cbars", 232, 100, {U("Линия"), U("Столбцы"), U("Таблица")});
    ButPrnCh = new TSpeedButton(PanCh, U("ButPrnCh"));
    ButPrnCh->SetCaption(U("Печать"));
    ButPrnCh->SetHint(U("Печать..."));
    ButPrnCh->SetBounds(338, 4, 70, 23);

    auto *host = new TPanel(PanDyn, U("PanChHost"));
    host->SetAlign(TAlign::alClient);
    DBCh = new TDBChart(host);
    DBCh->setObjectName(U("DBCh"));
    DBChD = new TDBChart(host);
    DBChD->setObjectName(U("DBChD"));
    host->OnResize = [this, host](TObject *) {
        for (TDBChart *c : {DBCh, DBChD})
            c->setGeometry(host->Widget()->contentsRect());
    };
    DBGDyn = new TDBGrid(host, U("DBGDyn"));
    DBGDyn->SetAlign(TAlign::alClient);
    DBGDyn->SetReadOnly(true);
    DBGDyn->SetTag(1);
    DBGDyn->SetOptions({dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs, dgRowSelect,
                        dgAlwaysShowSelection});
    DBGDyn->SetDataSource(&DataDyn);
    // Every field but the hidden weekend mark, titled by the fields' labels.
    for (const char *f : {"vr", "dt", "ct", "bal", "rest", "price", "dty", "cty", "baly", "resty", "pricey", "rate",
                          "qdt", "qct"})
        DBGDyn->Columns().Add()->SetFieldName(U(f));
    DBGDyn->Columns()[0]->SetAlignment(taCenter);

    TChartSeries &line = DBCh->AddSeries(TChartKind::Line);
    line.SeriesColor = DynLineColor;
    line.PenWidth = 2;
    TChartSeries &bars = DBChD->AddSeries(TChartKind::Bar);
    bars.SeriesColor = DynBarColor;
    bars.BarWidthPercent = 20;
    for (TChartSeries *s : {&line, &bars}) {
        s->ValueFormat = U("0.##");
        s->SetLabelField(U("vr"));
        s->SetValueField(U(DynKinds[0].Field));
    }

    PmDyn = new TPopupMenu(this, U("PmDyn"));
    pmSaveDyn = PmDyn->Add(U("pmSaveDyn"), U("Со&хранить в файл..."));
    pmPrintDyn = PmDyn->Add(U("pmPrintDyn"), U("&Печать с предварительным просмотром..."));
    DBGDyn->SetPopupMenu(PmDyn);

    // The remembered choices of the three boxes.
    const auto restore = [](TComboBox *Box, int Index) {
        Box->SetItemIndex(Index >= 0 && Index < Box->Items().Count() ? Index : 0);
    };
    restore(Cbars, main_.Res_Bars);
    restore(CbDyn, main_.Res_Dyn);
    restore(CbDay, main_.Res_Day);

    CbDyn->OnClick = [this](TObject *s) { CbDynClick(s); };
    CbDay->OnClick = [this](TObject *s) { CbDynClick(s); };
    Cbars->OnClick = [this](TObject *s) { CbarsClick(s); };
    ButPrnCh->OnClick = [this](TObject *s) { ButPrnChClick(s); };
    DBCh->OnDblClick = [this] { DBChDDblClick(); };
    DBChD->OnDblClick = [this] { DBChDDblClick(); };
    DBGDyn->OnDrawColumnCell = [this](TObject *, const QRect &r, int col, TColumn *c, TGridDrawState st) {
        main_.PaintGridCell(DBGDyn, st, c);
        DBGDyn->DefaultDrawColumnCell(r, col, c, st);
    };
    PmDyn->OnPopup = [this](TObject *s) { PmDynPopup(s); };
    pmSaveDyn->OnClick = [this](TObject *s) { pmSaveDynClick(s); };
    pmPrintDyn->OnClick = [this](TObject *s) { pmPrintDynClick(s); };
}

// ---- choosing kind, unit and view ---------------------------------------------------

void TFormRst::ClearDynamics()
{
    if (TabDyn.Active()) {
        TabDyn.EmptyTable();
        TabDyn.Close();
    }
}

void TFormRst::CbDynClick(TObject *)
{
    Repaint();
    if (CbDay->ItemIndex() == duCenturies) {
        ShowNotice(U("Шутка!"), false);
        CbDay->SetItemIndex(duYears);
    }
    const int unit = std::clamp(CbDay->ItemIndex(), 0, int(duYears));
    if (TabDyn.Active())
        TabDyn.FieldByName(U("vr"))->SetDisplayLabel(DynUnitName(unit));
    const int kind = std::clamp(CbDyn->ItemIndex(), 0, int(DynKinds.size()) - 1);
    DynFilter = DynFilterText(kind);
    ApplyDynamicsView();
    for (TDBChart *c : {DBCh, DBChD})
        c->Series(0).SetValueField(U(DynKinds[size_t(kind)].Field));
    ApplyDynamicsView();
    const TQuery &source = unit == duMonths ? Qmn : unit == duYears ? Qyr : Qday;
    if (!source.Active())
        RefreshResults();
    for (TDBChart *c : {DBCh, DBChD}) {
        TChartSeries &s = c->Series(0);
        if (s.DataSource() != &TabDyn) {
            s.SetDataSource(nullptr);
            s.SetDataSource(&TabDyn);
            s.SetLabelField(U("vr"));
        }
    }
    if (!TabDyn.Active())
        RefreshResults();
    RefreshCharts({DBCh, DBChD});
}

void TFormRst::CbarsClick(TObject *)
{
    Repaint();
    const int view = Cbars->ItemIndex();
    DBCh->setVisible(view == dvLine);
    DBChD->setVisible(view == dvBars);
    DBGDyn->SetVisible(view == dvTable);
    ApplyDynamicsView();
    RefreshCharts({DBCh, DBChD});
}

void TFormRst::ApplyDynamicsView()
{
    // The filter text names the periods without the charted value; the
    // table is not filtered by it, so no period is hidden in any view.
    const bool table = Cbars->ItemIndex() == dvTable;
    try {
        if (table && !TabDyn.Filter().isEmpty())
            TabDyn.SetFilterText(QString());
        else if (!table && TabDyn.Filter() != DynFilter)
            TabDyn.SetFilterText(DynFilter);
    } catch (const Exception &) {
        // The filter the program writes only hides periods without the
        // charted value; without it they show, and no figure changes.
    }
    CbDyn->SetVisible(!table);
}

// ---- filling ------------------------------------------------------------------------

void TFormRst::FillDynamicsOfUnit()
{
    try {
        switch (CbDay->ItemIndex()) {
        case duDays: FillDynamics(0); break;
        case duWeeks: FillWeeks(); break;
        case duMonths: FillDynamics(2); break;
        case duYears: FillDynamics(1); break;
        default: break;
        }
    } catch (const Exception &e) {
        // Dynamics of a part of the periods, or from a wrong opening, would
        // mislead: the table is emptied and the user told.
        if (TabDyn.Active())
            TabDyn.EmptyTable();
        ReadFailed(e);
    }
}

TDynSource TFormRst::DynamicsSource(TQuery &Query, int Unit)
{
    // The grouped query when the engine adds up the rows as it reads them
    // (days over the date index); else the operations folded in memory, and
    // the grouped query only when the fold meets a value it does not model.
    Query.Close();
    if (!GroupsWithoutSort(Query))
        if (std::optional<TDynSource> folded = FoldDynSource(main_.Dm->Db, sql_, Unit, Period.FromDate, Period.ToDate))
            return std::move(*folded);
    Query.Open();
    TDynSource rows = ReadDynSource(Query, Unit);
    Query.Close();
    return rows;
}

void TFormRst::FillDynamics(int Unit)
{
    TQuery &source = Unit == 1 ? Qyr : Unit == 2 ? Qmn : Qday;
    const int rowUnit = Unit == 1 ? duYears : Unit == 2 ? duMonths : duDays;
    TabDyn.DisableControls();
    try {
        OpenDynTable(TabDyn, DynUnitName(rowUnit));
        const TRstOpening o = ComputeOpeningBalances();
        FillDynamicRows(DynamicsSource(source, rowUnit), rowUnit, {o.Amount, o.Common}, TabDyn);
    } catch (...) {
        TabDyn.EnableControls();
        source.Close();
        throw;
    }
    TabDyn.EnableControls();
    source.Close();
}

void TFormRst::FillWeeks()
{
    TabDyn.DisableControls();
    DataDyn.SetDataSet(nullptr);
    const auto done = [this] {
        DataDyn.SetDataSet(&TabDyn);
        Qday.Close();
        TabDyn.EnableControls();
    };
    try {
        OpenDynTable(TabDyn, DynUnitName(duWeeks));
        const TRstOpening o = ComputeOpeningBalances();
        FillWeekRows(DynamicsSource(Qday, duDays), {o.Amount, o.Common}, TabDyn);
    } catch (...) {
        done();
        throw;
    }
    done();
}

// ---- print, marks, popup, save ---------------------------------------------------------

void TFormRst::ButPrnChClick(TObject *Sender)
{
    if (Cbars->ItemIndex() == dvTable) {
        pmPrintDynClick(Sender);
        return;
    }
    if (!PrinterSetup || !PrinterSetup())
        return;
    TDBChart *chart = Cbars->ItemIndex() == dvBars ? DBChD : DBCh;
    chart->SetTitle(CbDyn->Text() + QString(6, u' ') + CbDay->Text());
    PrintChartOnPrinter(*chart);
    DBCh->SetTitle(QString());
    DBChD->SetTitle(QString());
}

void TFormRst::DBChDDblClick()
{
    TChartSeries &line = DBCh->Series(0);
    line.SetMarksStyle(TMarksStyle::Value);
    line.SetMarksVisible(!line.MarksVisible());
    TChartSeries &bars = DBChD->Series(0);
    bars.SetMarksStyle(TMarksStyle::Value);
    bars.SetMarksVisible(line.MarksVisible());
}

void TFormRst::PmDynPopup(TObject *)
{
    const bool any = TabDyn.Active() && TabDyn.RecordCount() > 0;
    pmSaveDyn->SetEnabled(any);
    if (any)
        pmSaveDyn->SetCaption(U("Со&хранить ") + CountText(TabDyn.RecordCount(), U("строку"), U("строки"), U("строк")) +
                              U(" в файл... "));
    pmPrintDyn->SetEnabled(any);
}

void TFormRst::pmSaveDynClick(TObject *) { main_.SaveGridToFile(DBGDyn); }

void TFormRst::pmPrintDynClick(TObject *)
{
    if (!TabDyn.Active())
        return;
    PrintDyn({&TabDyn, std::clamp(CbDay->ItemIndex(), 0, int(duYears))});
}

} // namespace zorbel
