// TFormGrp: "Пакетное добавление расходов", the window of batch entry. It
// shows one packet's lines (the data module's live query Qgrp) in an editable
// grid; what the user types is what the categories remember. Lines are added
// and removed through the packet digit of each category (ZorbPacket.h); the
// window never writes operations itself: OK hands the packet to OnAccept
// (EnterPacket on the main window writes it there), and a packet that could
// not be written keeps the window open on its lines.
#pragma once

#include "platform/dataset/DataSource.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/Menus.h"
#include "platform/widgets/StdCtrls.h"

#include <functional>
#include <memory>

namespace zorbel {

class TFormMain;
class TDm;

class TFormGrp : public TForm {
    Q_OBJECT
public:
    explicit TFormGrp(TFormMain &Main);
    ~TFormGrp() override;

    TPanel *PanTop, *PanSum, *PanBot, *PanCount;
    TButton *ButAdd, *ButDel, *ButOk, *ButCancel;
    TComboBox *CbGrp;
    TCheckBox *ChConf;
    TDBGrid *DBGrp;
    std::unique_ptr<TDataSource> DataGrp;
    TPopupMenu *Pmm;
    TMenuItem *mpAdd, *mpDel, *mpNo, *mpClear, *mpClone;

    void CbGrpClick(TObject *Sender);
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void FormClose(TObject *Sender, TCloseAction &Action);
    void mpAddClick(TObject *Sender);
    void mpDelClick(TObject *Sender);
    void mpNoClick(TObject *Sender);
    void mpClearClick(TObject *Sender);
    void mpCloneClick(TObject *Sender);
    void PmmPopup(TObject *Sender);
    void DataGrpDataChange(TDataSource *Sender, TField *Field);
    void DBGrpDblClick(TObject *Sender);
    // OK, with the pending line posted: true lets the window close; false
    // (the packet was refused) keeps it open on the packet's lines again.
    std::function<bool()> OnAccept;

    // Adds category Id to the shown packet (an id below 0 is ignored) and
    // moves to its line.
    void AddToPacket(int Id);
    // Shows the packet's total and line counts.
    void ShowTotals();
    // F6: the calculator on the selected sum, price or quantity; its result
    // is written into the line and posted. On another column it only calculates.
    void CalculateField();

private:
    // Posts a pending edit of the line; a failure cancels it.
    void PostLine();
    int Digit() const { return CbGrp->ItemIndex() < 0 ? 0 : CbGrp->ItemIndex(); }

    TFormMain &main_;
    TDm &dm_;
    bool copying_ = false;           // "all lines" is rewriting the lines
    TDataSet::TDataSetNotifyEvent savedAfterPost_; // the data module's own AfterPost of Qgrp
};

} // namespace zorbel
