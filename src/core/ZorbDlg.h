// TFormDlg: the small search dialog with three uses.
//   1. Finding a category by name: typing in Ed selects the matching node of
//      SearchTree (the first whose name begins with the text, else the first
//      that contains it); OK closes.
//   2. Moving a category: the same, with LabMove shown; the selected node is
//      the target.
//   3. The ledger's history search (HistSearch true): the panel PanFnd holds
//      the field list, the comparison and the value; ButOk does not close but
//      steps through QFind's hits, its caption counting them ("3/17"). Any
//      change of field, comparison or value closes QFind, so the next step
//      starts from the first hit again.
#pragma once

#include "platform/rtl/DateTime.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"
#include "platform/widgets/TreeView.h"

namespace zorbel {

class TFormMain;

class TFormDlg : public TForm {
    Q_OBJECT
public:
    explicit TFormDlg(TFormMain &Main);
    ~TFormDlg() override;

    TLabel *LabMove;
    TEdit *Ed;
    TPanel *PanFnd, *PanBut;
    TComboBox *CbFnd;
    TButton *ButEq, *ButFnd;
    TEdit *EdFnd;
    TBitBtn *ButOk, *ButCancel;

    // The tree typing in Ed searches (uses 1 and 2); none in the history search.
    TTreeView *SearchTree = nullptr;
    // The values of the button-driven fields of the history search.
    TDateTime FindDate = 0;
    int FindItem = 0, FindPerson = 0, FindFirm = 0;

    // Makes the dialog the history search: ButOk steps instead of closing.
    void SetHistorySearch();
    bool HistorySearch() const { return histSearch_; }
    // The level of the category searched (1..3), kept in ButFnd's Tag.
    int FindLevel() const { return ButFnd->Tag(); }
    void SetFindLevel(int Level) { ButFnd->SetTag(Level); }

    void FormShow(TObject *Sender);
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void EdKeyUp(TObject *Sender, WORD &Key, TShiftState Shift);
    void CbFndChange(TObject *Sender);
    void EdFndKeyPress(TObject *Sender, QChar &Key);
    void EdFndKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void ButEqClick(TObject *Sender);
    void ButFndClick(TObject *Sender);
    // One step of the history search (ButOk).
    void RunHistSearch();

private:
    // Closes QFind so that the next step starts a new search.
    void ResetSearch();
    // Shows the current value of a button-driven field on ButFnd.
    void ShowButtonValue();
    int Field() const { return CbFnd->ItemIndex() < 0 ? 0 : CbFnd->ItemIndex(); }

    TFormMain &main_;
    bool histSearch_ = false;
};

} // namespace zorbel
