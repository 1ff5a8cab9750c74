// TFormItm: "Поиск и выбор статей", the category search and pick window. A
// grid of the categories of one kind (kind "0" included) with their
// remembered values and limits beside a tree of them; typing in the search
// box moves to the first name that begins with the text (in any letter
// case); a title click sorts; the money and quantity limits and the
// alternative-tree membership are edited here. The caller reads the chosen
// row (ChosenId) and TreesChanged after ShowModal.
//
// Qitm: "select id_itm,itm,sm,pr,qn,dte,c,comm,lim,qlim,a" / "from tb_items"
// / "order by itm"; a caller may append " where id_itm<>-1" to line 2
// (ExcludeTransfer); the kind tab sets the filter c<>'-' or c<>'+'.
#pragma once

#include "platform/dataset/DataSource.h"
#include "platform/sqltable/Query.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"
#include "platform/widgets/TreeView.h"

#include <memory>

namespace zorbel {

class TFormMain;

// No category to open on, or none chosen.
constexpr int NoCategory = -100;

class TFormItm : public TForm {
    Q_OBJECT
public:
    explicit TFormItm(TFormMain &Main);
    ~TFormItm() override;

    std::unique_ptr<TQuery> Qitm;
    std::unique_ptr<TDataSource> DataItm;
    TTabControl *TcItm;
    TPanel *PanGrid, *PanButtons, *PanBottom;
    TEdit *EdItm;
    TDBGrid *DBGItm;
    TSplitter *Splitter;
    TTreeView *TvItm;
    TSpeedButton *ButTree, *ButPlan, *ButPlanQ;
    TButton *ButOk, *ButCancel;

    // Set by the caller before showing.
    int OpenOn = NoCategory;
    // Set when a tree membership was saved; the caller then refills its trees.
    bool TreesChanged = false;

    // Leaves the transfer category out of the list and the tree.
    void ExcludeTransfer();
    // The id of the current row, NoCategory when there is none.
    int ChosenId() const;

    void FormShow(TObject *Sender);
    void FormClose(TObject *Sender, TCloseAction &Action);
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void EdItmKeyUp(TObject *Sender, WORD &Key, TShiftState Shift);
    void DataItmDataChange(TDataSource *Sender, TField *Field);
    void TvItmChange(TObject *Sender, TTreeNode *Node);
    void TvItmEnter(TObject *Sender);
    void TcItmChange(TObject *Sender);
    void QitmAfterOpen(TDataSet *DataSet);
    void QitmAfterClose(TDataSet *DataSet);
    void QitmCalcFields(TDataSet *DataSet);
    void DBGItmTitleClick(TObject *Sender, TColumn *Column);
    void DBGItmDblClick(TObject *Sender);
    void ButTreeClick(TObject *Sender);
    void ButPlanClick(TObject *Sender);

private:
    // Reopens Qitm with the grid's updates held back and returns to row Id.
    void Reopen(int Id);
    void DefineFields();

    TFormMain &main_;
};

} // namespace zorbel
