// The account dialog: name, currency (picked from those in use or typed),
// opening amount, rate, and the group and default marks of one account. Its
// effect on the account table is ruled by ZorbAccounts; the dialog only
// checks the entries and writes them to the row.
#pragma once

#include "platform/widgets/Forms.h"

namespace zorbel {

class TDm;
class TLabel;
class TDBEdit;
class TDBComboBox;
class TCheckBox;
class TButton;
struct TAccountTotals;

class TFormAdd : public TForm {
    Q_OBJECT
public:
    explicit TFormAdd(TDm &dm);
    ~TFormAdd() override;

    TLabel *LabAccount, *LabCur, *LabCurNote, *LabBeg, *LabRate;
    TDBEdit *DBAccount, *DBBeg, *DBRate;
    TDBComboBox *DBCur;
    TCheckBox *ChGroup, *ChDef;
    TButton *ButOk, *ButCancel;

    // Fills DBCur with the distinct currencies of all accounts, in table order.
    void FillCur();

private:
    // Checks the entries and writes them to the row; ends with 1 when they are acceptable.
    void ButOkClick(TObject *Sender);

    TDm &dm_;
};

// Adds (Adding) or edits the current account through the dialog, then
// recomputes the totals with synchronisation. Returns the dialog's result
// (1 when accepted).
int EditAccount(TDm &dm, bool Adding, TAccountTotals &Totals);

} // namespace zorbel
