// TFormCat: the category dialog. It adds a category beside the selected node
// of a main tree (mode CatAddBeside), adds a branch under it (CatAddBranch)
// or edits its name and kind (CatEdit). Its edit and radio group are bound to
// the data module's DataItems, so Tb_Items is in insert or edit state while
// the dialog is open; the creator (EditCategory) cancels that state when the
// dialog does not end with OK. On OK it posts the row and updates the tree.
#pragma once

#include "platform/widgets/DBCtrls.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"
#include "platform/widgets/TreeView.h"

namespace zorbel {

class TFormMain;

class TFormCat : public TForm {
    Q_OBJECT
public:
    TFormCat(TFormMain &Main, int Mode, TTreeView *Tree, bool Income);
    ~TFormCat() override;

    TPanel *PanMain, *PanButtons;
    TLabel *LabCat;
    TDBEdit *DBECat;
    TDBRadioGroup *DBRg;
    TButton *ButOk, *ButCancel;

    void FormShow(TObject *Sender);
    void ButOkClick(TObject *Sender);
    void DBECatChange(TObject *Sender);
    void PanMainResize(TObject *Sender);

private:
    // Titles of the ledger grid's category level columns (levels 0..2).
    QStringList LevelTitles() const;

    TFormMain &main_;
    int mode_;
    TTreeView *tree_;
    bool income_;
};

} // namespace zorbel
