// TFormImp: the modal window "Импорт расходов и приходов" that turns a
// delimited text file into income and expense operations of the current
// account, in three steps the user follows by the buttons' captions:
//   1 ButLoad  load a file into the memo M (the user may edit it);
//   2 ButTest  parse the memo by the column map Lb and the separators into
//              the preview table TabImp (ZorbImpPreview.h);
//   3 ButImp   write the importable preview rows into the ledger
//              (ZorbImpWrite.h).
// The window only dispatches; parsing, matching and writing live in the
// window-free units it calls. What it needs of the main window comes through
// TImportHost.
#pragma once

#include "analysis/ZorbImpPreview.h"
#include "memtable/VemtMemTable.h"
#include "platform/dataset/DataSource.h"
#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/Menus.h"
#include "platform/widgets/StdCtrls.h"

#include <QIcon>
#include <QPointer>
#include <functional>

namespace zorbel {

class TDm;

// The main window as the import window sees it. The remembered layout
// (ImpList, ImpDelims) and the last folder (ImportDir) are read when the
// window is shown and written when it closes.
class TImportHost {
public:
    virtual ~TImportHost() = default;
    // The main window's entry date (with today, the fallback date of lines).
    virtual TDateTime EntryDate() const = 0;
    // Recomputes the status-bar totals after the stored balance changed.
    virtual void UpdateBalances(bool WithOpening, int64_t Amount) = 0;
    // Rebuilds the expense (true) or income (false) category tree.
    virtual void BuildCategoryTree(bool Expense) = 0;
    // The picture of the step-3 button.
    virtual QIcon StepGlyph() const { return {}; }

    QString ImpList;   // the column map as indices joined by ";"
    QString ImpDelims; // the separators joined by #1
    QString ImportDir; // the folder of the last file loaded
};

class TFormImp : public TForm {
    Q_OBJECT
public:
    TFormImp(TDm &Dm, TImportHost &Host, QWidget *Parent = nullptr);
    ~TFormImp() override;

    // ---- controls ----
    TPanel *PanTop, *PanLeft, *PanWork, *PanDef, *PanAcc, *PanRes;
    TButton *ButLoad, *ButTest, *ButImp, *ButClear;
    TButton *ButUp, *ButDown, *ButAddSkip, *ButDelSkip;
    TLabel *LabRecs;
    TListBox *Lb;
    TEdit *EdCSV, *EdNum, *EdDate, *EdItm, *EdPers, *EdFirm, *EdCom;
    TComboBox *CbDate;
    TMemo *M;
    TDBGrid *DBGImp;
    TPopupMenu *PmImp;
    TMenuItem *mDelImp, *mClearImp;
    TVemtMemTable TabImp;
    TDataSource DataImp;

    // ---- events ----
    void FormCreate(TObject *Sender);
    void FormShow(TObject *Sender);
    void FormClose(TObject *Sender, TCloseAction &Action);
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void ButLoadClick(TObject *Sender);
    void ButTestClick(TObject *Sender);
    void ButImpClick(TObject *Sender);
    void ButClearClick(TObject *Sender);
    void mDelImpClick(TObject *Sender);
    void DataImpDataChange(TDataSource *Sender, TField *Field);
    void DBGImpDrawColumnCell(TObject *Sender, const QRect &Rect, int DataCol, TColumn *Column,
                              TGridDrawState State);
    void ButUpClick(TObject *Sender);
    void ButDownClick(TObject *Sender);
    void ButAddSkipClick(TObject *Sender);
    void ButDelSkipClick(TObject *Sender);
    void LbKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);

    // ---- operations ----
    // Loads a file into the memo; false (after telling the user) when it
    // cannot be read or is not text.
    bool LoadFile(const QString &FileName);
    void LoadImportLayout();
    void SaveImportLayout();
    // Step 2 over the memo's lines: the preview shows them, and only them.
    void BuildImportPreview();
    void DeletePreviewRow();
    // Inserts ("---" before the selected entry) or deletes (the selected
    // entry when it is "---") a skipped column.
    void EditSkipEntry(bool Insert);
    // The column map as listed.
    QStringList Columns() const;
    TImportSettings Settings() const;

    // The open dialog: true with a file chosen (FileName starts as the folder).
    std::function<bool(QString &FileName)> ExecuteOpenDialog;

private:
    void BuildLayout();
    void MoveEntry(int Delta);
    void ShowSummary();
    // The current account and its stored balance, in PanAcc.
    void ShowAccount();
    // Takes the rows just written out of the preview.
    void DropWrittenRows(const std::vector<int> &rows);

    TDm &dm_;
    TImportHost &host_;
    int total_ = 0;          // rows of TabImp when the summary was made
    TImportSummary summary_; // of the last preview run (or recount)
    QString previewText_;    // the memo's text the preview was made from
    QString writtenText_;    // the memo's text of the last write, if any
    bool written_ = false;   // writtenText_ holds a text
    bool previewOfWritten_ = false; // the preview was remade from writtenText_
};

// The window while it exists (the data module's category default reads it).
extern QPointer<TFormImp> FormImp;

} // namespace zorbel
