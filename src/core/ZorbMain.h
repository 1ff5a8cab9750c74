// TFormMain: the program's main window. This unit holds its start-up and
// shutdown (FormCreate, FormShow, FormCloseQuery, FormDestroy), the data file
// lifecycle (open, new from the template, save with backups, password) and
// the settings storage (LoadSettings, SaveSettings).
//
// States: starting (StartingOrClosing true, from FormCreate until a data set
// is open) -> running (a data set open, the message loop runs) -> closing
// (StartingOrClosing true again once the user agreed; a failed save returns
// to running) -> ended.
//
// The work folder WorkDir (<private temp>/ZORB_DAT) holds the unpacked data
// set between opening and closing; a data file is first unpacked into a
// staging folder beside it, so a damaged file never leaves half a data set
// there. Saving packs the work folder into "~~.bak" in the temporary folder
// and installs it as the data file through InstallDataFile (ZorbFile.h).
//
// Its other concerns live in ZorbMain<Concern>.cpp files sharing this header:
// the ledger, the category trees, posting and the card, the reference pages,
// the reminder panel and the import command.
#pragma once

#include "core/ZorbCard.h"
#include "core/ZorbCategories.h"
#include "core/ZorbDm.h"
#include "core/ZorbFile.h"
#include "core/ZorbLedger.h"
#include "core/ZorbRemind.h"
#include "core/ZorbSettings.h"
#include "platform/rtl/DateTime.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/Menus.h"
#include "platform/widgets/StdCtrls.h"
#include "platform/widgets/TreeView.h"

#include <QPointer>
#include <QTimer>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

namespace zorbel {

class TFormAbout;

class TFormMain : public TForm, public TMainOptions {
    Q_OBJECT
public:
    // Args: the command line without the program (argument 1 the data file,
    // argument 2 the account). ProgramFolder: where the program lies (the
    // help file, "*.den" beside it, the "Reserve" folder). Runs FormCreate.
    explicit TFormMain(const QStringList &Args, const QString &ProgramFolder = QString());
    ~TFormMain() override;

    // ---- controls ----
    TMainMenu *MainMenu;
    TMenuItem *mFile, *mNew, *mOpen, *mSave, *mSaveAs, *mPassword, *mCloseNotSave, *mExit;
    TMenuItem *mSets, *mRemind, *mHelp, *mManual, *mAbout;
    TMenuItem *mImport; // import of operations (ZorbMainImport.cpp)
    TPanel *PanTop;      // tool bar
    TButton *ButExit;
    TComboBox *CbPer;    // viewed period
    TPanel *PanAcRest;   // balance of the current account
    TPanel *PanD;        // category trees and ledger
    TStatusBar *Sb;
    // ledger (ZorbMainLedger.cpp)
    TMenuItem *mView, *mMoneyView, *mPersonView, *mFirmView, *mRemindView;
    TMenuItem *mPeriod, *mTotal, *mYear, *mQuart, *mMonth, *mWeek, *mDay;
    TMenuItem *mDayBefore, *mDayAfter, *mPerBefore, *mPerAfter;
    TSpeedButton *ButMoney, *ButFace, *ButFirm, *ButLog;
    TPanel *PanDate;
    TButton *ButDate;
    TSpeedButton *ButPrev, *ButNext;
    TPageControl *Pg;
    TTabSheet *ShMoney, *ShPers, *ShFirm, *ShLog;
    TSplitter *Splitter1;
    TKDBGrid *DBG;
    TPopupMenu *PmHist;
    TMenuItem *mpUp, *mpDown;
    // category trees (ZorbMainTree.cpp)
    TTreeView *TvCt, *TvDt;
    TSpeedButton *ButCt, *ButDt;
    TMenuItem *mCategory, *mCategoryNew, *mCategoryNewChild, *mCategoryEdit, *mCategoryDelete, *mCategoryFind,
        *mCategorySearch, *mCategoryView, *mCategoryMove, *mPacks, *mCt, *mDt, *mTree, *mTree1, *mTree2, *mTree3,
        *mTree4, *mTree5, *mTreeAll, *mExpandAll;
    TPopupMenu *PmCat;
    TMenuItem *mpCategoryNew, *mpCategoryNewChild, *mpCategoryEdit, *mpCategoryDelete, *mpCategoryFind,
        *mpFindNextItm, *mpCategorySearch, *mpCategoryView, *mpCategoryMove, *mpPack, *mpExpand;

    // ---- state shared with the other windows ----
    bool StartingOrClosing = true;
    bool PackOnClose = false;
    bool KeepRegistry = true;
    bool AdminMode = false;
    QString TempDir;     // the private temporary folder, with a trailing separator
    QString WorkDir;     // TempDir + "ZORB_DAT"
    QString HelpFile;    // ProgramFolder + "Zorbel.Hlp"
    bool CloseNotSave = false;
    TDateTime AllBegin = 0, AllEnd = 0;
    TReminderDays ReminderDays{}; // today, +1, +2, -1, -2 (the reminders' day window)
    TDateTime EntryDate = 0;
    TDateTime PeriodBegin = 0, PeriodEnd = 0; // the viewed period, both days included
    int64_t OpeningBalance = 0;  // units of 1/10000: the account's balance when the period begins
    QString PlannedIncomeText, PlannedExpenseText; // status texts with planned amounts, empty when none
    QString QntFormat, PrcFormat, RteFormat;        // display formats of quantities, prices, rates
    QString CategoryFindText;    // the last text searched for among category names
    QChar SqlDecimalSeparator = u'.';
    QString FilePassword;
    QFont GridFont, TitleFont; // the data and title fonts of the main grid
    int GridFontColor = 0, TitleFontColor = 0;       // their colours (system colour values)
    int GridFontCharSet = 204, TitleFontCharSet = 204;
    QPointer<TForm> FormCard;   // the operation card, once it exists
    QByteArray GridColumns;     // the main grid's stored columns (value "Grid")
    QString Col_Pers, Col_Fam, Col_Log, Col_Firm, Col_PF;

    std::unique_ptr<TDm> Dm;
    std::unique_ptr<TDataZip> Vzp; // the zip component

    const QStringList &Args() const { return args_; }
    const QString &ProgramFolder() const { return programFolder_; }
    // The data file of the open data set (the window's caption).
    QString DataFileName() const { return Caption(); }
    // True when the main program should run the message loop.
    bool ReadyToRun() const;

    // ---- start-up and shutdown ----
    void FormCreate(TObject *Sender);
    void FormShow(TObject *Sender);
    void FormCloseQuery(TObject *Sender, bool &CanClose);
    void FormDestroy(TObject *Sender);
    void ShutdownEngine();
    // The desktop session ends (logout, a terminating signal): closes as the
    // window's close does, without questions; a modified data set that has a
    // file is saved with its password, the work folder is emptied, and the
    // message loop ends.
    void EndSession();
    // The main window from the start of its creation to its end; none else.
    static TFormMain *Current() { return starting_; }
    // Ends what the run holds on disk without saving: the data set closed,
    // the data file's lock released, the work and staging folders and a
    // temporary folder of this run's own removed.
    void AbandonRun();
    // Every event the system delivers to a window of the application passes
    // here once (installed once a data set is open).
    bool AppMessage(QObject *Watched, QEvent *Event);
    void WMDropFiles(const QStringList &Files);
    void mExitClick(TObject *Sender);
    void mCloseNotSaveClick(TObject *Sender);
    void mManualClick(TObject *Sender);
    void mAboutClick(TObject *Sender);

    // ---- data file lifecycle ----
    bool CheckDataFile(const QString &FileName, bool Report);
    bool OpenDataFile(const QString &FileName);
    bool NewFromTemplate();
    // Saves the data set (see ZorbMainFile.cpp). A data set without a file
    // is tied to the file its first save writes; a cancelled file dialog
    // writes nothing and sets saveCancelled_, which is no failure to report.
    bool SaveDataFile(bool SaveAs, bool StayOpen);
    void OpenPath(const QString &FileName);
    // Posts every table's pending edit. False, after telling the user, when
    // one fails: the edit stays in its table, never dropped, and a save or
    // the exit waits for the user to correct or cancel it.
    bool PostAllTables();
    // Cancels every table's pending edit: only where nothing can wait (the
    // session ends) or the user chose to close without saving.
    void CancelPendingEdits();
    void CloseDataTables();
    void PackAndRezip();
    // Puts the contents PackFolder just wrote on the list of checked contents
    // when the data set is sound, and keeps their day sums while the data
    // set is open.
    void RememberPacked();
    // Keeps the complete and checked day sums of known contents whose sums
    // the database still holds, for their next opening (ZorbSumsStore.h);
    // for a file with a password, drops any kept for them instead.
    void KeepSums();
    void ResetZipper();
    TDateTime LastRealisedDate();
    // Asks for the password of FileName (Change: a new one, twice). True when
    // the box was confirmed; a new password with characters the archive cannot
    // keep is refused with a notice (false).
    bool AskPassword(const QString &FileName, bool Change);
    bool OpenDataTables();
    void mNewClick(TObject *Sender);
    void mOpenClick(TObject *Sender);
    void mSaveClick(TObject *Sender);
    void mSaveAsClick(TObject *Sender);
    void mPasswordClick(TObject *Sender);
    void VzpBadPassword(int FileIndex, QString &NewPassword);

    // ---- settings ----
    void LoadSettings(QString &RecentFile);
    // Raises when the settings cannot be written.
    void SaveSettings(const QString &RecentFile);
    void ApplyGridFonts();

    void mImportClick(TObject *Sender);           // import window, through the launcher seam (ZorbMainImport.cpp)
    // Monthly balances, a year by category, future days, turnovers against
    // limits: windows of the analysis layer (ZorbMainAnalysis.cpp).
    TMenuItem *mAnalysis = nullptr, *mLim = nullptr, *mRest = nullptr, *mCompare = nullptr, *mDays = nullptr;
    void BuildAnalysisMenu();
    void mLimClick(TObject *Sender);
    void mRestClick(TObject *Sender);
    void mCompareClick(TObject *Sender);
    void mDaysClick(TObject *Sender);
    // ---- accounts book and rates (ZorbMainAcc.cpp) ----
    TButton *ButAcc = nullptr;                    // "Счета..." on the tool bar
    TMenuItem *mAccounts = nullptr, *mRate = nullptr;
    void BuildAccCommands();
    // The accounts book; afterwards the transfer category follows the number of accounts.
    void ButAccClick(TObject *Sender);
    void mRateClick(TObject *Sender);
    // ---- settings window (ZorbMainSets.cpp) ----
    void mSetsClick(TObject *Sender);
    // ---- posting of operations (ZorbMainPost.cpp) and the card (ZorbMainCard.cpp) ----
    TMenuItem *mMoney, *mMoneyNew, *mMoneyEdit, *mMoneyDelete, *mUpdate, *mEmpty;
    TMenuItem *mpMoneyNew, *mpMoneyEdit, *mpMoneyDelete, *mpUpdate, *mpMoneyCopy, *mpAccCopy;
    std::unique_ptr<TPosting> Posting;   // the posting road over Dm; exists with Dm
    // What the category trees have selected, as adding an operation reads it.
    TCardTrees CardTrees();
    void CreateCard();
    TFormCard *Card() const;
    void EditOperation(bool isNew);
    void mMoneyNewClick(TObject *Sender);
    void mMoneyEditClick(TObject *Sender);
    void mUpdateClick(TObject *Sender);
    void mMoneyDeleteClick(TObject *Sender);
    void mpMoneyCopyClick(TObject *Sender);
    void mpAccCopyClick(TObject *Sender);
    void mEmptyClick(TObject *Sender);
    bool PurgeHistory(bool beforeEntryDate);
    double DayRate(int account, TDateTime date);
    void DBGDblClick(TObject *Sender);
    void DBGKeyPress(TObject *Sender, QChar &Key);
    void PmHistPopup(TObject *Sender);
    void TvCtDblClick(TObject *Sender);
    void TvCtKeyPress(TObject *Sender, QChar &Key);
    void ApplyPostMenuState(const TMenuState &State);

    // ---- people, firms and diary pages (ZorbMainRef.cpp) ----
    TKDBGrid *DBGPerson, *DBGFamily, *DBGFirm, *DBGPers_Firm, *DBGLog;
    TSplitter *SplitPers;
    TPopupMenu *PmPerson, *PmFirm, *PmLog;
    TMenuItem *mpPersonNew, *mpPersonDel, *mpPersonEditDate, *mpPersonDelDate, *mFindPers, *mFindPersNext,
        *pmResPers, *mPersFindFirm, *mpMail, *mpForm, *mpPersonSave;
    TMenuItem *mpFirmNew, *mpFirmDel, *mFindFirm, *mFindFirmNext, *pmResFirm, *mpFirmPerson, *mpMailF, *mpFirmSave;
    TMenuItem *mpLogNew, *mpLogDel, *mpLogEditDate, *mpLogNon, *mpLogDate, *mpLogMonth, *mFindLog, *mFindLogNext,
        *mpLogFindPerson, *mpLogFindFirm, *mpMailLog, *mpLogSave;
    TMenuItem *mMail, *mFindText, *mFindNext; // hidden: they carry Ctrl+M, Ctrl+F and F3
    QString FindText; // the last text searched in the reference grids
    // Points the reference grids at the data module's tables.
    void ConnectRefGrids();
    void PmPersonPopup(TObject *Sender);
    void mpPersonNewClick(TObject *Sender); // add, delete, edit date, delete date by the item's Tag
    void mpFormClick(TObject *Sender);
    void PmFirmPopup(TObject *Sender);
    void mpFirmPersonClick(TObject *Sender);
    void ShowFirmPeople(bool Open);
    void DBGPers_FirmDblClick(TObject *Sender);
    void PmLogPopup(TObject *Sender);
    void mpLogNonClick(TObject *Sender); // the reminder mode by the item's Tag
    void DBGPersonKeyPress(TObject *Sender, QChar &Key);
    void DBGPersonKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    // Ins and Ctrl+Del in a reference grid: its popup's add and delete items.
    bool RefGridKeys(TDBGrid *Grid, WORD &Key, TShiftState Shift);
    void DBGLogKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    // Asks for a date for Field of Table's current row (today when null).
    void EditDateField(TTable &Table, const QString &Field);
    // Opens the selected cell's text of Grid as a link (ZorbLink.h).
    void OpenLink(TDBGrid *Grid);
    void mMailClick(TObject *Sender);
    void mFindTextClick(TObject *Sender);
    void mFindNextClick(TObject *Sender);
    // Selects the next field of the current row that shows FindText, else
    // the first; false when none does.
    bool FindNextInGrid(TDBGrid *Grid);
    // The reference grid with the focus, or nullptr.
    TDBGrid *FocusedRefGrid() const;
    // The grid F3 searches on the page shown.
    TDBGrid *SearchGrid() const;
    // The person (Tag 1) or firm (else) picker over the current row; on OK
    // Id is the chosen row's identifier.
    bool PickReference(int Tag, Variant &Id);

    // ---- reminders (ZorbMainRemind.cpp) ----
    TPanel *PanRemind;
    TKDBGrid *DBGRem;
    TSpeedButton *ButRemClose;
    // Rebuilds the reminder list; true when it holds rows.
    bool BuildReminders();
    void mRemindClick(TObject *Sender);
    void ButRemCloseClick(TObject *Sender);
    void DBGRemDblClick(TObject *Sender);
    void DBGRemKeyPress(TObject *Sender, QChar &Key);
    void PanRemindResize(TObject *Sender);

    // ---- ledger and balances (ZorbMainLedger.cpp) ----
    void ApplyDisplayFormats();
    void ShowEntryDate();
    // Sizes the entry date's button to its caption and places what follows it.
    void LayOutDateBox();
    void ApplyLedgerPeriod();
    void SetLedgerRange(TTable &Table);
    void SetFindRange();
    // Adds Delta (units, income positive) to the current account's stored
    // balance and refreshes the status bar (with RecomputeOpening also the
    // period's opening balance).
    void UpdateBalances(bool RecomputeOpening, int64_t Delta);
    // Colours one cell of a ledger-like grid on its canvas; the caller then
    // draws the cell the default way.
    void PaintGridCell(TDBGrid *Grid, TGridDrawState State, TColumn *Column);
    // The date picker at Date; -2000000 when cancelled.
    TDateTime AskDate(TDateTime Date);
    void ApplyColumnLayout(TDBGrid *Grid, bool Apply, QString &Layout);
    // Applies (true) or takes back (false) Col_Pers, Col_Fam, Col_Log,
    // Col_Firm and Col_PF on the reference books' grids.
    void BookColumnLayouts(bool Apply);
    // The ledger grid's columns as stored in the settings (value "Grid"):
    // lines "FieldName=width|visible|title" in UTF-8 (the older "FieldName=width"
    // reads as visible with the field's title); empty while the grid has no columns.
    QByteArray LedgerColumnsStream() const;
    // Sets the ledger grid's columns from a stored value; columns of fields
    // the operations table lacks are skipped, and a value naming none of its
    // fields leaves the default columns.
    void ApplyLedgerColumns(const QByteArray &Stream);
    void ShowPage(int Index);
    void MoveOperationRow(bool Up);
    static QString DecimalsFormat(int N) { return zorbel::DecimalsFormat(N); }
    // The period kind shown (the position of CbPer, 0 whole period .. 5 day).
    int PeriodKind() const;
    const TLedgerTotals &Totals() const { return totals_; }
    void CbPerClick(TObject *Sender);
    void mTotalClick(TObject *Sender);
    void ButDateClick(TObject *Sender);
    void ButDateMouseDown(TObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void ButPrevClick(TObject *Sender);
    void ButPrevMouseDown(TObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void ButNextMouseDown(TObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void mMoneyViewClick(TObject *Sender);
    void PgChange(TObject *Sender);
    void DBGDrawColumnCell(TObject *Sender, const QRect &Rect, int DataCol, TColumn *Column, TGridDrawState State);
    void mpUpClick(TObject *Sender);
    void mpDownClick(TObject *Sender);

    // ---- category trees (ZorbMainTree.cpp) ----
    // Fills Tree (TvCt, TvDt or a search window's tree) with the expense or
    // (Income) the income categories; a filled tree is kept unless Rebuild.
    void BuildCategoryTree(TTreeView *Tree, bool Income, bool Rebuild, bool AllTrees, bool WithTransfer);
    TTreeNode *FindCategoryNode(TTreeView *Tree, int Id) const;
    bool CategoryNameExists(int ExcludeId, const QString &Name);
    void SwitchTreeKind();
    void MoveCategory(TTreeNode *Source, TTreeNode *Target, int Mode);
    // The tree shown in front (TvCt, TvDt, or nullptr when none).
    TTreeView *ShownTree() const;
    // The tree with the focus (nullptr when neither has it).
    TTreeView *FocusedTree() const;
    void TvCtChange(TObject *Sender, TTreeNode *Node);
    void TvCtCustomDrawItem(TObject *Sender, TTreeNode *Node, TCustomDrawState State, bool &DefaultDraw);
    void TvCtDragDrop(TObject *Sender, TObject *Source, int X, int Y);
    void TvCtDragOver(TObject *Sender, TObject *Source, int X, int Y, TDragState State, bool &Accept);
    void TvCtEdited(TObject *Sender, TTreeNode *Node, QString &S);
    void TvCtEnter(TObject *Sender);
    void TvCtExit(TObject *Sender);
    void DBGEnter(TObject *Sender);
    void DBGDragDrop(TObject *Sender, TObject *Source, int X, int Y);
    void mDtClick(TObject *Sender);
    void ButCtClick(TObject *Sender);
    void mCategoryDeleteClick(TObject *Sender);
    void mpExpandClick(TObject *Sender);
    void mTree1Click(TObject *Sender);
    void PmCatPopup(TObject *Sender);

    // ---- category windows (ZorbMainCat.cpp) ----
    // Opens the category dialog on the shown tree (CatAddBeside, CatAddBranch, CatEdit).
    void EditCategory(int Mode);
    void mCategoryNewClick(TObject *Sender);
    void mpCategorySearchClick(TObject *Sender);

    // ---- batch entry (ZorbMainPacket.cpp) ----
    // Shows (ShowWindow) or directly writes packet Digit, while the expense tree is shown.
    void EnterPacket(int Digit, bool ShowWindow);
    // Writes the open packet (the digit of the last EnterPacket); false when
    // it was refused, with nothing written and the person told why. With
    // KeepLines a refused packet's query is open on its lines again before
    // the notice, for the packet window behind it.
    bool WritePacket(bool KeepLines = false);
    void mpPackClick(TObject *Sender);
    // Ctrl+0..Ctrl+9: true when the key started a packet.
    bool PacketKey(WORD Key, TShiftState Shift);

    // ---- seams for tests ----
    // The save and open dialogs: true with a file name chosen.
    // Bookmarks and grid export (ZorbMainMark.cpp, ZorbMainExport.cpp)
    TMenuItem *mpSetMark = nullptr, *mpShowMark = nullptr, *mShowMark = nullptr, *mpHistSave = nullptr;
    void BuildMarkCommands();
    void mpFindNextItmClick(TObject *Sender); // F3 in the category trees (ZorbMainFind.cpp)
    // ---- ledger and category searches, the calculator (ZorbMainFind.cpp) ----
    TMenuItem *mFind = nullptr, *mpFind = nullptr, *mpFindText = nullptr, *mpFindTextNext = nullptr,
              *mpFindComment = nullptr;
    // The searches' remembered state, for the whole run (not stored).
    QString HistFindText;       // the ledger's text search and the note field of the dialog
    int HistFindField = 0;      // the dialog's field (THistFindField)
    QString HistFindOp;         // "=", ">", "<" or empty
    TDateTime HistFindDate = 0; // 0: none
    int HistFindItem = 0, HistFindLevel = 0, HistFindPerson = 0, HistFindFirm = 0;
    void BuildFindCommands();
    void ApplyFindMenuState(const TMenuState &State);
    bool LedgerHasRows() const;
    // Moves the ledger to the operation of Query's current row; false when
    // the ledger does not hold it.
    bool ShowFindHit(TDataSet &Query);
    // F3 over an open search query: shows its current hit, then steps on.
    void StepFindQuery(TQuery &Query, const QString &Text);
    void mpFindClick(TObject *Sender);
    void mpFindTextClick(TObject *Sender);
    void mpFindTextNextClick(TObject *Sender);
    void mpFindCommentClick(TObject *Sender);
    void mCategoryFindClick(TObject *Sender);
    void mCategoryMoveClick(TObject *Sender);
    // The card's note button: a note chosen from all operations' notes;
    // false when none is chosen (cancelled, or OK on an empty list).
    bool PickNote(QString &Note);
    void WireCardSearches(TFormCard *CardForm);
    // F9: the program named by the setting Calc, else the program's own calculator.
    void mCalcClick(TObject *Sender);
    // Starts a program without waiting (tests replace it); false when it did not start.
    std::function<bool(const QString &Program)> StartProgram;
    void mpSetMarkClick(TObject *Sender);
    void mpShowMarkClick(TObject *Sender);
    void SaveGridToFile(TDBGrid *Grid);
    void BuildExportCommands(); // "save to file" of the ledger and the reference pages
    // The results window (ZorbMainRst.cpp): "И&тоги, Анализ..." and the
    // statements of a category, a person or a firm.
    TMenuItem *mResult = nullptr;
    void BuildResultCommands();
    bool ResultsAvailable() const;
    void OpenResults(TTreeNode *Node, bool ContactMode);
    void mResultClick(TObject *Sender);
    void mCategoryViewClick(TObject *Sender);
    // ---- the window's own keys, calculators, statistics (ZorbMainLaunch.cpp) ----
    TButton *ButResult = nullptr;                 // "Итоги" on the tool bar: the results window
    TMenuItem *mCalc = nullptr, *mcalc2 = nullptr; // F9 the named calculator, F6 the program's own
    void BuildLaunchCommands();
    void ArrangeTabOrder();
    void ApplyLaunchMenuState(const TMenuState &State);
    // Keys the window sees before its controls (Esc, Ctrl+keypad plus, Ctrl+F6,
    // Ctrl+arrows, Alt+Left/Right).
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    // True when none of the diary, people, family and firm tables is being edited.
    bool ReferenceBooksBrowsing() const;
    void mcalc2Click(TObject *Sender);
    // The program's calculator, kept open; it starts with the bookmarked
    // sums of the period (WithBookmarks), else the current operation's sum.
    void ShowCalculator(bool WithBookmarks);
    QString CalculatorStartText(bool WithBookmarks);
    // The statistics window's lines: the period, the status bar's figures,
    // the account's balance and today.
    QStringList StatisticsLines() const;
    void SbClick(TObject *Sender);
    // The export's file dialog: the name (preset with the folder) and the
    // type (1 comma, 2 text, 3 spreadsheet); false when cancelled.
    std::function<bool(QString &FileName, int &Type)> ExecuteExportDialog;
    std::function<bool(QString &FileName)> ExecuteSaveDialog;
    std::function<bool(QString &FileName)> ExecuteOpenDialog;
    // Hands the help file to the desktop.
    std::function<bool(const QString &FileName)> OpenHelpFile;

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    class THost;
    void BuildLayout();
    void BuildMenu();
    void StepSplash();
    void FreeSplash();
    // Unpacks a data file into the staging folder, asking for its password;
    // true when every entry came out whole and the seven tables are there.
    // Reports failures. The open data set and its password stay as they are.
    bool UnpackToStage(const QString &FileName);
    bool StageHoldsDataSet() const;
    // Replaces the open data set by the staged one and opens its tables.
    bool OpenStaged(const QString &FileName);
    // Closes the data set and empties the work folder (the end of a save with StayOpen false).
    void CloseAndClearData();
    // Closing found that the data set cannot be saved: asks once whether to
    // save it into another file, close without saving, or stay. True when
    // closing may go on (saved elsewhere, or the changes given up).
    bool SaveFailedOnClose();
    // A save the user asked for failed: a data file whose folder takes no
    // new file (read-only) is offered a save into another file, which then
    // becomes the data set's own (with StayOpen it stays open; a Copy, as
    // "Сохранить как...", leaves it the file it had); a full disk was named
    // already; anything else is "Файл не может быть сохранён!". True when
    // the data set was saved into another file.
    bool SaveFailed(bool StayOpen, bool Copy = false);
    // Shows Text unless this run showed it before (a notice that would
    // otherwise come back at every save).
    void TellOnce(const QString &Text);
    // Takes the lock of the data file FileName into Lock (the open data
    // set's own lock moves over when it is the same file); when another copy
    // holds it, says so and returns false.
    bool LockDataFile(const QString &FileName, TDataFileLock &Lock);
    // True when File is the open data set's file or the one being opened,
    // whose lock this copy holds.
    bool HoldsLockOf(const QString &File) const;
    static TFormMain *starting_;
    TDataFileLock fileLock_;    // the lock of the open data set's file
    TDataFileLock openingLock_; // the lock of a data file being opened

    QStringList args_;
    QString programFolder_;
    std::unique_ptr<THost> host_;
    std::unique_ptr<TPostHost> postHost_; // the posting's view of this window
    TFormAbout *splash_ = nullptr;
    QString stageDir_;          // where a data file is unpacked before it replaces the work folder
    QString stagedPassword_;    // the password of the staged data file
    TContentKey stagedContents_; // the staged database, unpacked whole
    TContentKey openingContents_; // the database OpenDataTables opens, when unpacked from a file
    bool savedYearsFilled_ = false; // the data set the last save packed had its years filled
    QString openingFile_;       // the data file being unpacked (for the password box)
    QString unopenedFile_;      // a data file not opened as its password box was cancelled
    bool passwordCancelled_ = false; // the password box of the file being unpacked was cancelled
    bool saveCancelled_ = false;     // the last save ended in a cancelled file dialog
    QString saveRefused_;            // the file whose folder took no new file at the last save
    bool saveFailureTold_ = false;   // the last save's failure was told already (a full disk)
    QStringList toldNotices_;        // the notices TellOnce showed
    QString tiedFile_;               // the file the last save tied a data set without a file to
    bool endingSession_ = false;     // closing for the desktop session: no questions
    bool messageHook_ = false;
    bool swallowChar_ = false;  // the key FormKeyDown acted on types no character
    TLedgerTotals totals_;      // the status bar's figures
    // Ledger and tree layout and menus (ZorbMainLedger.cpp, ZorbMainTree.cpp).
    void BuildLedgerLayout();
    void BuildLedgerMenu();
    void BuildTreeLayout();
    void BuildTreeMenu();
    void BuildPostMenu();
    void BuildPostCommands();
    void BuildCategoryCommands();
    void BuildPacketCommands();
    int packetDigit_ = 0;       // the packet EnterPacket is writing
    void BuildRefLayout();
    void BuildRemindLayout();
    // Runs Step; a failure is shown in the program's message box.
    void ReportFailure(const std::function<void()> &Step);
    TDBGrid *PopupGrid(TPopupMenu *Menu) const;
    // Applies a layout BookColumnLayouts kept back until its grid's data had fields.
    void ApplyPendingLayouts();
    QList<TDBGrid *> pendingLayouts_;
    void StepEntryDate(int Tag);
    // Ends a label edit in progress in both trees, accepting it.
    void EndTreeEdits();
    // Shows the totals in the status bar.
    void ShowTotals();
    // Fills the data module's day sums shortly after the window is shown and
    // after anything dropped them, when the event loop is idle: start-up and
    // the first paint do not wait for the walk, and a click before it ends
    // sums by the queries. Sums taken back from the user's folder answer at
    // once and are checked by the same walk.
    void ScheduleSums();
    // After a check found the kept day sums other than the rows: forgets
    // their file, keeps the walked ones and shows the figures again.
    void SumsCorrected();
    QTimer *sumsTimer_ = nullptr;
    // The ledger grid's own columns, in their default order.
    void SetDefaultLedgerColumns();
};

struct TGridExportLayout;
// A grid's visible columns, fonts and colours as the export writers take them.
TGridExportLayout GridExportLayout(TDBGrid *Grid);

// The characters of a password that Windows-1251 (the archive's code page
// for passwords) has no byte for, each once; empty when all fit.
QString PasswordCharsOutsideCodePage(const QString &Password);

// Loads Qt's own Russian texts (its file dialogs and message boxes) into the
// application, once. False when they are not installed.
bool InstallQtTranslations();

// The main program: the single-instance guard, the main window, and (with
// RunLoop) the message loop while a data set is open. Returns the exit code.
int ZorbelMain(const QStringList &Args, bool RunLoop = true);

// The splash shown while the program starts: the date and a progress bar.
class TFormAbout : public TForm {
    Q_OBJECT
public:
    TFormAbout();
    ~TFormAbout() override;
    TLabel *LabName;
    TProgressBar *Pb;
};

} // namespace zorbel
