// TFormComm: "Поиск и выбор примечаний", the list of distinct notes of the
// operations with their counts, narrowed while the user types. The operation
// card picks a note from it; the ledger's notes search chooses the note whose
// operations F3 then steps through. The chosen note is Qcomm's current
// Comment (ChosenNote).
//
// Qcomm is rebuilt by BuildNotesQuery (ZorbSearch.h) on showing, on a scope
// button and on every change of the edit: the typed text goes in as a bound
// "like" pattern, so quotes, "%", "_" and "^" in it are found literally.
#pragma once

#include "platform/dataset/DataSource.h"
#include "platform/rtl/DateTime.h"
#include "platform/sqltable/Query.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

#include <memory>

namespace zorbel {

class TDm;
struct TMainOptions;

class TFormComm : public TForm {
    Q_OBJECT
public:
    // Bounds come from Options' Com_* values and go back there on closing.
    TFormComm(TDm &Dm, TMainOptions &Options);
    ~TFormComm() override;

    TPanel *PanTop, *PanBottom, *PanCount;
    TEdit *Ed;
    TRadioButton *Rb1, *RbAll;
    TDBGrid *DBGComm;
    TButton *ButOk, *ButCancel;
    std::unique_ptr<TQuery> Qcomm;
    std::unique_ptr<TDataSource> DataComm;

    // Only the current account's notes; Enter in the edit then closes with OK.
    bool OnlyCurrentAccount = false;
    TDateTime NotesPeriodBegin = 0, NotesPeriodEnd = 0;

    // The note of the current row; empty when the list is empty or closed.
    QString ChosenNote() const;
    // Hides the scope buttons and puts the edit at the left edge.
    void HideScope();

    void BuildNotesQuery();
    void FormShow(TObject *Sender);
    void FormClose(TObject *Sender, TCloseAction &Action);
    void FormResize(TObject *Sender);
    void EdKeyPress(TObject *Sender, QChar &Key);

private:
    TDm &dm_;
    TMainOptions &options_;
};

} // namespace zorbel
