// TFormRst: "Итоги:   анализ, суммы, результаты, графики", the results and
// analysis window over the operations table. The user picks a period, a
// distribution (categories, accounts, persons, firms) and conditions; the
// window rebuilds its queries from them (ZorbRstQuery.h) and shows on the tab
// control TcGrp the grouped totals with a pie and a bar chart (tab 0), the
// list of matching operations (tab 1) and the dynamics (tab 2).
//
// Units: ZorbRst.cpp (life, layout, period, keys), ZorbRstCond.cpp (the
// condition boxes, drill-down, the conditions dialog), ZorbRstRes.cpp (the
// grouped totals, units, sorting, output limits, charts, opening balances,
// the summary), ZorbRstHist.cpp (the operations list and its commands),
// ZorbRstDyn.cpp (the dynamics: table, charts, print and save).
//
// The state of the condition boxes lives in the check boxes themselves
// (ticked, caption, Tag, colour = include or exclude) and in PanCond's Tag
// (the account group mode); Conditions() reads it into a TRstConditions for
// the query building. Updating breaks the cascade of click handlers: code
// that ticks boxes sets it, and RefreshResults and ChItm1Click do nothing
// while it is set.
#pragma once

#include "analysis/ZorbAnalysisForms.h"
#include "analysis/ZorbRstDynCalc.h"
#include "analysis/ZorbRstQuery.h"
#include "core/ZorbLaunch.h"
#include "memtable/VemtMemTable.h"
#include "platform/chart/Chart.h"
#include "platform/dataset/DataSource.h"
#include "platform/sqltable/Query.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/Menus.h"
#include "platform/widgets/StdCtrls.h"

#include <QHash>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace zorbel {

class TFormMain;
class TFormFilt;
class TTreeNode;
struct TRstTotalsPrint;
struct TRstHistPrint;

// The notice's first line when the window's figures cannot be read.
extern const QString RstReadFailedText;

// Include and exclude colours of a condition box.
constexpr TColor RstIncludeColor = clInfoBk;
constexpr TColor RstExcludeColor = 0xDBDBFF;
// The colour of the sorted column of the grouped totals.
constexpr TColor RstSortColor = 0xFFF9D7;

// Opening amounts before the period in 1/10000: in the accounts' currency,
// in the common unit, and the quantity.
struct TRstOpening {
    int64_t Amount = 0;
    int64_t Common = 0;
    int64_t Quantity = 0;
};

class TFormRst : public TForm, public TRstWindow {
    Q_OBJECT
public:
    explicit TFormRst(TFormMain &Main);
    ~TFormRst() override;

    // ---- state (set by the launcher before showing) ----
    TRstPeriod Period;            // PeriodKind, FromDate, ToDate, FirstDate, LastDate
    TTreeNode *StartNode = nullptr;
    bool ContactMode = false;
    bool Updating = false;
    QString HistOrder = QStringLiteral("date_real");

    // ---- controls ----
    TPanel *PanTop, *PanCond, *PanGrp, *PanGrTb, *PanResBar, *PanDet, *PanDetBut, *PanDyn, *PanRes;
    TTabControl *TcGrp;
    TButton *ButDate1, *ButDate2, *ButPer, *ButExtend;
    TSpeedButton *ButDt1, *ButDt2;
    TComboBox *CbKind;
    TSpeedButton *ButItm, *ButAcc, *ButPers, *ButFirm;
    TCheckBox *ChMark, *ChTrans;
    TCheckBox *ChItm1, *ChItm2, *ChItm3, *ChAcc, *ChPers, *ChFirm;
    TSpeedButton *But_Itm, *But_Acc, *But_Pers, *But_Firm;
    TDBGrid *DBGRes;
    TStatusBar *SbRes;
    TButton *ButFiltSum;
    TPageControl *PgChart;
    TTabSheet *ShPie, *ShBar;
    TDBChart *DBChPie, *DBChBar;
    TSpeedButton *ButPie, *ButBar, *ButPrnPie, *ButPrnBar;
    TCheckBox *ChLegPie, *ChLegBar;
    TUpDown *UdZoom, *UdRot;
    TDBGrid *DBGTab;
    TButton *ButSumHs, *ButPrh, *ButExport;
    TPopupMenu *PmPer, *PmRes, *PmHs;
    TMenuItem *mpSort, *mpSortNm, *mpSortDt, *mpSortCt, *mpSortRs;
    TMenuItem *mpTab, *mpCur, *mpYE, *mpQuant;
    TMenuItem *mpDiag, *mpChDt, *mpChCt, *mpChRs;
    TMenuItem *mpFilt, *mpDelRs, *mpRefreshRs, *mpPrint, *mpSave;
    TMenuItem *mHsEdit, *mpHsEdSum, *mHsDel, *mDelPlan, *mpHsGoTab, *mpSetMark, *mpShowMark, *mpHsSum, *mpHsPrint,
        *mpHsSave;

    // ---- data ----
    TQuery Qres, Qsm, QBegSum, Qday, Qmn, Qyr, QDateRange;
    TQuery QhsQuery; // the operations list, reached as Qhs()
    TVemtMemTable TabRes;
    TDataSource DataRes{&TabRes};
    TDataSource DataHs{&QhsQuery};
    std::unique_ptr<TFormFilt> FormFilt;

    // ---- the contract with core (ZorbLaunch.h) ----
    TQuery &Qhs() override { return QhsQuery; }
    void LoadDateRange() override;
    void SetPeriodKind(int Kind) override;

    // ---- life, period, keys (ZorbRst.cpp) ----
    void FormShow(TObject *Sender);
    void FormClose(TObject *Sender, TCloseAction &Action);
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void ApplyPeriod(int Step);
    void ButDate1Click(TObject *Sender);
    void ButDt1Click(TObject *Sender);
    void TcGrpChange(TObject *Sender);
    void ShowPeriodCaptions();
    // Rebuilds every query from the boxes and opens what the current tab shows.
    void RefreshResults();
    // Empties (when open) and closes the dynamics table of tab 2.
    void ClearDynamics();
    // Tells the user that figures could not be read (RstReadFailedText and
    // the failure's message); the caller has already taken them off.
    void ReadFailed(const Exception &E);
    // Redraws the charts from their tables; on a failure they are emptied
    // (no chart of a part of the rows) and the user is told.
    void RefreshCharts(std::initializer_list<TDBChart *> Charts);
    // The box state as the query building reads it (group accounts included).
    TRstConditions Conditions();
    TRstDistribution Distribution() const;

    // ---- condition boxes (ZorbRstCond.cpp) ----
    bool SetCategoryConditions(TTreeNode *Node);
    void ResetConditionBox(TCheckBox *Clear, TCheckBox *Tick);
    void ToggleIncludeExclude(TCheckBox *Box);
    static bool Excluded(const TCheckBox *Box) { return Box->Color() == RstExcludeColor; }
    void ChItm1Click(TObject *Sender);
    void But_ItmClick(TObject *Sender);
    void DataResDataChange(TDataSource *Sender, TField *Field);
    void DBGResDblClick(TObject *Sender);
    void ChMarkClick(TObject *Sender);
    void ChMarkMouseDown(TObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void PanCondResize(TObject *Sender);
    void ButExtendClick(TObject *Sender);
    // Fills a box from a chosen account (caption with rest and currency).
    void SetAccountBox(int Id, const QString &Name, double Rest, const QString &Currency);
    // The selection dialogs; tests replace them. Return the modal result.
    std::function<int(TFormRst &)> PickCategory, PickAccount, PickPerson, PickFirm;

    // ---- grouped totals (ZorbRstRes.cpp) ----
    int Unit() const;                 // 0 account currency, 1 common unit, 2 quantity
    int ChartColumn() const;          // 1 in, 2 out, 3 result
    void FillTabRes();
    void ShowTotals();
    void SetChartValueColumn(int N);
    void DBGResTitleClick(TObject *Sender, TColumn *Column);
    void mpSortNmClick(TObject *Sender);
    void mpCurClick(TObject *Sender);
    void mpChCtClick(TObject *Sender);
    void mpFiltClick(TObject *Sender);
    void mpDelRsClick(TObject *Sender);
    void SbResClick(TObject *Sender);
    void SbResResize(TObject *Sender);
    void FitTotalsPane();
    void ButBarClick(TObject *Sender);
    void DBChPieClick();
    void DBChBarClick();
    void ButPrnPieClick(TObject *Sender);
    // Raises when the balances cannot be read: a figure without the
    // accounts' openings or the rows before the period would be wrong.
    TRstOpening ComputeOpeningBalances();
    // The summary window's lines for the visible rows.
    QStringList SummaryLines();
    // The sums of the unit's in, out and result columns over the visible rows.
    std::array<int64_t, 3> VisibleSums(int *Rows = nullptr);
    // Asks whether to print on the printer's set-up; tests replace it.
    std::function<bool()> PrinterSetup;

    // ---- operations list (ZorbRstHist.cpp) ----
    void DataHsDataChange(TDataSource *Sender, TField *Field);
    void PmHsPopup(TObject *Sender);
    void DBGTabTitleClick(TObject *Sender, TColumn *Column);
    void GroupEdit();
    void mpHsEdSumClick(TObject *Sender);
    void mHsDelClick(TObject *Sender);
    void mDelPlanClick(TObject *Sender);
    void mpHsGoTabClick(TObject *Sender);
    void SetBookmark();
    void ShowBookmarks();
    void ButSumHsClick(TObject *Sender);
    QStringList StatisticsLines();
    void QhsCalcFields(TDataSet *DataSet);
    bool ColumnMoved = false;

    // ---- printouts (ZorbRstPrintCmds.cpp) ----
    void mpPrintClick(TObject *Sender); // the grouped totals
    void ButPrhClick(TObject *Sender);  // the operations list
    // What each printout reads of the window, opening balances included.
    TRstTotalsPrint TotalsPrintState();
    TRstHistPrint HistPrintState();

    // ---- dynamics (ZorbRstDyn.cpp) ----
    TPanel *PanCh;
    TComboBox *CbDyn, *CbDay, *Cbars;
    TSpeedButton *ButPrnCh;
    TDBChart *DBCh, *DBChD;
    TDBGrid *DBGDyn;
    TPopupMenu *PmDyn;
    TMenuItem *pmSaveDyn, *pmPrintDyn;
    TVemtMemTable TabDyn;
    TDataSource DataDyn{&TabDyn};
    QString DynFilter; // the filter text of the charted value kind
    void CbDynClick(TObject *Sender);
    void CbarsClick(TObject *Sender);
    void ApplyDynamicsView();
    // Unit: 0 days from Qday, 1 years from Qyr, 2 months from Qmn.
    void FillDynamics(int Unit);
    // The rows of the day, month or year query (Unit duDays, duMonths,
    // duYears) of the current conditions and period; Query is that query.
    TDynSource DynamicsSource(TQuery &Query, int Unit);
    void FillWeeks();
    // Fills TabDyn from the query the unit box asks for (tab 2 only).
    void FillDynamicsOfUnit();
    void ButPrnChClick(TObject *Sender);
    void DBChDDblClick();
    void PmDynPopup(TObject *Sender);
    void pmSaveDynClick(TObject *Sender);
    void pmPrintDynClick(TObject *Sender);

    TFormMain &Main() const { return main_; }

private:
    void BuildLayout();
    void BuildTopPanel();
    void BuildCondPanel();
    void BuildResPanel();
    void BuildHistPanel();
    void BuildDynPanel();
    void BuildMenus();
    TSpeedButton *SpeedButton2(QWidget *Parent, const char *Name, const QString &Caption, int Tag);
    void DefineQhsFields();
    void DefineTabRes();
    void LoadNames();
    // Sorts TabRes by Field with the set-or-flip rule.
    void SortTabRes(const QString &Field);
    void ColourSortColumn(int Index);
    void ReopenHs(int RecNo);
    // Finds the list's current operation in Tb_Hist by its key (range
    // cancelled); Body runs on the found row, then the range is reapplied.
    bool WithHistRow(const std::function<void()> &Body);
    // Runs Body, which writes rows and the balances they imply, in one
    // transaction: after a failure nothing of it is stored, the ledger and
    // the accounts are read again and the user is told why. True when
    // committed.
    bool WriteStep(const std::function<void()> &Body);
    // After a write: the main window's figures and the account box's balance
    // as stored (a failed read is told).
    void ShowStoredFigures();
    // The account box's caption with the balance of its account as stored,
    // when the box shows one (SetAccountBox); raises when it cannot be read.
    void ShowAccountBoxRest();

    TFormMain &main_;
    QHash<int, QString> itemNames_, accountNames_, personNames_, firmNames_;
    QHash<int, QString> accountCurrency_;
    QHash<int, double> accountRest_;
    TRstSql sql_;
    // The account whose balance the account box's caption shows; none when
    // it names a group or only a name (offered from the list).
    std::optional<int> restBoxAccount_;
};

// Creates the results window for the main window's period, shows it
// modally and frees it (the launcher of the main window's seam).
void OpenResults(TFormMain &Main, TTreeNode *Node, bool ContactMode);

// Adds Change (1/10000) to the stored balance of account Id (any id, 0
// included); nothing when Change is 0 or the account is missing. Does not
// touch the main window's totals. Raises when the post is refused.
void AdjustAccountRest(TFormMain &Main, int Id, int64_t Change);

} // namespace zorbel
