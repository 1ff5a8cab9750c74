// The monthly balances window (see ZorbRest.h).
#include "analysis/ZorbRest.h"

#include "analysis/ZorbAnalysisForms.h"
#include "analysis/ZorbRestCalc.h"
#include "core/TulnDlg.h"
#include "core/ZorbDm.h"
#include "core/ZorbMain.h"
#include "core/ZorbText.h"
#include "platform/canvas/Printers.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/FormatSettings.h"

#include <QEvent>
#include <QVBoxLayout>

namespace zorbel {

namespace {

// The chart's four series: title, value field, colour (as the class library
// writes colours: $BBGGRR).
struct TRestSeries {
    const char *Title, *Field;
    TColor Color;
};
constexpr TRestSeries kSeries[] = {
    {"Остатки", "Rest", clNavy}, {"Балансы", "Bn", 14401864}, {"Приходы", "Dt", 20224}, {"Расходы", "Ct", 8499315}};

TComboBox *Combo(QWidget *parent, const char *name, const QStringList &items, int left, int width,
                 TComboBoxStyle style = TComboBoxStyle::csDropDownList)
{
    auto *c = new TComboBox(parent, QString::fromLatin1(name));
    c->SetStyle(style);
    for (const QString &item : items)
        c->Items().Add(item);
    c->SetBounds(left, 4, width, 22);
    return c;
}

TCheckBox *Check(QWidget *parent, const char *name, const QString &caption, int left, int width)
{
    auto *c = new TCheckBox(parent, QString::fromLatin1(name));
    c->SetCaption(caption);
    c->SetBounds(left, 7, width, 17);
    return c;
}

// A year-table grid showing the year, the twelve months of one value and its sum.
TDBGrid *YearGrid(QWidget *parent, const char *name, TDataSource *source, const QString &yearTitle,
                  const QString &prefix, const QString &sumField)
{
    auto *g = new TDBGrid(parent, QString::fromLatin1(name));
    g->SetReadOnly(true);
    g->SetOptions({dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs, dgRowSelect,
                   dgAlwaysShowSelection});
    g->SetDataSource(source);
    TColumn *year = g->Columns().Add();
    year->SetFieldName(QStringLiteral("Yr"));
    year->SetTitleCaption(yearTitle);
    year->SetColor(clBtnFace);
    year->SetWidth(50);
    for (int i = 1; i <= 12; ++i) {
        TColumn *c = g->Columns().Add();
        c->SetFieldName(prefix + QString::number(i));
        c->SetTitleCaption(FormatSettings().LongMonthNames[i - 1]);
        c->SetWidth(80);
    }
    TColumn *sum = g->Columns().Add();
    sum->SetFieldName(sumField);
    sum->SetColor(clInfoBk);
    sum->SetFontColor(clMaroon);
    sum->SetWidth(95);
    g->OnDrawColumnCell = [g](TObject *, const QRect &r, int c, TColumn *col, TGridDrawState st) {
        // The year and the sum stand out in bold.
        if (col->FieldName() == QStringLiteral("Yr") || col->FieldName().startsWith(QStringLiteral("Sm")))
            g->Canvas().Font.setBold(true);
        g->DefaultDrawColumnCell(r, c, col, st);
    };
    return g;
}

} // namespace

// Double click on the chart toggles the value marks; the wheel over it is
// swallowed, so nothing scrolls.
class TFormRest::TChartMouse : public QObject {
public:
    explicit TChartMouse(TFormRest &form) : form_(form) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick) {
            form_.DBCRestDblClick();
            return true;
        }
        return event->type() == QEvent::Wheel;
    }

private:
    TFormRest &form_;
};

TFormRest::TFormRest(TFormMain &Main) : main_(Main)
{
    SetName(QStringLiteral("FormRest"));
    SetCaption(U("Остатки, Сводки..."));
    SetKeyPreview(true);
    SetBounds(Main.Bal_Left, Main.Bal_Top, Main.Bal_Width, Main.Bal_Height);

    PanTop = new TPanel(this, QStringLiteral("PanTop"));
    PanTop->SetAlign(TAlign::alTop);
    PanTop->SetHeight(31);
    CbAcc = Combo(PanTop, "CbAcc", {U("Текущий счёт"), U("Счета с этой валютой")}, 4, 150);
    CbSel = Combo(PanTop, "CbSel", {U("Остатки"), U("Остатки и Балансы"), U("Приходы и Расходы"), U("Таблицы")},
                  158, 165);
    ChTrans = Check(PanTop, "ChTrans", QString(), 329, 18);
    ChTrans->SetHint(U("Исключить Переводы"));
    PanFilter = new TPanel(PanTop, QStringLiteral("PanFilter"));
    PanFilter->SetBevelOuter(TBevelCut::bvNone);
    PanFilter->SetBounds(351, 0, 200, 31);
    CbEqv = Combo(PanFilter, "CbEqv", {QStringLiteral(">"), QStringLiteral("="), QStringLiteral("<")}, 2, 40);
    CbYr = Combo(PanFilter, "CbYr", {}, 46, 70, TComboBoxStyle::csDropDown);
    CbYr->SetHint(U("Год"));
    ButPrn = TopButton(PanFilter, "ButPrn", U("Печать"), U("Печать графиков..."), 122, 60);
    PanTables = new TPanel(PanTop, QStringLiteral("PanTables"));
    PanTables->SetBevelOuter(TBevelCut::bvNone);
    PanTables->SetBounds(351, 0, 200, 31);
    ChDt = Check(PanTables, "ChDt", U("Прих."), 2, 60);
    ChCt = Check(PanTables, "ChCt", U("Расх."), 64, 60);
    ChBal = Check(PanTables, "ChBal", U("Бал."), 126, 60);
    ButExport = TopButton(PanTop, "ButExport", QString(), U("Сохранить в файл..."), 555);
    ButExport->SetGlyph(SaveGlyph());

    OpenRestTables(TbRest, TbY);
    PanChart = new TPanel(this, QStringLiteral("PanChart"));
    PanChart->SetAlign(TAlign::alClient);
    PanChart->SetBevelOuter(TBevelCut::bvNone);
    auto *layout = new QVBoxLayout(PanChart);
    layout->setContentsMargins(0, 0, 0, 0);
    chartMouse_ = std::make_unique<TChartMouse>(*this);
    BuildChart(0);

    PanGrids = new TPanel(this, QStringLiteral("PanGrids"));
    PanGrids->SetAlign(TAlign::alClient);
    PanGrids->SetBevelOuter(TBevelCut::bvNone);
    DBGRs = YearGrid(PanGrids, "DBGRs", &DataY, U("Остатки"), QStringLiteral("Rs"), QStringLiteral("SmRs"));
    DBGRs->SetAlign(TAlign::alClient);
    DBGBn = YearGrid(PanGrids, "DBGBn", &DataY, U("Балансы"), QStringLiteral("Bn"), QStringLiteral("SmBn"));
    DBGCt = YearGrid(PanGrids, "DBGCt", &DataY, U("Расходы"), QStringLiteral("Ct"), QStringLiteral("SmCt"));
    DBGDt = YearGrid(PanGrids, "DBGDt", &DataY, U("Приходы"), QStringLiteral("Dt"), QStringLiteral("SmDt"));
    for (TDBGrid *g : {DBGBn, DBGCt, DBGDt}) {
        g->SetVisible(false);
        g->SetHeight(110);
    }
    for (TDBGrid *g : {DBGRs, DBGBn, DBGCt, DBGDt})
        TakeLedgerFonts(Main, g);
    DBG = new TDBGrid(this, QStringLiteral("DBG"));
    DBG->SetVisible(false);

    CbAcc->OnClick = [this](TObject *) { ComputeMonthlyBalances(); };
    ChTrans->OnClick = [this](TObject *) {
        ChTrans->SetColor(ChTrans->Checked() ? TColor(255) : PanTop->Color());
        ComputeMonthlyBalances();
    };
    CbEqv->OnClick = [this](TObject *s) { CbEqvClick(s); };
    CbYr->OnClick = [this](TObject *s) { CbEqvClick(s); };
    CbYr->OnChange = [this](TObject *s) { CbEqvClick(s); };
    CbSel->OnClick = [this](TObject *s) { CbSelClick(s); };
    for (TCheckBox *c : {ChDt, ChCt, ChBal})
        c->OnClick = [this](TObject *s) { ChDtClick(s); };
    ButPrn->OnClick = [this](TObject *s) { ButPrnClick(s); };
    ButExport->OnClick = [this](TObject *s) { ButExportClick(s); };
    OnKeyDown = [this](TObject *, WORD &Key, TShiftState) {
        if (Key == VK_ESCAPE)
            Close();
    };
    OnShow = [this](TObject *) {
        shown_ = true;
        ChBal->SetChecked(main_.RestDt & 1);
        ChCt->SetChecked(main_.RestDt & 2);
        ChDt->SetChecked(main_.RestDt & 4);
        ComputeMonthlyBalances();
        CbSelClick(this);
    };
    OnClose = [this](TObject *, TCloseAction &) {
        main_.Bal_Left = Left();
        main_.Bal_Top = Top();
        main_.Bal_Width = Width();
        main_.Bal_Height = Height();
        main_.RestDt = (ChBal->Checked() ? 1 : 0) + (ChCt->Checked() ? 2 : 0) + (ChDt->Checked() ? 4 : 0);
        for (TVemtMemTable *t : {&TbRest, &TbY})
            if (t->Active()) {
                t->EmptyTable();
                t->Close();
            }
    };
    // The printer set-up chooses the printer or the PDF file (with paper and
    // orientation): a page set-up alone would print into whatever file an
    // earlier print had named.
    ExecutePrinterSetup = [this](TPrinter &) { return RunChartPrintDialog(this); };
    DoCreate();
}

TFormRest::~TFormRest()
{
    UnbindChart();
    for (TDBGrid *g : {DBGRs, DBGBn, DBGCt, DBGDt, DBG})
        g->SetDataSource(nullptr);
    DoDestroy();
}

void TFormRest::ComputeMonthlyBalances()
{
    if (!shown_)
        return; // the launcher's presets come before the first computation
    const QString year = CbYr->Text();
    CbYr->Items().Clear();
    TbRest.SetFiltered(false);
    QStringList years;
    {
        TbRest.DisableControls();
        TbY.DisableControls();
        struct TEnable {
            TVemtMemTable &a, &b;
            ~TEnable()
            {
                a.EnableControls();
                b.EnableControls();
            }
        } enable{TbRest, TbY};
        years = zorbel::ComputeMonthlyBalances(main_.Dm->Db,
                                               CurrentAccountScope(main_, CbAcc->ItemIndex() == 1, ChTrans->Checked()),
                                               CurrentAccountBeg(main_), TbRest, TbY, &main_.Dm->HistSums);
    }
    for (const QString &y : years)
        CbYr->Items().Add(y);
    const int at = CbYr->Items().IndexOf(year);
    CbYr->SetItemIndex(at >= 0 ? at : years.isEmpty() ? -1 : 0);
    if (!CbYr->Text().isEmpty())
        ApplyYearFilter();
    DBCRest->RefreshData();
}

void TFormRest::ApplyYearFilter()
{
    // A year that is no number shows every month rather than failing.
    bool number = false;
    const int year = CbYr->Text().trimmed().toInt(&number);
    try {
        TbRest.SetFilterText(number ? QStringLiteral("y ") + CbEqv->Text() + u' ' + QString::number(year) : QString());
        TbRest.SetFiltered(number);
    } catch (const Exception &) {
        TbRest.SetFiltered(false);
    }
}

void TFormRest::CbEqvClick(TObject *)
{
    if (!shown_)
        return;
    ApplyYearFilter();
    DBCRest->RefreshData();
}

void TFormRest::UnbindChart()
{
    for (int i = 0; i < DBCRest->SeriesCount(); ++i)
        DBCRest->Series(i).SetDataSource(nullptr);
}

void TFormRest::BuildChart(int Selection)
{
    // The chart holds only the series the selection shows: 0 the balances,
    // 1 the balances and the differences, 2 the incomes and the expenses.
    if (DBCRest) {
        UnbindChart();
        delete DBCRest;
    }
    DBCRest = new TDBChart(PanChart);
    PanChart->layout()->addWidget(DBCRest);
    const int first = Selection == 2 ? 2 : 0, last = Selection == 0 ? 0 : Selection == 1 ? 1 : 3;
    for (int i = first; i <= last; ++i) {
        TChartSeries &series = DBCRest->AddSeries(TChartKind::Bar);
        series.Title = U(kSeries[i].Title);
        series.SeriesColor = ColorToQColor(kSeries[i].Color);
        series.SetLabelField(QStringLiteral("Per"));
        series.SetValueField(QString::fromLatin1(kSeries[i].Field));
        series.SetDataSource(&TbRest);
        series.BarWidthPercent = 30;
    }
    DBCRest->SetLegendVisible(false);
    DBCRest->installEventFilter(chartMouse_.get());
    for (QWidget *child : DBCRest->findChildren<QWidget *>())
        child->installEventFilter(chartMouse_.get());
    chartSelection_ = Selection;
    DBCRest->RefreshData();
}

void TFormRest::CbSelClick(TObject *)
{
    const int sel = CbSel->ItemIndex();
    const bool tables = sel == 3;
    PanFilter->SetVisible(!tables);
    PanTables->SetVisible(tables);
    PanChart->SetVisible(!tables);
    PanGrids->SetVisible(tables);
    if (!tables && sel != chartSelection_)
        BuildChart(std::max(sel, 0));
    ChDtClick(this);
}

void TFormRest::ChDtClick(TObject *)
{
    for (TDBGrid *g : {DBGBn, DBGCt, DBGDt})
        g->SetVisible(false);
    // Each ticked table docks at the top, the later ones above the earlier.
    const std::pair<TCheckBox *, TDBGrid *> shown[] = {{ChBal, DBGBn}, {ChCt, DBGCt}, {ChDt, DBGDt}};
    for (const auto &[box, grid] : shown)
        if (box->Checked()) {
            grid->SetAlign(TAlign::alNone);
            grid->SetTop(0);
            grid->SetAlign(TAlign::alTop);
            grid->SetVisible(true);
        }
}

void TFormRest::DBCRestDblClick()
{
    for (int i = 0; i < DBCRest->SeriesCount(); ++i)
        DBCRest->Series(i).SetMarksVisible(!DBCRest->Series(i).MarksVisible());
}

void TFormRest::ButPrnClick(TObject *)
{
    TPrinter &printer = Printer();
    if (!ExecutePrinterSetup || !ExecutePrinterSetup(printer))
        return;
    DBCRest->SetTitle(CbSel->Text() + QStringLiteral("    ") + CbEqv->Text() + u' ' + CbYr->Text());
    PrintChartOnPrinter(*DBCRest);
    DBCRest->SetTitle(QString());
}

void TFormRest::ButExportClick(TObject *)
{
    TVemtMemTable &source = CbSel->ItemIndex() == 3 ? TbY : TbRest;
    if (!source.Active() || source.IsEmpty())
        return;
    DataExport.SetDataSet(&source);
    DBG->SetDataSource(&DataExport);
    const bool filtered = source.Filtered();
    struct TRestore {
        TFormRest &f;
        TVemtMemTable &s;
        bool filtered;
        ~TRestore()
        {
            s.SetFiltered(filtered);
            f.DBG->SetDataSource(nullptr);
            f.DataExport.SetDataSet(nullptr);
        }
    } restore{*this, source, filtered};
    source.SetFiltered(false); // every year is written
    main_.SaveGridToFile(DBG);
}

void OpenBalancesWindow(TFormMain &Main)
{
    TFormRest form(Main);
    auto index = [](int stored, int count) { return stored >= 0 && stored < count ? stored : 0; };
    form.CbAcc->SetItemIndex(index(Main.BalCur, 2));
    form.CbSel->SetItemIndex(index(Main.BalSel, 4));
    form.CbEqv->SetItemIndex(index(Main.BalEqv, 3));
    if (Main.BalYear > 0) {
        form.CbYr->Items().Add(QString::number(Main.BalYear));
        form.CbYr->SetItemIndex(0);
    }
    form.ShowModal();
    Main.BalCur = form.CbAcc->ItemIndex();
    Main.BalSel = form.CbSel->ItemIndex();
    Main.BalEqv = form.CbEqv->ItemIndex();
    bool number = false;
    const int year = form.CbYr->Text().trimmed().toInt(&number);
    Main.BalYear = number ? year : 2000;
}

} // namespace zorbel
