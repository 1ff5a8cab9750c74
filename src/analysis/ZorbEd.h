// TFormEd: "Редактирование операции", the edit dialog of the results window's
// operations list. One check box per field beside its editor; OK writes the
// ticked fields to the current operation, "&All" (administrator mode) to
// every operation of the list. Reading the dialog (Values) checks each ticked
// numeric text: an unreadable one is refused, never stored as empty.
#pragma once

#include "platform/rtl/DateTime.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

#include <functional>
#include <optional>

namespace zorbel {

class TDm;
class TTable;

// What a group edit writes. A field whose flag is off stays as stored.
struct TGroupEditValues {
    bool Date = false, Itm = false, Price = false, Quant = false, Pers = false, Firm = false, Comm = false,
         Rate = false;
    TDateTime DateValue = 0;
    int ItmId = -100;
    int64_t PriceUnits = 0, QuantUnits = 0, RateUnits = 0; // in 1/10000; 0: cleared
    std::optional<int> PersId, FirmId;                    // none: cleared (any id is a person or firm)
    QString Comment;                                      // empty: cleared
};

// The operation key: account, date, creation stamp, kind, as stored (a
// stamp read from a row of a file written elsewhere is no whole millisecond).
struct TOperationKey {
    int Account = 0;
    TDateTime DateReal = 0;
    TDateTime DateCreate = 0;
    QString Kind;
};

// Puts Hist (its range cancelled by the caller) on the operation Key; false
// when no row has it.
bool FindOperationRow(TTable &Hist, const TOperationKey &Key);

// Writes the ticked values to the operation Key of Dm.Tb_Hist (whose range
// the caller has cancelled). Transfers (Level1 below 0) and missing rows are
// skipped (false); a failed post is cancelled and raises, so that the
// caller's transaction undoes the whole edit. True when the row was written.
bool GroupEditRow(TDm &Dm, const TOperationKey &Key, const TGroupEditValues &V);

class TFormEd : public TForm {
    Q_OBJECT
public:
    explicit TFormEd(TDm &Dm, bool AdminMode);
    ~TFormEd() override;

    TCheckBox *ChDate, *ChItm, *ChPrice, *ChQuant, *ChPers, *ChFirm, *ChComm, *ChRate;
    TButton *ButDate, *ButItm;
    TEdit *EdPrice, *EdQuant, *EdRate, *EdComm;
    TComboBox *CbPers, *CbFirm;
    TButton *ButOk, *ButCancel, *ButAll;

    TDateTime DateValue = 0;
    // Tests and the window set these; AskDate returns a date or a value not
    // above -1000000, PickCategory the chosen id and name (false: none).
    std::function<TDateTime(TDateTime)> AskDate;
    std::function<bool(int &Id, QString &Name)> PickCategory;
    // The number of rows "&All" edits, and the list it asks about.
    int AllRows = 0;

    void FormShow(TObject *Sender);
    void SetDate(TDateTime D);
    // Selects the item whose object is Id, else (and for none) the empty item.
    static void SelectId(TComboBox *Box, std::optional<int> Id);
    // Takes the editors' values as the row's own (the window fills them
    // from the row before showing); DropUnchanged then leaves out of V
    // every field whose editor still holds them, so that OK on one row
    // writes only what the user changed and keeps the rest as stored (a
    // rate or price of more than four decimals, a person or firm of id 0).
    void RememberRowValues();
    void DropUnchanged(TGroupEditValues &V) const;
    void UpdateButtons();
    void ButAllClick(TObject *Sender);
    void NumberKeyPress(TObject *Sender, QChar &Key);
    // The ticked values; false (with a message) when a ticked number is unreadable.
    bool Values(TGroupEditValues &V);
    // The list of ticked changes "&All" asks about.
    QStringList ChangeList() const;

private:
    TDm &dm_;
    bool admin_;
    struct TRowValues {
        QString Price, Quant, Rate, Comment;
        TDateTime Date = 0;
        intptr_t Itm = -100;
        int Pers = 0, Firm = 0; // item indexes
    };
    std::optional<TRowValues> row_;
};

} // namespace zorbel
