// TFormAcc: the accounts book "Счета". Lists the accounts with their
// currency, rate, opening amount and balance, and their default ("!") and
// group ("+") marks; adds, edits and deletes accounts, moves the default
// mark, toggles the group mark, shows the sums by currency (where a currency
// is renamed) and the totals in conventional units. The rules live in
// ZorbAccounts; the window dispatches and shows.
//
// Results of its modal showing: 1 an account was chosen (the account table
// stands on it), 8 the group of accounts was chosen (offered only while the
// results window exists), 2 closed.
#pragma once

#include "core/ZorbAccounts.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/Menus.h"
#include "platform/widgets/StdCtrls.h"

namespace zorbel {

class TFormMain;
class TDm;

// The modal result of choosing the group of accounts.
constexpr int mrAccountGroup = 8;

class TFormAcc : public TForm {
    Q_OBJECT
public:
    explicit TFormAcc(TFormMain &Main);
    ~TFormAcc() override;

    TPanel *PanTop, *PanBut, *PanRb, *PanSum;
    TSpeedButton *ButSum, *ButNew_Acc, *ButEdit_Acc, *ButDel_Acc, *ButAll, *ButOk, *ButCancel;
    TRadioButton *RbAll, *RbGroup;
    TDBGrid *DBGAc, *DBGRate;
    TPopupMenu *PmAcc;
    TMenuItem *mpNew_Acc, *mpEdit_Acc, *mpDel_Acc, *mpDef_Acc, *mpGroup_Acc, *mRest;

    // The state of the last recomputation.
    const TAccountTotals &Totals() const { return totals_; }
    // True while the sums by currency are shown.
    bool SumsShown() const { return ButSum->Down(); }

    // Applies a stored column layout (lines "Field=width") to DBGAc: the
    // columns named take that order and width, the others follow; the
    // columns keep their titles and tints.
    void ApplyAccountColumns(const QString &Layout);
    // Recomputes the totals, writes PanSum and the commands' state.
    void RefreshTotals(bool Synchronise);
    // Add (Sender's Tag 1) or edit (Tag 2) through the account dialog.
    void mpNew_AccClick(TObject *Sender);
    void mpDel_AccClick(TObject *Sender);
    void mpDef_AccClick(TObject *Sender);
    void mpGroup_AccClick(TObject *Sender);
    // Shows (button down) or hides the sums by currency.
    void ButSumClick(TObject *Sender);
    // Reruns the sums over all accounts or the group's.
    void RbAllClick(TObject *Sender);
    // Renames the currency of the sums' current row.
    void DBGRateDblClick(TObject *Sender);
    // Corrects the current account's stored balance (extra functions only).
    void mRestClick(TObject *Sender);

private:
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void ShowCurrencySums();
    void UpdateCommands();
    // Once the grid shown has its place (after the event that shows it or
    // the window), the window widens to show its columns and titles whole.
    void WidenToShownGrid();

    TFormMain &main_;
    TDm &dm_;
    TAccountTotals totals_;
};

} // namespace zorbel
