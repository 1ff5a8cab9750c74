// The windows of the reference books, each created for one modal showing:
//   TFormPers  the person card over the current person;
//   TFormRef   the person-or-firm picker other windows use (the operation
//              card, the searches, the results window);
//   TFormFind  the text search over the people, firms or diary page.
#pragma once

#include "core/ZorbRefFind.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/DBCtrls.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

#include <vector>

namespace zorbel {

class TFormMain;
class TDataSource;
class TTable;

class TFormPers : public TForm {
    Q_OBJECT
public:
    explicit TFormPers(TFormMain &Main);
    ~TFormPers() override;
    TDBEdit *EdName, *EdBirthday, *EdC, *EdPhone, *EdAddress;
    TButton *ButDate;
    TDBLookupComboBox *CbFirm;
    TDBMemo *MemComment, *MemNote;
    TDBNavigator *Nav;
    void ButDateClick(TObject *Sender);

private:
    TFormMain &main_;
};

class TFormRef : public TForm {
    Q_OBJECT
public:
    // Source: the data module's DataPerson or DataFirm, whose table's current
    // row is the choice on OK.
    TFormRef(TFormMain &Main, TDataSource *Source);
    ~TFormRef() override;
    TKDBGrid *DBGr;
    TEdit *Ed;
    TButton *ButAdd, *ButOk, *ButCancel;
    void EdChange(TObject *Sender);
    void EdKeyPress(TObject *Sender, QChar &Key);
    void EdKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void ButAddClick(TObject *Sender);
    // Inserts a row whose index field is Text; a failed post is cancelled.
    bool AddTypedEntry(const QString &Text);

private:
    TTable &Table() const;
    QString IndexField() const;
    TFormMain &main_;
};

class TFormFind : public TForm {
    Q_OBJECT
public:
    explicit TFormFind(TFormMain &Main);
    ~TFormFind() override;
    TPanel *PanHead;
    TEdit *EdFind;
    TButton *ButFind;
    TListBox *Lb;
    // The rows listed, item by item.
    const std::vector<TFindItem> &Items() const { return items_; }
    void RunSearch();
    void LbDblClick(TObject *Sender);

private:
    TFormMain &main_;
    std::vector<TFindItem> items_;
};

} // namespace zorbel
