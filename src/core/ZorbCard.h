// TFormCard: the modal card on which one operation is entered: an expense,
// an income or a transfer to another account. It is created once per data
// set and reused. The posting (TPosting) prepares the current Tb_Hist row
// (inserting or editing) and its mode before the card is shown, and writes
// everything after OK; the card edits the row through data-aware controls,
// derives the missing one of sum, price and quantity, shows the category's
// month totals against its limits, offers the category's earlier operations,
// and on OK validates the row and computes BalanceDelta and, for a transfer
// across currencies, TransferAmount. It posts nothing itself.
//
// Buttons that open windows of other parts (the person and firm pickers,
// the notes list, the system calculator on F9) call the hooks below; they do
// nothing while a hook is unset.
#pragma once

#include "core/ZorbCardRules.h"
#include "core/ZorbSettings.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/DBCtrls.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

#include <functional>
#include <optional>

namespace zorbel {

class TFormCard : public TForm {
    Q_OBJECT
public:
    // Options: the main window's settings the card reads and writes (the
    // Mem_ options, QuantDefault, AutoSum, AutoCor, LimPlan, Card_ bounds).
    TFormCard(TDm &Dm, TPosting &Post, TMainOptions &Options);
    ~TFormCard() override;

    // ---- controls ----
    TLabel *LabAccount;
    TDBEdit *DBESum, *DBEPrice, *DBEQuant, *DBE_Rate;
    TDBLookupComboBox *DBLWho, *DBLWhere;
    TDBMemo *DBEComm;
    TPanel *PanTrans;
    TDBLookupComboBox *DBLTrans;
    TGroupBox *GrRate;
    TDBEdit *DBETrans_Ref, *DBERate;
    TSpeedButton *ButDiv;
    TButton *ButSumEv, *ButPriceEv, *ButQuantEv, *ButTransEv, *ButRateEv;
    TButton *ButPerc, *ButSum, *ButComm;
    TSpeedButton *ButWho, *ButWhere;
    TButton *ButFindWho, *ButFindWhere, *ButDelWho, *ButDelWhere, *ButDelComm;
    TCheckBox *ChDate, *ChCategory;
    TLabel *LabSum, *LabQlim, *Lab1, *Lab2;
    TPanel *PanDate;
    TButton *ButPrior, *ButNext;
    TButton *ButOk, *ButCancel;
    TLabel *LabSumCaption, *LabPrice, *LabQuant, *LabRate, *LabTrans;

    // ---- own datasets ----
    TTable Tb_Acc;         // the other accounts, for the transfer's target
    TDataSource DataAcc;
    TQuery QitmHist;       // the account's earlier operations of the category, newest first
    TDataSource DataItmHist;

    // ---- state ----
    int64_t BalanceDelta = 0;   // change of the current account's Rest, 1/10000
    int64_t TransferAmount = 0; // credited to a target in another currency, 1/10000
    double PercentValue = 0;    // the percentage of '%' and space
    QFont GridFont;             // the ledger's font, for the data controls

    // Windows of other parts (unset: the button does nothing).
    std::function<bool(int Tag, Variant &Id)> PickReference; // person (1) or firm (2)
    std::function<bool(QString &Note)> PickNote;
    std::function<void()> OpenSystemCalculator;

    // ---- handlers ----
    void FormCreate(TObject *Sender);
    void FormShow(TObject *Sender);
    void FormClose(TObject *Sender, TCloseAction &Action);
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void ButOkClick(TObject *Sender);
    void ButSumEvClick(TObject *Sender);
    void DBESumKeyPress(TObject *Sender, QChar &Key);
    void DBESumKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void DataAccDataChange(TDataSource *Sender, TField *Field);
    void Tb_AccCalcFields(TDataSet *DataSet);
    void DBLTransKeyPress(TObject *Sender, QChar &Key);
    void ButFindWhoClick(TObject *Sender);
    void DBLWhoKeyPress(TObject *Sender, QChar &Key);
    void DBLWhoKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void ButDelWhoClick(TObject *Sender);
    void ButCommClick(TObject *Sender);
    void DBECommKeyPress(TObject *Sender, QChar &Key);
    void DBECommEnter(TObject *Sender);
    void ButSumClick(TObject *Sender);
    void ButDivClick(TObject *Sender);
    void ButPercClick(TObject *Sender);
    void LabSumClick(TObject *Sender);
    void LabAccountClick(TObject *Sender);
    void ButPriorClick(TObject *Sender);

    // ---- routines ----
    bool ValidateCard(int64_t &Delta);
    void ShowMonthTotals(bool IncludeCurrentRow);
    void ShowParentTotals(TLabel *Label, int IncludeRowDelta);
    void ShowAccountLabel();
    void ToggleDerivedField(int Tag);
    void EditWithCalculator(TDBEdit *Edit);
    void FillFromHistory();
    // The history buttons: shown with more than one earlier operation, their
    // hint the position, each enabled while there is a row its way.
    void ShowHistoryPosition();
    // Points QitmHist at the account's earlier operations of the row's
    // category and opens it (the posting's preparation of the card).
    void PrepareHistory(int Account);

private:
    TField *H(const char *name) const;
    bool Editing() const;
    // The amount field a key acts on: the focused one of quantity, price,
    // cross rate and rate, else the sum.
    TDBEdit *KeyTarget() const;
    int64_t FieldUnits(TDBEdit *edit) const;
    // Writes a number into an amount field (the edit's text and its field).
    void WriteAmount(TDBEdit *edit, double value);
    QString MonthHint(int year, int month) const;
    void ApplyTotalLabel(TLabel *label, int64_t net, int64_t lim, bool income, const QString &prefix);

    TDm &dm_;
    TPosting &post_;
    TMainOptions &options_;
    int parentIds_[2] = {-100, -100}; // top and middle parent of the row's category
    int year_ = 0, month_ = 0;
};

} // namespace zorbel

namespace zorbel {

// What adding or editing an operation reads of the main window's category
// trees: which tree is shown and the node selected in each.
struct TCardTrees {
    bool ExpenseShown = true;                  // mCt checked (else mDt)
    std::optional<TCategoryNode> ExpenseNode;  // selected in TvCt
    std::optional<TCategoryNode> IncomeNode;   // selected in TvDt
    // Shows the expense (true) or income tree when an edited row belongs to the other.
    std::function<void(bool Expense)> ShowTree;
};

// Adds (IsNew) or edits the current operation through the card, with the
// posting's RealiseFlag realising it: chooses the mode, prepares the row,
// shows the card and on OK writes everything (TPosting::PostOperation).
// Notices go to the user; a failing post is passed on after the card's state
// was reset.
void RunOperationCard(TDm &Dm, TPosting &Post, TFormCard &Card, bool IsNew, TCardTrees &Trees);

} // namespace zorbel
