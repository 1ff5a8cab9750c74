// The monthly balances window "Остатки, Сводки...": per month the income,
// expense, difference and running balance of the current account or of all
// accounts of its currency (ZorbRestCalc), as a bar chart over the months
// (filtered by year) or as tables of months by year with yearly sums and the
// average balance; printing of the chart, saving of the tables.
#pragma once

#include "memtable/VemtMemTable.h"
#include "platform/chart/Chart.h"
#include "platform/dataset/DataSource.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

#include <functional>
#include <memory>

namespace zorbel {

class TFormMain;
class TPrinter;

class TFormRest : public TForm {
    Q_OBJECT
public:
    explicit TFormRest(TFormMain &Main);
    ~TFormRest() override;

    TPanel *PanTop, *PanFilter, *PanTables, *PanChart, *PanGrids;
    TComboBox *CbAcc, *CbSel, *CbEqv, *CbYr;
    TCheckBox *ChTrans, *ChDt, *ChCt, *ChBal;
    TSpeedButton *ButPrn, *ButExport;
    TDBChart *DBCRest = nullptr;
    TDBGrid *DBGRs, *DBGBn, *DBGCt, *DBGDt, *DBG;
    TVemtMemTable TbRest, TbY;
    TDataSource DataRest{&TbRest}, DataY{&TbY}, DataExport;

    void ComputeMonthlyBalances();
    void CbEqvClick(TObject *Sender);
    void CbSelClick(TObject *Sender);
    void ChDtClick(TObject *Sender);
    void ButPrnClick(TObject *Sender);
    void ButExportClick(TObject *Sender);
    void DBCRestDblClick();

    // The printer set-up dialog: true on OK. Tests replace it.
    std::function<bool(TPrinter &Printer)> ExecutePrinterSetup;

private:
    void ApplyYearFilter();
    void BuildChart(int Selection);
    void UnbindChart();
    int chartSelection_ = -1;
    class TChartMouse;
    TFormMain &main_;
    std::unique_ptr<TChartMouse> chartMouse_;
    bool shown_ = false;
};

// The main window's balances command: options Bal* in and out.
void OpenBalancesWindow(TFormMain &Main);

} // namespace zorbel
