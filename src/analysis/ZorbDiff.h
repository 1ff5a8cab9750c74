// The year window "Постатейно-месячные итоги за год": the net result of every
// category path per month of one year (ZorbDiffCalc), with row sums and an
// optional totals row, for the current account or all accounts of its
// currency.
#pragma once

#include "memtable/VemtMemTable.h"
#include "platform/dataset/DataSource.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

namespace zorbel {

class TFormMain;

class TFormDiff : public TForm {
    Q_OBJECT
public:
    explicit TFormDiff(TFormMain &Main);
    ~TFormDiff() override;

    TPanel *PanTop, *PanDate;
    TSpeedButton *ButPrev, *ButNext, *ButSum, *ButExport;
    TComboBox *CbAcc;
    TRadioButton *Rb1, *Rb2, *Rb3;
    TCheckBox *ChTrans;
    TDBGrid *DBGY;
    TStatusBar *Sb;
    TVemtMemTable TbY;
    TDataSource DataY{&TbY};

    int ShownYear = 2000;
    int DetailLevel = 1;

    void ComputeYearItemTotals();
    // One year back (Back) or forward, shown and recomputed.
    void StepYear(bool Back);
    void PanDateClick(TObject *Sender);
    void DBGYDblClick(TObject *Sender);
    void ButExportClick(TObject *Sender);

private:
    void Rb1Click(TObject *Sender);
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void DBGYDrawColumnCell(TObject *Sender, const QRect &Rect, int DataCol, TColumn *Column, TGridDrawState State);
    TFormMain &main_;
    bool showing_ = false; // the radio buttons are set while showing: one computation
};

// The main window's year by category command: shows the window modally.
void OpenYearWindow(TFormMain &Main);

} // namespace zorbel
