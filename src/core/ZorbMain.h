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
// Routines that later parts of the main window fill (ledger, category trees,
// reminders, status-bar totals) are members with empty bodies, marked so.
#pragma once

#include "core/ZorbDm.h"
#include "core/ZorbFile.h"
#include "core/ZorbSettings.h"
#include "platform/rtl/DateTime.h"
#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/Menus.h"
#include "platform/widgets/StdCtrls.h"

#include <QPointer>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

namespace zorbel {

class TFormAbout;

// A day and month of the reminder days.
struct TDayMonth {
    uint16_t Day = 0;
    uint16_t Month = 0;
};

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
    TPanel *PanTop;      // tool bar
    TButton *ButExit;
    TComboBox *CbPer;    // viewed period
    TPanel *PanAcRest;   // balance of the current account
    TPanel *PanD;        // category trees and ledger
    TStatusBar *Sb;

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
    std::array<TDayMonth, 5> ReminderDays{}; // today, +1, +2, -1, -2
    TDateTime EntryDate = 0;
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
    bool SaveDataFile(bool SaveAs, bool StayOpen);
    void OpenPath(const QString &FileName);
    void PostAllTables();
    void CloseDataTables();
    void PackAndRezip();
    void ResetZipper();
    TDateTime LastRealisedDate();
    // Asks for the password of FileName (Change: a new one, twice). True when
    // the box was confirmed.
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

    // ---- filled by later parts of the main window (empty here) ----
    void mRemindClick(TObject *Sender);           // reminder list
    void ButRemCloseClick(TObject *Sender);       // reminder panel
    void ApplyDisplayFormats();                   // ledger display formats
    void ShowEntryDate();                         // ledger
    void CbPerClick(TObject *Sender);             // ledger period
    void ShowPage(int Index);                     // ledger pages
    void BuildCategoryTree(bool Expense);         // category trees
    void UpdateBalances(bool WithOpening, int64_t Amount); // status-bar totals
    void ApplyColumnLayout(QWidget *Grid, bool Apply, QString &Layout); // grid layouts
    void CreateCard();                            // operation card

    // ---- seams for tests ----
    // The save and open dialogs: true with a file name chosen.
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

    QStringList args_;
    QString programFolder_;
    std::unique_ptr<THost> host_;
    TFormAbout *splash_ = nullptr;
    QString stageDir_;          // where a data file is unpacked before it replaces the work folder
    QString stagedPassword_;    // the password of the staged data file
    QString openingFile_;       // the data file being unpacked (for the password box)
    bool messageHook_ = false;
};

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
