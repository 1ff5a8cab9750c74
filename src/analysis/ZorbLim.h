// The turnovers window "Обороты за месяц - по статьям": a month's turnovers
// per category at a chosen depth against the categories' money or quantity
// limits and the month's planned operations (ZorbLimCalc), with the totals
// strip, month stepping, limit editing, sorting by a column and saving.
#pragma once

#include "memtable/VemtMemTable.h"
#include "platform/dataset/DataSource.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/Menus.h"
#include "platform/widgets/StdCtrls.h"

#include <cstdint>

namespace zorbel {

class TFormMain;

class TFormLim : public TForm {
    Q_OBJECT
public:
    explicit TFormLim(TFormMain &Main);
    ~TFormLim() override;

    TPanel *PanTop, *PanDate;
    TSpeedButton *ButPrev, *ButNext, *ButMoney, *ButQuant, *ButSum;
    TComboBox *CbAcc, *CbLim;
    TRadioButton *Rb1, *Rb2, *Rb3;
    TCheckBox *ChTrans;
    TDBGrid *DBGLim, *DBGSum, *DBG;
    TPopupMenu *PmLim;
    TMenuItem *mLimSum, *mpMoney, *mpQuant, *mpLev1, *mpLev2, *mpLev3, *mp0, *mp1, *mp2, *mpAcc, *mpSum, *mLimSave;
    TVemtMemTable TabLim, TabSum;
    TDataSource DataLim{&TabLim}, DataSum{&TabSum}, DataExport;

    uint16_t Year = 2000, Month = 1; // the month shown
    int Level = 1;                   // category depth 1..3

    // Fills the table for the shown month and options, back on the same row.
    void Rebuild();
    void StepMonth(bool Back);
    void ButMoneyClick(TObject *Sender);
    void ButSumClick(TObject *Sender);
    void DBGLimTitleClick(TColumn *Column);
    void mLimSumClick(TObject *Sender);
    void mLimSaveClick(TObject *Sender);
    void PanDateClick(TObject *Sender);
    // The column layout as stored in Col_Lim/Sum_Lim ("field=width" lines),
    // and applying it: false (grid back to its default columns) unless it
    // has one line per column.
    static QString LayoutText(TDBGrid *Grid);
    static bool ApplyLayoutText(TDBGrid *Grid, const QString &Text);

private:
    void SetDefaultColumns();
    void ShowMonth();
    void SetLevel(int Level);
    void DBGLimDrawColumnCell(const QRect &Rect, int DataCol, TColumn *Column, TGridDrawState State);
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    TFormMain &main_;
    bool shown_ = false;
};

// The main window's turnovers command: options Lim* in and out.
void OpenLimitsWindow(TFormMain &Main);

} // namespace zorbel
